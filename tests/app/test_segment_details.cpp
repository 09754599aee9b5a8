#include "talmiro/segment_details.h"

#include "talmiro/code_lists.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmiro {
namespace {

std::vector<std::string> LinesOf(TEdiSegment& segment, const std::string& text) {
    ResetDelimiters();
    TMemoryStream stream(text);
    segment.ReadEdi(stream);
    std::vector<std::string> lines;
    AddElementLines(lines, segment, 0);
    return lines;
}

TEST(SegmentDetails, ColumnsOfSimpleElementsAndComposites) {
    TSegmUNZ unz;
    const std::vector<std::string> unzLines = {
        "0036      [1]                           INTERCHANGE CONTROL COUNT",
        "0020      [1234]                        INTERCHANGE CONTROL REFERENCE"};
    EXPECT_EQ(LinesOf(unz, "UNZ+1+1234'"), unzLines);

    // Composite lines have no columns; members are indented by two; an empty member, an omitted one and one
    // after the last element present all show <empty>.
    TSegmUNB unb;
    std::vector<std::string> lines = LinesOf(unb, "UNB+UNOA:2+SENDER::ROUTE+RECIPIENT+990101:1200+1234'");
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "S001 SYNTAX IDENTIFIER");
    EXPECT_EQ(lines[1], "  0001    [UNOA]                        Syntax identifier");
    EXPECT_EQ(lines[3], "S002 INTERCHANGE SENDER");
    EXPECT_EQ(lines[4], "  0004    [SENDER]                      Sender identification");
    EXPECT_EQ(lines[5], "  0007    <empty>                       Partner identification code qualifier");
    EXPECT_EQ(lines[6], "  0008    [ROUTE]                       Address for reverse routing");
    EXPECT_EQ(lines[9], "  0007    <empty>                       Partner identification code qualifier");
    EXPECT_EQ(lines.back(), "0035      <empty>                       TEST INDICATOR");
    EXPECT_EQ(lines.size(), 23u); // 6 simple elements, 5 composites with 12 members
}

TEST(SegmentDetails, EveryOccurrenceOfARepeatingElementIsListed) {
    TSegmUNZ unz; // two simple elements, the first one repeating here
    unz.Elements[0]->RepeatCount = 3;
    ResetDelimiters();
    Delimiters.RepetitionSeparator = '*';
    TMemoryStream stream("UNZ+1*2*3+REF'");
    unz.ReadEdi(stream);
    std::vector<std::string> lines;
    AddSegmentLines(lines, unz);
    const std::vector<std::string> expected = {
        "0036 [1]  [1]                           INTERCHANGE CONTROL COUNT",
        "0036 [2]  [2]                           INTERCHANGE CONTROL COUNT",
        "0036 [3]  [3]                           INTERCHANGE CONTROL COUNT",
        "0020      [REF]                         INTERCHANGE CONTROL REFERENCE"};
    EXPECT_EQ(lines, expected);

    // A composite's occurrences carry the mark on their heading line; without repeats nothing changes.
    TSegmUNH unh;
    TMemoryStream two("UNH+1+A:B*C:D'");
    unh.ReadEdi(two);
    lines.clear();
    AddSegmentLines(lines, unh);
    EXPECT_EQ(lines[1], "S009 [1] MESSAGE IDENTIFIER");
    EXPECT_EQ(lines[7], "S009 [2] MESSAGE IDENTIFIER");
    EXPECT_EQ(lines[8], "  0065    [C]                           Message type identifier");
    TMemoryStream one("UNH+1+A:B'");
    unh.ReadEdi(one);
    std::vector<std::string> plain, before;
    AddSegmentLines(plain, unh);
    AddElementLines(before, unh, 0);
    EXPECT_EQ(plain, before);
    ResetDelimiters();
}

TEST(SegmentDetails, LongIdentifiersAndValuesPushTheColumns) {
    TEdiSegment seg("ABC");
    seg.AddField("X123456789");
    seg.FieldByID("X123456789").FieldType = ftAlnum;
    seg.FieldByID("X123456789").Description = "Ten";
    seg.AddComposit("C001");
    seg.FindComposit("C001")->Description = "DEEP";
    seg.FindComposit("C001")->AddField("Y12345678");
    seg.FindComposit("C001")->FieldByID("Y12345678").FieldType = ftAlnum;
    seg.AddField("0001");
    seg.FieldByID("0001").FieldType = ftNumeric;
    seg.FieldByID("0001").Description = "Num";
    const std::string longValue(29, 'v');
    const std::vector<std::string> expected = {
        "X123456789[A]                           Ten",
        "C001 DEEP",
        "  Y12345678[B]                          ",
        "0001      [" + longValue + "]Num",
    };
    EXPECT_EQ(LinesOf(seg, "ABC+A+B+" + longValue + "'"), expected);

    // A numeric element read from an empty text holds 0 but shows <empty>.
    std::vector<std::string> lines = LinesOf(seg, "ABC+A+B+'");
    EXPECT_EQ(lines[3], "0001      <empty>                       Num");
}

TEST(SegmentDetails, RawTextDropsControlCharactersOnly) {
    ResetDelimiters();
    const std::string text = "UNZ+1+1234'\r\nUNZ+\r\n2+\xE9\x7F"
                             "9'\r\nUNH";
    TMemoryStream stream(text);
    TSegmUNZ unz;
    unz.ReadEdi(stream);
    EXPECT_EQ(SegmentRawText(unz, stream), "UNZ+1+1234'");
    unz.ReadEdi(stream);
    EXPECT_EQ(unz.StartPos, 11); // before the line break that precedes the tag
    EXPECT_EQ(SegmentRawText(unz, stream), "UNZ+2+\xE9\x7F"
                                           "9'");
    // Positions that no longer fit the stream give what is there.
    unz.EndPos = 1000;
    EXPECT_EQ(SegmentRawText(unz, stream).substr(0, 6), "UNZ+2+");
    unz.EndPos = unz.StartPos - 1;
    EXPECT_EQ(SegmentRawText(unz, stream), "");
}


TEST(SegmentDetails, CodedValuesShowTheirNameWhereTheUnListApplies) {
    TCodeLists codes;
    codes.Add("3035", "BY", "Buyer");
    codes.Add("1001", "220", "Order");
    codes.Add("3055", "9", "GS1");
    codes.Add("1001", "1", std::string(40, 'N'));
    codes.Seal();
    TEdiSegment nad("NAD");
    nad.AddField("3035");
    nad.FieldByID("3035").FieldType = ftAlnum;
    nad.FieldByID("3035").Description = "Party function code qualifier";
    nad.AddComposit("C002");
    for (const char* id : {"1001", "1131", "3055"}) {
        nad.FindComposit("C002")->AddField(id);
        nad.FindComposit("C002")->FieldByID(id).FieldType = ftAlnum;
        nad.FindComposit("C002")->FieldByID(id).Description = "d";
    }
    auto lines = [&](const std::string& text, const TCodeLists* lists) {
        ResetDelimiters();
        TMemoryStream stream(text);
        nad.Clear();
        nad.ReadEdi(stream);
        std::vector<std::string> out;
        AddSegmentLines(out, nad, lists);
        return out;
    };
    EXPECT_EQ(lines("NAD+BY+220'", &codes),
              (std::vector<std::string>{"3035      [BY] Buyer                    Party function code qualifier",
                                        "C002 ", "  1001    [220] Order                   d",
                                        "  1131    <empty>                       d",
                                        "  3055    <empty>                       d"}));
    // Without code lists, for unknown codes and under another agency, the lines are as they were.
    EXPECT_EQ(lines("NAD+BY+220'", nullptr)[0],
              "3035      [BY]                          Party function code qualifier");
    EXPECT_EQ(lines("NAD+SU+220:X'", &codes)[2], "  1001    [220]                         d");
    const auto gs1 = lines("NAD+BY+220::9'", &codes);
    EXPECT_EQ(gs1[2], "  1001    [220]                         d");
    EXPECT_EQ(gs1[4], "  3055    [9] GS1                       d");
    // A long name pushes the description, two blanks apart.
    EXPECT_EQ(lines("NAD+BY+1'", &codes)[2], "  1001    [1] " + std::string(40, 'N') + "  d");
}

} // namespace
} // namespace talmiro
