#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include "table_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace talmiro;
using test::ErrorText;
using test::Seg;

namespace {

struct Loader {
    TEdiMessage Msg;
    std::vector<std::string> Reports;
    Loader() {
        Msg.OnReport = [this](const std::string& text) { Reports.push_back(text); };
    }
};

// A message table whose body is written by put after the header (no structure end is added).
template <class F> std::string MdtWith(const test::MdtSpec& spec, F put) {
    TMemoryStream out;
    TDefWriter w(out);
    test::PutMdtHead(out, w, spec);
    put(w);
    w.Flush();
    return out.Text();
}

template <class F> std::string RawBody(F put) {
    TMemoryStream out;
    {
        TDefWriter w(out);
        put(w);
    }
    return out.Text();
}

test::MdtSpec EmbeddedSpec() {
    test::MdtSpec spec;
    spec.Embedded = test::StandardSegments();
    return spec;
}

} // namespace

TEST(MessageTable, LoadsHeaderEmbeddedTableAndStructure) {
    test::TempDir dir;
    test::MdtSpec spec = EmbeddedSpec();
    spec.Name = "ORDRSP";
    spec.TypeId = "ORDRSP";
    spec.AssocCode = "EAN008";
    spec.Embedded.push_back("NAD 3035 3036 3037"); // a second NAD: the later definition is used
    Loader l;
    int checks = 0;
    l.Msg.OnCheckHeader = [&](TEdiMessage& sender, bool& accepted) {
        ++checks;
        EXPECT_TRUE(accepted);
        EXPECT_EQ(sender.MessageName, "ORDRSP");
        EXPECT_EQ(sender.SegmentTable, nullptr); // the header check comes before the body
    };
    ASSERT_EQ(l.Msg.LoadStructure(dir.Write("ORDRSP.MDT", test::MdtBytes(spec))), 0);
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(l.Msg.MsgTypeId, "ORDRSP");
    EXPECT_EQ(l.Msg.MsgVersion, "D");
    EXPECT_EQ(l.Msg.MsgRelease, "96A");
    EXPECT_EQ(l.Msg.MsgAgency, "UN");
    EXPECT_EQ(l.Msg.MsgAssocCode, "EAN008");
    ASSERT_NE(l.Msg.SegmentTable, nullptr);
    EXPECT_EQ(l.Msg.SegmentTable->Find("NAD")->Elements.size(), 3u);
    EXPECT_TRUE(l.Reports.empty());

    // UNH, BGM, group 1 [NAD, group 2 [CTA]], UNT.
    const TMessageDefRec* e = l.Msg.Structure.get();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Tag, "UNH");
    EXPECT_EQ(e->Condition, 'M');
    EXPECT_EQ(e->Kind, mdSegment);
    e = e->Next.get();
    EXPECT_EQ(e->Tag, "BGM");
    e = e->Next.get();
    EXPECT_EQ(e->Kind, mdGroup);
    EXPECT_EQ(e->GrpNbr, 1);
    EXPECT_EQ(e->Tag, "NAD");
    EXPECT_EQ(e->Condition, 'C');
    EXPECT_EQ(e->MaxRep, 5);
    const TMessageDefRec* m = e->Children.get();
    EXPECT_EQ(m->Tag, "NAD");
    EXPECT_EQ(m->GrpNbr, 0);
    m = m->Next.get();
    EXPECT_EQ(m->Kind, mdGroup);
    EXPECT_EQ(m->GrpNbr, 2);
    EXPECT_EQ(m->Children->Tag, "CTA");
    EXPECT_EQ(m->Children->Next, nullptr);
    EXPECT_EQ(m->Next, nullptr);
    e = e->Next.get();
    EXPECT_EQ(e->Tag, "UNT");
    EXPECT_EQ(e->Next, nullptr);

    l.Msg.UnloadStructure();
    EXPECT_EQ(l.Msg.MessageName, "");
    EXPECT_EQ(l.Msg.SegmentTable, nullptr);
    EXPECT_EQ(l.Msg.Structure, nullptr);
    EXPECT_EQ(l.Msg.MsgTypeId, "ORDRSP"); // the identification values stay
}

TEST(MessageTable, HeaderFailuresAndRefusal) {
    test::TempDir dir;
    const std::string good = test::MdtBytes(EmbeddedSpec());
    Loader l;
    EXPECT_EQ(ErrorText<EFOpenError>([&] { l.Msg.LoadStructure(dir.File("NONE.MDT")); }),
              "Datei " + dir.File("NONE.MDT") + " kann nicht geöffnet werden");
    EXPECT_EQ(ErrorText([&] { l.Msg.LoadStructure(dir.Write("a.mdt", good.substr(0, 319))); }),
              "File read error.");
    EXPECT_EQ(ErrorText([&] { l.Msg.LoadStructure(dir.Write("b.mdt", test::SdtBytes({"NAD 3035"}))); }),
              "Illegal file type.");

    // A refused header: -1, the name set, nothing of the body read (the body here is garbage), and
    // nothing left of a table loaded before.
    ASSERT_EQ(l.Msg.LoadStructure(dir.Write("good.mdt", good)), 0);
    l.Msg.OnCheckHeader = [](TEdiMessage&, bool& accepted) { accepted = false; };
    EXPECT_EQ(l.Msg.LoadStructure(dir.Write("c.mdt", good.substr(0, 320) + "garbage")), -1);
    EXPECT_EQ(l.Msg.MessageName, "ORDERS");
    EXPECT_EQ(l.Msg.SegmentTable, nullptr);
    EXPECT_EQ(l.Msg.Structure, nullptr);
}

TEST(MessageTable, StructureDamage) {
    test::TempDir dir;
    auto load = [&](const std::string& bytes) {
        Loader l;
        std::string text = ErrorText([&] { l.Msg.LoadStructure(dir.Write("t.mdt", bytes)); });
        // Whatever failed, nothing stays loaded.
        EXPECT_EQ(l.Msg.MessageName, "");
        EXPECT_EQ(l.Msg.SegmentTable, nullptr);
        EXPECT_EQ(l.Msg.Structure, nullptr);
        return text;
    };
    const test::MdtSpec spec = EmbeddedSpec();

    // A group end record with another number.
    EXPECT_EQ(load(MdtWith(spec,
                           [](TDefWriter& w) {
                               test::PutStructure(w, {Seg("UNH", 'M', 1)});
                               w.PutInteger(GroupRecordId);
                               w.PutInteger(1);
                               w.PutText("NAD");
                               w.PutChar('C');
                               w.PutInteger(5);
                               w.PutBoolean(false);
                               test::PutStructure(w, {Seg("NAD", 'M', 1)});
                               w.PutInteger(GroupEndRecordId);
                               w.PutInteger(2);
                           })),
              "File structure damaged");
    // The structure ends inside a group.
    EXPECT_EQ(load(MdtWith(spec,
                           [](TDefWriter& w) {
                               w.PutInteger(GroupRecordId);
                               w.PutInteger(1);
                               w.PutText("NAD");
                               w.PutChar('C');
                               w.PutInteger(5);
                               w.PutBoolean(false);
                               test::PutStructure(w, {Seg("NAD", 'M', 1)});
                               w.PutInteger(StructureEndRecordId);
                           })),
              "File structure damaged");
    // A structure record with a field's record id.
    EXPECT_EQ(load(MdtWith(spec,
                           [](TDefWriter& w) {
                               test::PutStructure(w, {Seg("UNH", 'M', 1)});
                               w.PutInteger(rtField);
                           })),
              "Illegal Record ID");
    // An embedded record that is not a segment.
    test::MdtSpec one;
    one.Embedded = {"NAD 3035"};
    std::string bytes = test::MdtBytes(one);
    // Body: 09, 06 len description, 09, 02 01, then the record tag 04 03 ED 00 00.
    const size_t tagAt = 320 + 1 + 2 + one.Description.size() + 1 + 2;
    ASSERT_EQ(static_cast<uint8_t>(bytes[tagAt + 2]), 0xED);
    bytes[tagAt + 1] = 0x01;
    EXPECT_EQ(load(bytes), "File structure damaged");
    // A negative count of embedded segments.
    test::MdtSpec plain;
    plain.Description.clear();
    EXPECT_EQ(load(test::MdtBytes(plain).substr(0, 320) + RawBody([](TDefWriter& w) {
                       w.PutBoolean(false);
                       w.PutBoolean(true);
                       w.PutInteger(-1);
                   })),
              "File structure damaged");
}

TEST(MessageTable, GroupEndAndStructureEndCombinations) {
    test::TempDir dir;
    const test::MdtSpec spec = EmbeddedSpec();
    auto putGroupHead = [](TDefWriter& w, int n, const char* tag) {
        w.PutInteger(GroupRecordId);
        w.PutInteger(n);
        w.PutText(tag);
        w.PutChar('C');
        w.PutInteger(2);
        w.PutBoolean(true);
        w.PutText("Group");
    };
    // The structure end right after a nested group's end closes every open list.
    Loader a;
    ASSERT_EQ(a.Msg.LoadStructure(dir.Write("a.mdt", MdtWith(spec,
                                                             [&](TDefWriter& w) {
                                                                 putGroupHead(w, 1, "NAD");
                                                                 test::PutStructure(w, {Seg("NAD", 'M', 1)});
                                                                 putGroupHead(w, 2, "CTA");
                                                                 test::PutStructure(w, {Seg("CTA", 'M', 1)});
                                                                 w.PutInteger(GroupEndRecordId);
                                                                 w.PutInteger(2);
                                                                 w.PutInteger(StructureEndRecordId);
                                                             }))),
              0);
    EXPECT_EQ(a.Msg.Structure->Children->Next->GrpNbr, 2);
    EXPECT_EQ(a.Msg.Structure->Next, nullptr);

    // A group end record with number 0 at top level ends the structure after the record id that follows
    // it, whatever that id is; the rest is not read.
    Loader b;
    ASSERT_EQ(b.Msg.LoadStructure(dir.Write("b.mdt", MdtWith(spec,
                                                             [](TDefWriter& w) {
                                                                 test::PutStructure(w, {Seg("UNH", 'M', 1)});
                                                                 w.PutInteger(GroupEndRecordId);
                                                                 w.PutInteger(0);
                                                                 w.PutInteger(rtSegment);
                                                                 w.PutText("rest");
                                                             }))),
              0);
    EXPECT_EQ(b.Msg.Structure->Tag, "UNH");
    EXPECT_EQ(b.Msg.Structure->Next, nullptr);
    Loader cut;
    EXPECT_EQ(ErrorText<EReadError>([&] {
                  cut.Msg.LoadStructure(dir.Write("cut.mdt", MdtWith(spec, [](TDefWriter& w) {
                                                      w.PutInteger(GroupEndRecordId);
                                                      w.PutInteger(0);
                                                  })));
              }),
              "Stream-Read-Fehler");
    EXPECT_TRUE(cut.Reports.empty());
    Loader c;
    EXPECT_EQ(ErrorText([&] {
                  c.Msg.LoadStructure(dir.Write("c.mdt", MdtWith(spec, [](TDefWriter& w) {
                                                    w.PutInteger(GroupEndRecordId);
                                                    w.PutInteger(3);
                                                })));
              }),
              "File structure damaged");
}

TEST(MessageTable, ReadErrorsInsideEntriesAreReported) {
    test::TempDir dir;
    const test::MdtSpec spec = EmbeddedSpec();
    struct Case {
        std::string Body;
        std::string Error;
        std::string Report;
    };
    const std::vector<Case> cases = {
        // The condition is not a character.
        {MdtWith(spec,
                 [](TDefWriter& w) {
                     w.PutInteger(rtSegment);
                     w.PutText("BGM");
                     w.PutInteger(1);
                 }),
         "Ungültiger Wert der Eigenschaft", "Error while reading segment BGM"},
        // The file ends where the next record id should be.
        {MdtWith(spec, [](TDefWriter& w) { test::PutStructure(w, {Seg("UNH", 'M', 1)}); }),
         "Stream-Read-Fehler", "Error while reading segment UNH"},
        // The tag itself cannot be read.
        {MdtWith(spec,
                 [](TDefWriter& w) {
                     w.PutInteger(rtSegment);
                     w.PutInteger(7);
                 }),
         "Ungültiger Wert der Eigenschaft", "Error while reading segment "},
        // A group record cut short after its number.
        {MdtWith(spec,
                 [](TDefWriter& w) {
                     w.PutInteger(GroupRecordId);
                     w.PutInteger(12);
                     w.PutText("NAD");
                 }),
         "Stream-Read-Fehler", "Error while reading group #12"},
        // A group whose number is not an integer.
        {MdtWith(spec,
                 [](TDefWriter& w) {
                     w.PutInteger(GroupRecordId);
                     w.PutText("NAD");
                 }),
         "Ungültiger Wert der Eigenschaft", "Error while reading group #0"},
    };
    for (const Case& c : cases) {
        Loader l;
        EXPECT_EQ(ErrorText<EReadError>([&] { l.Msg.LoadStructure(dir.Write("r.mdt", c.Body)); }), c.Error);
        EXPECT_EQ(l.Reports, std::vector<std::string>{c.Report});
    }
    // An error between entries (a group end's number) is not an entry's and is not reported.
    Loader l;
    EXPECT_EQ(ErrorText<EReadError>([&] {
                  l.Msg.LoadStructure(dir.Write(
                      "s.mdt", MdtWith(spec, [](TDefWriter& w) { w.PutInteger(GroupEndRecordId); })));
              }),
              "Stream-Read-Fehler");
    EXPECT_TRUE(l.Reports.empty());
}

TEST(MessageTable, NestingIsBounded) {
    test::TempDir dir;
    // UNH, then depth groups each nested in the one before, each holding NAD and the next level.
    auto nested = [](int depth) {
        return MdtWith(EmbeddedSpec(), [depth](TDefWriter& w) {
            test::PutStructure(w, {Seg("UNH", 'M', 1)});
            for (int g = 1; g <= depth; ++g) {
                w.PutInteger(GroupRecordId);
                w.PutInteger(g);
                w.PutText("NAD");
                w.PutChar('C');
                w.PutInteger(1);
                w.PutBoolean(false);
                test::PutStructure(w, {Seg("NAD", 'M', 1)});
            }
            test::PutStructure(w, {Seg("CTA", 'M', 1)});
            for (int g = depth; g >= 1; --g) {
                w.PutInteger(GroupEndRecordId);
                w.PutInteger(g);
            }
            w.PutInteger(StructureEndRecordId);
        });
    };
    Loader ok;
    EXPECT_EQ(ok.Msg.LoadStructure(dir.Write("ok.mdt", nested(MaxGroupDepth))), 0);
    int depth = 0;
    for (const TMessageDefRec* g = ok.Msg.Structure->Next.get(); g && g->Kind == mdGroup;
         g = g->Children->Next.get())
        ++depth;
    EXPECT_EQ(depth, MaxGroupDepth);

    Loader deep;
    EXPECT_EQ(ErrorText([&] { deep.Msg.LoadStructure(dir.Write("deep.mdt", nested(MaxGroupDepth + 1))); }),
              "File structure damaged");
    // Far deeper than any stack would bear if the nesting were followed.
    Loader deeper;
    EXPECT_EQ(ErrorText([&] { deeper.Msg.LoadStructure(dir.Write("deeper.mdt", nested(100000))); }),
              "File structure damaged");
}

TEST(MessageTable, SeparateSegmentTableIsFound) {
    test::TempDir dir;
    test::TempDir cwd;
    test::MdtSpec spec;
    spec.SdtName = "SEG.SDT";
    const std::string mdt = dir.Write("std/ORDERS.MDT", test::MdtBytes(spec));
    dir.Write("std/SEG.SDT", test::SdtBytes(test::StandardSegments()));
    std::filesystem::current_path(cwd.Path);

    // Not in the current directory: the table's own directory is put in front.
    std::vector<std::string> asked;
    Loader l;
    l.Msg.OnGetSegments = [&](TEdiMessage&, const std::string& name, std::unique_ptr<TSegmentTable>& sl) {
        asked.push_back(name);
        EXPECT_EQ(sl, nullptr);
    };
    ASSERT_EQ(l.Msg.LoadStructure(mdt), 0);
    EXPECT_EQ(asked, std::vector<std::string>{dir.File("std/SEG.SDT")});
    EXPECT_EQ(l.Msg.SegmentTable->Count(), static_cast<int>(test::StandardSegments().size()));
    l.Msg.UnloadStructure();

    // In the current directory: that one is used.
    cwd.Write("SEG.SDT", test::SdtBytes({"UNH 0062", "NAD 3035"}));
    ASSERT_EQ(l.Msg.LoadStructure(mdt), 0);
    EXPECT_EQ(asked.back(), "SEG.SDT");
    EXPECT_EQ(l.Msg.SegmentTable->Count(), 2);
    l.Msg.UnloadStructure();

    // A table supplied by the host: no file is opened, and it belongs to the message.
    spec.SdtName = "MISSING.SDT";
    const std::string missing = dir.Write("std/MISSING.MDT", test::MdtBytes(spec));
    TEdiSegment* supplied = nullptr;
    l.Msg.OnGetSegments = [&](TEdiMessage&, const std::string&, std::unique_ptr<TSegmentTable>& sl) {
        sl = test::MakeSegmentTable({"UNH 0062"});
        supplied = sl->Find("UNH");
    };
    ASSERT_EQ(l.Msg.LoadStructure(missing), 0);
    EXPECT_EQ(l.Msg.SegmentTable->Find("UNH"), supplied);
    l.Msg.UnloadStructure();
    EXPECT_EQ(l.Msg.SegmentTable, nullptr);

    // No handler and no file.
    l.Msg.OnGetSegments = nullptr;
    EXPECT_EQ(ErrorText<EFOpenError>([&] { l.Msg.LoadStructure(missing); }),
              "Datei " + dir.File("std/MISSING.SDT") + " kann nicht geöffnet werden");
    EXPECT_EQ(l.Msg.MessageName, "");
}

TEST(MessageDefRec, LongListsAreFreedWithoutDeepRecursion) {
    auto head = std::make_unique<TMessageDefRec>();
    TMessageDefRec* tail = head.get();
    for (int i = 0; i < 2000000; ++i) {
        tail->Next = std::make_unique<TMessageDefRec>();
        tail = tail->Next.get();
        if (i % 1000 == 0) {
            tail->Kind = mdGroup;
            tail->Children = std::make_unique<TMessageDefRec>();
            tail->Children->Next = std::make_unique<TMessageDefRec>();
        }
    }
    head.reset(); // a recursive free of two million nodes would overflow the stack
    SUCCEED();
}
