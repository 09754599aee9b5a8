#include "talmiro/def_stream.h"
#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <gtest/gtest.h>

#include <climits>
#include <locale>

using namespace talmiro;

namespace {

class Elements : public ::testing::Test {
protected:
    void SetUp() override { ResetDelimiters(); }
    void TearDown() override { ResetDelimiters(); }
};

std::unique_ptr<TEDIField> MakeField(const char* id, TEdiFieldType type, int minSize, int maxSize) {
    auto f = std::make_unique<TEDIField>(id);
    f->FieldType = type;
    f->MinSize = minSize;
    f->MaxSize = maxSize;
    return f;
}

template <typename T> std::string What(T&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

// A C++ locale whose decimal separator is a comma, as a German user's would be.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

struct CommaLocale {
    std::locale old = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    ~CommaLocale() { std::locale::global(old); }
};

} // namespace

TEST_F(Elements, NewFieldAndIdentifierLimits) {
    TEDIField f("ABCDEFGHIJKL");
    EXPECT_EQ(f.ID, "ABCDEFGHIJ");
    EXPECT_EQ(f.LastFilled(), -1);
    EXPECT_EQ(f.AsString(), "");
    EXPECT_EQ(f.FieldType, ftNumeric);
    // The initial value is the empty text, so even a numeric field formats as padding only.
    f.MinSize = 3;
    f.MaxSize = 5;
    EXPECT_EQ(f.FormatValue(false), "   ");
    TEdiSegment s("UNBXXXXXXXXXX");
    EXPECT_EQ(s.ID, "UNBXXXXXXX");
    EXPECT_FALSE(s.LineBreak);
    EXPECT_EQ(s.StartPos, 0);
}

TEST_F(Elements, AddElementRefusesTakenSimpleIdentifiers) {
    TEdiSegment seg("TST");
    seg.AddField("0065");
    seg.FieldByID("0065").Description = "first";
    seg.AddField("0065");
    EXPECT_EQ(seg.Elements.size(), 1u);
    EXPECT_EQ(seg.FieldByID("0065").Description, "first");

    seg.AddComposit("S009");
    seg.FindComposit("S009")->Description = "first composite";
    seg.AddComposit("S009"); // composites may repeat
    ASSERT_EQ(seg.Elements.size(), 3u);
    EXPECT_EQ(seg.FindComposit("S009"), seg.Elements[1].get());
    EXPECT_EQ(seg.FindComposit("S009")->Description, "first composite");

    seg.AddComposit("0065"); // a simple element holds the identifier
    EXPECT_EQ(seg.Elements.size(), 3u);
    seg.AddField("S009"); // only simple elements block, so a field may share a composite's identifier
    EXPECT_EQ(seg.Elements.size(), 4u);
    seg.AddElement(nullptr);
    EXPECT_EQ(seg.Elements.size(), 4u);
}

TEST_F(Elements, LookUpByIdentifier) {
    TEdiSegment seg("UNH");
    seg.AddField("0062");
    seg.AddComposit("S009");
    TEdiComposit* s009 = seg.FindComposit("S009");
    ASSERT_NE(s009, nullptr);
    s009->AddField("0065");
    EXPECT_EQ(seg.FindField("0065"), nullptr); // no descent into composites
    EXPECT_EQ(seg.FindField("S009"), nullptr); // composites are skipped
    EXPECT_EQ(&s009->FieldByID("0065"), s009->FindField("0065"));
    EXPECT_EQ(seg.FindComposit("s009"), nullptr); // case-sensitive
    EXPECT_EQ(seg.FindComposit("0062"), nullptr);
    EXPECT_EQ(seg.FindField("0062XXXXXXYY"), nullptr);
    seg.AddField("0123456789");
    EXPECT_NE(seg.FindField("0123456789ZZ"), nullptr); // look-up cuts to 10 as well
    seg.AddComposit("C123456789");
    EXPECT_NE(seg.FindComposit("C123456789ZZ"), nullptr);

    EXPECT_EQ(What([&] { s009->FieldByID("X"); }), "Undefined Composit Element S009.X");
    EXPECT_EQ(What([&] { seg.FieldByID("0020"); }), "Undefined Composit Element UNH.0020");
    EXPECT_THROW(seg.FieldByID("0065"), EListError);
}

TEST_F(Elements, LastFilledAndClear) {
    TEdiComposit c("C001");
    c.AddField("1");
    c.AddField("2");
    c.AddField("3");
    for (auto& e : c.Elements)
        static_cast<TEDIField&>(*e).Value = std::string();
    EXPECT_EQ(c.LastFilled(), -1);
    c.FieldByID("2").Value = std::string("x");
    EXPECT_EQ(c.LastFilled(), 1);
    c.FieldByID("3").Value = TVarNull{};
    EXPECT_EQ(c.LastFilled(), 1);
    c.FieldByID("3").Value = 0.0; // a number is filled even when it is zero
    EXPECT_EQ(c.LastFilled(), 2);
    c.FieldByID("3").Value = TVarDate{1e9}; // a date beyond the calendar gives no text
    ASSERT_EQ(c.FieldByID("3").AsString(), "");
    EXPECT_EQ(c.LastFilled(), 1);

    TEdiSegment seg("SEG");
    for (const char* id : {"a", "b", "c", "d", "e", "f"})
        seg.AddField(id);
    seg.FieldByID("b").Value = std::string("1");
    seg.FieldByID("e").Value = std::string("4");
    seg.FieldByID("f").Value = std::string();
    EXPECT_EQ(seg.LastFilled(), 4);
    EXPECT_EQ(TEdiSegment("E").LastFilled(), -1);

    seg.FieldByID("b").RawText = "1";
    seg.Clear();
    EXPECT_EQ(seg.LastFilled(), -1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(seg.FieldByID("b").Value));
    EXPECT_EQ(seg.FieldByID("b").RawText, "1"); // Clear keeps the raw text
}

TEST_F(Elements, AsIntegerAndAsStringByKind) {
    TEDIField f("F");
    EXPECT_EQ(f.AsInteger(), 0);
    f.Value = 830.0;
    EXPECT_EQ(f.AsString(), "830");
    EXPECT_EQ(f.AsInteger(), 830);
    f.Value = 2.5; // rounds half to even
    EXPECT_EQ(f.AsInteger(), 2);
    f.Value = 1.0 / 3.0;
    EXPECT_EQ(f.AsString(), "0.333333333333333");
    f.Value = 1e20;
    EXPECT_EQ(f.AsInteger(), 0); // out of range
    EXPECT_EQ(f.AsString(), "1E20");
    f.Value = int16_t{-12};
    EXPECT_EQ(f.AsString(), "-12");
    f.Value = uint8_t{200};
    EXPECT_EQ(f.AsInteger(), 200);
    f.Value = TVarCurrency{125000};
    EXPECT_EQ(f.AsString(), "12.5");
    f.Value = std::string(" 42");
    EXPECT_EQ(f.AsInteger(), 42);
    f.Value = std::string("7.6");
    EXPECT_EQ(f.AsInteger(), 8);
    f.Value = std::string("abc");
    EXPECT_EQ(f.AsInteger(), 0);
    f.Value = std::string("99999999999");
    EXPECT_EQ(f.AsInteger(), 0);
    f.Value = TVarNull{};
    EXPECT_EQ(f.AsString(), "");
    f.Value = TVarDate{36526.5}; // 1 January 2000, noon
    EXPECT_EQ(f.AsString(), "2000-01-01 12:00:00");
    EXPECT_EQ(f.AsInteger(), 36526);
    f.Value = TVarDate{2.0};
    EXPECT_EQ(f.AsString(), "1900-01-01");
}

TEST_F(Elements, FormatValueNumbers) {
    auto fp = MakeField("N", ftNumeric, 3, 20);
    TEDIField& f = *fp;
    f.Value = std::monostate{};
    EXPECT_EQ(f.FormatValue(false), "0  ");
    f.MinSize = 0;
    f.Value = 12.5;
    EXPECT_EQ(f.FormatValue(false), "12.5");
    Delimiters.DecimalMark = ',';
    EXPECT_EQ(f.FormatValue(false), "12,5");
    ResetDelimiters();
    f.Value = int32_t{-7};
    EXPECT_EQ(f.FormatValue(false), "-7");
    f.Value = 1.0 / 3.0; // 13 significant digits
    EXPECT_EQ(f.FormatValue(false), "0.3333333333333");
    f.Value = 0.00001;
    EXPECT_EQ(f.FormatValue(false), "0.00001");
    f.Value = 0.000001;
    EXPECT_EQ(f.FormatValue(false), "1E-6");
    f.Value = 1.5e-7;
    EXPECT_EQ(f.FormatValue(false), "1.5E-7");
    f.Value = 1234567890123.0; // 13 integer digits stay fixed
    EXPECT_EQ(f.FormatValue(false), "1234567890123");
    f.Value = 12345678901234.0;
    EXPECT_EQ(f.FormatValue(false), "1.234567890123E13");
    f.Value = std::string("0830");
    EXPECT_EQ(f.FormatValue(false), "0830");
    f.Value = TVarNull{};
    EXPECT_EQ(f.FormatValue(false), "0");
    f.FieldType = static_cast<TEdiFieldType>(7); // no known type: empty, then padded
    f.MinSize = 2;
    EXPECT_EQ(f.FormatValue(false), "  ");
}

TEST_F(Elements, FormatValueUsesTheUsersDecimalSeparator) {
    CommaLocale german;
    auto fp = MakeField("N", ftNumeric, 0, 10);
    TEDIField& f = *fp;
    f.Value = 12.5;
    EXPECT_EQ(f.AsString(), "12,5");
    EXPECT_EQ(f.FormatValue(false), "12.5"); // the comma is replaced by the decimal mark
    Delimiters.DecimalMark = ',';
    EXPECT_EQ(f.FormatValue(false), "12,5");
    Delimiters.DecimalMark = '.';
    f.Value = 1.5e-7;
    EXPECT_EQ(f.FormatValue(false), "1.5E-7");
}

TEST_F(Elements, FormatValueCutsPadsAndEscapes) {
    auto fp = MakeField("A", ftAlnum, 0, 10);
    TEDIField& f = *fp;
    f.Value = std::string("A+B?");
    EXPECT_EQ(f.FormatValue(true), "A?+B??");
    EXPECT_EQ(f.FormatValue(false), "A+B?");
    f.Value = std::string(":'.");
    EXPECT_EQ(f.FormatValue(true), "?:?'."); // the decimal mark is not escaped
    f.MaxSize = 5;
    f.Value = std::string("ABCDEFG");
    EXPECT_EQ(f.FormatValue(false), "ABCDE");
    f.MinSize = 3;
    f.Value = std::string("A");
    EXPECT_EQ(f.FormatValue(false), "A  ");
    // Escaping follows cutting, so the escaped text may exceed MaxSize.
    f.MinSize = 0;
    f.MaxSize = 3;
    f.Value = std::string("+++x");
    EXPECT_EQ(f.FormatValue(true), "?+?+?+");
    Delimiters.ElementSeparator = '*';
    f.Value = std::string("*+");
    EXPECT_EQ(f.FormatValue(true), "?*+");
    // A damaged definition's absurd size pads no further than MaxPaddedWidth.
    f.MinSize = INT32_MAX;
    f.MaxSize = INT32_MAX;
    EXPECT_EQ(f.FormatValue(false).size(), static_cast<size_t>(MaxPaddedWidth));
    TMemoryStream fixed;
    f.WriteFixed(fixed);
    EXPECT_EQ(fixed.Size(), MaxPaddedWidth);
}

TEST_F(Elements, FormatValueRejectsADate) {
    auto fp = MakeField("D1", ftNumeric, 0, 10);
    TEDIField& f = *fp;
    f.Value = TVarDate{40000};
    EXPECT_EQ(What([&] { f.FormatValue(false); }), "Invalid variant type conversion in 'D1': $0007");
    EXPECT_THROW(f.FormatValue(true), EVariantError);
    f.FieldType = ftAlnum; // as text a date is fine
    EXPECT_EQ(f.FormatValue(false), "2009-07-06");
    EXPECT_EQ(VarTypeCode(std::string()), 0x100);
    EXPECT_EQ(VarTypeCode(uint8_t{1}), 0x11);
    EXPECT_EQ(VarTypeCode(TVarCurrency{}), 6);
}

TEST_F(Elements, WriteDefRecords) {
    auto fp = MakeField("0062", ftAlnum, 1, 14);
    TEDIField& f = *fp;
    f.Description = "MESSAGE REFERENCE NUMBER";
    TMemoryStream m;
    {
        TDefWriter w(m);
        f.WriteDef(w);
    }
    std::string expected = std::string("\x04\x01\xED\x00\x00\x06\x04", 7) + "0062" +
                           std::string("\x02\x02\x02\x01\x02\x0E\x06\x18", 8) + "MESSAGE REFERENCE NUMBER";
    EXPECT_EQ(m.Text(), expected);

    // Composites and segments put the description before the identifier.
    TEdiSegment seg("UNH");
    seg.Description = std::string(60, 'd'); // cut to 50 in the record
    seg.AddField("0062");
    seg.AddComposit("S009");
    seg.FindComposit("S009")->Description = "MESSAGE IDENTIFIER";
    seg.FindComposit("S009")->AddField("0065");
    seg.FindComposit("S009")->FieldByID("0065").MaxSize = 350;
    TMemoryStream ms;
    {
        TDefWriter w(ms);
        seg.WriteDef(w);
    }
    ms.Seek(0);
    TDefReader r(ms);
    EXPECT_EQ(r.GetInteger(), rtSegment);
    EXPECT_EQ(r.GetText(), std::string(50, 'd'));
    EXPECT_EQ(r.GetText(), "UNH");
    EXPECT_EQ(r.GetInteger(), 2);
    EXPECT_EQ(r.GetInteger(), rtField);
    EXPECT_EQ(r.GetText(), "0062");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r.GetInteger(), 0);
    EXPECT_EQ(r.GetText(), "");
    EXPECT_EQ(r.GetInteger(), rtComposit);
    EXPECT_EQ(r.GetText(), "MESSAGE IDENTIFIER");
    EXPECT_EQ(r.GetText(), "S009");
    EXPECT_EQ(r.GetInteger(), 1);
    EXPECT_EQ(r.GetInteger(), rtField);
    EXPECT_EQ(r.GetText(), "0065");
    EXPECT_EQ(r.GetInteger(), ftNumeric);
    EXPECT_EQ(r.GetInteger(), 0);
    EXPECT_EQ(r.GetInteger(), 350);
    EXPECT_EQ(r.GetText(), "");
    EXPECT_THROW(r.GetInteger(), EReadError); // nothing follows
}
