// The tree of one interchange as the viewer shows it: message nodes, one node per segment-group
// repetition and one node per segment. Built from the events of the interchange driver and the
// message reader; sized for millions of segment nodes.
#pragma once

#include "talmiro/edi_element.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace talmiro {

class TEdiTransmission;
class TEdiMessage;
class TOnDemandTree;
class TStandardsCatalogue;
class TStream;

enum class TNodeKind : uint8_t { Message, Group, Segment };

// The segment definitions the nodes of a tree point to: one copy without values per distinct definition,
// however often a table with it is loaded again.
class TDefinitionPool {
public:
    // The index of the segment's definition, copied on first sight.
    int32_t IndexOf(const TEdiSegment& segment);
    const TEdiSegment& At(int32_t index) const { return *definitions_[static_cast<size_t>(index)]; }
    size_t Size() const { return definitions_.size(); }
    // Forget the addresses seen so far (a new table's segment objects may reuse them); the copies stay.
    void NewTable() { definitionOf_.clear(); }
    void Clear();

private:
    std::vector<std::shared_ptr<const TEdiSegment>> definitions_;
    std::unordered_map<const TEdiSegment*, int32_t> definitionOf_;  // per loaded table
    std::unordered_map<std::string, std::vector<int32_t>> sameTag_; // definitions by tag, to share reloads
};

class TInterchangeTree {
public:
    static constexpr int32_t None = -1;

    // 56 bytes, plus the node's index in its parent's list.
    struct Node {
        int32_t Parent = None;
        int32_t Row = 0; // index among the parent's children (or among the top-level nodes)
        int32_t A = 0;   // message: text index; group: group number; segment: definition index
        int32_t B = 0;   // group: repetition number
        int64_t StartPos = 0;
        uint32_t Length = 0; // segment: EndPos - StartPos
        TNodeKind Kind = TNodeKind::Segment;
        std::vector<int32_t> Children;
        int64_t EndPos() const { return StartPos + Length; }
    };

    size_t NodeCount() const { return nodes_.size(); }
    const Node& NodeAt(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }
    const std::vector<int32_t>& TopLevel() const { return topLevel_; }
    const std::vector<int32_t>& ChildrenOf(int32_t index) const {
        return index == None ? topLevel_ : nodes_[static_cast<size_t>(index)].Children;
    }
    // The text the viewer shows: "ORDERS/D96A: 1", "Segment Group 2 - 1" or the segment's tag.
    std::string Text(int32_t index) const;
    // The table file the message of a node was read with; empty outside messages and for a message
    // read without one.
    const std::string& TableOf(int32_t index) const;
    // A segment node's shared definition (no values); none for other nodes.
    const TEdiSegment* Definition(int32_t index) const;
    // A fresh copy of a segment node's definition, read again from the stream at its position.
    std::unique_ptr<TEdiSegment> ReadSegment(int32_t index, TStream& stream) const;

    void Clear();

    // Building (the event handlers of the viewer).
    int32_t CurrentNode = None;
    int32_t AddMessage(std::string text);
    int32_t AddGroup(int grpNbr, int actRep);
    int32_t AddSegment(const TEdiSegment& segment);
    void Up(); // CurrentNode becomes its parent
    // CurrentNode becomes the parent of the message node added last (group nodes left open by a reported
    // sequence error are closed with it).
    void ExitMessage();
    // Forget the definitions shared per loaded table (a new table's segment objects may reuse addresses);
    // the message being read and those after it were read with tableFile.
    void NewTable(const std::string& tableFile = {});

private:
    int32_t Add(Node node);
    std::deque<Node> nodes_; // grows without moving: no doubled copy of a large tree while it is built
    std::vector<int32_t> topLevel_;
    std::vector<std::string> messageTexts_;
    std::vector<int32_t> messageTables_; // per message: its table in tables_, or None
    std::vector<std::string> tables_;
    int32_t currentTable_ = None;
    TDefinitionPool definitions_;
    int32_t currentMessage_ = None;
};

// The driver, the message reader and the tree wired as the viewer wires them. The command-line tool
// and the viewer both read interchanges through this, so they cannot disagree.
class TInterchangeReader {
public:
    explicit TInterchangeReader(TStandardsCatalogue* catalogue = nullptr);
    ~TInterchangeReader();

    TEdiTransmission& Transmission() { return *transmission_; }
    TEdiMessage& Message() { return *message_; }
    TInterchangeTree& Tree() { return tree_; }
    TOnDemandTree& OnDemandTree() { return *onDemand_; }
    // When false, no tree is built (a plain check); the events still fire for other listeners.
    bool BuildTree = true;
    // When set (and BuildTree), the reading fills OnDemandTree, emptied first, instead of Tree.
    bool OnDemand = false;

    // CurrentNode to none, SetStream, Execute, then Clear after success. Errors propagate.
    void Read(TStream& stream);
    // The number of the node added last to the tree being built; None when there is none.
    int32_t LastNode() const;

    // The table for the message whose header the driver read last: the selected standard's directory and
    // the message type with ".MDT", or empty when no standard matches version and release.
    std::string StructureFileFor();
    // "ORDERS/D96A: 1" for the message header the driver read last.
    std::string MessageText() const;
    // Set when the table for the message being read was not found (no standard, or no table in it):
    // what was looked for and how to add it; empty once a table has been loaded.
    std::string MissingDefinition;
    std::string MissingDefinitionHint;
    // The table file asked for the message being read (the one loaded, unless that failed).
    const std::string& TableFile() const { return tableFile_; }

    // Further listeners, called after the reader's own handlers (the driver's and the message reader's
    // events are taken by the reader; their other events stay free to assign directly).
    std::function<void(TEdiTransmission& Sender)> OnNewMessage;
    std::function<void(TEdiTransmission& Sender, std::string& AFileName)> OnGetStructureFile;
    std::function<void(TEdiTransmission& Sender)> OnStrctLoaded;
    std::function<void(TEdiTransmission& Sender)> OnExitMessage;
    std::function<void(TEdiMessage& Sender, TEdiSegment& Segment)> OnSegmentRead;
    std::function<void(TEdiMessage& Sender, int GrpNbr, int ActRep)> OnEnterGroup;
    std::function<void(TEdiMessage& Sender, int GrpNbr)> OnDoneGroup;

private:
    void NoteMissingDefinition(const std::string& fileName);
    // "ORDERS/D96A: " of the message header the driver read last.
    std::string MessagePrefix() const;
    TStandardsCatalogue* catalogue_;
    std::unique_ptr<TEdiTransmission> transmission_;
    std::unique_ptr<TEdiMessage> message_;
    TInterchangeTree tree_;
    std::unique_ptr<TOnDemandTree> onDemand_;
    std::string structureFile_; // the table the driver loads next
    std::string tableFile_;
};

} // namespace talmiro
