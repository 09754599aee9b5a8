#include "talmiro/on_demand_tree.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/service_segments.h"
#include "talmiro/streams.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace talmiro {

namespace {

// Tables kept loaded for reading messages again; more are loaded again from their files when needed.
constexpr size_t MaxLoadedTables = 8;

void PutVarint(std::deque<char>& out, uint64_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value) byte |= 0x80;
        out.push_back(static_cast<char>(byte));
    } while (value);
}

uint64_t GetVarint(const std::deque<char>& in, int64_t& offset) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const auto byte = static_cast<uint8_t>(in[static_cast<size_t>(offset++)]);
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return value;
}

// Ends the reading of a message once it holds the nodes counted at first: the reading that was cancelled
// or failed there would go on.
struct TMessageFull {};

} // namespace

// A message made again: its nodes in file order, and per node the list of its children.
struct TOnDemandTree::TBuilt {
    std::vector<TLocalNode> Nodes;
    // The children of local node k are Children[ChildStart[k + 1] .. ChildStart[k + 2]), those of the
    // message itself Children[ChildStart[0] .. ChildStart[1]); in file order.
    std::vector<int32_t> ChildStart;
    std::vector<int32_t> Children;
    std::list<size_t>::iterator Use;

    int32_t ChildCount(int32_t local) const {
        const auto slot = static_cast<size_t>(local + 1);
        return ChildStart[slot + 1] - ChildStart[slot];
    }
    int32_t Child(int32_t local, int32_t row) const {
        const auto slot = static_cast<size_t>(local + 1);
        return Children[static_cast<size_t>(ChildStart[slot] + row)];
    }
    int32_t RowOf(int32_t local) const {
        const auto slot = static_cast<size_t>(Nodes[static_cast<size_t>(local)].Parent + 1);
        auto first = Children.begin() + ChildStart[slot];
        return static_cast<int32_t>(std::lower_bound(first, Children.begin() + ChildStart[slot + 1], local) -
                                    first);
    }
    void Index() {
        const size_t n = Nodes.size();
        ChildStart.assign(n + 2, 0);
        for (const TLocalNode& node : Nodes)
            ++ChildStart[static_cast<size_t>(node.Parent + 2)];
        for (size_t i = 1; i < ChildStart.size(); ++i)
            ChildStart[i] += ChildStart[i - 1];
        Children.resize(n);
        std::vector<int32_t> next(ChildStart.begin(), ChildStart.end() - 1);
        for (size_t k = 0; k < n; ++k)
            Children[static_cast<size_t>(next[static_cast<size_t>(Nodes[k].Parent + 1)]++)] =
                static_cast<int32_t>(k);
    }
};

TOnDemandTree::TOnDemandTree() = default;
TOnDemandTree::~TOnDemandTree() = default;

// ---------------------------------------------------------------------------------------------------------
// The first reading

void TOnDemandTree::Clear() {
    top_.clear();
    top_.shrink_to_fit();
    texts_.clear();
    texts_.shrink_to_fit();
    prefixes_.clear();
    prefixOf_.clear();
    lastPrefix_ = None;
    nodeCount_ = 0;
    currentMessage_ = None;
    lastEnd_ = -1;
    delimiters_ = TDelimiters();
    built_.clear();
    useOrder_.clear();
    builtNodes_ = 0;
    lastRow_ = SIZE_MAX;
    last_ = nullptr;
    lastTopRow_ = SIZE_MAX;
    definitions_.Clear();
    // Only the current table may be used by the next reading without being loaded again.
    if (currentTable_ != None) {
        TTable current = std::move(tables_[static_cast<size_t>(currentTable_)]);
        tables_.clear();
        tables_.push_back(std::move(current));
        currentTable_ = 0;
    } else {
        tables_.clear();
    }
}

int32_t TOnDemandTree::NewNode() {
    if (nodeCount_ == INT32_MAX) throw Exception("Interchange too large for the tree");
    return nodeCount_++;
}

void TOnDemandTree::AddMessage(const std::string& prefix, const std::string& reference, int64_t startPos) {
    delimiters_ = Delimiters;
    TTopEntry entry;
    entry.Kind = TNodeKind::Message;
    entry.StartPos = startPos;
    entry.A = currentTable_;
    // Messages come in runs of one kind: the prefix of the one before is tried first.
    if (lastPrefix_ == None || prefixes_[static_cast<size_t>(lastPrefix_)] != prefix) {
        auto found = prefixOf_.find(prefix);
        if (found == prefixOf_.end()) {
            found = prefixOf_.emplace(prefix, static_cast<int32_t>(prefixes_.size())).first;
            prefixes_.push_back(prefix);
        }
        lastPrefix_ = found->second;
    }
    entry.Data = static_cast<int64_t>(texts_.size());
    PutVarint(texts_, static_cast<uint64_t>(lastPrefix_));
    PutVarint(texts_, reference.size());
    texts_.insert(texts_.end(), reference.begin(), reference.end());
    entry.Node = NewNode();
    top_.push_back(entry);
    currentMessage_ = static_cast<int32_t>(top_.size() - 1);
}

void TOnDemandTree::TableLoaded(const std::string& fileName, int syntaxVersion, const std::string& asked) {
    int32_t found = None;
    for (size_t i = 0; i < tables_.size() && found == None; ++i)
        if (tables_[i].FileName == fileName && tables_[i].SyntaxVersion == syntaxVersion)
            found = static_cast<int32_t>(i);
    if (found == None) {
        TTable table;
        table.FileName = fileName;
        table.Asked = asked;
        table.SyntaxVersion = syntaxVersion;
        tables_.push_back(std::move(table));
        found = static_cast<int32_t>(tables_.size() - 1);
        // Loaded now, so that a message is read again with the table it was read with, whatever happens to
        // the file meanwhile; a table that cannot be loaded is tried again when it is needed.
        try {
            LoadTable(tables_.back());
        } catch (const std::exception&) {
            tables_.back().Loaded.reset();
        }
    }
    currentTable_ = found;
    if (currentMessage_ != None) top_[static_cast<size_t>(currentMessage_)].A = found;
}

void TOnDemandTree::AddSegment(const TEdiSegment& segment) {
    if (segment.EndPos < segment.StartPos || segment.EndPos - segment.StartPos > int64_t{UINT32_MAX})
        throw Exception("Segment too long for the tree");
    lastEnd_ = segment.EndPos;
    if (currentMessage_ != None) {
        NewNode();
        return;
    }
    delimiters_ = Delimiters;
    TTopEntry entry;
    entry.Kind = TNodeKind::Segment;
    entry.StartPos = segment.StartPos;
    entry.Data = segment.EndPos;
    entry.A = definitions_.IndexOf(segment);
    entry.Node = NewNode();
    top_.push_back(entry);
}

void TOnDemandTree::AddGroup() {
    if (currentMessage_ != None) NewNode();
}

void TOnDemandTree::ExitMessage() {
    currentMessage_ = None;
}

// ---------------------------------------------------------------------------------------------------------
// The tree as shown

int32_t TOnDemandTree::NextTopNode(size_t row) const {
    return row + 1 < top_.size() ? top_[row + 1].Node : nodeCount_;
}

size_t TOnDemandTree::TopRowOf(int32_t node) const {
    // The view asks about the nodes of one message after another: the row found last is tried first.
    if (lastTopRow_ < top_.size() && node >= top_[lastTopRow_].Node && node < NextTopNode(lastTopRow_))
        return lastTopRow_;
    auto after = std::upper_bound(top_.begin(), top_.end(), node,
                                  [](int32_t n, const TTopEntry& e) { return n < e.Node; });
    lastTopRow_ = after == top_.begin() ? 0 : static_cast<size_t>(after - top_.begin() - 1);
    return lastTopRow_;
}

TOnDemandTree::TPlace TOnDemandTree::Place(int32_t node) const {
    TPlace place;
    if (node < 0 || node >= nodeCount_ || top_.empty()) return place;
    place.Row = TopRowOf(node);
    const TTopEntry& entry = top_[place.Row];
    if (entry.Node == node) {
        place.Valid = true;
        return place;
    }
    place.Local = node - entry.Node - 1;
    place.Message = &Build(place.Row);
    place.Valid = static_cast<size_t>(place.Local) < place.Message->Nodes.size();
    return place;
}

bool TOnDemandTree::Contains(int32_t node) const {
    return Place(node).Valid;
}

TNodeKind TOnDemandTree::Kind(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid) return TNodeKind::Segment;
    if (p.Local == None) return top_[p.Row].Kind;
    return p.Message->Nodes[static_cast<size_t>(p.Local)].Kind;
}

int32_t TOnDemandTree::Parent(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid || p.Local == None) return None;
    const int32_t parent = p.Message->Nodes[static_cast<size_t>(p.Local)].Parent;
    return top_[p.Row].Node + 1 + parent; // the message itself for None
}

int32_t TOnDemandTree::Row(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid) return 0;
    if (p.Local == None) return static_cast<int32_t>(p.Row);
    return p.Message->RowOf(p.Local);
}

int32_t TOnDemandTree::ChildCount(int32_t node) const {
    if (node == None) return static_cast<int32_t>(std::min<size_t>(top_.size(), INT32_MAX));
    TPlace p = Place(node);
    if (!p.Valid) return 0;
    if (p.Local == None) {
        if (top_[p.Row].Kind != TNodeKind::Message || NextTopNode(p.Row) == node + 1) return 0;
        return Build(p.Row).ChildCount(None);
    }
    return p.Message->ChildCount(p.Local);
}

int32_t TOnDemandTree::Child(int32_t node, int32_t row) const {
    if (row < 0) return None;
    if (node == None)
        return static_cast<size_t>(row) < top_.size() ? top_[static_cast<size_t>(row)].Node : None;
    TPlace p = Place(node);
    if (!p.Valid) return None;
    if (p.Local == None) {
        if (top_[p.Row].Kind != TNodeKind::Message || NextTopNode(p.Row) == node + 1) return None;
        p.Message = &Build(p.Row);
    }
    if (row >= p.Message->ChildCount(p.Local)) return None;
    return top_[p.Row].Node + 1 + p.Message->Child(p.Local, row);
}

bool TOnDemandTree::HasChildren(int32_t node) const {
    if (node == None) return !top_.empty();
    if (node < 0 || node >= nodeCount_) return false;
    const size_t row = TopRowOf(node);
    if (top_[row].Node == node) return top_[row].Kind == TNodeKind::Message && NextTopNode(row) > node + 1;
    TPlace p = Place(node);
    return p.Valid && p.Message->ChildCount(p.Local) > 0;
}

int32_t TOnDemandTree::SubtreeEnd(int32_t node) const {
    if (node < 0 || node >= nodeCount_) return node + 1;
    const size_t row = TopRowOf(node);
    if (top_[row].Node == node) return top_[row].Kind == TNodeKind::Message ? NextTopNode(row) : node + 1;
    TPlace p = Place(node);
    if (!p.Valid) return node + 1;
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    return local.Kind == TNodeKind::Group ? node + static_cast<int32_t>(local.Length) : node + 1;
}

std::string TOnDemandTree::MessageText(int64_t offset) const {
    const auto prefix = static_cast<size_t>(GetVarint(texts_, offset));
    const auto length = static_cast<size_t>(GetVarint(texts_, offset));
    std::string text = prefix < prefixes_.size() ? prefixes_[prefix] : std::string();
    auto first = texts_.begin() + offset;
    text.append(first, first + static_cast<std::ptrdiff_t>(length));
    return text;
}

std::string TOnDemandTree::Text(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid) return {};
    if (p.Local == None) {
        const TTopEntry& entry = top_[p.Row];
        return entry.Kind == TNodeKind::Message ? MessageText(entry.Data) : definitions_.At(entry.A).ID;
    }
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    if (local.Kind == TNodeKind::Segment) return definitions_.At(local.A).ID;
    char text[64];
    std::snprintf(text, sizeof text, "Segment Group %d - %d", local.A, local.B);
    return text;
}

const TEdiSegment* TOnDemandTree::Definition(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid) return nullptr;
    if (p.Local == None) {
        const TTopEntry& entry = top_[p.Row];
        return entry.Kind == TNodeKind::Segment ? &definitions_.At(entry.A) : nullptr;
    }
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    return local.Kind == TNodeKind::Segment ? &definitions_.At(local.A) : nullptr;
}

bool TOnDemandTree::SegmentSpan(int32_t node, int64_t& start, int64_t& end) const {
    TPlace p = Place(node);
    if (!p.Valid) return false;
    if (p.Local == None) {
        const TTopEntry& entry = top_[p.Row];
        if (entry.Kind != TNodeKind::Segment) return false;
        start = entry.StartPos;
        end = entry.Data;
        return true;
    }
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    if (local.Kind != TNodeKind::Segment) return false;
    start = local.StartPos;
    end = local.StartPos + local.Length;
    return true;
}

const std::string& TOnDemandTree::TableOf(int32_t node) const {
    static const std::string none;
    if (node < 0 || node >= nodeCount_) return none;
    const TTopEntry& entry = top_[TopRowOf(node)];
    if (entry.Kind != TNodeKind::Message || entry.A == None) return none;
    return tables_[static_cast<size_t>(entry.A)].Asked;
}

int32_t TOnDemandTree::GroupNumber(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid || p.Local == None) return 0;
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    return local.Kind == TNodeKind::Group ? local.A : 0;
}

const TMessageDefRec* TOnDemandTree::StructureOf(int32_t node) const {
    if (node < 0 || node >= nodeCount_) return nullptr;
    const TTopEntry& entry = top_[TopRowOf(node)];
    if (entry.Kind != TNodeKind::Message || entry.A == None) return nullptr;
    return Table(entry.A).Structure.get();
}

namespace {

// Calls visit for the entries of a structure in walk order, each group's entries right after it, until
// visit returns false.
template <typename Visit> void ForEachEntry(const TMessageDefRec* structure, Visit visit) {
    std::vector<const TMessageDefRec*> pending; // where the levels above go on
    const TMessageDefRec* e = structure;
    while (e || !pending.empty()) {
        if (!e) {
            e = pending.back();
            pending.pop_back();
            continue;
        }
        if (!visit(e)) return;
        if (e->Children && pending.size() < static_cast<size_t>(MaxGroupDepth)) {
            pending.push_back(e->Next.get());
            e = e->Children.get();
        } else {
            e = e->Next.get();
        }
    }
}

} // namespace

const TMessageDefRec* TOnDemandTree::EntryOf(int32_t node) const {
    TPlace p = Place(node);
    if (!p.Valid || p.Local == None) return nullptr;
    const TLocalNode& local = p.Message->Nodes[static_cast<size_t>(p.Local)];
    if (local.Kind != TNodeKind::Segment || local.B == None) return nullptr;
    const TMessageDefRec* found = nullptr;
    int32_t index = 0;
    ForEachEntry(StructureOf(node), [&](const TMessageDefRec* e) {
        if (index++ == local.B) found = e;
        return !found;
    });
    return found;
}

void TOnDemandTree::MessageSpan(size_t row, int64_t& start, int64_t& end) const {
    start = top_[row].StartPos;
    // Segments follow each other without a gap: the next entry begins right after the message's end.
    end = row + 1 < top_.size() ? top_[row + 1].StartPos - 1 : std::max(lastEnd_, start);
}

std::unique_ptr<TEdiSegment> TOnDemandTree::ReadSegment(int32_t node, TStream& stream) const {
    const TEdiSegment* definition = Definition(node);
    int64_t start = 0, end = 0;
    if (!definition || !SegmentSpan(node, start, end)) return nullptr;
    std::unique_ptr<TEdiSegment> segment = CloneSegment(*definition);
    segment->StartPos = start;
    segment->EndPos = end;
    const TDelimiters saved = Delimiters;
    Delimiters = delimiters_;
    try {
        stream.Seek(start);
        segment->ReadEdi(stream);
    } catch (...) {
        Delimiters = saved;
        throw;
    }
    Delimiters = saved;
    return segment;
}

// ---------------------------------------------------------------------------------------------------------
// Making messages

void TOnDemandTree::LoadTable(TTable& table) const {
    auto message = std::make_unique<TEdiMessage>();
    message->OnReport = [](const std::string&) {}; // reported when the driver loaded it
    if (message->LoadStructure(table.FileName) < 0 || !message->SegmentTable)
        throw Exception("This MDT-file cannot be used on this message");
    // A message body's header and trailer have the version 4 layout whatever table reads the body, as the
    // driver reads them.
    if (table.SyntaxVersion == 4) {
        std::vector<std::unique_ptr<TEdiSegment>> service;
        service.push_back(CloneSegment(TSegmUNH4()));
        service.push_back(CloneSegment(TSegmUNT4()));
        message->SegmentTable->InsertAll(std::move(service));
    }
    table.Loaded = std::move(message);
    table.LastUse = ++tableClock_;
    size_t loaded = 0;
    for (const TTable& t : tables_)
        loaded += t.Loaded ? 1 : 0;
    if (loaded <= MaxLoadedTables) return;
    TTable* oldest = nullptr;
    for (TTable& t : tables_)
        if (t.Loaded && &t != &table && (!oldest || t.LastUse < oldest->LastUse)) oldest = &t;
    if (oldest) {
        oldest->Loaded.reset();
        definitions_.NewTable(); // its segments' addresses may come again
    }
}

TEdiMessage& TOnDemandTree::Table(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= tables_.size()) throw Exception("No message table loaded");
    TTable& table = tables_[static_cast<size_t>(index)];
    if (!table.Loaded) LoadTable(table);
    table.LastUse = ++tableClock_;
    return *table.Loaded;
}

void TOnDemandTree::Read(size_t row, TBuilt& built) const {
    const TTopEntry& entry = top_[row];
    const int32_t counted = NextTopNode(row) - entry.Node - 1;
    if (entry.Kind != TNodeKind::Message || counted <= 0) return;

    int32_t current = None;
    auto add = [&](TLocalNode node) {
        if (built.Nodes.size() >= static_cast<size_t>(counted)) throw TMessageFull();
        node.Parent = current;
        built.Nodes.push_back(node);
    };
    auto close = [&] {
        TLocalNode& group = built.Nodes[static_cast<size_t>(current)];
        group.Length = static_cast<uint32_t>(built.Nodes.size() - static_cast<size_t>(current));
        current = group.Parent;
    };

    std::string error;
    TEdiMessage* table = nullptr;
    const TDelimiters saved = Delimiters;
    try {
        if (!stream_) throw Exception("The interchange file is not open");
        table = &Table(entry.A);
        // Segment nodes keep their structure entry as its number in walk order.
        std::unordered_map<const TMessageDefRec*, int32_t> entries;
        ForEachEntry(table->Structure.get(), [&](const TMessageDefRec* e) {
            entries.emplace(e, static_cast<int32_t>(entries.size()));
            return true;
        });
        table->OnSegmentRead = [&](TEdiMessage& message, TEdiSegment& segment) {
            TLocalNode node;
            node.Kind = TNodeKind::Segment;
            node.StartPos = segment.StartPos;
            if (segment.EndPos < segment.StartPos || segment.EndPos - segment.StartPos > int64_t{UINT32_MAX})
                throw Exception("Segment too long for the tree");
            node.Length = static_cast<uint32_t>(segment.EndPos - segment.StartPos);
            node.A = definitions_.IndexOf(segment);
            const auto at = entries.find(message.CurrentEntry);
            node.B = at == entries.end() ? None : at->second;
            add(node);
        };
        table->OnEnterGroup = [&](TEdiMessage&, int grpNbr, int actRep) {
            TLocalNode node;
            node.Kind = TNodeKind::Group;
            node.A = grpNbr;
            node.B = actRep;
            add(node);
            current = static_cast<int32_t>(built.Nodes.size() - 1);
        };
        table->OnDoneGroup = [&](TEdiMessage&, int) {
            if (current != None) close();
        };
        Delimiters = delimiters_;
        stream_->Seek(entry.StartPos);
        table->ReadMessage(*stream_);
    } catch (const TMessageFull&) {
    } catch (const std::exception& e) {
        error = e.what();
    }
    Delimiters = saved;
    if (table) {
        table->OnSegmentRead = nullptr;
        table->OnEnterGroup = nullptr;
        table->OnDoneGroup = nullptr;
    }
    // Groups left open by an error end with the last node read.
    while (current != None)
        close();
    built.Nodes.shrink_to_fit();
    built.Index();
    // The reading that counted the nodes ended at the same error, or was cancelled: what it kept is here.
    if (built.Nodes.size() < static_cast<size_t>(counted) && OnBuildError)
        OnBuildError(error.empty() ? std::string("The interchange file has changed since it was read")
                                   : error);
}

const TOnDemandTree::TBuilt& TOnDemandTree::Build(size_t row) const {
    if (row == lastRow_ && last_) return *last_;
    auto found = built_.find(row);
    if (found == built_.end()) {
        auto built = std::make_unique<TBuilt>();
        Read(row, *built);
        builtNodes_ += built->Nodes.size();
        useOrder_.push_back(row);
        built->Use = std::prev(useOrder_.end());
        found = built_.emplace(row, std::move(built)).first;
        Trim(row);
    } else {
        useOrder_.splice(useOrder_.end(), useOrder_, found->second->Use);
    }
    lastRow_ = row;
    last_ = found->second.get();
    return *last_;
}

void TOnDemandTree::DropBuilt(size_t row) const {
    auto found = built_.find(row);
    if (found == built_.end()) return;
    builtNodes_ -= found->second->Nodes.size();
    useOrder_.erase(found->second->Use);
    built_.erase(found);
    if (lastRow_ == row) {
        lastRow_ = SIZE_MAX;
        last_ = nullptr;
    }
}

void TOnDemandTree::Trim(size_t keep) const {
    // A message that is held counts as used now, so that the next trim does not look at it first again.
    std::list<size_t> held;
    for (auto it = useOrder_.begin(); builtNodes_ > budget_ && it != useOrder_.end();) {
        const auto at = it++;
        const size_t row = *at;
        if (row == keep) continue;
        if (IsHeld && IsHeld(top_[row].Node))
            held.splice(held.end(), useOrder_, at);
        else
            DropBuilt(row);
    }
    useOrder_.splice(useOrder_.end(), held);
}

void TOnDemandTree::Trim() {
    Trim(SIZE_MAX);
}

void TOnDemandTree::SetBudget(size_t nodes) {
    budget_ = nodes;
    Trim();
}

} // namespace talmiro
