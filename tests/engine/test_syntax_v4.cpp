// Syntax version 4: repeating data elements, the repetition separator and its rules, the version 4
// envelope, byte-order marks, and the repeat count in the tables.
#include "talmiro/def_stream.h"
#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"
#include "talmiro/transmission.h"

#include "table_builder.h"

#include <gtest/gtest.h>

using namespace talmiro;
using test::ErrorText;
using test::Seg;

namespace {

class SyntaxV4 : public ::testing::Test {
protected:
    void SetUp() override { ResetDelimiters(); }
    void TearDown() override { ResetDelimiters(); }
};

// COM with its composite C076 (3148, 3155) that may occur three times.
std::unique_ptr<TEdiSegment> Com() {
    auto com = std::make_unique<TEdiSegment>("COM");
    com->AddComposit("C076");
    auto* c076 = com->FindComposit("C076");
    c076->RepeatCount = 3;
    for (const char* id : {"3148", "3155"}) {
        c076->AddField(id);
        c076->FieldByID(id).FieldType = ftAlnum;
        c076->FieldByID(id).MaxSize = 512;
    }
    return com;
}

std::string Component(const TEdiElement& element, const char* id) {
    return dynamic_cast<const TEdiComposit&>(element).FieldByID(id).RawText;
}

// A segment table holding COM, whose records after the header are written by `write`; the error of
// loading it, or "<no error>".
template <typename Write>
std::string LoadCom(Write write) {
    TMemoryStream bytes;
    {
        TDefWriter w(bytes);
        w.PutInteger(rtSegment);
        w.PutText("");
        w.PutText("COM");
        w.PutInteger(1);
        write(w);
    }
    bytes.Seek(0);
    return ErrorText([&] {
        TDefReader reader(bytes);
        ReadSegmentTable(reader, 1);
    });
}

// The record of field 3148, an..35.
void PutField3148(TDefWriter& w) {
    w.PutInteger(rtField);
    w.PutText("3148");
    w.PutInteger(ftAlnum);
    w.PutInteger(1);
    w.PutInteger(35);
    w.PutText("");
}

} // namespace

TEST_F(SyntaxV4, RepeatsAreReadIntoOccurrencesAfterTheFirst) {
    Delimiters.RepetitionSeparator = '*';
    auto com = Com();
    TMemoryStream in("COM+?+4420:TE*a?*b:FX*orders@example.com:EM'NEXT");
    com->ReadEdi(in);
    EXPECT_EQ(Component(*com->Elements[0], "3148"), "+4420");
    ASSERT_EQ(com->Repetitions.size(), 2u);
    EXPECT_EQ(com->Repetitions[0].Position, 0u);
    // The release character protects the repetition separator like any other delimiter.
    EXPECT_EQ(Component(*com->Repetitions[0].Element, "3148"), "a*b");
    EXPECT_EQ(Component(*com->Repetitions[1].Element, "3155"), "EM");
    EXPECT_FALSE(com->Repetitions[0].ByElementSeparator);
    EXPECT_EQ(com->Occurrences(0), 3);
    EXPECT_EQ(ReadChars(in, 4), "NEXT");

    // Written back with the separators and releases it was read with.
    TMemoryStream out;
    com->WriteEdi(out);
    EXPECT_EQ(out.Text(), "COM+?+4420:TE*a?*b:FX*orders@example.com:EM'");

    // The next read starts afresh; Clear forgets the occurrences too.
    TMemoryStream again("COM+x:TE'");
    com->ReadEdi(again);
    EXPECT_TRUE(com->Repetitions.empty());
    EXPECT_EQ(com->Occurrences(0), 1);
    TMemoryStream third("COM+x:TE*y:FX'");
    com->ReadEdi(third);
    com->Clear();
    EXPECT_TRUE(com->Repetitions.empty());
}

TEST_F(SyntaxV4, MoreOccurrencesThanAllowedAreKeptForTheChecks) {
    Delimiters.RepetitionSeparator = '*';
    auto com = Com();
    TMemoryStream in("COM+1:TE*2:FX*3:EM*4:AL'");
    com->ReadEdi(in);
    EXPECT_EQ(com->Occurrences(0), 4);
    // An empty first occurrence before a filled one still counts.
    TMemoryStream empty("COM+*2:FX'");
    com->ReadEdi(empty);
    EXPECT_EQ(com->Occurrences(0), 2);
}

TEST_F(SyntaxV4, WithoutARepetitionSeparatorTheStarIsData) {
    auto com = Com();
    TMemoryStream in("COM+a*b:TE'");
    com->ReadEdi(in);
    EXPECT_EQ(Component(*com->Elements[0], "3148"), "a*b");
    EXPECT_TRUE(com->Repetitions.empty());
    // Several data elements for a repeating last element stay an error unless version 4 without a
    // repetition separator asks for the passenger-data reading.
    TMemoryStream extra("COM+1:TE+2:FX'");
    EXPECT_EQ(ErrorText([&] { com->ReadEdi(extra); }), "Invalid segment delimiter at the end of \"COM\".");
    Delimiters.RepeatsByElementSeparator = true;
    TMemoryStream pax("COM+1:TE+2:FX+3:EM'");
    com->ReadEdi(pax);
    ASSERT_EQ(com->Repetitions.size(), 2u);
    EXPECT_TRUE(com->Repetitions[1].ByElementSeparator);
    EXPECT_EQ(Component(*com->Repetitions[1].Element, "3148"), "3");
}

TEST_F(SyntaxV4, RepetitionSeparatorComesFromTheAdviceOrTheDefault) {
    EXPECT_EQ(RepetitionSeparatorFor(false), '*');
    Delimiters.ReservedChar = '*';
    EXPECT_EQ(RepetitionSeparatorFor(true), '*');
    Delimiters.ReservedChar = '^';
    EXPECT_EQ(RepetitionSeparatorFor(true), '^');
    // A space means none (passenger data); a character that is already a delimiter cannot be one.
    Delimiters.ReservedChar = ' ';
    EXPECT_EQ(RepetitionSeparatorFor(true), 0);
    Delimiters.ReservedChar = '\'';
    EXPECT_EQ(RepetitionSeparatorFor(true), 0);
    Delimiters.ReservedChar = '\n';
    EXPECT_EQ(RepetitionSeparatorFor(true), 0);
}

TEST_F(SyntaxV4, ByteOrderMarkOnlyAtTheVeryStart) {
    TMemoryStream bom("\xEF\xBB\xBFUNB+");
    SkipByteOrderMark(bom);
    EXPECT_EQ(bom.Position(), 3);
    TMemoryStream plain("UNB+");
    SkipByteOrderMark(plain);
    EXPECT_EQ(plain.Position(), 0);
    TMemoryStream shortText("\xEF\xBB");
    SkipByteOrderMark(shortText);
    EXPECT_EQ(shortText.Position(), 0);
    TMemoryStream later("X\xEF\xBB\xBFUNB+");
    later.Seek(1);
    SkipByteOrderMark(later);
    EXPECT_EQ(later.Position(), 1);
}

TEST_F(SyntaxV4, RepeatCountTravelsThroughTheTableEncoding) {
    auto com = Com();
    TMemoryStream out;
    {
        TDefWriter w(out);
        com->WriteDef(w);
    }
    const std::string bytes = out.Text();
    // The extension record stands right before the composite's own record.
    const std::string record = std::string("\x04\x10\xED\x00\x00\x02\x03\x04\x02\xED\x00\x00", 12);
    EXPECT_NE(bytes.find(record), std::string::npos);

    auto copy = CloneSegment(*com);
    EXPECT_EQ(copy->Elements[0]->RepeatCount, 3);
    EXPECT_EQ(copy->FindComposit("C076")->Elements.size(), 2u);

    // An element that does not repeat writes exactly the bytes it always did.
    com->Elements[0]->RepeatCount = 1;
    TMemoryStream plain;
    {
        TDefWriter w(plain);
        com->WriteDef(w);
    }
    EXPECT_EQ(plain.Text().size() + 7, bytes.size());
    EXPECT_EQ(plain.Text().find(std::string("\x04\x10\xED", 3)), std::string::npos);
}

TEST_F(SyntaxV4, DamagedRepeatRecordsAreRejected) {
    EXPECT_EQ(LoadCom([&](TDefWriter& w) {
                  w.PutInteger(rtRepeat);
                  w.PutInteger(1);
                  PutField3148(w);
              }),
              "File structure damaged");
    EXPECT_EQ(LoadCom([&](TDefWriter& w) {
                  w.PutInteger(rtRepeat);
                  w.PutInteger(-5);
                  PutField3148(w);
              }),
              "File structure damaged");
    // Two repeat records in a row, or one at the end of the record.
    EXPECT_EQ(LoadCom([&](TDefWriter& w) {
                  w.PutInteger(rtRepeat);
                  w.PutInteger(3);
                  w.PutInteger(rtRepeat);
                  w.PutInteger(3);
                  PutField3148(w);
              }),
              "File structure damaged");
    EXPECT_EQ(LoadCom([&](TDefWriter& w) {
                  w.PutInteger(rtRepeat);
                  w.PutInteger(3);
              }),
              "Stream-Read-Fehler");
    // Components do not repeat: the record is not accepted inside a composite.
    EXPECT_EQ(LoadCom([&](TDefWriter& w) {
                  w.PutInteger(rtComposit);
                  w.PutText("");
                  w.PutText("C076");
                  w.PutInteger(1);
                  w.PutInteger(rtRepeat);
                  w.PutInteger(3);
                  PutField3148(w);
              }),
              "File structure damaged");
}

namespace {

// A driver with an ORDERS table (UNH, BGM, COM, UNT) in a private directory.
struct V4Driver {
    test::TempDir Dir;
    TEdiTransmission Trn;
    TEdiMessage Msg;
    // What the test needs of each segment read (the table's segments go when the run ends).
    struct TRead {
        std::string ID;
        bool HasS018 = false;
        size_t Repetitions = 0;
        std::string First; // the first component of the first element
    };
    std::vector<TRead> Read;
    int Loads = 0;

    V4Driver() {
        test::MdtSpec spec;
        spec.Name = spec.TypeId = "ORDERS";
        spec.Embedded = {"UNH 0062 S009:0065:0052:0054:0051:0057 0068",
                         "UNT 0074 0062",
                         "BGM C002:1001 1004",
                         "COM C076:3148:3155",
                         "UNE 0060 0048",
                         "UNZ 0036 0020"};
        spec.Structure = {Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("COM", 'C', 5), Seg("UNT", 'M', 1)};
        Dir.Write("ORDERS.MDT", test::MdtBytes(spec));
        Trn.Message = &Msg;
        Trn.OnGetStructureFile = [this](TEdiTransmission&, std::string& name) {
            name = Dir.File("ORDERS.MDT");
        };
        Msg.OnCheckHeader = [this](TEdiMessage&, bool&) { ++Loads; };
        Msg.OnSegmentRead = [this](TEdiMessage&, TEdiSegment& s) {
            const auto* c =
                s.Elements.empty() ? nullptr : dynamic_cast<const TEdiComposit*>(s.Elements[0].get());
            const auto* f = c && !c->Elements.empty()
                                ? dynamic_cast<const TEDIField*>(c->Elements.back().get())
                                : nullptr;
            Read.push_back(
                {s.ID, s.FindComposit("S018") != nullptr, s.Repetitions.size(), f ? f->RawText : ""});
        };
    }
    std::string Execute(const std::string& text) {
        ResetDelimiters();
        Read.clear();
        TMemoryStream in(text);
        Trn.SetStream(&in);
        std::string error = ErrorText([&] { Trn.Execute(); });
        Trn.SetStream(nullptr);
        return error == "<no error>" ? "" : error;
    }
};

const std::string Body = "UNH+1+ORDERS:D:03B:UN'BGM+220+X'COM+a:TE*b:FX'UNT+4+1'UNZ+1+R'";
// The same message as a version 3 interchange would send it: a star is data there.
const std::string Body3 = "UNH+1+ORDERS:D:03B:UN'BGM+220+X'COM+a:TE*b'UNT+4+1'UNZ+1+R'";

} // namespace

TEST(TransmissionV4, EnvelopeAndRepeatsOfAVersion4Interchange) {
    V4Driver r;
    ASSERT_EQ(r.Execute("UNA:+.?*'UNB+UNOC:4:40102:7:01+S:14:IN:SUB+R:14+20240115:1030+R'" + Body), "");
    EXPECT_EQ(r.Trn.SyntaxVersion(), 4);
    const TEdiSegment& unb = r.Trn.SegmUNB();
    EXPECT_EQ(unb.FindComposit("S001")->Elements.size(), 5u);
    EXPECT_EQ(unb.FindComposit("S001")->FieldByID("0133").AsString(), "7");
    EXPECT_EQ(unb.FindComposit("S002")->FieldByID("0042").AsString(), "SUB");
    EXPECT_EQ(unb.FindComposit("S004")->FieldByID("0017").RawText, "20240115");
    // The body's header is read with the version 4 layout, whatever the table says.
    ASSERT_EQ(r.Read.size(), 6u);
    EXPECT_EQ(r.Read[1].ID, "UNH");
    EXPECT_TRUE(r.Read[1].HasS018);
    EXPECT_EQ(r.Read[3].ID, "COM");
    EXPECT_EQ(r.Read[3].Repetitions, 1u);
    EXPECT_EQ(Delimiters.RepetitionSeparator, '*');

    // Without UNA, version 4 has its default separators, the repetition separator included.
    ASSERT_EQ(r.Execute("UNB+UNOC:4+S+R+20240115:1030+R'" + Body), "");
    EXPECT_EQ(r.Read[3].Repetitions, 1u);
}

TEST(TransmissionV4, Version3ReadsAsBefore) {
    V4Driver r;
    // The fifth position of UNA is reserved under version 3, so the star stays data.
    ASSERT_EQ(r.Execute("UNA:+.?*'UNB+UNOC:3+S+R+240115:1030+R'" + Body3), "");
    EXPECT_EQ(r.Trn.SyntaxVersion(), 3);
    EXPECT_EQ(r.Trn.SegmUNB().FindComposit("S001")->Elements.size(), 2u);
    EXPECT_EQ(r.Trn.SegmUNB().Elements.size(), 11u);
    EXPECT_FALSE(r.Read[1].HasS018);
    EXPECT_EQ(r.Read[3].Repetitions, 0u);
    EXPECT_EQ(r.Read[3].First, "TE*b");
    EXPECT_EQ(Delimiters.RepetitionSeparator, 0);
    // A version 3 UNB with five components in S001 fails as it always did.
    EXPECT_EQ(r.Execute("UNB+UNOC:3:1:2+S+R+240115:1030+R'" + Body3), "Data element seperator invalid.");
}

TEST(TransmissionV4, ByteOrderMarkBeforeTheInterchange) {
    V4Driver r;
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_EQ(r.Execute(bom + "UNB+UNOC:3+S+R+240115:1030+R'" + Body3), "");
    // The advice after a mark is taken from its own bytes, and positions count the file's bytes.
    ASSERT_EQ(r.Execute(bom + "UNA:+,? 'UNB+UNOC:3+S+R+240115:1030+R'" + Body3), "");
    EXPECT_EQ(Delimiters.DecimalMark, ',');
    EXPECT_EQ(r.Trn.SegmUNB().StartPos, 12);
    // Anywhere else the mark is no segment.
    EXPECT_EQ(r.Execute("\r\n" + bom + "UNB+UNOC:3+S+R+240115:1030+R'" + Body3),
              "Invalid segment ID \"\xEF\xBB\xBFU\".");
}

TEST_F(SyntaxV4, StatusTravelsThroughTheTableEncoding) {
    auto com = Com();
    TMemoryStream plain;
    {
        TDefWriter w(plain);
        com->WriteDef(w);
    }
    auto* c076 = com->FindComposit("C076");
    c076->Mandatory = true;
    c076->Elements[0]->Mandatory = true;
    TMemoryStream out;
    {
        TDefWriter w(out);
        com->WriteDef(w);
    }
    // One five-byte record per mandatory element, nothing else changes.
    EXPECT_EQ(out.Text().size(), plain.Text().size() + 10);
    out.Seek(0);
    TDefReader r(out);
    ASSERT_EQ(r.GetInteger(), rtSegment);
    auto copy = ReadSegmentDef(r);
    const TEdiComposit& read = *copy->FindComposit("C076");
    EXPECT_TRUE(read.Mandatory);
    EXPECT_EQ(read.RepeatCount, 3);
    EXPECT_TRUE(read.Elements[0]->Mandatory);
    EXPECT_FALSE(read.Elements[1]->Mandatory);
    EXPECT_TRUE(CloneSegment(*copy)->FindComposit("C076")->Elements[0]->Mandatory);

    // The status record stands before the repeat record, once; anything else is damage.
    auto load = [](std::initializer_list<int32_t> prefix) {
        return LoadCom([&](TDefWriter& w) {
            for (int32_t v : prefix)
                w.PutInteger(v);
            PutField3148(w);
        });
    };
    EXPECT_EQ(load({rtMandatory}), "<no error>");
    EXPECT_EQ(load({rtMandatory, rtRepeat, 2}), "<no error>");
    EXPECT_EQ(load({rtRepeat, 2, rtMandatory}), "File structure damaged");
    EXPECT_EQ(load({rtMandatory, rtMandatory}), "File structure damaged");
}
