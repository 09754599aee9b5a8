// The interchange driver: walks one interchange from UNB to UNZ.
#pragma once

#include "talmiro/service_segments.h"

#include <functional>
#include <memory>
#include <string>

namespace talmiro {

class TStream;
class TEdiMessage;

class TEdiTransmission {
public:
    TEdiTransmission();
    ~TEdiTransmission();
    TEdiTransmission(const TEdiTransmission&) = delete;
    TEdiTransmission& operator=(const TEdiTransmission&) = delete;

    const TSegmUNB& SegmUNB() const { return *unb_; }
    const TSegmUNG& SegmUNG() const { return *ung_; }
    const TSegmUNH& SegmUNH() const { return *unh_; }
    const TSegmUNT& SegmUNT() const { return *unt_; }
    const TSegmUNE& SegmUNE() const { return *une_; }
    const TSegmUNZ& SegmUNZ() const { return *unz_; }

    TEdiMessage* Message = nullptr; // not owned
    std::string NextTag;

    std::function<void(TEdiTransmission& Sender)> OnActivate;
    std::function<void(TEdiTransmission& Sender)> OnNewFncGroup;
    std::function<void(TEdiTransmission& Sender)> OnNewMessage;
    std::function<void(TEdiTransmission& Sender)> OnStrctLoaded;
    std::function<void(TEdiTransmission& Sender, std::string& AFileName)> OnGetStructureFile;
    std::function<void(TEdiTransmission& Sender)> OnExitFncGroup;
    std::function<void(TEdiTransmission& Sender)> OnExitMessage;

    void SetStream(TStream* stream) { stream_ = stream; }
    TStream* Stream() const { return stream_; }
    // Raises when no message component or no stream is set.
    void Execute();
    void Clear();

private:
    void ReadMessages();
    // Reports an envelope segment through the message component's OnSegmentRead.
    void ReportSegment(TEdiSegment& segment);

    std::unique_ptr<TSegmUNB> unb_;
    std::unique_ptr<TSegmUNG> ung_;
    std::unique_ptr<TSegmUNH> unh_;
    std::unique_ptr<TSegmUNT> unt_;
    std::unique_ptr<TSegmUNE> une_;
    std::unique_ptr<TSegmUNZ> unz_;
    TStream* stream_ = nullptr; // not owned
};

} // namespace talmiro
