// The validation shared by the viewer and the command-line tool: what is reported, where, and for which
// tree node.
#include "talmiro/validation.h"

#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include "tree_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmiro {
namespace {

struct Checked {
    std::vector<TDiagnostic> Diagnostics;
    bool Completed = false;
    bool Raised = false;
    std::vector<std::string> NodeTexts; // the tree node of each diagnostic
};

Checked Check(test::StandardsDir& standards, const std::string& text, TValidationOptions options) {
    TInterchangeReader reader(&standards.Catalogue);
    TMemoryStream stream(text);
    TValidator validator(reader, stream, options);
    Checked result;
    result.Completed = validator.Run();
    validator.Locate();
    result.Diagnostics = validator.Diagnostics;
    result.Raised = validator.Error != nullptr;
    for (const TDiagnostic& d : result.Diagnostics)
        result.NodeTexts.push_back(d.Node == TInterchangeTree::None ? "-" : reader.Tree().Text(d.Node));
    return result;
}

std::vector<std::string> Summary(const Checked& c) {
    std::vector<std::string> out;
    for (const TDiagnostic& d : c.Diagnostics)
        out.push_back(std::string(d.Warning ? "W " : "E ") + d.Code + " " + std::to_string(d.Location.Line) +
                      ":" + std::to_string(d.Location.Column) + " " + d.GroupPath);
    return out;
}

const std::string Unb = "UNB+UNOA:2+S+R+990101:1200+7'\n";

} // namespace

TEST(Validation, StrictChecksNameTheElementAndTheSegmentNode) {
    test::StandardsDir standards;
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+2200+X'\nNAD+BY'\nCTA+TOOLONG'\n"
                                   "QTY+21:1,5'\nDTM+2:1:102'\nUNT+9+2'\nUNZ+2+8'\n";
    TValidationOptions options;
    Checked plain = Check(standards, text, options);
    EXPECT_TRUE(plain.Completed);
    EXPECT_TRUE(plain.Diagnostics.empty());

    options.Strict = true;
    Checked strict = Check(standards, text, options);
    EXPECT_TRUE(strict.Completed);
    EXPECT_FALSE(strict.Raised);
    EXPECT_EQ(Summary(strict),
              (std::vector<std::string>{"W length 3:1 ", "W length 5:1 SG1/SG2", "W numeric 6:1 SG3",
                                        "W unt-count 8:1 ", "W unt-reference 8:1 ", "W unz-count 9:1 ",
                                        "W unz-reference 9:1 "}));
    EXPECT_EQ(strict.Diagnostics[0].Text, "Value \"2200\" of BGM/C002/1001 is longer than 3 characters");
    EXPECT_EQ(strict.Diagnostics[2].Text, "Value \"1,5\" of QTY/C186/6060 is not numeric");
    // Each warning belongs to the node of its segment.
    EXPECT_EQ(strict.NodeTexts, (std::vector<std::string>{"BGM", "CTA", "QTY", "UNT", "UNT", "UNZ", "UNZ"}));
}

TEST(Validation, AnErrorIsKeptForTheCallerWithItsPlace) {
    test::StandardsDir standards;
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nNAD+BY'\nXYZ+1'\nUNT+4+1'\nUNZ+1+7'\n";
    Checked c = Check(standards, text, {});
    EXPECT_FALSE(c.Completed);
    EXPECT_TRUE(c.Raised);
    ASSERT_EQ(c.Diagnostics.size(), 1u);
    EXPECT_EQ(c.Diagnostics[0].Code, "segment");
    EXPECT_EQ(c.Diagnostics[0].Text, "XYZ");
    EXPECT_EQ(c.Diagnostics[0].Location.Line, 5);
    EXPECT_EQ(c.Diagnostics[0].GroupPath, "SG1");
    // The node read last before the error: the one the viewer selects for it.
    EXPECT_EQ(c.NodeTexts[0], "NAD");
}

TEST(Validation, EverySequenceErrorWhenAsked) {
    test::StandardsDir standards;
    // Two messages, each with a quantity group that lacks its DTM; the reading goes on to UNZ.
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nQTY+21:5'\nUNT+4+1'\n"
                                   "UNH+2+ORDERS:D:96A:UN'\nBGM+220'\nQTY+21:6'\nUNT+4+2'\nUNZ+2+7'\n";
    Checked first = Check(standards, text, {});
    EXPECT_EQ(Summary(first), (std::vector<std::string>{"E sequence 5:1 SG3"}));
    EXPECT_FALSE(first.Completed);
    TValidationOptions options;
    options.AllErrors = true;
    Checked c = Check(standards, text, options);
    EXPECT_TRUE(c.Completed);
    EXPECT_FALSE(c.Raised);
    EXPECT_EQ(Summary(c), (std::vector<std::string>{"E sequence 5:1 SG3", "E sequence 9:1 SG3"}));
    EXPECT_EQ(c.Diagnostics[1].Text, "Segment sequence error: DTM expected but UNT found.");
    EXPECT_EQ(c.NodeTexts[1], "QTY");
}

TEST(Validation, MissingTablesAreAnErrorOnlyWhereAsked) {
    test::StandardsDir standards;
    const std::string text = Unb + "UNH+1+ORDERS:D:01B:UN'\nBGM+220'\nUNT+3+1'\nUNZ+1+7'\n";
    struct RestoreCwd {
        std::filesystem::path Saved = std::filesystem::current_path();
        ~RestoreCwd() { std::filesystem::current_path(Saved); }
    } restore;
    Checked c = Check(standards, text, {});
    ASSERT_EQ(c.Diagnostics.size(), 1u);
    EXPECT_EQ(c.Diagnostics[0].Code, "no-definition");
    EXPECT_NE(c.Diagnostics[0].Hint.find("import-untdid d01b.zip"), std::string::npos);

    // The viewer looks for the table in the current directory, as it always did.
    TValidationOptions viewer;
    viewer.NoDefinitionIsError = false;
    std::filesystem::current_path(standards.Path / "D96A");
    c = Check(standards, text, viewer);
    EXPECT_TRUE(c.Completed);
    EXPECT_TRUE(c.Diagnostics.empty());
}

} // namespace talmiro
