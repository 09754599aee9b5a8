#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"
#include "talmiro/transmission.h"

#include "table_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace talmiro;
using test::ErrorText;
using test::Seg;

namespace {

using Log = std::vector<std::string>;

const std::string Unb = "UNB+UNOA:1+SENDER:14+RECEIVER:14+240101:1200+REF1'";
const std::string Unz = "UNZ+1+REF1'";
const std::string Ung = "UNG+ORDERS+S:14+R:14+240101:1200+G1+UN+D:96A'";
const std::string Une = "UNE+1+G1'";

std::string Message(const std::string& ref, const std::string& type = "ORDERS") {
    return "UNH+" + ref + "+" + type + ":D:96A:UN'BGM+220+" + ref + "'DTM+137:20240101:102'UNT+4+" + ref +
           "'";
}

// A driver and a message component with tables in a private directory, logging every event.
struct Driver {
    test::TempDir Dir;
    TEdiTransmission Trn;
    TEdiMessage Msg;
    Log Events;
    int Loads = 0;

    Driver() {
        WriteTable("ORDERS");
        WriteTable("INVOIC");
        Trn.Message = &Msg;
        Trn.OnActivate = [this](TEdiTransmission& s) { Note(s, "Activate"); };
        Trn.OnNewFncGroup = [this](TEdiTransmission& s) { Note(s, "NewFncGroup"); };
        Trn.OnNewMessage = [this](TEdiTransmission& s) {
            Note(s, "NewMessage " + s.SegmUNH().FieldByID("0062").AsString());
        };
        Trn.OnStrctLoaded = [this](TEdiTransmission& s) { Note(s, "StrctLoaded " + Msg.MessageName); };
        Trn.OnGetStructureFile = [this](TEdiTransmission& s, std::string& name) {
            Note(s, "GetStructureFile");
            EXPECT_EQ(name, "");
            name = Dir.File(s.SegmUNH().FindComposit("S009")->FieldByID("0065").AsString() + ".MDT");
        };
        Trn.OnExitFncGroup = [this](TEdiTransmission& s) { Note(s, "ExitFncGroup"); };
        Trn.OnExitMessage = [this](TEdiTransmission& s) { Note(s, "ExitMessage"); };
        Msg.OnCheckHeader = [this](TEdiMessage&, bool&) {
            ++Loads;
            Events.push_back("CheckHeader");
        };
        Msg.OnSegmentRead = [this](TEdiMessage& sender, TEdiSegment& segment) {
            EXPECT_EQ(&sender, &Msg);
            Events.push_back("Seg " + segment.ID);
        };
    }

    void Note(TEdiTransmission& sender, const std::string& what) {
        EXPECT_EQ(&sender, &Trn);
        Events.push_back(what);
    }

    void WriteTable(const std::string& type,
                    std::vector<test::Entry> structure = {Seg("UNH", 'M', 1), Seg("BGM", 'M', 1),
                                                          Seg("DTM", 'C', 9), Seg("UNT", 'M', 1)}) {
        test::MdtSpec spec;
        spec.Name = spec.TypeId = type;
        spec.Embedded = test::StandardSegments();
        spec.Structure = std::move(structure);
        Dir.Write(type + ".MDT", test::MdtBytes(spec));
    }

    // Runs over the text; returns the error text, or "" on success.
    std::string Execute(const std::string& text) {
        TMemoryStream in(text);
        Trn.SetStream(&in);
        std::string error = ErrorText([&] { Trn.Execute(); });
        Trn.SetStream(nullptr);
        return error == "<no error>" ? "" : error;
    }
};

} // namespace

TEST(Transmission, EventOrderOfOneGroupWithTwoMessages) {
    Driver r;
    TEdiSegment* envelope[4] = {};
    r.Msg.OnSegmentRead = [&](TEdiMessage&, TEdiSegment& s) {
        r.Events.push_back("Seg " + s.ID);
        if (s.ID == "UNB") envelope[0] = &s;
        if (s.ID == "UNG") envelope[1] = &s;
        if (s.ID == "UNE") envelope[2] = &s;
        if (s.ID == "UNZ") envelope[3] = &s;
    };
    ASSERT_EQ(r.Execute(Unb + Ung + Message("1") + Message("2") + Une + Unz), "");
    EXPECT_EQ(r.Events, (Log{"Activate",     "Seg UNB",          "NewFncGroup", "Seg UNG",
                             "NewMessage 1", "GetStructureFile", "CheckHeader", "StrctLoaded ORDERS",
                             "Seg UNH",      "Seg BGM",          "Seg DTM",     "Seg UNT",
                             "ExitMessage",  "NewMessage 2",     "Seg UNH",     "Seg BGM",
                             "Seg DTM",      "Seg UNT",          "ExitMessage", "Seg UNE",
                             "ExitFncGroup", "Seg UNZ"}));
    // The envelope is reported with the driver's own segment objects.
    const TEdiSegment* own[4] = {&r.Trn.SegmUNB(), &r.Trn.SegmUNG(), &r.Trn.SegmUNE(), &r.Trn.SegmUNZ()};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(envelope[i], own[i]);
    EXPECT_EQ(r.Trn.SegmUNZ().FieldByID("0020").AsString(), "REF1");
    EXPECT_EQ(r.Trn.NextTag, "UNZ");
    // A successful run ends with the table unloaded.
    EXPECT_EQ(r.Msg.MessageName, "");
    EXPECT_EQ(r.Msg.SegmentTable, nullptr);

    r.Trn.Clear();
    for (const TEdiSegment* s : {static_cast<const TEdiSegment*>(&r.Trn.SegmUNB()), own[1], own[2], own[3],
                                 static_cast<const TEdiSegment*>(&r.Trn.SegmUNH())})
        EXPECT_EQ(s->LastFilled(), -1) << s->ID;
    EXPECT_EQ(r.Trn.SegmUNB().Elements.size(), 11u);
}

TEST(Transmission, ServiceStringAdviceHoldsForOneRun) {
    Driver r;
    const std::string una = "UNA:*.? 'UNB*UNOA:1*S*R*240101:1200*REF?*1'UNH*1*ORDERS:D:96A:UN'BGM*220*1'"
                            "UNT*3*1'UNZ*1*REF?*1'";
    ASSERT_EQ(r.Execute(una), "");
    EXPECT_EQ(r.Trn.SegmUNB().FieldByID("0020").AsString(), "REF*1");
    // The next interchange starts from the default delimiters.
    ASSERT_EQ(r.Execute(Unb + Message("1") + Unz), "");
    EXPECT_EQ(Delimiters.ElementSeparator, '+');
    // Content after UNZ is ignored.
    EXPECT_EQ(r.Execute(Unb + Message("1") + Unz + "\r\nGARBAGE+'"), "");
}

TEST(Transmission, EnvelopeOrderErrors) {
    Driver r;
    EXPECT_EQ(r.Execute(Message("1") + Unz), "This no EDI message.");
    EXPECT_EQ(r.Execute(Unb + Unz), "Segment UNH expected");
    EXPECT_EQ(r.Execute(Unb + Ung + Une + Unz), "Segment UNH expected");
    EXPECT_EQ(r.Execute(Unb + Ung + Message("1") + Unz), "Segment UNE expected");
    EXPECT_EQ(r.Execute(Unb + Message("1") + Une + Unz), "Segment UNZ expected");
    EXPECT_EQ(r.Execute(Unb + Message("1") + Ung + Message("2") + Une + Unz), "Segment UNZ expected");
    // The end of the file where a segment is expected is the peek's error.
    EXPECT_EQ(r.Execute(Unb + Message("1")), "Invalid segment ID \"\".");

    // Without a message component or a stream nothing is read.
    TEdiTransmission bare;
    TMemoryStream in(Unb + Message("1") + Unz);
    bare.SetStream(&in);
    EXPECT_EQ(ErrorText([&] { bare.Execute(); }), "No message component assigned to the interchange driver");
    TEdiMessage msg;
    bare.Message = &msg;
    bare.SetStream(nullptr);
    EXPECT_EQ(ErrorText([&] { bare.Execute(); }), "No input stream assigned to the interchange driver");
}

TEST(Transmission, FunctionalGroups) {
    Driver r;
    ASSERT_EQ(r.Execute(Unb + Ung + Message("1") + Message("2") + Une + Ung + Message("3") + Une + Unz), "");
    Log groups;
    for (const std::string& e : r.Events)
        if (e == "NewFncGroup" || e == "ExitFncGroup" || e == "Seg UNE" || e == "Seg UNZ")
            groups.push_back(e);
    EXPECT_EQ(groups, (Log{"NewFncGroup", "Seg UNE", "NewFncGroup", "Seg UNE", "ExitFncGroup", "Seg UNZ"}));
}

TEST(Transmission, TablesLoadWhenTheMessageIdentificationChanges) {
    Driver r;
    ASSERT_EQ(r.Execute(Unb + Message("1") + Message("2") + Unz), "");
    EXPECT_EQ(r.Loads, 1);
    r.Loads = 0;
    // The second run reloads; a message of another type in between reloads each time.
    ASSERT_EQ(r.Execute(Unb + Message("1") + Message("2", "INVOIC") + Message("3") + Unz), "");
    EXPECT_EQ(r.Loads, 3);
    // A table belongs to one release: another version, release or agency of the same type loads again,
    // and going back to the first release loads its table again too.
    for (const char* other : {"ORDERS:D:01B:UN", "ORDERS:S:96A:UN", "ORDERS:D:96A:EA"}) {
        r.Loads = 0;
        ASSERT_EQ(r.Execute(Unb + Message("1") + "UNH+2+" + other + "'BGM+1'UNT+3+2'" + Message("3") + Unz),
                  "")
            << other;
        EXPECT_EQ(r.Loads, 3) << other;
    }
    // The association code does not name another table.
    r.Loads = 0;
    ASSERT_EQ(r.Execute(Unb + Message("1") + "UNH+2+ORDERS:D:96A:UN:EAN008'BGM+1'UNT+3+2'" + Unz), "");
    EXPECT_EQ(r.Loads, 1);
}

TEST(Transmission, DefaultTableNameIsInTheCurrentDirectory) {
    Driver r;
    r.Trn.OnGetStructureFile = nullptr;
    std::filesystem::current_path(r.Dir.Path);
    ASSERT_EQ(r.Execute(Unb + Message("1") + Unz), "");
    EXPECT_EQ(r.Loads, 1);
    // A handler that leaves the name empty gets the same default.
    r.Trn.OnGetStructureFile = [](TEdiTransmission&, std::string&) {};
    EXPECT_EQ(r.Execute(Unb + Message("1", "DESADV") + Unz), "Datei DESADV.MDT kann nicht geöffnet werden");
}

TEST(Transmission, RefusedOrFailedTablesAreNotKept) {
    Driver r;
    bool accept = false;
    r.Msg.OnCheckHeader = [&](TEdiMessage&, bool& accepted) {
        ++r.Loads;
        accepted = accept;
    };
    EXPECT_EQ(r.Execute(Unb + Message("1") + Unz), "This MDT-file cannot be used on this message");
    EXPECT_EQ(r.Msg.MessageName, "");
    accept = true;
    EXPECT_EQ(r.Execute(Unb + Message("1") + Unz), "");
    EXPECT_EQ(r.Loads, 2);

    // A damaged table: the error passes through and nothing stays loaded.
    r.Dir.Write("ORDERS.MDT", test::MdtBytes(test::MdtSpec{}).substr(0, 330));
    EXPECT_EQ(r.Execute(Unb + Message("1") + Unz), "Stream-Read-Fehler");
    EXPECT_EQ(r.Msg.MessageName, "");
    EXPECT_EQ(r.Msg.SegmentTable, nullptr);
}

TEST(Transmission, MessageTypeCannotLeaveTheTableDirectory) {
    for (const std::string type : {"../ORDERS", "std/ORDERS", "..", ".", "", "a\\b"}) {
        Driver r;
        const std::string unh = "UNH+1+" + type + ":D:96A:UN'BGM+220+1'UNT+3+1'";
        EXPECT_EQ(r.Execute(Unb + unh + Unz), "Invalid message type \"" + type + "\" in segment UNH") << type;
        EXPECT_EQ(r.Loads, 0);
        EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "GetStructureFile"), 0);
    }
}

TEST(Transmission, ErrorsInsideMessages) {
    // A sequence error reported by event leaves the rest of the message unread.
    Driver r;
    r.Msg.OnSegSeqError = [&](TEdiMessage&, const std::string& expect, const std::string& found) {
        r.Events.push_back("SeqErr " + expect + " " + found);
    };
    const std::string noBgm = "UNH+1+ORDERS:D:96A:UN'DTM+137:20240101:102'UNT+3+1'";
    EXPECT_EQ(r.Execute(Unb + noBgm + Unz), "Segment UNZ expected");
    EXPECT_EQ(r.Trn.NextTag, "DTM");
    EXPECT_EQ(r.Execute(Unb + Ung + noBgm + Une + Unz), "Segment UNE expected");
    // After a failure the table stays loaded.
    EXPECT_EQ(r.Msg.MessageName, "ORDERS");
    r.Trn.Clear();
    EXPECT_EQ(r.Msg.MessageName, "");

    // A wrong segment count in UNT is not the driver's concern.
    EXPECT_EQ(r.Execute(Unb + "UNH+1+ORDERS:D:96A:UN'BGM+1'UNT+99+7'" + Unz), "");

    // A structure that takes nothing of the message ends the run instead of reading it again and again.
    Driver empty;
    empty.WriteTable("ORDERS", {Seg("BGM", 'C', 1)});
    EXPECT_EQ(empty.Execute(Unb + Message("1") + Unz),
              "No segment of the message fits the message structure");
}
