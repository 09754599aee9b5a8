// The validation shared by the viewer and the command-line tool: what is reported, where, and for which
// tree node.
#include "talmiro/validation.h"

#include "talmiro/charsets.h"
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
    bool Utf8 = false;
    std::string Utf8Undeclared;
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
    result.Utf8 = validator.Utf8;
    result.Utf8Undeclared = validator.Utf8Undeclared;
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

namespace {

// The ORDERS release of StandardsDir with statuses and a segment NAD that identifies parties by code
// list and agency, and its code lists.
const char* const StatusSdf = R"(SEGMENTS
SEGMENT 'UNH' FIELD '0062' ALNUM (1:14);
  COMPOSIT 'S009' FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); FIELD '0054' ALNUM (1:3);
  FIELD '0051' ALNUM (1:2); END;
END;
SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE';
  COMPOSIT 'C002' MANDATORY DESCRIPTION 'DOCUMENT/MESSAGE NAME';
    FIELD '1001' ALNUM (1:3) DESCRIPTION 'Document name code';
    FIELD '1131' ALNUM (1:17);
    FIELD '3055' ALNUM (1:3) DESCRIPTION 'Code list responsible agency code';
  END;
  FIELD '1004' ALNUM (1:35);
END;
SEGMENT 'DTM' COMPOSIT 'C507' FIELD '2005' ALNUM (1:3); END; END;
SEGMENT 'NAD' DESCRIPTION 'NAME AND ADDRESS';
  FIELD '3035' ALNUM (1:3) MANDATORY DESCRIPTION 'PARTY QUALIFIER';
  COMPOSIT 'C082'
    FIELD '3039' ALNUM (1:35) MANDATORY DESCRIPTION 'Party identifier';
    FIELD '1131' ALNUM (1:17);
    FIELD '3055' ALNUM (1:3) DESCRIPTION 'Code list responsible agency code';
  END;
  FIELD '3164' ALNUM (1:35) REPEAT (2);
END;
SEGMENT 'CTA' FIELD '3139' ALNUM (1:3) MANDATORY; END;
SEGMENT 'QTY' COMPOSIT 'C186' FIELD '6063' ALNUM (1:3); END; END;
SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
END;
)";

const char* const StatusCodes = "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n=3035\nBY\tBuyer\nSU\tSupplier\n"
                                "=3055\n6\tUN/ECE\n9\tGS1\n";

void UseStatusRelease(test::StandardsDir& standards, const std::string& codes) {
    test::CompileRelease(standards.Path, "D96A", StatusSdf, {{"ORDERS", test::OrdersMdf}});
    standards.Write("D96A/CODES.CLT", codes);
}

std::vector<std::string> Texts(const Checked& c) {
    std::vector<std::string> out;
    for (const TDiagnostic& d : c.Diagnostics)
        out.push_back(d.Code + " " + std::to_string(d.Location.Line) + ": " + d.Text);
    return out;
}

} // namespace

TEST(Validation, MandatoryElementsAndCodesOfTheRelease) {
    test::StandardsDir standards;
    UseStatusRelease(standards, StatusCodes);
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\n"
                                   "BGM+ZZZ+PO1'\n"           // 3: not a code of 1001
                                   "NAD++5412345000013::9'\n" // 4: no party qualifier
                                   "NAD+BY+:ZZ:9'\n"          // 5: identifier missing, 1131 given
                                   "NAD+SU'\n"                // 6: no C082, so nothing of it
                                   "NAD+XX+1::77'\n"          // 7: unknown qualifier and agency
                                   "CTA+'\n"                  // 8: CTA's only element missing
                                   "UNT+8+1'\nUNZ+1+7'\n";
    TValidationOptions options;
    EXPECT_TRUE(Check(standards, text, options).Diagnostics.empty());
    options.Strict = true;
    Checked c = Check(standards, text, options);
    EXPECT_TRUE(c.Completed);
    EXPECT_EQ(
        Texts(c),
        (std::vector<std::string>{
            "code 3: Code \"ZZZ\" of BGM/C002/1001 (Document name code) is not in the code list of D96A",
            "mandatory 4: Mandatory element NAD/3035 (PARTY QUALIFIER) is missing",
            "mandatory 5: Mandatory component NAD/C082/3039 (Party identifier) is missing",
            "code 7: Code \"XX\" of NAD/3035 (PARTY QUALIFIER) is not in the code list of D96A",
            "code 7: Code \"77\" of NAD/C082/3055 (Code list responsible agency code) is not in the "
            "code list of D96A",
            "mandatory 8: Mandatory element CTA/3139 is missing"}));
    EXPECT_EQ(c.NodeTexts[1], "NAD");

    // A composite that is mandatory; codes of other agencies and lists.
    const std::string more = Unb + "UNH+1+ORDERS:D:96A:UN'\n"
                                   "BGM++PO1'\n"    // 3: C002 missing
                                   "NAD+BY+1::9'\n" // 4: fine
                                   "UNT+4+1'\n"
                                   "UNH+2+ORDERS:D:96A:UN'\n"
                                   "BGM+ABC::9'\n" // 7: 1001 from GS1's list
                                   "UNT+3+2'\n"
                                   "UNH+3+ORDERS:D:96A:UN'\n"
                                   "BGM+ABC:X7'\n" // 10: 1001 from list X7
                                   "UNT+3+3'\n"
                                   "UNH+4+ORDERS:D:96A:UN'\n"
                                   "BGM+ABC::6'\n" // 13: 1001 from the UN list
                                   "UNT+3+4'\nUNZ+4+7'\n";
    Checked m = Check(standards, more, options);
    EXPECT_EQ(
        Texts(m),
        (std::vector<std::string>{
            "mandatory 3: Mandatory element BGM/C002 (DOCUMENT/MESSAGE NAME) is missing",
            "code 13: Code \"ABC\" of BGM/C002/1001 (Document name code) is not in the code list of D96A"}));
}

TEST(Validation, DamagedOrMissingCodeListsLeaveTheOtherChecks) {
    test::StandardsDir standards;
    UseStatusRelease(standards, "EDIFACT CODE LISTS 1\n220\tOrder\n");
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+ZZZ'\nNAD+'\nUNT+4+1'\n"
                                   "UNH+2+ORDERS:D:96A:UN'\nBGM+ZZZ'\nUNT+3+2'\nUNZ+2+7'\n";
    TValidationOptions options;
    options.Strict = true;
    Checked c = Check(standards, text, options);
    const std::string file = (standards.Path / "D96A" / "CODES.CLT").string();
    EXPECT_EQ(Texts(c),
              (std::vector<std::string>{
                  "table 2: Code list file " + file + " is damaged (line 2): code before the first list",
                  "mandatory 4: Mandatory element NAD/3035 (PARTY QUALIFIER) is missing"}));
    EXPECT_TRUE(c.Diagnostics[0].Warning);
    EXPECT_TRUE(c.Completed);
}

TEST(Validation, CharactersOutsideTheDeclaredRepertoire) {
    test::StandardsDir standards;
    TValidationOptions options;
    options.Strict = true;
    auto warnings = [&](const std::string& unb, const std::string& name) {
        std::vector<std::string> out;
        for (const TDiagnostic& d :
             Check(standards,
                   unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nNAD+BY+" + name + "'\nUNT+4+1'\nUNZ+1+7'\n",
                   options)
                 .Diagnostics)
            out.push_back(d.Code + " " + d.Text);
        return out;
    };
    // Released service characters are data like any other.
    EXPECT_EQ(warnings(Unb, "SMITH ?+ SONS"), std::vector<std::string>{});
    EXPECT_EQ(warnings(Unb, "Smith"),
              (std::vector<std::string>{
                  "charset Character \"m\" is not in the repertoire of UNOA, in NAD/X123456789"}));
    EXPECT_EQ(warnings("UNB+UNOB:2+S+R+990101:1200+7'\n", "Smith"), std::vector<std::string>{});
    // Latin-1 that is no UTF-8 stays Latin-1: é belongs to UNOC, a C1 control does not.
    EXPECT_EQ(
        warnings("UNB+UNOC:3+S+R+990101:1200+7'\n", "Caf\xE9 \x85"),
        (std::vector<std::string>{"charset Byte 0x85 is not in the repertoire of UNOC, in NAD/X123456789"}));
}

TEST(Validation, Utf8TextInASingleByteSetIsSaidOnceAndCountedInCharacters) {
    test::StandardsDir standards;
    // 35 characters, 36 bytes: the limit of X123456789 is 35.
    const std::string name = "WIDGET\xC2\xAE COMPANY 1234567890123456789";
    const std::string text = "UNB+UNOC:3+S+R+990101:1200+7'\nUNH+1+ORDERS:D:96A:UN'\nBGM+220'\nNAD+BY+" +
                             name + "'\nNAD+SU+EURO \xE2\x82\xAC'\nUNT+5+1'\nUNZ+1+7'\n";
    TValidationOptions options;
    Checked plain = Check(standards, text, options);
    EXPECT_TRUE(plain.Utf8);
    EXPECT_TRUE(plain.Diagnostics.empty());
    options.Strict = true;
    Checked c = Check(standards, text, options);
    EXPECT_TRUE(c.Utf8);
    EXPECT_EQ(c.Utf8Undeclared, "Text is UTF-8, but UNB declares UNOC");
    EXPECT_EQ(
        Texts(c),
        (std::vector<std::string>{
            "charset 4: Text is UTF-8, but UNB declares UNOC",
            "charset 5: Character \"\xE2\x82\xAC\" is not in the repertoire of UNOC, in NAD/X123456789"}));

    // The same bytes beside one that is no UTF-8: all of it is Latin-1, and the name is 36 characters.
    std::string latinText = text;
    latinText.replace(latinText.find("\xE2\x82\xAC"), 3, "\xFF");
    Checked latin = Check(standards, latinText, options);
    EXPECT_FALSE(latin.Utf8);
    EXPECT_TRUE(latin.Utf8Undeclared.empty());
    ASSERT_FALSE(latin.Diagnostics.empty());
    EXPECT_EQ(latin.Diagnostics[0].Code, "length");
}

TEST(Validation, LengthsUnderUnoyCountCharacters) {
    test::StandardsDir standards;
    std::string name;
    for (int i = 0; i < 35; ++i)
        name += "\xC3\xA9";
    TValidationOptions options;
    options.Strict = true;
    Checked c = Check(standards,
                      "UNB+UNOY:3+S+R+990101:1200+7'\nUNH+1+ORDERS:D:96A:UN'\nBGM+220'\nNAD+BY+" + name +
                          "'\nUNT+4+1'\nUNZ+1+7'\n",
                      options);
    EXPECT_TRUE(c.Utf8);
    EXPECT_TRUE(c.Utf8Undeclared.empty());
    EXPECT_TRUE(c.Diagnostics.empty()) << Texts(c).front();
}

// Lines end at LF, CR LF or a lone CR, wherever the ends fall: inside a run of bytes scanned together, at
// its edge, or at the edge of the file's read buffer (a CR before it, its LF after).
TEST(Validation, LocatorCountsLinesAcrossScannedBlocks) {
    std::string text;
    const char* const ends[] = {"\n", "\r\n", "\r", "\r\r\n", "\n\r"};
    for (int n = 0; text.size() < 200'000; ++n) {
        text.append(static_cast<size_t>(n * 7 % 23 + 1), 'x');
        text += ends[n % 5];
    }
    text += "x";
    // Read from the start in blocks of 64 KiB, the second and third keeping 16 KiB of the one before.
    for (const size_t edge : {65'536, 65'536 + 49'152, 65'536 + 2 * 49'152})
        text.replace(edge - 1, 3, "\r\nx");
    auto expectAt = [&](TLocator& locator, int64_t pos) {
        int64_t line = 1, lineStart = 0;
        for (int64_t p = 0; p < pos; ++p)
            if (text[p] == '\r' || (text[p] == '\n' && (p == 0 || text[p - 1] != '\r'))) ++line;
        for (int64_t p = pos; p-- > 0;)
            if (text[p] == '\r' || text[p] == '\n') {
                lineStart = p + 1;
                break;
            }
        const TLocation location = locator.At(pos, 1);
        EXPECT_EQ(location.Line, line) << "at byte " << pos;
        EXPECT_EQ(location.Column, pos - lineStart + 1) << "at byte " << pos;
    };
    test::TempDir dir;
    TFileStream stream(dir.Write("lines.edi", text));
    TLocator everywhere(stream);
    for (int64_t pos = 0; pos < static_cast<int64_t>(text.size()); pos += 1'009)
        if (text[pos] == 'x') expectAt(everywhere, pos);
    TLocator once(stream);
    expectAt(once, static_cast<int64_t>(text.size()) - 1);
}

// Latin-1 (UNOC): a control byte, DEL, a C1 byte or a byte above 127 is seen wherever it stands in a value
// of any length, among printable ASCII that is looked at eight bytes at a time.
TEST(Validation, RepertoireFlagsEveryByteWhereverItStands) {
    const TRepertoire latin1("UNOC");
    for (size_t length = 1; length <= 17; ++length)
        for (size_t at = 0; at < length; ++at)
            for (unsigned b = 0; b < 256; ++b) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(b);
                const uint8_t expected =
                    static_cast<uint8_t>((b < 0x20 || (b >= 0x7F && b < 0xA0) ? TRepertoire::Outside : 0) |
                                         (b >= 0x80 ? TRepertoire::High : 0));
                ASSERT_EQ(latin1.Flags(text), expected) << "byte " << b << " at " << at << " of " << length;
            }
}

} // namespace talmiro
