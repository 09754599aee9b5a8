#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include "table_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace talmiro;
using test::ErrorText;
using test::Grp;
using test::Seg;

namespace {

const std::string Unh = "UNH+1+ORDERS:D:96A:UN'";

// A message component with an in-memory table that logs every event.
struct Reader {
    TEdiMessage Msg;
    std::vector<std::string> Log;

    explicit Reader(const std::vector<test::Entry>& structure, bool seqEvent = false) {
        ResetDelimiters();
        Msg.SegmentTable = test::MakeSegmentTable(test::StandardSegments());
        Msg.Structure = test::BuildStructure(structure);
        Msg.OnSegmentRead = [this](TEdiMessage& sender, TEdiSegment& s) {
            EXPECT_EQ(&sender, &Msg);
            Log.push_back("Seg " + s.ID);
        };
        Msg.OnEnterGroup = [this](TEdiMessage&, int g, int rep) {
            Log.push_back("Enter " + std::to_string(g) + " " + std::to_string(rep));
        };
        Msg.OnDoneGroup = [this](TEdiMessage&, int g) { Log.push_back("Done " + std::to_string(g)); };
        Msg.OnExitGroup = [this](TEdiMessage&, int g) { Log.push_back("Exit " + std::to_string(g)); };
        if (seqEvent)
            Msg.OnSegSeqError = [this](TEdiMessage&, const std::string& expect, const std::string& found) {
                Log.push_back("SeqErr " + expect + " " + found);
            };
    }
};

using Log = std::vector<std::string>;

// A stream over bytes whose file layer fails from a given position on.
class FailingStream final : public TStream {
public:
    FailingStream(std::string data, size_t failAt) : data_(std::move(data)), failAt_(failAt) { SeekTo(0); }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

protected:
    int Underflow() override {
        if (static_cast<size_t>(Position()) < data_.size()) throw EInOutError("Read error", 5);
        return -1;
    }
    void SeekTo(int64_t position) override {
        buf_ = reinterpret_cast<const uint8_t*>(data_.data());
        end_ = buf_ + failAt_;
        cur_ = buf_ + std::min<int64_t>(position, static_cast<int64_t>(failAt_));
        bufPos_ = 0;
    }
    void WriteAt(const void*, size_t) override { throw Exception("read-only"); }

private:
    std::string data_;
    size_t failAt_;
};

} // namespace

TEST(MessageReader, EventOrderOfNestedGroups) {
    Reader r(test::OrdersStructure());
    const std::string body = Unh + "BGM+220+1'NAD+BY'CTA+IC'NAD+SU'UNT+6+1'UNZ+1+1'";
    TMemoryStream in(body);
    EXPECT_TRUE(r.Msg.ReadMessage(in));
    EXPECT_EQ(r.Log, (Log{"Seg UNH", "Seg BGM", "Enter 1 1", "Seg NAD", "Enter 2 1", "Seg CTA", "Done 2",
                          "Exit 2", "Done 1", "Enter 1 2", "Seg NAD", "Done 1", "Exit 1", "Seg UNT"}));
    // The stream stands at the first unconsumed segment, which is the reader's look-ahead.
    EXPECT_EQ(in.Position(), static_cast<int64_t>(body.find("UNZ")));
    EXPECT_EQ(r.Msg.CurrentSegment->ID, "UNZ");
}

TEST(MessageReader, SequenceErrorByException) {
    Reader r({Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("UNT", 'M', 1)});
    const std::string body = Unh + "DTM+137:20240101:102'UNT+3+1'";
    TMemoryStream in(body);
    EXPECT_EQ(ErrorText([&] { r.Msg.ReadMessage(in); }),
              "Segment sequence error: BGM expected but DTM found.");
    EXPECT_EQ(r.Log, Log{"Seg UNH"});
    EXPECT_EQ(in.Position(), static_cast<int64_t>(Unh.size())); // put back at DTM

    // Repetitions beyond the maximum stay current and meet the next mandatory entry.
    Reader rep({Seg("UNH", 'M', 1), Seg("DTM", 'C', 2), Seg("UNT", 'M', 1)});
    TMemoryStream in2(Unh + "DTM+1'DTM+2'DTM+3'UNT+5+1'");
    EXPECT_EQ(ErrorText([&] { rep.Msg.ReadMessage(in2); }),
              "Segment sequence error: UNT expected but DTM found.");
    EXPECT_EQ(rep.Log, (Log{"Seg UNH", "Seg DTM", "Seg DTM"}));
    EXPECT_EQ(in2.Position(), static_cast<int64_t>(Unh.size() + 12));

    // A mandatory entry with maximum 0 consumes nothing but is still checked.
    Reader zero({Seg("UNH", 'M', 1), Seg("BGM", 'M', 0), Seg("UNT", 'M', 1)});
    TMemoryStream in3(Unh + "UNT+2+1'");
    EXPECT_EQ(ErrorText([&] { zero.Msg.ReadMessage(in3); }),
              "Segment sequence error: BGM expected but UNT found.");
}

TEST(MessageReader, SequenceErrorByEventLeavesListsAndGoesOn) {
    Reader r({Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("UNT", 'M', 1)}, true);
    const std::string body = Unh + "DTM+1'UNT+3+1'UNZ+1+1'";
    TMemoryStream in(body);
    EXPECT_FALSE(r.Msg.ReadMessage(in));
    EXPECT_EQ(r.Log, (Log{"Seg UNH", "SeqErr BGM DTM"}));
    EXPECT_EQ(in.Position(), static_cast<int64_t>(Unh.size()));

    // Inside a group: the group ends without Done or Exit; later entries take one segment per visit.
    Reader g({Seg("UNH", 'M', 1), Grp(1, "NAD", 'C', 9, {Seg("NAD", 'M', 1), Seg("DTM", 'M', 1)}),
              Seg("LIN", 'C', 9), Seg("UNT", 'M', 1)},
             true);
    const std::string body2 = Unh + "NAD+BY'LIN+1'LIN+2'UNT+5+1'";
    TMemoryStream in2(body2);
    EXPECT_FALSE(g.Msg.ReadMessage(in2));
    EXPECT_EQ(g.Log, (Log{"Seg UNH", "Enter 1 1", "Seg NAD", "SeqErr DTM LIN", "Seg LIN", "SeqErr UNT LIN"}));
    EXPECT_EQ(in2.Position(), static_cast<int64_t>(body2.find("LIN+2")));

    // The flag belongs to one message: the next clean message reports true.
    Reader clean({Seg("UNH", 'M', 1), Seg("UNT", 'M', 1)}, true);
    TMemoryStream in3(Unh + "BGM+1'" + Unh + "UNT+2+1'UNZ+1+1'");
    EXPECT_FALSE(clean.Msg.ReadMessage(in3));
    in3.Seek(static_cast<int64_t>(Unh.size() + 6));
    EXPECT_TRUE(clean.Msg.ReadMessage(in3));
}

TEST(MessageReader, GroupRepetitions) {
    // Maximum 2, the trigger three times in a row: no Exit, the third is matched after the group.
    Reader r({Seg("UNH", 'M', 1), Grp(4, "DTM", 'C', 2, {Seg("DTM", 'M', 1)}), Seg("DTM", 'C', 1),
              Seg("UNT", 'M', 1)});
    TMemoryStream in(Unh + "DTM+1'DTM+2'DTM+3'UNT+5+1'UNZ+1+1'");
    EXPECT_TRUE(r.Msg.ReadMessage(in));
    EXPECT_EQ(r.Log, (Log{"Seg UNH", "Enter 4 1", "Seg DTM", "Done 4", "Enter 4 2", "Seg DTM", "Done 4",
                          "Seg DTM", "Seg UNT"}));

    // A group whose repetition consumes nothing ends instead of repeating up to its maximum.
    Reader idle({Seg("UNH", 'M', 1), Grp(1, "NAD", 'C', INT32_MAX, {Seg("DTM", 'C', 1)}), Seg("NAD", 'M', 1),
                 Seg("UNT", 'M', 1)});
    TMemoryStream in2(Unh + "NAD+BY'UNT+3+1'UNZ+1+1'");
    EXPECT_TRUE(idle.Msg.ReadMessage(in2));
    EXPECT_EQ(idle.Log, (Log{"Seg UNH", "Enter 1 1", "Done 1", "Seg NAD", "Seg UNT"}));
}

TEST(MessageReader, UnknownAndMiswrittenTags) {
    Reader r({Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("UNT", 'M', 1)});
    TMemoryStream in(Unh + "XYZ+1'");
    try {
        r.Msg.ReadMessage(in);
        FAIL();
    } catch (const EInvalidSegment& e) {
        EXPECT_STREQ(e.what(), "XYZ");
        EXPECT_EQ(e.Expect, "");
        EXPECT_EQ(e.Found, "");
    }
    EXPECT_EQ(in.Position(), 0); // back at UNH, the segment still current

    // Found in the table without regard to case, refused by the segment's own tag check.
    Reader lower({Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("UNT", 'M', 1)});
    TMemoryStream in2(Unh + "bgm+1'UNT+3+1'");
    try {
        lower.Msg.ReadMessage(in2);
        FAIL();
    } catch (const EInvalidSegment& e) {
        EXPECT_STREQ(e.what(), "Invalid segment \"bgm\"");
        EXPECT_EQ(e.Expect, "BGM");
        EXPECT_EQ(e.Found, "bgm");
    }
    EXPECT_EQ(in2.Position(), static_cast<int64_t>(Unh.size()));

    // The look-ahead after UNT needs a definition too.
    Reader noUnz({Seg("UNH", 'M', 1), Seg("UNT", 'M', 1)});
    noUnz.Msg.SegmentTable = test::MakeSegmentTable({"UNH 0062 S009:0065:0052:0054:0051", "UNT 0074 0062"});
    TMemoryStream in3(Unh + "UNT+2+1'UNZ+1+1'");
    EXPECT_EQ(ErrorText<EInvalidSegment>([&] { noUnz.Msg.ReadMessage(in3); }), "UNZ");
    EXPECT_EQ(noUnz.Log, (Log{"Seg UNH", "Seg UNT"}));
    EXPECT_EQ(in3.Position(), static_cast<int64_t>(Unh.size())); // at UNT, the last segment read

    // A syntax error inside the header leaves the stream where it happened.
    Reader bad({Seg("UNH", 'M', 1)});
    TMemoryStream in4("UNH+1+ORDERS:D:96A:UN+X+Y+Z+W+V'");
    EXPECT_EQ(ErrorText<EEdiSyntaxError>([&] { bad.Msg.ReadMessage(in4); }),
              "Invalid segment delimiter at the end of \"UNH\".");
    EXPECT_GT(in4.Position(), 0);
}

TEST(MessageReader, StructureThatConsumesNothingIsAnError) {
    const char* text = "No segment of the message fits the message structure";
    const std::string body = Unh + "BGM+1'UNT+3+1'";
    for (auto structure : {std::vector<test::Entry>{}, std::vector<test::Entry>{Seg("BGM", 'C', 1)},
                           std::vector<test::Entry>{Seg("BGM", 'M', 1)}}) {
        Reader r(structure, true);
        TMemoryStream in(body);
        EXPECT_EQ(ErrorText([&] { r.Msg.ReadMessage(in); }), text);
        EXPECT_EQ(in.Position(), 0);
    }
    TEdiMessage none;
    TMemoryStream in(body);
    EXPECT_EQ(ErrorText([&] { none.ReadMessage(in); }), "No message table loaded");
}

TEST(MessageReader, InputOutputErrors) {
    const std::string body = Unh + "BGM+1'DTM+1'UNT+4+1'UNZ+1+1'";
    const size_t dtmAt = body.find("DTM");
    const std::vector<test::Entry> structure = {Seg("UNH", 'M', 1), Seg("BGM", 'M', 1), Seg("DTM", 'C', 9),
                                                Seg("UNT", 'M', 1)};

    // Without a handler the error passes on; the stream is put back at the segment read last.
    Reader plain(structure);
    FailingStream s1(body, dtmAt);
    EXPECT_EQ(ErrorText<EInOutError>([&] { plain.Msg.ReadMessage(s1); }), "Read error");
    EXPECT_EQ(s1.Position(), static_cast<int64_t>(Unh.size()));

    // With a handler the event carries the code and the walk goes on with the segment then current.
    Reader handled(structure, true);
    std::vector<int> codes;
    handled.Msg.OnInOutError = [&](TEdiMessage&, int code) { codes.push_back(code); };
    FailingStream s2(body, dtmAt + 5); // at the terminator of DTM: the half-read DTM becomes current
    EXPECT_FALSE(handled.Msg.ReadMessage(s2));
    EXPECT_EQ(codes, (std::vector<int>{5, 5}));
    EXPECT_EQ(handled.Log, (Log{"Seg UNH", "Seg BGM", "Seg DTM", "SeqErr UNT DTM"}));
    EXPECT_EQ(s2.Position(), static_cast<int64_t>(dtmAt));
}

TEST(MessageReader, WalkDepthIsBounded) {
    test::Entry inner = Seg("NAD", 'M', 1);
    for (int g = MaxGroupDepth + 5; g >= 1; --g) {
        test::Entry group = Grp(g, "NAD", 'C', 1, {});
        group.Members.push_back(std::move(inner));
        inner = std::move(group);
    }
    Reader r({Seg("UNH", 'M', 1), inner});
    TMemoryStream in(Unh + "NAD+BY'UNT+3+1'");
    EXPECT_EQ(ErrorText([&] { r.Msg.ReadMessage(in); }), "Message structure nested too deeply");
}
