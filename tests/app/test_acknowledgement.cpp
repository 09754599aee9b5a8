// Acknowledgements: which syntax error code each fault gets, where it is placed, and that what is written
// reads back clean against the shipped CONTRL tables.
#include "talmiro/acknowledgement.h"

#include "talmiro/code_names.h"
#include "talmiro/streams.h"

#include "tree_test_util.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace talmiro {
namespace {

namespace fs = std::filesystem;

const std::string Unb = "UNB+UNOA:3+SENDER:14+RECIPIENT+240229:2359+IC1'\n";

TAckOptions Fixed(int syntax = 0) {
    TAckOptions options;
    options.SyntaxVersion = syntax;
    options.Reference = "R1";
    options.Date = "240301";
    options.Time = "0815";
    return options;
}

std::string Ack(test::StandardsDir& standards, const std::string& text, bool strict, int syntax = 0) {
    TMemoryStream stream(text);
    bool rejected = false;
    return Acknowledge(stream, &standards.Catalogue, strict, Fixed(syntax), rejected);
}

// The report's segments from UCI to the one before UNT.
std::string Body(const std::string& contrl) {
    const size_t from = contrl.find("UCI+");
    return contrl.substr(from, contrl.find("\nUNT+", from) + 1 - from);
}

TAckError Map(const std::string& code, const std::string& text, const std::string& tag = "BGM",
              const std::string& previous = "") {
    TDiagnostic d;
    d.Code = code;
    d.Text = text;
    d.Location.Tag = tag;
    return SyntaxErrorOf(d, previous);
}

TEST(Acknowledgement, EveryDiagnosticKindHasItsSyntaxErrorCode) {
    struct TCase {
        std::string Code, Text, Tag, Previous;
        int Expected;
        std::string ExpectedTag;
    };
    const std::vector<TCase> cases = {
        {"sequence", "Segment sequence error: NAD expected but LIN found.", "LIN", "DTM", 15, ""},
        {"sequence", "Segment sequence error: UNT expected but DTM found.", "DTM", "DTM", 35, ""},
        {"sequence", "Segment sequence error: BGM expected but UNT found.", "UNT", "UNH", 13, "UNT"},
        {"segment", "XYZ", "XYZ", "", 15, ""},
        {"syntax", "Invalid segment delimiter at the end of \"BGM\".", "BGM", "", 16, ""},
        {"syntax", "Data element seperator invalid.", "BGM", "", 16, ""},
        {"syntax", "Data element value longer than 1048576 characters.", "FTX", "", 39, ""},
        {"syntax", "Invalid segment ID \"B?M\".", "B?M", "", 12, ""},
        {"syntax", "Service string advice uses \":\" twice", "", "", 20, "UNA"},
        {"envelope", "Segment UNH expected", "UNZ", "", 32, "UNZ"},
        {"envelope", "Segment UNH expected", "BGM", "", 33, ""},
        {"envelope", "Segment UNZ expected", "", "", 13, "UNZ"},
        {"envelope", "Segment UNE expected", "", "", 13, "UNE"},
        {"envelope", "Segment UNZ expected", "UNG", "", 30, "UNG"},
        {"no-definition", "No definition of message X", "UNH", "", 3, "UNH"},
        {"error", "Invalid message type \"A/B\" in segment UNH", "UNH", "", 12, "UNH"},
        {"error", "Unexpected end of transmission file", "", "", 18, ""},
        {"table", "This MDT-file cannot be used on this message", "UNH", "", 18, "UNH"},
        {"length", "Value \"2200\" of BGM/C002/1001 is longer than 3 characters", "BGM", "", 39, ""},
        {"length", "Value \"1\" of DTM/C507/2380 is shorter than 6 characters", "DTM", "", 40, ""},
        {"numeric", "Value \"4x8\" of QTY/C186/6060 is not numeric", "QTY", "", 37, ""},
        {"mandatory", "Mandatory element NAD/3035 is missing", "NAD", "", 13, ""},
        {"code", "Code \"1377\" of DTM/C507/2005 is not in the code list of D96A", "DTM", "", 12, ""},
        {"repeat", "COM/C076 occurs 4 times, at most 3 allowed", "COM", "", 16, ""},
        {"unt-count", "Segment count in UNT is \"9\"", "UNT", "", 29, "UNT"},
        {"une-count", "Message count in UNE is \"2\"", "UNE", "", 29, "UNE"},
        {"unz-count", "Interchange count in UNZ is \"2\"", "UNZ", "", 29, "UNZ"},
        {"unt-reference", "Message reference in UNT is \"2\"", "UNT", "", 28, "UNT"},
        {"une-reference", "Group reference in UNE is \"2\"", "UNE", "", 28, "UNE"},
        {"unz-reference", "Interchange reference in UNZ is \"2\"", "UNZ", "", 28, "UNZ"},
    };
    for (const TCase& c : cases) {
        const TAckError e = Map(c.Code, c.Text, c.Tag, c.Previous);
        EXPECT_EQ(e.Code, c.Expected) << c.Code << ": " << c.Text;
        EXPECT_EQ(e.Tag, c.ExpectedTag) << c.Code << ": " << c.Text;
    }
    // A missing segment is reported at the one before it.
    EXPECT_TRUE(Map("sequence", "Segment sequence error: BGM expected but UNT found.", "UNT").Before);
    // The element's position counts the tag as 1; component and occurrence pass through.
    TDiagnostic d;
    d.Code = "length";
    d.ElementPos = 2;
    d.ComponentPos = 3;
    d.Occurrence = 2;
    EXPECT_EQ(SyntaxErrorOf(d).Place, (TAckPlace{3, 3, 2}));
}

TEST(Acknowledgement, FaultsLandAtTheirSegmentElementAndComponent) {
    test::StandardsDir standards;
    const std::string text = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+2200+X'\nNAD+BY'\nCTA+TOOLONG'\n"
                                   "QTY+21:1,5'\nDTM+2:1:102'\nUNT+9+1'\nUNZ+1+IC1'\n";
    // The plain check finds nothing: a positive report, envelope and all.
    EXPECT_EQ(Ack(standards, text, false), "UNA:+.? '\nUNB+UNOA:3+RECIPIENT+SENDER:14+240301:0815+R1'\n"
                                           "UNH+1+CONTRL:D:3:UN'\nUCI+IC1+SENDER:14+RECIPIENT+7'\n"
                                           "UCM+1+ORDERS:D:96A:UN+7'\nUNT+4+1'\nUNZ+1+R1'\n");
    // Strict: the trailer's count in UCM, then each segment from UNH = 1 with its elements.
    EXPECT_EQ(Body(Ack(standards, text, true)), "UCI+IC1+SENDER:14+RECIPIENT+7'\n"
                                                "UCM+1+ORDERS:D:96A:UN+4+29+UNT+2'\n"
                                                "UCS+2'\nUCD+39+2:1'\n"
                                                "UCS+4'\nUCD+39+2'\n"
                                                "UCS+5'\nUCD+37+2:2'\n");
}

TEST(Acknowledgement, SequenceErrorsAndWhatEndsTheReading) {
    test::StandardsDir standards;
    // QTY without its DTM: the gap is reported at the QTY, and the message reads on to its UNT.
    const std::string gap = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nQTY+21:1'\nUNT+4+1'\n"
                                  "UNH+2+ORDERS:D:96A:UN'\nBGM+220'\nUNT+3+2'\nUNZ+2+IC1'\n";
    EXPECT_EQ(Body(Ack(standards, gap, false)), "UCI+IC1+SENDER:14+RECIPIENT+7'\n"
                                                "UCM+1+ORDERS:D:96A:UN+4'\nUCS+3+13'\n"
                                                "UCM+2+ORDERS:D:96A:UN+7'\n");
    // A segment once too often stops the reading: the message says where, the interchange is rejected.
    const std::string twice = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nBGM+220'\nUNT+4+1'\nUNZ+1+IC1'\n";
    EXPECT_EQ(Body(Ack(standards, twice, false)), "UCI+IC1+SENDER:14+RECIPIENT+4'\n"
                                                  "UCM+1+ORDERS:D:96A:UN+4'\nUCS+3+35'\n");
    // A message of no installed release, and an interchange that ends early.
    const std::string unknown = Unb + "UNH+1+ORDERS:D:01B:UN'\nBGM+220'\nUNT+3+1'\nUNZ+1+IC1'\n";
    EXPECT_EQ(Body(Ack(standards, unknown, false)), "UCI+IC1+SENDER:14+RECIPIENT+4'\n"
                                                    "UCM+1+ORDERS:D:01B:UN+4+3+UNH+3'\n");
    const std::string cut = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nUNT+3+1'\n";
    EXPECT_EQ(Body(Ack(standards, cut, false)), "UCI+IC1+SENDER:14+RECIPIENT+4+13+UNZ'\n"
                                                "UCM+1+ORDERS:D:96A:UN+4'\n");
}

TEST(Acknowledgement, GroupsAndSyntaxVersion4) {
    test::StandardsDir standards;
    const std::string unb4 = "UNA:+.?*'UNB+UNOC:4+S:14:IN:SUB+R:14:ROUTING:SUB2+20240229:2359+IC2'";
    const std::string text = unb4 + "UNG+ORDERS+APP:ZZ+RAPP:ZZ+20240229:2359+G1+UN+D:96A'"
                                    "UNH+1+ORDERS:D:96A:UN'BGM+2200'UNT+3+1'UNE+2+G1'"
                                    "UNG+ORDERS+APP:ZZ+RAPP:ZZ+20240229:2359+G2+UN+D:96A'"
                                    "UNH+2+ORDERS:D:96A:UN'BGM+220'UNT+3+2'UNE+1+G2'UNZ+2+IC2'";
    const std::string v4 = Ack(standards, text, true);
    EXPECT_EQ(v4, "UNA:+.?*'\nUNB+UNOC:4+R:14:ROUTING:SUB2+S:14:IN:SUB+20240301:0815+R1'\n"
                  "UNH+1+CONTRL:4:1:UN'\nUCI+IC2+S:14:IN:SUB+R:14:ROUTING:SUB2+7'\n"
                  "UCF+G1+APP:ZZ+RAPP:ZZ+4+29+UNE+2'\nUCM+1+ORDERS:D:96A:UN+4'\nUCS+2'\nUCD+39+2:1'\n"
                  "UCF+G2+APP:ZZ+RAPP:ZZ+7'\nUCM+2+ORDERS:D:96A:UN+7'\nUNT+9+1'\nUNZ+1+R1'\n");
    // Asked for version 3: its layouts, its date, its shorter routing addresses.
    const std::string v3 = Ack(standards, text, false, 3);
    EXPECT_EQ(v3.substr(0, v3.find("UNH")), "UNA:+.? '\nUNB+UNOC:3+R:14:ROUTING+S:14:IN+240301:0815+R1'\n");
    EXPECT_NE(v3.find("UNH+1+CONTRL:D:3:UN'\nUCI+IC2+S:14:IN+R:14:ROUTING+7'\nUCF+G1+APP:ZZ+RAPP:ZZ+7'"),
              std::string::npos);
    // A further occurrence of a repeating element is named by 0136, without a component.
    TAckInterchange subject;
    subject.Groups.emplace_back();
    subject.Groups[0].Messages.push_back(
        {"1", {"ORDERS", "D", "96A", "UN", ""}, true, {}, {{6, 0, {{12, {2, 2, 2}}}}}});
    EXPECT_NE(AcknowledgementText(subject, Fixed(4)).find("UCS+6'\nUCD+12+2::2'\n"), std::string::npos);
    EXPECT_NE(AcknowledgementText(subject, Fixed(3)).find("UCS+6'\nUCD+12+2:2'\n"), std::string::npos);
}

TEST(Acknowledgement, NoMoreThanTheStructureAllows) {
    // 999 segment errors per message, 99 element errors per segment, positions of six digits.
    TAckInterchange subject;
    subject.Groups.emplace_back();
    TAckMessage message{"1", {"ORDERS", "D", "96A", "UN", ""}, true, {}, {}};
    for (int64_t position = 2; position < 1100; ++position)
        message.Segments.push_back({position, 0, std::vector<TAckElementError>(120, {12, {2, 0, 0}})});
    message.Segments.front().Position = 1000000;
    subject.Groups[0].Messages.push_back(message);
    const std::string text = AcknowledgementText(subject, Fixed());
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("UCS+"), 999u);
    EXPECT_EQ(count("UCD+"), 999u * 99u);
    EXPECT_EQ(count("UCS+1000000"), 0u);
}

TEST(Acknowledgement, EveryInterchangeOfAFileAndNoneOfWhatIsNotOne) {
    test::StandardsDir standards;
    const std::string one = Unb + "UNH+1+ORDERS:D:96A:UN'\nBGM+220'\nUNT+3+1'\nUNZ+1+IC1'\n";
    std::string two = one;
    two.replace(two.find("IC1"), 3, "IC9");
    two.replace(two.rfind("IC1"), 3, "IC9");
    const std::string both = Ack(standards, one + "\n" + two, false);
    EXPECT_NE(both.find("UCI+IC1+"), std::string::npos);
    EXPECT_NE(both.find("UCI+IC9+"), std::string::npos);
    // The second answer gets a reference of its own.
    EXPECT_NE(both.find("UNZ+1+R1'\nUNA:+.? '\nUNB+UNOA:3+RECIPIENT+SENDER:14+240301:0815+R12'"),
              std::string::npos);

    TMemoryStream notes(std::string("Hello, world"));
    EXPECT_THROW(ReadForAcknowledgement(notes, &standards.Catalogue, false), ENotAnInterchange);
    EXPECT_EQ(AckDateProblem("240230", "0815"), "");
    EXPECT_NE(AckDateProblem("241301", "0815"), "");
    EXPECT_NE(AckDateProblem("240301", "2460"), "");
    // A syntax identifier that is not one is not copied into the answer's header.
    TAckInterchange odd;
    odd.SyntaxIdentifier = "UNO";
    odd.SyntaxVersion = "3";
    EXPECT_NE(AcknowledgementText(odd, Fixed()).find("UNB+UNOA:3+"), std::string::npos);
    TAckOptions badDate = Fixed();
    badDate.Date = "24x301";
    EXPECT_THROW(AcknowledgementText({}, badDate), Exception);
}

TEST(Acknowledgement, ServiceMessagesShowTheNewestServiceCodeLists) {
    test::StandardsDir standards;
    fs::create_directories(standards.Path / "SERVICE3");
    fs::create_directories(standards.Path / "D99A");
    fs::create_directories(standards.Path / "D01B");
    standards.Write("D96A/CODES.CLT", "EDIFACT CODE LISTS 1\n=0085\n13\tMissing (old)\n");
    standards.Write("D99A/CODES.CLT", "EDIFACT CODE LISTS 1\n=0083\n4\tRejected\n=0085\n13\tMissing\n");
    standards.Write("D01B/CODES.CLT", "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n");
    auto lists = CodeListsToShow((standards.Path / "SERVICE3" / "CONTRL.MDT").string());
    ASSERT_TRUE(lists);
    ASSERT_TRUE(lists->Name("0085", "13"));
    EXPECT_EQ(*lists->Name("0085", "13"), "Missing");
    // Other messages of a folder without code lists get none.
    EXPECT_FALSE(CodeListsToShow((standards.Path / "SERVICE3" / "ORDERS.MDT").string()));
}

// Every interchange of the sample collections, valid or not, in both syntax versions and with or without
// the strict checks: the acknowledgement reads clean with the strict checks against the shipped CONTRL
// tables, and a file the plain check passes gets a positive one.
TEST(AcknowledgementSamples, EveryAcknowledgementReadsClean) {
    const char* standardsDir = std::getenv("TALMIRO_STANDARDS_DIR");
    const char* samples = std::getenv("TALMIRO_SAMPLE_DIRS");
    if (!standardsDir || !samples) GTEST_SKIP() << "TALMIRO_STANDARDS_DIR and TALMIRO_SAMPLE_DIRS not set";
    TStandardsCatalogue catalogue;
    catalogue.BaseDir = standardsDir;
    catalogue.ScanStandards();
    auto check = [&](const std::string& text, bool strict, bool& completed) {
        TInterchangeReader reader(&catalogue);
        reader.BuildTree = false;
        TMemoryStream stream(text);
        TValidationOptions options;
        options.Strict = strict;
        options.AllErrors = true;
        TValidator validator(reader, stream, options);
        completed = validator.Run();
        std::vector<std::string> problems;
        for (const TDiagnostic& d : validator.Diagnostics)
            problems.push_back(d.Code + ": " + d.Text);
        return problems;
    };
    size_t acknowledged = 0, positive = 0;
    for (const fs::path& path : test::SampleFiles(samples)) {
        const std::string text = test::ReadAll(path);
        bool completed = false;
        const bool plainClean = check(text, false, completed).empty() && completed;
        for (bool strict : {false, true}) {
            TMemoryStream stream(text);
            std::vector<TAckInterchange> subjects;
            try {
                subjects = ReadForAcknowledgement(stream, &catalogue, strict);
            } catch (const ENotAnInterchange&) {
                continue;
            }
            if (!strict && plainClean) {
                EXPECT_TRUE(subjects.front().Accepted()) << path;
                ++positive;
            }
            for (const TAckInterchange& subject : subjects)
                for (int syntax : {3, 4}) {
                    SCOPED_TRACE(path.string() + (strict ? " strict" : "") + " syntax " +
                                 std::to_string(syntax));
                    const std::string contrl = AcknowledgementText(subject, Fixed(syntax));
                    EXPECT_EQ(check(contrl, true, completed), std::vector<std::string>{}) << contrl;
                    EXPECT_TRUE(completed);
                    ++acknowledged;
                }
        }
    }
    EXPECT_GT(positive, 0u);
    std::printf("%zu acknowledgements read back, %zu positive\n", acknowledged, positive);
}

} // namespace
} // namespace talmiro
