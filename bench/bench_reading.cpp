// Reading throughput of the interchange syntax: a large generated interchange read segment by segment
// against definitions built in code, the way the message reader does it.
#include "talmiro/edi_element.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace talmiro;

namespace {

// bench/run passes the same file to wc -l, so the path is fixed.
const char* const BenchDir = "/tmp/talmiro-bench";
const char* const BenchFile = "/tmp/talmiro-bench/engine.edi";
constexpr int64_t TargetSize = 50LL * 1024 * 1024;

std::string GenerateMessage(int n) {
    std::string m;
    char buf[256];
    int segs = 0;
    auto add = [&](const char* text) {
        m += text;
        m += "\r\n";
        ++segs;
    };
    std::snprintf(buf, sizeof buf, "UNH+M%d+ORDERS:D:96A:UN'", n);
    add(buf);
    std::snprintf(buf, sizeof buf, "BGM+220+PO?+%d+9'", n); // a released separator
    add(buf);
    add("DTM+137:20200101:102'");
    add("DTM+2:20200115\r\n:102'"); // a line break inside a segment
    add("NAD+BY+5412345000013::9++Buyer?'s Company:Purchasing+Main Street 1+Springfield++12345+US'");
    add("NAD+SU+4012345500004::9'");
    for (int line = 1; line <= 6; ++line) {
        std::snprintf(buf, sizeof buf, "LIN+%d++40123456%05d:SRS'", line, (n * 7 + line) % 100000);
        add(buf);
        std::snprintf(buf, sizeof buf, "QTY+21:%d.5:PCE'", (n + line) % 1000);
        add(buf);
    }
    std::snprintf(buf, sizeof buf, "UNT+%d+M%d'", segs + 1, n);
    add(buf);
    return m;
}

// Writes the interchange once; later runs reuse it when it is already there.
int64_t EnsureBenchFile() {
    std::error_code ec;
    if (std::filesystem::exists(BenchFile) && std::filesystem::file_size(BenchFile, ec) >= TargetSize)
        return static_cast<int64_t>(std::filesystem::file_size(BenchFile));
    std::filesystem::create_directories(BenchDir);
    const std::string tmp = std::string(BenchFile) + ".part";
    std::ofstream out(tmp, std::ios::binary);
    std::string head = "UNA:+.? '\r\nUNB+UNOC:3+5412345000013:14+4012345500004:14+200101:1200+REF42'\r\n";
    out << head;
    int64_t size = static_cast<int64_t>(head.size());
    int n = 0;
    while (size < TargetSize) {
        std::string m = GenerateMessage(++n);
        out << m;
        size += static_cast<int64_t>(m.size());
    }
    std::string tail = "UNZ+" + std::to_string(n) + "+REF42'\r\n";
    out << tail;
    out.close();
    std::filesystem::rename(tmp, BenchFile);
    return size + static_cast<int64_t>(tail.size());
}

std::unique_ptr<TEdiSegment> Segment(const char* tag,
                                     std::initializer_list<std::vector<const char*>> layout) {
    // Each entry is either one simple element {id} or a composite {id, member, member, ...}.
    auto seg = std::make_unique<TEdiSegment>(tag);
    auto field = [](TEdiComposit& owner, const char* id) {
        owner.AddField(id);
        auto& f = owner.FieldByID(id);
        f.FieldType = ftAlnum;
        f.MinSize = 1;
        f.MaxSize = 35;
    };
    for (const auto& entry : layout) {
        if (entry.size() == 1) {
            field(*seg, entry[0]);
            continue;
        }
        auto comp = std::make_unique<TEdiComposit>(entry[0]);
        for (size_t i = 1; i < entry.size(); ++i)
            field(*comp, entry[i]);
        seg->AddElement(std::move(comp));
    }
    return seg;
}

struct TDefinitions {
    std::vector<std::unique_ptr<TEdiSegment>> List;
    TDefinitions() {
        List.push_back(std::make_unique<TSegmUNB>());
        List.push_back(std::make_unique<TSegmUNH>());
        List.push_back(std::make_unique<TSegmUNT>());
        List.push_back(std::make_unique<TSegmUNZ>());
        List.push_back(
            Segment("BGM", {{"C002", "1001", "1131", "3055", "1000"}, {"1004"}, {"1225"}, {"4343"}}));
        List.push_back(Segment("DTM", {{"C507", "2005", "2380", "2379"}}));
        List.push_back(Segment("NAD", {{"3035"},
                                       {"C082", "3039", "1131", "3055"},
                                       {"C058", "3124"},
                                       {"C080", "3036", "3045"},
                                       {"C059", "3042"},
                                       {"3164"},
                                       {"C819", "3229"},
                                       {"3251"},
                                       {"3207"}}));
        List.push_back(Segment("LIN", {{"1082"}, {"1229"}, {"C212", "7140", "7143", "1131", "3055"}}));
        auto qty = Segment("QTY", {{"C186", "6063", "6060", "6411"}});
        qty->FindComposit("C186")->FieldByID("6060").FieldType = ftNumeric;
        List.push_back(std::move(qty));
        for (const auto& seg : List)
            Keys.push_back(Key(seg->ID));
    }
    // The tags packed into numbers, so that picking a definition costs no string comparison.
    std::vector<uint32_t> Keys;
    static uint32_t Key(const std::string& tag) {
        return tag.size() != 3 ? 0
                               : static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) << 16 |
                                     static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 8 |
                                     static_cast<uint8_t>(tag[2]);
    }
    TEdiSegment* Find(const std::string& tag) const {
        const uint32_t key = Key(tag);
        for (size_t i = 0; i < Keys.size(); ++i)
            if (Keys[i] == key) return List[i].get();
        return nullptr;
    }
};

void BM_ReadInterchange(benchmark::State& state) {
    const int64_t size = EnsureBenchFile();
    TDefinitions defs;
    const TEdiSegment* unz = defs.Find("UNZ");
    int64_t segments = 0;
    for (auto _ : state) {
        TFileStream stream(BenchFile);
        ResetDelimiters();
        std::string tag = ReadFirstTag(stream);
        for (;;) {
            TEdiSegment* seg = defs.Find(tag);
            if (!seg) {
                state.SkipWithError(("no definition for " + tag).c_str());
                return;
            }
            seg->ReadEdi(stream);
            ++segments;
            if (seg == unz) break;
            tag = PeekSegmentTag(stream);
        }
        benchmark::DoNotOptimize(defs.List[3]->FieldByID("0036").AsInteger());
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["segments"] =
        benchmark::Counter(static_cast<double>(segments), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadInterchange)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The bare byte loop of the reader (NextChar over the block buffer), as a floor for the figure above.
void BM_ScanBytes(benchmark::State& state) {
    const int64_t size = EnsureBenchFile();
    for (auto _ : state) {
        TFileStream stream(BenchFile);
        int64_t terminators = 0;
        for (int c; (c = NextChar(stream)) != EndOfData;)
            terminators += c == '\'';
        benchmark::DoNotOptimize(terminators);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ScanBytes)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
