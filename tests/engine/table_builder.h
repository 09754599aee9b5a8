// Helpers of the engine tests: compiled segment and message tables built with the definition writer.
#pragma once

#include "talmiro/def_stream.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/streams.h"

#include "test_support.h"

#include <exception>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace talmiro::test {

inline std::string Bytes(const TMemoryStream& stream) {
    return stream.Text();
}

// The text of the error of type E that f raises; a marker when it raises nothing or something else.
template <class E = std::exception, class F> std::string ErrorText(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        if constexpr (!std::is_same_v<E, std::exception>) {
            if (dynamic_cast<const E*>(&e) == nullptr) return std::string("<other error: ") + e.what() + ">";
        }
        return e.what();
    }
    return "<no error>";
}

// Writes a segment record from a compact text: the tag, then its elements separated by blanks; an
// element "C082:3039:1131" is a composite with its simple elements, any other an alphanumeric field.
inline void PutSegmentRecord(TDefWriter& w, const std::string& spec) {
    std::istringstream in(spec);
    std::string tag, element;
    in >> tag;
    std::vector<std::string> elements;
    while (in >> element)
        elements.push_back(element);
    auto putField = [&w](const std::string& id) {
        w.PutInteger(rtField);
        w.PutText(id);
        w.PutInteger(ftAlnum);
        w.PutInteger(0);
        w.PutInteger(35);
        w.PutText("Field " + id);
    };
    w.PutInteger(rtSegment);
    w.PutText("Segment " + tag);
    w.PutText(tag);
    w.PutInteger(static_cast<int32_t>(elements.size()));
    for (const std::string& e : elements) {
        if (e.find(':') == std::string::npos) {
            putField(e);
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream pin(e);
        std::string part;
        while (std::getline(pin, part, ':'))
            parts.push_back(part);
        w.PutInteger(rtComposit);
        w.PutText("Composite " + parts[0]);
        w.PutText(parts[0]);
        w.PutInteger(static_cast<int32_t>(parts.size() - 1));
        for (size_t i = 1; i < parts.size(); ++i)
            putField(parts[i]);
    }
}

// The segments most tests need: the envelope tags that follow a message, and a few body segments.
inline std::vector<std::string> StandardSegments() {
    return {"UNH 0062 S009:0065:0052:0054:0051:0057 0068",
            "UNT 0074 0062",
            "UNE 0060 0048",
            "UNG 0038 S006:0040:0007 S007:0044:0007 S004:0017:0019 0048 0051 S008:0052:0054:0057 0058",
            "UNZ 0036 0020",
            "BGM C002:1001 1004",
            "DTM C507:2005:2380:2379",
            "NAD 3035 C082:3039",
            "CTA 3139 C056:3413",
            "LIN 1082",
            "QTY C186:6063:6060"};
}

// The bytes of an .SDT file with these segments; count overrides the stored count when given.
inline std::string SdtBytes(const std::vector<std::string>& segments, int64_t count = -1) {
    TMemoryStream out;
    const auto header = MakeTableHeader(SdtFileType, false);
    out.Write(header.data(), header.size());
    const auto n = static_cast<uint32_t>(count < 0 ? static_cast<int64_t>(segments.size()) : count);
    const uint8_t raw[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                            static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
    out.Write(raw, 4);
    TDefWriter w(out);
    for (const std::string& s : segments)
        PutSegmentRecord(w, s);
    w.Flush();
    return Bytes(out);
}

// A segment table in memory, read through the definition reader.
inline std::unique_ptr<TSegmentTable> MakeSegmentTable(const std::vector<std::string>& segments) {
    TMemoryStream out;
    {
        TDefWriter w(out);
        for (const std::string& s : segments)
            PutSegmentRecord(w, s);
    }
    out.Seek(0);
    TDefReader r(out);
    return ReadSegmentTable(r, static_cast<uint32_t>(segments.size()));
}

// One entry of a message structure.
struct Entry {
    bool Group = false;
    std::string Tag;
    char Condition = 'C';
    int32_t MaxRep = 1;
    int32_t GrpNbr = 0;
    std::vector<Entry> Members; // groups: the trigger segment's entry first
};

inline Entry Seg(const std::string& tag, char condition, int32_t maxRep) {
    return {false, tag, condition, maxRep, 0, {}};
}
inline Entry Grp(int32_t number, const std::string& tag, char condition, int32_t maxRep,
                 std::vector<Entry> members) {
    return {true, tag, condition, maxRep, number, std::move(members)};
}

// The message structure as records of a message table; the structure end record is not written.
inline void PutStructure(TDefWriter& w, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (!e.Group) {
            w.PutInteger(rtSegment);
            w.PutText(e.Tag);
            w.PutChar(e.Condition);
            w.PutInteger(e.MaxRep);
            w.PutBoolean(true);
            w.PutText("Entry " + e.Tag);
            continue;
        }
        w.PutInteger(GroupRecordId);
        w.PutInteger(e.GrpNbr);
        w.PutText(e.Tag);
        w.PutChar(e.Condition);
        w.PutInteger(e.MaxRep);
        w.PutBoolean(false);
        PutStructure(w, e.Members);
        w.PutInteger(GroupEndRecordId);
        w.PutInteger(e.GrpNbr);
    }
}

// The same structure built in memory.
inline std::unique_ptr<TMessageDefRec> BuildStructure(const std::vector<Entry>& entries) {
    std::unique_ptr<TMessageDefRec> first;
    std::unique_ptr<TMessageDefRec>* tail = &first;
    for (const Entry& e : entries) {
        auto rec = std::make_unique<TMessageDefRec>();
        rec->Kind = e.Group ? mdGroup : mdSegment;
        rec->Tag = e.Tag;
        rec->Condition = e.Condition;
        rec->MaxRep = e.MaxRep;
        rec->GrpNbr = e.GrpNbr;
        if (e.Group) rec->Children = BuildStructure(e.Members);
        *tail = std::move(rec);
        tail = &(*tail)->Next;
    }
    return first;
}

// The structure UNH(M,1) BGM(M,1) group 1 [NAD(M,1) group 2 [CTA(M,1)]] UNT(M,1).
inline std::vector<Entry> OrdersStructure() {
    return {Seg("UNH", 'M', 1), Seg("BGM", 'M', 1),
            Grp(1, "NAD", 'C', 5, {Seg("NAD", 'M', 1), Grp(2, "CTA", 'C', 5, {Seg("CTA", 'M', 1)})}),
            Seg("UNT", 'M', 1)};
}

struct MdtSpec {
    std::string Name = "ORDERS";
    std::string TypeId = "ORDERS", Version = "D", Release = "96A", Agency = "UN", AssocCode;
    std::string SdtName;               // used when Embedded is empty
    std::vector<std::string> Embedded; // segment specs of an embedded table
    bool EmbedEmptyTable = false;      // an embedded table with no segments
    std::vector<Entry> Structure = OrdersStructure();
    std::string Description = "Purchase order message";
};

inline void PutHeaderText(uint8_t* slot, const std::string& text) {
    slot[0] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), slot + 1);
}

// The header and the body up to the structure records.
inline void PutMdtHead(TMemoryStream& out, TDefWriter& w, const MdtSpec& spec) {
    auto header = MakeTableHeader(MdtFileType, true);
    PutHeaderText(&header[20], spec.Name);
    PutHeaderText(&header[27], spec.TypeId);
    PutHeaderText(&header[34], spec.Version);
    PutHeaderText(&header[41], spec.Release);
    PutHeaderText(&header[48], spec.Agency);
    PutHeaderText(&header[55], spec.AssocCode);
    PutHeaderText(&header[62], spec.SdtName);
    out.Write(header.data(), header.size());
    w.PutBoolean(!spec.Description.empty());
    if (!spec.Description.empty()) w.PutText(spec.Description);
    const bool embedded = !spec.Embedded.empty() || spec.EmbedEmptyTable;
    w.PutBoolean(embedded);
    if (embedded) {
        w.PutInteger(static_cast<int32_t>(spec.Embedded.size()));
        for (const std::string& s : spec.Embedded)
            PutSegmentRecord(w, s);
    }
}

inline std::string MdtBytes(const MdtSpec& spec) {
    TMemoryStream out;
    TDefWriter w(out);
    PutMdtHead(out, w, spec);
    PutStructure(w, spec.Structure);
    w.PutInteger(StructureEndRecordId);
    w.Flush();
    return Bytes(out);
}

} // namespace talmiro::test
