// Acknowledgements: the CONTRL message (syntax and service report) that answers an interchange. The
// interchange is read and checked as `check` does; every fault is placed at the level of the answer it
// belongs to (interchange, group, message, segment, data element) with its syntax error code (0085).
// Both front ends write acknowledgements through this, so that they report the same.
#pragma once

#include "talmiro/edi_writer.h"
#include "talmiro/exceptions.h"
#include "talmiro/validation.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talmiro {

class TStandardsCatalogue;
class TStream;

// Action codes (0083) and the syntax error codes (0085) an acknowledgement uses.
namespace ack {
constexpr int Rejected = 4;     // this level and all lower levels rejected
constexpr int Acknowledged = 7; // this level acknowledged, lower levels unless rejected explicitly
} // namespace ack

// The data element at fault (S011): its position in the segment with the tag as 1 (0098), the component's
// position (0104) and the occurrence of a repeating element (0136); 0 where there is none.
struct TAckPlace {
    int32_t Element = 0;
    int32_t Component = 0;
    int32_t Occurrence = 0;
    bool operator==(const TAckPlace&) const = default;
};

// A syntax error code with the service segment (0013, 0135 in version 4) and the element it concerns.
struct TAckError {
    int Code = 0; // 0085; 0 when the level itself is not at fault
    std::string Tag;
    TAckPlace Place;
    // A gap (a missing segment) rather than a fault of the segment itself: reported at the segment read
    // before it.
    bool Before = false;
};

// The 0085 code of a diagnostic, and where it puts the fault. The one mapping from diagnostics to syntax
// error codes; previousTag is the tag of the segment read before the one the diagnostic is about.
TAckError SyntaxErrorOf(const TDiagnostic& diagnostic, const std::string& previousTag = {});

struct TAckElementError {
    int Code = 0;
    TAckPlace Place;
};

struct TAckSegmentError {
    int64_t Position = 0; // in the message, UNH being 1
    int Code = 0;         // for the segment as a whole; 0 when only elements are at fault
    std::vector<TAckElementError> Elements;
};

struct TAckMessage {
    std::string Reference;                 // 0062
    std::array<std::string, 5> Identifier; // S009: 0065, 0052, 0054, 0051, 0057
    bool Rejected = false;
    TAckError Error; // a fault of UNH or UNT, or of the message as a whole
    std::vector<TAckSegmentError> Segments;
};

struct TAckGroup {
    std::string Reference;                // 0048
    std::array<std::string, 2> Sender;    // S006: 0040, 0007
    std::array<std::string, 2> Recipient; // S007: 0044, 0007
    bool Rejected = false;
    TAckError Error; // a fault of UNG or UNE
    std::vector<TAckMessage> Messages;
};

// What is known of one interchange after reading it: its envelope, its groups and messages, and the
// faults found in each.
struct TAckInterchange {
    std::string SyntaxIdentifier, SyntaxVersion; // S001: 0001, 0002
    std::vector<std::string> Sender, Recipient;  // S002 and S003 as read
    std::string Reference;                       // 0020
    bool Rejected = false;
    TAckError Error; // a fault of UNB or UNZ, or of the interchange as a whole
    bool HasGroups = false;
    // With groups, one entry per group; without, a single entry holding the messages.
    std::vector<TAckGroup> Groups;

    // True when nothing is rejected at any level.
    bool Accepted() const;
};

// A file in which not even the first interchange header can be read: nothing can be acknowledged.
class ENotAnInterchange : public Exception {
public:
    using Exception::Exception;
};

// Reads every interchange of the stream from its position (one after another, as long as the bytes after
// a UNZ begin another one) and notes their faults: the errors of a plain check, which reads on after a
// sequence error, and with strict also its warnings. Raises ENotAnInterchange when the first interchange
// header cannot be read; reading ends at an interchange that could not be read to its UNZ.
std::vector<TAckInterchange> ReadForAcknowledgement(TStream& stream, TStandardsCatalogue* catalogue,
                                                    bool strict);

struct TAckOptions {
    int SyntaxVersion = 0; // 3 or 4 (the layouts of that version); 0 for the subject's own
    std::string Reference; // UNB 0020; empty: made from the date and time
    std::string Date;      // YYMMDD or CCYYMMDD; empty: today (UTC)
    std::string Time;      // HHMM; empty: now (UTC)
    TLayout Layout = TLayout::OnePerLine;
};

// Checks --date and --time values: "" when fine, otherwise what is wrong.
std::string AckDateProblem(const std::string& date, const std::string& time);

// The text of the interchange that carries one CONTRL message answering the subject. index (from 0)
// is the subject's place in its file: a given reference gets the number after it from the second on.
// Raises when the options' date or time is not one (AckDateProblem).
std::string AcknowledgementText(const TAckInterchange& subject, const TAckOptions& options, size_t index = 0);

// The acknowledgements of every interchange of the stream, one after the other; rejected is set when
// any of them rejects anything.
std::string Acknowledge(TStream& stream, TStandardsCatalogue* catalogue, bool strict,
                        const TAckOptions& options, bool& rejected);

} // namespace talmiro
