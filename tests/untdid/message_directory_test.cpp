// The message text reader: title, the three table drawings, and the drawing faults found in the originals.
#include "talmiro/untdid.h"

#include <gtest/gtest.h>

using namespace talmiro::untdid;

namespace {

// "RFF(M1)[...]" style outline of a structure, to compare whole trees at once.
std::string Outline(const std::vector<TMessageNode>& nodes) {
    std::string out;
    for (const auto& n : nodes) {
        if (!out.empty()) out += ' ';
        out += n.IsGroup ? "G" + std::to_string(n.GroupNumber) + ":" + n.Tag : n.Tag;
        out += std::string("(") + (n.Mandatory ? "M" : "C") + std::to_string(n.MaxRepeat) + ")";
        if (n.IsGroup) out += "[" + Outline(n.Children) + "]";
    }
    return out;
}

TMessageDef Parse(const std::string& text, std::vector<TImportWarning>& warnings,
                  const std::string& name = "ORDERS_D.96A") {
    TMessageDef m;
    EXPECT_TRUE(ParseMessage(text, name, m, warnings));
    return m;
}

const char* Header = "                              UN/EDIFACT\n\n"
                     "                         DRAFT RECOMMENDATION\n\n"
                     "                        Purchase order message\n\n"
                     "             4.3.1 Segment table\n"; // the table of contents names the heading too

} // namespace

TEST(MessageTable, BoxDrawingTableOfTheNinetiesReleases) {
    // CP437 as in ORDERS_D.96A: corners close groups, "\xC1\xD9" closes two; D94A's "S" indicator, and
    // rows that D94A deleted ("-"), where a deleted group's remaining members belong to its parent.
    std::string raw =
        std::string(Header) +
        "4.3.1  Segment table\r\n\r\nPos    Tag Name                                      S   R\r\n\r\n"
        "           HEADER SECTION\r\n\r\n"
        "0010 S UNH Message header                            M   1     \r\n"
        "0020   BGM Beginning of message                      M   1     \r\n\r\n"
        "0080       \xC4\xC4 Segment group 1  \xC4\xC4\xC4\xC4 C   10\xC4\xC4\xC4\xBF\r\n"
        "0090   RFF Reference                                 M   1    \xB3\r\n"
        "0100   DTM Date/time/period                          C   5\xC4\xC4\xC4\xD9\r\n\r\n"
        "0110       \xC4\xC4 Segment group 2  \xC4\xC4\xC4\xC4 C   99\xC4\xC4\xC4\xBF\r\n"
        "0120   NAD Name and address                          M   1    \xB3\r\n"
        "0210       \xC4\xC4 Segment group 5  \xC4\xC4\xC4\xC4 C   5\xC4\xC4\xC4\xBF\xB3\r\n"
        "0220   CTA Contact information                       M   1   \xB3\xB3\r\n"
        "0230   COM Communication contact                     C   5\xC4\xC4\xC1\xD9\r\n"
        "           DETAIL SECTION\r\n"
        "0930 *     \xC4\xC4 Segment group 25 \xC4\xC4\xC4\xC4 C   200000\xC4\xBF\r\n"
        "0940   LIN Line item                                 M   1    \xB3\r\n"
        "0942 - PIT Price item line                           M   1    \xB3\r\n"
        "0944 -     \xC4\xC4 Segment group 26 \xC4\xC4\xC4\xC4 C   9\xC4\xC4\xBF\xB3\r\n"
        "0946 * GDS Nature of cargo                           C   9   \xB3\xB3\r\n"
        "0948 - FTX Free text                                 C   1\xC4\xC4\xD9\xB3\r\n"
        "0950 + PIA Additional product id                     c   25\xC4\xC4\xD9\r\n"
        "0960   UNS Section control                           M   1     \r\n"
        "0970   UNT Message trailer                           M   1     \r\n\r\n"
        "Annex\r\n\r\nThe NAD segment 1 M 1 in prose after the trailer is no row.\r\n";
    std::vector<TImportWarning> warnings;
    TMessageDef m = Parse(Cp437ToText(raw), warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    EXPECT_EQ(m.Type, "ORDERS");
    EXPECT_EQ(m.Version, "D");
    EXPECT_EQ(m.Release, "96A");
    EXPECT_EQ(m.Agency, "UN");
    EXPECT_EQ(m.Title, "Purchase order message");
    EXPECT_EQ(Outline(m.Structure), "UNH(M1) BGM(M1) G1:RFF(C10)[RFF(M1) DTM(C5)] "
                                    "G2:NAD(C99)[NAD(M1) G5:CTA(C5)[CTA(M1) COM(C5)]] "
                                    "G25:LIN(C200000)[LIN(M1) GDS(C9) PIA(C25)] UNS(M1) UNT(M1)");
    EXPECT_EQ(m.Structure[0].Name, "Message header");
}

TEST(MessageTable, AsciiTableWithFivePositionDigitsAndWrappedRows) {
    std::string text = std::string(Header) +
                       "4.3.1  Segment table\n\n"
                       "00010   UNH Message header                           M   1     \n"
                       "00090       ---- Segment group 1  ------------------ C   9999-------------+\n"
                       "00100   RFF Reference                                M   1                |\n"
                       "00160       ---- Segment group 100------------------ C   99--------------+|\n"
                       "00170   SGU Segment group usage details              M   1               ||\n"
                       "00250   SPS Sampling parameters for summary                              ||\n"
                       "              statistics                             C   1               ||\n"
                       "00240   COM Communication contact                    C   5---------------++\n"
                       "00250   UNT Message trailer                          M   1     \n";
    std::vector<TImportWarning> warnings;
    TMessageDef m = Parse(text, warnings, "ORDERS_D.21B");
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    EXPECT_EQ(m.Release, "21B");
    EXPECT_EQ(Outline(m.Structure),
              "UNH(M1) G1:RFF(C9999)[RFF(M1) G100:SGU(C99)[SGU(M1) SPS(C1) COM(C5)]] UNT(M1)");
    EXPECT_EQ(m.Structure[1].Children[1].Children[1].Name, "Sampling parameters for summary statistics");
}

TEST(MessageTable, OldestTableWithoutPositions) {
    // The title wraps onto a second line, and one row's name runs into its status column ("statiC").
    std::string text = "                         UN/EDIFACT\n\n\n                    DRAFT RECOMMENDATION\n\n"
                       "PURCHASE ORDER\n     MESSAGE\n\n"
                       "4.2.2 Segment Table\n\n"
                       "  TAG  NAME                                 S   REPT  S   REPT\n\n"
                       "  UNH  Message header                       M      1                  \n"
                       "  --- Segment Group 1 ------------------------------- C     10 ------+\n"
                       "  RFF  Reference                            M      1                 |\n"
                       "                                                                     |\n"
                       "  --- Segment Group 2 ------------------------------- C     10 -----+|\n"
                       "  QTY  Quantity                             M      1                ||\n"
                       "  SPS  Sampling parameters for summary statiC     10                ||\n"
                       "  DTM  Date/time/period                     C      5 ---------------++\n"
                       "  UNT  Message trailer                      M      1                  \n";
    std::vector<TImportWarning> warnings;
    TMessageDef m = Parse(text, warnings, "ORDERS_D.93A");
    EXPECT_TRUE(warnings.empty()) << warnings.front().Text;
    EXPECT_EQ(m.Title, "PURCHASE ORDER MESSAGE");
    EXPECT_EQ(Outline(m.Structure),
              "UNH(M1) G1:RFF(C10)[RFF(M1) G2:QTY(C10)[QTY(M1) SPS(C10) DTM(C5)]] UNT(M1)");
    EXPECT_EQ(m.Structure[1].Children[1].Children[1].Name, "Sampling parameters for summary stati");

    // A row without position that cannot be read is reported, not dropped in silence.
    std::string broken = text;
    broken.replace(broken.find("statiC     10"), 13, "statistics   ");
    warnings.clear();
    m = Parse(broken, warnings, "ORDERS_D.93A");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Line, 19);
    EXPECT_EQ(warnings[0].Text.rfind("unreadable segment table row: SPS  Sampling parameters", 0), 0u)
        << warnings[0].Text;
    EXPECT_TRUE(warnings[0].LosesData);
}

TEST(MessageTable, InconsistentDrawingsFollowTheColumnsAndWarn) {
    // A corner inside a group (LOC) that the following rows contradict.
    std::string inside = std::string(Header) +
                         "4.3.1 Segment table\n"
                         "0010   UNH Message header                            M   1     \n"
                         "0120       ----- Segment group 3  ------------------ M   999---------+\n"
                         "0130   RFF Reference                                 M   1           |\n"
                         "0160   LOC Place/location identification             C   1----------+|\n"
                         "0170       ----- Segment group 4  ------------------ M   999--------+|\n"
                         "0180   RCS Requirements and conditions               M   1          ||\n"
                         "0190   FTX Free text                                 C   1----------++\n"
                         "0200   UNT Message trailer                           M   1     \n";
    std::vector<TImportWarning> warnings;
    TMessageDef m = Parse(inside, warnings);
    EXPECT_EQ(Outline(m.Structure),
              "UNH(M1) G3:RFF(M999)[RFF(M1) LOC(C1) G4:RCS(M999)[RCS(M1) FTX(C1)]] UNT(M1)");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].Line, 12);
    EXPECT_EQ(warnings[0].Text, "bracket columns deeper than the open groups; row kept at depth 1");
    EXPECT_EQ(warnings[1].Text, "bracket drawing closes 1 group(s), columns close 0; columns followed");
    EXPECT_FALSE(warnings[0].LosesData || warnings[1].LosesData);

    // A group closed on its first row while later rows still draw it open: it is reopened.
    std::string reopened = std::string(Header) +
                           "4.3.1 Segment table\n"
                           "0010   UNH Message header                            M   1     \n"
                           "6350       ----- Segment group 152------------------ C   99-----------+\n"
                           "6360   NAD Name and address                          M   1------------+\n"
                           "6370   DTM Date/time/period                          C   99            \n"
                           "6380       ----- Segment group 153------------------ C   99----------+|\n"
                           "6390   CTA Contact information                       M   1           ||\n"
                           "6400   COM Communication contact                     C   99----------++\n"
                           "6410   UNT Message trailer                           M   1     \n";
    warnings.clear();
    m = Parse(reopened, warnings);
    EXPECT_EQ(Outline(m.Structure),
              "UNH(M1) G152:NAD(C99)[NAD(M1) DTM(C99) G153:CTA(C99)[CTA(M1) COM(C99)]] UNT(M1)");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Text, "bracket columns reopen Segment group 152");

    // A table printed a second time from its start (DOCINF of D94B): the repeat is read, not appended.
    std::string twice = std::string(Header) +
                        "4.3.1 Segment table\n"
                        "0010   UNH Message header                            M   1     \n"
                        "0020   BGM Beginning of message                      M   1     \n"
                        "0070       ------ Segment group 1  ----------------- M   5     ------+\n"
                        "0080   FII Financial institution information         M   1           |\n"
                        "0110   COM Communication contact                     C   5     ------+\n"
                        "           HEADER SECTION\n"
                        "0010   UNH Message header                            M   1     \n"
                        "0020   BGM Beginning of message                      M   1     \n"
                        "0070       ------ Segment group 1  ----------------- M   5     ------+\n"
                        "0080   FII Financial institution information         M   1           |\n"
                        "0110   COM Communication contact                     C   5     ------+\n"
                        "0120   UNT Message trailer                           M   1     \n";
    warnings.clear();
    m = Parse(twice, warnings);
    EXPECT_EQ(Outline(m.Structure), "UNH(M1) BGM(M1) G1:FII(M5)[FII(M1) COM(C5)] UNT(M1)");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Line, 15);
    EXPECT_EQ(warnings[0].Text, "segment table starts again; the rows before are dropped");
    EXPECT_FALSE(warnings[0].LosesData);
}

TEST(MessageTable, InteractiveMessagesAndMissingTables) {
    std::vector<TImportWarning> warnings;
    TMessageDef m;
    std::string interactive = std::string(Header) +
                              "4.3.1 Segment table\n"
                              "0010   UIH Interactive message header                M   1\n"
                              "0020   UIT Interactive message trailer               M   1\n";
    EXPECT_FALSE(ParseMessage(interactive, "IHCEBI_D.21B", m, warnings));
    EXPECT_TRUE(warnings.empty());
    try {
        ParseMessage("UN/EDIFACT\n\nno table here\n", "ORDERS_D.96A", m, warnings);
        FAIL() << "no exception";
    } catch (const EImportError& e) {
        EXPECT_STREQ(e.what(), "No segment table found in ORDERS_D.96A");
    }
    EXPECT_THROW(ParseMessage(std::string(Header) + "4.3.1 Segment table\n\n", "ORDERS_D.96A", m, warnings),
                 EImportError);
    // A group that does not start with its initial segment cannot be written and is reported.
    std::string headless = std::string(Header) +
                           "4.3.1 Segment table\n"
                           "0010   UNH Message header                            M   1     \n"
                           "0020       ----- Segment group 1  ------------------ C   9-----+\n"
                           "0030       ----- Segment group 2  ------------------ C   9----+|\n"
                           "0040   RFF Reference                                 M   1----++\n"
                           "0050   UNT Message trailer                           M   1     \n";
    EXPECT_TRUE(ParseMessage(headless, "ORDERS_D.96A", m, warnings));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Text, "Segment group 1 does not begin with a segment");
    EXPECT_EQ(warnings[0].Line, 10);
    EXPECT_TRUE(warnings[0].LosesData);
}

TEST(MessageTable, DamagedTextsGiveWarningsOrErrorsButNeverCrash) {
    // Every prefix of a table, and the table with single bytes replaced, reads or fails cleanly.
    std::string text = std::string(Header) +
                       "4.3.1  Segment table\n"
                       "0010   UNH Message header                            M   1     \n"
                       "0020       ----- Segment group 1  ------------------ C   9---------+\n"
                       "0030   RFF Reference                                 M   1         |\n"
                       "0040       ----- Segment group 2  ------------------ C   99-------+|\n"
                       "0050   DTM Date/time/period                          M   1        ||\n"
                       "0060   SPS Sampling parameters for summary                        ||\n"
                       "              statistics                             C   1--------++\n"
                       "0070   UNT Message trailer                           M   1     \n";
    auto attempt = [](const std::string& t) {
        std::vector<TImportWarning> warnings;
        TMessageDef m;
        try {
            ParseMessage(t, "ORDERS_D.96A", m, warnings);
        } catch (const EImportError&) {
        }
        std::vector<TImportWarning> segmentWarnings;
        try {
            ParseSegmentDirectory(t, "EDSD.96A", segmentWarnings);
        } catch (const EImportError&) {
        }
    };
    for (std::size_t n = 0; n <= text.size(); ++n)
        attempt(text.substr(0, n));
    const std::string replacements = "|+-0 \nMC9A";
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (char r : replacements) {
            std::string damaged = text;
            damaged[i] = r;
            attempt(damaged);
        }
    }
    // Brackets deeper than any sane table are refused rather than followed.
    std::string deep = std::string(Header) + "4.3.1 Segment table\n0010   UNH Message header   M   1\n";
    for (int depth = 1; depth <= 40; ++depth)
        deep += "0020       ----- Segment group " + std::to_string(depth) + " --- C   9-+" +
                std::string(depth - 1, '|') + "\n0030   RFF Reference                     M   1 " +
                std::string(depth, '|') + "\n";
    TMessageDef m;
    std::vector<TImportWarning> warnings;
    EXPECT_THROW(ParseMessage(deep, "ORDERS_D.96A", m, warnings), EImportError);
}
