#include "talmiro/interchange_tree.h"

#include <algorithm>
#include <filesystem>

#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/on_demand_tree.h"
#include "talmiro/segment_table.h"
#include "talmiro/standards.h"
#include "talmiro/streams.h"
#include "talmiro/transmission.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace talmiro {

namespace {

// Two definitions are the same when every attribute the tree and the details panel use agrees.
bool SameElements(const TEdiComposit& a, const TEdiComposit& b) {
    if (a.ID != b.ID || a.Description != b.Description || a.Elements.size() != b.Elements.size())
        return false;
    for (size_t i = 0; i < a.Elements.size(); ++i) {
        const TEdiElement* x = a.Elements[i].get();
        const TEdiElement* y = b.Elements[i].get();
        if (auto* fx = dynamic_cast<const TEDIField*>(x)) {
            auto* fy = dynamic_cast<const TEDIField*>(y);
            if (!fy || fx->ID != fy->ID || fx->Description != fy->Description ||
                fx->FieldType != fy->FieldType || fx->MinSize != fy->MinSize || fx->MaxSize != fy->MaxSize)
                return false;
        } else if (auto* cx = dynamic_cast<const TEdiComposit*>(x)) {
            auto* cy = dynamic_cast<const TEdiComposit*>(y);
            // Composites hold simple elements only, so this recursion is one level deep.
            if (!cy || dynamic_cast<const TEdiSegment*>(x) || !SameElements(*cx, *cy)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string FieldText(const TEdiComposit* composite, const char* id) {
    if (!composite) return {};
    TEDIField* field = composite->FindField(id);
    return field ? field->AsString() : std::string();
}

} // namespace

std::string TInterchangeTree::Text(int32_t index) const {
    const Node& node = NodeAt(index);
    switch (node.Kind) {
    case TNodeKind::Message:
        return messageTexts_[static_cast<size_t>(node.A)];
    case TNodeKind::Group: {
        char text[64];
        std::snprintf(text, sizeof text, "Segment Group %d - %d", node.A, node.B);
        return text;
    }
    case TNodeKind::Segment:
        return definitions_.At(node.A).ID;
    }
    return {};
}

const TEdiSegment* TInterchangeTree::Definition(int32_t index) const {
    const Node& node = NodeAt(index);
    if (node.Kind != TNodeKind::Segment) return nullptr;
    return &definitions_.At(node.A);
}

std::unique_ptr<TEdiSegment> TInterchangeTree::ReadSegment(int32_t index, TStream& stream) const {
    const TEdiSegment* definition = Definition(index);
    if (!definition) return nullptr;
    const Node& node = NodeAt(index);
    std::unique_ptr<TEdiSegment> segment = CloneSegment(*definition);
    segment->StartPos = node.StartPos;
    segment->EndPos = node.EndPos();
    stream.Seek(node.StartPos);
    segment->ReadEdi(stream);
    return segment;
}

void TInterchangeTree::Clear() {
    nodes_.clear();
    nodes_.shrink_to_fit();
    topLevel_.clear();
    topLevel_.shrink_to_fit();
    messageTexts_.clear();
    messageTables_.clear();
    tables_.clear();
    currentTable_ = None;
    definitions_.Clear();
    CurrentNode = None;
    currentMessage_ = None;
}

int32_t TInterchangeTree::Add(Node node) {
    if (nodes_.size() >= static_cast<size_t>(INT32_MAX))
        throw Exception("Interchange too large for the tree");
    auto index = static_cast<int32_t>(nodes_.size());
    node.Parent = CurrentNode;
    std::vector<int32_t>& siblings =
        CurrentNode == None ? topLevel_ : nodes_[static_cast<size_t>(CurrentNode)].Children;
    node.Row = static_cast<int32_t>(siblings.size());
    siblings.push_back(index);
    nodes_.push_back(std::move(node));
    return index;
}

int32_t TInterchangeTree::AddMessage(std::string text) {
    Node node;
    node.Kind = TNodeKind::Message;
    node.A = static_cast<int32_t>(messageTexts_.size());
    messageTexts_.push_back(std::move(text));
    messageTables_.push_back(currentTable_);
    CurrentNode = Add(std::move(node));
    currentMessage_ = CurrentNode;
    return CurrentNode;
}

int32_t TInterchangeTree::AddGroup(int grpNbr, int actRep) {
    Node node;
    node.Kind = TNodeKind::Group;
    node.A = grpNbr;
    node.B = actRep;
    CurrentNode = Add(std::move(node));
    return CurrentNode;
}

int32_t TInterchangeTree::AddSegment(const TEdiSegment& segment) {
    Node node;
    node.Kind = TNodeKind::Segment;
    node.A = definitions_.IndexOf(segment);
    node.StartPos = segment.StartPos;
    if (segment.EndPos < segment.StartPos || segment.EndPos - segment.StartPos > int64_t{UINT32_MAX})
        throw Exception("Segment too long for the tree");
    node.Length = static_cast<uint32_t>(segment.EndPos - segment.StartPos);
    return Add(std::move(node));
}

int32_t TDefinitionPool::IndexOf(const TEdiSegment& segment) {
    auto found = definitionOf_.find(&segment);
    if (found != definitionOf_.end()) return found->second;
    std::shared_ptr<const TEdiSegment> copy = CloneSegment(segment);
    // A table loaded again (ORDERS, INVOIC, ORDERS, ...) brings the same definitions once more; keep one
    // copy per distinct definition so the tree does not grow with every reload.
    int32_t index = TInterchangeTree::None;
    auto& candidates = sameTag_[segment.ID];
    for (int32_t candidate : candidates) {
        if (SameElements(*definitions_[static_cast<size_t>(candidate)], *copy)) {
            index = candidate;
            break;
        }
    }
    if (index == TInterchangeTree::None) {
        index = static_cast<int32_t>(definitions_.size());
        definitions_.push_back(std::move(copy));
        candidates.push_back(index);
    }
    definitionOf_.emplace(&segment, index);
    return index;
}

void TInterchangeTree::Up() {
    if (CurrentNode != None) CurrentNode = nodes_[static_cast<size_t>(CurrentNode)].Parent;
}

void TInterchangeTree::ExitMessage() {
    // The message node's parent, even when a reported sequence error left group nodes open.
    if (currentMessage_ != None)
        CurrentNode = nodes_[static_cast<size_t>(currentMessage_)].Parent;
    else
        Up();
    currentMessage_ = None;
}

void TDefinitionPool::Clear() {
    definitions_.clear();
    definitionOf_.clear();
    sameTag_.clear();
}

void TInterchangeTree::NewTable(const std::string& tableFile) {
    definitions_.NewTable();
    // Few distinct tables, often alternating: each is kept once.
    auto known = std::find(tables_.begin(), tables_.end(), tableFile);
    currentTable_ = static_cast<int32_t>(known - tables_.begin());
    if (known == tables_.end()) tables_.push_back(tableFile);
    if (currentMessage_ != None)
        messageTables_[static_cast<size_t>(NodeAt(currentMessage_).A)] = currentTable_;
}

const std::string& TInterchangeTree::TableOf(int32_t index) const {
    static const std::string none;
    while (index != None && NodeAt(index).Kind != TNodeKind::Message)
        index = NodeAt(index).Parent;
    if (index == None) return none;
    const int32_t table = messageTables_[static_cast<size_t>(NodeAt(index).A)];
    return table == None ? none : tables_[static_cast<size_t>(table)];
}

TInterchangeReader::TInterchangeReader(TStandardsCatalogue* catalogue)
    : catalogue_(catalogue), transmission_(std::make_unique<TEdiTransmission>()),
      message_(std::make_unique<TEdiMessage>()), onDemand_(std::make_unique<TOnDemandTree>()) {
    transmission_->Message = message_.get();
    transmission_->OnActivate = [](TEdiTransmission&) {};
    transmission_->OnNewMessage = [this](TEdiTransmission& sender) {
        if (BuildTree && OnDemand) {
            const TEdiSegment& unh = transmission_->SegmUNH();
            onDemand_->AddMessage(MessagePrefix(), FieldText(&unh, "0062"), unh.StartPos);
        } else if (BuildTree) {
            tree_.AddMessage(MessageText());
        }
        if (OnNewMessage) OnNewMessage(sender);
    };
    transmission_->OnGetStructureFile = [this](TEdiTransmission& sender, std::string& fileName) {
        fileName = StructureFileFor();
        NoteMissingDefinition(fileName);
        if (OnGetStructureFile) OnGetStructureFile(sender, fileName);
        tableFile_ = fileName;
        // The driver's own name when none is given.
        structureFile_ =
            !fileName.empty() ? fileName : FieldText(sender.SegmUNH().FindComposit("S009"), "0065") + ".MDT";
    };
    transmission_->OnStrctLoaded = [this](TEdiTransmission& sender) {
        MissingDefinition.clear();
        MissingDefinitionHint.clear();
        tree_.NewTable(BuildTree ? tableFile_ : std::string());
        if (BuildTree && OnDemand) onDemand_->TableLoaded(structureFile_, sender.SyntaxVersion(), tableFile_);
        if (OnStrctLoaded) OnStrctLoaded(sender);
    };
    transmission_->OnExitMessage = [this](TEdiTransmission& sender) {
        if (BuildTree && OnDemand)
            onDemand_->ExitMessage();
        else if (BuildTree)
            tree_.ExitMessage();
        if (OnExitMessage) OnExitMessage(sender);
    };
    message_->OnSegmentRead = [this](TEdiMessage& sender, TEdiSegment& segment) {
        if (BuildTree && OnDemand)
            onDemand_->AddSegment(segment);
        else if (BuildTree)
            tree_.AddSegment(segment);
        if (OnSegmentRead) OnSegmentRead(sender, segment);
    };
    message_->OnEnterGroup = [this](TEdiMessage& sender, int grpNbr, int actRep) {
        if (BuildTree && OnDemand)
            onDemand_->AddGroup();
        else if (BuildTree)
            tree_.AddGroup(grpNbr, actRep);
        if (OnEnterGroup) OnEnterGroup(sender, grpNbr, actRep);
    };
    message_->OnDoneGroup = [this](TEdiMessage& sender, int grpNbr) {
        if (BuildTree && !OnDemand) tree_.Up();
        if (OnDoneGroup) OnDoneGroup(sender, grpNbr);
    };
}

TInterchangeReader::~TInterchangeReader() = default;

void TInterchangeReader::Read(TStream& stream) {
    tree_.CurrentNode = TInterchangeTree::None;
    if (BuildTree && OnDemand) onDemand_->Clear();
    transmission_->SetStream(&stream);
    transmission_->Execute();
    transmission_->Clear();
}

int32_t TInterchangeReader::LastNode() const {
    if (!BuildTree) return TInterchangeTree::None;
    const size_t count = OnDemand ? onDemand_->NodeCount() : tree_.NodeCount();
    return count == 0 ? TInterchangeTree::None : static_cast<int32_t>(count - 1);
}

std::string TInterchangeReader::MessagePrefix() const {
    const TEdiComposit* s009 = transmission_->SegmUNH().FindComposit("S009");
    return FieldText(s009, "0065") + "/" + FieldText(s009, "0052") + FieldText(s009, "0054") + ": ";
}

std::string TInterchangeReader::MessageText() const {
    return MessagePrefix() + FieldText(&transmission_->SegmUNH(), "0062");
}

std::string TInterchangeReader::StructureFileFor() {
    if (!catalogue_) return {};
    const TEdiComposit* s009 = transmission_->SegmUNH().FindComposit("S009");
    const std::string type = FieldText(s009, "0065");
    if (!catalogue_->SelectStandardFor(type, FieldText(s009, "0052"), FieldText(s009, "0054"))) return {};
    return catalogue_->StandardDir() + "/" + type + ".MDT";
}

void TInterchangeReader::NoteMissingDefinition(const std::string& fileName) {
    MissingDefinition.clear();
    MissingDefinitionHint.clear();
    if (!catalogue_) return;
    std::error_code ec;
    if (!fileName.empty() && std::filesystem::exists(fileName, ec)) return;
    const TEdiComposit* s009 = transmission_->SegmUNH().FindComposit("S009");
    const std::string version = FieldText(s009, "0052"), release = FieldText(s009, "0054");
    MissingDefinition = catalogue_->MissingDefinitionText(FieldText(s009, "0065"), version, release);
    MissingDefinitionHint = catalogue_->MissingDefinitionHint(version, release);
}

} // namespace talmiro
