#include "talmiro/validation.h"

#include "talmiro/charsets.h"
#include "talmiro/code_names.h"
#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/segment_details.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"
#include "talmiro/transmission.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talmiro {

namespace {

// The line ends among n bytes: every CR, and every LF that does not follow a CR (lastCr: the byte before
// them is one).
int64_t LineBreaks(const uint8_t* bytes, size_t n, bool lastCr) {
    int64_t breaks = 0;
    size_t i = 0;
#if defined(__SSE2__)
    if (n > 16) {
        if (bytes[0] == '\r' || (bytes[0] == '\n' && !lastCr)) ++breaks;
        // Then 16 bytes at a time against the 16 before them shifted by one; a lane counts up to 255 times.
        const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
        for (i = 1; i + 16 <= n;) {
            __m128i counts = zero;
            for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
                const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i - 1));
                const __m128i lfAlone = _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
                counts = _mm_sub_epi8(counts, _mm_or_si128(_mm_cmpeq_epi8(v, cr), lfAlone));
            }
            const __m128i sums = _mm_sad_epu8(counts, zero);
            breaks += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
        }
        lastCr = bytes[i - 1] == '\r';
    }
#endif
    for (; i < n; ++i) {
        const uint8_t c = bytes[i];
        if (c == '\r' || (c == '\n' && !lastCr)) ++breaks;
        lastCr = c == '\r';
    }
    return breaks;
}

} // namespace

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
    // A line ends at LF, CR LF or a lone CR, as editors count them. The bytes are taken a buffer at a time:
    // a file with warnings all through it is scanned once, at the speed of a line count.
    int64_t p = scanned_;
    while (p < pos) {
        if (stream_.BufferedBegin() == stream_.BufferedEnd()) {
            if (stream_.ReadByte() < 0) break;
            stream_.StepBack();
        }
        const uint8_t* bytes = stream_.BufferedBegin();
        const size_t n = static_cast<size_t>(std::min<int64_t>(stream_.BufferedEnd() - bytes, pos - p));
        line_ += LineBreaks(bytes, n, lastCr_);
        for (size_t i = n; i-- > 0;)
            if (bytes[i] == '\n' || bytes[i] == '\r') {
                lineStart_ = p + static_cast<int64_t>(i) + 1;
                break;
            }
        lastCr_ = bytes[n - 1] == '\r';
        stream_.Skip(n);
        p += static_cast<int64_t>(n);
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
    if (dynamic_cast<const ENoDefinition*>(&e)) return "no-definition";
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

// Digits, at most one decimal mark (one of marks) and a leading minus sign; sign and mark do not count as
// characters.
bool NumericLength(std::string_view text, size_t& digits, const std::string& marks) {
    digits = 0;
    bool mark = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (!mark && std::find(marks.begin(), marks.end(), c) != marks.end()) // one or two marks
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

// " (Party function code qualifier)" after an element's path, when the table names the element.
std::string NameOf(const TEdiElement& element) {
    const std::string* description = nullptr;
    if (auto* field = element.AsField())
        description = &field->Description;
    else if (auto* composite = element.AsComposite())
        description = &composite->Description;
    return description && !description->empty() ? " (" + *description + ")" : std::string();
}

// "NAD/C082/3039": the segment, the composite if any, the element.
std::string PathOf(const TEdiSegment& segment, const TEdiComposit* composite, const TEDIField& field) {
    std::string path = segment.ID;
    if (composite) path += "/" + composite->ID;
    return path + "/" + field.ID;
}

bool HasValue(const TEdiComposit& composite) {
    for (const auto& element : composite.Elements) {
        auto* field = element->AsField();
        if (field && !field->RawText.empty()) return true;
    }
    return false;
}

// Empties what an earlier reading left in a field the text does not have.
void ClearStale(TEDIField& field) {
    if (field.RawText.empty()) return;
    field.Clear();
    field.RawText.clear();
}

void ClearStale(TEdiComposit& composite, size_t from) {
    for (size_t i = from; i < composite.Elements.size(); ++i) {
        TEdiElement& element = *composite.Elements[i];
        if (auto* field = element.AsField())
            ClearStale(*field);
        else
            ClearStale(*element.AsComposite(), 0);
    }
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

bool IsService(const TEdiSegment& segment) {
    return segment.ID.size() == 3 && segment.ID[0] == 'U' && segment.ID[1] == 'N';
}

// "Character "a"", or the byte's number when it is no printable one.
std::string CharacterText(std::string_view character) {
    const auto c = static_cast<unsigned char>(character[0]);
    if (character.size() == 1 && (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))) {
        static const char digits[] = "0123456789ABCDEF";
        return std::string("Byte 0x") + digits[c >> 4] + digits[c & 15];
    }
    return "Character \"" + std::string(character) + "\"";
}

bool HasMandatoryEntry(const TMessageDefRec* list, const std::string& tag) {
    for (; list; list = list->Next.get())
        if (list->Condition == 'M' && list->Tag == tag) return true;
    return false;
}

// Where an element (a data element of the segment, or a further occurrence of one) and a component of it
// stand in the segment as last read, for a diagnostic about them.
void PlaceOf(const TEdiSegment& segment, const TEdiElement* element, const TEdiElement* component,
             TDiagnostic& d) {
    if (!element) return;
    for (size_t i = 0; i < segment.Elements.size() && d.ElementPos == 0; ++i)
        if (segment.Elements[i].get() == element) d.ElementPos = static_cast<int32_t>(i + 1);
    if (d.ElementPos == 0) {
        std::vector<int32_t> occurrences(segment.Elements.size(), 1);
        for (const auto& r : segment.Repetitions) {
            if (r.Position >= occurrences.size()) continue;
            ++occurrences[r.Position];
            if (r.Element.get() != element) continue;
            d.ElementPos = static_cast<int32_t>(r.Position + 1);
            d.Occurrence = occurrences[r.Position];
            break;
        }
    }
    auto* composite = element->AsComposite();
    if (!component || !composite) return;
    for (size_t i = 0; i < composite->Elements.size(); ++i)
        if (composite->Elements[i].get() == component) d.ComponentPos = static_cast<int32_t>(i + 1);
}

// The occurrence of the element at position that is one more than count, or null.
const TEdiElement* OccurrenceAfter(const TEdiSegment& segment, size_t position, int count) {
    int seen = 1;
    for (const auto& r : segment.Repetitions)
        if (r.Position == position && ++seen == count + 1) return r.Element.get();
    return nullptr;
}

} // namespace

TValidator::TValidator(TInterchangeReader& reader, TStream& stream, TValidationOptions options)
    : reader_(reader), stream_(stream), options_(options) {
    reader_.OnNewMessage = [this](TEdiTransmission& trn) {
        inMessage_ = true;
        seqErrorInMessage_ = false;
        groups_.clear();
        const TEdiSegment& unh = trn.SegmUNH();
        const TEdiComposit* s009 = unh.FindComposit("S009");
        message_ = {FieldText(s009, "0065"),
                    FieldText(s009, "0052"),
                    FieldText(s009, "0054"),
                    FieldText(&unh, "0062"),
                    0,
                    {}};
        ++MessageCount;
        ++interchangeMessages_;
        ++groupMessages_;
        SelectGuideline(unh);
    };
    reader_.OnExitMessage = [this](TEdiTransmission&) {
        inMessage_ = false;
        guidelineBegun_ = false;
        if (OnMessage) OnMessage(message_);
        groups_.clear();
    };
    reader_.OnStrctLoaded = [this](TEdiTransmission&) {
        MapGroups();
        guidelineBound_ = false;
        if (options_.Strict) LoadCodeLists();
    };
    // A table that is not installed is an error of its own, never one in the current directory.
    if (options_.NoDefinitionIsError)
        reader_.OnGetStructureFile = [this](TEdiTransmission&, std::string&) {
            if (!reader_.MissingDefinition.empty())
                throw ENoDefinition(reader_.MissingDefinition, reader_.MissingDefinitionHint);
        };
    reader_.OnSegmentRead = [this](TEdiMessage&, TEdiSegment& segment) { OnSegment(segment); };
    reader_.OnEnterGroup = [this](TEdiMessage&, int grpNbr, int) {
        if (!seqErrorInMessage_) {
            groups_.push_back(grpNbr);
            if (guidelineBegun_) guideline_.EnterGroup(grpNbr);
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
    reader_.OnDoneGroup = [this](TEdiMessage&, int grpNbr) {
        if (guidelineBegun_ && !seqErrorInMessage_) guideline_.DoneGroup(grpNbr);
        if (!groups_.empty()) groups_.pop_back();
    };
    // A table still loaded from an earlier reading brings no load event.
    if (options_.Strict && reader_.Message().SegmentTable) LoadCodeLists();
    if (options_.AllErrors)
        reader_.Message().OnSegSeqError = [this](TEdiMessage&, const std::string& expect,
                                                 const std::string& found) {
            OnSequenceError(expect, found);
        };
}

TValidator::~TValidator() {
    reader_.OnNewMessage = nullptr;
    reader_.OnExitMessage = nullptr;
    reader_.OnStrctLoaded = nullptr;
    reader_.OnGetStructureFile = nullptr;
    reader_.OnSegmentRead = nullptr;
    reader_.OnEnterGroup = nullptr;
    reader_.OnDoneGroup = nullptr;
    reader_.Message().OnSegSeqError = nullptr;
}

bool TValidator::Run() {
    try {
        reader_.Read(stream_);
        Completed = true;
    } catch (const std::exception& e) {
        Error = std::current_exception();
        TDiagnostic d;
        d.Code = CodeOf(e);
        d.Text = e.what();
        if (auto* missing = dynamic_cast<const ENoDefinition*>(&e)) d.Hint = missing->Hint;
        d.GroupPath = inMessage_ ? GroupPath() : std::string();
        d.SegmentPos = NextSegmentPos();
        d.Location.Segment = SegmentCount + 1;
        d.Node = LastNode();
        Diagnostics.push_back(std::move(d));
        if (inMessage_ && OnMessage) OnMessage(message_);
    }
    return Completed;
}

size_t TValidator::ErrorCount() const {
    return static_cast<size_t>(std::count_if(Diagnostics.begin(), Diagnostics.end(),
                                             [](const TDiagnostic& d) { return !d.Warning; }));
}

size_t TValidator::WarningCount() const {
    return Diagnostics.size() - ErrorCount();
}

int64_t TValidator::NextSegmentPos() const {
    return lastEnd_ >= 0 ? lastEnd_ + 1 : -1;
}

void TValidator::OnSegment(TEdiSegment& segment) {
    ++SegmentCount;
    lastEnd_ = segment.EndPos;
    if (!inMessage_ && segment.ID == "UNB") {
        DeclareRepertoire(segment);
        // The partners, by which the partner file chooses guidelines.
        const TEdiComposit* s002 = segment.FindComposit("S002");
        const TEdiComposit* s003 = segment.FindComposit("S003");
        sender_ = {FieldText(s002, "0004"), FieldText(s002, "0007")};
        recipient_ = {FieldText(s003, "0010"), FieldText(s003, "0007")};
        // Syntax version 4 takes comma and full stop alike; earlier versions the mark of UNA.
        decimalMarks_ = reader_.Transmission().SyntaxVersion() == 4 ? std::string(",.")
                                                                    : std::string(1, Delimiters.DecimalMark);
        if (!options_.Strict && options_.DetectUtf8) DiagnoseUtf8(segment);
    }
    if (inMessage_) ++message_.Segments;
    if (messageGuideline_ && inMessage_) {
        // The guideline's rules read only what this reading reached, never an earlier occurrence's value.
        GuidelineSegment(segment);
    }
    if (options_.Strict) {
        if (segment.Repetitions.empty())
            StrictElements(segment);
        else
            StrictOccurrences(segment);
        if (!segment.Repetitions.empty()) StrictRepeats(segment);
        if (IsService(segment)) {
            ClearStale(segment, static_cast<size_t>(std::max(segment.ReadCount, 0)));
            StrictEnvelope(segment);
        }
    }
    if (OnProgress) OnProgress(segment.EndPos);
}

int32_t TValidator::LastNode() const {
    return reader_.LastNode();
}

void TValidator::Warn(const std::string& code, const std::string& text, const TEdiSegment& segment,
                      const TEdiElement* element, const TEdiElement* component) {
    TDiagnostic d;
    d.Warning = true;
    d.Code = code;
    d.Text = text;
    d.GroupPath = inMessage_ ? GroupPath() : std::string();
    d.SegmentPos = segment.StartPos;
    d.Location.Segment = SegmentCount;
    d.Node = LastNode();
    PlaceOf(segment, element, component, d);
    Diagnostics.push_back(std::move(d));
}

void TValidator::DeclareRepertoire(const TEdiSegment& unb) {
    const TEdiComposit* s001 = unb.FindComposit("S001");
    const TEDIField* syntax = s001 ? s001->FindField("0001") : nullptr;
    repertoire_ = TRepertoire(syntax ? syntax->RawText : std::string());
    for (char c : {Delimiters.ComponentSeparator, Delimiters.ElementSeparator, Delimiters.SegmentTerminator,
                   Delimiters.ReleaseChar, Delimiters.RepetitionSeparator})
        if (c != 0) repertoire_.Allow(static_cast<unsigned char>(c));
    Utf8 = repertoire_.Utf8();
    Utf8Undeclared.clear();
    utf8Warned_ = false;
}

void TValidator::DiagnoseUtf8(const TEdiSegment& segment) {
    if (!repertoire_.SingleByte()) return;
    if (!utf8Scanned_) {
        utf8Scan_ = ScanUtf8(stream_);
        utf8Scanned_ = true;
    }
    if (!utf8Scan_.AnyHigh || !utf8Scan_.Valid) return;
    Utf8 = true;
    Utf8Undeclared = "Text is UTF-8, but UNB declares " + repertoire_.Name();
    if (options_.Strict && !utf8Warned_) {
        utf8Warned_ = true;
        Warn("charset", Utf8Undeclared, segment);
        Diagnostics.back().Hint = "Lengths count characters, and the text is shown as UTF-8.";
    }
}

// Every simple element occurrence of a segment passes through CheckValue, with its segment, composite,
// occurrence and value: another check of values belongs there.
[[gnu::always_inline]] inline void TValidator::CheckValue(const TValue& v) {
    const std::string_view value = v.Value;
    if (value.empty()) {
        if (v.Field.Mandatory && inMessage_) [[unlikely]]
            MissingValue(v);
        return;
    }
    // What passes every check is seen here, inline; anything else takes CheckText, which looks again and
    // says what is wrong.
    const TEDIField& field = v.Field;
    size_t length = value.size();
    if (repertoire_.Flags(value) != 0 || Utf8 ||
        (field.FieldType == ftNumeric && !NumericLength(value, length, decimalMarks_)) ||
        length > static_cast<size_t>(std::max(field.MaxSize, 0)) ||
        length < static_cast<size_t>(std::max(field.MinSize, 0))) [[unlikely]] {
        CheckText(v);
        return;
    }
    if (field.CodeList && codes_ && inMessage_ && !field.CodeList->Contains(value)) [[unlikely]]
        CheckCode(v);
}

// The faults are rare: their texts are built out of the way of the checks that pass.
void TValidator::MissingValue(const TValue& v) {
    Warn("mandatory",
         std::string(v.Composite ? "Mandatory component " : "Mandatory element ") +
             PathOf(v.Segment, v.Composite, v.Field) + NameOf(v.Field) + " is missing",
         v.Segment, ElementOf(v), ComponentOf(v));
}

void TValidator::NotNumeric(const TValue& v) {
    Warn("numeric",
         "Value " + Quoted(std::string(v.Value)) + " of " + PathOf(v.Segment, v.Composite, v.Field) +
             " is not numeric",
         v.Segment, ElementOf(v), ComponentOf(v));
}

void TValidator::WrongLength(const TValue& v, size_t length) {
    const TEDIField& field = v.Field;
    if (length > static_cast<size_t>(std::max(field.MaxSize, 0)))
        Warn("length",
             "Value " + Quoted(std::string(v.Value)) + " of " + PathOf(v.Segment, v.Composite, field) +
                 " is longer than " + std::to_string(field.MaxSize) + " characters",
             v.Segment, ElementOf(v), ComponentOf(v));
    else
        Warn("length",
             "Value " + Quoted(std::string(v.Value)) + " of " + PathOf(v.Segment, v.Composite, field) +
                 " is shorter than " + std::to_string(field.MinSize) + " characters",
             v.Segment, ElementOf(v), ComponentOf(v));
}

void TValidator::CheckText(const TValue& v) {
    const TEDIField& field = v.Field;
    const std::string_view value = v.Value;
    if (const uint8_t flags = repertoire_.Flags(value)) [[unlikely]]
        CheckCharacters(v, flags);
    size_t length = Utf8 ? Utf8CharacterCount(value) : value.size();
    if (field.FieldType == ftNumeric && !NumericLength(value, length, decimalMarks_)) [[unlikely]] {
        NotNumeric(v);
        length = Utf8 ? Utf8CharacterCount(value) : value.size();
    }
    if (length > static_cast<size_t>(std::max(field.MaxSize, 0)) ||
        length < static_cast<size_t>(std::max(field.MinSize, 0))) [[unlikely]]
        WrongLength(v, length);
    if (field.CodeList && codes_ && inMessage_ && !field.CodeList->Contains(value)) [[unlikely]]
        CheckCode(v);
}

void TValidator::CheckCharacters(const TValue& v, uint8_t flags) {
    if ((flags & TRepertoire::High) && !utf8Scanned_) DiagnoseUtf8(v.Segment);
    size_t length = 1;
    const size_t at = repertoire_.FirstOutside(v.Value, Utf8, length);
    if (at == std::string_view::npos) return;
    Warn("charset",
         CharacterText(v.Value.substr(at, length)) + " is not in the repertoire of " + repertoire_.Name() +
             ", in " + PathOf(v.Segment, v.Composite, v.Field),
         v.Segment, ElementOf(v), ComponentOf(v));
}

void TValidator::StrictElements(TEdiSegment& segment) {
    const size_t count = segment.Elements.size();
    const size_t read = std::min(static_cast<size_t>(std::max(segment.ReadCount, 0)), count);
    for (size_t i = 0; i < read; ++i) {
        TEdiElement& element = *segment.Elements[i];
        if (auto* field = element.AsField()) {
            CheckValue({segment, nullptr, *field, 0, field->RawText});
            continue;
        }
        auto& composite = *element.AsComposite();
        const size_t components =
            std::min(static_cast<size_t>(std::max(composite.ReadCount, 0)), composite.Elements.size());
        // The code check looks at siblings: what the text does not have must be empty.
        ClearStale(composite, components);
        if (!HasValue(composite)) {
            MissingComposite(segment, composite);
            continue;
        }
        for (size_t j = 0; j < composite.Elements.size(); ++j)
            if (auto* component = composite.Elements[j]->AsField())
                CheckValue({segment, &composite, *component, 0,
                            j < components ? std::string_view(component->RawText) : std::string_view()});
    }
    // What the text does not have is empty, whatever an earlier reading left in the element; an absent
    // composite needs none of its components.
    for (size_t i = read; i < count; ++i) {
        TEdiElement& element = *segment.Elements[i];
        if (auto* field = element.AsField())
            CheckValue({segment, nullptr, *field, 0, std::string_view()});
        else
            MissingComposite(segment, *element.AsComposite());
    }
}

void TValidator::MissingComposite(const TEdiSegment& segment, const TEdiComposit& composite) {
    if (composite.Mandatory && inMessage_)
        Warn("mandatory",
             "Mandatory element " + segment.ID + "/" + composite.ID + NameOf(composite) + " is missing",
             segment, &composite);
}

void TValidator::StrictOccurrences(TEdiSegment& segment) {
    // Repetitions are fresh copies each reading; the elements themselves may hold an earlier reading's
    // values where the text stops short.
    ClearStale(segment, static_cast<size_t>(std::max(segment.ReadCount, 0)));
    for (const auto& element : segment.Elements)
        if (auto* composite = element->AsComposite())
            ClearStale(*composite, static_cast<size_t>(std::max(composite->ReadCount, 0)));
    ForEachOccurrence(segment, [&](const TEdiElement& element, int occurrence) {
        if (auto* field = element.AsField()) {
            // Further occurrences are there only when the text has them.
            if (occurrence <= 1 || !field->RawText.empty())
                CheckValue({segment, nullptr, *field, occurrence, field->RawText});
            return;
        }
        const auto& composite = *element.AsComposite();
        if (!HasValue(composite)) {
            if (occurrence <= 1) MissingComposite(segment, composite);
            return;
        }
        for (const auto& member : composite.Elements)
            if (auto* component = member->AsField())
                CheckValue({segment, &composite, *component, occurrence, component->RawText});
    });
}

void TValidator::LoadCodeLists() {
    codes_.reset();
    const std::string& table = reader_.TableFile();
    codesRelease_ = ReleaseOfTable(table);
    try {
        codes_ = CodeListsForTable(table);
    } catch (const ECodeListError& e) {
        ResolveCodeLists();
        // Once per file and reading: the checks go on without codes.
        if (!codeListErrors_.insert(e.what()).second) return;
        TDiagnostic d;
        d.Warning = true;
        d.Code = "table";
        d.Text = e.what();
        d.GroupPath = GroupPath();
        d.SegmentPos = NextSegmentPos();
        d.Location.Segment = SegmentCount + 1;
        d.Node = LastNode();
        Diagnostics.push_back(std::move(d));
        return;
    }
    ResolveCodeLists();
}

void TValidator::ResolveCodeLists() {
    const TSegmentTable* table = reader_.Message().SegmentTable.get();
    if (!table) return;
    auto resolve = [&](TEDIField& field) {
        // Codes of 1131 belong to the list its composite names, never to a UN list.
        field.CodeList = codes_ && TCodeLists::BaseId(field.ID) != "1131" ? codes_->List(field.ID) : nullptr;
    };
    for (int i = 0; i < table->Count(); ++i) {
        TEdiSegment* segment = table->Segment(i);
        if (!segment) continue;
        for (auto& element : segment->Elements) {
            if (auto* field = element->AsField()) {
                resolve(*field);
                continue;
            }
            for (auto& member : element->AsComposite()->Elements)
                if (auto* component = member->AsField()) resolve(*component);
        }
    }
}

void TValidator::CheckCode(const TValue& v) {
    // The siblings are looked at: at segment level those the text does not have must be empty.
    if (!v.Composite) {
        auto& segment = const_cast<TEdiSegment&>(v.Segment);
        ClearStale(segment, static_cast<size_t>(std::max(segment.ReadCount, 0)));
    }
    if (!UnListApplies(v.Composite ? *v.Composite : v.Segment, v.Field)) return;
    // A code that the message's guideline adds is no fault.
    if (guidelineBegun_ && guideline_.AddsCode(v.Field, std::string(v.Value))) return;
    Warn("code",
         "Code " + Quoted(std::string(v.Value)) + " of " + PathOf(v.Segment, v.Composite, v.Field) +
             NameOf(v.Field) + " is not in the code list of " + codesRelease_,
         v.Segment, ElementOf(v), ComponentOf(v));
}

void TValidator::StrictRepeats(const TEdiSegment& segment) {
    if (segment.Repetitions.empty()) return;
    bool bySeparator = false;
    for (size_t i = 0; i < segment.Elements.size(); ++i) {
        const int occurrences = segment.Occurrences(i);
        const TEdiElement& element = *segment.Elements[i];
        if (occurrences > element.RepeatCount)
            Warn("repeat",
                 segment.ID + "/" + element.ID + " occurs " + std::to_string(occurrences) +
                     " times, at most " + std::to_string(element.RepeatCount) + " allowed",
                 segment, OccurrenceAfter(segment, i, element.RepeatCount));
    }
    const TEdiElement* firstBySeparator = nullptr;
    for (const auto& r : segment.Repetitions) {
        if (r.ByElementSeparator && !bySeparator) firstBySeparator = r.Element.get();
        bySeparator = bySeparator || r.ByElementSeparator;
    }
    if (bySeparator)
        Warn("repeat",
             "Occurrences of " + segment.ID + "/" + segment.Elements.back()->ID +
                 " are separated by the data element separator (the interchange declares no repetition "
                 "separator)",
             segment, firstBySeparator);
}

void TValidator::StrictEnvelope(const TEdiSegment& segment) {
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
                 segment, Field(segment, id));
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
                 segment, Field(segment, id));
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

void TValidator::OnSequenceError(const std::string& expect, const std::string& found) {
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
    d.Node = LastNode();
    Diagnostics.push_back(std::move(d));
    guideline_.Abandon();
    // The list is left and its group stops repeating.
    if (!groups_.empty()) groups_.pop_back();
    seqErrorInMessage_ = true;
}

void TValidator::SelectGuideline(const TEdiSegment& unh) {
    messageGuideline_.reset();
    guidelineBegun_ = false;
    const TEdiComposit* s009 = unh.FindComposit("S009");
    const std::string assoc = FieldText(s009, "0057");
    if (auto chosen = options_.MessageGuidelines.find(MessageCount - 1);
        chosen != options_.MessageGuidelines.end()) {
        if (chosen->second && chosen->second->Fits(message_.Type, message_.Version, message_.Release))
            messageGuideline_ = chosen->second;
    } else if (options_.Guideline) {
        if (options_.Guideline->Fits(message_.Type, message_.Version, message_.Release))
            messageGuideline_ = options_.Guideline;
    } else if (options_.Guidelines && options_.Strict) {
        messageGuideline_ =
            options_.Guidelines->ByAssociation(message_.Type, message_.Version, message_.Release, assoc);
        if (!messageGuideline_)
            messageGuideline_ = options_.Guidelines->ForPartners(sender_, recipient_, message_.Type,
                                                                 message_.Version, message_.Release);
    }
    if (messageGuideline_) message_.Guideline = messageGuideline_->Id;
}

void TValidator::GuidelineSegment(const TEdiSegment& segment) {
    TEdiMessage& message = reader_.Message();
    if (!guidelineBegun_) {
        // The message's first segment: bind to its table, once per table and guideline.
        if (!message.Structure || !message.SegmentTable) return;
        if (!guidelineBound_ || guideline_.Guideline() != messageGuideline_.get()) {
            guideline_.Bind(messageGuideline_, message.Structure.get(), *message.SegmentTable);
            guideline_.OnFinding = [this](const TGuidelineFinding& finding) { GuidelineFinding(finding); };
            guidelineBound_ = true;
        }
        guideline_.BeginMessage();
        guidelineBegun_ = true;
    }
    findingSegment_ = &segment;
    guideline_.Segment(segment, message.CurrentEntry);
    if (std::string_view(segment.ID) == "UNT" && !seqErrorInMessage_) {
        findingSegment_ = &segment;
        guideline_.EndMessage();
    }
    findingSegment_ = nullptr;
}

void TValidator::GuidelineFinding(const TGuidelineFinding& finding) {
    TDiagnostic d;
    d.Warning = true;
    d.Code = finding.Code;
    d.Text = finding.Text;
    d.GroupPath = GroupPath();
    if (findingSegment_) {
        d.SegmentPos = findingSegment_->StartPos;
        d.Location.Segment = SegmentCount;
    } else {
        // At the end of a group: where the segment after it begins.
        d.SegmentPos = NextSegmentPos();
        d.Location.Segment = SegmentCount + 1;
    }
    d.Node = LastNode();
    d.Guideline = messageGuideline_->Id;
    d.GuidelineSource = messageGuideline_->SourceFile;
    d.RulePlace = finding.Place;
    Diagnostics.push_back(std::move(d));
}

void TValidator::MapGroups() {
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

std::string TValidator::GroupPath() const {
    std::string path;
    for (int g : groups_) {
        if (!path.empty()) path += '/';
        path += "SG" + std::to_string(g);
    }
    return path;
}

void TValidator::Locate() {
    std::stable_sort(Diagnostics.begin(), Diagnostics.end(), [](const TDiagnostic& a, const TDiagnostic& b) {
        return a.Location.Segment < b.Location.Segment;
    });
    TStream& stream = stream_;
    TLocator locator(stream);
    for (TDiagnostic& d : Diagnostics) {
        int64_t pos = d.SegmentPos;
        if (pos < 0) {
            // Nothing was read yet: the first segment follows the nine bytes of a UNA advice, if any.
            stream.Seek(0);
            SkipByteOrderMark(stream);
            const int64_t start = stream.Position();
            std::string first = ReadChars(stream, 3);
            pos = start + (first == "UNA" ? 9 : 0);
        }
        d.Location = locator.At(pos, d.Location.Segment);
    }
}

} // namespace talmiro
