#include "talmiro/transmission.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
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

TEdiTransmission::TEdiTransmission() {
    v3_.Unb = std::make_unique<TSegmUNB>();
    v3_.Ung = std::make_unique<TSegmUNG>();
    v3_.Unh = std::make_unique<TSegmUNH>();
    v3_.Unt = std::make_unique<TSegmUNT>();
    v3_.Une = std::make_unique<TSegmUNE>();
    v3_.Unz = std::make_unique<TSegmUNZ>();
    v4_.Unb = std::make_unique<TSegmUNB4>();
    v4_.Ung = std::make_unique<TSegmUNG4>();
    v4_.Unh = std::make_unique<TSegmUNH4>();
    v4_.Unt = std::make_unique<TSegmUNT4>();
    v4_.Une = std::make_unique<TSegmUNE4>();
    v4_.Unz = std::make_unique<TSegmUNZ4>();
}

TEdiTransmission::~TEdiTransmission() {
    for (TEnvelope* e : {&v3_, &v4_}) {
        e->Unb.reset();
        e->Ung.reset();
        e->Unh.reset();
        e->Unt.reset();
        e->Une.reset();
        e->Unz.reset();
    }
}

void TEdiTransmission::TEnvelope::Clear() {
    Unb->Clear();
    Ung->Clear();
    Unh->Clear();
    Unt->Clear();
    Une->Clear();
    Unz->Clear();
}

void TEdiTransmission::Clear() {
    v3_.Clear();
    v4_.Clear();
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
    SkipByteOrderMark(stream);
    const int64_t start = stream.Position();
    NextTag = ReadFirstTag(stream);
    if (NextTag != "UNB") throw Exception("This no EDI message.");
    ReadHeader(stream.Position() != start);
    TEnvelope& env = *envelope_;
    if (OnActivate) OnActivate(*this);
    ReportSegment(*env.Unb);
    NextTag = PeekSegmentTag(stream);

    if (NextTag == "UNG") {
        while (NextTag == "UNG") {
            env.Ung->ReadEdi(stream);
            if (OnNewFncGroup) OnNewFncGroup(*this);
            ReportSegment(*env.Ung);
            NextTag = PeekSegmentTag(stream);
            ReadMessages();
            if (NextTag != "UNE") throw Exception("Segment UNE expected");
            env.Une->ReadEdi(stream);
            ReportSegment(*env.Une);
            NextTag = PeekSegmentTag(stream);
        }
        if (OnExitFncGroup) OnExitFncGroup(*this);
    } else {
        ReadMessages();
    }

    if (NextTag != "UNZ") throw Exception("Segment UNZ expected");
    env.Unz->ReadEdi(stream);
    ReportSegment(*env.Unz);
    Message->UnloadStructure();
}

namespace {

// The syntax version number that the UNB at the stream's position names, read without moving the
// stream; 3 when it names anything but 4 or cannot be read (the real reading then reports why).
int ProbeSyntaxVersion(TStream& stream) {
    const int64_t start = stream.Position();
    int version = 3;
    try {
        ReadChars(stream, 3);
        if (NextChar(stream) == static_cast<unsigned char>(Delimiters.ElementSeparator)) {
            TSegmUNB4 probe;
            auto* s001 = probe.FindComposit("S001");
            s001->ReadEdi(stream);
            if (s001->FieldByID("0002").RawText == "4") version = 4;
        }
    } catch (const std::exception&) {
        version = 3;
    }
    stream.Seek(start);
    return version;
}

} // namespace

void TEdiTransmission::ReadHeader(bool hadAdvice) {
    TStream& stream = *stream_;
    envelope_ = ProbeSyntaxVersion(stream) == 4 ? &v4_ : &v3_;
    envelope_->Unb->ReadEdi(stream);
    if (envelope_ == &v4_) {
        // Repeats are taken from here on; UNB itself has no repeating element.
        Delimiters.RepetitionSeparator = RepetitionSeparatorFor(hadAdvice);
        Delimiters.RepeatsByElementSeparator = Delimiters.RepetitionSeparator == 0;
    }
}

void TEdiTransmission::ReadMessages() {
    TStream& stream = *stream_;
    TEdiSegment& unh = *envelope_->Unh;
    do {
        if (NextTag != "UNH") throw Exception("Segment UNH expected");
        unh.ReadEdi(stream);
        if (OnNewMessage) OnNewMessage(*this);
        const TEdiComposit* s009 = unh.FindComposit("S009");
        const std::string type = s009->FieldByID("0065").AsString();
        if (!IsSafeMessageType(type)) throw Exception("Invalid message type \"" + type + "\" in segment UNH");
        unh.SeekStart(stream);

        // A table belongs to one release: a message of the same type but of another version, release or
        // agency gets the table of its own. Type, version, release and agency are the first four components
        // of S009 in the header of every syntax version.
        const auto& id = s009->Elements;
        bool sameRelease = loadedForValid_;
        for (size_t i = 0; i < loadedFor_.size(); ++i)
            sameRelease = sameRelease && static_cast<const TEDIField&>(*id[i]).RawText == loadedFor_[i];
        if (Message->MessageName != type || !sameRelease) {
            Message->UnloadStructure();
            loadedForValid_ = false;
            std::string fileName;
            if (OnGetStructureFile) OnGetStructureFile(*this, fileName);
            if (fileName.empty()) fileName = type + ".MDT";
            if (Message->LoadStructure(fileName) < 0) {
                // A refused table must not pass for loaded at the next message of this type.
                Message->UnloadStructure();
                throw Exception("This MDT-file cannot be used on this message");
            }
            for (size_t i = 0; i < loadedFor_.size(); ++i)
                loadedFor_[i] = static_cast<const TEDIField&>(*id[i]).RawText;
            loadedForValid_ = true;
            // A message body's header and trailer have the version 4 layout whatever table reads the body.
            if (envelope_ == &v4_ && Message->SegmentTable) {
                std::vector<std::unique_ptr<TEdiSegment>> service;
                service.push_back(CloneSegment(*v4_.Unh));
                service.push_back(CloneSegment(*v4_.Unt));
                Message->SegmentTable->InsertAll(std::move(service));
            }
            if (OnStrctLoaded) OnStrctLoaded(*this);
        }

        Message->ReadMessage(stream);
        if (OnExitMessage) OnExitMessage(*this);
        NextTag = PeekSegmentTag(stream);
    } while (NextTag == "UNH");
}

} // namespace talmiro
