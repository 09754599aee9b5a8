#include "compiler_test_util.h"

#include "talmiro/def_stream.h"
#include "talmiro/edi_element.h"
#include "talmiro/segment_table.h"

#include <chrono>
#include <cstring>

using namespace talmiro;
using talmiro::test::Bytes;
using talmiro::test::CompileText;
using talmiro::test::ErrorOf;

namespace {

const char* const ExampleSdf = "{ segments of one directory }\n"
                               "SEGMENTS\n"
                               "SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';\n"
                               "FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';\n"
                               "COMPOSIT 'S009' DESCRIPTION 'MESSAGE IDENTIFIER';\n"
                               "FIELD '0065' ALNUM (1:6) DESCRIPTION 'Message type identifier';\n"
                               "FIELD '0052' ALNUM (1:3);\n"
                               "END;\n"
                               "END;\n"
                               "SEGMENT 'UNT'\n"
                               "FIELD '0074' numeric (1:6);\n"
                               "FIELD '0062' ALNUM (1:14);\n"
                               "END;\n"
                               "END;\n";

// The segment records of a compiled .SDT, read back through the engine's reader.
std::unique_ptr<TSegmentTable> Load(const std::string& table) {
    TMemoryStream stream(std::string_view(table).substr(TableHeaderSize + 4));
    TDefReader reader(stream);
    int32_t count = 0;
    std::memcpy(&count, table.data() + TableHeaderSize, 4);
    return ReadSegmentTable(reader, count);
}

std::string SdfError(const std::string& source) {
    return ErrorOf<TCompilerSDF>(source);
}

// The bytes of a compiled source after the table header.
std::string SdfBody(const std::string& source) {
    return CompileText<TCompilerSDF>(source).substr(TableHeaderSize);
}

} // namespace

TEST(CompilerSDF, ExampleCompilesToTheDocumentedBytes) {
    const std::string rt = "\x04\x01\xED\x00\x00"; // the field tag, always five bytes
    Bytes expected;
    expected({1, 1, 0, 0, 0xF1, 0xED, 0, 0, 0, 0, 0, 0}).Zeros(8).Zeros(300)({2, 0, 0, 0});
    // UNH: description first, then the tag, then the element count.
    expected({4, 3, 0xED, 0, 0, 6, 14})("MESSAGE HEADER")({6, 3})("UNH")({2, 2});
    expected({4, 1, 0xED, 0, 0, 6, 4})("0062")({2, 2, 2, 1, 2, 14, 6, 24})("MESSAGE REFERENCE NUMBER");
    expected({4, 2, 0xED, 0, 0, 6, 18})("MESSAGE IDENTIFIER")({6, 4})("S009")({2, 2});
    expected({4, 1, 0xED, 0, 0, 6, 4})("0065")({2, 2, 2, 1, 2, 6, 6, 23})("Message type identifier");
    expected({4, 1, 0xED, 0, 0, 6, 4})("0052")({2, 2, 2, 1, 2, 3, 6, 0});
    expected({4, 3, 0xED, 0, 0, 6, 0, 6, 3})("UNT")({2, 2});
    expected({4, 1, 0xED, 0, 0, 6, 4})("0074")({2, 0, 2, 1, 2, 6, 6, 0});
    expected({4, 1, 0xED, 0, 0, 6, 4})("0062")({2, 2, 2, 1, 2, 14, 6, 0});

    std::string actual = CompileText<TCompilerSDF>(ExampleSdf);
    ASSERT_EQ(actual.size(), expected.Data.size());
    double stamp = 0;
    std::memcpy(&stamp, actual.data() + 12, 8);
    // Days since 30 December 1899: now is somewhere after 2020.
    EXPECT_GT(stamp, 43831.0);
    EXPECT_LT(stamp, 80000.0);
    std::memset(actual.data() + 12, 0, 8);
    EXPECT_EQ(actual, expected.Data);

    TCompilerSDF modifiable;
    modifiable.Modifiable = true;
    EXPECT_EQ(CompileText<TCompilerSDF>(ExampleSdf, &modifiable)[8], 1);
}

TEST(CompilerSDF, BuildsSegmentsAsWritten) {
    auto table =
        Load(CompileText<TCompilerSDF>("SEGMENTS SEGMENT 'EMPTY' END; "
                                       "SEGMENT 'C' COMPOSIT 'X' END; END; "
                                       "SEGMENT 'TAGLONGERTHANTEN' DESCRIPTION "
                                       "'123456789012345678901234567890123456789012345678901234567890';"
                                       "FIELD 'ABCDEFGHIJKL' alpha (3:3); FIELD 'Z' Numeric (0:0) "
                                       "DESCRIPTION 'zero'; END; END; trailing - junk . is not read"));
    ASSERT_EQ(table->Count(), 3);
    EXPECT_TRUE(table->Find("EMPTY")->Elements.empty());
    auto* c = table->Find("C");
    ASSERT_EQ(c->Elements.size(), 1u);
    EXPECT_TRUE(static_cast<TEdiComposit*>(c->Elements[0].get())->Elements.empty());
    auto* longSeg = table->Find("TAGLONGERT");
    ASSERT_NE(longSeg, nullptr);
    EXPECT_EQ(longSeg->Description, std::string("12345678901234567890123456789012345678901234567890"));
    auto& f = longSeg->FieldByID("ABCDEFGHIJ");
    EXPECT_EQ(f.FieldType, ftAlpha);
    EXPECT_EQ(f.MinSize, 3);
    EXPECT_EQ(f.MaxSize, 3);
    EXPECT_EQ(longSeg->FieldByID("Z").Description, "zero");
    EXPECT_EQ(longSeg->FieldByID("Z").FieldType, ftNumeric);

    // An empty list; segments with one tag are all written, in source order.
    EXPECT_EQ(SdfBody("segments end;"), std::string(4, '\0'));
    auto twice = CompileText<TCompilerSDF>(
        "SEGMENTS SEGMENT 'NAD' END; SEGMENT 'NAD' FIELD 'A' ALNUM (1:1); END; END;");
    EXPECT_EQ(twice[TableHeaderSize], 2);
    EXPECT_EQ(Load(twice)->Find("NAD")->Elements.size(), 1u);
}

TEST(CompilerSDF, RepeatedFieldRedefinesTheEarlierElement) {
    auto table = Load(CompileText<TCompilerSDF>("SEGMENTS SEGMENT 'S'"
                                                " FIELD 'A' ALNUM (1:5) DESCRIPTION 'first';"
                                                " FIELD 'B' ALPHA (1:1);"
                                                " FIELD 'A' NUMERIC (2:9);"
                                                " COMPOSIT 'K' FIELD 'A' ALPHA (1:2) DESCRIPTION 'inner'; "
                                                "FIELD 'A' ALNUM (4:4) DESCRIPTION 'again'; END;"
                                                " FIELD 'B' ALNUM (3:3) DESCRIPTION 'new';"
                                                " END; END;"));
    auto* s = table->Find("S");
    ASSERT_EQ(s->Elements.size(), 3u);
    EXPECT_EQ(s->Elements[0]->ID, "A");
    auto& a = s->FieldByID("A");
    EXPECT_EQ(a.FieldType, ftNumeric);
    EXPECT_EQ(a.MinSize, 2);
    EXPECT_EQ(a.MaxSize, 9);
    EXPECT_EQ(a.Description, "first"); // no description in the later statement
    EXPECT_EQ(s->FieldByID("B").Description, "new");
    EXPECT_EQ(s->FieldByID("B").MaxSize, 3);
    auto* k = s->FindComposit("K");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->Elements.size(), 1u); // independent of the segment's own A
    EXPECT_EQ(k->FieldByID("A").MaxSize, 4);
    EXPECT_EQ(k->FieldByID("A").Description, "again");
}

TEST(CompilerSDF, RepeatedCompositeIsACompositeOfItsOwn) {
    auto table =
        Load(CompileText<TCompilerSDF>("SEGMENTS SEGMENT 'PIA' FIELD '4347' ALNUM (1:3);"
                                       " COMPOSIT 'C212' DESCRIPTION 'one'; FIELD '7140' ALNUM (1:35); END;"
                                       " COMPOSIT 'C212' DESCRIPTION 'two'; FIELD '7143' ALNUM (1:3); END;"
                                       " COMPOSIT 'C212' END;"
                                       " END; END;"));
    auto* pia = table->Find("PIA");
    ASSERT_EQ(pia->Elements.size(), 4u);
    auto* one = dynamic_cast<TEdiComposit*>(pia->Elements[1].get());
    auto* two = dynamic_cast<TEdiComposit*>(pia->Elements[2].get());
    auto* three = dynamic_cast<TEdiComposit*>(pia->Elements[3].get());
    ASSERT_TRUE(one && two && three);
    EXPECT_EQ(one->Description, "one");
    EXPECT_EQ(two->Description, "two");
    ASSERT_EQ(one->Elements.size(), 1u);
    ASSERT_EQ(two->Elements.size(), 1u);
    EXPECT_EQ(one->Elements[0]->ID, "7140");
    EXPECT_EQ(two->Elements[0]->ID, "7143");
    EXPECT_TRUE(three->Elements.empty());

    EXPECT_EQ(SdfError("SEGMENTS SEGMENT 'S' FIELD 'X' ALNUM (1:1); COMPOSIT 'X' END; END; END;"),
              "Composite identifier X is already used by a simple element");
}

TEST(CompilerSDF, EveryErrorText) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "SEGMENTS expected"},
        {"SEGMENT 'A' END; END;", "SEGMENTS expected"},
        {"SEGMENTS FIELD", "SEGMENT expected"},
        {"SEGMENTS SEGMENT 'A' END; ;", "SEGMENT expected"},
        {"SEGMENTS", "SEGMENT expected"},
        {"SEGMENTS END", "; expected"},
        {"SEGMENTS END END", "; expected"},
        {"SEGMENTS SEGMENT UNH", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' DESCRIPTION x;", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' DESCRIPTION 'x' FIELD", "; expected"},
        {"SEGMENTS SEGMENT 'A';", "FIELD or COMPOSIT expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1); GROUP", "FIELD or COMPOSIT expected"},
        {"SEGMENTS SEGMENT 'A' END END;", "; expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 1", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' DESCRIPTION ;", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' DESCRIPTION 'd' END", "; expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C';", "FIELD expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' COMPOSIT", "FIELD expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' END FIELD", "; expected"},
        {"SEGMENTS SEGMENT 'A' FIELD B", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' 'ALNUM'", "Type identifier expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' END", "Type identifier expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' AN (1:1);", "Illegal type identifier"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM 1:1);", "( expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (x:1);", "Integer constant expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1,1);", ": expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:);", "Integer constant expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1;", ") expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (5:3);", "Min-Size greater Max-Size"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (5:3) DESCRIPTION 'd';", "Min-Size greater Max-Size"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) 'd';", "; expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) DESCRIPTION d;", "String constant expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) DESCRIPTION 'd' END", "; expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1); END; END; anything - goes", "no error"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (3:3); FIELD 'C' ALNUM (0:0); END; END;", "no error"},
        {"SEGMENTS # END;", "Illegal character in source"},
    };
    for (const auto& [source, message] : cases)
        EXPECT_EQ(SdfError(source), message) << source;
}

TEST(CompilerSDF, RepeatCountsOfSegmentElements) {
    const std::string source =
        "SEGMENTS SEGMENT 'COM' COMPOSIT 'C076' REPEAT (3) DESCRIPTION 'CONTACT';"
        "FIELD '3148' ALNUM (1:512); FIELD '3155' ALNUM (1:3); END;"
        "FIELD '1000' ALNUM (1:35) repeat(2) DESCRIPTION 'x'; FIELD '1001' ALNUM (1:3) "
        "REPEAT (1); END; END;";
    const auto table = Load(CompileText<TCompilerSDF>(source));
    const TEdiSegment& com = *table->Segment(0);
    EXPECT_EQ(com.Elements[0]->RepeatCount, 3);
    EXPECT_EQ(com.FindComposit("C076")->Description, "CONTACT");
    EXPECT_EQ(com.FindField("1000")->RepeatCount, 2);
    EXPECT_EQ(com.FindField("1000")->Description, "x");
    EXPECT_EQ(com.FindField("1001")->RepeatCount, 1);

    // A repeat count of 1 compiles to the bytes of a source without the clause.
    EXPECT_EQ(SdfBody("SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:3) REPEAT (1); END; END;"),
              SdfBody("SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:3); END; END;"));
    // REPEAT is an ordinary word where no repeat count may stand.
    EXPECT_EQ(SdfError("SEGMENTS SEGMENT 'A' FIELD 'B' REPEAT (1:3); END; END;"), "Illegal type identifier");

    const std::pair<const char*, const char*> errors[] = {
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) REPEAT 3;", "( expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) REPEAT (x);", "Integer constant expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) REPEAT (3;", ") expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) REPEAT (0);", "Repeat count must be at least 1"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' REPEAT (0);", "Repeat count must be at least 1"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) DESCRIPTION 'd' REPEAT (2);", "; expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' FIELD 'B' ALNUM (1:1) REPEAT (2);",
         "REPEAT is allowed only for data elements of a segment"},
    };
    for (const auto& [text, message] : errors)
        EXPECT_EQ(SdfError(text), message) << text;
}

TEST(CompilerSDF, StatusOfElementsAndComponents) {
    const std::string source =
        "SEGMENTS SEGMENT 'NAD' FIELD '3035' ALNUM (1:3) MANDATORY DESCRIPTION 'PARTY QUALIFIER';"
        "COMPOSIT 'C082' conditional FIELD '3039' ALNUM (1:35) MANDATORY; FIELD '1131' ALNUM (1:3) "
        "CONDITIONAL; END; COMPOSIT 'C058' MANDATORY REPEAT (2) FIELD '3124' ALNUM (1:35) MANDATORY; END;"
        "FIELD '3164' ALNUM (1:35) CONDITIONAL REPEAT (3); END; END;";
    const auto table = Load(CompileText<TCompilerSDF>(source));
    const TEdiSegment& nad = *table->Segment(0);
    EXPECT_TRUE(nad.FindField("3035")->Mandatory);
    EXPECT_EQ(nad.FindField("3035")->Description, "PARTY QUALIFIER");
    const TEdiComposit& c082 = *nad.FindComposit("C082");
    EXPECT_FALSE(c082.Mandatory);
    EXPECT_TRUE(c082.FindField("3039")->Mandatory);
    EXPECT_FALSE(c082.FindField("1131")->Mandatory);
    EXPECT_TRUE(nad.FindComposit("C058")->Mandatory);
    EXPECT_EQ(nad.FindComposit("C058")->RepeatCount, 2);
    EXPECT_TRUE(nad.FindComposit("C058")->FindField("3124")->Mandatory);
    EXPECT_FALSE(nad.FindField("3164")->Mandatory);
    EXPECT_EQ(nad.FindField("3164")->RepeatCount, 3);

    // CONDITIONAL is what a source without a status says: the same bytes.
    EXPECT_EQ(SdfBody("SEGMENTS SEGMENT 'A' COMPOSIT 'C' CONDITIONAL FIELD 'B' ALNUM (1:3) CONDITIONAL; END; "
                      "END; END;"),
              SdfBody("SEGMENTS SEGMENT 'A' COMPOSIT 'C' FIELD 'B' ALNUM (1:3); END; END; END;"));

    const std::pair<const char*, const char*> errors[] = {
        // The status stands before the repeat count and the description, once.
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) REPEAT (2) MANDATORY;", "; expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' ALNUM (1:1) MANDATORY CONDITIONAL;", "; expected"},
        {"SEGMENTS SEGMENT 'A' FIELD 'B' MANDATORY (1:1);", "Type identifier expected"},
        {"SEGMENTS SEGMENT 'A' COMPOSIT 'C' DESCRIPTION 'd'; MANDATORY", "FIELD expected"},
    };
    for (const auto& [text, message] : errors)
        EXPECT_EQ(SdfError(text), message) << text;
}
