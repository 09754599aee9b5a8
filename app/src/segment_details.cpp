#include "talmiro/segment_details.h"

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

void AddElementLines(std::vector<std::string>& lines,
                     const std::vector<std::unique_ptr<TEdiElement>>& elements, int indent) {
    const std::string prefix(static_cast<size_t>(indent > 0 ? indent : 0), ' ');
    for (const auto& element : elements) {
        if (auto* field = dynamic_cast<const TEDIField*>(element.get())) {
            std::string line = prefix + field->ID;
            PadTo(line, ValueColumn);
            line += ElementValueText(*field);
            PadTo(line, DescriptionColumn);
            line += field->Description;
            lines.push_back(std::move(line));
        } else if (auto* composite = dynamic_cast<const TEdiComposit*>(element.get())) {
            lines.push_back(prefix + composite->ID + " " + composite->Description);
            // The element model nests composites in segments only, so this goes one level deep.
            AddElementLines(lines, composite->Elements, indent + 2);
        }
    }
}

} // namespace talmiro
