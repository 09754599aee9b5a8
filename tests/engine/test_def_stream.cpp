#include "table_builder.h"
#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace talmiro;

namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

template <class F> std::string Written(F put, size_t bufferSize = 1024) {
    TMemoryStream out;
    {
        TDefWriter w(out, bufferSize);
        put(w);
    } // the destructor flushes
    return out.Text();
}

template <class F> void ExpectReadError(const std::string& bytes, const char* text, F get) {
    TMemoryStream in(bytes);
    TDefReader r(in);
    try {
        get(r);
        FAIL() << "no error for " << Hex(bytes);
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), text) << Hex(bytes);
    }
}

} // namespace

TEST(DefWriter, IntegersTakeTheSmallestForm) {
    auto put = [](int32_t v) { return Hex(Written([v](TDefWriter& w) { w.PutInteger(v); })); };
    EXPECT_EQ(put(0), "02 00");
    EXPECT_EQ(put(127), "02 7F");
    EXPECT_EQ(put(-128), "02 80");
    EXPECT_EQ(put(128), "03 80 00");
    EXPECT_EQ(put(-129), "03 7F FF");
    EXPECT_EQ(put(350), "03 5E 01");
    EXPECT_EQ(put(-32768), "03 00 80");
    EXPECT_EQ(put(32768), "04 00 80 00 00");
    EXPECT_EQ(put(70000), "04 70 11 01 00");
    EXPECT_EQ(put(rtField), "04 01 ED 00 00"); // record tags always take five bytes
    EXPECT_EQ(put(INT32_MIN), "04 00 00 00 80");
}

TEST(DefWriter, TextsBooleansAndCharacters) {
    EXPECT_EQ(Hex(Written([](TDefWriter& w) { w.PutText(""); })), "06 00");
    EXPECT_EQ(Hex(Written([](TDefWriter& w) { w.PutText("0062"); })), "06 04 30 30 36 32");
    EXPECT_EQ(Hex(Written([](TDefWriter& w) { w.PutChar('M'); })), "06 01 4D");
    EXPECT_EQ(Hex(Written([](TDefWriter& w) {
                  w.PutBoolean(true);
                  w.PutBoolean(false);
              })),
              "09 08");

    const std::string at255 = Written([](TDefWriter& w) { w.PutText(std::string(255, 'x')); });
    ASSERT_EQ(at255.size(), 257u);
    EXPECT_EQ(Hex(at255.substr(0, 2)), "06 FF");

    const std::string long300 = Written([](TDefWriter& w) { w.PutText(std::string(300, 'y')); });
    ASSERT_EQ(long300.size(), 305u);
    EXPECT_EQ(Hex(long300.substr(0, 5)), "0C 2C 01 00 00");
    EXPECT_EQ(long300.substr(5), std::string(300, 'y'));
}

TEST(DefWriter, SmallBufferWritesTheSameBytes) {
    auto putAll = [](TDefWriter& w) {
        for (int i = -300; i < 300; i += 7)
            w.PutInteger(i * 1000);
        w.PutText(std::string(700, 'z'));
        w.PutChar('C');
    };
    EXPECT_EQ(Written(putAll, 3), Written(putAll, 1024));
}

TEST(DefReader, ReadsBackWhatWasWrittenAcrossBlocks) {
    const std::string bytes = Written([](TDefWriter& w) {
        for (int32_t v : {0, -1, 127, -128, 128, -32768, 32767, 32768, -32769, INT32_MAX, INT32_MIN})
            w.PutInteger(v);
        w.PutText("MESSAGE REFERENCE NUMBER");
        w.PutText(std::string(1000, 'q'));
        w.PutBoolean(true);
        w.PutBoolean(false);
        w.PutChar('C');
    });
    for (size_t bufferSize : {1u, 3u, 128u, 1024u}) {
        TMemoryStream in(bytes);
        TDefReader r(in, bufferSize);
        for (int32_t v : {0, -1, 127, -128, 128, -32768, 32767, 32768, -32769, INT32_MAX, INT32_MIN})
            EXPECT_EQ(r.GetInteger(), v);
        EXPECT_EQ(r.GetText(), "MESSAGE REFERENCE NUMBER");
        EXPECT_EQ(r.GetText(), std::string(1000, 'q'));
        EXPECT_TRUE(r.GetBoolean());
        EXPECT_FALSE(r.GetBoolean());
        EXPECT_EQ(r.GetChar(), 'C');
        EXPECT_EQ(test::ErrorText<EReadError>([&] { r.GetInteger(); }), "Stream-Read-Fehler");
    }
}

TEST(DefReader, WrongValueTypes) {
    const char* invalid = "Ungültiger Wert der Eigenschaft";
    ExpectReadError(std::string("\x06\x01X", 3), invalid, [](TDefReader& r) { r.GetInteger(); });
    ExpectReadError(std::string("\x09", 1), invalid, [](TDefReader& r) { r.GetInteger(); });
    ExpectReadError(std::string("\x02\x05", 2), invalid, [](TDefReader& r) { r.GetText(); });
    ExpectReadError(std::string("\x06\x02XY", 4), invalid, [](TDefReader& r) { r.GetChar(); });
    ExpectReadError(std::string("\x0C\x01\x00\x00\x00X", 6), invalid, [](TDefReader& r) { r.GetChar(); });

    // A boolean accepts any byte: 06 is false, and the string's bytes are then read as values.
    TMemoryStream in(std::string("\x06\x02\x02\x05", 4));
    TDefReader r(in);
    EXPECT_FALSE(r.GetBoolean());
    EXPECT_EQ(r.GetInteger(), 2);
    EXPECT_EQ(test::ErrorText<EReadError>([&] { r.GetInteger(); }), invalid);
}

TEST(DefReader, EndOfDataInsideAValue) {
    const char* eod = "Stream-Read-Fehler";
    ExpectReadError(std::string("\x04\x01\xED", 3), eod, [](TDefReader& r) { r.GetInteger(); });
    ExpectReadError(std::string("\x06\x05"
                                "abc",
                                5),
                    eod, [](TDefReader& r) { r.GetText(); });
    ExpectReadError(std::string("\x06", 1), eod, [](TDefReader& r) { r.GetText(); });
    ExpectReadError("", eod, [](TDefReader& r) { r.GetBoolean(); });
    ExpectReadError(std::string("\x06\x01", 2), eod, [](TDefReader& r) { r.GetChar(); });
    // A long text claiming 2 GB in a few bytes fails at the end of the data instead of reserving the length.
    ExpectReadError(std::string("\x0C\xFF\xFF\xFF\x7F"
                                "abc",
                                8),
                    eod, [](TDefReader& r) { r.GetText(); });
}

TEST(TableHeader, LayoutOfTheFirstTwentyBytes) {
    const auto h = MakeTableHeader(SdtFileType, true);
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[1], 1);
    EXPECT_EQ(h[2], 0);
    EXPECT_EQ(h[3], 0);
    EXPECT_EQ(h[4], 0xF1);
    EXPECT_EQ(h[5], 0xED);
    EXPECT_EQ(h[6], 0);
    EXPECT_EQ(h[7], 0);
    EXPECT_EQ(h[8], 1);
    double when = 0;
    std::memcpy(&when, h.data() + 12, sizeof when);
    // Days since 30 December 1899: 45000 is in 2023, 80000 far beyond any run of these tests.
    EXPECT_GT(when, 45000.0);
    EXPECT_LT(when, 80000.0);
    EXPECT_NEAR(when, NowAsDateTime(), 1.0 / 24);
    for (size_t i = 20; i < h.size(); ++i)
        ASSERT_EQ(h[i], 0) << i;

    const auto m = MakeTableHeader(MdtFileType, false);
    EXPECT_EQ(m[4], 0xF2);
    EXPECT_EQ(m[5], 0xED);
    EXPECT_EQ(m[8], 0);
}
