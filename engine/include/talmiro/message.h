// The message component: loads a compiled message table and reads message bodies against it.
#pragma once

#include "talmiro/edi_element.h"
#include "talmiro/segment_table.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace talmiro {

class TStream;

enum TMessageDefKind : uint8_t { mdSegment = 0, mdGroup = 1 };

// One node of a message structure: a segment entry or a segment group with its member list.
struct TMessageDefRec {
    TMessageDefRec() = default;
    ~TMessageDefRec(); // frees the rest of the list without deep recursion
    TMessageDefRec(const TMessageDefRec&) = delete;
    TMessageDefRec& operator=(const TMessageDefRec&) = delete;

    std::unique_ptr<TMessageDefRec> Next;
    char Condition = 0;
    int32_t MaxRep = 0;
    uint8_t Kind = mdSegment;
    std::string Tag; // at most 3 characters
    int32_t GrpNbr = 0;
    std::unique_ptr<TMessageDefRec> Children;
};

// Groups nest at most this deep, in a table file and in the walk of the reader.
constexpr int MaxGroupDepth = 64;

class TEdiMessage {
public:
    TEdiMessage();
    ~TEdiMessage();
    TEdiMessage(const TEdiMessage&) = delete;
    TEdiMessage& operator=(const TEdiMessage&) = delete;

    // Table state.
    std::string MessageName;
    std::string MsgTypeId, MsgVersion, MsgRelease, MsgAgency, MsgAssocCode;
    std::unique_ptr<TSegmentTable> SegmentTable;
    std::unique_ptr<TMessageDefRec> Structure;

    // Reader state.
    TEdiSegment* CurrentSegment = nullptr;
    // The structure entry the segment reported by OnSegmentRead stands at; null outside the walk.
    const TMessageDefRec* CurrentEntry = nullptr;
    bool SeqErrorReported = false;

    // Events (an empty one is skipped). OnCreate is kept for hosts that mirror the component's life; it
    // cannot be assigned before the constructor runs, so the component never fires it itself.
    std::function<void(TEdiMessage& Sender)> OnCreate;
    std::function<void(TEdiMessage& Sender)> OnDestroy;
    std::function<void(TEdiMessage& Sender, int ErrCode)> OnInOutError;
    std::function<void(TEdiMessage& Sender, bool& Accepted)> OnCheckHeader;
    std::function<void(TEdiMessage& Sender, const std::string& Expect, const std::string& Found)>
        OnSegSeqError;
    std::function<void(TEdiMessage& Sender, const std::string& StdName, std::unique_ptr<TSegmentTable>& SL)>
        OnGetSegments;
    std::function<void(TEdiMessage& Sender, TEdiSegment& Segment)> OnSegmentRead;
    std::function<void(TEdiMessage& Sender, const TMessageDefRec& Data, void* Parent, void*& TN)>
        OnGetTreeNode;
    std::function<void(TEdiMessage& Sender, int GrpNbr, int ActRep)> OnEnterGroup;
    std::function<void(TEdiMessage& Sender, int GrpNbr)> OnExitGroup;
    std::function<void(TEdiMessage& Sender, int GrpNbr)> OnDoneGroup;
    // The reports "Error while reading segment ..." / "Error while reading group #..." shown before a load
    // error is raised; when empty they go to standard error.
    std::function<void(const std::string& Text)> OnReport;

    // 0 when loaded, -1 when OnCheckHeader refused the table. Unloads first; after an error or a refusal
    // no segment table or structure stays loaded.
    int LoadStructure(const std::string& FileName);
    void GetSegmentList(const std::string& StdName);
    void UnloadStructure();

    void ReadSegment(TStream& stream);
    // Reads one message body from its UNH; true when no sequence error was reported by event.
    // A structure that consumes no segment of the message is an error (the caller would read it again).
    bool ReadMessage(TStream& stream);

    // Passes a load report to OnReport, or to standard error when that is empty.
    void Report(const std::string& text);

private:
    int LoadStructureFrom(const std::string& fileName);
    // ReadSegment that tells whether a segment was read (false after a reported input/output error).
    bool ReadNext(TStream& stream);
    void WalkList(TStream& stream, const TMessageDefRec* entry, int depth);
    uint64_t segmentsRead_ = 0; // tells the walk whether a group repetition consumed anything
};

} // namespace talmiro
