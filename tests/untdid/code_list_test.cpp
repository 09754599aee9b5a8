// The code-list reader on small texts of both layouts and their quirks.
#include "talmiro/untdid.h"

#include <gtest/gtest.h>

using namespace talmiro::untdid;
using talmiro::TCodeLists;

namespace {

std::string Name(const TCodeLists& lists, const char* element, const char* code) {
    const std::string* name = lists.Name(element, code);
    return name ? *name : "<none>";
}

} // namespace

TEST(CodeListDirectory, NinetiesLayoutWithRightAlignedCodesAndIndicators) {
    // CP437 box rule and CRLF as in UNCL-1.96A: codes right-aligned before column 10, names from column
    // 10, wrapped names in that column, descriptions further in; "-" deletes a code, "X" only marks it.
    const std::string rule(70, '\xC4');
    std::string raw = "PART 5  Code lists\r\n\r\n      + Added\r\n      - Deleted\r\n" + rule +
                      "\r\n* 3055  Code list responsible agency, coded\r\n\r\n"
                      "  Desc: Code identifying the agency responsible for a code list.\r\n\r\n"
                      "  Repr: an..3\r\n\r\n"
                      "  Note: If national code needed, use 1131 and\r\n"
                      "        3055.\r\n\r\n"
                      "        6 UN/ECE (United Nations - Economic Commission for Europe)\r\n"
                      "             Generic: see also 140, 141, 142, 162.\r\n"
                      "        7 CEFIC (Conseil Europeen des Federations de l'Industrie\r\n"
                      "          Chimique)\r\n"
                      "             EDI project for chemical industry.\r\n"
                      "-       8 EDIFICE\r\n"
                      "             Deleted.\r\n"
                      "X     ZZZ Mutually defined\r\n"
                      "#|     90 Name changed\r\n" +
                      rule + "\r\n- 9999  Element deleted in this release\r\n\r\n  Repr: an..3\r\n\r\n"
                      "        1 Gone\r\n" +
                      rule + "\r\n  0001  Syntax identifier\r\n\r\n  Repr: a4\r\n\r\n"
                      "   UNOA   UN/ECE level A\r\n             As defined in ISO 9735.\r\n";
    TCodeLists lists;
    std::vector<TImportWarning> warnings;
    ParseCodeLists(Cp437ToText(raw), "UNCL-1.96A", lists, warnings);
    lists.Seal();
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    EXPECT_EQ(lists.ListCount(), 2u);
    EXPECT_EQ(Name(lists, "3055", "6"), "UN/ECE (United Nations - Economic Commission for Europe)");
    EXPECT_EQ(Name(lists, "3055", "7"), "CEFIC (Conseil Europeen des Federations de l'Industrie Chimique)");
    EXPECT_EQ(Name(lists, "3055", "8"), "<none>");
    EXPECT_EQ(Name(lists, "3055", "ZZZ"), "Mutually defined");
    EXPECT_EQ(Name(lists, "3055", "90"), "Name changed");
    EXPECT_EQ(Name(lists, "3055", "3055."), "<none>"); // the note's second line
    EXPECT_FALSE(lists.HasList("9999"));
    EXPECT_EQ(Name(lists, "0001", "UNOA"), "UN/ECE level A");
}

TEST(CodeListDirectory, LaterLayoutWithBlankLinesTabsAndDamage) {
    const std::string rule(70, '-');
    std::string text = "Change indicators\n\n" + rule +
                       "\n*    1001  Document name code                                      [C]\n\n"
                       "     Desc: Code specifying the document name.\n\n"
                       "     Repr: an..3\n\n"
                       "     1     Certificate of analysis\n"
                       "              Certificate providing the values of an analysis.\n\n"
                       "+    905   Air Consignment Security Declaration\n\n"
                       "     48    Written instructions in conformance with ADR article number\n"
                       "           10385\n"
                       "              Written instructions relating to dangerous goods.\n\n"
                       "X    2     Marked for deletion\n\n"
                       "+          Note: ebIX, a successor to the Ediel Nordic Forum, has\n"
                       "\t      previously been identified with the code\n"
                       "\xa0\xa0\xa0 D.12B.\n\n"
                       "     3     After the note\n\n" +
                       rule + "\n     3035  Party function code qualifier                           [C]\n\n"
                       "     Repr: an..3\n\n"
                       "     BY    Buyer\n"
                       "     " + std::string(40, 'X') + " far too long a code\n" + rule + "\n";
    TCodeLists lists;
    std::vector<TImportWarning> warnings;
    ParseCodeLists(text, "UNCL.21B", lists, warnings);
    lists.Seal();
    EXPECT_EQ(Name(lists, "1001", "1"), "Certificate of analysis");
    EXPECT_EQ(Name(lists, "1001", "905"), "Air Consignment Security Declaration");
    EXPECT_EQ(Name(lists, "1001", "48"), "Written instructions in conformance with ADR article number 10385");
    EXPECT_EQ(Name(lists, "1001", "2"), "Marked for deletion");
    EXPECT_EQ(Name(lists, "1001", "3"), "After the note");
    EXPECT_EQ(Name(lists, "1001", "previously"), "<none>");
    EXPECT_EQ(Name(lists, "3035", "BY"), "Buyer");
    EXPECT_EQ(lists.CodeCount(), 6u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].File, "UNCL.21B");
    EXPECT_EQ(warnings[0].Line, 33);
    EXPECT_TRUE(warnings[0].LosesData);
    EXPECT_EQ(warnings[0].Text.substr(0, 35), "unrecognised line in code list 3035");
}
