#include "report.h"

#include "talmiro/charsets.h"
#include "talmiro/code_names.h"

#include "talmiro/segment_details.h"

#include <algorithm>
#include <iostream>

namespace talmiro::cli {

std::string FormatDiagnostic(const std::string& fileName, const TDiagnostic& d) {
    const TLocation& l = d.Location;
    std::string text =
        fileName + ":" + std::to_string(l.Line) + ":" + std::to_string(l.Column) + ": " +
        (d.Warning ? "warning: " : "error: ") + d.Text + " [segment " + std::to_string(l.Segment) + ", " +
        (l.Tag.empty() ? std::string("end of data") : l.Tag) + ", byte " + std::to_string(l.Offset);
    if (!d.GroupPath.empty()) text += ", in " + d.GroupPath;
    return text + "]";
}

void PrintOpenError(const std::string& name, const std::string& error, bool json, std::ostream& out,
                    std::ostream& err) {
    if (json)
        PrintJson(
            {{"file", name},
             {"valid", false},
             {"errors", {{{"code", "open"}, {"text", error}, {"location", nullptr}, {"groupPath", ""}}}}},
            out);
    else
        err << "talmiro-cli: " << error << '\n';
}

void PrintDiagnostics(const std::string& fileName, const std::vector<TDiagnostic>& diagnostics,
                      std::ostream& err) {
    for (const TDiagnostic& d : diagnostics) {
        err << FormatDiagnostic(fileName, d) << '\n';
        if (!d.Hint.empty()) err << "  " << d.Hint << '\n';
    }
}

nlohmann::json LocationJson(const TLocation& l) {
    return {
        {"segment", l.Segment}, {"tag", l.Tag}, {"offset", l.Offset}, {"line", l.Line}, {"column", l.Column}};
}

nlohmann::json DiagnosticJson(const TDiagnostic& d) {
    nlohmann::json json = {{"code", d.Code},
                           {"text", d.Text},
                           {"location", LocationJson(d.Location)},
                           {"groupPath", d.GroupPath}};
    if (!d.Hint.empty()) json["hint"] = d.Hint;
    // A guideline's warning names the rule's place in the guideline source.
    if (!d.Guideline.empty())
        json["rule"] = {{"guideline", d.Guideline},
                        {"file", d.GuidelineSource},
                        {"line", d.RulePlace.Line},
                        {"column", d.RulePlace.Column}};
    return json;
}

nlohmann::json MessageJson(const TMessageInfo& m) {
    nlohmann::json json = {{"type", m.Type},
                           {"version", m.Version},
                           {"release", m.Release},
                           {"reference", m.Reference},
                           {"segments", m.Segments}};
    if (!m.Guideline.empty()) json["guideline"] = m.Guideline;
    return json;
}

namespace {

nlohmann::json ElementJson(const TEdiElement& element, const TEdiComposit& container,
                           const TCodeLists* codes) {
    if (auto* field = dynamic_cast<const TEDIField*>(&element)) {
        nlohmann::json value = nullptr;
        if (field->LastFilled() >= 0 && !field->RawText.empty()) value = field->RawText;
        nlohmann::json json = {{"id", field->ID}, {"value", value}, {"description", field->Description}};
        if (const std::string* name = CodeName(codes, container, *field)) json["code_name"] = *name;
        return json;
    }
    const auto& composite = dynamic_cast<const TEdiComposit&>(element);
    return {{"id", composite.ID},
            {"description", composite.Description},
            {"elements", ElementsJson(composite, codes)}};
}

} // namespace

nlohmann::json ElementsJson(const TEdiComposit& container, const TCodeLists* codes) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& element : container.Elements)
        list.push_back(ElementJson(*element, container, codes));
    return list;
}

nlohmann::json SegmentElementsJson(const TEdiSegment& segment, const TCodeLists* codes) {
    nlohmann::json list = nlohmann::json::array();
    ForEachOccurrence(segment, [&](const TEdiElement& element, int occurrence) {
        nlohmann::json item = ElementJson(element, segment, codes);
        if (occurrence > 0) item["occurrence"] = occurrence;
        list.push_back(std::move(item));
    });
    return list;
}

namespace {

// Interchanges in UNOC and similar repertoires are Latin-1, not UTF-8: a byte that does not start a UTF-8
// sequence is taken as a Latin-1 character, so JSON output loses nothing.
void MakeUtf8(std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t n = Utf8SequenceLength(text, i);
        if (n == 0) break;
        i += n;
    }
    if (i == text.size()) return;
    std::string out = text.substr(0, i);
    while (i < text.size()) {
        size_t n = Utf8SequenceLength(text, i);
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

void PrintJson(nlohmann::json document, std::ostream& out) {
    out << JsonText(std::move(document)) << '\n';
}

} // namespace talmiro::cli
