// Runs talmiro-cli check, dump and show on small interchanges and compares what it prints and returns.
#include "talmiro/compiler.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace talmiro {
namespace {

namespace fs = std::filesystem;

// A limit on the address space shows that memory stays flat. AddressSanitizer reserves far more address
// space than such a limit allows, so its builds run without one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitizer = true;
#else
constexpr bool AddressSanitizer = false;
#endif
#else
constexpr bool AddressSanitizer = false;
#endif
const char* const MemoryLimit = AddressSanitizer ? "" : "ulimit -v 200000; ";

const char* const Sdf = R"(SEGMENTS
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
END;
SEGMENT 'CTA' DESCRIPTION 'CONTACT INFORMATION';
  FIELD '3139' ALNUM (1:3) DESCRIPTION 'CONTACT FUNCTION, CODED';
END;
SEGMENT 'COM' DESCRIPTION 'COMMUNICATION CONTACT';
  FIELD '3148' ALNUM (1:512) REPEAT (2) DESCRIPTION 'Communication number';
END;
SEGMENT 'QTY' DESCRIPTION 'QUANTITY';
  COMPOSIT 'C186' DESCRIPTION 'QUANTITY DETAILS';
    FIELD '6063' ALNUM (1:3) DESCRIPTION 'Quantity qualifier';
    FIELD '6060' NUMERIC (1:5) DESCRIPTION 'Quantity';
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

// SG1 NAD holds SG2 CTA, which needs a COM; SG3 QTY needs a DTM.
const char* const Mdf = R"(MESSAGE 'ORDERS'
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
    SEGMENT 'COM' MANDATORY (5);
  END;
END;
GROUP 'QTY' CONDITIONAL (9);
  SEGMENT 'QTY' MANDATORY (1);
  SEGMENT 'DTM' MANDATORY (1);
END;
SEGMENT 'UNT' MANDATORY (1);
END;
)";

// Lines end in CR LF, as in most interchanges.
std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

const std::string Valid =
    Lines({"UNA:+.? '", "UNB+UNOA:2+SENDER+RECIPIENT+990101:1200+1234'", "UNH+1+ORDERS:D:96A:UN'",
           "BGM+220+PO?+1+9'", "DTM+137:19990101:102'", "NAD+BY'", "CTA+IC'", "COM+0123'", "NAD+SU'",
           "QTY+21:5'", "DTM+2:19990102:102'", "UNT+10+1'", "UNZ+1+1234'"});

struct Result {
    int Exit = -1;
    std::string Out, Err;
};

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        temp_ = std::make_unique<test::TempDir>("talmiro-cli");
        dir_ = temp_->Path;
        test::CompileRelease(dir_ / "std", "D96A", Sdf, {{"ORDERS", Mdf}});
    }
    static void TearDownTestSuite() { temp_.reset(); }

    static std::string Write(const std::string& name, const std::string& text) {
        return temp_->Write(name, text);
    }
    static std::string ReadText(const fs::path& path) { return test::ReadAll(path); }

    // Runs the tool with the test's standards; stdinFile, when given, becomes standard input; shell runs
    // before the tool (a ulimit, say).
    static Result Run(const std::string& args, const std::string& stdinFile = "",
                      const std::string& shell = "") {
        const fs::path out = dir_ / "out.txt", err = dir_ / "err.txt";
        std::string command = shell + "'" + TALMIRO_CLI + "' " + args + " --standards '" +
                              (dir_ / "std").string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
        if (!stdinFile.empty()) command += " <'" + stdinFile + "'";
        int status = std::system(command.c_str());
        Result r;
        r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.Out = ReadText(out);
        r.Err = ReadText(err);
        return r;
    }
    // Runs the tool with arguments alone (commands without --standards).
    static Result RunPlain(const std::string& args) {
        const fs::path out = dir_ / "out.txt", err = dir_ / "err.txt";
        const std::string command = "'" + std::string(TALMIRO_CLI) + "' " + args + " >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    }
    static nlohmann::json Json(const std::string& line) { return nlohmann::json::parse(line); }

    static std::unique_ptr<test::TempDir> temp_;
    static fs::path dir_;
};

std::unique_ptr<test::TempDir> CliTest::temp_;
fs::path CliTest::dir_;

TEST_F(CliTest, CheckValidFilesAndStandardInput) {
    const std::string file = Write("valid.edi", Valid);
    Result r = Run("check '" + file + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, file + ": ok (1 interchanges, 1 messages, 12 segments)\n");
    EXPECT_EQ(r.Err, "");

    r = Run("check - --strict", file);
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "<stdin>: ok (1 interchanges, 1 messages, 12 segments)\n");

    // Functional groups: UNG and UNE are segments of the interchange too.
    const std::string groups =
        Write("groups.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNG+ORDERS+S+R+990101:1200+77+UN+D:96A'"
                            "UNH+1+ORDERS:D:96A:UN'BGM+220'UNT+3+1'"
                            "UNH+2+ORDERS:D:96A:UN'BGM+220'UNT+3+2'UNE+2+77'UNZ+1+7'");
    r = Run("check --strict '" + groups + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, groups + ": ok (1 interchanges, 2 messages, 10 segments)\n");

    r = Run("check --format json '" + groups + "' '" + groups + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    const std::string first = r.Out.substr(0, r.Out.find('\n'));
    EXPECT_EQ(r.Out, first + "\n" + first + "\n"); // one document per file, one per line
    nlohmann::json doc = Json(first);
    EXPECT_EQ(doc["file"], groups);
    EXPECT_EQ(doc["valid"], true);
    EXPECT_EQ(doc["interchanges"], 1);
    EXPECT_EQ(doc["segments"], 10);
    EXPECT_EQ(doc["messages"],
              nlohmann::json::parse(
                  R"([{"type":"ORDERS","version":"D","release":"96A","reference":"1","segments":3},
                                        {"type":"ORDERS","version":"D","release":"96A","reference":"2","segments":3}])"));
    EXPECT_EQ(doc["errors"], nlohmann::json::array());
    EXPECT_EQ(doc["warnings"], nlohmann::json::array());
}

TEST_F(CliTest, CheckReportsTheEnginesErrorAtItsPlaceInTheFile) {
    const std::string file =
        Write("sequence.edi",
              Lines({"UNA:+.? '", "UNB+UNOA:2+SENDER+RECIPIENT+990101:1200+1234'", "UNH+1+ORDERS:D:96A:UN'",
                     "DTM+137:19990101:102'", "BGM+220'", "UNT+4+1'", "UNZ+1+1234'"}));
    const std::string valid = Write("valid.edi", Valid);
    Result r = Run("check '" + valid + "' '" + file + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, valid + ": ok (1 interchanges, 1 messages, 12 segments)\n");
    // UNA and UNB take 11 and 47 bytes with their line ends, UNH 24: DTM starts at byte 82, line 4.
    EXPECT_EQ(
        r.Err,
        file + ":4:1: error: Segment sequence error: BGM expected but DTM found. [segment 3, DTM, byte 82]\n"
               "2 files checked: 1 valid, 1 invalid, 0 unreadable\n");

    // A segment that runs over two lines and breaks the syntax on the second one.
    const std::string syntax =
        Write("syntax.edi", "UNB+UNOA:2+S+R+990101:1200+7'\nUNH+1+ORDERS:D:96A:UN'  BGM+220\n+1+9+X'");
    r = Run("check '" + syntax + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, syntax + ":2:23: error: Invalid segment ID \"  BG\". [segment 3,   B, byte 52]\n");

    // A lone carriage return ends a line too.
    const std::string oldMac =
        Write("cr.edi", "UNB+UNOA:2+S+R+990101:1200+7'\rUNH+1+ORDERS:D:96A:UN'\r\rDTM+1'\r");
    r = Run("check '" + oldMac + "'");
    EXPECT_EQ(r.Err, oldMac +
                         ":4:1: error: Segment sequence error: BGM expected but DTM found. [segment 3, DTM, "
                         "byte 54]\n");

    // Errors before any segment was read point at the first segment, after a UNA.
    const std::string notEdi = Write("notedi.edi", "UNA:+.? 'UNH+1+ORDERS:D:96A:UN'");
    r = Run("check '" + notEdi + "'");
    EXPECT_EQ(r.Err, notEdi + ":1:10: error: This no EDI message. [segment 1, UNH, byte 9]\n");

    // A message type without a table, and the end of the data where a segment is due.
    const std::string noTable = Write("notable.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+INVOIC:D:96A:UN'");
    r = Run("check '" + noTable + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_NE(r.Err.find(":1:30: error: "), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("INVOIC.MDT"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("[segment 2, UNH, byte 29]"), std::string::npos) << r.Err;
    const std::string cut =
        Write("cut.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'BGM+220'\r\n");
    r = Run("check '" + cut + "'");
    EXPECT_EQ(r.Err, cut + ":2:1: error: Invalid segment ID \"\". [segment 4, end of data, byte 61]\n");
}

TEST_F(CliTest, AllErrorsReportsEverySequenceErrorWithItsGroupPath) {
    // COM is missing in SG2 and DTM in SG3: the walk goes on after each and the run ends normally.
    const std::string file =
        Write("two.edi", Lines({"UNB+UNOA:2+S+R+990101:1200+7'", "UNH+1+ORDERS:D:96A:UN'", "BGM+220'",
                                "NAD+BY'", "CTA+IC'", "QTY+21:5'", "UNT+6+1'", "UNZ+1+7'"}));
    Result r = Run("check '" + file + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, file + ":6:1: error: Segment sequence error: COM expected but QTY found. [segment 6, "
                            "QTY, byte 83, in SG1/SG2]\n");

    r = Run("check --all-errors '" + file + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, file +
                         ":6:1: error: Segment sequence error: COM expected but QTY found. [segment 6, QTY, "
                         "byte 83, in SG1/SG2]\n" +
                         file +
                         ":7:1: error: Segment sequence error: DTM expected but UNT found. [segment 7, UNT, "
                         "byte 94, in SG3]\n");

    // A table with more sibling groups than it nests deep: after the first error the path of a group
    // nested in the 70th still comes from the table.
    std::string wide = "MESSAGE 'WIDE' IDENTIFICATION 65 = 'WIDE', 52 = 'D', 54 = '96A' SEGMENTS 'D96A';\n"
                       "STRUCTURE SEGMENT 'UNH' MANDATORY (1); SEGMENT 'BGM' MANDATORY (1);\n";
    wide += "GROUP 'DTM' CONDITIONAL (1); SEGMENT 'DTM' MANDATORY (1); SEGMENT 'QTY' MANDATORY (1); END;\n";
    for (int g = 2; g < 70; ++g)
        wide += "GROUP 'DTM' CONDITIONAL (1); SEGMENT 'DTM' MANDATORY (1); END;\n";
    wide += "GROUP 'NAD' CONDITIONAL (1); SEGMENT 'NAD' MANDATORY (1);\n"
            "  GROUP 'CTA' CONDITIONAL (1); SEGMENT 'CTA' MANDATORY (1); SEGMENT 'COM' MANDATORY (1); END;\n"
            "END; SEGMENT 'UNT' MANDATORY (1); END;\n";
    TCompilerMDF mdf;
    mdf.SetSourceFile(Write("std/D96A/WIDE.mdf", wide));
    mdf.Compile();
    const std::string wideFile =
        Write("wide.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+WIDE:D:96A'BGM+220'DTM+1'"
                          "NAD+BY'CTA+IC'UNT+6+1'UNZ+1+7'");
    r = Run("check --all-errors --format json '" + wideFile + "'");
    nlohmann::json doc = Json(r.Out);
    ASSERT_EQ(doc["errors"].size(), 2u) << r.Out;
    EXPECT_EQ(doc["errors"][0]["groupPath"], "SG1");
    EXPECT_EQ(doc["errors"][1]["text"], "Segment sequence error: COM expected but UNT found.");
    EXPECT_EQ(doc["errors"][1]["groupPath"], "SG70/SG71");

    r = Run("check --all-errors --format json '" + file + "'");
    doc = Json(r.Out);
    ASSERT_EQ(doc["errors"].size(), 2u);
    EXPECT_EQ(doc["errors"][1]["code"], "sequence");
    EXPECT_EQ(doc["errors"][1]["groupPath"], "SG3");
    EXPECT_EQ(doc["errors"][1]["location"]["line"], 7);
    EXPECT_EQ(doc["interchanges"], 1);
    EXPECT_EQ(doc["segments"], 8);
}

TEST_F(CliTest, StrictWarnsAboutSizesNumbersAndEnvelopeCounts) {
    const std::string file = Write(
        "strict.edi", Lines({"UNB+UNOB:2+S+R+990101:1200+7'", "UNH+1+ORDERS:D:96A:UN'", "BGM+220+PO1+1234'",
                             "QTY+21:5x'", "DTM+2:19990102:102'", "QTY+21'", "DTM+2:1:102'",
                             "QTY+21:123456.5'", "DTM+2:1:102'", "UNT+8+2'", "UNZ+2+8'"}));
    Result r = Run("check '" + file + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;

    r = Run("check --strict '" + file + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, file + ": failed (1 interchanges, 1 messages, 11 segments, 7 warnings)\n");
    EXPECT_NE(
        r.Err.find(":3:1: warning: Value \"1234\" of BGM/1225 is longer than 3 characters [segment 3, BGM"),
        std::string::npos)
        << r.Err;
    // The second QTY has no quantity: the first one's value must not be checked again.
    EXPECT_EQ(r.Err.find("[segment 6,"), std::string::npos) << r.Err;

    r = Run("check --strict --format json '" + file + "'");
    nlohmann::json doc = Json(r.Out);
    EXPECT_EQ(doc["valid"], false);
    std::vector<std::string> codes;
    for (const auto& w : doc["warnings"])
        codes.push_back(w["code"].get<std::string>() + "@" +
                        std::to_string(w["location"]["segment"].get<int>()));
    const std::vector<std::string> expected = {"length@3",        "numeric@4",        "length@8",
                                               "unt-count@10",    "unt-reference@10", "unz-count@11",
                                               "unz-reference@11"};
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(doc["warnings"][3]["text"],
              "Segment count in UNT is \"8\", but there are 9 segments in the message");
    EXPECT_EQ(doc["warnings"][6]["text"], "Interchange reference in UNZ is \"8\", but UNB has \"7\"");

    // The decimal mark of UNA; functional groups are counted in UNZ, messages in UNE.
    const std::string groups =
        Write("strict-groups.edi", "UNA:+,? 'UNB+UNOA:2+S+R+990101:1200+7'"
                                   "UNG+ORDERS+S+R+990101:1200+77+UN+D:96A'"
                                   "UNH+1+ORDERS:D:96A:UN'BGM+220'QTY+21:5,5'DTM+2:1'UNT+5+1'"
                                   "UNH+2+ORDERS:D:96A:UN'BGM+220'QTY+21:5.5'DTM+2:1'UNT+5+2'"
                                   "UNE+1+78'UNZ+2+7'");
    r = Run("check --strict --format json '" + groups + "'");
    doc = Json(r.Out);
    codes.clear();
    for (const auto& w : doc["warnings"])
        codes.push_back(w["code"].get<std::string>() + "@" +
                        std::to_string(w["location"]["segment"].get<int>()));
    EXPECT_EQ(codes,
              (std::vector<std::string>{"numeric@10", "une-count@13", "une-reference@13", "unz-count@14"}));
}

TEST_F(CliTest, ExitCodesForUsageAndUnreadableFiles) {
    const std::string valid = Write("valid.edi", Valid);
    Result r = Run("check '" + (dir_ / "missing.edi").string() + "' '" + valid + "'");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Err, "talmiro-cli: Datei " + (dir_ / "missing.edi").string() +
                         " kann nicht geöffnet werden\n2 files checked: 1 valid, 0 invalid, 1 unreadable\n");
    EXPECT_EQ(r.Out, valid + ": ok (1 interchanges, 1 messages, 12 segments)\n");

    r = Run("dump --format json '" + (dir_ / "missing.edi").string() + "'");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(Json(r.Out)["errors"][0]["code"], "open");
    // A folder is checked file by file; one without files is reported as a folder.
    fs::create_directories(dir_ / "empty");
    r = Run("check '" + (dir_ / "empty").string() + "'");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Err, "talmiro-cli: " + (dir_ / "empty").string() + " is a directory\n");
    EXPECT_EQ(Run("show '" + dir_.string() + "' --segment 1").Exit, 2);
    EXPECT_EQ(Run("check").Exit, 2);
    EXPECT_EQ(Run("check --format xml '" + valid + "'").Exit, 2);
    EXPECT_EQ(Run("show '" + valid + "'").Exit, 2);
    r = Run("show '" + valid + "' --segment 13");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Err, valid + ": no segment 13 (12 segments read)\n");
}

TEST_F(CliTest, DumpPrintsTheTreeAndStopsAtTheError) {
    const std::string valid = Write("valid.edi", Valid);
    Result r = Run("dump '" + valid + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "UNB\nORDERS/D96A: 1\n  UNH\n  BGM\n  DTM\n  Segment Group 1 - 1\n    NAD\n"
                     "    Segment Group 2 - 1\n      CTA\n      COM\n  Segment Group 1 - 2\n    NAD\n"
                     "  Segment Group 3 - 1\n    QTY\n    DTM\n  UNT\nUNZ\n");

    const std::string bad =
        Write("bad.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'BGM+220'XYZ+1'");
    r = Run("dump '" + bad + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Out, "UNB\nORDERS/D96A: 1\n  UNH\n  BGM\n");
    EXPECT_EQ(r.Err, bad + ":1:60: error: XYZ [segment 4, XYZ, byte 59]\n");

    r = Run("dump --format json '" + valid + "'");
    nlohmann::json doc = Json(r.Out);
    EXPECT_EQ(doc["valid"], true);
    ASSERT_EQ(doc["nodes"].size(), 3u);
    const nlohmann::json& message = doc["nodes"][1];
    EXPECT_EQ(message["kind"], "message");
    EXPECT_EQ(message["text"], "ORDERS/D96A: 1");
    const nlohmann::json& group = message["children"][3];
    EXPECT_EQ(group["kind"], "group");
    EXPECT_EQ(group["group"], 1);
    EXPECT_EQ(group["repetition"], 1);
    const nlohmann::json& bgm = message["children"][1];
    EXPECT_EQ(bgm["kind"], "segment");
    EXPECT_EQ(bgm["tag"], "BGM");
    EXPECT_EQ(bgm["segment"], 3); // UNA is no segment
    EXPECT_EQ(bgm["line"], 4);
    EXPECT_EQ(bgm["column"], 1);
    EXPECT_EQ(bgm["offset"], Valid.find("BGM"));
    EXPECT_EQ(bgm["elements"][0]["id"], "C002");
    EXPECT_EQ(bgm["elements"][0]["elements"][0]["value"], "220");
    EXPECT_EQ(bgm["elements"][1]["value"], "PO+1");
    EXPECT_EQ(bgm["elements"][1]["description"], "DOCUMENT/MESSAGE NUMBER");
    EXPECT_TRUE(bgm["elements"][2]["value"].is_string());
    EXPECT_EQ(doc["errors"].size(), 0u);

    // The JSON tree is written while it is walked: a large interchange needs no whole document in memory.
    std::string many = "UNB+UNOA:2+S+R+990101:1200+7'";
    for (int i = 1; i <= 20000; ++i)
        many += "UNH+" + std::to_string(i) + "+ORDERS:D:96A:UN'BGM+220'UNT+3+" + std::to_string(i) + "'";
    r = Run("dump --format json '" + Write("many.edi", many + "UNZ+20000+7'") + "'", "", MemoryLimit);
    EXPECT_EQ(r.Exit, 0) << r.Err;
    doc = Json(r.Out);
    ASSERT_EQ(doc["nodes"].size(), 20002u);
    EXPECT_EQ(doc["nodes"][20000]["children"][2]["elements"][1]["value"], "20000");
    EXPECT_EQ(doc["nodes"][20001]["segment"], 60002);
}

TEST_F(CliTest, ShowPrintsTheDetailsPanel) {
    const std::string valid = Write("valid.edi", Valid);
    Result r = Run("show '" + valid + "' --segment 3");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "Segment: BGM\n"
                     "Description: BEGINNING OF MESSAGE\n"
                     "Segment data string:\n"
                     "BGM+220+PO?+1+9'\n"
                     "Segment field data details:\n"
                     "C002 DOCUMENT/MESSAGE NAME\n"
                     "  1001    [220]                         Document/message name, coded\n"
                     "1004      [PO+1]                        DOCUMENT/MESSAGE NUMBER\n"
                     "1225      [9]                           MESSAGE FUNCTION, CODED\n");

    // Segments read before an error can be shown. Latin-1 bytes (UNOC) become UTF-8 in JSON.
    const std::string bad =
        Write("bad.edi", "UNB+UNOC:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'BGM+220+\xE9t\xE9'XYZ+1'");
    r = Run("show '" + bad + "' --segment 3 --format json");
    EXPECT_EQ(r.Exit, 1);
    nlohmann::json doc = Json(r.Out);
    EXPECT_EQ(doc["segment"]["tag"], "BGM");
    EXPECT_EQ(doc["segment"]["raw"], "BGM+220+\u00e9t\u00e9'");
    EXPECT_EQ(doc["segment"]["location"]["offset"], 51);
    EXPECT_EQ(doc["segment"]["lines"][0], "C002 DOCUMENT/MESSAGE NAME");
    EXPECT_EQ(doc["segment"]["elements"][1]["value"], "\u00e9t\u00e9");
    EXPECT_EQ(doc["segment"]["elements"][2]["value"], nullptr);
    r = Run("show '" + bad + "' --segment 3");
    EXPECT_NE(r.Out.find("BGM+220+\xE9t\xE9'\n"), std::string::npos); // text output keeps the bytes
    EXPECT_EQ(doc["errors"][0]["text"], "XYZ");
    EXPECT_EQ(doc["errors"][0]["code"], "segment");

    // Texts are decoded as the viewer decodes them: UTF-8 under syntax UNOY, and where a single-byte set is
    // declared but every byte above 127 forms UTF-8; Latin-1 otherwise (bad.edi above).
    const std::string unoa =
        Write("unoa.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'BGM+220+B\xC3\x9CTTNER'XYZ+1'");
    doc = Json(Run("show '" + unoa + "' --segment 3 --format json").Out);
    EXPECT_EQ(doc["segment"]["elements"][1]["value"], "B\u00dcTTNER");
    EXPECT_EQ(doc["segment"]["lines"][2].get<std::string>().substr(10, 10), "[B\u00dcTTNER]");
    const std::string unoy =
        Write("unoy.edi", "UNB+unoy:4+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'BGM+220+B\xC3\x9CTTNER'XYZ+1'");
    doc = Json(Run("show '" + unoy + "' --segment 3 --format json").Out);
    EXPECT_EQ(doc["segment"]["elements"][1]["value"], "B\u00dcTTNER");
    EXPECT_EQ(doc["segment"]["raw"], "BGM+220+B\u00dcTTNER'");

    r = Run("show - --segment 1", valid);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(
        r.Out.substr(0, r.Out.find('\n', r.Out.find("string:\n") + 8) + 1),
        "Segment: UNB\nDescription: \nSegment data string:\nUNB+UNOA:2+SENDER+RECIPIENT+990101:1200+1234'\n");
}

TEST_F(CliTest, CodeNamesAndUnknownCodesWithTheReleasesCodeLists) {
    const std::string codes = Write("std/D96A/CODES.CLT", "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n"
                                                          "=3035\nBY\tBuyer\nSU\tSupplier\n");
    const std::string valid = Write("valid.edi", Valid);
    Result r = Run("show '" + valid + "' --segment 3");
    EXPECT_NE(r.Out.find("  1001    [220] Order                   Document/message name, coded\n"),
              std::string::npos)
        << r.Out;
    nlohmann::json doc = Json(Run("show '" + valid + "' --segment 5 --format json").Out);
    EXPECT_EQ(doc["segment"]["elements"][0]["code_name"], "Buyer");
    EXPECT_EQ(doc["segment"]["lines"][0].get<std::string>().substr(0, 21), "3035      [BY] Buyer ");
    EXPECT_EQ(Run("check --strict '" + valid + "'").Exit, 0);

    const std::string unknown =
        Write("unknown.edi", Lines({"UNB+UNOA:2+S+R+990101:1200+7'", "UNH+1+ORDERS:D:96A:UN'", "BGM+221'",
                                    "NAD+ZZ'", "UNT+4+1'", "UNZ+1+7'"}));
    EXPECT_EQ(Run("check '" + unknown + "'").Exit, 0);
    r = Run("check --strict --format json '" + unknown + "'");
    EXPECT_EQ(r.Exit, 1);
    doc = Json(r.Out);
    ASSERT_EQ(doc["warnings"].size(), 2u) << r.Out;
    EXPECT_EQ(doc["warnings"][0]["code"], "code");
    EXPECT_EQ(doc["warnings"][0]["text"],
              "Code \"221\" of BGM/C002/1001 (Document/message name, coded) is not in the code list of D96A");
    EXPECT_EQ(doc["warnings"][1]["location"]["line"], 4);
    fs::remove(codes);
}

TEST_F(CliTest, MessagesWithoutAnInstalledDefinition) {
    const std::string file = Write("d01b.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:01B:UN'BGM+220'"
                                               "UNT+3+1'UNZ+1+7'");
    // A table of the same name in the current directory is never used instead.
    Result r = Run("check '" + file + "'", "", "cd '" + (dir_ / "std" / "D96A").string() + "' && ");
    EXPECT_EQ(r.Exit, 1);
    const std::string std = (dir_ / "std").string();
    EXPECT_EQ(r.Err,
              file +
                  ":1:30: error: No definition of message ORDERS version D release 01B: standard D01B is "
                  "not installed in " +
                  std +
                  " (installed: D96A) [segment 2, UNH, byte 29]\n  To add a directory release: "
                  "talmiro-cli import-untdid d01b.zip --out " +
                  std + " --compile\n");
    nlohmann::json doc = Json(Run("check --format json '" + file + "'").Out);
    EXPECT_EQ(doc["errors"][0]["code"], "no-definition");
    EXPECT_EQ(doc["errors"][0]["hint"],
              "To add a directory release: talmiro-cli import-untdid d01b.zip --out " + std + " --compile");
    // A release that is installed but lacks the message names the file it looked for.
    const std::string invoic =
        Write("invoic.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+INVOIC:D:96A:UN'BGM+220'"
                            "UNT+3+1'UNZ+1+7'");
    doc = Json(Run("dump --format json '" + invoic + "'").Out);
    EXPECT_EQ(doc["errors"][0]["code"], "no-definition");
    EXPECT_EQ(doc["errors"][0]["text"], "No definition of message INVOIC version D release 96A: " + std +
                                            "/D96A/INVOIC.MDT does not exist (installed: D96A)");
}

TEST_F(CliTest, ByteOrderMarkAndSyntaxVersion4) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string marked = Write("bom.edi", bom + Valid);
    Result r = Run("check --strict '" + marked + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    // Columns and offsets count the mark's bytes, as an editor showing the file's bytes would.
    const std::string body = "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'XYZ+1'";
    const std::string broken = Write("bom-broken.edi", bom + body);
    r = Run("check '" + broken + "'");
    const std::string at = std::to_string(3 + body.find("XYZ"));
    EXPECT_EQ(r.Err, broken + ":1:" + std::to_string(4 + body.find("XYZ")) +
                         ": error: XYZ [segment 3, XYZ, byte " + at + "]\n");
    // Nothing read yet: the place is that of the first segment, after the mark and the advice.
    const std::string unh = Write("bom-unh.edi", bom + "UNA:+.? 'UNH+1'");
    nlohmann::json doc = Json(Run("check --format json '" + unh + "'").Out);
    EXPECT_EQ(doc["errors"][0]["location"]["offset"], 12);

    // Version 4: repeats separated by the repetition separator; more than the definition allows is a
    // strict warning, and show lists every occurrence.
    const std::string v4 =
        Write("v4.edi", "UNA:+.?*'UNB+UNOC:4:40102+S:14:IN+R+20240101:1200+7'"
                        "UNH+1+ORDERS:D:96A:UN'BGM+220'NAD+BY'CTA+IC'COM+1*2*3'UNT+6+1'UNZ+1+7'");
    r = Run("check '" + v4 + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    r = Run("check --strict '" + v4 + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_NE(r.Err.find("warning: COM/3148 occurs 3 times, at most 2 allowed [segment 6, COM"),
              std::string::npos)
        << r.Err;
    r = Run("show '" + v4 + "' --segment 6");
    EXPECT_NE(r.Out.find("3148 [3]  [3]                           Communication number\n"), std::string::npos)
        << r.Out;
    doc = Json(Run("show --format json '" + v4 + "' --segment 6").Out);
    EXPECT_EQ(doc["segment"]["elements"].size(), 3u);
    EXPECT_EQ(doc["segment"]["elements"][2]["occurrence"], 3);
    EXPECT_EQ(doc["segment"]["elements"][2]["value"], "3");
    doc = Json(Run("show --format json '" + v4 + "' --segment 1").Out);
    EXPECT_EQ(doc["segment"]["elements"][0]["elements"][2]["id"], "0080");
    EXPECT_EQ(doc["segment"]["elements"][0]["elements"][2]["value"], "40102");
    EXPECT_EQ(doc["segment"]["elements"][1]["elements"][2]["description"],
              "Interchange sender internal identification");
}

TEST_F(CliTest, FoldersAreCheckedInOrderOnSeveralThreads) {
    // A tree of files, with hidden ones, a file that is no interchange and one that cannot be read.
    fs::create_directories(dir_ / "batch" / "b" / "deep");
    fs::create_directories(dir_ / "batch" / ".hidden");
    const std::string valid = Valid;
    std::string broken = Valid;
    broken.replace(broken.find("BGM"), 3, "XYZ");
    for (int i = 0; i < 24; ++i) {
        const std::string name = "batch/" +
                                 std::string(i % 3 == 0   ? "b/deep/"
                                             : i % 3 == 1 ? "b/"
                                                          : "") +
                                 "f" + std::to_string(100 + i) + ".edi";
        Write(name, i % 5 == 0 ? broken : valid);
    }
    Write("batch/notes.txt", "not an interchange");
    Write("batch/.hidden/skipped.edi", broken);
    Write("batch/.skipped.edi", broken);
    Write("batch/b/unreadable.edi", valid);
    fs::permissions(dir_ / "batch" / "b" / "unreadable.edi", fs::perms::none);
    const bool root = ::geteuid() == 0; // root reads it all the same

    const std::string folder = (dir_ / "batch").string();
    Result one = Run("check --jobs 1 '" + folder + "'");
    Result two = Run("check --jobs 3 '" + folder + "'");
    Result json1 = Run("check -j 1 --strict --format json '" + folder + "' '" + folder + "/f102.edi'");
    Result json2 = Run("check -j 4 --strict --format json '" + folder + "' '" + folder + "/f102.edi'");
    EXPECT_EQ(one.Exit, root ? 1 : 2);
    EXPECT_EQ(two.Exit, one.Exit);
    EXPECT_EQ(two.Out, one.Out);
    EXPECT_EQ(two.Err, one.Err);
    EXPECT_EQ(json2.Out, json1.Out);
    EXPECT_EQ(json2.Err, json1.Err);

    // Sorted by path, hidden entries skipped, each file once in the output.
    std::vector<std::string> named;
    std::istringstream lines(json1.Out);
    for (std::string line; std::getline(lines, line);)
        named.push_back(Json(line)["file"].get<std::string>());
    ASSERT_EQ(named.size(), 27u);
    EXPECT_TRUE(std::is_sorted(named.begin(), named.end() - 1));
    EXPECT_EQ(named.front(), folder + "/b/deep/f100.edi");
    EXPECT_EQ(named[25], folder + "/notes.txt");
    EXPECT_EQ(named.back(), folder + "/f102.edi");
    for (const std::string& name : named)
        EXPECT_EQ(name.find("hidden"), std::string::npos) << name;
    EXPECT_EQ(one.Err.find("skipped"), std::string::npos);

    // The summary closes standard error when more than one file was checked.
    const std::string summary = root ? "26 files checked: 20 valid, 6 invalid, 0 unreadable\n"
                                     : "26 files checked: 19 valid, 6 invalid, 1 unreadable\n";
    ASSERT_GE(one.Err.size(), summary.size());
    EXPECT_EQ(one.Err.substr(one.Err.size() - summary.size()), summary);
    EXPECT_NE(one.Err.find(folder + "/notes.txt:1:1: error: Invalid segment ID \"not \"."),
              std::string::npos);
    Result single = Run("check '" + folder + "/f102.edi'");
    EXPECT_EQ(single.Err, "");
    fs::permissions(dir_ / "batch" / "b" / "unreadable.edi", fs::perms::owner_all);
}

TEST_F(CliTest, AckWritesEachAnswerBesideItsInputAndNeverOverOne) {
    fs::create_directories(dir_ / "ack" / "sub");
    const std::string valid = Write("ack/valid.edi", Valid);
    std::string broken = Valid;
    broken.replace(broken.find("BGM"), 3, "XYZ");
    Write("ack/sub/broken.edi", broken);
    Write("ack/sub/old.edi.contrl", "left alone");
    const std::string notes = Write("ack/notes.txt", "not an interchange");
    const std::string fixed = " --date 240301:0815 --reference R7";

    Result r = Run("ack -o - '" + valid + "'" + fixed);
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "UNA:+.? '\nUNB+UNOA:2+RECIPIENT+SENDER+240301:0815+R7'\nUNH+1+CONTRL:D:3:UN'\n"
                     "UCI+1234+SENDER+RECIPIENT+7'\nUCM+1+ORDERS:D:96A:UN+7'\nUNT+4+1'\nUNZ+1+R7'\n");
    EXPECT_EQ(r.Err, valid + ": acknowledged, CONTRL written to standard output\n");

    // Folders on several threads: NAME.contrl beside each input, earlier answers not answered again.
    const std::string folder = (dir_ / "ack").string();
    Result batch = Run("ack -j 2 '" + folder + "'" + fixed);
    EXPECT_EQ(batch.Exit, 2);
    EXPECT_EQ(ReadText(folder + "/valid.edi.contrl"), r.Out);
    EXPECT_NE(ReadText(folder + "/sub/broken.edi.contrl").find("UCS+2+15'"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder + "/notes.txt.contrl"));
    EXPECT_FALSE(fs::exists(folder + "/sub/old.edi.contrl.contrl"));
    EXPECT_NE(batch.Err.find(notes + ": not an interchange, no acknowledgement written: Invalid segment ID"),
              std::string::npos);
    EXPECT_NE(batch.Err.find("3 files checked: 1 valid, 1 invalid, 1 unreadable"), std::string::npos);
    // --out-dir keeps the folders below the input folder.
    Result out = Run("ack --out-dir '" + (dir_ / "answers").string() + "' '" + folder + "'" + fixed);
    EXPECT_EQ(ReadText(dir_ / "answers" / "sub" / "broken.edi.contrl"),
              ReadText(folder + "/sub/broken.edi.contrl"));

    // Never over an input, and no half-checked options.
    EXPECT_EQ(Run("ack -o '" + valid + "' '" + valid + "'").Exit, 2);
    EXPECT_EQ(ReadText(valid), Valid);
    EXPECT_EQ(Run("ack --date 241301:0815 '" + valid + "'").Err,
              "talmiro-cli: --date: the date \"241301\" is not a date\n");
    EXPECT_EQ(Run("ack -o x.contrl '" + folder + "'").Exit, 2);
}

} // namespace
} // namespace talmiro

namespace talmiro {
namespace {

TEST_F(CliTest, FormatWritesOverItsInputOnlyWhenAsked) {
    std::string wrong = Valid;
    wrong.replace(wrong.find("UNT+10+1"), 8, "UNT+9+1");
    const std::string file = Write("format.edi", wrong);
    Result r = RunPlain("format '" + file + "' -o '" + file + "'");
    EXPECT_EQ(r.Exit, 2);
    EXPECT_EQ(r.Err, "talmiro-cli: " + file +
                         " is the input file; to write over it, give --in-place instead of -o\n");
    EXPECT_EQ(ReadText(file), wrong);
    EXPECT_EQ(RunPlain("format - --in-place").Exit, 2);

    r = RunPlain("format '" + file + "' --fix-counts --one-line --in-place");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Err, file + ": segment 11: UNT segment count 9 becomes 10\n");
    std::string fixed = Valid;
    std::erase(fixed, '\r');
    std::erase(fixed, '\n');
    EXPECT_EQ(ReadText(file), fixed);
    EXPECT_EQ(RunPlain("format '" + file + "'").Out, fixed);
}

TEST_F(CliTest, ExportAndImportWriteNothingForInputTheyRefuse) {
    const std::string file = Write("export.edi", Valid);
    const std::string json = (dir_ / "export.json").string(), back = (dir_ / "back.edi").string();
    Result r = Run("export '" + file + "' --to json -o '" + json + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    r = RunPlain("import '" + json + "' -o '" + back + "'");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    std::string lines = Valid;
    std::erase(lines, '\r');
    EXPECT_EQ(ReadText(back), lines);

    const std::string bad =
        Write("bad.edi", "UNB+UNOA:2+S+R+990101:1200+7'UNH+1+ORDERS:D:96A:UN'DTM+1'UNT+2+1'UNZ+1+7'");
    r = Run("export '" + bad + "' --to xml -o '" + json + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, "talmiro-cli: " + bad +
                         ": cannot be exported: Segment sequence error: BGM expected but DTM found.\n");
    r = RunPlain("import '" + bad + "' -o '" + back + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, "talmiro-cli: " + bad + ": Neither a JSON nor an XML export\n");
    // What the failed commands would have replaced is still there.
    EXPECT_EQ(nlohmann::json::parse(ReadText(json))["format"], "talmiro-export");
    EXPECT_EQ(ReadText(back), lines);
}

// A real letter in Latin-1 from a public collection: its message type is in no UN directory, so it gets a
// table of the segments it uses. Nothing takes the Latin-1 bytes for UTF-8: the text outputs keep them as
// they are and JSON decodes them as Latin-1.
TEST_F(CliTest, RealLatin1FileStaysLatin1) {
    const fs::path file =
        fs::path(TALMIRO_SOURCE_DIR) / "../shared/data/samples/nerdocs__pydifact/tests/data/patient1.edi";
    if (!fs::exists(file)) GTEST_SKIP() << "the shared sample collection is not here";
    const char* const sdf = R"(SEGMENTS
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14);
  COMPOSIT 'S009' FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); FIELD '0054' ALNUM (1:3);
    FIELD '0051' ALNUM (1:2); END;
END;
SEGMENT 'BGM' FIELD '1001' ALNUM (1:3); FIELD 'X1' ALNUM (0:35); FIELD 'X2' ALNUM (0:35);
  FIELD 'X3' ALNUM (0:35); FIELD 'X4' ALNUM (0:35); FIELD 'X5' ALNUM (0:35); FIELD 'X6' ALNUM (0:35); END;
SEGMENT 'FTX' DESCRIPTION 'FREE TEXT'; FIELD '4451' ALNUM (1:3); FIELD '4453' ALNUM (0:3);
  COMPOSIT 'C108' DESCRIPTION 'TEXT LITERAL'; FIELD '4440' ALNUM (0:512) DESCRIPTION 'Free text';
    FIELD '4441' ALNUM (0:512); FIELD '4442' ALNUM (0:512); END;
END;
SEGMENT 'NAD' FIELD '3035' ALNUM (1:3); COMPOSIT 'C082' FIELD '3039' ALNUM (1:35); END;
  COMPOSIT 'C058' FIELD '3124' ALNUM (0:35); FIELD '3125' ALNUM (0:35); FIELD '3126' ALNUM (0:35);
    FIELD '3127' ALNUM (0:35); FIELD '3128' ALNUM (0:35); END;
  FIELD 'X1' ALNUM (0:35); FIELD 'X2' ALNUM (0:35); FIELD '3164' ALNUM (0:35); FIELD 'X3' ALNUM (0:35);
  FIELD '3251' ALNUM (0:9);
END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
END;
)";
    const char* const mdf = R"(MESSAGE 'MEDRPT'
IDENTIFICATION 65 = 'MEDRPT', 52 = '1', 54 = '901', 51 = 'UN'
SEGMENTS '1901';
STRUCTURE
SEGMENT 'UNH' MANDATORY (1); SEGMENT 'BGM' MANDATORY (1); SEGMENT 'FTX' CONDITIONAL (99);
SEGMENT 'NAD' CONDITIONAL (9); SEGMENT 'UNT' MANDATORY (1);
END;
)";
    const fs::path std = dir_ / "latin1";
    test::CompileRelease(std, "1901", sdf, {{"MEDRPT", mdf}});
    const std::string with = " '" + file.string() + "' --standards '" + std.string() + "'";

    // Its UNB splits date and time into two elements, which the reader finds out at UNZ; that is all.
    Result r = RunPlain("check --strict --format json" + with);
    const nlohmann::json doc = Json(r.Out);
    EXPECT_EQ(doc["errors"].size(), 1u) << r.Out;
    EXPECT_EQ(doc["errors"][0]["location"]["tag"], "UNZ") << r.Out;
    for (const auto& w : doc["warnings"])
        EXPECT_NE(w["code"], "charset") << w.dump();

    // The 8th segment holds "Beispielstra\xDFe?. 13".
    r = RunPlain("show --segment 8" + with);
    EXPECT_NE(r.Out.find("Beispielstra\xDF"
                         "e. 13"),
              std::string::npos)
        << r.Out;
    r = RunPlain("dump --format json" + with);
    EXPECT_NE(r.Out.find("Beispielstra\xC3\x9F"
                         "e. 13"),
              std::string::npos)
        << r.Out;
}

} // namespace
} // namespace talmiro
