#include "check_session.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/syntax.h"
#include "talmiro/transmission.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace talmiro::cli {

void AddReadOptions(CLI::App& command, TReadOptions& options) {
    command
        .add_option(
            "--standards", options.Standards,
            "Base directory of the standards (default: BASEDIR of the first TALMIRO.INI found beside the "
            "executable, in ~/.config/talmiro or in /etc/talmiro)")
        ->check(CLI::ExistingDirectory);
    command.add_option("--format", options.Format, "Output format")
        ->check(CLI::IsMember({"text", "json"}))
        ->default_str("text");
}

std::unique_ptr<TStandardsCatalogue> MakeCatalogue(const TReadOptions& options) {
    auto catalogue = std::make_unique<TStandardsCatalogue>();
    if (options.Standards.empty()) {
        catalogue->LoadSettings(FindIniFile(DefaultConfigLocations()));
    } else {
        catalogue->BaseDir = options.Standards;
        catalogue->ScanStandards();
    }
    return catalogue;
}

TInput OpenInput(const std::string& argument, std::string& error) {
    TInput input;
    if (argument == "-") {
        input.Name = "<stdin>";
        // Standard input cannot seek, and the details are read again from their positions.
        auto memory = std::make_unique<TMemoryStream>();
        std::vector<char> buffer(1 << 16);
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0)
            memory->Write(buffer.data(), n);
        if (std::ferror(stdin)) {
            error = "cannot read standard input";
            return input;
        }
        memory->Seek(0);
        input.Stream = std::move(memory);
        return input;
    }
    input.Name = argument;
    std::error_code ec;
    if (std::filesystem::is_directory(argument, ec)) {
        error = argument + " is a directory";
        return input;
    }
    try {
        input.Stream = std::make_unique<TFileStream>(argument);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return input;
}

bool WantsProgress(TInput& input) {
    constexpr int64_t Threshold = 50 * 1024 * 1024;
    return input.Stream->Size() > Threshold && ::isatty(STDERR_FILENO);
}

TLocation TLocator::At(int64_t pos, int64_t segmentNumber) {
    TLocation location;
    location.Segment = segmentNumber;
    const int64_t size = stream_.Size();
    pos = std::clamp<int64_t>(pos, 0, size);
    stream_.Seek(pos);
    int c;
    while ((c = stream_.ReadByte()) >= 0 && c < 32)
        ++pos;
    location.Offset = pos;
    while (c >= 0 && location.Tag.size() < 3) {
        if (c >= 32) location.Tag.push_back(static_cast<char>(c));
        if (location.Tag.size() < 3) c = stream_.ReadByte();
    }
    if (pos < scanned_) {
        scanned_ = 0;
        line_ = 1;
        lineStart_ = 0;
        lastCr_ = false;
    }
    stream_.Seek(scanned_);
    // A line ends at LF, CR LF or a lone CR, as editors count them.
    for (int64_t p = scanned_; p < pos; ++p) {
        const int c = stream_.ReadByte();
        if (c == '\n' || c == '\r') {
            if (c == '\r' || !lastCr_) ++line_;
            lineStart_ = p + 1;
        }
        lastCr_ = c == '\r';
    }
    scanned_ = pos;
    location.Line = line_;
    location.Column = pos - lineStart_ + 1;
    return location;
}

namespace {

std::string FieldText(const TEdiComposit* container, const char* id) {
    TEDIField* field = container ? container->FindField(id) : nullptr;
    return field ? field->AsString() : std::string();
}

const TEDIField* Field(const TEdiSegment& segment, const char* id) {
    return segment.FindField(id);
}

// The error's kind for the JSON output.
std::string CodeOf(const std::exception& e) {
    if (dynamic_cast<const EEdiSyntaxError*>(&e)) return "syntax";
    if (dynamic_cast<const EInvalidSegment*>(&e)) return "segment";
    if (dynamic_cast<const EFOpenError*>(&e) || dynamic_cast<const EReadError*>(&e)) return "table";
    if (dynamic_cast<const EInOutError*>(&e)) return "io";
    const std::string text = e.what();
    if (text.rfind("Segment sequence error: ", 0) == 0) return "sequence";
    if (text == "This no EDI message." || text == "Segment UNH expected" || text == "Segment UNE expected" ||
        text == "Segment UNZ expected")
        return "envelope";
    if (text == "This MDT-file cannot be used on this message") return "table";
    return "error";
}

// Digits, at most one decimal mark and a leading minus sign; sign and mark do not count as characters.
bool NumericLength(const std::string& text, size_t& digits) {
    digits = 0;
    bool mark = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == Delimiters.DecimalMark && !mark)
            mark = true;
        else if (c == '-' && i == 0)
            continue;
        else
            return false;
    }
    return digits > 0;
}

std::string Quoted(const std::string& value) {
    constexpr size_t Shown = 40;
    if (value.size() <= Shown) return "\"" + value + "\"";
    return "\"" + value.substr(0, Shown) + "...\"";
}

// A count element as a number; -1 when it holds anything but digits.
int64_t CountOf(const std::string& text) {
    if (text.empty() || text.size() > 15) return -1;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

void ResetValues(TEdiComposit& container) {
    for (auto& element : container.Elements) {
        if (auto* field = dynamic_cast<TEDIField*>(element.get())) {
            field->Clear();
            field->RawText.clear();
        } else if (auto* composite = dynamic_cast<TEdiComposit*>(element.get())) {
            ResetValues(*composite);
        }
    }
}

bool HasMandatoryEntry(const TMessageDefRec* list, const std::string& tag) {
    for (; list; list = list->Next.get())
        if (list->Condition == 'M' && list->Tag == tag) return true;
    return false;
}

} // namespace

TReadSession::TReadSession(TInterchangeReader& reader, TInput& input, TSessionOptions options)
    : reader_(reader), input_(input), options_(options) {
    size_ = input_.Stream->Size();
    reader_.OnNewMessage = [this](TEdiTransmission& trn) {
        inMessage_ = true;
        seqErrorInMessage_ = false;
        groups_.clear();
        const TSegmUNH& unh = trn.SegmUNH();
        const TEdiComposit* s009 = unh.FindComposit("S009");
        message_ = {FieldText(s009, "0065"), FieldText(s009, "0052"), FieldText(s009, "0054"),
                    FieldText(&unh, "0062"), 0};
        ++MessageCount;
        ++interchangeMessages_;
        ++groupMessages_;
    };
    reader_.OnExitMessage = [this](TEdiTransmission&) {
        inMessage_ = false;
        if (OnMessage) OnMessage(message_);
        groups_.clear();
    };
    reader_.OnStrctLoaded = [this](TEdiTransmission&) { MapGroups(); };
    reader_.OnSegmentRead = [this](TEdiMessage&, TEdiSegment& segment) { OnSegment(segment); };
    reader_.OnEnterGroup = [this](TEdiMessage&, int grpNbr, int) {
        if (!seqErrorInMessage_) {
            groups_.push_back(grpNbr);
            return;
        }
        // No OnDoneGroup follows a reported sequence error: take the group's ancestors from the table.
        groups_.clear();
        for (int g = grpNbr; g > 0 && groups_.size() <= static_cast<size_t>(MaxGroupDepth);) {
            groups_.insert(groups_.begin(), g);
            auto found = groupInfo_.find(g);
            g = found == groupInfo_.end() ? 0 : found->second.Parent;
        }
    };
    reader_.OnDoneGroup = [this](TEdiMessage&, int) {
        if (!groups_.empty()) groups_.pop_back();
    };
    if (options_.AllErrors)
        reader_.Message().OnSegSeqError = [this](TEdiMessage&, const std::string& expect,
                                                 const std::string& found) {
            OnSequenceError(expect, found);
        };
}

TReadSession::~TReadSession() {
    reader_.OnNewMessage = nullptr;
    reader_.OnExitMessage = nullptr;
    reader_.OnStrctLoaded = nullptr;
    reader_.OnSegmentRead = nullptr;
    reader_.OnEnterGroup = nullptr;
    reader_.OnDoneGroup = nullptr;
    reader_.Message().OnSegSeqError = nullptr;
}

bool TReadSession::Run() {
    try {
        reader_.Read(*input_.Stream);
        Completed = true;
    } catch (const std::exception& e) {
        TDiagnostic d;
        d.Code = CodeOf(e);
        d.Text = e.what();
        d.GroupPath = inMessage_ ? GroupPath() : std::string();
        d.SegmentPos = NextSegmentPos();
        d.Location.Segment = SegmentCount + 1;
        Diagnostics.push_back(std::move(d));
        if (inMessage_ && OnMessage) OnMessage(message_);
    }
    if (options_.Progress) std::fprintf(stderr, "\r%*s\r", static_cast<int>(input_.Name.size()) + 8, "");
    return Completed;
}

size_t TReadSession::ErrorCount() const {
    return static_cast<size_t>(std::count_if(Diagnostics.begin(), Diagnostics.end(),
                                             [](const TDiagnostic& d) { return !d.Warning; }));
}

size_t TReadSession::WarningCount() const {
    return Diagnostics.size() - ErrorCount();
}

int64_t TReadSession::NextSegmentPos() const {
    return lastEnd_ >= 0 ? lastEnd_ + 1 : -1;
}

void TReadSession::OnSegment(TEdiSegment& segment) {
    ++SegmentCount;
    lastEnd_ = segment.EndPos;
    if (!inMessage_ && segment.ID == "UNB") {
        const TEdiComposit* s001 = segment.FindComposit("S001");
        const TEDIField* syntax = s001 ? s001->FindField("0001") : nullptr;
        std::string name = syntax ? syntax->RawText : std::string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        Utf8 = name == "UNOY";
    }
    if (inMessage_) ++message_.Segments;
    if (options_.Strict) {
        StrictElements(segment, segment.ID, segment);
        StrictEnvelope(segment);
        // ReadEdi leaves elements missing from the text with the values of an earlier occurrence; empty
        // them so that the next occurrence shows only what it holds.
        ResetValues(segment);
    }
    if (options_.Progress && segment.EndPos >= nextProgress_) {
        std::fprintf(stderr, "\r%s: %3d%%", input_.Name.c_str(),
                     static_cast<int>(size_ > 0 ? segment.EndPos * 100 / size_ : 100));
        nextProgress_ = segment.EndPos + std::max<int64_t>(size_ / 100, 1);
    }
}

void TReadSession::Warn(const std::string& code, const std::string& text, const TEdiSegment& segment) {
    TDiagnostic d;
    d.Warning = true;
    d.Code = code;
    d.Text = text;
    d.GroupPath = inMessage_ ? GroupPath() : std::string();
    d.SegmentPos = segment.StartPos;
    d.Location.Segment = SegmentCount;
    Diagnostics.push_back(std::move(d));
}

void TReadSession::StrictElements(const TEdiComposit& container, const std::string& path,
                                  const TEdiSegment& segment) {
    for (const auto& element : container.Elements) {
        if (auto* field = dynamic_cast<const TEDIField*>(element.get())) {
            const std::string& value = field->RawText;
            if (value.empty()) continue;
            const std::string name = path + "/" + field->ID;
            size_t length = value.size();
            if (field->FieldType == ftNumeric && !NumericLength(value, length)) {
                Warn("numeric", "Value " + Quoted(value) + " of " + name + " is not numeric", segment);
                length = value.size();
            }
            if (length > static_cast<size_t>(std::max(field->MaxSize, 0)))
                Warn("length",
                     "Value " + Quoted(value) + " of " + name + " is longer than " +
                         std::to_string(field->MaxSize) + " characters",
                     segment);
            else if (length < static_cast<size_t>(std::max(field->MinSize, 0)))
                Warn("length",
                     "Value " + Quoted(value) + " of " + name + " is shorter than " +
                         std::to_string(field->MinSize) + " characters",
                     segment);
        } else if (auto* composite = dynamic_cast<const TEdiComposit*>(element.get())) {
            StrictElements(*composite, path + "/" + composite->ID, segment);
        }
    }
}

void TReadSession::StrictEnvelope(const TEdiSegment& segment) {
    auto raw = [&](const char* id) {
        const TEDIField* field = Field(segment, id);
        return field ? field->RawText : std::string();
    };
    // expected and the text that says what was counted, e.g. 5 and "segments in the message".
    auto checkCount = [&](const char* id, const std::string& what, int64_t expected,
                          const std::string& counted) {
        if (!Field(segment, id)) return;
        const std::string value = raw(id);
        if (CountOf(value) != expected)
            Warn(segment.ID == "UNT"   ? "unt-count"
                 : segment.ID == "UNE" ? "une-count"
                                       : "unz-count",
                 what + " in " + segment.ID + " is " + Quoted(value) + ", but there are " +
                     std::to_string(expected) + " " + counted,
                 segment);
    };
    auto checkReference = [&](const char* id, const std::string& what, const std::string& expected,
                              const char* header) {
        if (!Field(segment, id)) return;
        const std::string value = raw(id);
        if (value != expected)
            Warn(segment.ID == "UNT"   ? "unt-reference"
                 : segment.ID == "UNE" ? "une-reference"
                                       : "unz-reference",
                 what + " in " + segment.ID + " is " + Quoted(value) + ", but " + header + " has " +
                     Quoted(expected),
                 segment);
    };

    if (inMessage_) {
        if (segment.ID == "UNT") {
            checkCount("0074", "Segment count", message_.Segments, "segments in the message");
            checkReference("0062", "Message reference", message_.Reference, "UNH");
        }
        return;
    }
    if (segment.ID == "UNB") {
        unbReference_ = raw("0020");
    } else if (segment.ID == "UNG") {
        ++fncGroups_;
        groupMessages_ = 0;
        ungReference_ = raw("0048");
    } else if (segment.ID == "UNE") {
        checkCount("0060", "Message count", groupMessages_, "messages in the group");
        checkReference("0048", "Group reference", ungReference_, "UNG");
    } else if (segment.ID == "UNZ") {
        if (fncGroups_ > 0)
            checkCount("0036", "Interchange count", fncGroups_, "functional groups in the interchange");
        else
            checkCount("0036", "Interchange count", interchangeMessages_, "messages in the interchange");
        checkReference("0020", "Interchange reference", unbReference_, "UNB");
    }
}

void TReadSession::OnSequenceError(const std::string& expect, const std::string& found) {
    // Before the first error the group events give the exact nesting. Afterwards the list in which the
    // mismatch happened is the deepest open one that has a mandatory entry for the expected tag.
    if (seqErrorInMessage_) {
        while (!groups_.empty()) {
            auto info = groupInfo_.find(groups_.back());
            if (info != groupInfo_.end() && HasMandatoryEntry(info->second.Members, expect)) break;
            groups_.pop_back();
        }
    }
    TDiagnostic d;
    d.Code = "sequence";
    d.Text = "Segment sequence error: " + expect + " expected but " + found + " found.";
    d.GroupPath = GroupPath();
    d.SegmentPos = NextSegmentPos();
    d.Location.Segment = SegmentCount + 1;
    Diagnostics.push_back(std::move(d));
    // The list is left and its group stops repeating.
    if (!groups_.empty()) groups_.pop_back();
    seqErrorInMessage_ = true;
}

void TReadSession::MapGroups() {
    groupInfo_.clear();
    struct Level {
        const TMessageDefRec* List;
        int Group;
        int Depth;
    };
    std::vector<Level> pending{{reader_.Message().Structure.get(), 0, 0}};
    while (!pending.empty()) {
        Level level = pending.back();
        pending.pop_back();
        for (const TMessageDefRec* rec = level.List; rec; rec = rec->Next.get()) {
            if (rec->Kind != mdGroup) continue;
            groupInfo_[rec->GrpNbr] = {level.Group, rec->Children.get()};
            // The reader goes no deeper either; siblings may be many.
            if (level.Depth < MaxGroupDepth)
                pending.push_back({rec->Children.get(), rec->GrpNbr, level.Depth + 1});
        }
    }
}

std::string TReadSession::GroupPath() const {
    std::string path;
    for (int g : groups_) {
        if (!path.empty()) path += '/';
        path += "SG" + std::to_string(g);
    }
    return path;
}

void TReadSession::Locate() {
    std::stable_sort(Diagnostics.begin(), Diagnostics.end(), [](const TDiagnostic& a, const TDiagnostic& b) {
        return a.Location.Segment < b.Location.Segment;
    });
    TStream& stream = *input_.Stream;
    TLocator locator(stream);
    for (TDiagnostic& d : Diagnostics) {
        int64_t pos = d.SegmentPos;
        if (pos < 0) {
            // Nothing was read yet: the first segment follows the nine bytes of a UNA advice, if any.
            stream.Seek(0);
            std::string first = ReadChars(stream, 3);
            pos = first == "UNA" ? 9 : 0;
        }
        d.Location = locator.At(pos, d.Location.Segment);
    }
}

std::string FormatDiagnostic(const std::string& fileName, const TDiagnostic& d) {
    const TLocation& l = d.Location;
    std::string text =
        fileName + ":" + std::to_string(l.Line) + ":" + std::to_string(l.Column) + ": " +
        (d.Warning ? "warning: " : "error: ") + d.Text + " [segment " + std::to_string(l.Segment) + ", " +
        (l.Tag.empty() ? std::string("end of data") : l.Tag) + ", byte " + std::to_string(l.Offset);
    if (!d.GroupPath.empty()) text += ", in " + d.GroupPath;
    return text + "]";
}

void PrintOpenError(const std::string& name, const std::string& error, bool json) {
    if (json)
        PrintJson(
            {{"file", name},
             {"valid", false},
             {"errors", {{{"code", "open"}, {"text", error}, {"location", nullptr}, {"groupPath", ""}}}}});
    else
        std::cerr << "talmiro-cli: " << error << '\n';
}

void PrintDiagnostics(const std::string& fileName, const std::vector<TDiagnostic>& diagnostics) {
    for (const TDiagnostic& d : diagnostics)
        std::cerr << FormatDiagnostic(fileName, d) << '\n';
}

nlohmann::json LocationJson(const TLocation& l) {
    return {
        {"segment", l.Segment}, {"tag", l.Tag}, {"offset", l.Offset}, {"line", l.Line}, {"column", l.Column}};
}

nlohmann::json DiagnosticJson(const TDiagnostic& d) {
    return {{"code", d.Code},
            {"text", d.Text},
            {"location", LocationJson(d.Location)},
            {"groupPath", d.GroupPath}};
}

nlohmann::json MessageJson(const TMessageInfo& m) {
    return {{"type", m.Type},
            {"version", m.Version},
            {"release", m.Release},
            {"reference", m.Reference},
            {"segments", m.Segments}};
}

nlohmann::json ElementsJson(const std::vector<std::unique_ptr<TEdiElement>>& elements) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& element : elements) {
        if (auto* field = dynamic_cast<const TEDIField*>(element.get())) {
            nlohmann::json value = nullptr;
            if (field->LastFilled() >= 0 && !field->RawText.empty()) value = field->RawText;
            list.push_back({{"id", field->ID}, {"value", value}, {"description", field->Description}});
        } else if (auto* composite = dynamic_cast<const TEdiComposit*>(element.get())) {
            list.push_back({{"id", composite->ID},
                            {"description", composite->Description},
                            {"elements", ElementsJson(composite->Elements)}});
        }
    }
    return list;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    auto at = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    const unsigned c = at(i);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const bool second = c == 0xE0 ? cont(i + 1, 0xA0) : c == 0xED ? cont(i + 1, 0x80, 0x9F) : cont(i + 1);
        return second && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const bool second = c == 0xF0 ? cont(i + 1, 0x90) : c == 0xF4 ? cont(i + 1, 0x80, 0x8F) : cont(i + 1);
        return second && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

// Interchanges in UNOC and similar repertoires are Latin-1, not UTF-8: a byte that does not start a UTF-8
// sequence is taken as a Latin-1 character, so JSON output loses nothing.
void MakeUtf8(std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t n = Utf8Length(text, i);
        if (n == 0) break;
        i += n;
    }
    if (i == text.size()) return;
    std::string out = text.substr(0, i);
    while (i < text.size()) {
        size_t n = Utf8Length(text, i);
        if (n > 0) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i++]);
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    text = std::move(out);
}

void Latin1ToUtf8(std::string& text) {
    if (std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return;
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    text = std::move(out);
}

void MakeUtf8(nlohmann::json& value, bool latin1 = false) {
    if (value.is_string()) {
        if (latin1)
            Latin1ToUtf8(value.get_ref<std::string&>());
        else
            MakeUtf8(value.get_ref<std::string&>());
    } else if (value.is_structured()) {
        for (auto& item : value)
            MakeUtf8(item, latin1);
    }
}

} // namespace

nlohmann::json ViewerText(nlohmann::json value, bool utf8) {
    MakeUtf8(value, !utf8);
    return value;
}

std::string JsonText(nlohmann::json value) {
    MakeUtf8(value);
    return value.dump();
}

void PrintJson(nlohmann::json document) {
    std::cout << JsonText(std::move(document)) << '\n';
}

} // namespace talmiro::cli
