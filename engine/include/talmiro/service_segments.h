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

// The envelope segments of syntax version 4 (ISO 9735:2002), with the components and composites that
// version added. An interchange whose UNB names version 4 is read with these.
class TSegmUNB4 : public TEdiSegment {
public:
    TSegmUNB4();
};
class TSegmUNG4 : public TEdiSegment {
public:
    TSegmUNG4();
};
class TSegmUNH4 : public TEdiSegment {
public:
    TSegmUNH4();
};
class TSegmUNT4 : public TEdiSegment {
public:
    TSegmUNT4();
};
class TSegmUNE4 : public TEdiSegment {
public:
    TSegmUNE4();
};
class TSegmUNZ4 : public TEdiSegment {
public:
    TSegmUNZ4();
};

} // namespace talmiro
