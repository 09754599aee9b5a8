// The built-in definitions of the envelope segments.
#pragma once

#include "talmiro/edi_element.h"

namespace talmiro {

class TSegmUNB : public TEdiSegment {
public:
    TSegmUNB();
};
class TSegmUNG : public TEdiSegment {
public:
    TSegmUNG();
};
class TSegmUNH : public TEdiSegment {
public:
    TSegmUNH();
};
class TSegmUNT : public TEdiSegment {
public:
    TSegmUNT();
};
class TSegmUNE : public TEdiSegment {
public:
    TSegmUNE();
};
class TSegmUNZ : public TEdiSegment {
public:
    TSegmUNZ();
};

} // namespace talmiro
