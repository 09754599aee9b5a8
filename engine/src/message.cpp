#include "talmiro/message.h"

#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <cstring>
#include <iostream>

namespace talmiro {

namespace {

const char* const StructureDamagedText = "File structure damaged";

uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A header slot: a length byte followed by at most capacity characters.
std::string HeaderText(const uint8_t* p, size_t capacity) {
    const size_t length = std::min<size_t>(p[0], capacity);
    return std::string(reinterpret_cast<const char*>(p + 1), length);
}

// The directory part of a path, with its trailing separator; empty when the path names none.
std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

TMessageDefRec::~TMessageDefRec() {
    // Unlink the rest of the list node by node, so that a long list is not freed by one recursive call
    // per node. Member lists are freed by their group's destructor, one level per nesting level.
    std::unique_ptr<TMessageDefRec> next = std::move(Next);
    while (next)
        next = std::move(next->Next);
}

// ---------------------------------------------------------------------------------------------------------

// Reads the structure records of one list, appending to *tail; R holds the current record id.
class TStructureReader {
public:
    TStructureReader(TEdiMessage& message, TDefReader& reader) : message_(message), reader_(reader) {}

    void ReadList(std::unique_ptr<TMessageDefRec>* tail, int32_t groupNumber, int32_t& r, int depth) {
        while (r != StructureEndRecordId && r != GroupEndRecordId) {
            auto node = std::make_unique<TMessageDefRec>();
            TMessageDefRec* rec = node.get();
            if (r == rtSegment) {
                *tail = std::move(node);
                tail = &rec->Next;
                ReadSegmentEntry(*rec, r);
            } else if (r == GroupRecordId) {
                if (depth >= MaxGroupDepth) throw Exception(StructureDamagedText);
                *tail = std::move(node);
                tail = &rec->Next;
                ReadGroupEntry(*rec, r);
                ReadList(&rec->Children, rec->GrpNbr, r, depth + 1);
                if (r == StructureEndRecordId) return;
            } else {
                throw Exception("Illegal Record ID");
            }
        }
        if (r == GroupEndRecordId) {
            if (reader_.GetInteger() != groupNumber) throw Exception(StructureDamagedText);
            // At top level an end record with number 0 ends the structure: the record id after it is read
            // like any other, but nothing further.
            r = reader_.GetInteger();
            return;
        }
        if (groupNumber != 0) throw Exception(StructureDamagedText);
    }

private:
    void ReadSegmentEntry(TMessageDefRec& rec, int32_t& r) {
        rec.Kind = mdSegment;
        try {
            rec.Tag = CutText(reader_.GetText(), 3);
            rec.Condition = reader_.GetChar();
            rec.MaxRep = reader_.GetInteger();
            if (reader_.GetBoolean()) reader_.GetText();
            r = reader_.GetInteger();
        } catch (const std::exception&) {
            message_.Report("Error while reading segment " + rec.Tag);
            throw;
        }
    }

    void ReadGroupEntry(TMessageDefRec& rec, int32_t& r) {
        rec.Kind = mdGroup;
        try {
            rec.GrpNbr = reader_.GetInteger();
            rec.Tag = CutText(reader_.GetText(), 3);
            rec.Condition = reader_.GetChar();
            rec.MaxRep = reader_.GetInteger();
            if (reader_.GetBoolean()) reader_.GetText();
            r = reader_.GetInteger();
        } catch (const std::exception&) {
            message_.Report("Error while reading group #" + std::to_string(rec.GrpNbr));
            throw;
        }
    }

    TEdiMessage& message_;
    TDefReader& reader_;
};

// ---------------------------------------------------------------------------------------------------------

TEdiMessage::TEdiMessage() = default;

TEdiMessage::~TEdiMessage() {
    if (OnDestroy) {
        try {
            OnDestroy(*this);
        } catch (...) {
            // A destructor cannot pass an error on.
        }
    }
    UnloadStructure();
}

void TEdiMessage::Report(const std::string& text) {
    if (OnReport)
        OnReport(text);
    else
        std::cerr << text << '\n';
}

int TEdiMessage::LoadStructure(const std::string& FileName) {
    // A table left loaded would otherwise pass under the new name if this one is refused.
    UnloadStructure();
    try {
        return LoadStructureFrom(FileName);
    } catch (...) {
        // A table is loaded whole or not at all: a half-loaded one must never be used for a message.
        UnloadStructure();
        throw;
    }
}

int TEdiMessage::LoadStructureFrom(const std::string& fileName) {
    TFileStream file(fileName);
    uint8_t header[TableHeaderSize];
    if (file.Read(header, sizeof header) < sizeof header) throw Exception("File read error.");
    if (GetLE32(header + 4) != static_cast<uint32_t>(MdtFileType)) throw Exception("Illegal file type.");

    MessageName = HeaderText(header + 20, 6);
    MsgTypeId = HeaderText(header + 27, 6);
    MsgVersion = HeaderText(header + 34, 6);
    MsgRelease = HeaderText(header + 41, 6);
    MsgAgency = HeaderText(header + 48, 6);
    MsgAssocCode = HeaderText(header + 55, 6);

    bool accepted = true;
    if (OnCheckHeader) OnCheckHeader(*this, accepted);
    if (!accepted) return -1;

    TDefReader reader(file, 1024);
    if (reader.GetBoolean()) reader.GetText(); // the message description is not kept
    if (reader.GetBoolean()) {
        const int32_t count = reader.GetInteger();
        if (count < 0) throw Exception(StructureDamagedText);
        SegmentTable = ReadSegmentTable(reader, static_cast<uint32_t>(count));
    } else {
        std::string sdtName = HeaderText(header + 62, 255);
        if (!FileExists(sdtName)) sdtName = DirectoryOf(fileName) + sdtName;
        GetSegmentList(sdtName);
    }

    int32_t r = reader.GetInteger();
    TStructureReader structure(*this, reader);
    structure.ReadList(&Structure, 0, r, 0);
    return 0;
}

void TEdiMessage::GetSegmentList(const std::string& StdName) {
    std::unique_ptr<TSegmentTable> list;
    if (OnGetSegments) OnGetSegments(*this, StdName, list);
    if (!list) list = LoadSegmentTable(StdName);
    SegmentTable = std::move(list);
}

void TEdiMessage::UnloadStructure() {
    Structure.reset();
    FreeSegmentTable(SegmentTable);
    MessageName.clear();
    CurrentSegment = nullptr; // it pointed into the freed table
    CurrentEntry = nullptr;
}

} // namespace talmiro
