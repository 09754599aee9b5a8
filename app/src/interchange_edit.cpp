#include "talmiro/interchange_edit.h"

#include "talmiro/edi_writer.h"
#include "talmiro/exceptions.h"
#include "talmiro/segment_lexer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace talmiro {

// ---------------------------------------------------------------------------------------------------------
// The edited stream

TEditedStream::TEditedStream(TStream& file, std::vector<TByteEdit> edits)
    : file_(file), edits_(std::move(edits)), block_(BlockSize) {
    const int64_t fileSize = file_.Size();
    int64_t filePos = 0;
    for (size_t i = 0; i < edits_.size(); ++i) {
        const TByteEdit& e = edits_[i];
        if (e.Begin < filePos || e.End < e.Begin || e.End > fileSize)
            throw Exception("Edit " + std::to_string(i + 1) + " (bytes " + std::to_string(e.Begin) + " to " +
                            std::to_string(e.End) + ") is out of order or beyond the file");
        if (e.Begin > filePos) {
            pieces_.push_back({size_, filePos, e.Begin - filePos, false});
            size_ += e.Begin - filePos;
        }
        if (!e.Text.empty()) {
            pieces_.push_back({size_, static_cast<int64_t>(i), static_cast<int64_t>(e.Text.size()), true});
            size_ += static_cast<int64_t>(e.Text.size());
        }
        filePos = e.End;
    }
    if (fileSize > filePos) {
        pieces_.push_back({size_, filePos, fileSize - filePos, false});
        size_ += fileSize - filePos;
    }
    buf_ = cur_ = end_ = block_.data();
}

size_t TEditedStream::Fill(int64_t position, uint8_t* target, size_t n) {
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), position,
                               [](int64_t pos, const TPiece& piece) { return pos < piece.At; });
    if (it == pieces_.begin()) return 0;
    --it;
    size_t done = 0;
    for (; done < n && it != pieces_.end(); ++it) {
        const int64_t offset = position + static_cast<int64_t>(done) - it->At;
        if (offset >= it->Length) continue;
        const size_t k =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n - done), it->Length - offset));
        if (it->FromEdit) {
            std::memcpy(target + done, edits_[static_cast<size_t>(it->Source)].Text.data() + offset, k);
        } else {
            file_.Seek(it->Source + offset);
            if (file_.Read(target + done, k) != k)
                throw Exception("The file became shorter while it was read");
        }
        done += k;
    }
    return done;
}

int TEditedStream::Underflow() {
    // Keep the tail of the old window so that stepping back over a block boundary stays in memory.
    constexpr size_t KeepBack = 16 * 1024;
    const int64_t pos = Position();
    const size_t keep = std::min(KeepBack, static_cast<size_t>(cur_ - buf_));
    if (keep > 0 && cur_ != block_.data() + keep) std::memmove(block_.data(), cur_ - keep, keep);
    const size_t got = Fill(pos, block_.data() + keep, BlockSize - keep);
    buf_ = block_.data();
    bufPos_ = pos - static_cast<int64_t>(keep);
    cur_ = buf_ + keep;
    end_ = cur_ + got;
    if (got == 0) return -1;
    return *cur_++;
}

void TEditedStream::SeekTo(int64_t position) {
    bufPos_ = position;
    buf_ = cur_ = end_ = block_.data();
}

void TEditedStream::WriteAt(const void*, size_t) {
    throw EInOutError("Stream is read-only: the edited file", EBADF);
}

// ---------------------------------------------------------------------------------------------------------
// Writing in a layout

void WriteInterchange(TStream& input, TLayoutChoice layout, const std::function<void(std::string_view)>& sink,
                      const std::function<void(int64_t done, int64_t total)>& progress) {
    constexpr size_t Chunk = 1 << 16;
    constexpr int64_t ReportEvery = 4 << 20;
    const int64_t total = input.Size();
    int64_t nextReport = ReportEvery;
    input.Seek(0);
    if (layout == TLayoutChoice::Keep) {
        std::string chunk(Chunk, '\0');
        int64_t done = 0;
        for (;;) {
            const size_t got = input.Read(chunk.data(), chunk.size());
            if (got == 0) break;
            sink(std::string_view(chunk.data(), got));
            done += static_cast<int64_t>(got);
            if (progress && done >= nextReport) {
                progress(done, total);
                nextReport = done + ReportEvery;
            }
        }
        if (progress) progress(total, total);
        return;
    }

    TSegmentLexer lexer(input);
    std::string out;
    out.reserve(Chunk + 1024);
    std::string lineEnd = "\n";
    bool first = true;
    while (lexer.Next()) {
        if (first) {
            if (lexer.ByteOrderMark()) out += "\xEF\xBB\xBF";
            // A file written with CR LF keeps its line end.
            const int64_t at = input.Position();
            char next[2];
            if (lexer.Terminated && input.Read(next, 2) == 2 && next[0] == '\r' && next[1] == '\n')
                lineEnd = "\r\n";
            input.Seek(at);
            first = false;
        }
        for (char c : lexer.Raw())
            if (static_cast<unsigned char>(c) >= 32) out += c;
        if (lexer.Terminated && layout == TLayoutChoice::OnePerLine) out += lineEnd;
        if (out.size() >= Chunk) {
            sink(out);
            out.clear();
        }
        if (progress && lexer.End >= nextReport) {
            progress(lexer.End, total);
            nextReport = lexer.End + ReportEvery;
        }
    }
    if (!out.empty()) sink(out);
    if (progress) progress(total, total);
}

std::string ReplacedFile(const std::string& name) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(name, ec)) return name;
    const std::filesystem::path target = std::filesystem::canonical(name, ec);
    return ec ? name : target.string();
}

void SaveInterchange(TStream& input, TLayoutChoice layout, const std::string& target,
                     const std::function<void(int64_t done, int64_t total)>& progress) {
    TReplacingFile file(ReplacedFile(target));
    WriteInterchange(
        input, layout, [&file](std::string_view bytes) { file.Write(bytes); }, progress);
    file.Commit();
}

// ---------------------------------------------------------------------------------------------------------
// Control counts and references

namespace {

// Whether a count as sent (digits, leading zeros allowed) has the value n.
bool SameCount(const std::string& text, int64_t n) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::stoll(text) == n;
}

std::string Quoted(const std::string& value) {
    return value.empty() ? std::string("(none)") : "\"" + value + "\"";
}

// Plans the fixes of one trailer segment, element by element, so that elements it lacks are inserted in
// their order.
class TTrailerFixes {
public:
    TTrailerFixes(std::vector<TControlFix>& fixes, const TSegmentLexer& lexer)
        : fixes_(fixes), lexer_(lexer), elements_(SplitElements(lexer.Raw(), lexer.Delimiters())),
          present_(elements_.size()) {}

    void Count(size_t position, int64_t count, const std::string& what) {
        const std::string has = Value(position);
        if (SameCount(has, count)) return;
        Fix(position, std::to_string(count),
            lexer_.Tag + " " + what + " " + (has.empty() ? std::string("(none)") : has) + " becomes " +
                std::to_string(count));
    }

    void Reference(size_t position, const std::string& header, const std::string& headerTag,
                   const std::string& what) {
        const std::string has = Value(position);
        if (has == header) return;
        Fix(position, header,
            lexer_.Tag + " " + what + " " + Quoted(has) + " becomes " + Quoted(header) + ", as in " +
                headerTag);
    }

private:
    std::string Value(size_t position) const {
        return position < elements_.size() ? elements_[position].Value() : std::string();
    }

    void Fix(size_t position, const std::string& value, std::string description) {
        if (!lexer_.Terminated) return; // a segment cut short is no place to mend
        const TEdiWriter writer(lexer_.Delimiters());
        TControlFix fix;
        fix.Segment = lexer_.Number;
        fix.Tag = lexer_.Tag;
        fix.Description = std::move(description);
        if (position < elements_.size()) {
            fix.Edit = {lexer_.Start + static_cast<int64_t>(elements_[position].Begin),
                        lexer_.Start + static_cast<int64_t>(elements_[position].End), writer.Escape(value)};
        } else {
            // Inserted after the last element there is (or the ones inserted before), before the terminator.
            const int64_t at = elements_.empty() ? lexer_.End - 1
                                                 : lexer_.Start + static_cast<int64_t>(elements_.back().End);
            fix.Edit = {at, at,
                        std::string(position + 1 - present_, lexer_.Delimiters().ElementSeparator) +
                            writer.Escape(value)};
            present_ = position + 1;
        }
        fixes_.push_back(std::move(fix));
    }

    std::vector<TControlFix>& fixes_;
    const TSegmentLexer& lexer_;
    std::vector<TRawElement> elements_;
    size_t present_;
};

} // namespace

std::vector<TControlFix> PlanControlFixes(TStream& input) {
    std::vector<TControlFix> fixes;
    input.Seek(0);
    TSegmentLexer lexer(input);
    bool inInterchange = false, inGroup = false, inMessage = false, anyGroup = false;
    std::string interchangeRef, groupRef, messageRef;
    int64_t messages = 0, groups = 0, groupMessages = 0, segments = 0;
    auto element = [&lexer](size_t position) {
        const std::vector<TRawElement> elements = SplitElements(lexer.Raw(), lexer.Delimiters());
        return position < elements.size() ? elements[position].Value() : std::string();
    };
    while (lexer.Next()) {
        if (lexer.Advice) continue;
        const std::string& tag = lexer.Tag;
        if (inMessage) ++segments;
        if (tag == "UNB") {
            inInterchange = true;
            inGroup = inMessage = anyGroup = false;
            messages = groups = 0;
            interchangeRef = element(4);
        } else if (tag == "UNG") {
            inGroup = true;
            anyGroup = true;
            ++groups;
            groupMessages = 0;
            groupRef = element(4);
        } else if (tag == "UNH") {
            inMessage = true;
            segments = 1;
            ++messages;
            ++groupMessages;
            messageRef = element(0);
        } else if (tag == "UNT" && inMessage) {
            inMessage = false;
            TTrailerFixes trailer(fixes, lexer);
            trailer.Count(0, segments, "segment count");
            trailer.Reference(1, messageRef, "UNH", "message reference");
        } else if (tag == "UNE" && inGroup) {
            inGroup = false;
            TTrailerFixes trailer(fixes, lexer);
            trailer.Count(0, groupMessages, "message count");
            trailer.Reference(1, groupRef, "UNG", "group reference");
        } else if (tag == "UNZ" && inInterchange) {
            inInterchange = inMessage = inGroup = false;
            TTrailerFixes trailer(fixes, lexer);
            trailer.Count(0, anyGroup ? groups : messages, anyGroup ? "group count" : "message count");
            trailer.Reference(1, interchangeRef, "UNB", "interchange reference");
        }
    }
    return fixes;
}

std::vector<TByteEdit> EditsOf(const std::vector<TControlFix>& fixes) {
    std::vector<TByteEdit> edits;
    edits.reserve(fixes.size());
    for (const TControlFix& fix : fixes)
        edits.push_back(fix.Edit);
    return edits;
}

} // namespace talmiro
