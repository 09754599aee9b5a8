// What editing an interchange in place needs besides the writer: the edits of a file kept as byte edits
// against the file as it is on disk, with undo and redo; a segment's text taken apart into its values; and
// the tags a message's structure allows after a segment.
#pragma once

#include "talmiro/edi_writer.h"
#include "talmiro/interchange_edit.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

class TStream;
struct TMessageDefRec;

// Adds a replacement of [next.Begin, next.End) of the text as edited by edits (sorted, disjoint, against the
// original) to edits, so that they stay sorted and disjoint against the original: edits that next touches
// merge with it into one.
void ComposeEdit(std::vector<TByteEdit>& edits, const TByteEdit& next);

// The edits of a file with undo and redo. Every step keeps the whole list (a list holds a few segments'
// texts), so undoing is taking the list back. Edits that leave the original bytes as they were drop out:
// undoing or typing a value back makes the file unmodified again.
class TEditHistory {
public:
    const std::vector<TByteEdit>& Edits() const { return edits_; }
    bool Modified() const { return !edits_.empty(); }
    // Replaces spans of the file as edited, as one step. Positions are those before any of the
    // replacements; the spans must not overlap. original is the file on disk.
    void Replace(TStream& original, std::vector<TByteEdit> replacements);
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Undo();
    void Redo();
    // Forgets the edits and the steps (the file was saved or closed).
    void Clear();

private:
    std::vector<TByteEdit> edits_;
    std::vector<std::vector<TByteEdit>> undo_, redo_;
};

// A segment's text taken apart with the interchange's delimiters: the inverse of TEdiWriter::SegmentText.
// Release characters are taken out of the values; control bytes (line ends within a segment) are dropped; the
// terminator may be left out. Occurrences are split at the repetition separator when there is one.
TSegmentValues SegmentValuesOf(std::string_view text, const TDelimiters& delimiters);

// Where a segment stands in its message's structure: the numbers of the groups that hold it, outermost first,
// and its tag.
struct TStructurePlace {
    std::vector<int32_t> Groups;
    std::string Tag;
};

// The tags that may follow the segment in its message: the segment again where it may repeat, every entry
// after it in its list (a group by its first segment), then, as each group that holds it may end or repeat,
// its first segment and the entries after it in the list above, up to the message's own list. UNH is left
// out; the order is the structure's, each tag once. Empty when the place is not in the structure.
std::vector<std::string> TagsAfter(const TMessageDefRec* structure, const TStructurePlace& place);

} // namespace talmiro
