// The interchange syntax: the delimiter set in force and the reading of characters and tags.
#pragma once

#include "talmiro/streams.h"

#include <string>
#include <string_view>

namespace talmiro {

struct TDelimiters {
    char ComponentSeparator = ':';
    char ElementSeparator = '+';
    char DecimalMark = '.';
    char ReleaseChar = '?';
    char ReservedChar = ' ';
    char SegmentTerminator = '\'';
    // Separates the occurrences of a repeating data element (syntax version 4); 0 when the interchange
    // has none. The driver sets it after reading UNB, so a version 1 to 3 interchange never has one.
    char RepetitionSeparator = 0;
    // A syntax version 4 interchange without a repetition separator (passenger data declares a space in
    // its place): further data elements after a segment's repeating last element are read as its
    // occurrences, the way such files send several communication numbers.
    bool RepeatsByElementSeparator = false;
};

// The delimiter set in force; a UNA advice replaces it for the rest of an interchange. One per thread, so
// that several interchanges can be checked at once, each on a thread of its own; a program that reads on
// one thread sees the single set it always had.
extern thread_local constinit TDelimiters Delimiters;

constexpr int EndOfData = 26;

void ResetDelimiters();

// The next byte of 32 or more; control bytes are skipped; 26 at the end of the data.
inline int NextChar(TStream& stream) {
    for (;;) {
        int c = stream.ReadByte();
        if (c < 0) return EndOfData;
        if (c >= 32) return c;
    }
}

// Up to n characters taken with NextChar; shorter at the end of the data.
std::string ReadChars(TStream& stream, int n);
// The tag of the next segment, leaving the stream where it was.
std::string PeekSegmentTag(TStream& stream);
// The same into a buffer of the caller, without making a string.
std::string_view PeekSegmentTag(TStream& stream, char (&tag)[3]);
// Takes the delimiters from the next nine bytes as they are.
void ReadServiceStringAdvice(TStream& stream);
// The first tag of an interchange, after taking a UNA advice when there is one.
std::string ReadFirstTag(TStream& stream);
// Steps over a UTF-8 byte-order mark when the stream is at its very start and begins with one.
void SkipByteOrderMark(TStream& stream);
// The repetition separator that a syntax version 4 interchange uses: the default "*" without a UNA; with
// one, the character of its fifth position, unless that is a space (passenger data writes one to say
// "no repetition separator") or clashes with another delimiter.
char RepetitionSeparatorFor(bool hadAdvice);

} // namespace talmiro
