// Interchange text against a small ORDERS table: every input ends in success or an exception.
#include "fuzz_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/transmission.h"

#include <string_view>

namespace {

const char* const SegmentSource = R"(SEGMENTS
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14); COMPOSIT 'S009' FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3);
  FIELD '0054' ALNUM (1:3); FIELD '0051' ALNUM (1:2); END; END;
SEGMENT 'BGM' COMPOSIT 'C002' FIELD '1001' ALNUM (1:3); END; FIELD '1004' ALNUM (1:35); END;
SEGMENT 'DTM' COMPOSIT 'C507' FIELD '2005' ALNUM (1:3); FIELD '2380' ALNUM (1:35); END; END;
SEGMENT 'NAD' FIELD '3035' ALNUM (1:3); END;
SEGMENT 'QTY' COMPOSIT 'C186' FIELD '6063' ALNUM (1:3); FIELD '6060' NUMERIC (1:15); END; END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNE' FIELD '0060' NUMERIC (1:6); FIELD '0048' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
END;)";

const char* const MessageSource =
    R"(MESSAGE 'ORDERS' IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'FUZZ'; STRUCTURE
SEGMENT 'UNH' MANDATORY (1); SEGMENT 'BGM' MANDATORY (1); SEGMENT 'DTM' CONDITIONAL (3);
GROUP 'NAD' CONDITIONAL (5); SEGMENT 'NAD' MANDATORY (1); GROUP 'QTY' CONDITIONAL (2);
SEGMENT 'QTY' MANDATORY (1); END; END;
SEGMENT 'UNT' MANDATORY (1); END;)";

std::string TablePath() {
    static const std::string path = [] {
        using namespace talmiro;
        fuzzsupport::WriteFile("FUZZ.sdf", SegmentSource);
        std::string mdf = fuzzsupport::WriteFile("ORDERS.mdf", MessageSource);
        TCompilerSDF sdf;
        sdf.SetSourceFile(fuzzsupport::ScratchDir() + "/FUZZ.sdf");
        sdf.Compile();
        TCompilerMDF compiler;
        compiler.SetSourceFile(mdf);
        compiler.Compile();
        return fuzzsupport::ScratchDir() + "/ORDERS.MDT";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    static const std::string table = TablePath();
    TInterchangeReader reader;
    reader.Transmission().OnGetStructureFile = [](TEdiTransmission&, std::string& name) { name = table; };
    reader.Message().OnReport = [](const std::string&) {};
    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        reader.Read(stream);
    } catch (const Exception&) {
    }
    // Whatever was built must be readable again, as the viewer does on selection.
    const auto& tree = reader.Tree();
    for (size_t i = 0; i < tree.NodeCount(); ++i) {
        (void)tree.Text(static_cast<int32_t>(i));
        if (tree.Definition(static_cast<int32_t>(i))) {
            try {
                (void)tree.ReadSegment(static_cast<int32_t>(i), stream);
            } catch (const Exception&) {
            }
        }
    }
    return 0;
}
