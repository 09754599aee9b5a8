#include "talmiro/interchange_export.h"

#include "export_text.h"
#include "talmiro/code_names.h"
#include "talmiro/exceptions.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/message.h"
#include "talmiro/transmission.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace talmiro {

using namespace exporttext;

namespace {

// The envelope data an import needs to write the interchange back.
struct TEnvelopeData {
    TDelimiters Delimiters;
    bool Advice = false; // a service string advice came first
    bool Utf8 = false;   // syntax UNOY: values are UTF-8 rather than Latin-1
};

// Where a segment lies in the interchange, for the CSV columns.
struct TSegmentPlace {
    int64_t Number = 0;
    const std::string* Interchange = nullptr;
    const std::string* Reference = nullptr;   // empty outside messages
    const std::string* TypeRelease = nullptr; // "ORDERS/D96A"
    const std::string* GroupPath = nullptr;   // "SG2/SG3"
    const TCodeLists* Codes = nullptr;
};

// Calls visit(element, number) for each element occurrence of a segment in file order, up to the last
// position that holds a value; number is 0 for an element that does not repeat, 1, 2, ... for one that does.
template <typename Visit> void ForEachPosition(const TEdiSegment& segment, Visit visit) {
    if (segment.Repetitions.empty()) {
        const int last = segment.LastFilled();
        for (int i = 0; i <= last; ++i)
            visit(*segment.Elements[static_cast<size_t>(i)], 0);
        return;
    }
    size_t used = 0; // positions up to the last one with a value or a repeat
    for (size_t i = 0; i < segment.Elements.size(); ++i)
        if (segment.Elements[i]->LastFilled() >= 0) used = i + 1;
    for (const auto& r : segment.Repetitions)
        used = std::max(used, r.Position + 1);
    for (size_t i = 0; i < used && i < segment.Elements.size(); ++i) {
        int number = 0;
        for (const auto& r : segment.Repetitions) {
            if (r.Position != i) continue;
            if (number == 0) visit(*segment.Elements[i], number = 1);
            visit(*r.Element, ++number);
        }
        if (number == 0) visit(*segment.Elements[i], 0);
    }
}

const TEDIField* AsField(const TEdiElement& element) {
    return dynamic_cast<const TEDIField*>(&element);
}

bool HasValue(const TEDIField& field) {
    return field.LastFilled() >= 0 && !field.RawText.empty();
}

class TWriter {
public:
    TWriter(const std::function<void(std::string_view)>& sink, bool names) : sink_(sink), names_(names) {}
    virtual ~TWriter() = default;
    virtual void Begin(const TEnvelopeData& envelope) = 0;
    virtual void EnterMessage(const std::string& text, const std::string& reference) = 0;
    virtual void ExitMessage() = 0;
    virtual void EnterGroup(int number, int repetition) = 0;
    virtual void ExitGroup() = 0;
    virtual void Segment(const TEdiSegment& segment, const TSegmentPlace& place) = 0;
    virtual void End() = 0;

    void Flush() {
        if (!out_.empty()) sink_(out_);
        out_.clear();
    }

protected:
    void MaybeFlush() {
        if (out_.size() >= (1 << 16)) Flush();
    }
    void Value(std::string_view value) { AppendUtf8(text_, value, utf8_); }
    // The value in UTF-8, in text_.
    const std::string& Text(std::string_view value) {
        text_.clear();
        AppendUtf8(text_, value, utf8_);
        return text_;
    }

    const std::function<void(std::string_view)>& sink_;
    bool names_;
    bool utf8_ = false;
    std::string out_;
    std::string text_;
};

// ---------------------------------------------------------------------------------------------------------
// CSV: one row per value.

class TCsvWriter final : public TWriter {
public:
    using TWriter::TWriter;
    void Begin(const TEnvelopeData& envelope) override {
        utf8_ = envelope.Utf8;
        out_ +=
            "interchange,message reference,type/release,group path,segment number,tag,element id,component "
            "id,occurrence,value,code name,description\r\n";
    }
    void EnterMessage(const std::string&, const std::string&) override {}
    void ExitMessage() override {}
    void EnterGroup(int, int) override {}
    void ExitGroup() override {}
    void End() override { Flush(); }

    void Segment(const TEdiSegment& segment, const TSegmentPlace& place) override {
        // The columns every row of the segment shares, put together once.
        prefix_.clear();
        AppendCsvField(prefix_, Text(*place.Interchange));
        prefix_ += ',';
        AppendCsvField(prefix_, Text(*place.Reference));
        prefix_ += ',';
        AppendCsvField(prefix_, Text(*place.TypeRelease));
        prefix_ += ',';
        AppendCsvField(prefix_, *place.GroupPath);
        prefix_ += ',';
        prefix_ += std::to_string(place.Number);
        prefix_ += ',';
        AppendCsvField(prefix_, Text(segment.ID));
        prefix_ += ',';
        ForEachPosition(segment, [&](const TEdiElement& element, int number) {
            const int occurrence = number == 0 ? 1 : number;
            if (const TEDIField* field = AsField(element)) {
                Row(place, *field, segment, field->ID, {}, occurrence);
                return;
            }
            const auto& composite = static_cast<const TEdiComposit&>(element);
            for (const auto& component : composite.Elements)
                if (const TEDIField* field = AsField(*component))
                    Row(place, *field, composite, composite.ID, field->ID, occurrence);
        });
        MaybeFlush();
    }

private:
    void Row(const TSegmentPlace& place, const TEDIField& field, const TEdiComposit& container,
             const std::string& elementId, const std::string& componentId, int occurrence) {
        if (!HasValue(field)) return;
        out_ += prefix_;
        AppendCsvField(out_, elementId);
        out_ += ',';
        AppendCsvField(out_, componentId);
        out_ += ',';
        if (occurrence < 10)
            out_ += static_cast<char>('0' + occurrence);
        else
            out_ += std::to_string(occurrence);
        out_ += ',';
        AppendCsvField(out_, Text(field.RawText));
        out_ += ',';
        if (const std::string* name = CodeName(place.Codes, container, field))
            AppendCsvField(out_, Text(*name));
        out_ += ',';
        AppendCsvField(out_, Text(field.Description));
        out_ += "\r\n";
    }

    std::string prefix_;
};

// ---------------------------------------------------------------------------------------------------------
// JSON: {"format": "talmiro-export", "version": 1, "encoding", "delimiters", "interchange": [nodes]}.

class TJsonWriter final : public TWriter {
public:
    using TWriter::TWriter;
    void Begin(const TEnvelopeData& envelope) override {
        utf8_ = envelope.Utf8;
        const TDelimiters& d = envelope.Delimiters;
        out_ += "{\"format\":\"talmiro-export\",\"version\":1,\"encoding\":";
        out_ += envelope.Utf8 ? "\"utf-8\"" : "\"latin-1\"";
        out_ += ",\n\"delimiters\":{\"advice\":";
        out_ += envelope.Advice ? "true" : "false";
        Delimiter("component", d.ComponentSeparator);
        Delimiter("element", d.ElementSeparator);
        Delimiter("decimal", d.DecimalMark);
        Delimiter("release", d.ReleaseChar);
        Delimiter("reserved", d.ReservedChar);
        Delimiter("repetition", d.RepetitionSeparator);
        Delimiter("terminator", d.SegmentTerminator);
        out_ += "},\n\"interchange\":[";
        first_ = true;
    }
    void EnterMessage(const std::string& text, const std::string& reference) override {
        Open();
        out_ += "{\"message\":";
        AppendJsonString(out_, Text(text));
        out_ += ",\"reference\":";
        AppendJsonString(out_, Text(reference));
        out_ += ",\"children\":[";
        first_ = true;
        ++depth_;
    }
    void ExitMessage() override { Close(); }
    void EnterGroup(int number, int repetition) override {
        Open();
        out_ += "{\"group\":" + std::to_string(number) + ",\"repetition\":" + std::to_string(repetition) +
                ",\"children\":[";
        first_ = true;
        ++depth_;
    }
    void ExitGroup() override { Close(); }
    void End() override {
        out_ += "\n]}\n";
        Flush();
    }

    void Segment(const TEdiSegment& segment, const TSegmentPlace& place) override {
        Open();
        out_ += "{\"segment\":";
        AppendJsonString(out_, Text(segment.ID));
        out_ += ",\"elements\":[";
        bool firstElement = true;
        ForEachPosition(segment, [&](const TEdiElement& element, int number) {
            if (!firstElement) out_ += ',';
            firstElement = false;
            Element(element, segment, place.Codes, number);
        });
        out_ += "]}";
        MaybeFlush();
    }

private:
    void Delimiter(const char* name, char c) {
        out_ += ",\"";
        out_ += name;
        out_ += "\":";
        AppendJsonString(out_, c ? Text(std::string_view(&c, 1)) : std::string());
    }
    void Open() {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '\n';
        out_.append(static_cast<size_t>(depth_), ' ');
    }
    void Close() {
        out_ += "]}";
        first_ = false;
        --depth_;
    }
    void Element(const TEdiElement& element, const TEdiComposit& container, const TCodeLists* codes,
                 int number) {
        out_ += "{\"id\":";
        AppendJsonString(out_, Text(element.ID));
        if (number > 0) out_ += ",\"occurrence\":" + std::to_string(number);
        if (const TEDIField* field = AsField(element)) {
            Field(*field, container, codes);
            out_ += '}';
            return;
        }
        const auto& composite = static_cast<const TEdiComposit&>(element);
        if (names_) {
            out_ += ",\"description\":";
            AppendJsonString(out_, Text(composite.Description));
        }
        out_ += ",\"components\":[";
        const int last = composite.LastFilled();
        for (int i = 0; i <= last; ++i) {
            if (i > 0) out_ += ',';
            const TEdiElement& component = *composite.Elements[static_cast<size_t>(i)];
            out_ += "{\"id\":";
            AppendJsonString(out_, Text(component.ID));
            if (const TEDIField* field = AsField(component)) Field(*field, composite, codes);
            out_ += '}';
        }
        out_ += "]}";
    }
    void Field(const TEDIField& field, const TEdiComposit& container, const TCodeLists* codes) {
        if (HasValue(field)) {
            out_ += ",\"value\":";
            AppendJsonString(out_, Text(field.RawText));
        }
        if (!names_) return;
        if (const std::string* name = CodeName(codes, container, field)) {
            out_ += ",\"code_name\":";
            AppendJsonString(out_, Text(*name));
        }
        out_ += ",\"description\":";
        AppendJsonString(out_, Text(field.Description));
    }

    bool first_ = true;
    int depth_ = 1;
};

// ---------------------------------------------------------------------------------------------------------
// XML: <interchange> with <delimiters/>, then <segment>, <message> and <group> elements.

class TXmlWriter final : public TWriter {
public:
    using TWriter::TWriter;
    void Begin(const TEnvelopeData& envelope) override {
        utf8_ = envelope.Utf8;
        const TDelimiters& d = envelope.Delimiters;
        out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interchange format=\"talmiro-export\" "
                "version=\"1\" "
                "encoding=\"";
        out_ += envelope.Utf8 ? "utf-8" : "latin-1";
        out_ += "\">\n <delimiters advice=\"";
        out_ += envelope.Advice ? "yes" : "no";
        out_ += '"';
        Delimiter("component", d.ComponentSeparator);
        Delimiter("element", d.ElementSeparator);
        Delimiter("decimal", d.DecimalMark);
        Delimiter("release", d.ReleaseChar);
        Delimiter("reserved", d.ReservedChar);
        Delimiter("repetition", d.RepetitionSeparator);
        Delimiter("terminator", d.SegmentTerminator);
        out_ += "/>\n";
    }
    void EnterMessage(const std::string& text, const std::string& reference) override {
        Indent();
        out_ += "<message text=\"";
        AppendXmlText(out_, Text(text));
        out_ += "\" reference=\"";
        AppendXmlText(out_, Text(reference));
        out_ += "\">\n";
        ++depth_;
    }
    void ExitMessage() override {
        --depth_;
        Indent();
        out_ += "</message>\n";
    }
    void EnterGroup(int number, int repetition) override {
        Indent();
        out_ += "<group number=\"" + std::to_string(number) + "\" repetition=\"" +
                std::to_string(repetition) + "\">\n";
        ++depth_;
    }
    void ExitGroup() override {
        --depth_;
        Indent();
        out_ += "</group>\n";
    }
    void End() override {
        out_ += "</interchange>\n";
        Flush();
    }

    void Segment(const TEdiSegment& segment, const TSegmentPlace& place) override {
        Indent();
        out_ += "<segment tag=\"";
        AppendXmlText(out_, Text(segment.ID));
        out_ += "\">";
        ForEachPosition(segment, [&](const TEdiElement& element, int number) {
            Element(element, segment, place.Codes, number);
        });
        out_ += "</segment>\n";
        MaybeFlush();
    }

private:
    void Delimiter(const char* name, char c) {
        const auto code = static_cast<unsigned char>(c);
        if (code != 0 && code < 0x20 && c != '\t' && c != '\n' && c != '\r')
            throw Exception(std::string("The ") + name + " delimiter (byte " + std::to_string(code) +
                            ") cannot be written in XML");
        out_ += ' ';
        out_ += name;
        out_ += "=\"";
        if (c) AppendXmlText(out_, Text(std::string_view(&c, 1)));
        out_ += '"';
    }
    void Indent() { out_.append(static_cast<size_t>(depth_), ' '); }
    void Attributes(const TEdiElement& element, int number) {
        out_ += " id=\"";
        AppendXmlText(out_, Text(element.ID));
        out_ += '"';
        if (number > 0) out_ += " occurrence=\"" + std::to_string(number) + '"';
    }
    void Names(const std::string* name, const std::string& description) {
        if (!names_) return;
        if (name) {
            out_ += " code_name=\"";
            AppendXmlText(out_, Text(*name));
            out_ += '"';
        }
        out_ += " description=\"";
        AppendXmlText(out_, Text(description));
        out_ += '"';
    }
    void Field(const TEDIField& field, const TEdiComposit& container, const TCodeLists* codes, int number) {
        out_ += "<element";
        Attributes(field, number);
        if (names_) Names(CodeName(codes, container, field), field.Description);
        if (!HasValue(field)) {
            out_ += "/>";
            return;
        }
        out_ += '>';
        AppendXmlText(out_, Text(field.RawText));
        out_ += "</element>";
    }
    void Element(const TEdiElement& element, const TEdiComposit& container, const TCodeLists* codes,
                 int number) {
        if (const TEDIField* field = AsField(element)) {
            Field(*field, container, codes, number);
            return;
        }
        const auto& composite = static_cast<const TEdiComposit&>(element);
        out_ += "<composite";
        Attributes(composite, number);
        if (names_) Names(nullptr, composite.Description);
        const int last = composite.LastFilled();
        if (last < 0) {
            out_ += "/>";
            return;
        }
        out_ += '>';
        for (int i = 0; i <= last; ++i) {
            const TEdiElement& component = *composite.Elements[static_cast<size_t>(i)];
            if (const TEDIField* field = AsField(component))
                Field(*field, composite, codes, 0);
            else
                Element(component, composite, codes, 0);
        }
        out_ += "</composite>";
    }

    int depth_ = 1;
};

std::string FieldValue(const TEdiComposit* container, const char* id) {
    const TEDIField* field = container ? container->FindField(id) : nullptr;
    return field ? field->RawText : std::string();
}

} // namespace

void ExportInterchange(TStream& input, TStandardsCatalogue* catalogue, const TExportOptions& options,
                       const std::function<void(std::string_view)>& sink,
                       const std::function<void(int64_t done, int64_t total)>& progress) {
    std::unique_ptr<TWriter> writer;
    switch (options.Format) {
    case TExportFormat::Csv:
        writer = std::make_unique<TCsvWriter>(sink, options.Names);
        break;
    case TExportFormat::Json:
        writer = std::make_unique<TJsonWriter>(sink, options.Names);
        break;
    case TExportFormat::Xml:
        writer = std::make_unique<TXmlWriter>(sink, options.Names);
        break;
    }
    const bool names = options.Names || options.Format == TExportFormat::Csv;

    // Whether a service string advice comes first (after a byte-order mark).
    input.Seek(0);
    SkipByteOrderMark(input);
    const bool advice = ReadChars(input, 3) == "UNA";
    input.Seek(0);

    TInterchangeReader reader(catalogue);
    reader.BuildTree = false;
    const int64_t total = input.Size();
    int64_t nextReport = 4 << 20;
    std::string interchangeRef, reference, typeRelease, groupPath;
    std::vector<size_t> groupPathEnds; // groupPath's length before each open group
    bool inMessage = false;
    std::map<std::string, std::shared_ptr<const TCodeLists>> codeLists;
    const TCodeLists* codes = nullptr;
    bool codesLooked = false;
    TSegmentPlace place{0, &interchangeRef, &reference, &typeRelease, &groupPath, nullptr};

    auto closeGroups = [&] {
        while (!groupPathEnds.empty()) {
            writer->ExitGroup();
            groupPath.resize(groupPathEnds.back());
            groupPathEnds.pop_back();
        }
    };
    reader.OnNewMessage = [&](TEdiTransmission& sender) {
        const TEdiSegment& unh = sender.SegmUNH();
        const TEdiComposit* s009 = unh.FindComposit("S009");
        reference = FieldValue(&unh, "0062");
        typeRelease = FieldValue(s009, "0065") + "/" + FieldValue(s009, "0052") + FieldValue(s009, "0054");
        writer->EnterMessage(reader.MessageText(), reference);
        inMessage = true;
        codes = nullptr;
        codesLooked = false;
    };
    reader.OnExitMessage = [&](TEdiTransmission&) {
        closeGroups(); // left open by a sequence error
        writer->ExitMessage();
        reference.clear();
        typeRelease.clear();
        inMessage = false;
    };
    reader.OnEnterGroup = [&](TEdiMessage&, int number, int repetition) {
        writer->EnterGroup(number, repetition);
        groupPathEnds.push_back(groupPath.size());
        groupPath += (groupPath.empty() ? "SG" : "/SG") + std::to_string(number);
    };
    reader.OnDoneGroup = [&](TEdiMessage&, int) {
        if (groupPathEnds.empty()) return;
        writer->ExitGroup();
        groupPath.resize(groupPathEnds.back());
        groupPathEnds.pop_back();
    };
    reader.OnSegmentRead = [&](TEdiMessage&, TEdiSegment& segment) {
        ++place.Number;
        if (place.Number == 1) {
            writer->Begin({Delimiters, advice, FieldValue(segment.FindComposit("S001"), "0001") == "UNOY"});
            interchangeRef = FieldValue(&segment, "0020");
        }
        if (inMessage && names && !codesLooked) {
            // Once per table: a release without code lists is not looked for again at every message.
            auto known = codeLists.find(reader.TableFile());
            if (known == codeLists.end())
                known = codeLists.emplace(reader.TableFile(), CodeListsToShow(reader.TableFile())).first;
            codes = known->second.get();
            codesLooked = true;
        }
        place.Codes = inMessage ? codes : nullptr;
        writer->Segment(segment, place);
        // The reader keeps one object per segment definition and reads into it only as far as the text
        // goes; emptied here, the next segment of this kind shows no value of this one.
        segment.Clear();
        if (progress && segment.EndPos >= nextReport) {
            progress(segment.EndPos, total);
            nextReport = segment.EndPos + (4 << 20);
        }
    };
    reader.Read(input);
    writer->End();
    if (progress) progress(total, total);
}

} // namespace talmiro
