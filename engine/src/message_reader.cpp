#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

namespace talmiro {

namespace {

bool IsCurrent(const TEdiSegment* segment, const std::string& tag) {
    if (!segment) return false;
    const std::string& id = segment->ID;
    if (id.size() != tag.size()) return false;
    // Tags have three letters: compared in place rather than by a call to memcmp, several times a segment.
    if (tag.size() == 3) return id[0] == tag[0] && id[1] == tag[1] && id[2] == tag[2];
    return id == tag;
}

} // namespace

bool TEdiMessage::ReadNext(TStream& stream) {
    if (!SegmentTable) throw Exception("No message table loaded");
    try {
        char buffer[3];
        const std::string_view tag = PeekSegmentTag(stream, buffer);
        TEdiSegment* segment = SegmentTable->Find(tag);
        if (!segment) throw EInvalidSegment(std::string(tag));
        CurrentSegment = segment;
        segment->ReadEdi(stream);
        ++segmentsRead_;
        return true;
    } catch (const EInOutError& e) {
        if (!OnInOutError) throw;
        OnInOutError(*this, e.ErrorCode);
        return false;
    }
}

void TEdiMessage::ReadSegment(TStream& stream) {
    ReadNext(stream);
}

bool TEdiMessage::ReadMessage(TStream& stream) {
    if (!SegmentTable) throw Exception("No message table loaded");
    const int64_t start = stream.Position();
    ReadNext(stream); // an error in the header leaves the stream where it occurred
    SeqErrorReported = false;
    CurrentEntry = nullptr;
    try {
        WalkList(stream, Structure.get(), 0);
    } catch (...) {
        CurrentEntry = nullptr;
        if (CurrentSegment) CurrentSegment->SeekStart(stream);
        throw;
    }
    CurrentEntry = nullptr;
    if (CurrentSegment) CurrentSegment->SeekStart(stream);
    // The caller reads on from here; if nothing was consumed it would meet the same message again.
    if (!CurrentSegment || stream.Position() == start)
        throw Exception("No segment of the message fits the message structure");
    return !SeqErrorReported;
}

void TEdiMessage::WalkList(TStream& stream, const TMessageDefRec* entry, int depth) {
    if (depth > MaxGroupDepth) throw Exception("Message structure nested too deeply");
    for (const TMessageDefRec* e = entry; e; e = e->Next.get()) {
        const bool present = IsCurrent(CurrentSegment, e->Tag);
        if (e->Condition == 'M' && !present) {
            const std::string found = CurrentSegment ? CurrentSegment->ID : std::string();
            if (!OnSegSeqError)
                throw Exception("Segment sequence error: " + e->Tag + " expected but " + found + " found.");
            OnSegSeqError(*this, e->Tag, found);
            SeqErrorReported = true;
            return;
        }
        if (!present || e->MaxRep <= 0) continue;

        if (e->Kind == mdGroup) {
            for (int32_t rep = 1; rep <= e->MaxRep; ++rep) {
                const uint64_t readBefore = segmentsRead_;
                if (OnEnterGroup) OnEnterGroup(*this, e->GrpNbr, rep);
                WalkList(stream, e->Children.get(), depth + 1);
                if (SeqErrorReported) break;
                if (OnDoneGroup) OnDoneGroup(*this, e->GrpNbr);
                if (!IsCurrent(CurrentSegment, e->Tag)) {
                    if (OnExitGroup) OnExitGroup(*this, e->GrpNbr);
                    break;
                }
                // A repetition that consumed nothing would repeat identically up to the maximum.
                if (segmentsRead_ == readBefore) break;
            }
        } else {
            for (int32_t rep = 1; rep <= e->MaxRep; ++rep) {
                CurrentEntry = e;
                if (OnSegmentRead) OnSegmentRead(*this, *CurrentSegment);
                // After a reported input/output error the same segment stays current: stop repeating.
                if (!ReadNext(stream)) break;
                if (!IsCurrent(CurrentSegment, e->Tag) || SeqErrorReported) break;
            }
        }
    }
}

} // namespace talmiro
