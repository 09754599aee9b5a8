#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

using namespace talmiro;

namespace {

class Syntax : public ::testing::Test {
protected:
    void SetUp() override { ResetDelimiters(); }
    void TearDown() override { ResetDelimiters(); }
};

// A segment from a short layout: one letter per element, "n" numeric, "a" alphanumeric, and a digit k
// for a composite of k alphanumeric components. Elements are named e1, e2, ..., components c1, c2, ...
std::unique_ptr<TEdiSegment> MakeSegment(const std::string& tag, const std::string& layout) {
    auto seg = std::make_unique<TEdiSegment>(tag);
    int n = 0;
    // Names are built with append: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string&&.
    auto name = [](char prefix, int number) { return std::string(1, prefix).append(std::to_string(number)); };
    for (char kind : layout) {
        const std::string id = name('e', ++n);
        if (kind == 'n' || kind == 'a') {
            seg->AddField(id);
            auto& f = seg->FieldByID(id);
            f.FieldType = kind == 'n' ? ftNumeric : ftAlnum;
            f.MaxSize = 35;
        } else {
            seg->AddComposit(id);
            auto* c = seg->FindComposit(id);
            for (int k = 1; k <= kind - '0'; ++k) {
                const std::string component = name('c', k);
                c->AddField(component);
                c->FieldByID(component).FieldType = ftAlnum;
                c->FieldByID(component).MaxSize = 35;
            }
        }
    }
    return seg;
}

std::string Text(const TEdiSegment& seg, const char* id) {
    return seg.FieldByID(id).AsString();
}
std::string Text(const TEdiSegment& seg, const char* comp, const char* id) {
    return seg.FindComposit(comp)->FieldByID(id).AsString();
}

template <typename T> std::string What(T&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST_F(Syntax, LineBreaksAnywhereReadTheSame) {
    const std::string oneLine = "UNB+UNOA:2+SENDER:14+RECEIVER:14+970101:1200+REF1++APP'\r\n";
    std::string broken;
    for (char c : oneLine) {
        broken += c;
        if (c == '+' || c == ':' || c == '?') broken += "\r\n";
    }
    broken = "\n\t" + broken;
    TSegmUNB a, b;
    TMemoryStream sa(oneLine), sb(broken);
    a.ReadEdi(sa);
    b.ReadEdi(sb);
    for (const char* comp : {"S001", "S002", "S003", "S004"})
        for (auto& e : a.FindComposit(comp)->Elements) {
            auto& fa = static_cast<TEDIField&>(*e);
            auto& fb = b.FindComposit(comp)->FieldByID(fa.ID);
            EXPECT_EQ(fa.AsString(), fb.AsString()) << comp << "." << fa.ID;
            EXPECT_EQ(fa.RawText, fb.RawText);
        }
    EXPECT_EQ(Text(a, "S004", "0017"), "970101");
    EXPECT_EQ(Text(b, "0020"), "REF1");
    EXPECT_EQ(Text(b, "0026"), "APP");
    EXPECT_EQ(b.StartPos, 0); // before the line break that precedes the tag
    EXPECT_EQ(a.EndPos, static_cast<int64_t>(oneLine.find('\'')));
    EXPECT_EQ(b.EndPos, static_cast<int64_t>(broken.find('\'')));
}

TEST_F(Syntax, ServiceStringAdvice) {
    TMemoryStream s("UNA:*.? 'UNB*UNOA:2'");
    EXPECT_EQ(ReadFirstTag(s), "UNB");
    EXPECT_EQ(Delimiters.ElementSeparator, '*');
    EXPECT_EQ(s.Position(), 9);

    ResetDelimiters();
    TMemoryStream custom("UNA;|,! ~UNB|X;Y~");
    EXPECT_EQ(ReadFirstTag(custom), "UNB");
    EXPECT_EQ(Delimiters.ComponentSeparator, ';');
    EXPECT_EQ(Delimiters.DecimalMark, ',');
    EXPECT_EQ(Delimiters.ReleaseChar, '!');
    EXPECT_EQ(Delimiters.SegmentTerminator, '~');
    auto seg = MakeSegment("UNB", "2");
    seg->ReadEdi(custom);
    EXPECT_EQ(Text(*seg, "e1", "c2"), "Y");

    // The advice is taken from the bytes where the peek began, line breaks included.
    ResetDelimiters();
    TMemoryStream late("\r\nUNA:+.? 'UNB+");
    EXPECT_THROW(ReadFirstTag(late), EEdiSyntaxError);
    EXPECT_EQ(Delimiters.ComponentSeparator, 'N');
    EXPECT_EQ(Delimiters.ElementSeparator, 'A');

    // An advice cut short changes only the delimiters whose bytes are there.
    ResetDelimiters();
    TMemoryStream cut("UNA;|");
    ReadServiceStringAdvice(cut);
    EXPECT_EQ(Delimiters.ComponentSeparator, ';');
    EXPECT_EQ(Delimiters.ElementSeparator, '|');
    EXPECT_EQ(Delimiters.DecimalMark, '.');
    EXPECT_EQ(Delimiters.SegmentTerminator, '\'');

    // Without an advice the first tag is peeked only.
    ResetDelimiters();
    TMemoryStream plain("UNB+X'");
    EXPECT_EQ(ReadFirstTag(plain), "UNB");
    EXPECT_EQ(plain.Position(), 0);
}

// An advice that gives two separators the same character makes every segment ambiguous and is refused at
// once, not where the reader happens to fail. A release character may coincide with a separator (the
// separator wins), and an advice cut short is left to the peek after it.
TEST_F(Syntax, AdviceWithOneCharacterForTwoSeparators) {
    auto first = [](const std::string& text) {
        ResetDelimiters();
        TMemoryStream m(text);
        return What([&] { ReadFirstTag(m); });
    };
    EXPECT_EQ(first("UNA++.? 'UNB+UNOA+2'"), "Service string advice uses \"+\" for more than one separator.");
    EXPECT_EQ(first("UNA::.? 'UNB:UNOA:2'"), "Service string advice uses \":\" for more than one separator.");
    EXPECT_EQ(first("UNA:+.? +UNB+UNOA:2+"), "Service string advice uses \"+\" for more than one separator.");
    EXPECT_EQ(first("UNA:+.? :UNB+UNOA:2:"), "Service string advice uses \":\" for more than one separator.");
    EXPECT_EQ(first("UNA:+.+ 'UNB+UNOA:2'"), "<no error>");
    EXPECT_EQ(first("UNA:+.?+'UNB+UNOA:2'"), "<no error>"); // the reserved character is no separator
    EXPECT_EQ(first("UNA++"), "Invalid segment ID \"\".");
}

TEST_F(Syntax, PeekSegmentTag) {
    TMemoryStream s("\r\nLIN+1'");
    EXPECT_EQ(PeekSegmentTag(s), "LIN");
    EXPECT_EQ(s.Position(), 0);
    TMemoryStream una("UNA:+.? '");
    EXPECT_EQ(PeekSegmentTag(una), "UNA");

    auto peekError = [](const std::string& text) {
        TMemoryStream m(text);
        return What([&] { PeekSegmentTag(m); });
    };
    EXPECT_EQ(peekError("LIN:1'"), "Invalid segment ID \"LIN:\".");
    EXPECT_EQ(peekError(" UNH+1'"), "Invalid segment ID \" UNH\".");
    EXPECT_EQ(peekError("\r\n\r\n"), "Invalid segment ID \"\".");
    EXPECT_EQ(peekError("UN"), "Invalid segment ID \"UN\".");
    TMemoryStream m("LIN:");
    EXPECT_THROW(PeekSegmentTag(m), EEdiSyntaxError);
    EXPECT_EQ(ReadChars(m, 10), ""); // the failed peek left the stream at the end
}

TEST_F(Syntax, ControlBytesNeverActAsDelimiters) {
    // Control bytes are skipped wherever characters are taken, even when an advice names one as a
    // delimiter: the result must not depend on whether the bytes happen to be in the stream's buffer.
    Delimiters.ElementSeparator = '\x1d';
    TMemoryStream peek("UNH\x1d"
                       "1'");
    EXPECT_EQ(What([&] { PeekSegmentTag(peek); }), "Invalid segment ID \"UNH1\".");

    ResetDelimiters();
    Delimiters.ComponentSeparator = '\x1f';
    auto seg = MakeSegment("TAG", "a");
    TMemoryStream value("TAG+A\x1f"
                        "B'");
    seg->ReadEdi(value);
    EXPECT_EQ(Text(*seg, "e1"), "AB");
    EXPECT_EQ(seg->FieldByID("e1").RawText, "AB");
}

TEST_F(Syntax, ReleaseCharacter) {
    auto seg = MakeSegment("TAG", "aaa");
    auto read = [&](const std::string& text) {
        seg->Clear();
        TMemoryStream m(text);
        seg->ReadEdi(m);
    };
    read("TAG+A?+B+A?:B+A??B'");
    EXPECT_EQ(Text(*seg, "e1"), "A+B");
    EXPECT_EQ(Text(*seg, "e2"), "A:B");
    EXPECT_EQ(Text(*seg, "e3"), "A?B");
    read("TAG+ABC??+D'");
    EXPECT_EQ(Text(*seg, "e1"), "ABC?");
    EXPECT_EQ(Text(*seg, "e2"), "D");
    read("TAG+?\r\n'X+?'?''"); // a line break between the release character and its character
    EXPECT_EQ(Text(*seg, "e1"), "'X");
    EXPECT_EQ(Text(*seg, "e2"), "''");
    EXPECT_EQ(seg->FieldByID("e2").RawText, "''");

    auto error = [&](const std::string& text) { return What([&] { read(text); }); };
    EXPECT_EQ(error("TAG+A?"), "Transmission file structure damaged");
    EXPECT_EQ(error("TAG+A?\r\n"), "Transmission file structure damaged");
    EXPECT_EQ(error("TAG+AB"), "Unexpected end of transmission file");
    EXPECT_EQ(error("TAG+A+"), "Unexpected end of transmission file");
    EXPECT_EQ(error("TAG+A"), "Unexpected end of transmission file");
    EXPECT_EQ(error("TAG+A+B"), "Unexpected end of transmission file");
    EXPECT_EQ(error("TAG+A+B+C"), "Unexpected end of transmission file");
    EXPECT_EQ(error("TAG"), "Data element seperator invalid.");
    // A release character that is also a delimiter acts as the delimiter.
    Delimiters.ReleaseChar = '+';
    read("TAG+A+B'");
    EXPECT_EQ(Text(*seg, "e1"), "A");
    EXPECT_EQ(Text(*seg, "e2"), "B");
}

// A value without end (a file whose terminator is missing, a hostile one) is refused at a bound far above
// any real value instead of being held in memory whole: from memory, through a file's blocks and through
// release characters alike, and reading stops there rather than at the end of the data.
TEST_F(Syntax, OverlongValuesAreRefused) {
    const size_t limit = size_t{1} << 20;
    const std::string error = "Data element value longer than 1048576 characters.";
    auto seg = MakeSegment("TAG", "aa");
    auto read = [&](const std::string& text) {
        TMemoryStream m(text);
        return What([&] { seg->ReadEdi(m); });
    };
    EXPECT_EQ(read("TAG+" + std::string(limit, 'A') + "+B'"), "<no error>");
    EXPECT_EQ(seg->FieldByID("e1").RawText.size(), limit);
    EXPECT_EQ(read("TAG+" + std::string(limit + 1, 'A') + "+B'"), error);
    EXPECT_EQ(read("TAG+B+" + std::string(limit + 1, 'A')), error);
    std::string released = "TAG+";
    for (size_t n = 0; n <= limit / 2; ++n)
        released += "A?+\r\n"; // two characters of the value each
    EXPECT_EQ(read(released + "'"), error);

    const auto path = std::filesystem::temp_directory_path() / "talmiro-syntax-overlong.edi";
    {
        std::ofstream out(path, std::ios::binary);
        out << "TAG+" << std::string(8 * limit, 'A');
    }
    TFileStream file(path.string());
    EXPECT_EQ(What([&] { seg->ReadEdi(file); }), error);
    EXPECT_LT(file.Position(), static_cast<int64_t>(2 * limit));
    std::filesystem::remove(path);
}

// A segment of ten million components or ten million elements fails at the first one its definition has
// no place for; nothing after it is read.
TEST_F(Syntax, SegmentsOfMillionsOfComponentsFailAtTheFirstSurplusOne) {
    auto seg = MakeSegment("TAG", "2a");
    auto attempt = [&](const std::string& head, const std::string& repeated) {
        std::string tail = repeated;
        while (tail.size() < repeated.size() * 10000000)
            tail += tail; // doubling: a few copies instead of ten million appends
        const std::string text = head + tail.substr(0, repeated.size() * 10000000);
        TMemoryStream m(text + "'");
        const std::string error = What([&] { seg->ReadEdi(m); });
        EXPECT_LT(m.Position(), 20);
        return error;
    };
    EXPECT_EQ(attempt("TAG+A", ":x"), "Data element seperator invalid.");
    EXPECT_EQ(attempt("TAG+A:B+C", "+x"), "Invalid segment delimiter at the end of \"TAG\".");
    EXPECT_EQ(attempt("TAG+A:B+C", ":"), "Invalid segment delimiter at the end of \"TAG\".");
}

TEST_F(Syntax, SegmentStructureErrors) {
    TSegmUNT unt;
    TMemoryStream m("UNH+1+ORDERS:D:96A:UN'");
    try {
        unt.ReadEdi(m);
        FAIL() << "no error";
    } catch (const EInvalidSegment& e) {
        EXPECT_STREQ(e.what(), "Invalid segment \"UNH\"");
        EXPECT_EQ(e.Expect, "UNT");
        EXPECT_EQ(e.Found, "UNH");
    }
    TMemoryStream shortTag("UN");
    EXPECT_EQ(What([&] { unt.ReadEdi(shortTag); }), "Invalid segment \"UN\"");
    EXPECT_EQ(What([&] {
                  TMemoryStream lower("unt+1+2'");
                  unt.ReadEdi(lower);
              }),
              "Invalid segment \"unt\"");

    auto one = MakeSegment("TAG", "a");
    auto error = [&](TEdiSegment& seg, const std::string& text) {
        TMemoryStream s(text);
        return What([&] { seg.ReadEdi(s); });
    };
    EXPECT_EQ(error(*one, "TAG+A+B'"), "Invalid segment delimiter at the end of \"TAG\".");
    EXPECT_EQ(error(*one, "TAG:A'"), "Data element seperator invalid.");
    EXPECT_EQ(error(*one, "TAG+A:B'"), "Invalid segment delimiter at the end of \"TAG\".");
    auto two = MakeSegment("TAG", "aa");
    EXPECT_EQ(error(*two, "TAG+A:B+C'"), "Data element seperator invalid.");

    // A composite of two meets X:Y:Z: the separator before Z is consumed and the segment fails on Z.
    auto compFirst = MakeSegment("TAG", "2a");
    EXPECT_EQ(error(*compFirst, "TAG+X:Y:Z+W'"), "Data element seperator invalid.");
    EXPECT_EQ(Text(*compFirst, "e1", "c2"), "Y"); // values read so far stay
    auto compLast = MakeSegment("TAG", "a2");
    EXPECT_EQ(error(*compLast, "TAG+A+X:Y:Z'"), "Invalid segment delimiter at the end of \"TAG\".");

    // A definition without elements takes only the terminator right after the tag.
    auto empty = MakeSegment("TAG", "");
    EXPECT_EQ(error(*empty, "TAG'"), "<no error>");
    EXPECT_EQ(error(*empty, "TAG+'"), "Invalid segment delimiter at the end of \"TAG\".");
    // A tag that is not three characters long never matches.
    auto longTag = MakeSegment("TAGX", "a");
    EXPECT_EQ(error(*longTag, "TAGX+A'"), "Invalid segment \"TAG\"");
}

TEST_F(Syntax, OmittedAndEmptyElements) {
    auto seg = MakeSegment("TAG", "an2a");
    TMemoryStream first("TAG+A+1+X:Y+B'");
    seg->ReadEdi(first);
    TMemoryStream second("xxTAG+C'TAG+++:Q+'");
    second.Seek(2);
    seg->ReadEdi(second);
    EXPECT_EQ(seg->StartPos, 2);
    EXPECT_EQ(seg->EndPos, 7);
    EXPECT_EQ(second.Position(), 8);
    EXPECT_EQ(Text(*seg, "e1"), "C");
    EXPECT_EQ(Text(*seg, "e2"), "1"); // not in the text: kept
    EXPECT_EQ(Text(*seg, "e4"), "B");

    seg->ReadEdi(second);
    EXPECT_EQ(Text(*seg, "e1"), "");
    EXPECT_EQ(seg->FieldByID("e2").RawText, "");
    EXPECT_EQ(std::get<double>(seg->FieldByID("e2").Value), 0.0);
    EXPECT_EQ(Text(*seg, "e3", "c1"), "");
    EXPECT_EQ(Text(*seg, "e3", "c2"), "Q");
    EXPECT_EQ(Text(*seg, "e4"), "");
    EXPECT_EQ(ReadChars(second, 5), "");

    // A failed read leaves StartPos set and EndPos as it was.
    TMemoryStream bad("TAG+A+B+C+D+E'");
    EXPECT_THROW(seg->ReadEdi(bad), EEdiSyntaxError);
    EXPECT_EQ(seg->StartPos, 0);
    EXPECT_EQ(seg->EndPos, 17);
    seg->SeekStart(bad);
    EXPECT_EQ(bad.Position(), 0);
}

TEST_F(Syntax, EachValueReplacesThePreviousWhole) {
    // Values shorter than the one before are copied into the text already held: every length must come
    // out whole, with nothing of the longer value left over.
    auto seg = MakeSegment("TXT", "a");
    auto& f = seg->FieldByID("e1");
    for (const std::string value : {"ABCDEFGHIJKLMNOPQRS", "abcdefghijklmnop", "0123456789abcde", "Z12345678",
                                    "y1234567", "x123456", "w12345", "v1234", "u123", "t12", "s1", "r", "",
                                    "r", "s1", "ABCDEFGHIJKLMNOPQRS", "q?+Q", "p?:1"}) {
        TMemoryStream m("TXT+" + value + "'");
        seg->ReadEdi(m);
        std::string expected = value;
        if (value.size() == 4 && value[1] == '?') expected.erase(1, 1);
        EXPECT_EQ(f.RawText, expected);
        EXPECT_EQ(std::get<std::string>(f.Value), expected);
    }
}

TEST_F(Syntax, NumericValues) {
    auto seg = MakeSegment("NUM", "n");
    auto& f = seg->FieldByID("e1");
    auto read = [&](const std::string& value) {
        TMemoryStream m("NUM+" + value + "'");
        seg->ReadEdi(m);
        return std::get<double>(f.Value);
    };
    EXPECT_EQ(read("0830"), 830.0);
    EXPECT_EQ(f.AsString(), "830");
    EXPECT_EQ(f.RawText, "0830");
    EXPECT_EQ(read(""), 0.0);
    EXPECT_EQ(read("  -1.5e2"), -150.0);
    EXPECT_EQ(read("?+3"), 3.0); // a plus sign has to be released
    EXPECT_EQ(f.RawText, "+3");
    EXPECT_EQ(read(".5"), 0.5);
    EXPECT_EQ(read("2.E?+1"), 20.0);
    EXPECT_EQ(read("1e-400"), 0.0);
    // Short decimals take a quicker conversion than long ones: both must round to the nearest double.
    for (const char* text :
         {"0.3", "-0.3", "12.50", "123456789012.345", "0.000000000000001", "999999999999999",
          "9007199254740993", "1.0000000000000001", "5.", "00000000000000000001.5"})
        EXPECT_EQ(read(text), std::strtod(text, nullptr)) << text;
    EXPECT_TRUE(std::signbit(read("-0.0")));
    // Not a number: no error, the value is 0 and the text stays raw.
    for (const char* bad : {"12,5", "1e", "abc", "1.2.3", "12 ", "--1", "1e999", "inf", "nan", "0x10", " "}) {
        EXPECT_EQ(read(bad), 0.0) << bad;
        EXPECT_EQ(f.RawText, bad);
    }
    // The decimal mark plays no part in reading.
    Delimiters.DecimalMark = ',';
    EXPECT_EQ(read("12.5"), 12.5);
}

TEST_F(Syntax, WriteEdi) {
    TSegmUNH unh;
    unh.FieldByID("0062").Value = std::string("1");
    auto* s009 = unh.FindComposit("S009");
    s009->FieldByID("0065").Value = std::string("ORDERS");
    s009->FieldByID("0052").Value = std::string("D");
    s009->FieldByID("0054").Value = std::string("96A");
    s009->FieldByID("0051").Value = std::string("UN");
    TMemoryStream out;
    unh.WriteEdi(out);
    EXPECT_EQ(out.Text(), "UNH+1+ORDERS:D:96A:UN'");

    unh.Clear();
    TMemoryStream none;
    unh.WriteEdi(none);
    EXPECT_EQ(none.Text(), "");

    // Gaps keep their separators, trailing empties are left out, values are escaped.
    auto seg = MakeSegment("TAG", "a3an");
    seg->FieldByID("e1").Value = std::string("A'B");
    seg->FindComposit("e2")->FieldByID("c3").Value = std::string("Z");
    seg->FieldByID("e3").Value = std::string("x");
    seg->LineBreak = true;
    TMemoryStream gaps;
    seg->WriteEdi(gaps);
    EXPECT_EQ(gaps.Text(), "TAG+A?'B+::Z+x'\r\n");

    // What is written reads back to the same values, also under other delimiters.
    Delimiters = {';', '|', ',', '!', ' ', '~'};
    seg->FieldByID("e1").Value = std::string("|;!~'");
    seg->FieldByID("e4").Value = 2.5;
    seg->LineBreak = false;
    TMemoryStream round;
    seg->WriteEdi(round);
    EXPECT_EQ(round.Text(), "TAG|!|!;!!!~'|;;Z|x|2,5~");
    auto back = MakeSegment("TAG", "a3an");
    round.Seek(0);
    back->ReadEdi(round);
    EXPECT_EQ(Text(*back, "e1"), "|;!~'");
    EXPECT_EQ(Text(*back, "e2", "c3"), "Z");
    EXPECT_EQ(back->FieldByID("e4").RawText, "2,5"); // a decimal comma does not read back as a number
}

TEST_F(Syntax, WriteFixed) {
    auto seg = MakeSegment("TAG", "na2");
    seg->FieldByID("e1").MaxSize = 5;
    seg->FieldByID("e1").Value = 42.0;
    seg->FieldByID("e2").MaxSize = 4;
    seg->FieldByID("e2").Value = std::string("ab");
    auto* c = seg->FindComposit("e3");
    c->FieldByID("c1").MaxSize = 3;
    c->FieldByID("c1").Value = std::monostate{};
    c->FieldByID("c2").MaxSize = 2;
    c->FieldByID("c2").MinSize = 1;
    c->FieldByID("c2").Value = std::string("xyz");
    TMemoryStream out;
    seg->WriteFixed(out);
    EXPECT_EQ(out.Text(), "TAG          42ab     xy\r\n");

    seg->Clear();
    TMemoryStream cleared;
    seg->WriteFixed(cleared);
    EXPECT_EQ(cleared.Text(), "TAG           0         \r\n"); // numbers show 0, the rest blanks

    TEdiSegment bare("UNS");
    TMemoryStream tagOnly;
    bare.WriteFixed(tagOnly);
    EXPECT_EQ(tagOnly.Text(), "UNS       ");
}

// Reads an interchange the way the driver does: the first tag, then peek, pick a definition, read.
namespace {

int ReadInterchange(TStream& stream, std::map<std::string, std::unique_ptr<TEdiSegment>>& defs) {
    ResetDelimiters();
    std::string tag = ReadFirstTag(stream);
    int count = 0;
    for (;;) {
        auto it = defs.find(tag);
        if (it == defs.end()) throw EInvalidSegment(tag);
        it->second->ReadEdi(stream);
        ++count;
        if (tag == "UNZ") return count;
        tag = PeekSegmentTag(stream);
    }
}

} // namespace

TEST_F(Syntax, TruncatedInterchangeFailsCleanlyAtEveryOffset) {
    std::map<std::string, std::unique_ptr<TEdiSegment>> defs;
    defs["UNB"] = std::make_unique<TSegmUNB>();
    defs["UNH"] = std::make_unique<TSegmUNH>();
    defs["UNT"] = std::make_unique<TSegmUNT>();
    defs["UNZ"] = std::make_unique<TSegmUNZ>();
    defs["BGM"] = MakeSegment("BGM", "3aa");
    defs["QTY"] = MakeSegment("QTY", "3");
    const std::string text = "UNA:+.? '\r\n"
                             "UNB+UNOA:2+SENDER+RECEIVER+200101:1200+1'\r\n"
                             "UNH+1+ORDERS:D:96A:UN'\r\nBGM+220+PO?+1?:2+9'\r\n"
                             "QTY+21:1\r\n0.5:PCE'\r\nUNT+4+1'\r\n"
                             "UNZ+1+1'\r\n";
    TMemoryStream whole(text);
    EXPECT_EQ(ReadInterchange(whole, defs), 6);
    EXPECT_EQ(defs["BGM"]->FieldByID("e2").AsString(), "PO+1:2");
    EXPECT_EQ(defs["QTY"]->FindComposit("e1")->FieldByID("c2").AsString(), "10.5");

    const size_t lastTerminator = text.rfind('\'');
    for (size_t n = 0; n < text.size(); ++n) {
        TMemoryStream cut(text.substr(0, n));
        bool ok = false;
        try {
            ReadInterchange(cut, defs);
            ok = true;
        } catch (const Exception&) {
            // every engine error is fine; anything else fails the test
        }
        EXPECT_EQ(ok, n > lastTerminator) << "cut after " << n << " bytes";
    }
}

TEST_F(Syntax, FileStreamReadsValuesAcrossBlockBoundaries) {
    // Values of many lengths, with release characters and line breaks, so that every kind of character
    // lands on the 64 KiB block boundaries of the file stream.
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; text.size() < 300000; ++i) {
        std::string value(static_cast<size_t>(i % 97), static_cast<char>('A' + i % 26));
        text += "TAG+" + value + "?+" + std::to_string(i) + (i % 3 ? ":" : "\r\n:") + "X'" +
                (i % 2 ? "\r\n" : "");
        expected.push_back(value + "+" + std::to_string(i));
    }
    const auto path = std::filesystem::temp_directory_path() / "talmiro-syntax-blocks.edi";
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    auto seg = MakeSegment("TAG", "2");
    TFileStream file(path.string());
    for (size_t i = 0; i < expected.size(); ++i) {
        const int64_t before = file.Position();
        ASSERT_EQ(PeekSegmentTag(file), "TAG");
        ASSERT_EQ(file.Position(), before);
        seg->ReadEdi(file);
        ASSERT_EQ(Text(*seg, "e1", "c1"), expected[i]) << "segment " << i;
        ASSERT_EQ(Text(*seg, "e1", "c2"), "X");
        ASSERT_EQ(text[static_cast<size_t>(seg->EndPos)], '\'');
    }
    EXPECT_THROW(PeekSegmentTag(file), EEdiSyntaxError); // only line breaks left
    std::filesystem::remove(path);
}
