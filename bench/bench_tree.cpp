// Building the viewer's interchange tree: speed, and the heap it takes per node, over a generated
// interchange of ORDERS messages checked against tables compiled here from their sources.
#include "talmiro/interchange_tree.h"
#include "talmiro/standards.h"
#include "talmiro/streams.h"

#include "test_support.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace talmiro;

namespace {

const char* const TreeDir = "/tmp/talmiro-bench/tree";
constexpr size_t TargetSize = 20 * 1024 * 1024;

const char* const Sdf = R"(SEGMENTS
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14);
  COMPOSIT 'S009' FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); FIELD '0054' ALNUM (1:3);
    FIELD '0051' ALNUM (1:2); END; END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
SEGMENT 'BGM' COMPOSIT 'C002' FIELD '1001' ALNUM (1:3); END; FIELD '1004' ALNUM (1:35); FIELD '1225' ALNUM (1:3); END;
SEGMENT 'DTM' COMPOSIT 'C507' FIELD '2005' ALNUM (1:3); FIELD '2380' ALNUM (1:35); FIELD '2379' ALNUM (1:3); END; END;
SEGMENT 'NAD' FIELD '3035' ALNUM (1:3);
  COMPOSIT 'C082' FIELD '3039' ALNUM (1:35); FIELD '1131' ALNUM (1:17); FIELD '3055' ALNUM (1:3); END; END;
SEGMENT 'CTA' FIELD '3139' ALNUM (1:3); COMPOSIT 'C056' FIELD '3413' ALNUM (1:17); FIELD '3412' ALNUM (1:35); END; END;
SEGMENT 'COM' COMPOSIT 'C076' FIELD '3148' ALNUM (1:512); FIELD '3155' ALNUM (1:3); END; END;
SEGMENT 'LIN' FIELD '1082' NUMERIC (1:6); FIELD '1229' ALNUM (1:3);
  COMPOSIT 'C212' FIELD '7140' ALNUM (1:35); FIELD '7143' ALNUM (1:3); END; END;
SEGMENT 'QTY' COMPOSIT 'C186' FIELD '6063' ALNUM (1:3); FIELD '6060' NUMERIC (1:15); END; END;
SEGMENT 'PRI' COMPOSIT 'C509' FIELD '5125' ALNUM (1:3); FIELD '5118' NUMERIC (1:15); END; END;
SEGMENT 'UNS' FIELD '0081' ALPHA (1:1); END;
END;
)";

const char* const Mdf = R"(MESSAGE 'ORDERS'
IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A';
STRUCTURE
SEGMENT 'UNH' MANDATORY (1);
SEGMENT 'BGM' MANDATORY (1);
SEGMENT 'DTM' MANDATORY (35);
GROUP 'NAD' CONDITIONAL (99);
  SEGMENT 'NAD' MANDATORY (1);
  GROUP 'CTA' CONDITIONAL (5); SEGMENT 'CTA' MANDATORY (1); SEGMENT 'COM' CONDITIONAL (5); END;
END;
GROUP 'LIN' CONDITIONAL (200000);
  SEGMENT 'LIN' MANDATORY (1);
  SEGMENT 'QTY' CONDITIONAL (10);
  GROUP 'PRI' CONDITIONAL (25); SEGMENT 'PRI' MANDATORY (1); END;
END;
SEGMENT 'UNS' MANDATORY (1);
SEGMENT 'UNT' MANDATORY (1);
END;
)";

struct TreeInput {
    std::string Text;
    TStandardsCatalogue Catalogue;
};

const TreeInput& Prepare() {
    static TreeInput input;
    if (!input.Text.empty()) return input;
    test::CompileRelease(TreeDir, "D96A", Sdf, {{"ORDERS", Mdf}});
    input.Catalogue.BaseDir = TreeDir;
    input.Catalogue.ScanStandards();

    std::string& t = input.Text;
    t = "UNB+UNOC:3+SENDER+RECIPIENT+240101:1200+REF42'\r\n";
    char buf[128];
    for (int n = 1; t.size() < TargetSize; ++n) {
        std::snprintf(buf, sizeof buf, "UNH+%d+ORDERS:D:96A:UN'\r\nBGM+220+PO%06d+9'\r\n", n, n);
        t += buf;
        t += "DTM+137:20240101:102'\r\nNAD+BY+5412345000013::9'\r\nCTA+OC+:J. "
             "Smith'\r\nCOM+0049301234567:TE'\r\n"
             "NAD+SU+4012345500004::9'\r\n";
        const int lines = 4 + n % 5;
        for (int line = 1; line <= lines; ++line) {
            std::snprintf(buf, sizeof buf, "LIN+%d++40123456%05d:SRS'\r\nQTY+21:%d'\r\nPRI+AAA:12.50'\r\n",
                          line, (n * 7 + line) % 100000, line);
            t += buf;
        }
        std::snprintf(buf, sizeof buf, "UNS+S'\r\nUNT+%d+%d'\r\n", 8 + 3 * lines, n);
        t += buf;
    }
    t += "UNZ+1+REF42'\r\n";
    return input;
}

// The heap a finished tree holds (mallinfo2 before and after), per node and per segment node, beside the
// fixed size of a node.
void BM_BuildTree(benchmark::State& state) {
    const TreeInput& input = Prepare();
    auto& catalogue = const_cast<TStandardsCatalogue&>(input.Catalogue);
    size_t nodes = 0, segments = 0;
    double heap = 0;
    for (auto _ : state) {
        TMemoryStream stream(input.Text);
        const size_t before = mallinfo2().uordblks;
        TInterchangeReader reader(&catalogue);
        reader.Read(stream);
        const size_t after = mallinfo2().uordblks;
        nodes = reader.Tree().NodeCount();
        segments = 0;
        for (size_t i = 0; i < nodes; ++i)
            if (reader.Tree().NodeAt(static_cast<int32_t>(i)).Kind == TNodeKind::Segment) ++segments;
        heap = static_cast<double>(after - before);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.Text.size()));
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["segment_nodes"] = static_cast<double>(segments);
    state.counters["heap_bytes_per_node"] = heap / static_cast<double>(nodes);
    state.counters["heap_bytes_per_segment_node"] = heap / static_cast<double>(segments);
    state.counters["sizeof_node"] = sizeof(TInterchangeTree::Node);
}
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
