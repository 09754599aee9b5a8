#include "talmiro/standards.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace talmiro;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "talmiro-std-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    void File(const std::string& rel, const std::string& text = {}) const {
        fs::path p = fs::path(Path) / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    void Dir(const std::string& rel) const { fs::create_directories(fs::path(Path) / rel); }
    std::string Path;
};

std::vector<std::string> Names(const TStandardsCatalogue& c) {
    std::vector<std::string> names;
    for (const auto& s : c.Standards())
        names.push_back(s.Name);
    return names;
}

TStandardsCatalogue Scan(const std::string& baseDir) {
    TStandardsCatalogue c;
    c.BaseDir = baseDir;
    c.ScanStandards();
    return c;
}

} // namespace

TEST(Config, ReadsBaseDirLiterallyWithNamesInAnyCase) {
    TempDir t;
    t.File("a.ini", "[other]\nBASEDIR=/wrong\n[standards]\nbaseDir = C:\\Program Files\\EDI\\std \n"
                    "BASEDIR=/second\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/a.ini"), "C:\\Program Files\\EDI\\std");

    t.File("b.ini", "[STANDARDS]\nOTHER=1\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/b.ini"), "");
    t.File("c.ini", "BASEDIR=/no/section\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/c.ini"), "");
    EXPECT_EQ(ReadBaseDir(t.Path + "/missing.ini"), "");

    // A broken line does not hide a good value after it.
    t.File("d.ini", "garbage without equals\n[STANDARDS]\n=\nBASEDIR=/base dir/x\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/d.ini"), "/base dir/x");

    // Long values and semicolons survive, CRLF line ends do not leak into the value.
    std::string longDir = "/" + std::string(300, 'x') + " ; y";
    t.File("e.ini", "\xEF\xBB\xBF[Standards]\r\n; comment\r\nBasedir=" + longDir + "\r\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/e.ini"), longDir);

    // Indented keys are keys, not continuations of the line before.
    t.File("f.ini", "[STANDARDS]\n  OTHER=1\n  BASEDIR=/indented\n");
    EXPECT_EQ(ReadBaseDir(t.Path + "/f.ini"), "/indented");
}

TEST(Config, IniFileBesideTheExecutable) {
    EXPECT_EQ(IniFileNameFor("/opt/talmiro"), "/opt/talmiro/TALMIRO.INI");
    EXPECT_EQ(IniFileNameFor("/opt/talmiro/"), "/opt/talmiro/TALMIRO.INI");
    EXPECT_TRUE(fs::is_directory(ExecutableDir()));

    TempDir t;
    t.Dir("std/D96A");
    t.File("std/D96A/D96A.sdf");
    t.File("TALMIRO.INI", "[STANDARDS]\nBASEDIR=" + t.Path + "/std\n");
    TStandardsCatalogue c;
    c.LoadSettings(IniFileNameFor(t.Path));
    EXPECT_EQ(c.IniFileName, t.Path + "/TALMIRO.INI");
    EXPECT_EQ(c.BaseDir, t.Path + "/std");
    EXPECT_EQ(Names(c), std::vector<std::string>{"D96A"});
}

TEST(Catalogue, SkipsDotDirectoriesFilesAndDirectoriesWithoutSource) {
    TempDir t;
    t.File("D96A/D96A.sdf");
    t.File("D96A/ORDERS.mdf");
    t.File("D96A/INVOIC.mdf");
    t.File("D96A/ORDERS.MDT");
    t.File("D95B/readme.txt");
    t.File(".old/D93A.sdf");
    t.File("D99Z.sdf"); // directly in the base directory
    auto c = Scan(t.Path);
    ASSERT_EQ(Names(c), std::vector<std::string>{"D96A"});
    EXPECT_EQ(c.Selected(), 0);
    EXPECT_EQ(c.StandardDir(), t.Path + "/D96A");
    EXPECT_EQ(c.Messages(), (std::vector<std::string>{"INVOIC", "ORDERS"}));
}

TEST(Catalogue, StandardNamedAfterItsSourceNotItsDirectory) {
    TempDir t;
    t.File("EDI96/d96a.sdf");
    t.File("EDI96/z.sdf"); // not the first in name order
    t.File("EDI96/orders.MDF");
    t.File("X/D95B.new.sdf");
    t.File("X/ORDERS.mdf");
    t.File("X/ORDERS.old.mdf");
    auto c = Scan(t.Path);
    ASSERT_EQ(Names(c), (std::vector<std::string>{"D95B", "d96a"}));

    EXPECT_TRUE(c.SelectStandard("D96A"));
    EXPECT_EQ(c.StandardDir(), t.Path + "/EDI96");
    EXPECT_EQ(c.StandardSourcePath(), t.Path + "/EDI96/d96a.sdf");
    EXPECT_EQ(c.Messages(), std::vector<std::string>{"orders"});

    EXPECT_TRUE(c.SelectStandard("d95b"));
    EXPECT_EQ(c.Messages(), (std::vector<std::string>{"ORDERS", "ORDERS"}));
    EXPECT_EQ(c.MessageSourcePath(0), t.Path + "/X/ORDERS.mdf");
    EXPECT_EQ(c.MessageSourcePath(1), t.Path + "/X/ORDERS.mdf");
    EXPECT_EQ(c.MessageSourcePath(2), "");
    EXPECT_EQ(c.MessageSourcePath(-1), "");

    // An unknown name changes nothing.
    EXPECT_FALSE(c.SelectStandard("D01B"));
    EXPECT_EQ(c.Selected(), 0);
    EXPECT_EQ(c.Messages().size(), 2u);
}

TEST(Catalogue, SortsWithoutRegardToCaseAndKeepsDuplicatesInListingOrder) {
    TempDir t;
    t.File("a/d97a.sdf");
    t.File("b/D96A.sdf");
    t.File("c/D98b.sdf");
    t.File("d/D96A.sdf");
    t.File("d/PAYMUL.mdf");
    t.File("d/invoic.mdf");
    t.File("d/Desadv.mdf");
    auto c = Scan(t.Path);
    ASSERT_EQ(Names(c), (std::vector<std::string>{"D96A", "D96A", "d97a", "D98b"}));
    EXPECT_EQ(c.StandardDir(), t.Path + "/b");
    EXPECT_TRUE(c.Messages().empty());

    c.SetSelected(1);
    EXPECT_EQ(c.Messages(), (std::vector<std::string>{"Desadv", "invoic", "PAYMUL"}));
    // The first of equal names wins.
    EXPECT_TRUE(c.SelectStandard("d96a"));
    EXPECT_EQ(c.Selected(), 0);

    c.SetSelected(99);
    EXPECT_EQ(c.Selected(), -1);
    EXPECT_EQ(c.StandardDir(), "");
    EXPECT_TRUE(c.Messages().empty());
}

TEST(Catalogue, TrailingSeparatorAndEmptyOrMissingBaseDir) {
    TempDir t;
    t.File("D96A/D96A.sdf");
    auto c = Scan(t.Path + "/");
    EXPECT_EQ(c.StandardDir(), t.Path + "//D96A");
    EXPECT_TRUE(fs::exists(c.StandardSourcePath()));

    for (const std::string& base : {std::string(), t.Path + "/nonexistent", t.Path + "/D96A/D96A.sdf"}) {
        auto e = Scan(base);
        EXPECT_TRUE(e.Standards().empty()) << base;
        EXPECT_EQ(e.Selected(), -1);
        EXPECT_EQ(e.StandardDir(), "");
        // Edit of the standard with nothing selected names the separator followed by ".sdf".
        EXPECT_EQ(e.StandardSourcePath(), "/.sdf");
        EXPECT_FALSE(e.SelectStandard("D96A"));
    }
}

TEST(Catalogue, RescanReplacesListsAndReportsChanges) {
    TempDir t;
    t.File("A/D96A.sdf");
    t.File("A/ORDERS.mdf");
    TStandardsCatalogue c;
    int changes = 0;
    c.OnChange = [&] { ++changes; };
    c.BaseDir = t.Path;
    c.ScanStandards();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(c.Messages().size(), 1u);
    c.SelectStandard("D96A");
    EXPECT_EQ(changes, 2);

    c.BaseDir = t.Path + "/none";
    c.ScanStandards();
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(c.Standards().empty());
    EXPECT_TRUE(c.Messages().empty());
}

TEST(Catalogue, ServiceMessagesAreFoundWhateverTheirHeaderSays) {
    TempDir t;
    t.File("D96A/D96A.sdf");
    t.File("D96A/ORDERS.MDT");
    t.File("SERVICE3/SERVICE3.sdf");
    t.File("SERVICE3/CONTRL.MDT");
    t.File("SERVICE4/SERVICE4.sdf");
    t.File("SERVICE4/CONTRL.MDT");
    TStandardsCatalogue c = Scan(t.Path);
    auto standardFor = [&](const char* type, const char* version, const char* release) {
        return c.SelectStandardFor(type, version, release) ? c.Standards()[c.Selected()].Name
                                                           : std::string("none");
    };
    EXPECT_EQ(standardFor("ORDERS", "D", "96A"), "D96A");
    EXPECT_EQ(standardFor("CONTRL", "D", "3"), "SERVICE3");
    EXPECT_EQ(standardFor("CONTRL", "2", "2"), "SERVICE3");
    EXPECT_EQ(standardFor("CONTRL", "4", "1"), "SERVICE4");
    // A release without a CONTRL table of its own hands it to the service definitions; one with it keeps it.
    EXPECT_EQ(standardFor("CONTRL", "D", "96A"), "SERVICE3");
    t.File("D96A/CONTRL.MDT");
    EXPECT_EQ(standardFor("CONTRL", "D", "96A"), "D96A");
    // Nothing fits: the selection stays where it was.
    c.SelectStandard("D96A");
    EXPECT_EQ(standardFor("ORDERS", "D", "01B"), "none");
    EXPECT_EQ(c.Standards()[c.Selected()].Name, "D96A");
}

TEST(Catalogue, MissingDefinitionsSayWhatWasLookedForAndWhere) {
    TempDir t;
    t.File("D96A/D96A.sdf");
    t.File("D01B/D01B.sdf");
    TStandardsCatalogue c = Scan(t.Path);
    EXPECT_EQ(c.MissingDefinitionText("ORDERS", "D", "97A"),
              "No definition of message ORDERS version D release 97A: standard D97A is not installed in " +
                  t.Path + " (installed: D01B, D96A)");
    EXPECT_EQ(c.MissingDefinitionText("XYZ", "d", "96a"),
              "No definition of message XYZ version d release 96a: " + t.Path +
                  "/D96A/XYZ.MDT does not exist (installed: "
                  "D01B, D96A)");
    EXPECT_EQ(c.MissingDefinitionHint("D", "97A"),
              "To add a directory release: talmiro-cli import-untdid d97a.zip --out " + t.Path +
                  " --compile");
    TStandardsCatalogue none;
    EXPECT_EQ(none.MissingDefinitionText("ORDERS", "D", "96A"),
              "No definition of message ORDERS version D release 96A: no standards directory is configured "
              "(BASEDIR of TALMIRO.INI)");
    EXPECT_EQ(Scan(t.Path + "/nothing").MissingDefinitionText("ORDERS", "D", "96A"),
              "No definition of message ORDERS version D release 96A: standard D96A is not installed in " +
                  t.Path + "/nothing (installed: none)");
}
