// Interchanges of any content, read as the viewer reads them: against the tables the build compiled from
// real directory releases, through the catalogue, with every event of the driver and the message reader
// attached, the tree built and every segment node selected afterwards. Reading ends in success or in one
// of the engine's errors; a segment that was read once reads again from its place, to the same end. Read
// once more into the tree built on demand, every message made again, the same nodes come out.
#include "fuzz_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/message.h"
#include "talmiro/on_demand_tree.h"
#include "talmiro/segment_details.h"
#include "talmiro/transmission.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_interchange: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    TInterchangeReader reader(&fuzzsupport::Catalogue());
    fuzzsupport::TChunkedStream stream(data, size, fuzzsupport::WindowFor(size));
    const auto end = static_cast<int64_t>(size);

    TEdiTransmission& transmission = reader.Transmission();
    int groups = 0;
    transmission.OnNewFncGroup = [&](TEdiTransmission&) { ++groups; };
    transmission.OnExitFncGroup = [&](TEdiTransmission&) {
        if (groups == 0) Fail("functional groups left without one entered");
    };
    reader.OnGetStructureFile = [](TEdiTransmission& sender, std::string& name) {
        if (name.empty()) return; // no release of that name: the driver tries TYPE.MDT, which is not there
        if (!sender.Message) Fail("no message component");
    };
    reader.OnStrctLoaded = [](TEdiTransmission& sender) {
        if (!sender.Message->SegmentTable || !sender.Message->Structure) Fail("table loaded in part");
    };
    reader.OnSegmentRead = [&](TEdiMessage&, TEdiSegment& segment) {
        if (segment.StartPos < 0 || segment.EndPos < segment.StartPos || segment.EndPos >= end)
            Fail("segment outside the input");
    };
    TEdiMessage& message = reader.Message();
    message.OnReport = [](const std::string&) {};
    message.OnCheckHeader = [](TEdiMessage& sender, bool& accepted) {
        accepted = !sender.MessageName.empty();
    };
    message.OnExitGroup = [](TEdiMessage&, int grpNbr) {
        if (grpNbr <= 0) Fail("group without number left");
    };
    message.OnGetTreeNode = [](TEdiMessage&, const TMessageDefRec&, void*, void*& node) { node = nullptr; };

    try {
        reader.Read(stream);
    } catch (const Exception&) {
    }

    // What was built must be shown again as the viewer shows a selected node.
    const TInterchangeTree& tree = reader.Tree();
    for (size_t i = 0; i < tree.NodeCount(); ++i) {
        const auto index = static_cast<int32_t>(i);
        (void)tree.Text(index);
        const TEdiSegment* definition = tree.Definition(index);
        if (!definition) continue;
        std::unique_ptr<TEdiSegment> segment;
        try {
            segment = tree.ReadSegment(index, stream);
        } catch (const Exception& e) {
            std::fprintf(stderr, "node %d: %s\n", index, e.what());
            Fail("a segment read once does not read again");
        }
        if (segment->EndPos != tree.NodeAt(index).EndPos()) Fail("a segment read again ends elsewhere");
        (void)SegmentRawText(*segment, stream);
        std::vector<std::string> lines;
        AddElementLines(lines, *segment, 0);
    }

    TInterchangeReader again(&fuzzsupport::Catalogue());
    again.OnDemand = true;
    again.Message().OnReport = [](const std::string&) {};
    again.Message().OnCheckHeader = [](TEdiMessage& sender, bool& accepted) {
        accepted = !sender.MessageName.empty();
    };
    stream.Seek(0);
    try {
        again.Read(stream);
    } catch (const Exception&) {
    }
    TOnDemandTree& lazy = again.OnDemandTree();
    lazy.SetStream(&stream);
    lazy.SetBudget(64); // messages are dropped and made again while they are compared
    lazy.OnBuildError = [](const std::string&) { Fail("a message read again ends otherwise than at first"); };
    if (lazy.NodeCount() != tree.NodeCount() || lazy.TopCount() != tree.TopLevel().size())
        Fail("the tree built on demand counts other nodes");
    for (size_t i = 0; i < tree.NodeCount(); ++i) {
        const auto index = static_cast<int32_t>(i);
        const TInterchangeTree::Node& node = tree.NodeAt(index);
        if (!lazy.Contains(index) || lazy.Kind(index) != node.Kind || lazy.Parent(index) != node.Parent ||
            lazy.Row(index) != node.Row || lazy.Text(index) != tree.Text(index) ||
            lazy.TableOf(index) != tree.TableOf(index) ||
            lazy.ChildCount(index) != static_cast<int32_t>(node.Children.size()))
            Fail("a node built on demand differs");
        int64_t start = 0, stop = 0;
        if (lazy.SegmentSpan(index, start, stop) != (node.Kind == TNodeKind::Segment) ||
            (node.Kind == TNodeKind::Segment && (start != node.StartPos || stop != node.EndPos())))
            Fail("a segment built on demand stands elsewhere");
    }
    return 0;
}
