#include "talmiro/exceptions.h"
#include "talmiro/interchange_edit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace talmiro;

namespace {

std::string Apply(const std::string& text, const std::vector<TByteEdit>& edits) {
    std::string out;
    size_t at = 0;
    for (const TByteEdit& e : edits) {
        out.append(text, at, static_cast<size_t>(e.Begin) - at);
        out += e.Text;
        at = static_cast<size_t>(e.End);
    }
    return out + text.substr(at);
}

std::string Written(const std::string& text, TLayoutChoice layout, const std::vector<TByteEdit>& edits = {}) {
    TMemoryStream file(text);
    TEditedStream edited(file, edits);
    std::string out;
    WriteInterchange(edited, layout, [&out](std::string_view bytes) { out += bytes; });
    return out;
}

std::string Fixed(const std::string& text) {
    TMemoryStream file(text);
    const auto fixes = PlanControlFixes(file);
    return Apply(text, EditsOf(fixes));
}

} // namespace

// Random edits over a file larger than the stream's block, read through, by seeks and stepping back.
TEST(EditedStream, ReadsAsTheFileWithItsEdits) {
    std::mt19937 random(22);
    std::string text(300'000, ' ');
    for (char& c : text)
        c = static_cast<char>('a' + random() % 26);
    std::vector<TByteEdit> edits;
    for (int64_t at = 5; at + 2000 < static_cast<int64_t>(text.size()); at += 1 + random() % 20'000) {
        const int64_t end = at + random() % 3 * (random() % 1000);
        std::string insert(random() % 3 == 0 ? 0 : random() % 70'000, 'X');
        edits.push_back({at, end, insert});
        at = end;
    }
    const std::string expected = Apply(text, edits);
    TMemoryStream file(text);
    TEditedStream edited(file, edits);
    ASSERT_EQ(edited.Size(), static_cast<int64_t>(expected.size()));
    std::string whole(expected.size() + 10, '\0');
    ASSERT_EQ(edited.Read(whole.data(), whole.size()), expected.size());
    whole.resize(expected.size());
    EXPECT_TRUE(whole == expected);
    for (int i = 0; i < 200; ++i) {
        const int64_t at = 1 + random() % (expected.size() - 1);
        edited.Seek(at);
        ASSERT_EQ(edited.ReadByte(), static_cast<unsigned char>(expected[at]));
        edited.StepBack();
        edited.StepBack();
        ASSERT_EQ(edited.ReadByte(), static_cast<unsigned char>(expected[at - 1]));
    }
    EXPECT_EQ(Written(text, TLayoutChoice::Keep, edits), expected);
}

TEST(EditedStream, RefusesEditsOutOfOrderOrBeyondTheFile) {
    TMemoryStream file("UNB+x'");
    EXPECT_THROW(TEditedStream(file, {{3, 5, "a"}, {4, 4, "b"}}), Exception);
    EXPECT_THROW(TEditedStream(file, {{2, 1, ""}}), Exception);
    EXPECT_THROW(TEditedStream(file, {{6, 7, ""}}), Exception);
    TEditedStream ok(file, {{1, 1, "a"}, {1, 1, "b"}, {1, 6, ""}});
    EXPECT_EQ(ok.Size(), 3);
}

TEST(WriteInterchange, LayoutsMoveOnlyTheLineEnds) {
    // A segment wrapped over lines, a released terminator, a released release character before a real one.
    const std::string wrapped =
        "\xEF\xBB\xBFUNA:+.? 'UNB+UNOA:3+A+B+1'\nUNH+1+OR\nDERS:D:96A:UN'FTX+AAA+++It?'s ?\?'"
        "\nUNT+3+1'UNZ+1+1'\n";
    EXPECT_EQ(Written(wrapped, TLayoutChoice::Keep), wrapped);
    EXPECT_EQ(
        Written(wrapped, TLayoutChoice::OneLine),
        "\xEF\xBB\xBFUNA:+.? 'UNB+UNOA:3+A+B+1'UNH+1+ORDERS:D:96A:UN'FTX+AAA+++It?'s ?\?'UNT+3+1'UNZ+1+1'");
    EXPECT_EQ(
        Written(wrapped, TLayoutChoice::OnePerLine),
        "\xEF\xBB\xBFUNA:+.? '\nUNB+UNOA:3+A+B+1'\nUNH+1+ORDERS:D:96A:UN'\nFTX+AAA+++It?'s ?\?'\nUNT+3+1'\n"
        "UNZ+1+1'\n");
    // Another terminator from the advice, and a file that uses CR LF keeps it.
    EXPECT_EQ(Written("UNA:+.? !\r\nUNB+UNOA:3+A+B+1!UNZ+0+1!", TLayoutChoice::OnePerLine),
              "UNA:+.? !\r\nUNB+UNOA:3+A+B+1!\r\nUNZ+0+1!\r\n");
    // A segment cut short is written as it is.
    EXPECT_EQ(Written("UNB+UNOA:3'UNZ+1", TLayoutChoice::OnePerLine), "UNB+UNOA:3'\nUNZ+1");
}

TEST(ControlFixes, CountsAndReferencesBecomeWhatTheInterchangeHolds) {
    const std::string good = "UNB+UNOA:3+A+B+200101:1200+IC1'UNH+M1+ORDERS:D:96A:UN'BGM+220+1'UNT+3+M1'"
                             "UNH+M2+ORDERS:D:96A:UN'UNT+2+M2'UNZ+2+IC1'";
    TMemoryStream goodFile(good);
    EXPECT_TRUE(PlanControlFixes(goodFile).empty());
    EXPECT_EQ(Fixed("UNB+UNOA:3+A+B+200101:1200+IC1'UNH+M1+ORDERS:D:96A:UN'BGM+220+1'UNT+4+X'"
                    "UNH+M2+ORDERS:D:96A:UN'UNT'UNZ+1+IC?+2'"),
              good);
    // Syntax version 4 separates repeats with "*": a reference that holds one is written released.
    EXPECT_EQ(Fixed("UNB+UNOC:4+A+B+20200101:1200+IC?*1'UNZ+0+X'"),
              "UNB+UNOC:4+A+B+20200101:1200+IC?*1'UNZ+0+IC?*1'");
    const std::string text = "UNB+UNOA:3+A+B+200101:1200+IC1'UNH+M1+ORDERS:D:96A:UN'UNT+9+M1'UNZ+1+IC1'";
    TMemoryStream file(text);
    const auto fixes = PlanControlFixes(file);
    ASSERT_EQ(fixes.size(), 1u);
    EXPECT_EQ(fixes[0].Segment, 3);
    EXPECT_EQ(fixes[0].Tag, "UNT");
    EXPECT_EQ(fixes[0].Description, "UNT segment count 9 becomes 2");
}

TEST(ControlFixes, GroupsAreCountedByUnzAndTheirMessagesByUne) {
    const std::string good =
        "UNA:+.? 'UNB+UNOA:3+A+B+200101:1200+IC1'UNG+ORDERS+A+B+200101:1200+G?+1+UN+D:96A'"
        "UNH+M1+ORDERS:D:96A:UN'UNT+2+M1'UNH+M2+ORDERS:D:96A:UN'UNT+2+M2'UNE+2+G?+1'"
        "UNG+ORDERS+A+B+200101:1200+G2+UN+D:96A'UNE+0+G2'UNZ+2+IC1'";
    EXPECT_EQ(Fixed(good), good);
    std::string bad = good;
    bad.replace(bad.find("UNE+2+G?+1"), 10, "UNE+1+G1");
    bad.replace(bad.find("UNZ+2"), 5, "UNZ+4");
    EXPECT_EQ(Fixed(bad), good);
}

TEST(SaveInterchange, ReplacesTheFileALinkPointsTo) {
    test::TempDir dir;
    const std::string file = dir.Write("a.edi", "UNB+UNOA:3'\nUNZ+0'\n");
    std::filesystem::create_symlink(file, dir.File("link.edi"));
    TFileStream input(dir.File("link.edi"));
    SaveInterchange(input, TLayoutChoice::OneLine, dir.File("link.edi"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.edi")));
    EXPECT_EQ(test::ReadAll(file), "UNB+UNOA:3'UNZ+0'");
}
