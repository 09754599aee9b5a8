#include "tree_test_util.h"

#include "talmiro/exceptions.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/transmission.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmiro {
namespace {

using test::Orders;
using test::StandardsDir;
using test::Unb;

// The tree as indented lines, so a whole shape can be compared at once.
void Dump(const TInterchangeTree& tree, int32_t parent, int depth, std::vector<std::string>& out) {
    for (int32_t child : tree.ChildrenOf(parent)) {
        EXPECT_EQ(tree.NodeAt(child).Parent, parent);
        out.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + tree.Text(child));
        Dump(tree, child, depth + 1, out);
    }
}
std::vector<std::string> Dump(const TInterchangeTree& tree) {
    std::vector<std::string> out;
    Dump(tree, TInterchangeTree::None, 0, out);
    return out;
}

TEST(InterchangeTree, BuildsMessageGroupAndSegmentNodesInFileOrder) {
    StandardsDir dir;
    TInterchangeReader reader(&dir.Catalogue);
    const std::string text = std::string(Unb) +
                             Orders("1", "BGM+220+PO1+9'\r\nNAD+BY'\r\nCTA+IC'\r\nNAD+SU+X'\r\n") +
                             "UNZ+1+1234'\r\n";
    TMemoryStream stream(text);
    reader.Read(stream);

    const std::vector<std::string> expected = {"UNB",
                                               "ORDERS/D96A: 1",
                                               "  UNH",
                                               "  BGM",
                                               "  Segment Group 1 - 1",
                                               "    NAD",
                                               "    Segment Group 2 - 1",
                                               "      CTA",
                                               "  Segment Group 1 - 2",
                                               "    NAD",
                                               "  UNT",
                                               "UNZ"};
    EXPECT_EQ(Dump(reader.Tree()), expected);
    EXPECT_EQ(reader.Tree().CurrentNode, TInterchangeTree::None);

    // Both NAD nodes share one definition without values, and each keeps its own place in the file.
    const TInterchangeTree& tree = reader.Tree();
    int32_t message = tree.TopLevel()[1];
    int32_t nad1 = tree.ChildrenOf(tree.ChildrenOf(message)[2])[0];
    int32_t nad2 = tree.ChildrenOf(tree.ChildrenOf(message)[3])[0];
    EXPECT_EQ(tree.NodeAt(nad2).Row, 0);
    EXPECT_EQ(tree.NodeAt(tree.ChildrenOf(message)[3]).Row, 3);
    ASSERT_NE(tree.Definition(nad1), nullptr);
    EXPECT_EQ(tree.Definition(nad1), tree.Definition(nad2));
    EXPECT_EQ(tree.Definition(nad1)->Description, "NAME AND ADDRESS");
    EXPECT_EQ(tree.Definition(nad1)->LastFilled(), -1);
    EXPECT_EQ(tree.Definition(message), nullptr);
    EXPECT_EQ(static_cast<size_t>(tree.NodeAt(nad2).StartPos),
              text.find("\r\nNAD+SU")); // before the line break
    EXPECT_EQ(static_cast<size_t>(tree.NodeAt(nad2).EndPos()), text.find("X'") + 1);

    // Reading a node again gives that occurrence's values, not the last ones read.
    auto first = tree.ReadSegment(nad1, stream);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->FieldByID("3035").RawText, "BY");
    EXPECT_EQ(first->FieldByID("X123456789").LastFilled(), -1);
    auto second = tree.ReadSegment(nad2, stream);
    EXPECT_EQ(second->FieldByID("X123456789").RawText, "X");
    EXPECT_EQ(tree.ReadSegment(message, stream), nullptr);
}

TEST(InterchangeTree, FunctionalGroupsAndHeaderTexts) {
    StandardsDir dir;
    TInterchangeReader reader(&dir.Catalogue);
    // Lower-case version and release still find D96A; an empty reference leaves ": " at the end.
    const std::string text = std::string(Unb) + "UNG+ORDERS+S+R+990101:1200+77+UN+D:96A'" +
                             "UNH++ORDERS:d:96a:UN'BGM+220'UNT+3+'" + Orders("2", "BGM+220'") +
                             "UNE+2+77'UNZ+1+1234'";
    TMemoryStream stream(text);
    reader.Read(stream);
    const std::vector<std::string> expected = {
        "UNB",   "UNG",   "ORDERS/d96a: ", "  UNH", "  BGM", "  UNT", "ORDERS/D96A: 2",
        "  UNH", "  BGM", "  UNT",         "UNE",   "UNZ"};
    EXPECT_EQ(Dump(reader.Tree()), expected);
    EXPECT_EQ(dir.Catalogue.Standards()[static_cast<size_t>(dir.Catalogue.Selected())].Name, "D96A");
}

TEST(InterchangeTree, ErrorKeepsThePartialTreeAndPropagatesTheText) {
    StandardsDir dir;
    TInterchangeReader reader(&dir.Catalogue);
    TMemoryStream stream(std::string(Unb) + Orders("1", "DTM+137:990101:102'BGM+220'") + "UNZ+1+1234'");
    try {
        reader.Read(stream);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Segment sequence error: BGM expected but DTM found.");
    }
    const std::vector<std::string> expected = {"UNB", "ORDERS/D96A: 1", "  UNH"};
    EXPECT_EQ(Dump(reader.Tree()), expected);

    // Without the catalogue's standard the driver falls back to ORDERS.MDT in the current directory.
    TInterchangeReader bare;
    TMemoryStream again(std::string(Unb) + Orders("1", "BGM+220'") + "UNZ+1+1234'");
    EXPECT_THROW(bare.Read(again), Exception);
    EXPECT_EQ(bare.StructureFileFor(), "");
    EXPECT_EQ(reader.StructureFileFor(), (dir.Path / "D96A").string() + "/ORDERS.MDT");
}

TEST(InterchangeTree, ReportedSequenceErrorStillClosesTheMessage) {
    StandardsDir dir;
    TInterchangeReader reader(&dir.Catalogue);
    std::vector<std::string> errors;
    reader.Message().OnSegSeqError = [&](TEdiMessage&, const std::string& expect, const std::string& found) {
        errors.push_back(expect + "/" + found);
    };
    // QTY needs a DTM after it: the group is left without OnDoneGroup, then UNT is missed at the top.
    TMemoryStream stream(std::string(Unb) + Orders("1", "BGM+220'QTY+21:5'QTY+21:6'DTM+1'") + "UNZ+1+1234'");
    EXPECT_THROW(reader.Read(stream), Exception);
    EXPECT_EQ(errors, (std::vector<std::string>{"DTM/QTY", "UNT/QTY"}));
    EXPECT_EQ(reader.Tree().CurrentNode, TInterchangeTree::None);
    const std::vector<std::string> expected = {"UNB",   "ORDERS/D96A: 1",        "  UNH",
                                               "  BGM", "  Segment Group 3 - 1", "    QTY"};
    EXPECT_EQ(Dump(reader.Tree()), expected);
}

TEST(InterchangeTree, ReloadedTablesShareDefinitionsAndHooksSeeEveryEvent) {
    StandardsDir dir;
    TInterchangeReader reader(&dir.Catalogue);
    const std::string text = std::string(Unb) + Orders("1", "BGM+220'NAD+BY'CTA+IC'") + "UNZ+1+1234'";
    TMemoryStream first(text);
    reader.Read(first);
    const TEdiSegment* unh =
        reader.Tree().Definition(reader.Tree().ChildrenOf(reader.Tree().TopLevel()[1])[0]);
    TMemoryStream second(text);
    reader.Read(second); // loads the table again: new segment objects, same definitions
    ASSERT_EQ(reader.Tree().TopLevel().size(), 6u);
    EXPECT_EQ(reader.Tree().Definition(reader.Tree().ChildrenOf(reader.Tree().TopLevel()[4])[0]), unh);
    // Each message knows the table it was read with, the envelope none.
    const TInterchangeTree& tree = reader.Tree();
    const std::string table = (dir.Path / "D96A" / "ORDERS.MDT").string();
    EXPECT_EQ(tree.TableOf(tree.TopLevel()[1]), table);
    EXPECT_EQ(tree.TableOf(tree.ChildrenOf(tree.TopLevel()[4]).back()), table);
    EXPECT_EQ(tree.TableOf(tree.TopLevel()[0]), "");
    EXPECT_EQ(tree.TableOf(TInterchangeTree::None), "");

    reader.Tree().Clear();
    reader.BuildTree = false;
    std::vector<std::string> seen;
    reader.OnNewMessage = [&](TEdiTransmission&) { seen.push_back("message"); };
    reader.OnStrctLoaded = [&](TEdiTransmission&) { seen.push_back("table"); };
    reader.OnSegmentRead = [&](TEdiMessage&, TEdiSegment& s) { seen.push_back(s.ID); };
    reader.OnEnterGroup = [&](TEdiMessage&, int g, int r) {
        seen.push_back(std::to_string(g) + "-" + std::to_string(r));
    };
    reader.OnDoneGroup = [&](TEdiMessage&, int g) { seen.push_back("done" + std::to_string(g)); };
    reader.OnExitMessage = [&](TEdiTransmission&) { seen.push_back("exit"); };
    TMemoryStream third(text);
    reader.Read(third);
    EXPECT_EQ(reader.Tree().NodeCount(), 0u);
    const std::vector<std::string> expected = {"UNB", "message", "table", "UNH",   "BGM", "1-1",  "NAD",
                                               "2-1", "CTA",     "done2", "done1", "UNT", "exit", "UNZ"};
    EXPECT_EQ(seen, expected);
}

} // namespace
} // namespace talmiro
