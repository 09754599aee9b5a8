// Throughput of the whole interchange driver: a generated 50 MB interchange of ORDERS-like messages with
// nested groups, read and checked against compiled tables written here with the definition writer.
#include "talmiro/def_stream.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/transmission.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace talmiro;

namespace {

// bench/run times wc -l on the same file, so the path is fixed.
const char* const OrdersDir = "/tmp/talmiro-bench";
const char* const OrdersFile = "/tmp/talmiro-bench/orders.edi";
const char* const TablesDir = "/tmp/talmiro-bench/tables";
constexpr int64_t OrdersTargetSize = 50LL * 1024 * 1024;

// Segment definitions: the tag, then elements; "C082:3039:1131" is a composite with its simple elements.
const char* const SegmentSpecs[] = {
    "UNH 0062 S009:0065:0052:0054:0051:0057 0068 S010:0070:0073",
    "UNT 0074 0062",
    "UNG 0038 S006:0040:0007 S007:0044:0007 S004:0017:0019 0048 0051 S008:0052:0054:0057 0058",
    "UNE 0060 0048",
    "UNZ 0036 0020",
    "BGM C002:1001:1131:3055:1000 1004 1225 4343",
    "DTM C507:2005:2380:2379",
    "FTX 4451 4453 C107:4441:1131:3055 C108:4440:4440a:4440b:4440c:4440d 3453",
    "RFF C506:1153:1154:1156:4000",
    "NAD 3035 C082:3039:1131:3055 C058:3124 C080:3036:3045 C059:3042 3164 C819:3229 3251 3207",
    "CTA 3139 C056:3413:3412",
    "COM C076:3148:3155",
    "LIN 1082 1229 C212:7140:7143:1131:3055",
    "PIA 4347 C212:7140:7143:1131:3055",
    "IMD 7077 C272:7081 C273:7009:1131:3055:7008",
    "QTY C186:6063:6060:6411",
    "PRI C509:5125:5118:5375:5387:5284:6411",
    "UNS 0081",
    "CNT C270:6069:6066:6411",
};

void PutSegmentRecord(TDefWriter& w, const std::string& spec) {
    std::istringstream in(spec);
    std::string tag, element;
    in >> tag;
    std::vector<std::string> elements;
    while (in >> element)
        elements.push_back(element);
    auto putField = [&w](const std::string& id) {
        w.PutInteger(rtField);
        w.PutText(id);
        w.PutInteger(id == "6060" || id == "0074" ? ftNumeric : ftAlnum);
        w.PutInteger(1);
        w.PutInteger(35);
        w.PutText("Data element " + id);
    };
    w.PutInteger(rtSegment);
    w.PutText("Segment " + tag);
    w.PutText(tag);
    w.PutInteger(static_cast<int32_t>(elements.size()));
    for (const std::string& e : elements) {
        if (e.find(':') == std::string::npos) {
            putField(e);
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream pin(e);
        for (std::string part; std::getline(pin, part, ':');)
            parts.push_back(part);
        w.PutInteger(rtComposit);
        w.PutText("Composite " + parts[0]);
        w.PutText(parts[0]);
        w.PutInteger(static_cast<int32_t>(parts.size() - 1));
        for (size_t i = 1; i < parts.size(); ++i)
            putField(parts[i]);
    }
}

void PutEntry(TDefWriter& w, const char* tag, char condition, int32_t maxRep) {
    w.PutInteger(rtSegment);
    w.PutText(tag);
    w.PutChar(condition);
    w.PutInteger(maxRep);
    w.PutBoolean(false);
}

void PutGroup(TDefWriter& w, int32_t number, const char* tag, char condition, int32_t maxRep) {
    w.PutInteger(GroupRecordId);
    w.PutInteger(number);
    w.PutText(tag);
    w.PutChar(condition);
    w.PutInteger(maxRep);
    w.PutBoolean(true);
    w.PutText("Segment group " + std::to_string(number));
}

void PutGroupEnd(TDefWriter& w, int32_t number) {
    w.PutInteger(GroupEndRecordId);
    w.PutInteger(number);
}

// ORDERS.SDT and ORDERS.MDT (naming the .SDT) in the tables directory.
void WriteTables() {
    std::filesystem::create_directories(TablesDir);
    {
        TFileStream sdt(std::string(TablesDir) + "/ORDERS.SDT", TFileMode::Create);
        const auto header = MakeTableHeader(SdtFileType, false);
        sdt.Write(header.data(), header.size());
        const uint32_t n = sizeof SegmentSpecs / sizeof SegmentSpecs[0];
        const uint8_t count[4] = {static_cast<uint8_t>(n), 0, 0, 0};
        sdt.Write(count, 4);
        TDefWriter w(sdt);
        for (const char* spec : SegmentSpecs)
            PutSegmentRecord(w, spec);
        w.Flush();
        sdt.Flush();
    }
    TFileStream mdt(std::string(TablesDir) + "/ORDERS.MDT", TFileMode::Create);
    auto header = MakeTableHeader(MdtFileType, false);
    auto slot = [&header](size_t at, const std::string& text) {
        header[at] = static_cast<uint8_t>(text.size());
        std::copy(text.begin(), text.end(), header.begin() + static_cast<std::ptrdiff_t>(at + 1));
    };
    slot(20, "ORDERS");
    slot(27, "ORDERS");
    slot(34, "D");
    slot(41, "96A");
    slot(48, "UN");
    slot(62, std::string(TablesDir) + "/ORDERS.SDT");
    mdt.Write(header.data(), header.size());
    TDefWriter w(mdt);
    w.PutBoolean(true);
    w.PutText("Purchase order message");
    w.PutBoolean(false);
    PutEntry(w, "UNH", 'M', 1);
    PutEntry(w, "BGM", 'M', 1);
    PutEntry(w, "DTM", 'M', 35);
    PutEntry(w, "FTX", 'C', 99);
    PutGroup(w, 1, "RFF", 'C', 10);
    PutEntry(w, "RFF", 'M', 1);
    PutEntry(w, "DTM", 'C', 5);
    PutGroupEnd(w, 1);
    PutGroup(w, 2, "NAD", 'C', 99);
    PutEntry(w, "NAD", 'M', 1);
    PutGroup(w, 3, "RFF", 'C', 10);
    PutEntry(w, "RFF", 'M', 1);
    PutEntry(w, "DTM", 'C', 5);
    PutGroupEnd(w, 3);
    PutGroup(w, 4, "CTA", 'C', 5);
    PutEntry(w, "CTA", 'M', 1);
    PutEntry(w, "COM", 'C', 5);
    PutGroupEnd(w, 4);
    PutGroupEnd(w, 2);
    PutGroup(w, 5, "LIN", 'C', 200000);
    PutEntry(w, "LIN", 'M', 1);
    PutEntry(w, "PIA", 'C', 25);
    PutEntry(w, "IMD", 'C', 99);
    PutEntry(w, "QTY", 'C', 10);
    PutEntry(w, "DTM", 'C', 35);
    PutGroup(w, 6, "PRI", 'C', 25);
    PutEntry(w, "PRI", 'M', 1);
    PutGroupEnd(w, 6);
    PutGroupEnd(w, 5);
    PutEntry(w, "UNS", 'M', 1);
    PutEntry(w, "CNT", 'C', 10);
    PutEntry(w, "UNT", 'M', 1);
    w.PutInteger(StructureEndRecordId);
    w.Flush();
    mdt.Flush();
}

// One message; adds its segment count to segments.
std::string OrdersMessage(int n, int64_t& segments) {
    std::string m;
    char buf[256];
    int count = 0;
    auto add = [&](const char* text) {
        m += text;
        m += "\r\n";
        ++count;
    };
    std::snprintf(buf, sizeof buf, "UNH+%d+ORDERS:D:96A:UN'", n);
    add(buf);
    std::snprintf(buf, sizeof buf, "BGM+220+PO?+%06d+9'", n);
    add(buf);
    add("DTM+137:20240101:102'");
    add("DTM+2:20240115:102'");
    add("FTX+AAI+++Deliver to the back door?, ring twice'");
    add("RFF+CT:4500012345'");
    add("DTM+171:20231201:102'");
    add("NAD+BY+5412345000013::9++Buyer?'s Company:Purchasing+Main Street 1+Springfield++12345+US'");
    add("RFF+VA:DE123456789'");
    add("CTA+OC+:J. Smith'");
    add("COM+0049301234567:TE'");
    add("COM+j.smith@example.com:EM'");
    add("NAD+SU+4012345500004::9'");
    add("NAD+DP+5412345000020::9'");
    const int lines = 4 + n % 5;
    for (int line = 1; line <= lines; ++line) {
        std::snprintf(buf, sizeof buf, "LIN+%d++40123456%05d:SRS'", line, (n * 7 + line) % 100000);
        add(buf);
        add("PIA+1+ART-4711:SA'");
        add("IMD+F++:::Widget, blue'");
        std::snprintf(buf, sizeof buf, "QTY+21:%d:PCE'", (n + line) % 1000 + 1);
        add(buf);
        add("PRI+AAA:12.50'");
    }
    add("UNS+S'");
    std::snprintf(buf, sizeof buf, "CNT+2:%d'", lines);
    add(buf);
    std::snprintf(buf, sizeof buf, "UNT+%d+%d'", count + 1, n);
    add(buf);
    segments += count;
    return m;
}

struct OrdersBench {
    int64_t Bytes = 0;
    int64_t Segments = 0;
};

// Writes the tables and the interchange; the interchange is kept for bench/run's wc -l.
OrdersBench PrepareOrders() {
    static OrdersBench prepared;
    if (prepared.Bytes > 0) return prepared;
    WriteTables();
    std::filesystem::create_directories(OrdersDir);
    const std::string tmp = std::string(OrdersFile) + ".part";
    std::ofstream out(tmp, std::ios::binary);
    std::string text = "UNA:+.? '\r\nUNB+UNOC:3+5412345000013:14+4012345500004:14+240101:1200+REF42'\r\n"
                       "UNG+ORDERS+5412345000013:14+4012345500004:14+240101:1200+G1+UN+D:96A'\r\n";
    int64_t segments = 2; // UNB and UNG
    int n = 0;
    while (static_cast<int64_t>(text.size()) < OrdersTargetSize)
        text += OrdersMessage(++n, segments);
    text += "UNE+" + std::to_string(n) + "+G1'\r\nUNZ+1+REF42'\r\n";
    segments += 2;
    out << text;
    out.close();
    std::filesystem::rename(tmp, OrdersFile);
    prepared = {static_cast<int64_t>(text.size()), segments};
    return prepared;
}

void BM_TransmissionExecute(benchmark::State& state) {
    const OrdersBench orders = PrepareOrders();
    TEdiMessage msg;
    TEdiTransmission trn;
    trn.Message = &msg;
    const std::string mdt = std::string(TablesDir) + "/ORDERS.MDT";
    trn.OnActivate = [](TEdiTransmission&) {};
    trn.OnNewFncGroup = [](TEdiTransmission&) {};
    trn.OnNewMessage = [](TEdiTransmission&) {};
    trn.OnStrctLoaded = [](TEdiTransmission&) {};
    trn.OnGetStructureFile = [&mdt](TEdiTransmission&, std::string& name) { name = mdt; };
    trn.OnExitFncGroup = [](TEdiTransmission&) {};
    trn.OnExitMessage = [](TEdiTransmission&) {};
    msg.OnInOutError = [](TEdiMessage&, int) {};
    msg.OnCheckHeader = [](TEdiMessage&, bool&) {};
    msg.OnSegSeqError = [](TEdiMessage&, const std::string&, const std::string&) {};
    msg.OnSegmentRead = [](TEdiMessage&, TEdiSegment&) {};
    msg.OnEnterGroup = [](TEdiMessage&, int, int) {};
    msg.OnExitGroup = [](TEdiMessage&, int) {};
    msg.OnDoneGroup = [](TEdiMessage&, int) {};
    for (auto _ : state) {
        TFileStream stream(OrdersFile);
        trn.SetStream(&stream);
        try {
            trn.Execute();
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
        trn.Clear();
    }
    state.SetBytesProcessed(state.iterations() * orders.Bytes);
    state.counters["segments"] = benchmark::Counter(static_cast<double>(orders.Segments * state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TransmissionExecute)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
