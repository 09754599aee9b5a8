// The interchange driver: walks one interchange from UNB to UNZ.
#pragma once

#include "talmiro/service_segments.h"

#include <array>
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

    // The envelope segments of the interchange being read: those of syntax version 4 when its UNB names
    // that version, otherwise those of versions 1 to 3.
    const TEdiSegment& SegmUNB() const { return *envelope_->Unb; }
    const TEdiSegment& SegmUNG() const { return *envelope_->Ung; }
    const TEdiSegment& SegmUNH() const { return *envelope_->Unh; }
    const TEdiSegment& SegmUNT() const { return *envelope_->Unt; }
    const TEdiSegment& SegmUNE() const { return *envelope_->Une; }
    const TEdiSegment& SegmUNZ() const { return *envelope_->Unz; }
    // The syntax version number of the UNB read last (0002 of S001): 4, or 3 for every other value.
    int SyntaxVersion() const { return envelope_ == &v4_ ? 4 : 3; }

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
    // Reads UNB with the envelope of its syntax version and puts that version's delimiters in force.
    void ReadHeader(bool hadAdvice);
    // Reports an envelope segment through the message component's OnSegmentRead.
    void ReportSegment(TEdiSegment& segment);

    struct TEnvelope {
        std::unique_ptr<TEdiSegment> Unb, Ung, Unh, Unt, Une, Unz;
        void Clear();
    };
    TEnvelope v3_;
    TEnvelope v4_;
    TEnvelope* envelope_ = &v3_;
    // The identification (type, version, release, agency) of the message the loaded table was loaded for.
    std::array<std::string, 4> loadedFor_;
    bool loadedForValid_ = false;
    TStream* stream_ = nullptr; // not owned
};

} // namespace talmiro
