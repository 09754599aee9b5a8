// The interchange tree as the viewer shows it, built on demand. The first reading keeps only what the top
// level needs: the envelope segments, and per message its place in the file, its text and the table it
// was read with, while it counts the nodes the message holds. A message's group and segment nodes are made
// when they are first asked for, by reading the message again with that table; beyond a budget of nodes
// the messages used least recently are dropped again, to be made anew when they are needed.
//
// Nodes are numbered as the whole tree numbers them (TInterchangeTree): in file order, parents before
// children. A node's subtree is the range of numbers from the node to SubtreeEnd, and the numbers do not
// change when a message is dropped and made again.
#pragma once

#include "talmiro/interchange_tree.h"
#include "talmiro/syntax.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace talmiro {

class TEdiMessage;
class TStream;
struct TMessageDefRec;

class TOnDemandTree {
public:
    static constexpr int32_t None = -1;
    // Messages made again hold about this many nodes (40 bytes each) before old ones are dropped.
    static constexpr size_t DefaultBudget = 1'000'000;

    TOnDemandTree();
    ~TOnDemandTree();
    TOnDemandTree(const TOnDemandTree&) = delete;
    TOnDemandTree& operator=(const TOnDemandTree&) = delete;

    // --- Filled by the first reading (TInterchangeReader with OnDemand), on the reading's thread.
    // Empties the tree. The table of the message read last is kept: the driver keeps it loaded after an
    // error and reads the next file's first message with it when the message is of the same kind.
    void Clear();
    // A message whose UNH begins at startPos (the first byte after the segment before it); its text is
    // prefix ("ORDERS/D96A: ") followed by its reference.
    void AddMessage(const std::string& prefix, const std::string& reference, int64_t startPos);
    // The table the driver loaded for the message being read, used for it and the messages after it;
    // asked is the name the catalogue gave for it, empty when the driver took its own.
    void TableLoaded(const std::string& fileName, int syntaxVersion, const std::string& asked);
    // An envelope segment at the top level, or a segment of the message being read.
    void AddSegment(const TEdiSegment& segment);
    void AddGroup();
    void ExitMessage();
    // The delimiters of the interchange, as they stood when its header had been read.
    const TDelimiters& ReadingDelimiters() const { return delimiters_; }

    // --- The tree as shown. Messages are read again from the stream, the file read first.
    void SetStream(TStream* stream) { stream_ = stream; }
    size_t NodeCount() const { return static_cast<size_t>(nodeCount_); }
    size_t TopCount() const { return top_.size(); }
    int32_t TopNode(size_t row) const { return top_[row].Node; }
    // Whether the node exists; a message that reads otherwise than at first holds fewer nodes.
    bool Contains(int32_t node) const;
    TNodeKind Kind(int32_t node) const;
    int32_t Parent(int32_t node) const;
    // The node's index among its parent's children (or among the top-level nodes).
    int32_t Row(int32_t node) const;
    // None stands for the top level.
    int32_t ChildCount(int32_t node) const;
    int32_t Child(int32_t node, int32_t row) const;
    // Told without making a message.
    bool HasChildren(int32_t node) const;
    // One past the last node of the node's subtree; told without making a message for a message node.
    int32_t SubtreeEnd(int32_t node) const;
    // The text the viewer shows: "ORDERS/D96A: 1", "Segment Group 2 - 1" or the segment's tag.
    std::string Text(int32_t node) const;
    // A segment node's shared definition (no values); none for other nodes.
    const TEdiSegment* Definition(int32_t node) const;
    // A fresh copy of a segment node's definition, read again from the stream at its position with the
    // interchange's delimiters.
    std::unique_ptr<TEdiSegment> ReadSegment(int32_t node, TStream& stream) const;
    // A segment node's bytes, from its start to its terminator; false for other nodes.
    bool SegmentSpan(int32_t node, int64_t& start, int64_t& end) const;
    // The table file the message of a node was read with, as the catalogue named it; empty outside
    // messages and for a message read without one.
    const std::string& TableOf(int32_t node) const;
    // A group node's number in its message's structure; 0 for other nodes.
    int32_t GroupNumber(int32_t node) const;
    // The structure of the table the node's message was read with, loaded again when it was dropped; none
    // outside messages and for a message read without a table.
    const TMessageDefRec* StructureOf(int32_t node) const;
    // The entry of that structure a segment node was read at; none for other nodes and outside the walk.
    const TMessageDefRec* EntryOf(int32_t node) const;
    // The top-level row that holds the node (a message's row for the nodes below it).
    size_t TopRowOf(int32_t node) const;
    // A message's bytes: from its UNH to the last byte read for it (end inclusive).
    void MessageSpan(size_t row, int64_t& start, int64_t& end) const;

    // --- Messages made again.
    bool IsBuilt(size_t row) const { return built_.count(row) != 0; }
    size_t BuiltNodes() const { return builtNodes_; }
    size_t Budget() const { return budget_; }
    void SetBudget(size_t nodes);
    // Whether a message must stay made whatever the budget (the view shows it open, or a node of it is
    // current); asked before a message is dropped.
    std::function<bool(int32_t MessageNode)> IsHeld;
    // Drops the least recently used messages that are not held until the budget is kept.
    void Trim();
    // Called when a message read again ends otherwise than at first, with the error's text (the file has
    // changed since); the nodes read up to there stay. Not to be answered by asking the tree again.
    std::function<void(const std::string& Text)> OnBuildError;

private:
    struct TTopEntry {
        int64_t StartPos = 0;
        int64_t Data = 0; // message: its text's offset in texts_; segment: its EndPos
        int32_t Node = 0;
        int32_t A = 0; // message: its table; segment: its definition
        TNodeKind Kind = TNodeKind::Segment;
    };
    struct TLocalNode {
        int64_t StartPos = 0;
        int32_t Parent = None; // local index; None for the message itself
        int32_t A = 0;         // group: number; segment: definition
        int32_t B = 0;         // group: repetition; segment: its structure entry in walk order, or None
        uint32_t Length = 0;   // group: nodes in its subtree, itself included; segment: EndPos - StartPos
        TNodeKind Kind = TNodeKind::Segment;
    };
    struct TBuilt;
    struct TTable {
        std::string FileName;
        std::string Asked;
        int SyntaxVersion = 3;
        std::unique_ptr<TEdiMessage> Loaded; // none when dropped or not loadable; loaded again when needed
        uint64_t LastUse = 0;
    };
    // Where a node lives: its top-level row, and for a node below a message its local index there.
    struct TPlace {
        size_t Row = 0;
        int32_t Local = None;
        const TBuilt* Message = nullptr;
        bool Valid = false;
    };

    int32_t NewNode();
    int32_t NextTopNode(size_t row) const;
    TPlace Place(int32_t node) const;
    const TBuilt& Build(size_t row) const;
    void Read(size_t row, TBuilt& built) const;
    TEdiMessage& Table(int32_t table) const;
    void LoadTable(TTable& table) const;
    std::string MessageText(int64_t offset) const;
    void DropBuilt(size_t row) const;
    void Trim(size_t keep) const;

    // The first reading.
    std::deque<TTopEntry> top_;
    std::deque<char> texts_; // per message: prefix number and reference length as varints, the reference
    std::vector<std::string> prefixes_;
    std::unordered_map<std::string, int32_t> prefixOf_;
    int32_t lastPrefix_ = None;
    int32_t nodeCount_ = 0;
    int32_t currentMessage_ = None; // its row while it is read
    int64_t lastEnd_ = -1;          // EndPos of the segment read last
    TDelimiters delimiters_;
    int32_t currentTable_ = None;

    // Made on demand.
    TStream* stream_ = nullptr;
    mutable std::vector<TTable> tables_;
    mutable uint64_t tableClock_ = 0;
    mutable TDefinitionPool definitions_;
    mutable std::unordered_map<size_t, std::unique_ptr<TBuilt>> built_;
    mutable std::list<size_t> useOrder_; // rows of built_, least recently used first
    mutable size_t builtNodes_ = 0;
    mutable size_t lastRow_ = SIZE_MAX; // the message asked for last, to skip the look-up
    mutable const TBuilt* last_ = nullptr;
    mutable size_t lastTopRow_ = SIZE_MAX;
    size_t budget_ = DefaultBudget;
};

} // namespace talmiro
