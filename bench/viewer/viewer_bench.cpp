// Time and peak memory of opening a generated interchange of about a million segments into the viewer's
// tree (offscreen), beside the engine's plain check of the same file. Each measurement runs in a process
// of its own, so that the peak resident size belongs to it alone.
//
//   talmiro_viewer_bench [DIR] [MESSAGES]   prepares DIR (default: a temporary directory) and reports both
//   talmiro_viewer_bench tree DIR | check DIR   one measurement
#include "main_form.h"
#include "std_settings.h"
#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/compiler.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/standards.h"
#include "talmiro/streams.h"

#include <QApplication>
#include <QSettings>
#include <QTreeView>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace talmiro;

namespace {

const char* const SegmentSource = R"(SEGMENTS
SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';
  FIELD '0062' ALNUM (1:14);
  COMPOSIT 'S009'
    FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); FIELD '0054' ALNUM (1:3); FIELD '0051' ALNUM (1:2);
  END;
END;
SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE';
  COMPOSIT 'C002' FIELD '1001' ALNUM (1:3); END;
  FIELD '1004' ALNUM (1:35); FIELD '1225' ALNUM (1:3);
END;
SEGMENT 'DTM' DESCRIPTION 'DATE/TIME/PERIOD';
  COMPOSIT 'C507' FIELD '2005' ALNUM (1:3); FIELD '2380' ALNUM (1:35); FIELD '2379' ALNUM (1:3); END;
END;
SEGMENT 'NAD' DESCRIPTION 'NAME AND ADDRESS';
  FIELD '3035' ALNUM (1:3);
  COMPOSIT 'C082' FIELD '3039' ALNUM (1:35); FIELD '1131' ALNUM (1:3); FIELD '3055' ALNUM (1:3); END;
END;
SEGMENT 'CTA' DESCRIPTION 'CONTACT INFORMATION';
  FIELD '3139' ALNUM (1:3);
  COMPOSIT 'C056' FIELD '3413' ALNUM (1:17); FIELD '3412' ALNUM (1:35); END;
END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNE' FIELD '0060' NUMERIC (1:6); FIELD '0048' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
END;
)";

const char* const MessageSource = R"(MESSAGE 'ORDERS'
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
SEGMENT 'UNT' MANDATORY (1);
END;
)";

// 100 segments per message: UNH, BGM, 4 DTM, 31 x (NAD, CTA, CTA), UNT.
constexpr int SegmentsPerMessage = 100;

void Prepare(const fs::path& dir, long messages) {
    fs::create_directories(dir / "std" / "D96A");
    std::ofstream(dir / "std" / "D96A" / "D96A.sdf") << SegmentSource;
    std::ofstream(dir / "std" / "D96A" / "ORDERS.mdf") << MessageSource;
    TCompilerSDF sdf;
    sdf.SetSourceFile((dir / "std" / "D96A" / "D96A.sdf").string());
    sdf.Compile();
    TCompilerMDF mdf;
    mdf.SetSourceFile((dir / "std" / "D96A" / "ORDERS.mdf").string());
    mdf.Compile();
    std::ofstream(dir / "TALMIRO.INI") << "[STANDARDS]\nBASEDIR=" << (dir / "std").string() << "\n";

    std::ofstream out(dir / "big.edi", std::ios::binary);
    out << "UNA:+.? 'UNB+UNOC:3+SENDER:14+RECEIVER:14+240101:1200+REF1'\n";
    for (long m = 1; m <= messages; ++m) {
        out << "UNH+" << m << "+ORDERS:D:96A:UN'\nBGM+220+PO" << m << "+9'\n";
        for (int d = 0; d < 4; ++d)
            out << "DTM+137:20240101:102'\n";
        for (int n = 0; n < 31; ++n)
            out << "NAD+BY+5412345000013::9'\nCTA+OC+:JOHN DOE'\nCTA+PD+:JANE ROE?'S DESK'\n";
        out << "UNT+" << SegmentsPerMessage << "+" << m << "'\n";
    }
    out << "UNZ+" << messages << "+REF1'\n";
}

long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The resident size now, from /proc (the peak includes buffers freed again, such as a vector's old
// storage while it grows).
long RssKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int MeasureTree(int argc, char** argv, const fs::path& dir) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window's preferences (recent files, layout) stay with the benchmark's files.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((dir / "config").string()));
    UiHooks().ShowError = [](const QString& text) { std::fprintf(stderr, "error: %s\n", qPrintable(text)); };
    UiHooks().Confirm = [](const QString&) { return true; };
    TMainForm form;
    form.StartUp({}, (dir / "TALMIRO.INI").string());
    form.show();
    QApplication::processEvents();
    long baseline = MaxRssKiB();
    long idle = RssKiB();
    auto start = std::chrono::steady_clock::now();
    if (!Guarded([&] { form.OpenFile((dir / "big.edi").string()); })) return 1;
    QApplication::processEvents(); // the view lays out its top level
    double open = Seconds(start);
    long peak = MaxRssKiB();
    long resident = RssKiB();
    size_t nodes = form.EdiReader->OnDemandTree().NodeCount();

    start = std::chrono::steady_clock::now();
    form.miViewExpandClick();
    QApplication::processEvents();
    double expand = Seconds(start);
    long expandedPeak = MaxRssKiB();

    std::printf(
        "tree   %8.2f s  peak %7ld KiB  (+%ld KiB over the idle window, %.1f bytes per node, %zu nodes)\n",
        open, peak, peak - baseline, (peak - baseline) * 1024.0 / static_cast<double>(nodes), nodes);
    std::printf("       resident after opening: +%ld KiB, %.1f bytes per node\n", resident - idle,
                (resident - idle) * 1024.0 / static_cast<double>(nodes));
    std::printf("expand %8.2f s  peak %7ld KiB  (whole tree expanded)\n", expand, expandedPeak);
    return 0;
}

int MeasureCheck(const fs::path& dir) {
    long baseline = MaxRssKiB();
    TStandardsCatalogue catalogue;
    catalogue.LoadSettings((dir / "TALMIRO.INI").string());
    TInterchangeReader reader(&catalogue);
    reader.BuildTree = false;
    auto start = std::chrono::steady_clock::now();
    try {
        TFileStream stream((dir / "big.edi").string());
        reader.Read(stream);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
    double seconds = Seconds(start);
    long peak = MaxRssKiB();
    std::printf("check  %8.2f s  peak %7ld KiB  (+%ld KiB)\n", seconds, peak, peak - baseline);
    return 0;
}

int RunChild(const char* self, const char* mode, const fs::path& dir) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        execl(self, self, mode, dir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if ((mode == "tree" || mode == "check") && argc > 2) {
        fs::path dir = argv[2];
        return mode == "tree" ? MeasureTree(argc, argv, dir) : MeasureCheck(dir);
    }
    bool temporary = argc < 2;
    fs::path dir = temporary
                       ? fs::temp_directory_path() / ("talmiro-viewer-bench-" + std::to_string(getpid()))
                       : fs::path(argv[1]);
    long messages = argc > 2 ? std::atol(argv[2]) : 10000;
    auto start = std::chrono::steady_clock::now();
    try {
        Prepare(dir, messages);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
    std::printf("interchange: %ld messages, %ld segments, %.1f MB (written in %.2f s)\n", messages,
                messages * SegmentsPerMessage + 2, static_cast<double>(fs::file_size(dir / "big.edi")) / 1e6,
                Seconds(start));
    const char* self = "/proc/self/exe";
    int rc = RunChild(self, "check", dir);
    if (rc == 0) rc = RunChild(self, "tree", dir);
    if (temporary) fs::remove_all(dir);
    return rc;
}
