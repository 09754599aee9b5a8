// Compiled segment tables: the in-memory table ordered by tag, the definition readers and the .SDT loader.
#pragma once

#include "talmiro/edi_element.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmiro {

class TDefReader;

// Segment definitions ordered by tag (compared without regard to letter case); owns its segments.
class TSegmentTable {
public:
    int Count() const { return static_cast<int>(entries_.size()); }
    TEdiSegment* Segment(int index) const { return entries_[static_cast<size_t>(index)].Segment.get(); }
    const std::string& Tag(int index) const { return entries_[static_cast<size_t>(index)].Tag; }
    // The entry's index, or -1.
    int TagIndex(std::string_view tag) const;
    // The segment under that tag, or none.
    TEdiSegment* Find(std::string_view tag) const;
    // A tag already present keeps its entry and first tag text; the new segment replaces the old one.
    void Insert(std::string_view tag, std::unique_ptr<TEdiSegment> segment);
    // Insert of each segment under its ID, in order, sorting once instead of shifting entries each time.
    void InsertAll(std::vector<std::unique_ptr<TEdiSegment>> segments);

private:
    struct Entry {
        uint64_t Key; // the first eight bytes of the tag in upper case: most look-ups end on it
        std::string Tag;
        std::unique_ptr<TEdiSegment> Segment;
    };
    // Position of the tag (or where it belongs) and whether it is there.
    std::pair<size_t, bool> Locate(std::string_view tag) const;
    // A hash index over the keys of tags of up to eight bytes, each slot an entry's index or -1, built by
    // InsertAll: the look-up of a segment read takes a probe or two instead of a search.
    void RebuildIndex();
    std::vector<Entry> entries_;
    std::vector<int32_t> slots_;
    int slotShift_ = 64;
};

std::unique_ptr<TEDIField> ReadFieldDef(TDefReader& reader);
std::unique_ptr<TEdiComposit> ReadCompositDef(TDefReader& reader);
std::unique_ptr<TEdiSegment> ReadSegmentDef(TDefReader& reader);
// count is unsigned: a count from a file is never a reason to skip reading; each record is read before it is
// kept.
std::unique_ptr<TSegmentTable> ReadSegmentTable(TDefReader& reader, uint32_t count);
std::unique_ptr<TSegmentTable> LoadSegmentTable(const std::string& fileName);
void FreeSegmentTable(std::unique_ptr<TSegmentTable>& table);
// A copy of the segment's definition and positions, with fresh values; the caller owns it.
std::unique_ptr<TEdiSegment> CloneSegment(const TEdiSegment& segment);

} // namespace talmiro
