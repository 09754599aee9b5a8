#include "talmiro/exceptions.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace talmiro;

namespace {

std::vector<std::string> Ids(const TEdiComposit& c) {
    std::vector<std::string> ids;
    for (const auto& e : c.Elements)
        ids.push_back(e->ID);
    return ids;
}

// Every simple element of a segment, composite members included, in order.
void ForEachField(const TEdiComposit& c, const std::function<void(const TEDIField&)>& fn) {
    for (const auto& e : c.Elements) {
        if (auto* f = dynamic_cast<const TEDIField*>(e.get()))
            fn(*f);
        else
            ForEachField(static_cast<const TEdiComposit&>(*e), fn);
    }
}

std::vector<std::unique_ptr<TEdiSegment>> AllSix() {
    std::vector<std::unique_ptr<TEdiSegment>> all;
    all.push_back(std::make_unique<TSegmUNB>());
    all.push_back(std::make_unique<TSegmUNG>());
    all.push_back(std::make_unique<TSegmUNH>());
    all.push_back(std::make_unique<TSegmUNT>());
    all.push_back(std::make_unique<TSegmUNE>());
    all.push_back(std::make_unique<TSegmUNZ>());
    return all;
}

// A text for each definition: tag, every identifier, type and size, and the descriptions.
std::string Signature(const TEdiSegment& seg) {
    std::string s = seg.ID + "|" + seg.Description;
    for (const auto& e : seg.Elements) {
        s += "|" + e->ID;
        if (auto* c = dynamic_cast<const TEdiComposit*>(e.get())) s += "(" + c->Description + ")";
    }
    ForEachField(seg, [&](const TEDIField& f) {
        s += ";" + f.ID + "," + f.Description + "," + std::to_string(f.FieldType) + "," +
             std::to_string(f.MinSize) + "," + std::to_string(f.MaxSize);
    });
    return s;
}

} // namespace

TEST(ServiceSegments, LayoutOfTheSixSegments) {
    TSegmUNB unb;
    EXPECT_EQ(Ids(unb), (std::vector<std::string>{"S001", "S002", "S003", "S004", "0020", "S005", "0026",
                                                  "0029", "0031", "0032", "0035"}));
    auto all = AllSix();
    const std::vector<std::pair<std::string, size_t>> expected = {{"UNB", 11}, {"UNG", 8}, {"UNH", 4},
                                                                  {"UNT", 2},  {"UNE", 2}, {"UNZ", 2}};
    size_t simple = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i]->ID, expected[i].first);
        EXPECT_EQ(all[i]->Elements.size(), expected[i].second) << all[i]->ID;
        EXPECT_EQ(all[i]->Description, "");
        ForEachField(*all[i], [&](const TEDIField& f) {
            ++simple;
            EXPECT_GE(f.MaxSize, f.MinSize) << all[i]->ID << "." << f.ID;
            EXPECT_GE(f.MinSize, 1);
            EXPECT_TRUE(f.FieldType <= ftAlnum);
            if (all[i]->ID == "UNG" || all[i]->ID == "UNE")
                EXPECT_EQ(f.Description, "");
            else
                EXPECT_NE(f.Description, "");
        });
    }
    EXPECT_EQ(simple, 18u + 13u + 9u + 2u + 2u + 2u);

    TSegmUNH unh;
    EXPECT_EQ(Ids(*unh.FindComposit("S009")),
              (std::vector<std::string>{"0065", "0052", "0054", "0051", "0057"}));
    const auto& f73 = unh.FindComposit("S010")->FieldByID("0073");
    EXPECT_EQ(f73.Description, "First/last sequence message transfer indication");
    EXPECT_EQ(f73.FieldType, ftAlpha);
    const auto& f25 = unb.FindComposit("S005")->FieldByID("0025");
    EXPECT_EQ(f25.Description, "Recipient's reference/password qualifier");
    EXPECT_EQ(f25.MinSize, 2);
    EXPECT_EQ(unb.FindComposit("S003")->FieldByID("0010").Description, "Recipient Identification");
    EXPECT_EQ(unb.FindComposit("S004")->FieldByID("0017").FieldType, ftNumeric);
    EXPECT_EQ(unb.FindComposit("S004")->FieldByID("0017").MinSize, 6);
    EXPECT_EQ(unb.FindComposit("S001")->FieldByID("0001").FieldType, ftAlpha);
    EXPECT_EQ(TSegmUNZ().FieldByID("0036").Description, "INTERCHANGE CONTROL COUNT");
    EXPECT_EQ(TSegmUNT().FieldByID("0074").MaxSize, 6);
    EXPECT_EQ(TSegmUNG().FindComposit("S008")->FieldByID("0057").MaxSize, 6);
}

TEST(ServiceSegments, SameIdentifierInTwoComposites) {
    ResetDelimiters();
    TSegmUNB unb;
    TMemoryStream m("UNB+UNOC:3+SENDER:ZZ+RECEIVER:14+200101:1200+77'");
    unb.ReadEdi(m);
    EXPECT_EQ(unb.FindComposit("S002")->FieldByID("0007").AsString(), "ZZ");
    EXPECT_EQ(unb.FindComposit("S003")->FieldByID("0007").AsString(), "14");
    EXPECT_NE(&unb.FindComposit("S002")->FieldByID("0007"), &unb.FindComposit("S003")->FieldByID("0007"));
    EXPECT_EQ(unb.FieldByID("0020").AsString(), "77");
    EXPECT_EQ(unb.FindComposit("S001")->FieldByID("0002").AsInteger(), 3);
    EXPECT_THROW(unb.FieldByID("0007"), EListError);
}

TEST(ServiceSegments, ReadAndClearKeepTheDefinitions) {
    ResetDelimiters();
    auto all = AllSix();
    std::vector<std::string> before;
    for (const auto& seg : all)
        before.push_back(Signature(*seg));

    auto& unh = *all[2];
    TMemoryStream m("UNH+1+ORDERS:D:96A:UN'");
    unh.ReadEdi(m);
    EXPECT_EQ(unh.FieldByID("0062").AsString(), "1");
    auto* s009 = unh.FindComposit("S009");
    EXPECT_EQ(s009->FieldByID("0065").AsString(), "ORDERS");
    EXPECT_EQ(s009->FieldByID("0052").AsString(), "D");
    EXPECT_EQ(s009->FieldByID("0054").AsString(), "96A");
    EXPECT_EQ(s009->FieldByID("0051").AsString(), "UN");
    EXPECT_EQ(s009->FieldByID("0057").LastFilled(), -1);
    EXPECT_EQ(unh.FieldByID("0068").LastFilled(), -1);
    EXPECT_EQ(unh.FindComposit("S010")->LastFilled(), -1);

    TMemoryStream g("UNG+ORDERS+APP:ZZ+PART:ZZ+200101:1200+5+UN+D:96A+PWD'UNE+1+5'");
    all[1]->ReadEdi(g);
    all[4]->ReadEdi(g);
    EXPECT_EQ(all[1]->FindComposit("S008")->FieldByID("0054").AsString(), "96A");
    EXPECT_EQ(all[4]->FieldByID("0060").AsInteger(), 1);

    for (size_t i = 0; i < all.size(); ++i) {
        all[i]->Clear();
        EXPECT_EQ(all[i]->LastFilled(), -1) << all[i]->ID;
        EXPECT_EQ(Signature(*all[i]), before[i]);
    }
}
