#include "talmiro/segment_lexer.h"

#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

namespace talmiro {

TSegmentLexer::TSegmentLexer(TStream& stream) : stream_(stream) {}

namespace {

// The repetition separator of a syntax version 4 interchange, as the reader chooses it: "*" without an
// advice; with one, its fifth character unless that is a space or another delimiter.
char RepetitionSeparatorOf(const TDelimiters& d, bool hadAdvice) {
    if (!hadAdvice) return '*';
    const char c = d.ReservedChar;
    if (static_cast<unsigned char>(c) <= 32 || c == d.ComponentSeparator || c == d.ElementSeparator ||
        c == d.ReleaseChar || c == d.SegmentTerminator)
        return 0;
    return c;
}

} // namespace

bool TSegmentLexer::Next() {
    TStream& s = stream_;
    if (!started_) {
        started_ = true;
        if (s.Position() == 0) {
            uint8_t head[3];
            const size_t got = s.Read(head, sizeof head);
            bom_ = got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
            if (!bom_) s.Seek(0);
        }
    }
    raw_.clear();
    Tag.clear();
    Advice = Terminated = false;
    int c;
    do {
        c = s.ReadByte();
    } while (c >= 0 && c < 32);
    if (c < 0) return false;
    Start = s.Position() - 1;
    s.StepBack();

    const auto term = static_cast<unsigned char>(delimiters_.SegmentTerminator);
    const auto release = static_cast<unsigned char>(delimiters_.ReleaseChar);
    bool released = false;
    for (;;) {
        const uint8_t* b = s.BufferedBegin();
        const uint8_t* e = s.BufferedEnd();
        if (b == e) {
            if (s.ReadByte() < 0) break;
            s.StepBack();
            continue;
        }
        const uint8_t* p = b;
        bool advice = false;
        while (p < e) {
            const uint8_t ch = *p++;
            if (ch < 32) continue;
            // The delimiters win over the release character should an advice make them equal.
            if (released)
                released = false;
            else if (ch == term)
                Terminated = true;
            else if (ch == release)
                released = true;
            if (Tag.size() < 3) {
                Tag.push_back(static_cast<char>(ch));
                // An advice takes its six characters as they are, whatever they are.
                if (Tag == "UNA" && raw_.size() + static_cast<size_t>(p - b) == 3) {
                    advice = true;
                    break;
                }
            }
            if (Terminated) break;
        }
        raw_.append(reinterpret_cast<const char*>(b), static_cast<size_t>(p - b));
        s.Skip(static_cast<size_t>(p - b));
        if (advice) {
            char chars[6];
            const size_t got = s.Read(chars, sizeof chars);
            raw_.append(chars, got);
            char* targets[6] = {&delimiters_.ComponentSeparator, &delimiters_.ElementSeparator,
                                &delimiters_.DecimalMark,        &delimiters_.ReleaseChar,
                                &delimiters_.ReservedChar,       &delimiters_.SegmentTerminator};
            for (size_t i = 0; i < got; ++i)
                *targets[i] = chars[i];
            delimiters_.RepetitionSeparator = 0;
            hadAdvice_ = true;
            Advice = true;
            Terminated = got == sizeof chars;
            break;
        }
        if (Terminated) break;
        if (raw_.size() > MaxSegmentBytes)
            throw EEdiSyntaxError("Segment longer than " + std::to_string(MaxSegmentBytes) + " bytes.");
    }
    End = s.Position();
    if (Advice) return true;
    ++Number;
    if (Tag == "UNB") {
        // Syntax version 4 separates repeats; the header names the version in S001.
        const std::vector<TRawElement> elements = SplitElements(raw_, delimiters_);
        const bool v4 =
            !elements.empty() && elements[0].Components.size() > 1 && elements[0].Components[1] == "4";
        delimiters_.RepetitionSeparator = v4 ? RepetitionSeparatorOf(delimiters_, hadAdvice_) : 0;
        hadAdvice_ = false;
    }
    return true;
}

std::vector<TRawElement> SplitElements(std::string_view raw, const TDelimiters& d) {
    std::vector<TRawElement> out;
    size_t i = 0;
    for (int tagChars = 0; i < raw.size() && tagChars < 3; ++i)
        if (static_cast<unsigned char>(raw[i]) >= 32) ++tagChars;
    TRawElement* current = nullptr;
    for (; i < raw.size(); ++i) {
        const char ch = raw[i];
        if (static_cast<unsigned char>(ch) < 32) continue;
        if (ch == d.ElementSeparator) {
            if (current) current->End = i;
            out.push_back({i + 1, raw.size(), {std::string()}});
            current = &out.back();
            continue;
        }
        if (ch == d.SegmentTerminator) {
            if (current) current->End = i;
            return out;
        }
        if (!current) continue; // text between the tag and the first separator belongs to no element
        if (ch == d.ComponentSeparator) {
            current->Components.emplace_back();
            continue;
        }
        if (ch == d.ReleaseChar) {
            ++i;
            while (i < raw.size() && static_cast<unsigned char>(raw[i]) < 32)
                ++i;
            if (i == raw.size()) break;
        }
        current->Components.back().push_back(raw[i]);
    }
    if (current) current->End = raw.size();
    return out;
}

} // namespace talmiro
