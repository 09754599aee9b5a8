#include "talmiro/transmission.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

namespace talmiro {

namespace {

// The message type becomes part of a file name: it must name a file inside the table directory.
bool IsSafeMessageType(const std::string& type) {
    if (type.empty() || type == "." || type == "..") return false;
    return type.find_first_of("/\\") == std::string::npos;
}

} // namespace

TEdiTransmission::TEdiTransmission()
    : unb_(std::make_unique<TSegmUNB>()), ung_(std::make_unique<TSegmUNG>()),
      unh_(std::make_unique<TSegmUNH>()), unt_(std::make_unique<TSegmUNT>()),
      une_(std::make_unique<TSegmUNE>()), unz_(std::make_unique<TSegmUNZ>()) {}

TEdiTransmission::~TEdiTransmission() {
    unb_.reset();
    ung_.reset();
    unh_.reset();
    unt_.reset();
    une_.reset();
    unz_.reset();
}

void TEdiTransmission::Clear() {
    unb_->Clear();
    ung_->Clear();
    unh_->Clear();
    unt_->Clear();
    une_->Clear();
    unz_->Clear();
    if (Message) Message->UnloadStructure();
}

void TEdiTransmission::ReportSegment(TEdiSegment& segment) {
    if (Message->OnSegmentRead) Message->OnSegmentRead(*Message, segment);
}

void TEdiTransmission::Execute() {
    if (!Message) throw Exception("No message component assigned to the interchange driver");
    if (!stream_) throw Exception("No input stream assigned to the interchange driver");
    TStream& stream = *stream_;

    ResetDelimiters();
    NextTag = ReadFirstTag(stream);
    if (NextTag != "UNB") throw Exception("This no EDI message.");
    unb_->ReadEdi(stream);
    if (OnActivate) OnActivate(*this);
    ReportSegment(*unb_);
    NextTag = PeekSegmentTag(stream);

    if (NextTag == "UNG") {
        while (NextTag == "UNG") {
            ung_->ReadEdi(stream);
            if (OnNewFncGroup) OnNewFncGroup(*this);
            ReportSegment(*ung_);
            NextTag = PeekSegmentTag(stream);
            ReadMessages();
            if (NextTag != "UNE") throw Exception("Segment UNE expected");
            une_->ReadEdi(stream);
            ReportSegment(*une_);
            NextTag = PeekSegmentTag(stream);
        }
        if (OnExitFncGroup) OnExitFncGroup(*this);
    } else {
        ReadMessages();
    }

    if (NextTag != "UNZ") throw Exception("Segment UNZ expected");
    unz_->ReadEdi(stream);
    ReportSegment(*unz_);
    Message->UnloadStructure();
}

void TEdiTransmission::ReadMessages() {
    TStream& stream = *stream_;
    do {
        if (NextTag != "UNH") throw Exception("Segment UNH expected");
        unh_->ReadEdi(stream);
        if (OnNewMessage) OnNewMessage(*this);
        const std::string type = unh_->FindComposit("S009")->FieldByID("0065").AsString();
        if (!IsSafeMessageType(type)) throw Exception("Invalid message type \"" + type + "\" in segment UNH");
        unh_->SeekStart(stream);

        if (Message->MessageName != type) {
            Message->UnloadStructure();
            std::string fileName;
            if (OnGetStructureFile) OnGetStructureFile(*this, fileName);
            if (fileName.empty()) fileName = type + ".MDT";
            if (Message->LoadStructure(fileName) < 0) {
                // A refused table must not pass for loaded at the next message of this type.
                Message->UnloadStructure();
                throw Exception("This MDT-file cannot be used on this message");
            }
            if (OnStrctLoaded) OnStrctLoaded(*this);
        }

        Message->ReadMessage(stream);
        if (OnExitMessage) OnExitMessage(*this);
        NextTag = PeekSegmentTag(stream);
    } while (NextTag == "UNH");
}

} // namespace talmiro
