// The guideline compiler against a small base message of its own, and the guideline table's loader.
#include "compiler_test_util.h"

#include "talmiro/guideline.h"

#include <tuple>

namespace talmiro {
namespace {

using test::TempDir;

const char* const BaseSdf = R"(SEGMENTS
SEGMENT 'UNH'
  FIELD '0062' ALNUM (1:14) MANDATORY;
  COMPOSIT 'S009' MANDATORY
    FIELD '0065' ALNUM (1:6) MANDATORY;
  END;
END;
SEGMENT 'BGM'
  COMPOSIT 'C002'
    FIELD '1001' ALNUM (1:3);
  END;
  FIELD '1004' ALNUM (1:35);
END;
SEGMENT 'DTM'
  COMPOSIT 'C507' MANDATORY
    FIELD '2005' ALNUM (1:3) MANDATORY;
    FIELD '2380' ALNUM (1:35);
  END;
END;
SEGMENT 'NAD'
  FIELD '3035' ALNUM (1:3) MANDATORY;
  FIELD '3039' ALNUM (1:35);
END;
SEGMENT 'UNT'
  FIELD '0074' NUMERIC (1:6) MANDATORY;
END;
END;
)";

const char* const BaseMdf = R"(MESSAGE 'ORDERS' IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A';
STRUCTURE
  SEGMENT 'UNH' MANDATORY (1);
  SEGMENT 'BGM' MANDATORY (1);
  SEGMENT 'DTM' MANDATORY (5);
  GROUP 'NAD' CONDITIONAL (3);
    SEGMENT 'NAD' MANDATORY (1);
    SEGMENT 'DTM' CONDITIONAL (2);
  END;
  SEGMENT 'DTM' CONDITIONAL (1);
  SEGMENT 'UNT' MANDATORY (1);
END;
)";

// A base directory with release D96A holding the message, and its code lists.
struct TBase {
    TBase() {
        for (auto [name, text] :
             {std::pair{"D96A/D96A.sdf", BaseSdf}, std::pair{"D96A/ORDERS.mdf", BaseMdf}}) {
            const std::string file = Dir.Write(name, text);
            std::unique_ptr<TCustomCompiler> c;
            if (file.ends_with(".sdf"))
                c = std::make_unique<TCompilerSDF>();
            else
                c = std::make_unique<TCompilerMDF>();
            c->SetSourceFile(file);
            c->Compile();
        }
        Dir.Write("D96A/CODES.CLT", "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n221\tBlanket order\n");
    }
    TGuideline Compile(const std::string& rules) const {
        TCompilerGDF compiler;
        compiler.StandardsDir = Dir.Path.string();
        compiler.SetSourceFile(Dir.Write("guidelines/g.gdf", "GUIDELINE 'G' 'Test';\n"
                                                             "MESSAGE 'ORDERS' 'D' '96A' 'UN';\n" +
                                                                 rules + "END;\n"));
        return compiler.CompileGuideline();
    }
    TempDir Dir;
};

TEST(CompilerGDF, RulesThatWidenTheMessageAreErrorsAtTheirPlace) {
    const TBase base;
    // The rules start on line 3 of the source.
    const std::vector<std::tuple<std::string, std::string, int, int>> cases = {
        {"SEGMENT 'NAD'; END;", "Segment NAD is not at that position in ORDERS D96A", 3, 9},
        {"SEGMENT 'SG1/DTM#2'; END;", "Segment SG1/DTM#2 is not at that position in ORDERS D96A", 3, 9},
        {"GROUP 'SG1' MAX 4; END;", "Maximum 4 is above 3 in ORDERS D96A", 3, 13},
        {"SEGMENT 'SG1/NAD' MAX 4; END;", "Maximum 4 is above 3 in ORDERS D96A", 3, 19},
        {"SEGMENT 'BGM' OPTIONAL; END;", "Status optional is weaker than mandatory in ORDERS D96A", 3, 15},
        {"SEGMENT 'DTM#2' MANDATORY; END;",
         "MANDATORY restates the status in ORDERS D96A; a guideline's own need is REQUIRED", 3, 17},
        {"SEGMENT 'BGM';\n  ELEMENT 'C002/9999'; END;", "Segment BGM has no element C002/9999", 4, 11},
        {"SEGMENT 'SG1/NAD';\n  ELEMENT '3035' NOT USED; END;",
         "Status not used is weaker than mandatory in ORDERS D96A", 4, 22},
        {"SEGMENT 'BGM';\n  ELEMENT '1004' LENGTH (1:40); END;", "Length 1:40 is outside 1:35 in ORDERS D96A",
         4, 18},
        {"SEGMENT 'BGM';\n  ELEMENT 'C002/1001' CODES ('220', 'ZZZ'); END;",
         "Code 'ZZZ' is not in the list of 1001 in ORDERS D96A; a code of the guideline's own is given with "
         "ADD",
         4, 37},
        {"SEGMENT 'BGM';\n  ELEMENT 'C002' FIXED 'X'; END;",
         "FIXED applies to simple elements, not to composite C002", 4, 18},
        {"SEGMENT 'DTM';\n  VARIANT '137'; END;\nEND;", "VARIANT needs a QUALIFIER of the segment", 4, 3},
        {"SEGMENT 'BGM'; END;\nSEGMENT 'BGM'; END;", "A rule for BGM is already given in line 3", 4, 9},
        {"GROUP 'SG1'; END;\nSEGMENT 'SG1/NAD'; END;", "A rule for SG1/NAD is already given in line 3", 4, 9},
        {"SEGMENT 'BGM' MAX; END;", "Integer constant expected", 3, 18},
    };
    for (const auto& [rules, text, line, column] : cases) {
        SCOPED_TRACE(rules);
        try {
            base.Compile(rules);
            ADD_FAILURE() << "no error";
        } catch (const EGuidelineError& e) {
            EXPECT_EQ(e.what(), text);
            EXPECT_EQ(e.Line, line);
            EXPECT_EQ(e.Column, column);
        }
    }
}

TEST(CompilerGDF, TableReadsBackWhatWasCompiled) {
    const TBase base;
    TGuideline g;
    try {
        g = base.Compile("ELEMENT '7143' ADD ('SRV' = 'Own number');\n"
                         "GROUP 'SG1' REQUIRED MAX 2 QUALIFIER '3035' NAME 'Parties';\n"
                         "  VARIANT 'BY', 'IV' REQUIRED MAX 1 NOTE 'Buyer';\n"
                         "    ELEMENT '3039' REQUIRED LENGTH (13:13);\n"
                         "  END;\n"
                         "END;\n"
                         "SEGMENT 'BGM';\n"
                         "  ELEMENT 'C002/1001' CODES ('220') ADD ('ZZ1' = 'Own') FIXED 'ZZ1';\n"
                         "END;\n");
    } catch (const EGuidelineError& e) {
        FAIL() << e.Line << ":" << e.Column << ": " << e.what();
    }
    TMemoryStream table;
    WriteGuideline(table, g);
    table.Seek(0);
    const TGuideline back = ReadGuideline(table);
    ASSERT_EQ(back.Rules.size(), 2u);
    const TGuidelineRule& parties = back.Rules[0];
    EXPECT_EQ(parties.Path, "SG1");
    EXPECT_TRUE(parties.Group);
    EXPECT_EQ(parties.Usage, TUsage::Required);
    EXPECT_EQ(parties.MaxRep, 2);
    EXPECT_EQ(parties.Qualifier, "3035");
    ASSERT_EQ(parties.Variants.size(), 1u);
    EXPECT_EQ(parties.Variants[0].Values, (std::vector<std::string>{"BY", "IV"}));
    EXPECT_EQ(parties.Variants[0].Note, "Buyer");
    ASSERT_EQ(parties.Variants[0].Elements.size(), 1u);
    EXPECT_EQ(parties.Variants[0].Elements[0].MinLength, 13);
    EXPECT_EQ(parties.Variants[0].Place.Line, 5);
    const TGuidelineElement& code = back.Rules[1].Elements.at(0);
    EXPECT_EQ(code.Fixed, "ZZ1");
    EXPECT_TRUE(code.Allows("ZZ1"));
    EXPECT_FALSE(code.Allows("221"));
    EXPECT_EQ(back.Elements.at(0).Added.at(0).second, "Own number");

    // A table cut short anywhere is refused with an error.
    const std::string bytes = table.Text();
    for (size_t n = 0; n < bytes.size(); ++n) {
        TMemoryStream cut;
        cut.Write(bytes.data(), n);
        cut.Seek(0);
        EXPECT_THROW(ReadGuideline(cut), Exception) << n;
    }
}

} // namespace
} // namespace talmiro
