// The interchange syntax: the process-wide delimiter set and the reading of characters and tags.
#pragma once

#include "talmiro/streams.h"

#include <string>

namespace talmiro {

struct TDelimiters {
    char ComponentSeparator = ':';
    char ElementSeparator = '+';
    char DecimalMark = '.';
    char ReleaseChar = '?';
    char ReservedChar = ' ';
    char SegmentTerminator = '\'';
};

// The delimiter set in force for the whole process; a UNA advice replaces it for the rest of an interchange.
extern TDelimiters Delimiters;

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
// Takes the delimiters from the next nine bytes as they are.
void ReadServiceStringAdvice(TStream& stream);
// The first tag of an interchange, after taking a UNA advice when there is one.
std::string ReadFirstTag(TStream& stream);

} // namespace talmiro
