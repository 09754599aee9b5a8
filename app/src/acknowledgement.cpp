#include "talmiro/acknowledgement.h"

#include "talmiro/charsets.h"

#include "talmiro/interchange_tree.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"
#include "talmiro/transmission.h"

#include <algorithm>
#include <ctime>

namespace talmiro {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool IsEnvelopeTag(const std::string& tag) {
    return tag == "UNA" || tag == "UNB" || tag == "UNG" || tag == "UNH" || tag == "UNT" || tag == "UNE" ||
           tag == "UNZ";
}

} // namespace

// Every syntax error code the acknowledgements write is chosen here (README lists them as a table).
TAckError SyntaxErrorOf(const TDiagnostic& d, const std::string& previousTag) {
    TAckError e;
    const std::string& tag = d.Location.Tag; // the segment the diagnostic is about; empty at the end of data
    if (IsEnvelopeTag(tag)) e.Tag = tag;
    if (d.ElementPos > 0) e.Place = {d.ElementPos + 1, d.ComponentPos, d.Occurrence};
    const std::string& kind = d.Code;
    const std::string& text = d.Text;
    if (kind == "sequence") {
        if (tag == "UNT") {
            e.Code = 13; // a mandatory segment is missing before the trailer
            e.Before = true;
        } else {
            e.Code = !tag.empty() && tag == previousTag ? 35 : 15;
        }
    } else if (kind == "segment") {
        e.Code = 15; // a tag the message does not define, or another than the one expected here
    } else if (kind == "syntax") {
        if (StartsWith(text, "Service string advice")) {
            e.Code = 20;
            e.Tag = "UNA";
        } else if (StartsWith(text, "Data element value longer than")) {
            e.Code = 39;
        } else if (StartsWith(text, "Invalid segment ID")) {
            e.Code = 12;
        } else {
            e.Code = 16; // more data elements or components than the segment defines
        }
    } else if (kind == "envelope") {
        const std::string expected = Contains(text, "UNH") ? "UNH" : Contains(text, "UNE") ? "UNE" : "UNZ";
        if (expected == "UNH" && (tag == "UNZ" || tag == "UNE")) {
            e.Code = 32; // an interchange or group without messages
        } else if (expected != "UNH" && tag.empty()) {
            e.Code = 13; // the data ends before the trailer
            e.Tag = expected;
        } else if (expected == "UNZ" && (tag == "UNG" || tag == "UNH")) {
            e.Code = 30; // groups and messages side by side
        } else {
            e.Code = 33; // something other than a message between the envelope segments
        }
    } else if (kind == "no-definition") {
        e.Code = 3;
        e.Tag = "UNH";
        e.Place = {3, 0, 0}; // S009
    } else if (kind == "length") {
        e.Code = Contains(text, " is shorter than ") ? 40 : 39;
    } else if (kind == "numeric") {
        e.Code = 37;
    } else if (kind == "mandatory") {
        e.Code = 13;
    } else if (kind == "code") {
        e.Code = 12;
    } else if (kind == "repeat") {
        e.Code = 16;
    } else if (kind == "unt-count" || kind == "une-count" || kind == "unz-count") {
        e.Code = 29;
    } else if (kind == "unt-reference" || kind == "une-reference" || kind == "unz-reference") {
        e.Code = 28;
    } else if (StartsWith(text, "Invalid message type")) {
        e.Code = 12;
        e.Tag = "UNH";
        e.Place = {3, 1, 0}; // S009/0065
    } else {
        e.Code = 18; // tables that cannot be used, input errors, data that ends inside a segment
    }
    return e;
}

bool TAckInterchange::Accepted() const {
    if (Rejected) return false;
    for (const TAckGroup& g : Groups) {
        if (g.Rejected) return false;
        for (const TAckMessage& m : g.Messages)
            if (m.Rejected) return false;
    }
    return true;
}

namespace {

std::string Text(const TEdiComposit* container, const char* id) {
    const TEDIField* field = container ? container->FindField(id) : nullptr;
    return field ? field->RawText : std::string();
}

std::vector<std::string> Components(const TEdiComposit* composite) {
    std::vector<std::string> values;
    if (!composite) return values;
    for (const auto& element : composite->Elements)
        if (auto* field = dynamic_cast<const TEDIField*>(element.get())) values.push_back(field->RawText);
    return values;
}

// The tag of the segment whose text begins at pos (control bytes before it skipped); empty at the end of
// the data or for a negative position.
std::string TagAt(TStream& stream, int64_t pos) {
    std::string tag;
    if (pos < 0 || pos >= stream.Size()) return tag;
    stream.Seek(pos);
    int c;
    while ((c = stream.ReadByte()) >= 0 && c < 32) {
    }
    while (c >= 0 && tag.size() < 3) {
        if (c >= 32) tag.push_back(static_cast<char>(c));
        if (tag.size() < 3) c = stream.ReadByte();
    }
    return tag;
}

// Follows one reading: the envelope's values, the groups and messages, and for every diagnostic the
// level it was found at. The reader's listeners that the validator set are kept and called.
class TCollector {
public:
    TCollector(TInterchangeReader& reader, TValidator& validator, TAckInterchange& result)
        : validator_(validator), result_(result) {
        auto segmentRead = reader.OnSegmentRead;
        reader.OnSegmentRead = [this, segmentRead](TEdiMessage& sender, TEdiSegment& segment) {
            Before(segment);
            if (segmentRead) segmentRead(sender, segment);
            After(segment);
        };
        auto newMessage = reader.OnNewMessage;
        reader.OnNewMessage = [this, newMessage](TEdiTransmission& sender) {
            NewMessage(sender);
            if (newMessage) newMessage(sender);
        };
        auto exitMessage = reader.OnExitMessage;
        reader.OnExitMessage = [this, exitMessage](TEdiTransmission& sender) {
            if (exitMessage) exitMessage(sender);
            Flush({});
            message_ = -1;
        };
    }

    // Where each diagnostic was found.
    struct TFound {
        int Group = -1, Message = -1;
        std::string Tag;         // the segment a warning is about; empty for errors
        std::string PreviousTag; // the segment read before the error
        int Start = -1;          // the message's entry in Starts
    };
    std::vector<TFound> Found;
    struct TMessageStart {
        int64_t Segment;     // the number of its UNH in the interchange
        int64_t Trailer = 0; // and of its UNT, once read
    };
    std::vector<TMessageStart> Starts;
    bool HeaderRead = false;

    void Flush(const std::string& tag) {
        while (Found.size() < validator_.Diagnostics.size())
            Found.push_back(
                {group_, message_, tag, lastTag_, message_ >= 0 ? static_cast<int>(Starts.size()) - 1 : -1});
    }

private:
    void Before(const TEdiSegment& segment) {
        Flush({});
        ++count_;
        const std::string& tag = segment.ID;
        if (tag == "UNB" && message_ < 0) {
            HeaderRead = true;
            result_.SyntaxIdentifier = Text(segment.FindComposit("S001"), "0001");
            result_.SyntaxVersion = Text(segment.FindComposit("S001"), "0002");
            result_.Sender = Components(segment.FindComposit("S002"));
            result_.Recipient = Components(segment.FindComposit("S003"));
            result_.Reference = Text(&segment, "0020");
        } else if (tag == "UNG" && message_ < 0) {
            result_.HasGroups = true;
            TAckGroup group;
            group.Reference = Text(&segment, "0048");
            const TEdiComposit* s006 = segment.FindComposit("S006");
            const TEdiComposit* s007 = segment.FindComposit("S007");
            group.Sender = {Text(s006, "0040"), Text(s006, "0007")};
            group.Recipient = {Text(s007, "0044"), Text(s007, "0007")};
            result_.Groups.push_back(std::move(group));
            group_ = static_cast<int>(result_.Groups.size()) - 1;
        }
    }

    void After(const TEdiSegment& segment) {
        Flush(segment.ID);
        if (segment.ID == "UNT" && message_ >= 0 && !Starts.empty()) Starts.back().Trailer = count_;
        lastTag_ = segment.ID;
        if (segment.ID == "UNE" && message_ < 0) group_ = -1;
    }

    void NewMessage(TEdiTransmission& sender) {
        Flush({});
        if (group_ < 0) {
            // Messages outside groups share one entry.
            if (result_.Groups.empty() || result_.HasGroups) result_.Groups.emplace_back();
            group_ = static_cast<int>(result_.Groups.size()) - 1;
        }
        const TEdiSegment& unh = sender.SegmUNH();
        const TEdiComposit* s009 = unh.FindComposit("S009");
        TAckMessage message;
        message.Reference = Text(&unh, "0062");
        message.Identifier = {Text(s009, "0065"), Text(s009, "0052"), Text(s009, "0054"), Text(s009, "0051"),
                              Text(s009, "0057")};
        auto& messages = result_.Groups[static_cast<size_t>(group_)].Messages;
        messages.push_back(std::move(message));
        message_ = static_cast<int>(messages.size()) - 1;
        Starts.push_back({count_ + 1, 0});
    }

    TValidator& validator_;
    TAckInterchange& result_;
    int64_t count_ = 0; // segments read so far
    int group_ = -1, message_ = -1;
    std::string lastTag_;
};

// UCS and UCD may repeat only so often in a message and under a segment; what is beyond is not kept.
constexpr size_t MaxSegmentErrors = 999;
constexpr size_t MaxElementErrors = 99;

void AddSegmentError(TAckMessage& message, int64_t position, const TAckError& e) {
    auto& segments = message.Segments;
    // Faults arrive in file order, so the segment is nearly always the last one noted.
    auto found = !segments.empty() && segments.back().Position == position
                     ? segments.end() - 1
                     : std::find_if(segments.begin(), segments.end(),
                                    [position](const TAckSegmentError& s) { return s.Position == position; });
    if (found == segments.end()) {
        if (segments.size() >= MaxSegmentErrors) return;
        segments.push_back({position, 0, {}});
        found = segments.end() - 1;
    }
    if (e.Place.Element > 0) {
        if (found->Elements.size() < MaxElementErrors) found->Elements.push_back({e.Code, e.Place});
    } else if (found->Code == 0) {
        found->Code = e.Code;
    }
}

void SetError(TAckError& level, const TAckError& e) {
    if (level.Code == 0) level = e;
}

} // namespace

std::vector<TAckInterchange> ReadForAcknowledgement(TStream& stream, TStandardsCatalogue* catalogue,
                                                    bool strict) {
    std::vector<TAckInterchange> result;
    for (;;) {
        TInterchangeReader reader(catalogue);
        reader.BuildTree = false;
        TValidationOptions options;
        options.AllErrors = true;
        options.Strict = strict;
        TValidator validator(reader, stream, options);
        TAckInterchange subject;
        TCollector collector(reader, validator, subject);
        validator.Run();
        collector.Flush({});
        const int64_t end = stream.Position();
        if (!collector.HeaderRead) {
            if (!result.empty()) break;
            throw ENotAnInterchange(validator.Diagnostics.empty() ? std::string("No interchange header")
                                                                  : validator.Diagnostics.front().Text);
        }
        subject.Rejected = !validator.Completed;
        int64_t sequenceErrorAt = -1; // where the last segment sequence error was found
        for (size_t i = 0; i < validator.Diagnostics.size(); ++i) {
            TDiagnostic d = validator.Diagnostics[i];
            const TCollector::TFound& found = collector.Found[i];
            // A code list that cannot be read is no fault of the interchange.
            if (d.Warning && (d.Code == "table" || !strict)) continue;
            d.Location.Tag = found.Tag.empty() ? TagAt(stream, d.SegmentPos) : found.Tag;
            TAckError e = SyntaxErrorOf(d, found.PreviousTag);
            if (d.Code == "sequence") sequenceErrorAt = d.SegmentPos;
            // A message left at a sequence error ends there, and the envelope then meets the rest of it:
            // the message's error says why the interchange could not be read on.
            if (d.Code == "envelope" && d.SegmentPos == sequenceErrorAt) continue;
            const TCollector::TMessageStart* start =
                found.Start >= 0 ? &collector.Starts[static_cast<size_t>(found.Start)] : nullptr;
            // What follows a message's UNT is outside it, even before the message is seen to end.
            const bool inMessage = start && (start->Trailer == 0 || d.Location.Segment <= start->Trailer);
            if (!inMessage && d.Location.Tag.empty() && e.Code != 13) {
                e.Code = 13; // the data ends before the envelope's trailer
                e.Tag = subject.HasGroups && found.Group >= 0 ? "UNE" : "UNZ";
            }
            if (inMessage) {
                TAckMessage& message = subject.Groups[static_cast<size_t>(found.Group)]
                                           .Messages[static_cast<size_t>(found.Message)];
                message.Rejected = true;
                int64_t position = std::max<int64_t>(d.Location.Segment - start->Segment + 1, 1);
                if (e.Before) position = std::max<int64_t>(position - 1, 1);
                const bool envelope = !e.Before && (e.Tag == "UNH" || e.Tag == "UNT");
                if (envelope && message.Error.Code == 0)
                    message.Error = e;
                else
                    AddSegmentError(message, position, e);
            } else if (found.Group >= 0 && subject.HasGroups) {
                TAckGroup& group = subject.Groups[static_cast<size_t>(found.Group)];
                group.Rejected = true;
                SetError(group.Error, e);
            } else {
                subject.Rejected = true;
                SetError(subject.Error, e);
            }
        }
        for (TAckGroup& g : subject.Groups)
            for (TAckMessage& m : g.Messages)
                std::stable_sort(m.Segments.begin(), m.Segments.end(),
                                 [](const TAckSegmentError& a, const TAckSegmentError& b) {
                                     return a.Position < b.Position;
                                 });
        result.push_back(std::move(subject));
        if (!validator.Completed) break;
        // Another interchange follows when the next characters after blanks and line ends begin one.
        stream.Seek(end);
        int c;
        while ((c = stream.ReadByte()) >= 0 && (c <= 32)) {
        }
        if (c < 0) break;
        const int64_t next = stream.Position() - 1;
        const std::string tag = TagAt(stream, next);
        if (tag != "UNA" && tag != "UNB") break;
        stream.Seek(next);
    }
    return result;
}

namespace {

// The answer copies the subject's parties and references. Where those break the repertoire the subject
// declared, the answer declares one that holds its text, so that it reads clean itself: UTF-8 text as
// UNOY, other text as UNOC where Latin-1 holds it, else UNOW, whose characters are not checked.
std::string RepertoireFor(const std::string& declared, std::string_view written, const TDelimiters& d) {
    // Control bytes (the line ends of the layout) are skipped by the reader.
    std::string text;
    for (char c : written)
        if (static_cast<unsigned char>(c) >= 32) text += c;
    auto holds = [&](const std::string& name) {
        TRepertoire repertoire(name);
        for (char c : {d.ComponentSeparator, d.ElementSeparator, d.SegmentTerminator, d.ReleaseChar,
                       d.RepetitionSeparator})
            if (c != 0) repertoire.Allow(static_cast<unsigned char>(c));
        size_t length = 0;
        return repertoire.FirstOutside(text, repertoire.Utf8(), length) == std::string_view::npos;
    };
    bool high = false, utf8 = true;
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8SequenceLength(text, i);
        if (n != 1) high = true;
        if (n == 0) utf8 = false;
        i += std::max<size_t>(n, 1);
    }
    if (high && utf8 && TRepertoire(declared).SingleByte()) return "UNOY";
    if (holds(declared)) return declared;
    if (high && utf8) return "UNOY";
    if (holds("UNOC")) return "UNOC";
    return "UNOW";
}

std::string Fit(const std::string& value, size_t size) {
    return value.substr(0, size);
}

std::vector<std::string> Fit(const std::vector<std::string>& values, const std::vector<size_t>& sizes) {
    std::vector<std::string> out;
    for (size_t i = 0; i < sizes.size(); ++i)
        out.push_back(i < values.size() ? Fit(values[i], sizes[i]) : std::string());
    return out;
}

std::string Number(int64_t n) {
    return n > 0 ? std::to_string(n) : std::string();
}

bool Digits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Int(const std::string& text, size_t at, size_t n) {
    return std::stoi(text.substr(at, n));
}

// What the writer needs of one syntax version.
struct TVersion {
    int Number = 3;
    std::vector<size_t> Party;       // S002/S003 component sizes
    size_t Agency = 2;               // 0051
    const char* ContrlVersion = "D"; // of CONTRL in UNH
    const char* ContrlRelease = "3";
    bool Occurrences = false; // S011 has 0136
};

TVersion VersionOf(int number) {
    TVersion v;
    v.Number = number;
    if (number == 4) {
        v.Party = {35, 4, 35, 35};
        v.Agency = 3;
        v.ContrlVersion = "4";
        v.ContrlRelease = "1";
        v.Occurrences = true;
    } else {
        v.Party = {35, 4, 14};
    }
    return v;
}

// S011 for a place: 0098, then 0104, or 0136 for a further occurrence (version 4 allows only one of
// them); empty when the position does not fit 0098.
std::vector<std::string> S011(const TAckPlace& place, const TVersion& v) {
    if (place.Element <= 0 || place.Element > 999) return {};
    std::vector<std::string> s011{std::to_string(place.Element)};
    if (v.Occurrences && place.Occurrence > 1) {
        if (place.Occurrence <= 999999)
            s011.insert(s011.end(), {std::string(), std::to_string(place.Occurrence)});
    } else if (place.Component > 0 && place.Component <= 999) {
        s011.push_back(std::to_string(place.Component));
    }
    return s011;
}

// 0083, 0085, 0013 and S011 of a level.
std::vector<std::vector<std::string>> Verdict(bool rejected, const TAckError& e, const TVersion& v) {
    std::vector<std::vector<std::string>> elements{
        {std::to_string(rejected ? ack::Rejected : ack::Acknowledged)}};
    if (e.Code > 0) {
        elements.push_back({std::to_string(e.Code)});
        elements.push_back({Fit(e.Tag, 3)});
        elements.push_back(S011(e.Place, v));
    }
    return elements;
}

std::string Today(const std::string& format) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[16];
    std::strftime(text, sizeof text, format.c_str(), &utc);
    return text;
}

constexpr int64_t MaxSegmentPosition = 999999; // 0096 has six digits

} // namespace

std::string AckDateProblem(const std::string& date, const std::string& time) {
    if (!date.empty()) {
        if (!Digits(date) || (date.size() != 6 && date.size() != 8))
            return "the date \"" + date + "\" is not YYMMDD or CCYYMMDD";
        const size_t at = date.size() - 4;
        const int month = Int(date, at, 2), day = Int(date, at + 2, 2);
        if (month < 1 || month > 12 || day < 1 || day > 31) return "the date \"" + date + "\" is not a date";
    }
    if (!time.empty()) {
        if (!Digits(time) || time.size() != 4) return "the time \"" + time + "\" is not HHMM";
        if (Int(time, 0, 2) > 23 || Int(time, 2, 2) > 59) return "the time \"" + time + "\" is not a time";
    }
    return {};
}

std::string AcknowledgementText(const TAckInterchange& subject, const TAckOptions& options, size_t index) {
    if (const std::string problem = AckDateProblem(options.Date, options.Time); !problem.empty())
        throw Exception("Acknowledgement: " + problem);
    const std::string& subjectVersion = subject.SyntaxVersion;
    const int number = options.SyntaxVersion == 3 || options.SyntaxVersion == 4 ? options.SyntaxVersion
                       : subjectVersion == "4"                                  ? 4
                                                                                : 3;
    const TVersion v = VersionOf(number);

    TDelimiters delimiters; // ":+.? '"
    if (number == 4) delimiters.RepetitionSeparator = '*';
    TEdiWriter writer(delimiters);
    const std::string separator = writer.Separator(options.Layout);
    std::string out = writer.AdviceText();
    out += separator;
    auto put = [&](const TSegmentValues& segment) { out += writer.SegmentText(segment) + separator; };

    // The header: the subject's parties swapped, its syntax identifier and, unless asked otherwise, version.
    std::string date = options.Date.empty() ? Today(number == 4 ? "%Y%m%d" : "%y%m%d") : options.Date;
    if (number == 4 && date.size() == 6) date = (Int(date, 0, 2) < 70 ? "20" : "19") + date;
    if (number != 4 && date.size() == 8) date = date.substr(2);
    const std::string time = options.Time.empty() ? Today("%H%M") : options.Time;
    std::string reference = options.Reference;
    if (reference.empty())
        reference = date.substr(date.size() - 6) + time + (options.Date.empty() ? Today("%S") : "00");
    if (index > 0) {
        const std::string suffix = std::to_string(index + 1);
        reference = Fit(reference, 14 - suffix.size()) + suffix;
    }
    reference = Fit(reference, 14);
    std::string syntaxVersion = options.SyntaxVersion ? std::to_string(number) : subjectVersion;
    if (syntaxVersion.size() != 1 || syntaxVersion[0] < '1' || syntaxVersion[0] > '4')
        syntaxVersion = std::to_string(number);
    // The identifier has exactly four characters; the subject's, unless it is none.
    const std::string syntaxId = subject.SyntaxIdentifier.size() == 4 ? subject.SyntaxIdentifier : "UNOA";
    put({"UNB",
         {{{syntaxId, syntaxVersion}},
          {Fit(subject.Recipient, v.Party)},
          {Fit(subject.Sender, v.Party)},
          {{date, time}},
          {{reference}}}});

    int64_t segments = 0;
    auto putMessageSegment = [&](const TSegmentValues& segment) {
        put(segment);
        ++segments;
    };
    putMessageSegment(TSegmentValues::Of("UNH", {{"1"}, {"CONTRL", v.ContrlVersion, v.ContrlRelease, "UN"}}));
    TSegmentValues uci;
    uci.Tag = "UCI";
    uci.Elements = {
        {{Fit(subject.Reference, 14)}}, {Fit(subject.Sender, v.Party)}, {Fit(subject.Recipient, v.Party)}};
    for (auto& element : Verdict(subject.Rejected, subject.Error, v))
        uci.Elements.push_back({element});
    putMessageSegment(uci);

    auto putMessage = [&](const TAckMessage& m, bool rejectedAbove) {
        TSegmentValues ucm;
        ucm.Tag = "UCM";
        const auto& id = m.Identifier;
        ucm.Elements = {{{Fit(m.Reference, 14)}},
                        {{Fit(id[0], 6), Fit(id[1], 3), Fit(id[2], 3), Fit(id[3], v.Agency), Fit(id[4], 6)}}};
        for (auto& element : Verdict(rejectedAbove || m.Rejected, m.Error, v))
            ucm.Elements.push_back({element});
        putMessageSegment(ucm);
        size_t written = 0;
        for (const TAckSegmentError& s : m.Segments) {
            if (written == MaxSegmentErrors) break;
            if (s.Position > MaxSegmentPosition) continue;
            ++written;
            putMessageSegment(TSegmentValues::Of("UCS", {{Number(s.Position)}, {Number(s.Code)}}));
            size_t elements = 0;
            for (const TAckElementError& e : s.Elements) {
                const std::vector<std::string> s011 = S011(e.Place, v);
                if (s011.empty() || elements == MaxElementErrors) continue;
                ++elements;
                putMessageSegment(TSegmentValues::Of("UCD", {{std::to_string(e.Code)}, s011}));
            }
        }
    };

    for (const TAckGroup& g : subject.Groups) {
        if (subject.HasGroups) {
            TSegmentValues ucf;
            ucf.Tag = "UCF";
            ucf.Elements = {{{Fit(g.Reference, 14)}},
                            {{Fit(g.Sender[0], 35), Fit(g.Sender[1], 4)}},
                            {{Fit(g.Recipient[0], 35), Fit(g.Recipient[1], 4)}}};
            for (auto& element : Verdict(subject.Rejected || g.Rejected, g.Error, v))
                ucf.Elements.push_back({element});
            putMessageSegment(ucf);
        }
        for (const TAckMessage& m : g.Messages)
            putMessage(m, subject.Rejected || g.Rejected);
    }
    putMessageSegment(TSegmentValues::Of("UNT", {{std::to_string(segments + 1)}, {"1"}}));
    put(TSegmentValues::Of("UNZ", {{"1"}, {reference}}));
    const std::string repertoire = RepertoireFor(syntaxId, out, delimiters);
    if (repertoire != syntaxId) {
        const std::string declared = writer.Escape(syntaxId);
        const size_t at = out.find("UNB" + std::string(1, delimiters.ElementSeparator) + declared) + 4;
        out.replace(at, declared.size(), repertoire);
    }
    return out;
}

std::string Acknowledge(TStream& stream, TStandardsCatalogue* catalogue, bool strict,
                        const TAckOptions& options, bool& rejected) {
    const std::vector<TAckInterchange> subjects = ReadForAcknowledgement(stream, catalogue, strict);
    std::string out;
    rejected = false;
    for (size_t i = 0; i < subjects.size(); ++i) {
        rejected = rejected || !subjects[i].Accepted();
        out += AcknowledgementText(subjects[i], options, i);
    }
    return out;
}

} // namespace talmiro
