#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/segment_table.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include "table_builder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace talmiro;
using test::ErrorText;

namespace {

std::unique_ptr<TEdiSegment> Segment(const std::string& tag) {
    return std::make_unique<TEdiSegment>(tag);
}

// Reads a segment record (after its tag) from the bytes the writer produces for it.
std::unique_ptr<TEdiSegment> ReadSegmentBytes(const std::string& bytes) {
    TMemoryStream in(bytes);
    TDefReader r(in);
    if (r.GetInteger() != rtSegment) throw Exception("test: not a segment record");
    return ReadSegmentDef(r);
}

template <class F> std::string Record(F put) {
    TMemoryStream out;
    {
        TDefWriter w(out);
        put(w);
    }
    return out.Text();
}

} // namespace

TEST(SegmentTable, OrderedCaseInsensitiveAndLaterDefinitionWins) {
    TSegmentTable table;
    for (const char* tag : {"UNT", "BGM", "NAD", "DTM", "UNH", "CTA"})
        table.Insert(tag, Segment(tag));
    ASSERT_EQ(table.Count(), 6);
    for (int i = 0; i + 1 < table.Count(); ++i)
        EXPECT_LT(table.Tag(i), table.Tag(i + 1));
    EXPECT_EQ(table.Tag(table.TagIndex("nad")), "NAD");
    EXPECT_EQ(table.Find("Bgm"), table.Segment(table.TagIndex("BGM")));
    EXPECT_EQ(table.TagIndex("XYZ"), -1);
    EXPECT_EQ(table.Find("NA"), nullptr);
    EXPECT_EQ(table.Find(""), nullptr);

    auto later = Segment("nad");
    TEdiSegment* laterPtr = later.get();
    table.Insert("nad", std::move(later));
    EXPECT_EQ(table.Count(), 6);
    EXPECT_EQ(table.Tag(table.TagIndex("NAD")), "NAD"); // the entry keeps its first tag text
    EXPECT_EQ(table.Find("NAD"), laterPtr);

    // Tags of other lengths, sharing long prefixes, sort and are found whatever their case.
    TSegmentTable mixed;
    const std::vector<std::string> tags = {"ABCDEFGHIJ", "abcdefghik", "ABCDEFGH",  "abcdefg", "AB",
                                           "B",          "ab1",        "ABCDEFGHI", "a",       "ABCDEFGHIJK"};
    for (const std::string& t : tags)
        mixed.Insert(t, Segment(t));
    ASSERT_EQ(mixed.Count(), 10);
    for (const std::string& t : tags) {
        std::string lower = t, upper = t;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(mixed.TagIndex(lower), -1) << t;
        EXPECT_EQ(mixed.TagIndex(lower), mixed.TagIndex(upper)) << t;
    }
    EXPECT_EQ(mixed.TagIndex("ABCDEFGHIJKL"), -1);
    EXPECT_EQ(mixed.TagIndex("ABCDEFGHIL"), -1);

    std::unique_ptr<TSegmentTable> owned = std::make_unique<TSegmentTable>();
    FreeSegmentTable(owned);
    EXPECT_EQ(owned, nullptr);
    FreeSegmentTable(owned); // nothing to free
}

TEST(SegmentTable, TablesFilledAtOnceFindEveryTagAndNoOther) {
    // A table filled by InsertAll answers look-ups through an index: each tag must lead to its own
    // segment whatever its case, also among tags that share a prefix or differ only by trailing zero
    // bytes, and tags that are not there must not be found, before and after more segments are added.
    std::vector<std::string> tags = {
        "UNH",      "AB",        std::string("AB\0", 3), std::string("AB\0\0", 4),
        "ABCDEFGH", "ABCDEFGHI", "ABCDEFGHIJ",           "x"};
    for (int i = 0; i < 300; ++i)
        tags.push_back(std::string("S").append(std::to_string(i)));
    TSegmentTable table;
    std::vector<std::unique_ptr<TEdiSegment>> segments;
    std::vector<TEdiSegment*> expected;
    for (const std::string& t : tags) {
        segments.push_back(Segment(t));
        expected.push_back(segments.back().get());
    }
    table.InsertAll(std::move(segments));
    auto checkAll = [&] {
        for (size_t i = 0; i < tags.size(); ++i) {
            std::string lower = tags[i];
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(table.Find(tags[i]), expected[i]) << i;
            EXPECT_EQ(table.Find(lower), expected[i]) << i;
        }
        for (const std::string absent :
             {"UN", "UNHX", "A", "ABC", "ABCDEFG", "ABCDEFGHIK", "S300", "", "S1 "})
            EXPECT_EQ(table.Find(absent), nullptr) << absent;
        EXPECT_EQ(table.Find(std::string("AB\0\0\0", 5)), nullptr);
    };
    checkAll();
    std::vector<std::unique_ptr<TEdiSegment>> more;
    for (const std::string t : {"AAA", "ZZZ", "S12X"}) {
        tags.push_back(t);
        more.push_back(Segment(t));
        expected.push_back(more.back().get());
    }
    table.InsertAll(std::move(more));
    checkAll();
}

TEST(DefinitionRecords, FieldRecordOfTheWorkedExample) {
    TEDIField field("0062");
    field.FieldType = ftAlnum;
    field.MinSize = 1;
    field.MaxSize = 14;
    field.Description = "MESSAGE REFERENCE NUMBER";
    const std::string bytes = Record([&](TDefWriter& w) { field.WriteDef(w); });
    const std::string expected = std::string("\x04\x01\xED\x00\x00\x06\x04", 7) + "0062" +
                                 std::string("\x02\x02\x02\x01\x02\x0E\x06\x18", 8) +
                                 "MESSAGE REFERENCE NUMBER";
    EXPECT_EQ(bytes, expected);

    TMemoryStream in(bytes);
    TDefReader r(in);
    ASSERT_EQ(r.GetInteger(), rtField);
    auto back = ReadFieldDef(r);
    EXPECT_EQ(back->ID, "0062");
    EXPECT_EQ(back->FieldType, ftAlnum);
    EXPECT_EQ(back->MinSize, 1);
    EXPECT_EQ(back->MaxSize, 14);
    EXPECT_EQ(back->Description, "MESSAGE REFERENCE NUMBER");

    // Sizes beyond one byte and long texts round-trip; identifiers and descriptions are cut.
    const std::string big = Record([](TDefWriter& w) {
        w.PutText("ABCDEFGHIJKL");
        w.PutInteger(0x102); // only the low byte is the type
        w.PutInteger(350);
        w.PutInteger(70000);
        w.PutText(std::string(300, 'd'));
    });
    TMemoryStream bigIn(big);
    TDefReader bigReader(bigIn);
    auto cut = ReadFieldDef(bigReader);
    EXPECT_EQ(cut->ID, "ABCDEFGHIJ");
    EXPECT_EQ(cut->FieldType, ftAlnum);
    EXPECT_EQ(cut->MinSize, 350);
    EXPECT_EQ(cut->MaxSize, 70000);
    EXPECT_EQ(cut->Description, std::string(50, 'd'));
}

TEST(DefinitionRecords, SegmentWithCompositeRoundTrips) {
    auto segment = ReadSegmentBytes(
        Record([](TDefWriter& w) { test::PutSegmentRecord(w, "NAD 3035 C082:3039:1131 3035"); }));
    EXPECT_EQ(segment->ID, "NAD");
    EXPECT_EQ(segment->Description, "Segment NAD");
    ASSERT_EQ(segment->Elements.size(), 2u); // the second 3035 is dropped
    auto* composite = segment->FindComposit("C082");
    ASSERT_NE(composite, nullptr);
    EXPECT_EQ(composite->Description, "Composite C082");
    ASSERT_EQ(composite->Elements.size(), 2u);
    EXPECT_EQ(composite->FieldByID("1131").MaxSize, 35);

    // Long element lists drop and keep exactly as short ones do.
    std::string spec = "LNG";
    for (int i = 0; i < 100; ++i)
        spec += " F" + std::to_string(i);
    spec +=
        " F3 F5:X C1:A C1:B F100"; // a taken field, a composite under a field's name, a repeated composite
    auto longSegment = ReadSegmentBytes(Record([&](TDefWriter& w) { test::PutSegmentRecord(w, spec); }));
    ASSERT_EQ(longSegment->Elements.size(), 103u);
    EXPECT_EQ(longSegment->Elements[3]->ID, "F3");
    EXPECT_EQ(longSegment->FindComposit("F5"), nullptr);
    EXPECT_EQ(longSegment->FindComposit("C1"), longSegment->Elements[100].get());
    EXPECT_EQ(longSegment->Elements[101]->ID, "C1");
    EXPECT_EQ(longSegment->Elements[102]->ID, "F100");

    // The record the segment writes is the record it was read from.
    const std::string again = Record([&](TDefWriter& w) { segment->WriteDef(w); });
    auto copy = ReadSegmentBytes(again);
    EXPECT_EQ(Record([&](TDefWriter& w) { copy->WriteDef(w); }), again);
}

TEST(DefinitionRecords, WrongRecordTagsAreDamage) {
    const char* damaged = "File structure damaged";
    // A composite inside a composite.
    EXPECT_EQ(ErrorText([] {
                  ReadSegmentBytes(Record([](TDefWriter& w) {
                      w.PutInteger(rtSegment);
                      w.PutText("");
                      w.PutText("SEG");
                      w.PutInteger(1);
                      w.PutInteger(rtComposit);
                      w.PutText("");
                      w.PutText("C001");
                      w.PutInteger(1);
                      w.PutInteger(rtComposit);
                  }));
              }),
              damaged);
    // A segment inside a segment.
    EXPECT_EQ(ErrorText([] {
                  ReadSegmentBytes(Record([](TDefWriter& w) {
                      w.PutInteger(rtSegment);
                      w.PutText("");
                      w.PutText("SEG");
                      w.PutInteger(1);
                      w.PutInteger(rtSegment);
                  }));
              }),
              damaged);
    // A field where a table expects a segment.
    TMemoryStream in(Record([](TDefWriter& w) { w.PutInteger(rtField); }));
    TDefReader r(in);
    EXPECT_EQ(ErrorText([&] { ReadSegmentTable(r, 1); }), damaged);
    // A value of the wrong kind where the element count stands.
    EXPECT_EQ(ErrorText<EReadError>([] {
                  ReadSegmentBytes(Record([](TDefWriter& w) {
                      w.PutInteger(rtSegment);
                      w.PutText("");
                      w.PutText("SEG");
                      w.PutText("1");
                  }));
              }),
              "Ungültiger Wert der Eigenschaft");
}

TEST(LoadSegmentTable, HeaderChecks) {
    test::TempDir dir;
    const std::string good = test::SdtBytes(test::StandardSegments());

    EXPECT_EQ(ErrorText<EFOpenError>([&] { LoadSegmentTable(dir.File("NONE.SDT")); }),
              "Datei " + dir.File("NONE.SDT") + " kann nicht geöffnet werden");
    EXPECT_EQ(ErrorText([&] { LoadSegmentTable(dir.Write("short.sdt", good.substr(0, 319))); }),
              "File read error.");
    EXPECT_EQ(ErrorText([&] { LoadSegmentTable(dir.Write("nocount.sdt", good.substr(0, 322))); }),
              "File read error.");

    std::string mdtType = good;
    mdtType[4] = static_cast<char>(0xF2);
    EXPECT_EQ(ErrorText([&] { LoadSegmentTable(dir.Write("type.sdt", mdtType)); }), "Illegal file type.");

    // Bytes 0 to 3, the flag, the time and the rest of the header are not checked.
    std::string odd = good;
    odd[0] = 'X';
    odd[8] = 7;
    odd[100] = 'Z';
    auto table = LoadSegmentTable(dir.Write("odd.sdt", odd));
    EXPECT_EQ(table->Count(), static_cast<int>(test::StandardSegments().size()));
    EXPECT_NE(table->Find("qty"), nullptr);
}

TEST(LoadSegmentTable, CountsAndRecords) {
    test::TempDir dir;
    // Count 0: an empty table, whatever follows.
    auto empty = LoadSegmentTable(dir.Write("empty.sdt", test::SdtBytes({"NAD 3035"}, 0) + "garbage"));
    EXPECT_EQ(empty->Count(), 0);
    // More records than the count: the rest is ignored.
    EXPECT_EQ(LoadSegmentTable(dir.Write("two.sdt", test::SdtBytes({"NAD 3035", "BGM 1004"}, 1)))->Count(),
              1);
    // Fewer records than the count.
    EXPECT_EQ(ErrorText<EReadError>(
                  [&] { LoadSegmentTable(dir.Write("few.sdt", test::SdtBytes({"NAD 3035"}, 2))); }),
              "Stream-Read-Fehler");
    // Two records of one tag: one entry holding the later definition.
    auto twice =
        LoadSegmentTable(dir.Write("twice.sdt", test::SdtBytes({"NAD 3035", "BGM 1004", "NAD 3035 3036"})));
    EXPECT_EQ(twice->Count(), 2);
    EXPECT_EQ(twice->Find("NAD")->Elements.size(), 2u);
    // Records out of order and tags that differ in case only: one entry per tag, sorted, holding the
    // later segment under the first tag text.
    auto mixed = test::MakeSegmentTable({"nad 1", "BGM 2", "NAD 3 4", "abc 5", "Bgm 6 7 8"});
    ASSERT_EQ(mixed->Count(), 3);
    EXPECT_EQ(mixed->Tag(0), "abc");
    EXPECT_EQ(mixed->Tag(1), "BGM");
    EXPECT_EQ(mixed->Tag(2), "nad");
    EXPECT_EQ(mixed->Find("NAD")->Elements.size(), 2u);
    EXPECT_EQ(mixed->Find("bgm")->Elements.size(), 3u);
    mixed->Insert("CTA", Segment("CTA"));
    EXPECT_EQ(mixed->TagIndex("cta"), 2);
    // A damaged record.
    std::string damaged = test::SdtBytes({"NAD 3035"});
    damaged[324 + 2] = static_cast<char>(0xEE); // the record tag 0xED03 becomes 0xEE03
    EXPECT_EQ(ErrorText([&] { LoadSegmentTable(dir.Write("damaged.sdt", damaged)); }),
              "File structure damaged");
}

// A count the file cannot hold fails at the first missing record; a loop over the claimed count would
// not end within the test's time limit.
TEST(LoadSegmentTable, HugeCountInATinyFileFailsWithTheReadError) {
    test::TempDir dir;
    for (int64_t count : {int64_t(1) << 31, int64_t(0xFFFFFFFF), int64_t(0x7FFFFFFF)}) {
        const std::string file = dir.Write("huge.sdt", test::SdtBytes({}, count));
        EXPECT_EQ(ErrorText<EReadError>([&] { LoadSegmentTable(file); }), "Stream-Read-Fehler") << count;
    }
}

TEST(CloneSegment, SameDefinitionAndPositionsWithFreshValues) {
    auto table = test::MakeSegmentTable({"NAD 3035 C082:3039:1131 3164"});
    TEdiSegment& nad = *table->Find("NAD");
    ResetDelimiters();
    TMemoryStream in("xx\r\nNAD+BY+4012345:9+BERLIN'");
    in.Seek(2);
    nad.ReadEdi(in);
    nad.LineBreak = true;
    ASSERT_EQ(nad.FindComposit("C082")->FieldByID("3039").AsString(), "4012345");

    auto copy = CloneSegment(nad);
    EXPECT_NE(copy.get(), &nad);
    EXPECT_EQ(copy->ID, "NAD");
    EXPECT_EQ(copy->Description, nad.Description);
    EXPECT_TRUE(copy->LineBreak);
    EXPECT_EQ(copy->StartPos, 2);
    EXPECT_EQ(copy->EndPos, nad.EndPos);
    ASSERT_EQ(copy->Elements.size(), nad.Elements.size());
    EXPECT_EQ(copy->LastFilled(), -1);
    auto& field = copy->FieldByID("3164");
    EXPECT_EQ(field.RawText, "");
    EXPECT_EQ(field.AsString(), "");
    EXPECT_EQ(field.MaxSize, 35);
    EXPECT_EQ(field.Description, "Field 3164");
    auto* composite = copy->FindComposit("C082");
    ASSERT_NE(composite, nullptr);
    EXPECT_EQ(composite->Elements.size(), 2u);
    EXPECT_EQ(composite->FieldByID("3039").AsString(), "");

    // The copy reads the same text again from its start position.
    copy->SeekStart(in);
    copy->ReadEdi(in);
    EXPECT_EQ(copy->FieldByID("3164").AsString(), "BERLIN");
}
