#include "talmiro/edit_support.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <gtest/gtest.h>

#include <random>

using namespace talmiro;

namespace {

std::string Apply(const std::string& original, const std::vector<TByteEdit>& edits) {
    std::string out;
    int64_t at = 0;
    for (const TByteEdit& e : edits) {
        EXPECT_LE(at, e.Begin) << "edits overlap or are out of order";
        EXPECT_LE(e.Begin, e.End);
        out += original.substr(static_cast<size_t>(at), static_cast<size_t>(e.Begin - at)) + e.Text;
        at = e.End;
    }
    return out + original.substr(static_cast<size_t>(at));
}

} // namespace

// Replacements at random places of the edited text, overlapping earlier ones, at their edges or inside
// them, compose into edits against the original that give the same text.
TEST(EditSupport, ComposedEditsGiveTheEditedText) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const std::string original = "UNH+1+ORDERS:D:96A:UN'BGM+220+PO1'NAD+BY'UNT+4+1'";
        std::string expected = original;
        std::vector<TByteEdit> edits;
        for (int step = 0; step < 6; ++step) {
            const auto size = static_cast<int64_t>(expected.size());
            int64_t begin = std::uniform_int_distribution<int64_t>(0, size)(random);
            int64_t end = std::uniform_int_distribution<int64_t>(begin, std::min(size, begin + 6))(random);
            std::string text(static_cast<size_t>(std::uniform_int_distribution<int>(0, 4)(random)),
                             static_cast<char>('a' + step));
            ComposeEdit(edits, {begin, end, text});
            expected.replace(static_cast<size_t>(begin), static_cast<size_t>(end - begin), text);
            ASSERT_EQ(Apply(original, edits), expected) << "round " << round << " step " << step;
        }
    }
}

// Undo and redo take the edits back step by step; a step that puts the original bytes back leaves the
// file unmodified; a new step drops what could be redone.
TEST(EditSupport, HistoryUndoRedoAndUnchangedBytes) {
    TMemoryStream file("NAD+BY'CTA+IC'");
    TEditHistory history;
    history.Replace(file, {{4, 6, "SU"}});
    history.Replace(file, {{11, 13, "XY"}, {0, 3, "NAD"}}); // two at once; the second restates the file
    EXPECT_EQ(Apply("NAD+BY'CTA+IC'", history.Edits()), "NAD+SU'CTA+XY'");
    EXPECT_EQ(history.Edits().size(), 2u);
    history.Undo();
    EXPECT_EQ(Apply("NAD+BY'CTA+IC'", history.Edits()), "NAD+SU'CTA+IC'");
    history.Redo();
    history.Undo();
    history.Replace(file, {{4, 6, "BY"}}); // typed back as it was
    EXPECT_FALSE(history.Modified());
    EXPECT_FALSE(history.CanRedo());
    history.Undo();
    history.Undo();
    EXPECT_FALSE(history.Modified());
    EXPECT_FALSE(history.CanUndo());
}

// Taking a segment apart and writing it again gives its text: released separators, repeats, components,
// empty values in the middle, line breaks within the segment.
TEST(EditSupport, SegmentValuesRoundTrip) {
    TDelimiters v3;
    TDelimiters v4;
    v4.RepetitionSeparator = '*';
    const TEdiWriter writer3(v3), writer4(v4);
    for (const std::string text : {"NAD+BY+5412345000013::9'", "FTX+AAI+++A?+B?:C?'D??E'",
                                   "DTM+137:19960101'", "UNT+7+1'", "CTA'", "IMD+F++:::ROUND?'S:1'"})
        EXPECT_EQ(writer3.SegmentText(SegmentValuesOf(text, v3)), text);
    EXPECT_EQ(writer4.SegmentText(SegmentValuesOf("COM+1?*2:TE*3:EM+X'", v4)), "COM+1?*2:TE*3:EM+X'");
    const TSegmentValues values = SegmentValuesOf("BGM+220+PO\r\n1?\r\n+9", v3); // no terminator
    ASSERT_EQ(values.Elements.size(), 2u);
    EXPECT_EQ(values.Elements[1][0][0], "PO1+9");
}

// The tags a structure allows after a segment: its own again when it repeats, the entries after it, a
// group's first segment, and what follows each group around it, outward to the message's list.
TEST(EditSupport, TagsAfterASegment) {
    auto entry = [](const char* tag, int32_t maxRep, uint8_t kind = mdSegment, int32_t group = 0) {
        auto e = std::make_unique<TMessageDefRec>();
        e->Tag = tag;
        e->MaxRep = maxRep;
        e->Kind = kind;
        e->GrpNbr = group;
        return e;
    };
    // UNH BGM DTM(35) [SG1: NAD [SG2: CTA COM(5)] ] UNT
    auto structure = entry("UNH", 1);
    TMessageDefRec* e = structure.get();
    e = (e->Next = entry("BGM", 1)).get();
    e = (e->Next = entry("DTM", 35)).get();
    e = (e->Next = entry("", 99, mdGroup, 1)).get();
    TMessageDefRec* sg1 = e;
    e = (e->Next = entry("UNT", 1)).get();
    sg1->Children = entry("NAD", 1);
    sg1->Children->Next = entry("", 5, mdGroup, 2);
    sg1->Children->Next->Children = entry("CTA", 1);
    sg1->Children->Next->Children->Next = entry("COM", 5);

    using Tags = std::vector<std::string>;
    EXPECT_EQ(TagsAfter(structure.get(), {{}, "UNH"}), (Tags{"BGM", "DTM", "NAD", "UNT"}));
    EXPECT_EQ(TagsAfter(structure.get(), {{}, "DTM"}), (Tags{"DTM", "NAD", "UNT"}));
    EXPECT_EQ(TagsAfter(structure.get(), {{1}, "NAD"}), (Tags{"CTA", "NAD", "UNT"}));
    EXPECT_EQ(TagsAfter(structure.get(), {{1, 2}, "CTA"}), (Tags{"COM", "CTA", "NAD", "UNT"}));
    EXPECT_EQ(TagsAfter(structure.get(), {{1, 2}, "COM"}), (Tags{"COM", "CTA", "NAD", "UNT"}));
    EXPECT_TRUE(TagsAfter(structure.get(), {{3}, "NAD"}).empty());
    EXPECT_TRUE(TagsAfter(structure.get(), {{}, "FTX"}).empty());
}
