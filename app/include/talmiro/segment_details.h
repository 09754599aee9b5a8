// What the details panel shows of one segment: its raw text and the lines of its field table.
#pragma once

#include "talmiro/edi_element.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talmiro {

class TCodeLists;
class TStream;

// The bytes from StartPos to EndPos, control characters (0..31) dropped.
std::string SegmentRawText(const TEdiSegment& segment, TStream& stream);

// The value text of the field table: "[RawText]" when the element has a value, otherwise "<empty>".
std::string ElementValueText(const TEDIField& field);

// The field-table lines of a composite's or segment's elements: composites as "ID Description" followed by
// their members indented by two more; simple elements with the value column at 11 and the description
// column at 41. With code lists, a coded value is followed by its name where the UN list applies
// ("[BY] Buyer").
void AddElementLines(std::vector<std::string>& lines, const TEdiComposit& container, int indent,
                     const TCodeLists* codes = nullptr);
// The field-table lines of a segment as last read: AddElementLines of its elements, where every
// occurrence of a repeating element follows the first, each identifier marked with its occurrence
// ("C076 [1]", "C076 [2]").
// onLine, when given, is told of each line as it is added: the element it shows and the composite or segment
// holding that.
using TLineVisitor = std::function<void(const TEdiComposit& Container, const TEdiElement& Element)>;
void AddSegmentLines(std::vector<std::string>& lines, const TEdiSegment& segment,
                     const TCodeLists* codes = nullptr, const TLineVisitor& onLine = {});
// Calls visit(element, occurrence) for each element of a segment and each of its repetitions, in file
// order; occurrence is 0 for an element that did not repeat, otherwise 1, 2, ...
void ForEachOccurrence(const TEdiSegment& segment,
                       const std::function<void(const TEdiElement& element, int occurrence)>& visit);

} // namespace talmiro
