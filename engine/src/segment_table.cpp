#include "talmiro/segment_table.h"

#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace talmiro {

namespace {

const char* const StructureDamagedText = "File structure damaged";

// Upper case of a byte (ASCII letters only), by table: the look-up runs once per segment read.
struct TUpperTable {
    uint8_t Map[256];
    constexpr TUpperTable() : Map() {
        for (int i = 0; i < 256; ++i)
            Map[i] = static_cast<uint8_t>(i >= 'a' && i <= 'z' ? i - 32 : i);
    }
};
constexpr TUpperTable UpperTable;

// Three-way comparison of two tags without regard to letter case.
int CompareTags(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const uint8_t ca = UpperTable.Map[static_cast<uint8_t>(a[i])];
        const uint8_t cb = UpperTable.Map[static_cast<uint8_t>(b[i])];
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Big-endian, so that comparing keys compares the first eight bytes in the order of CompareTags.
uint64_t TagKey(std::string_view tag) {
    const size_t n = std::min<size_t>(tag.size(), 8);
    uint64_t key = 0;
    for (size_t i = 0; i < n; ++i)
        key |= static_cast<uint64_t>(UpperTable.Map[static_cast<uint8_t>(tag[i])]) << (56 - 8 * i);
    return key;
}

size_t SlotOf(uint64_t key, int shift) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift);
}

uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

std::pair<size_t, bool> TSegmentTable::Locate(std::string_view tag) const {
    const uint64_t key = TagKey(tag);
    // The usual case, a tag of at most eight bytes present in the table: its key leads to the entry. Keys
    // are equal for tags of up to eight bytes only when they are the same tag or differ in trailing zero
    // bytes, so equal lengths settle it.
    if (tag.size() <= 8 && !slots_.empty()) {
        const size_t mask = slots_.size() - 1;
        for (size_t slot = SlotOf(key, slotShift_);; slot = (slot + 1) & mask) {
            const int32_t index = slots_[slot];
            if (index < 0) break;
            const Entry& e = entries_[static_cast<size_t>(index)];
            if (e.Key == key) {
                if (e.Tag.size() == tag.size()) return {static_cast<size_t>(index), true};
                break;
            }
        }
    }
    // Otherwise a search on the keys alone whose steps do not branch: a branching search mispredicts a
    // step or two at every look-up.
    if (tag.size() <= 8 && !entries_.empty()) {
        const Entry* base = entries_.data();
        size_t len = entries_.size();
        while (len > 1) {
            const size_t half = len / 2;
            base = base[half - 1].Key < key ? base + half : base;
            len -= half;
        }
        // base is the first entry whose key is not below the tag's, or the last entry.
        if (base->Key == key && base->Tag.size() == tag.size())
            return {static_cast<size_t>(base - entries_.data()), true};
    }
    size_t lo = 0, hi = entries_.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const Entry& e = entries_[mid];
        int c;
        if (e.Key != key)
            c = e.Key < key ? -1 : 1;
        else if (e.Tag.size() == tag.size() && tag.size() <= 8)
            c = 0; // the key holds the whole tag
        else
            c = CompareTags(e.Tag, tag);
        if (c == 0) return {mid, true};
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {lo, false};
}

int TSegmentTable::TagIndex(std::string_view tag) const {
    const auto [index, found] = Locate(tag);
    return found ? static_cast<int>(index) : -1;
}

TEdiSegment* TSegmentTable::Find(std::string_view tag) const {
    const auto [index, found] = Locate(tag);
    return found ? entries_[index].Segment.get() : nullptr;
}

void TSegmentTable::RebuildIndex() {
    size_t size = 8;
    int shift = 61;
    while (size < 2 * entries_.size()) {
        size *= 2;
        --shift;
    }
    slots_.assign(size, -1);
    slotShift_ = shift;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (e.Tag.size() > 8) continue;
        // Only the first of the entries sharing a key is indexed; a look-up of the others searches.
        size_t slot = SlotOf(e.Key, shift);
        bool taken = false;
        for (; slots_[slot] >= 0; slot = (slot + 1) & (size - 1))
            if (entries_[static_cast<size_t>(slots_[slot])].Key == e.Key) {
                taken = true;
                break;
            }
        if (!taken) slots_[slot] = static_cast<int32_t>(i);
    }
}

void TSegmentTable::Insert(std::string_view tag, std::unique_ptr<TEdiSegment> segment) {
    const auto [index, found] = Locate(tag);
    if (found) {
        entries_[index].Segment = std::move(segment); // the later definition wins
        return;
    }
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index),
                    Entry{TagKey(tag), std::string(tag), std::move(segment)});
    // The entries behind moved: the index is dropped (look-ups search) until InsertAll builds it again;
    // rebuilding it at every insertion would make a table built one by one quadratic.
    slots_.clear();
}

void TSegmentTable::InsertAll(std::vector<std::unique_ptr<TEdiSegment>> segments) {
    if (!entries_.empty()) {
        for (auto& segment : segments) {
            const std::string tag = segment->ID;
            Insert(tag, std::move(segment));
        }
        RebuildIndex();
        return;
    }
    // Inserting one by one shifts the entries behind each new one: quadratic for a large table whose
    // records are not in order. A stable sort keeps equal tags in the order read, so the first tag text
    // and the last segment of each run are the ones Insert would have kept.
    std::vector<Entry> all;
    all.reserve(segments.size());
    for (auto& segment : segments) {
        std::string tag = segment->ID;
        const uint64_t key = TagKey(tag);
        all.push_back(Entry{key, std::move(tag), std::move(segment)});
    }
    std::stable_sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) {
        return a.Key != b.Key ? a.Key < b.Key : CompareTags(a.Tag, b.Tag) < 0;
    });
    for (auto& entry : all) {
        if (!entries_.empty() && entries_.back().Key == entry.Key &&
            CompareTags(entries_.back().Tag, entry.Tag) == 0)
            entries_.back().Segment = std::move(entry.Segment);
        else
            entries_.push_back(std::move(entry));
    }
    RebuildIndex();
}

// ---------------------------------------------------------------------------------------------------------

namespace {

// Adds elements as AddElement does. AddElement searches the list for a simple element of the same
// identifier, which a damaged record with a huge element count would make quadratic; past a few dozen
// elements the identifiers of the simple elements are looked up in a set instead.
class TElementAdder {
public:
    explicit TElementAdder(TEdiComposit& owner) : owner_(owner) {}

    void Add(std::unique_ptr<TEdiElement> element) {
        if (owner_.Elements.size() < IndexFrom) {
            owner_.AddElement(std::move(element));
            return;
        }
        if (!indexed_) {
            for (const auto& e : owner_.Elements)
                if (dynamic_cast<const TEDIField*>(e.get())) fieldIds_.insert(e->ID);
            indexed_ = true;
        }
        if (fieldIds_.count(element->ID)) return;
        if (dynamic_cast<const TEDIField*>(element.get())) fieldIds_.insert(element->ID);
        owner_.Elements.push_back(std::move(element));
    }

private:
    static constexpr size_t IndexFrom = 64;
    TEdiComposit& owner_;
    std::unordered_set<std::string> fieldIds_;
    bool indexed_ = false;
};

} // namespace

namespace {

// The extension records before an element's record (status first, then repeat count, each at most
// once) and the identifier of the element's own record.
struct TElementAttributes {
    int32_t Tag = 0;
    int32_t Repeats = 1;
    bool Mandatory = false;
};

TElementAttributes ReadAttributes(TDefReader& reader) {
    TElementAttributes attributes;
    attributes.Tag = reader.GetInteger();
    if (attributes.Tag == rtMandatory) {
        attributes.Mandatory = true;
        attributes.Tag = reader.GetInteger();
    }
    if (attributes.Tag == rtRepeat) {
        attributes.Repeats = reader.GetInteger();
        if (attributes.Repeats < 2) throw Exception(StructureDamagedText);
        attributes.Tag = reader.GetInteger();
    }
    return attributes;
}

} // namespace

std::unique_ptr<TEDIField> ReadFieldDef(TDefReader& reader) {
    auto field = std::make_unique<TEDIField>(reader.GetText());
    field->FieldType = static_cast<TEdiFieldType>(static_cast<uint8_t>(reader.GetInteger()));
    field->MinSize = reader.GetInteger();
    field->MaxSize = reader.GetInteger();
    field->Description = CutText(reader.GetText(), MaxDescriptionLength);
    return field;
}

std::unique_ptr<TEdiComposit> ReadCompositDef(TDefReader& reader) {
    std::string description = reader.GetText();
    auto composit = std::make_unique<TEdiComposit>(reader.GetText());
    composit->Description = CutText(description, MaxDescriptionLength);
    // The count comes from the file: every element must be read before anything is kept for it.
    const auto count = static_cast<uint32_t>(reader.GetInteger());
    TElementAdder adder(*composit);
    for (uint32_t i = 0; i < count; ++i) {
        TElementAttributes attributes = ReadAttributes(reader);
        // Components do not repeat.
        if (attributes.Tag != rtField || attributes.Repeats != 1) throw Exception(StructureDamagedText);
        std::unique_ptr<TEDIField> field = ReadFieldDef(reader);
        field->Mandatory = attributes.Mandatory;
        adder.Add(std::move(field));
    }
    return composit;
}

std::unique_ptr<TEdiSegment> ReadSegmentDef(TDefReader& reader) {
    std::string description = reader.GetText();
    auto segment = std::make_unique<TEdiSegment>(reader.GetText());
    segment->Description = CutText(description, MaxDescriptionLength);
    const auto count = static_cast<uint32_t>(reader.GetInteger());
    TElementAdder adder(*segment);
    for (uint32_t i = 0; i < count; ++i) {
        TElementAttributes attributes = ReadAttributes(reader);
        std::unique_ptr<TEdiElement> element;
        if (attributes.Tag == rtField)
            element = ReadFieldDef(reader);
        else if (attributes.Tag == rtComposit)
            element = ReadCompositDef(reader);
        else
            throw Exception(StructureDamagedText);
        element->RepeatCount = attributes.Repeats;
        element->Mandatory = attributes.Mandatory;
        adder.Add(std::move(element));
    }
    return segment;
}

std::unique_ptr<TSegmentTable> ReadSegmentTable(TDefReader& reader, uint32_t count) {
    // The count comes from the file: the list grows as records arrive, never by the count at once.
    std::vector<std::unique_ptr<TEdiSegment>> segments;
    for (uint32_t i = 0; i < count; ++i) {
        if (reader.GetInteger() != rtSegment) throw Exception(StructureDamagedText);
        segments.push_back(ReadSegmentDef(reader));
    }
    auto table = std::make_unique<TSegmentTable>();
    table->InsertAll(std::move(segments));
    return table;
}

std::unique_ptr<TSegmentTable> LoadSegmentTable(const std::string& fileName) {
    TFileStream file(fileName);
    uint8_t header[TableHeaderSize];
    if (file.Read(header, sizeof header) < sizeof header) throw Exception("File read error.");
    if (GetLE32(header + 4) != static_cast<uint32_t>(SdtFileType)) throw Exception("Illegal file type.");
    uint8_t countBytes[4];
    if (file.Read(countBytes, sizeof countBytes) < sizeof countBytes) throw Exception("File read error.");
    TDefReader reader(file, 1024);
    return ReadSegmentTable(reader, GetLE32(countBytes));
}

void FreeSegmentTable(std::unique_ptr<TSegmentTable>& table) {
    table.reset();
}

std::unique_ptr<TEdiSegment> CloneSegment(const TEdiSegment& segment) {
    TMemoryStream memory;
    {
        TDefWriter writer(memory, 128);
        segment.WriteDef(writer);
        writer.Flush();
    }
    memory.Seek(0);
    TDefReader reader(memory, 128);
    reader.GetInteger(); // the record tag
    auto copy = ReadSegmentDef(reader);
    copy->LineBreak = segment.LineBreak;
    copy->StartPos = segment.StartPos;
    copy->EndPos = segment.EndPos;
    return copy;
}

} // namespace talmiro
