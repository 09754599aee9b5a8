// Segments as bytes: where each segment of a file begins and ends, read without any table, with the
// delimiters its service string advice declares. Formatting and the control-count fixes work on this, so
// that they handle any file, whether or not a standard for its messages is at hand.
#pragma once

#include "talmiro/syntax.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

class TStream;

class TSegmentLexer {
public:
    // A segment longer than this is refused rather than held in memory (no real segment comes near it).
    static constexpr size_t MaxSegmentBytes = size_t{64} << 20;

    explicit TSegmentLexer(TStream& stream);

    // Steps to the next segment; false at the end of the data. Control bytes between segments are skipped.
    bool Next();

    int64_t Start = 0;       // where the segment's first byte lies
    int64_t End = 0;         // one past its terminator, or the end of the data for a segment cut short
    std::string Tag;         // its first three characters, control bytes skipped
    bool Advice = false;     // a service string advice (UNA and its six characters)
    bool Terminated = false; // ended by a segment terminator (an advice always is)
    // The number of segments returned so far, service string advices not counted (UNB is 1).
    int64_t Number = 0;
    // The segment's bytes from Start to End as the file holds them, control bytes included.
    const std::string& Raw() const { return raw_; }
    // The delimiters in force for the segment (those of the advice for the advice itself).
    const TDelimiters& Delimiters() const { return delimiters_; }
    // Whether the data began with a UTF-8 byte-order mark (known once Next has been called).
    bool ByteOrderMark() const { return bom_; }

private:
    TStream& stream_;
    std::string raw_;
    TDelimiters delimiters_;
    bool started_ = false;
    bool bom_ = false;
    bool hadAdvice_ = false; // an advice came before the interchange's header
};

// A data element of a segment's raw text: where it lies in the text (from the byte after the separator
// before it to the delimiter after it) and its components, unescaped. Repeats are not split.
struct TRawElement {
    size_t Begin = 0;
    size_t End = 0;
    std::vector<std::string> Components;
    // The first component, or empty.
    std::string Value() const { return Components.empty() ? std::string() : Components.front(); }
};

// The data elements of a segment's raw text, the tag not included. Control bytes are skipped, a release
// character takes the next character as it is, as the reader does.
std::vector<TRawElement> SplitElements(std::string_view raw, const TDelimiters& delimiters);

} // namespace talmiro
