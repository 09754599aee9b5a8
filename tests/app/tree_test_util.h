// A standards directory with one small release (D96A: an ORDERS message) compiled from its sources, for
// the tests of the interchange tree and the segment details.
#pragma once

#include "talmiro/standards.h"

#include "test_support.h"

#include <string>

namespace talmiro::test {

inline const char* const OrdersSdf = R"(SEGMENTS
SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';
  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';
  COMPOSIT 'S009' DESCRIPTION 'MESSAGE IDENTIFIER';
    FIELD '0065' ALNUM (1:6) DESCRIPTION 'Message type identifier';
    FIELD '0052' ALNUM (1:3) DESCRIPTION 'Message version number';
    FIELD '0054' ALNUM (1:3) DESCRIPTION 'Message release number';
    FIELD '0051' ALNUM (1:2) DESCRIPTION 'Controlling agency';
  END;
END;
SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE';
  COMPOSIT 'C002' DESCRIPTION 'DOCUMENT/MESSAGE NAME';
    FIELD '1001' ALNUM (1:3) DESCRIPTION 'Document/message name, coded';
    FIELD '1131' ALNUM (1:3) DESCRIPTION 'Code list qualifier';
  END;
  FIELD '1004' ALNUM (1:35) DESCRIPTION 'DOCUMENT/MESSAGE NUMBER';
  FIELD '1225' ALNUM (1:3) DESCRIPTION 'MESSAGE FUNCTION, CODED';
END;
SEGMENT 'DTM' DESCRIPTION 'DATE/TIME/PERIOD';
  COMPOSIT 'C507' DESCRIPTION 'DATE/TIME/PERIOD';
    FIELD '2005' ALNUM (1:3) DESCRIPTION 'Date/time/period qualifier';
    FIELD '2380' ALNUM (1:35) DESCRIPTION 'Date/time/period';
    FIELD '2379' ALNUM (1:3) DESCRIPTION 'Date/time/period format qualifier';
  END;
END;
SEGMENT 'NAD' DESCRIPTION 'NAME AND ADDRESS';
  FIELD '3035' ALNUM (1:3) DESCRIPTION 'PARTY QUALIFIER';
  FIELD 'X123456789' ALNUM (0:35) DESCRIPTION 'A long identifier';
END;
SEGMENT 'CTA' DESCRIPTION 'CONTACT INFORMATION';
  FIELD '3139' ALNUM (1:3) DESCRIPTION 'CONTACT FUNCTION, CODED';
END;
SEGMENT 'QTY' DESCRIPTION 'QUANTITY';
  COMPOSIT 'C186' DESCRIPTION 'QUANTITY DETAILS';
    FIELD '6063' ALNUM (1:3) DESCRIPTION 'Quantity qualifier';
    FIELD '6060' NUMERIC (1:15) DESCRIPTION 'Quantity';
  END;
END;
SEGMENT 'UNT' DESCRIPTION 'MESSAGE TRAILER';
  FIELD '0074' NUMERIC (1:6) DESCRIPTION 'NUMBER OF SEGMENTS IN THE MESSAGE';
  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';
END;
SEGMENT 'UNE' FIELD '0060' NUMERIC (1:6); FIELD '0048' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
END;
)";

// Group 1 NAD holds group 2 CTA; group 3 QTY needs a DTM after each QTY.
inline const char* const OrdersMdf = R"(MESSAGE 'ORDERS'
IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A';
STRUCTURE
SEGMENT 'UNH' MANDATORY (1);
SEGMENT 'BGM' MANDATORY (1);
SEGMENT 'DTM' CONDITIONAL (35);
GROUP 'NAD' CONDITIONAL (99);
  SEGMENT 'NAD' MANDATORY (1);
  GROUP 'CTA' CONDITIONAL (5);
    SEGMENT 'CTA' MANDATORY (1);
  END;
END;
GROUP 'QTY' CONDITIONAL (9);
  SEGMENT 'QTY' MANDATORY (1);
  SEGMENT 'DTM' MANDATORY (1);
END;
SEGMENT 'UNT' MANDATORY (1);
END;
)";

// A private directory holding <dir>/D96A/{D96A.sdf, D96A.SDT, ORDERS.mdf, ORDERS.MDT}.
class StandardsDir : public TempDir {
public:
    StandardsDir() : TempDir("talmiro-app") {
        CompileRelease(Path, "D96A", OrdersSdf, {{"ORDERS", OrdersMdf}});
        Catalogue.BaseDir = Path.string();
        Catalogue.ScanStandards();
    }
    TStandardsCatalogue Catalogue;
};

// An interchange header, and an ORDERS message of the release above with the given reference and body.
inline const char* const Unb = "UNB+UNOA:2+SENDER+RECIPIENT+990101:1200+1234'\r\n";

inline std::string Orders(const std::string& ref, const std::string& body) {
    return "UNH+" + ref + "+ORDERS:D:96A:UN'\r\n" + body + "UNT+9+" + ref + "'\r\n";
}

} // namespace talmiro::test
