// The tree built on demand against the whole tree of the same reading: node for node the same numbers,
// texts, places and definitions, however the reading ended and wherever messages are made again.
#include "talmiro/on_demand_tree.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"
#include "talmiro/validation.h"

#include "tree_test_util.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace talmiro {
namespace {

namespace fs = std::filesystem;
using test::Orders;
using test::StandardsDir;
using test::Unb;

// Each node of the whole tree, compared with the node of the same number in the tree built on demand.
// Walking it makes every message of the on-demand tree.
void ExpectSame(const TInterchangeTree& whole, const TOnDemandTree& lazy, TStream& stream) {
    ASSERT_EQ(whole.NodeCount(), lazy.NodeCount());
    ASSERT_EQ(whole.TopLevel().size(), lazy.TopCount());
    std::vector<int32_t> pending(whole.TopLevel().rbegin(), whole.TopLevel().rend());
    while (!pending.empty()) {
        const int32_t node = pending.back();
        pending.pop_back();
        const TInterchangeTree::Node& n = whole.NodeAt(node);
        SCOPED_TRACE("node " + std::to_string(node) + " " + whole.Text(node));
        ASSERT_TRUE(lazy.Contains(node));
        EXPECT_EQ(lazy.Kind(node), n.Kind);
        EXPECT_EQ(lazy.Text(node), whole.Text(node));
        EXPECT_EQ(lazy.TableOf(node), whole.TableOf(node));
        EXPECT_EQ(lazy.Parent(node), n.Parent);
        EXPECT_EQ(lazy.Row(node), n.Row);
        ASSERT_EQ(lazy.ChildCount(node), static_cast<int32_t>(n.Children.size()));
        EXPECT_EQ(lazy.HasChildren(node), !n.Children.empty());
        for (size_t row = 0; row < n.Children.size(); ++row)
            ASSERT_EQ(lazy.Child(node, static_cast<int32_t>(row)), n.Children[row]);
        EXPECT_EQ(lazy.Child(node, static_cast<int32_t>(n.Children.size())), TOnDemandTree::None);
        // The subtree is the range of numbers up to the next node that is not below this one.
        int32_t end = node + 1;
        for (int32_t last = node; !whole.NodeAt(last).Children.empty();) {
            last = whole.NodeAt(last).Children.back();
            end = last + 1;
        }
        EXPECT_EQ(lazy.SubtreeEnd(node), end);
        const TEdiSegment* definition = whole.Definition(node);
        ASSERT_EQ(lazy.Definition(node) != nullptr, definition != nullptr);
        if (definition) {
            EXPECT_EQ(lazy.Definition(node)->Description, definition->Description);
            EXPECT_EQ(lazy.Definition(node)->LastFilled(), -1);
            int64_t start = 0, stop = 0;
            ASSERT_TRUE(lazy.SegmentSpan(node, start, stop));
            EXPECT_EQ(start, n.StartPos);
            EXPECT_EQ(stop, n.EndPos());
            // The whole tree reads with the delimiters in force; the other brings its own.
            const TDelimiters saved = Delimiters;
            Delimiters = lazy.ReadingDelimiters();
            std::unique_ptr<TEdiSegment> a = whole.ReadSegment(node, stream);
            Delimiters = saved;
            std::unique_ptr<TEdiSegment> b = lazy.ReadSegment(node, stream);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(a->Elements.size(), b->Elements.size());
            for (size_t i = 0; i < a->Elements.size() && i < b->Elements.size(); ++i) {
                auto* fa = dynamic_cast<const TEDIField*>(a->Elements[i].get());
                auto* fb = dynamic_cast<const TEDIField*>(b->Elements[i].get());
                if (fa && fb) {
                    EXPECT_EQ(fa->RawText, fb->RawText);
                }
            }
        }
        pending.insert(pending.end(), n.Children.rbegin(), n.Children.rend());
    }
    EXPECT_FALSE(lazy.Contains(static_cast<int32_t>(whole.NodeCount())));
}

// A reading as the viewer makes it, whole or on demand, with the diagnostics' nodes.
struct TReading {
    explicit TReading(TStandardsCatalogue* catalogue, bool onDemand) : Reader(catalogue) {
        Reader.OnDemand = onDemand;
        Reader.Message().OnReport = [](const std::string&) {};
    }
    std::vector<int32_t> Run(TStream& stream, bool strict = false, int64_t stopAfter = -1) {
        TValidationOptions options;
        options.Strict = strict;
        options.NoDefinitionIsError = false;
        TValidator validator(Reader, stream, options);
        int64_t segments = 0;
        // As the viewer cancels a reading: an error from the progress report after a segment.
        validator.OnProgress = [&](int64_t) {
            if (++segments == stopAfter) throw Exception("Reading cancelled");
        };
        stream.Seek(0);
        validator.Run();
        std::vector<int32_t> nodes;
        for (const TDiagnostic& d : validator.Diagnostics)
            nodes.push_back(d.Node);
        return nodes;
    }
    TInterchangeReader Reader;
};

// The number of nodes compared.
size_t ExpectSameReading(TStandardsCatalogue* catalogue, const std::string& text, bool strict = false,
                         int64_t stopAfter = -1) {
    TMemoryStream stream(text);
    TReading whole(catalogue, false), lazy(catalogue, true);
    std::vector<int32_t> wholeNodes = whole.Run(stream, strict, stopAfter);
    std::vector<int32_t> lazyNodes = lazy.Run(stream, strict, stopAfter);
    EXPECT_EQ(wholeNodes, lazyNodes);
    lazy.Reader.OnDemandTree().SetStream(&stream);
    ExpectSame(whole.Reader.Tree(), lazy.Reader.OnDemandTree(), stream);
    return whole.Reader.Tree().NodeCount();
}

const std::string Mixed = std::string(Unb) + "UNG+ORDERS+S+R+990101:1200+77+UN+D:96A'" +
                          Orders("1", "BGM+220+PO1+9'\r\nDTM+137:990101:102'NAD+BY'\r\nCTA+IC'CTA+OC'"
                                      "NAD+SU+X'QTY+21:5'DTM+2:990102'QTY+21:6'DTM+2:990103'") +
                          "UNH++ORDERS:d:96a:UN'BGM+220'UNT+3+'" + "UNE+2+77'" +
                          "UNG+ORDERS+S+R+990101:1200+78+UN+D:96A'" + Orders("3", "BGM+220'") +
                          "UNE+1+78'UNZ+2+1234'";

TEST(OnDemandTree, SameNodesAsTheWholeTreeWhereverTheReadingEnds) {
    StandardsDir dir;
    ExpectSameReading(&dir.Catalogue, Mixed);
    ExpectSameReading(&dir.Catalogue, Mixed, true);

    // Every segment as the last one read: cancelled there, and cut off before its terminator.
    TMemoryStream count(Mixed);
    TReading probe(&dir.Catalogue, true);
    probe.Run(count);
    const auto segments = static_cast<int64_t>(std::count(Mixed.begin(), Mixed.end(), '\''));
    for (int64_t stop = 1; stop <= segments; ++stop) {
        SCOPED_TRACE("cancelled after segment " + std::to_string(stop));
        ExpectSameReading(&dir.Catalogue, Mixed, false, stop);
    }
    for (size_t length = 0; length < Mixed.size(); length += 7) {
        SCOPED_TRACE("cut at " + std::to_string(length));
        ExpectSameReading(&dir.Catalogue, Mixed.substr(0, length));
    }

    // Errors inside a message and around it.
    ExpectSameReading(&dir.Catalogue,
                      std::string(Unb) + Orders("1", "DTM+137:990101:102'BGM+220'") + "UNZ+1+1234'");
    ExpectSameReading(&dir.Catalogue, std::string(Unb) + Orders("1", "BGM+220'XYZ+1'") + "UNZ+1+1234'");
    ExpectSameReading(&dir.Catalogue, std::string(Unb) + Orders("1", "BGM+220'") + "UNH+2+PAORES:93:1:IA'");
    ExpectSameReading(&dir.Catalogue, std::string(Unb) + Orders("1", "BGM+220'QTY+21:5'QTY+21:6'"));
}

TEST(OnDemandTree, MessagesReadAgainWithTheirOwnTableAndDelimiters) {
    StandardsDir dir;
    // A second release whose ORDERS has no groups: the same segments, another tree.
    std::string mdf = test::OrdersMdf;
    mdf.replace(mdf.find("'96A'"), 5, "'01B'");
    mdf.replace(mdf.find("'D96A'"), 6, "'D01B'");
    mdf = mdf.substr(0, mdf.find("GROUP 'NAD'")) +
          "SEGMENT 'NAD' CONDITIONAL (99);\nSEGMENT 'CTA' CONDITIONAL (99);\n" +
          "SEGMENT 'UNT' MANDATORY (1);\nEND;\n";
    test::CompileRelease(dir.Path, "D01B", test::OrdersSdf, {{"ORDERS", mdf}});
    dir.Catalogue.ScanStandards();

    // Other delimiters, and releases taking turns; read on a thread of its own, made on this one with the
    // delimiters set back.
    std::string text = "UNA*+.? !UNB+UNOA*2+S+R+990101*1200+1!" +
                       std::string("UNH+1+ORDERS*D*96A*UN!BGM+220!NAD+BY!CTA+IC!UNT+5+1!") +
                       "UNH+2+ORDERS*D*01B*UN!BGM+220!NAD+BY!CTA+IC!UNT+5+2!" +
                       "UNH+3+ORDERS*D*96A*UN!BGM+220+A?!B!NAD+BY!UNT+4+3!UNZ+3+1!";
    TMemoryStream stream(text);
    TReading whole(&dir.Catalogue, false), lazy(&dir.Catalogue, true);
    whole.Run(stream);
    std::thread reading([&] { lazy.Run(stream); });
    reading.join();
    ResetDelimiters();
    EXPECT_EQ(lazy.Reader.OnDemandTree().ReadingDelimiters().SegmentTerminator, '!');
    TOnDemandTree& tree = lazy.Reader.OnDemandTree();
    tree.SetStream(&stream);
    // The tables may change meanwhile: the ones the reading used stay.
    std::filesystem::remove(dir.Path / "D01B" / "ORDERS.MDT");
    ExpectSame(whole.Reader.Tree(), tree, stream);
    EXPECT_EQ(tree.Text(tree.Child(tree.TopNode(2), 2)), "NAD"); // D01B: no group
    EXPECT_EQ(tree.Text(tree.Child(tree.TopNode(1), 2)), "Segment Group 1 - 1");
    EXPECT_EQ(tree.ReadSegment(tree.Child(tree.TopNode(3), 1), stream)->FieldByID("1004").RawText, "A!B");
    EXPECT_EQ(Delimiters.SegmentTerminator, '\'');

    // After an error the driver keeps its table, and reads the next file's message of that kind with it
    // without loading it again.
    TMemoryStream broken(std::string(Unb) + Orders("1", "BGM+220'XYZ'"));
    lazy.Run(broken);
    TMemoryStream next(std::string(Unb) + Orders("1", "BGM+220'NAD+BY'") + "UNZ+1+1234'");
    TReading wholeNext(&dir.Catalogue, false);
    wholeNext.Run(next);
    TValidator validator(lazy.Reader, next, {});
    int loads = 0;
    lazy.Reader.OnStrctLoaded = [&](TEdiTransmission&) { ++loads; };
    next.Seek(0);
    EXPECT_TRUE(validator.Run());
    EXPECT_EQ(loads, 0);
    tree.SetStream(&next);
    ExpectSame(wholeNext.Reader.Tree(), tree, next);
}

TEST(OnDemandTree, MessagesAreDroppedBeyondTheBudgetUnlessHeld) {
    StandardsDir dir;
    std::string text = Unb;
    for (int m = 1; m <= 20; ++m)
        text += Orders(std::to_string(m), "BGM+220'NAD+BY'CTA+IC'NAD+SU'");
    text += "UNZ+20+1234'";
    TMemoryStream stream(text);
    TReading whole(&dir.Catalogue, false), lazy(&dir.Catalogue, true);
    whole.Run(stream);
    lazy.Run(stream);
    TOnDemandTree& tree = lazy.Reader.OnDemandTree();
    tree.SetStream(&stream);
    EXPECT_EQ(tree.BuiltNodes(), 0u); // the top level needs no message made
    EXPECT_EQ(tree.TopCount(), 22u);
    EXPECT_TRUE(tree.HasChildren(tree.TopNode(1)));
    EXPECT_FALSE(tree.IsBuilt(1));

    tree.SetBudget(20); // two messages of 9 nodes
    const int32_t first = tree.TopNode(1);
    tree.IsHeld = [&](int32_t message) { return message == first; };
    ExpectSame(whole.Reader.Tree(), tree, stream);
    EXPECT_TRUE(tree.IsBuilt(1));
    EXPECT_LE(tree.BuiltNodes(), 20u);
    EXPECT_TRUE(tree.IsBuilt(20)); // the one made last stays too
    EXPECT_FALSE(tree.IsBuilt(10));
    // Made again, they are what they were.
    ExpectSame(whole.Reader.Tree(), tree, stream);
    tree.IsHeld = nullptr;
    tree.SetBudget(0);
    EXPECT_EQ(tree.BuiltNodes(), 0u);
    EXPECT_EQ(tree.Text(tree.Child(first, 3)), "Segment Group 1 - 2");
}

TEST(OnDemandTree, AFileChangedSinceKeepsWhatReadsAndSaysWhy) {
    StandardsDir dir;
    // Line breaks put CTA beyond the block the stream holds of the message's start.
    const std::string text = std::string(Unb) +
                             Orders("1", "BGM+220'NAD+BY'" + std::string(100000, '\n') + "CTA+IC'") +
                             "UNZ+1+1234'";
    fs::path file = dir.Path / "changed.edi";
    std::ofstream(file, std::ios::binary) << text;
    TFileStream stream(file.string());
    TReading lazy(&dir.Catalogue, true);
    lazy.Run(stream);
    TOnDemandTree& tree = lazy.Reader.OnDemandTree();
    tree.SetStream(&stream);
    std::vector<std::string> errors;
    tree.OnBuildError = [&](const std::string& error) { errors.push_back(error); };
    {
        std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(static_cast<std::streamoff>(text.find("CTA")));
        out << "XYZ";
    }
    const int32_t message = tree.TopNode(1);
    EXPECT_EQ(tree.ChildCount(message), 3);             // UNH, BGM and the group, with NAD only
    EXPECT_EQ(errors, std::vector<std::string>{"XYZ"}); // the engine names the tag it has no definition of
    EXPECT_EQ(tree.Text(tree.Child(message, 2)), "Segment Group 1 - 1");
    EXPECT_FALSE(tree.Contains(message + 6));
    EXPECT_EQ(tree.Text(message + 6), "");
    EXPECT_EQ(tree.Parent(message + 6), TOnDemandTree::None);
    EXPECT_EQ(tree.Text(tree.TopNode(2)), "UNZ");
}

// The sample interchanges against the releases the build compiled, when the test is given them.
TEST(OnDemandTreeSamples, SameNodesAsTheWholeTree) {
    const char* standards = std::getenv("TALMIRO_STANDARDS_DIR");
    const char* samples = std::getenv("TALMIRO_SAMPLE_DIRS");
    if (!standards || !samples) GTEST_SKIP() << "TALMIRO_STANDARDS_DIR and TALMIRO_SAMPLE_DIRS not set";
    TStandardsCatalogue catalogue;
    catalogue.BaseDir = standards;
    catalogue.ScanStandards();
    size_t files = 0, nodes = 0;
    for (const fs::path& path : test::SampleFiles(samples)) {
        SCOPED_TRACE(path.string());
        const std::string text = test::ReadAll(path);
        nodes += ExpectSameReading(&catalogue, text);
        ExpectSameReading(&catalogue, text, true);
        ++files;
    }
    EXPECT_GT(files, 0u);
    std::printf("%zu sample files compared, %zu nodes\n", files, nodes);
}

} // namespace
} // namespace talmiro
