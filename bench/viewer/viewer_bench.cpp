// Opening generated interchanges of 20 MB, 200 MB and 2 GB in the viewer (offscreen): the time to open
// (read in the background and show the top level), to the first paint, to expand one message of 100
// segments and one of 100,000, to find a text that is nowhere, to edit one value and save the file, and the
// peak memory; beside `wc -l` and `talmiro-cli check` on the same file; then, up to 200 MB, the time to open
// with strict checks on beside the time with them off. Each measurement runs in a process
// of its own, so that its peak resident size belongs to it alone. Each file is generated when its turn
// comes and deleted afterwards.
//
//   talmiro_viewer_bench [DIR] [MB...]     sizes in MB (default 20 200 2000), DIR default: a temporary one
//   talmiro_viewer_bench viewer DIR FILE BIGROW CHECKWALL CHECKCPU [expand-all]   one viewer measurement
//   talmiro_viewer_bench strict DIR FILE   opening with strict checks off and on (medians of three)
//
// On a shared machine the processor time (user and system, all threads) is the steadier figure; both are
// given, each beside the check's.
#include "main_form.h"
#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/on_demand_tree.h"

#include "test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTreeView>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
SEGMENT 'LIN' DESCRIPTION 'LINE ITEM';
  FIELD '1082' NUMERIC (1:6); FIELD '1229' ALNUM (1:3);
  COMPOSIT 'C212' FIELD '7140' ALNUM (1:35); FIELD '7143' ALNUM (1:3); END;
END;
SEGMENT 'QTY' DESCRIPTION 'QUANTITY';
  COMPOSIT 'C186' FIELD '6063' ALNUM (1:3); FIELD '6060' NUMERIC (1:15); FIELD '6411' ALNUM (1:3); END;
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
GROUP 'LIN' CONDITIONAL (200000);
  SEGMENT 'LIN' MANDATORY (1);
  SEGMENT 'QTY' CONDITIONAL (10);
END;
SEGMENT 'UNT' MANDATORY (1);
END;
)";

// 100 segments per message: UNH, BGM, 4 DTM, 31 x (NAD, CTA, CTA), UNT. In the middle of the file one
// message of 100,000: UNH, BGM, DTM, 49,998 x (LIN, QTY), UNT.
constexpr int SegmentsPerMessage = 100;
constexpr int BigMessageLines = 49'998;
constexpr long BigMessageSegments = 3 + 2L * BigMessageLines + 1;

void CompileTables(const fs::path& dir) {
    test::CompileRelease(dir / "std", "D96A", SegmentSource, {{"ORDERS", MessageSource}});
    // The code lists of the coded elements the messages use, so that strict checks look codes up too.
    std::ofstream codes(dir / "std" / "D96A" / "CODES.CLT", std::ios::binary);
    codes << "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n=1225\n9\tOriginal\n=2005\n137\tDocument date\n"
             "=2379\n102\tCCYYMMDD\n=3035\nBY\tBuyer\n=3055\n9\tEAN\n=3139\nOC\tOrder contact\n"
             "PD\tPurchasing contact\n=6063\n21\tOrdered quantity\n=7143\nSRS\tEAN article number\n";
    if (!codes.flush()) throw std::runtime_error("cannot write the code lists");
    test::WriteIni(dir / "TALMIRO.INI", dir / "std");
}

struct TFixture {
    long Messages = 0;
    long Segments = 0;
    long BigRow = 0; // the big message's row at the top level
};

// About mb megabytes of messages; written through one buffer.
TFixture Generate(const fs::path& file, long mb) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) throw std::runtime_error("cannot write " + file.string());
    std::string buffer;
    auto flush = [&] {
        if (std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size())
            throw std::runtime_error("cannot write " + file.string());
        buffer.clear();
    };
    const std::string message = [] {
        std::string m = "BGM+220+PO%ld+9'\n";
        for (int d = 0; d < 4; ++d)
            m += "DTM+137:20240101:102'\n";
        for (int n = 0; n < 31; ++n)
            m += "NAD+BY+5412345000013::9'\nCTA+OC+:JOHN DOE'\nCTA+PD+:JANE ROE?'S DESK'\n";
        return m;
    }();
    const double target = static_cast<double>(mb) * 1e6;
    const double estimate = static_cast<double>(message.size() + 50);
    const long normal = std::max(2L, static_cast<long>(target / estimate) - 40);
    TFixture f;
    f.BigRow = normal / 2 + 1;
    buffer += "UNA:+.? 'UNB+UNOC:3+SENDER:14+RECEIVER:14+240101:1200+REF1'\n";
    char line[64];
    for (long m = 1; m <= normal + 1; ++m) {
        const std::string ref = std::to_string(m);
        buffer += "UNH+" + ref + "+ORDERS:D:96A:UN'\n";
        if (m == f.BigRow) {
            buffer += "BGM+220+BIG+9'\nDTM+137:20240101:102'\n";
            for (int l = 1; l <= BigMessageLines; ++l) {
                std::snprintf(line, sizeof line, "LIN+%d++4012345%06d:SRS'\nQTY+21:%d:PCE'\n", l, l,
                              l % 100 + 1);
                buffer += line;
                if (buffer.size() > (1 << 20)) flush();
            }
            buffer += "UNT+" + std::to_string(BigMessageSegments) + "+" + ref + "'\n";
            f.Segments += BigMessageSegments;
        } else {
            std::snprintf(line, sizeof line, "BGM+220+PO%ld+9'\n", m);
            buffer += line;
            buffer.append(message, message.find('\n') + 1, std::string::npos);
            buffer += "UNT+" + std::to_string(SegmentsPerMessage) + "+" + ref + "'\n";
            f.Segments += SegmentsPerMessage;
        }
        if (buffer.size() > (1 << 20)) flush();
    }
    f.Messages = normal + 1;
    buffer += "UNZ+" + std::to_string(f.Messages) + "+REF1'\n";
    f.Segments += 2;
    flush();
    if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + file.string());
    return f;
}

long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time of this process so far, all its threads.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double MB(long kib) {
    return static_cast<double>(kib) / 1024.0;
}

// Before the window is made: its preferences (recent files, layout) stay with the benchmark's files, and
// its boxes answer themselves.
void KeepToBenchmark(const fs::path& dir) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((dir / "config").string()));
    UiHooks().ShowError = [](const QString& text) { std::fprintf(stderr, "error: %s\n", qPrintable(text)); };
    UiHooks().Confirm = [](const QString&) { return true; };
}

// The window on the benchmark's standards, shown.
void ShowWindow(TMainForm& form, const fs::path& dir) {
    form.StartUp({}, (dir / "TALMIRO.INI").string());
    form.resize(900, 700);
    form.show();
    QApplication::processEvents();
}

// The viewer in this process: open, first paint, one message of each size expanded, find, peak memory.
int MeasureViewer(int argc, char** argv, const fs::path& dir, const fs::path& file, long bigRow,
                  double checkWall, double checkCpu, bool expandAll) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KeepToBenchmark(dir);
    TMainForm form;
    ShowWindow(form, dir);
    const long idle = MaxRssKiB();

    const double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    if (!Guarded([&] { form.OpenFile(file.string()); })) return 1;
    const double open = Seconds(start);
    const double openCpu = CpuSeconds() - cpu;
    (void)form.grab(); // lays out and paints the window as it stands
    const double paint = Seconds(start);
    const long openPeak = MaxRssKiB();
    const TOnDemandTree& tree = form.EdiReader->OnDemandTree();

    // Expanding a message: made, laid out and painted, its last node shown.
    auto expand = [&](long row) {
        const QModelIndex message = form.Model->index(static_cast<int>(row), 0);
        auto begin = std::chrono::steady_clock::now();
        form.tvMsgStruct->expand(message);
        form.tvMsgStruct->scrollTo(form.Model->index(form.Model->rowCount(message) - 1, 0, message));
        (void)form.grab();
        return Seconds(begin);
    };
    const double small = expand(1);
    const double big = expand(bigRow);
    const long expandPeak = MaxRssKiB();

    form.tvMsgStruct->collapseAll();
    form.tvMsgStruct->setCurrentIndex(form.Model->index(0, 0));
    form.edFind->setText(QStringLiteral("nowhere in the file"));
    start = std::chrono::steady_clock::now();
    form.FindSegment(true);
    const double find = Seconds(start);
    const long findPeak = MaxRssKiB();

    // One value of the first message edited (the file read again through the edit), then the whole saved
    // beside it as it was: streamed from the file, the edit spliced in.
    const QModelIndex first = form.Model->index(1, 0);
    form.tvMsgStruct->expand(first);
    form.tvMsgStruct->setCurrentIndex(form.Model->index(1, 0, first)); // its BGM
    form.AskText = [](const QString&, QString& text) { return text = QStringLiteral("EDITED"), true; };
    start = std::chrono::steady_clock::now();
    if (!Guarded([&] { form.EditValue(2); })) return 1; // 1004, after C002 and 1001
    const double edit = Seconds(start);
    const long editPeak = MaxRssKiB();
    const fs::path saved = dir / "saved.edi";
    start = std::chrono::steady_clock::now();
    if (!Guarded([&] { form.SaveTo(saved.string()); })) return 1;
    const double save = Seconds(start);
    const long savePeak = MaxRssKiB();
    fs::remove(saved);

    std::printf("  viewer: open %6.2f s, cpu %6.2f s (%.2f and %.2f times the check), first paint %6.2f s, "
                "peak %6.1f MB "
                "(idle window %.1f MB, %zu nodes)\n",
                open, openCpu, checkWall > 0 ? open / checkWall : 0.0,
                checkCpu > 0 ? openCpu / checkCpu : 0.0, paint, MB(openPeak), MB(idle), tree.NodeCount());
    std::printf("          expand a message of %d segments %6.3f s, of %ld segments %6.3f s, peak %6.1f MB\n",
                SegmentsPerMessage, small, BigMessageSegments, big, MB(expandPeak));
    std::printf("          find through every message (no match) %6.2f s, peak %6.1f MB\n", find,
                MB(findPeak));
    std::printf("          edit one value (read again) %6.2f s, peak %6.1f MB; save %6.2f s, peak %6.1f MB\n",
                edit, MB(editPeak), save, MB(savePeak));
    if (expandAll) {
        start = std::chrono::steady_clock::now();
        form.miViewExpandClick();
        (void)form.grab();
        std::printf("          Structure expanded (every node) %6.2f s, peak %6.1f MB (%.0f bytes a node)\n",
                    Seconds(start), MB(MaxRssKiB()),
                    static_cast<double>(MaxRssKiB() - findPeak) * 1024.0 /
                        static_cast<double>(tree.NodeCount()));
    }
    std::fflush(stdout);
    return 0;
}

// Opening the file with strict checks off and on, three times each in turn in this process: the median
// wall and processor times of each and their ratio.
int MeasureStrict(int argc, char** argv, const fs::path& dir, const fs::path& file) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KeepToBenchmark(dir);
    TMainForm form;
    ShowWindow(form, dir);
    std::vector<double> wall[2], cpu[2];
    for (int round = 0; round < 3; ++round)
        for (int strict = 0; strict < 2; ++strict) {
            form.miViewStrict->setChecked(strict != 0);
            const double cpuBefore = CpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            if (!Guarded([&] { form.OpenFile(file.string()); })) return 1;
            wall[strict].push_back(Seconds(start));
            cpu[strict].push_back(CpuSeconds() - cpuBefore);
        }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double offWall = median(wall[0]), onWall = median(wall[1]);
    const double offCpu = median(cpu[0]), onCpu = median(cpu[1]);
    std::printf("  viewer, strict checks off: open %6.2f s, cpu %6.2f s; on: open %6.2f s, cpu %6.2f s "
                "(%.2f and %.2f times; medians of 3)\n",
                offWall, offCpu, onWall, onCpu, offWall > 0 ? onWall / offWall : 0.0,
                offCpu > 0 ? onCpu / offCpu : 0.0);
    std::fflush(stdout);
    return 0;
}

struct TChild {
    int Status = 0;
    double Seconds = 0;
    double CpuSeconds = 0;
    long PeakKiB = 0;
};

// Runs a program with its standard output to /dev/null (or kept), timing it and taking its peak memory.
TChild Run(const std::vector<std::string>& args, bool quiet) {
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        }
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TChild child;
    rusage usage{};
    wait4(pid, &child.Status, 0, &usage);
    child.Seconds = Seconds(start);
    child.PeakKiB = usage.ru_maxrss;
    child.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return child;
}

int RunSize(const fs::path& dir, long mb) {
    const fs::path file = dir / ("bench-" + std::to_string(mb) + "MB.edi");
    auto start = std::chrono::steady_clock::now();
    TFixture f = Generate(file, mb);
    const double written = Seconds(start);
    std::printf("%ld MB interchange: %.1f MB, %ld messages, %ld segments (written in %.1f s)\n", mb,
                static_cast<double>(fs::file_size(file)) / 1e6, f.Messages, f.Segments, written);
    // The page cache holds the file now, as it would for a file just copied or downloaded.
    start = std::chrono::steady_clock::now();
    std::fflush(stdout);
    std::string wc = "wc -l '" + file.string() + "'";
    std::FILE* pipe = popen(wc.c_str(), "r");
    long lines = 0;
    if (pipe) {
        if (std::fscanf(pipe, "%ld", &lines) != 1) lines = 0;
        pclose(pipe);
    }
    std::printf("  wc -l: %ld lines, %6.2f s\n", lines, Seconds(start));
    TChild check = Run({TALMIRO_CLI, "check", "--standards", (dir / "std").string(), file.string()}, true);
    std::printf("  talmiro-cli check: %6.2f s, cpu %6.2f s, peak %6.1f MB%s\n", check.Seconds,
                check.CpuSeconds, MB(check.PeakKiB),
                WIFEXITED(check.Status) && WEXITSTATUS(check.Status) == 0 ? "" : " (failed)");
    std::vector<std::string> viewer = {"/proc/self/exe",
                                       "viewer",
                                       dir.string(),
                                       file.string(),
                                       std::to_string(f.BigRow),
                                       std::to_string(check.Seconds),
                                       std::to_string(check.CpuSeconds)};
    if (mb <= 20) viewer.push_back("expand-all");
    TChild shown = Run(viewer, false);
    std::printf("  viewer process: %6.2f s in all, peak %6.1f MB\n", shown.Seconds, MB(shown.PeakKiB));
    // Six more openings: the largest file is left out.
    if (mb <= 200 && WIFEXITED(shown.Status) && WEXITSTATUS(shown.Status) == 0)
        shown = Run({"/proc/self/exe", "strict", dir.string(), file.string()}, false);
    fs::remove(file);
    return WIFEXITED(shown.Status) ? WEXITSTATUS(shown.Status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "strict" && argc > 3) return MeasureStrict(argc, argv, argv[2], argv[3]);
    if (mode == "viewer" && argc > 6)
        return MeasureViewer(argc, argv, argv[2], argv[3], std::atol(argv[4]), std::atof(argv[5]),
                             std::atof(argv[6]), argc > 7 && std::string(argv[7]) == "expand-all");
    const bool temporary = argc < 2;
    const fs::path dir =
        temporary ? fs::temp_directory_path() / ("talmiro-viewer-bench-" + std::to_string(getpid()))
                  : fs::path(argv[1]);
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {20, 200, 2000};
    int rc = 0;
    try {
        CompileTables(dir);
        for (long mb : sizes)
            if (rc == 0) rc = RunSize(dir, mb);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        rc = 1;
    }
    if (temporary) fs::remove_all(dir);
    return rc;
}
