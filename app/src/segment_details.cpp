#include "talmiro/segment_details.h"

#include "talmiro/code_names.h"
#include "talmiro/streams.h"

namespace talmiro {

namespace {

constexpr size_t ValueColumn = 10;       // a value starts at column 11 ...
constexpr size_t DescriptionColumn = 40; // ... and a description at column 41

void PadTo(std::string& line, size_t width) {
    if (line.size() < width) line.append(width - line.size(), ' ');
}

} // namespace

std::string SegmentRawText(const TEdiSegment& segment, TStream& stream) {
    std::string text;
    if (segment.EndPos < segment.StartPos) return text;
    stream.Seek(segment.StartPos);
    for (int64_t n = segment.EndPos - segment.StartPos + 1; n > 0; --n) {
        int c = stream.ReadByte();
        if (c < 0) break; // the file has shrunk since it was read
        if (c >= 32) text.push_back(static_cast<char>(c));
    }
    return text;
}

std::string ElementValueText(const TEDIField& field) {
    if (field.LastFilled() >= 0 && !field.RawText.empty()) return "[" + field.RawText + "]";
    return "<empty>";
}

namespace {

void AddElementLine(std::vector<std::string>& lines, const TEdiElement& element, int indent,
                    const std::string& label, const TEdiComposit& container, const TCodeLists* codes,
                    const TLineVisitor& onLine) {
    const std::string prefix(static_cast<size_t>(indent > 0 ? indent : 0), ' ');
    if (auto* field = dynamic_cast<const TEDIField*>(&element)) {
        std::string line = prefix + label;
        PadTo(line, ValueColumn);
        line += ElementValueText(*field);
        if (const std::string* name = CodeName(codes, container, *field)) {
            // The code's name follows its value; the description keeps its column where it can, or
            // follows two blanks further.
            line += ' ' + *name;
            if (line.size() >= DescriptionColumn && !field->Description.empty()) line += "  ";
        }
        PadTo(line, DescriptionColumn);
        line += field->Description;
        lines.push_back(std::move(line));
        if (onLine) onLine(container, element);
    } else if (auto* composite = dynamic_cast<const TEdiComposit*>(&element)) {
        lines.push_back(prefix + label + " " + composite->Description);
        if (onLine) onLine(container, element);
        // The element model nests composites in segments only, so this goes one level deep.
        for (const auto& member : composite->Elements)
            AddElementLine(lines, *member, indent + 2, member->ID, *composite, codes, onLine);
    }
}

} // namespace

void AddElementLines(std::vector<std::string>& lines, const TEdiComposit& container, int indent,
                     const TCodeLists* codes) {
    for (const auto& element : container.Elements)
        AddElementLine(lines, *element, indent, element->ID, container, codes, {});
}

void ForEachOccurrence(const TEdiSegment& segment,
                       const std::function<void(const TEdiElement& element, int occurrence)>& visit) {
    if (segment.Repetitions.empty()) {
        for (const auto& element : segment.Elements)
            visit(*element, 0);
        return;
    }
    for (size_t i = 0; i < segment.Elements.size(); ++i) {
        int occurrence = 0;
        for (const auto& r : segment.Repetitions) {
            if (r.Position != i) continue;
            if (occurrence == 0) visit(*segment.Elements[i], occurrence = 1);
            visit(*r.Element, ++occurrence);
        }
        if (occurrence == 0) visit(*segment.Elements[i], 0);
    }
}

void AddSegmentLines(std::vector<std::string>& lines, const TEdiSegment& segment, const TCodeLists* codes,
                     const TLineVisitor& onLine) {
    ForEachOccurrence(segment, [&](const TEdiElement& element, int occurrence) {
        AddElementLine(lines, element, 0,
                       occurrence == 0 ? element.ID : element.ID + " [" + std::to_string(occurrence) + "]",
                       segment, codes, onLine);
    });
}

} // namespace talmiro
