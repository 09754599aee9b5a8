// Compiler speed: a generated segment directory of 500 segments, a message definition of 300 entries in
// 40 nested groups, and a whole release of one directory and a few hundred message definitions.
#include "talmiro/compiler.h"
#include "talmiro/streams.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace talmiro;

namespace {

const std::filesystem::path BenchDir = "/tmp/talmiro-bench/compiler";

std::string Tag(int n) {
    std::string t(3, 'A');
    t[0] = static_cast<char>('A' + n / 676 % 26);
    t[1] = static_cast<char>('A' + n / 26 % 26);
    t[2] = static_cast<char>('A' + n % 26);
    return t;
}

// Segments with descriptions, simple elements and composites, as an imported directory has them.
std::string GenerateSdf(int segments) {
    std::string s = "{ generated segment directory }\nSEGMENTS\n";
    for (int i = 0; i < segments; ++i) {
        s += "SEGMENT '" + Tag(i) + "' DESCRIPTION 'GENERATED SEGMENT NUMBER " + std::to_string(i) + "';\n";
        s += "  FIELD '" + std::to_string(1000 + i % 9000) + "' ALNUM (1:3) DESCRIPTION 'Qualifier';\n";
        for (int c = 0; c < 3; ++c) {
            s += "  COMPOSIT 'C" + std::to_string(100 + c) + "' DESCRIPTION 'A composite data element';\n";
            for (int f = 0; f < 4; ++f)
                s += "    FIELD '" + std::to_string(3000 + f) + "' " + (f % 2 ? "NUMERIC" : "ALNUM") +
                     " (1:" + std::to_string(17 + f) + ") DESCRIPTION 'Component data element " +
                     std::to_string(f) + "';\n";
            s += "  END;\n";
        }
        s += "  FIELD '4440' ALNUM (1:70);\nEND;\n";
    }
    return s + "END;\n";
}

// entries segment entries spread over groups nested groups deep.
std::string GenerateMdf(int entries, int groups) {
    std::string s = "MESSAGE 'BENCH' IDENTIFICATION 65 = 'BENCH', 52 = 'D', 54 = '96A', 51 = 'UN'\n"
                    "SEGMENTS 'BENCH' MEMO ('Generated message');\nSTRUCTURE\n";
    const int perGroup = entries / (groups + 1);
    int written = 0;
    auto entry = [&](const std::string& tag, bool mandatory) {
        s +=
            "SEGMENT '" + tag + (mandatory ? "' MANDATORY (1);\n" : "' CONDITIONAL (9) MEMO ('an entry');\n");
        ++written;
    };
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < perGroup; ++i)
            entry(Tag(written), g == 0 && i == 0);
        const std::string tag = Tag(written);
        s += "GROUP '" + tag + "' CONDITIONAL (99) MEMO ('Segment group');\n";
        entry(tag, true);
    }
    while (written < entries)
        entry(Tag(written), false);
    for (int g = 0; g < groups; ++g)
        s += "END;\n";
    return s + "END;\n";
}

std::string Write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(BenchDir);
    const auto path = BenchDir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

template <class Compiler> void CompileToMemory(benchmark::State& state, const std::string& file) {
    Compiler compiler;
    compiler.SetSourceFile(file);
    int64_t bytes = 0;
    for (auto _ : state) {
        TMemoryStream out;
        compiler.CompileToStream(out);
        bytes = out.Size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file)));
    state.counters["table_bytes"] = static_cast<double>(bytes);
}

void BM_CompileSdf500Segments(benchmark::State& state) {
    CompileToMemory<TCompilerSDF>(state, Write("BENCH.sdf", GenerateSdf(500)));
}
BENCHMARK(BM_CompileSdf500Segments)->Unit(benchmark::kMillisecond);

void BM_CompileMdf300Entries40Groups(benchmark::State& state) {
    CompileToMemory<TCompilerMDF>(state, Write("BENCH.mdf", GenerateMdf(300, 40)));
}
BENCHMARK(BM_CompileMdf300Entries40Groups)->Unit(benchmark::kMicrosecond);

// A release as the importer writes one: its segment directory and 200 message definitions, each
// compiled to its table file beside the source.
void BM_CompileRelease(benchmark::State& state) {
    const int messages = static_cast<int>(state.range(0));
    const std::string sdf = Write("REL.sdf", GenerateSdf(500));
    std::vector<std::string> mdfs;
    for (int m = 0; m < messages; ++m) {
        // Built in steps: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string&& here.
        std::string name = "M";
        name += std::to_string(m);
        name += ".mdf";
        mdfs.push_back(Write(name, GenerateMdf(120, 12)));
    }
    for (auto _ : state) {
        TCompilerSDF segments;
        segments.SetSourceFile(sdf);
        segments.Compile();
        TCompilerMDF message;
        for (const auto& m : mdfs) {
            message.SetSourceFile(m);
            message.Compile();
        }
    }
    state.counters["sources"] = messages + 1;
}
BENCHMARK(BM_CompileRelease)->Arg(200)->Unit(benchmark::kMillisecond);

} // namespace
