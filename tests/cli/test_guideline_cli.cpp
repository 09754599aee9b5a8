// talmiro-cli with implementation guidelines: the example guidelines of samples/guidelines compiled against
// the releases the build imported, their interchanges checked, and the ways a guideline is chosen.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace talmiro {
namespace {

namespace fs = std::filesystem;

struct Result {
    int Exit = -1;
    std::string Out, Err;
};

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const fs::path Samples = fs::path(TALMIRO_SOURCE_DIR) / "samples";

// A base directory of its own: the build's release D96A, the example guidelines compiled into guidelines/.
class GuidelineCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(fs::path(TALMIRO_BUILD_STANDARDS) / "D96A" / "ORDERS.MDT")) return;
        std::string pattern = (fs::temp_directory_path() / "talmiro-guideline-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        fs::create_directory_symlink(fs::path(TALMIRO_BUILD_STANDARDS) / "D96A", dir_ / "D96A");
        fs::create_directories(dir_ / "guidelines");
        for (const char* name : {"fennick_orders.gdf", "larkspur_iftmin.gdf"})
            fs::copy_file(Samples / "guidelines" / name, dir_ / "guidelines" / name);
        const Result r = Run("compile '" + (dir_ / "guidelines/fennick_orders.gdf").string() + "' '" +
                             (dir_ / "guidelines/larkspur_iftmin.gdf").string() + "'");
        ASSERT_EQ(r.Exit, 0) << r.Err;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    void SetUp() override {
        if (dir_.empty()) GTEST_SKIP() << "the build imported no release D96A";
        fs::remove(dir_ / "partners.ini");
    }

    static Result Run(const std::string& args) {
        const fs::path out = dir_ / "out.txt", err = dir_ / "err.txt";
        const bool compile = args.rfind("compile", 0) == 0;
        const std::string command = std::string("'") + TALMIRO_CLI + "' " + args +
                                    (compile ? "" : " --standards '" + dir_.string() + "'") + " >'" +
                                    out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        Result r;
        r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.Out = ReadText(out);
        r.Err = ReadText(err);
        return r;
    }
    static nlohmann::json Check(const std::string& args) {
        const Result r = Run("check --format json " + args);
        EXPECT_EQ(r.Err, "");
        return nlohmann::json::parse(r.Out);
    }
    // The warning codes of a JSON report, each with how often it occurs.
    static std::map<std::string, int> Codes(const nlohmann::json& doc) {
        std::map<std::string, int> codes;
        for (const auto& w : doc["warnings"])
            ++codes[w["code"].get<std::string>()];
        return codes;
    }
    static std::string Sample(const std::string& name) {
        return "'" + (Samples / "guidelines" / name).string() + "'";
    }

    static fs::path dir_;
};

fs::path GuidelineCliTest::dir_;

TEST_F(GuidelineCliTest, EachExampleBreaksExactlyItsRules) {
    const std::map<std::string, std::map<std::string, int>> expected = {
        {"fennick_orders_ok.edi", {}},
        {"fennick_orders_unused.edi", {{"guideline-unused", 3}}},
        {"fennick_orders_missing.edi", {{"guideline-missing", 4}}},
        {"fennick_orders_repeat.edi", {{"guideline-repeat", 2}}},
        {"fennick_orders_values.edi",
         {{"guideline-code", 2}, {"guideline-fixed", 2}, {"guideline-length", 1}}},
        {"fennick_orders_qualifier.edi", {{"guideline-qualifier", 2}}},
        {"larkspur_iftmin_ok.edi", {}},
        {"larkspur_iftmin_broken.edi",
         {{"guideline-code", 2}, {"guideline-fixed", 1}, {"guideline-missing", 2}, {"guideline-unused", 1}}},
    };
    for (const auto& [file, codes] : expected) {
        SCOPED_TRACE(file);
        // Chosen by the association code of UNH.
        const nlohmann::json doc = Check("--strict " + Sample(file));
        EXPECT_EQ(Codes(doc), codes);
        EXPECT_EQ(doc["errors"].size(), 0u);
        EXPECT_EQ(doc["valid"], codes.empty());
        const std::string id = file.rfind("fennick", 0) == 0 ? "FENNICK-ORDERS" : "LARKSPUR-IFTMIN";
        EXPECT_EQ(doc["messages"][0]["guideline"], id);
    }
}

TEST_F(GuidelineCliTest, ChosenByOptionOrPartnerOrNotAtAll) {
    // Without the guideline its own code SRV is not in the UN list, and no message names a guideline.
    nlohmann::json doc = Check("--strict --no-guideline " + Sample("fennick_orders_ok.edi"));
    EXPECT_EQ(Codes(doc), (std::map<std::string, int>{{"code", 1}}));
    EXPECT_FALSE(doc["messages"][0].contains("guideline"));
    // Without --strict an association code chooses nothing.
    doc = Check(Sample("fennick_orders_values.edi"));
    EXPECT_EQ(Codes(doc), (std::map<std::string, int>{}));

    // Named as a source file, for a message that does not name it: its checks run without --strict and fail
    // the check, and each warning names the rule's place.
    const std::string source = (Samples / "guidelines" / "fennick_orders.gdf").string();
    std::string values = ReadText(Samples / "guidelines" / "fennick_orders_values.edi");
    values.replace(values.find(":FNK01'"), 7, ":EAN008'");
    const std::string other = (dir_ / "values_ean.edi").string();
    std::ofstream(other, std::ios::binary) << values;
    doc = Check("--guideline '" + source + "' '" + other + "'");
    EXPECT_EQ(doc["valid"], false);
    EXPECT_EQ(doc["messages"][0]["guideline"], "FENNICK-ORDERS");
    ASSERT_EQ(doc["warnings"].size(), 5u);
    EXPECT_EQ(
        doc["warnings"][0]["rule"],
        (nlohmann::json{{"guideline", "FENNICK-ORDERS"}, {"file", source}, {"line", 12}, {"column", 11}}));

    // The partner file: the sender with its qualifier chooses the guideline; another qualifier does not.
    std::ofstream(dir_ / "partners.ini")
        << "; retail partners\n[5412345000013:14]\nguidelines = NONE, FENNICK-ORDERS\n";
    doc = Check("--strict '" + other + "'");
    EXPECT_EQ(doc["messages"][0]["guideline"], "FENNICK-ORDERS");
    EXPECT_EQ(Codes(doc).count("guideline-fixed"), 1u);
    std::ofstream(dir_ / "partners.ini") << "[5412345000013:ZZ]\nguidelines = FENNICK-ORDERS\n";
    doc = Check("--strict '" + other + "'");
    EXPECT_FALSE(doc["messages"][0].contains("guideline"));
    EXPECT_EQ(Codes(doc).count("guideline-fixed"), 0u);
}

TEST_F(GuidelineCliTest, CompileErrorsNameFileLineAndColumn) {
    const fs::path bad = dir_ / "guidelines" / "bad.gdf";
    std::ofstream(bad)
        << "GUIDELINE 'B' 'Bad';\nMESSAGE 'ORDERS' 'D' '96A' 'UN';\nSEGMENT 'SG2/NAD' MAX 100; END;\nEND;\n";
    const Result r = Run("compile '" + bad.string() + "'");
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, bad.string() + ":3:19: error: Maximum 100 is above 99 in ORDERS D96A\n");
    EXPECT_FALSE(fs::exists(dir_ / "guidelines" / "bad.GDT"));
    // A guideline named for a check is refused in the same words, before any file is read.
    const Result check = Run("check --guideline '" + bad.string() + "' " + Sample("fennick_orders_ok.edi"));
    EXPECT_EQ(check.Exit, 2);
    EXPECT_EQ(check.Err, bad.string() + ":3:19: error: Maximum 100 is above 99 in ORDERS D96A\n");
}

// Every tag of an XHTML-style document closed in order (a void element closes itself).
bool Balanced(const std::string& html) {
    std::vector<std::string> open;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        const size_t end = html.find('>', at);
        if (end == std::string::npos) return false;
        std::string tag = html.substr(at + 1, end - at - 1);
        if (tag.empty()) return false;
        if (tag[0] == '!' || tag.back() == '/') continue;
        tag = tag.substr(0, tag.find(' '));
        if (tag[0] != '/')
            open.push_back(tag);
        else if (open.empty() || open.back() != tag.substr(1))
            return false;
        else
            open.pop_back();
    }
    return open.empty();
}

TEST_F(GuidelineCliTest, DocumentShowsStructureElementsCodesAndNotes) {
    // Both forms say the same: SG2 (started by NAD) required at most 4 times with its variants, an element
    // rule of BGM beside its UN name, the added code with its name, a note.
    const Result md = Run("guideline doc FENNICK-ORDERS");
    ASSERT_EQ(md.Exit, 0) << md.Err;
    for (const char* line :
         {"| SG2 NAD | C | 99 | R | 4 | Parties; 3035 BY R max 1 Buyer (the ordering store); 3035 SU R max 1 "
          "Supplier; 3035 DP O max 1 Delivery point |  |",
          "|  | C002/1001 | Document/message name, coded | R | Order or blanket order | codes 220, 221 |  |",
          "| 7143 | Item number type | adds SRV (Fennick article number) |  |",
          "| ..SG2/SG3 RFF | C | 10 | C | 10 | C506/1153 VA O max 1 VAT number |  |"})
        EXPECT_NE(md.Out.find(std::string(line) + "\n"), std::string::npos) << line;
    EXPECT_NE(md.Out.find("Fennick orders in euro only."), std::string::npos);
    const Result html = Run("guideline doc FENNICK-ORDERS --format html");
    ASSERT_EQ(html.Exit, 0) << html.Err;
    EXPECT_TRUE(Balanced(html.Out));
    EXPECT_NE(html.Out.find("<tr><td>SG2 NAD</td><td>C</td><td>99</td><td>R</td><td>4</td>"),
              std::string::npos);
    EXPECT_NE(html.Out.find("<td>adds SRV (Fennick article number)</td>"), std::string::npos);

    // Text of the guideline's own is escaped in each form, and a note over two source lines stays in its
    // table row.
    const fs::path source = dir_ / "escaped.gdf";
    std::ofstream(source)
        << "GUIDELINE 'ESC' 'A <b> & c';\nMESSAGE 'ORDERS' 'D' '96A' 'UN';\n"
           "SEGMENT 'FTX' NOTE 'x|y <i> & z\\w\nmore';\n  ELEMENT '4451' NOTE 'n';\nEND;\nEND;\n";
    const Result mdEsc = Run("guideline doc '" + source.string() + "'");
    EXPECT_NE(mdEsc.Out.find("| FTX | C | 99 | C | 99 |  | x\\|y \\<i> & z\\\\w more |\n"), std::string::npos)
        << mdEsc.Out;
    const Result htmlEsc = Run("guideline doc --format html '" + source.string() + "'");
    EXPECT_TRUE(Balanced(htmlEsc.Out));
    EXPECT_NE(htmlEsc.Out.find("<h1>A &lt;b&gt; &amp; c (ESC)</h1>"), std::string::npos) << htmlEsc.Out;
}

} // namespace
} // namespace talmiro
