// The segment directory reader on small texts of each layout generation and each quirk.
#include "talmiro/untdid.h"

#include <gtest/gtest.h>

using namespace talmiro::untdid;

namespace {

const std::string Rule(70, '-');

std::vector<TSegmentDef> Parse(const std::string& text, std::vector<TImportWarning>& warnings) {
    return ParseSegmentDirectory(text, "EDSD.TST", warnings);
}

void ExpectField(const TElementDef& e, const std::string& id, TRepr repr, int minSize, int maxSize,
                 const std::string& name) {
    EXPECT_FALSE(e.IsComposite) << id;
    EXPECT_EQ(e.ID, id);
    EXPECT_EQ(e.Repr, repr) << id;
    EXPECT_EQ(e.MinSize, minSize) << id;
    EXPECT_EQ(e.MaxSize, maxSize) << id;
    EXPECT_EQ(e.Name, name) << id;
}

} // namespace

TEST(SegmentDirectory, OldestLayoutWithoutPositionsTellsComponentsByLetterCase) {
    std::string text = "2. Segment directory\n" + Rule +
                       "\n\n  AGR  AGREEMENT IDENTIFICATION\n\n"
                       "  Function: To specify the agreement details.\n\n"
                       "  C543 AGREEMENT TYPE IDENTIFICATION                          C\n"
                       "  7431   Agreement type qualifier                             M an..3\n"
                       "  7434   Agreement type description                           C an..70\n\n"
                       "  9419 SERVICE LAYER, CODED                                   C an..3\n\n" +
                       Rule +
                       "\n\nX API  ADDITIONAL PRICE INFORMATION\n\n  Function: Pricing.\n"
                       "      Note:\n            Marked for deletion.\n\n"
                       "  4043 CLASS OF TRADE, CODED                                  C n6\n" +
                       Rule + "\n";
    std::vector<TImportWarning> warnings;
    auto segments = Parse(text, warnings);
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].Tag, "AGR");
    EXPECT_EQ(segments[0].Name, "AGREEMENT IDENTIFICATION");
    ASSERT_EQ(segments[0].Elements.size(), 2u);
    const TElementDef& c543 = segments[0].Elements[0];
    EXPECT_TRUE(c543.IsComposite);
    EXPECT_EQ(c543.Name, "AGREEMENT TYPE IDENTIFICATION");
    ASSERT_EQ(c543.Components.size(), 2u);
    ExpectField(c543.Components[1], "7434", TRepr::Alnum, 1, 70, "Agreement type description");
    ExpectField(segments[0].Elements[1], "9419", TRepr::Alnum, 1, 3, "SERVICE LAYER, CODED");
    EXPECT_EQ(segments[1].Tag, "API"); // the change indicator in column 0 is not part of the tag
    ASSERT_EQ(segments[1].Elements.size(), 1u);
    ExpectField(segments[1].Elements[0], "4043", TRepr::Numeric, 6, 6, "CLASS OF TRADE, CODED");
    EXPECT_FALSE(c543.Mandatory);
    EXPECT_TRUE(c543.Components[0].Mandatory);
    EXPECT_FALSE(c543.Components[1].Mandatory);
}

TEST(SegmentDirectory, PositionLayoutWithIndicatorsBlankLinesAndRepeats) {
    // CP437 box rule and CRLF, as in TRSD.94A; blank lines between components; an element deleted in
    // this release (no position); a repeated element.
    std::string rule(70, '\xC4');
    std::string raw = "2.    Segment directory\r\n\r\n      * Change in structure\r\n\r\n" + rule +
                      "\r\n\r\n      ALC    ALLOWANCE OR CHARGE\r\n\r\n"
                      "      Function: To identify allowance or charge details.\r\n\r\n"
                      "010   5463  ALLOWANCE OR CHARGE QUALIFIER                 M an..3\r\n\r\n"
                      "020 * C214  SPECIAL SERVICES IDENTIFICATION               C\r\n"
                      "      7161   Special services, coded                      M a..3\r\n\r\n"
                      "      1131   Code list qualifier                          C a3\r\n\r\n"
                      "    - 5495  SUB-LINE INDICATOR, CODED                     C an..3\r\n\r\n"
                      "030   4183  SPECIAL CONDITIONS, CODED                     C an..3\r\n"
                      "040   4183  SPECIAL CONDITIONS, CODED                     C an..3\r\n"
                      "050   4183  SPECIAL CONDITIONS, CODED                     C an..3\r\n\r\n" +
                      rule +
                      "\r\n\r\n    *#|TDT  DETAILS OF TRANSPORT\r\n\r\n"
                      "    |  Function: To specify transport.\r\n\r\n"
                      "010 + 8051  TRANSPORT STAGE QUALIFIER                   m an..3\r\n" +
                      rule + "\r\n";
    std::vector<TImportWarning> warnings;
    auto segments = Parse(Cp437ToText(raw), warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    ASSERT_EQ(segments.size(), 2u);
    const auto& alc = segments[0].Elements;
    ASSERT_EQ(alc.size(), 5u);
    ASSERT_EQ(alc[1].Components.size(), 2u);
    ExpectField(alc[1].Components[0], "7161", TRepr::Alpha, 1, 3, "Special services, coded");
    ExpectField(alc[1].Components[1], "1131", TRepr::Alpha, 3, 3, "Code list qualifier");
    EXPECT_EQ(alc[2].ID, "4183");
    EXPECT_EQ(alc[3].ID, "4183.2");
    EXPECT_EQ(alc[4].ID, "4183.3");
    EXPECT_EQ(segments[1].Tag, "TDT");
    ASSERT_EQ(segments[1].Elements.size(), 1u);
    EXPECT_EQ(segments[1].Elements[0].ID, "8051");
    // Without a repetition column nothing repeats.
    for (const auto& e : alc)
        EXPECT_EQ(e.Repeats, 1) << e.ID;
    // The status column, for elements, composites and components alike (lower case too).
    EXPECT_TRUE(alc[0].Mandatory);
    EXPECT_FALSE(alc[1].Mandatory);
    EXPECT_TRUE(alc[1].Components[0].Mandatory);
    EXPECT_FALSE(alc[1].Components[1].Mandatory);
    EXPECT_TRUE(segments[1].Elements[0].Mandatory);
}

TEST(SegmentDirectory, RepetitionColumnLayoutWithWrappedNamesAndNotes) {
    std::string text = Rule +
                       "\n\n       ADR  ADDRESS\n\n       Function: To specify an address.\n\n"
                       "          Note: The first paragraph.\n\n"
                       "                A second paragraph after a blank line.\n\n"
                       "010    C090 ADDRESS DETAILS                            C    5\n"
                       "       3477  Address format code                       M      an..3\n"
                       "       3286  Address component description             M      an..70\n"
                       "       3286  Address component description             C      an..70\n"
                       "       8158  Orange hazard placard upper part\n"
                       "             identifier                                C      an..4\n"
                       "       5275  Supplementary rate/tariff basis           C      an..6\n"
                       "             identification\n\n"
                       "030    3164 CITY NAME                                  C    1 an..35\n"
                       "130    8211 HAZARDOUS CARGO TRANSPORT AUTHORISATION\n"
                       "            CODE                                       C    1 an..3\n\n"
                       "       Dependency note:\n       040  D5(040,030) If first, then all\n\n" +
                       Rule + "\n";
    std::vector<TImportWarning> warnings;
    auto segments = Parse(text, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    ASSERT_EQ(segments.size(), 1u);
    const auto& adr = segments[0].Elements;
    ASSERT_EQ(adr.size(), 3u);
    ASSERT_EQ(adr[0].Components.size(), 5u);
    EXPECT_EQ(adr[0].Components[2].ID, "3286.2");
    ExpectField(adr[0].Components[3], "8158", TRepr::Alnum, 1, 4,
                "Orange hazard placard upper part identifier");
    EXPECT_EQ(adr[0].Components[4].Name, "Supplementary rate/tariff basis identification");
    ExpectField(adr[1], "3164", TRepr::Alnum, 1, 35, "CITY NAME");
    ExpectField(adr[2], "8211", TRepr::Alnum, 1, 3, "HAZARDOUS CARGO TRANSPORT AUTHORISATION CODE");
    // The repetition column is kept for the elements of the segment, also after a wrapped name.
    EXPECT_EQ(adr[0].Repeats, 5);
    // The status stands before the repetition column, also after a wrapped name.
    EXPECT_TRUE(adr[0].Components[0].Mandatory);
    EXPECT_FALSE(adr[0].Components[2].Mandatory);
    EXPECT_FALSE(adr[0].Components[3].Mandatory);
    EXPECT_FALSE(adr[0].Mandatory);
    EXPECT_EQ(adr[0].Components[0].Repeats, 1);
    EXPECT_EQ(adr[1].Repeats, 1);
    EXPECT_EQ(adr[2].Repeats, 1);
}

TEST(SegmentDirectory, UnreadableLinesAreReportedWithFileAndLine) {
    std::string text = Rule +
                       "\n\n  BGM  BEGINNING OF MESSAGE\n\n"
                       "010   1004  DOCUMENT NUMBER                                   C\n"
                       "020   C002  NAME                                              C\n"
                       "???\n" +
                       Rule + "\n\n  bad header\n";
    std::vector<TImportWarning> warnings;
    auto segments = Parse(text, warnings);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_TRUE(segments[0].Elements.size() == 1 && segments[0].Elements[0].IsComposite);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[0].File, "EDSD.TST");
    EXPECT_EQ(warnings[0].Line, 5);
    EXPECT_EQ(warnings[0].Text, "element 1004 of segment BGM has no representation");
    EXPECT_EQ(warnings[1].Line, 7);
    EXPECT_EQ(warnings[1].Text, "unrecognised line in segment BGM: ???");
    EXPECT_EQ(warnings[2].Text, "segment header expected, entry skipped");
    EXPECT_EQ(warnings[3].Text, "composite C002 of segment BGM has no components");
    for (const auto& w : warnings)
        EXPECT_TRUE(w.LosesData);
    std::vector<TImportWarning> none;
    EXPECT_THROW(Parse("no entries here\n", none), EImportError);
}

TEST(TextConversion, Cp437BecomesEightBitText) {
    EXPECT_EQ(Cp437ToText("a\r\nb\x1a\tc\n"), "a\nb  c\n");
    EXPECT_EQ(Cp437ToText("a\rb\r"), "a\nb\n");
    EXPECT_EQ(Cp437ToText("\xC4\xB3\xBF\xD9\xC1"), "-|+++");
    EXPECT_EQ(Cp437ToText("\x81\x82\x84\xE1"), "\xFC\xE9\xE4\xDF"); // u-umlaut, e-acute, a-umlaut, sharp s
    EXPECT_EQ(Cp437ToText("\xE0\xFE"), "??");                       // alpha and a square have no Latin-1 form
    EXPECT_EQ(Cp437ToText("customer\x92s \x91"
                          "component\x92"),
              "customer's 'component'"); // Windows quotes
}
