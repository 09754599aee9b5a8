// Finding segments by their text: the find bar (Ctrl+F) and its commands. A message not made yet is made
// only when its bytes hold the text, so finding in a large file makes few messages.
#include "main_form.h"

#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/segment_details.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QTreeView>
#include <QUtf8StringView>

#include <algorithm>

namespace talmiro {

void TMainForm::CreateFindBar() {
    tbFind = new QToolBar(QStringLiteral("Find"), this);
    tbFind->setObjectName(QStringLiteral("tbFind"));
    tbFind->setMovable(false);
    tbFind->setFloatable(false);
    tbFind->setToolButtonStyle(Qt::ToolButtonTextOnly);
    lbFind = new QLabel(QStringLiteral("Find:"));
    lbFind->setObjectName(QStringLiteral("lbFind"));
    edFind = new QLineEdit;
    edFind->setObjectName(QStringLiteral("edFind"));
    edFind->setPlaceholderText(QStringLiteral("tag or value"));
    edFind->setClearButtonEnabled(true);
    edFind->installEventFilter(this); // Enter, Shift+Enter and Escape
    lbFind->setBuddy(edFind);
    lbFindResult = new QLabel;
    lbFindResult->setObjectName(QStringLiteral("lbFindResult"));
    btnFindClose = new QAction(QStringLiteral("Close"), tbFind);
    btnFindClose->setObjectName(QStringLiteral("btnFindClose"));
    connect(btnFindClose, &QAction::triggered, this, [this] {
        tbFind->hide();
        tvMsgStruct->setFocus();
    });
    tbFind->addWidget(lbFind);
    tbFind->addWidget(edFind);
    // The find commands and the result follow once the menus exist.
    addToolBar(Qt::BottomToolBarArea, tbFind);
    tbFind->hide();
}

void TMainForm::miViewFindClick() {
    tbFind->show();
    edFind->setFocus();
    edFind->selectAll();
}

void TMainForm::miViewFindNextClick() {
    if (edFind->text().isEmpty())
        miViewFindClick();
    else
        FindSegment(true);
}

void TMainForm::miViewFindPrevClick() {
    if (edFind->text().isEmpty())
        miViewFindClick();
    else
        FindSegment(false);
}

int32_t TMainForm::MatchIn(int32_t first, int32_t last, bool lastMatch, const QString& text) {
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    TEdiSegment probe(""); // SegmentRawText needs only the positions
    int32_t found = TOnDemandTree::None;
    for (int32_t node = first; node <= last; ++node) {
        if (!tree.SegmentSpan(node, probe.StartPos, probe.EndPos)) continue;
        if (!DisplayText(SegmentRawText(probe, Shown()), utf8_).contains(text, Qt::CaseInsensitive)) continue;
        found = node;
        if (!lastMatch) break;
    }
    return found;
}

bool TMainForm::MessageMayContain(size_t row, const QString& text) {
    int64_t start = 0, end = 0;
    EdiReader->OnDemandTree().MessageSpan(row, start, end);
    // The segments of a message follow each other in the file: its bytes, control characters dropped, are
    // its segments' texts one after another, which hold any match of one of them.
    constexpr int64_t Largest = 16 << 20;
    if (end < start || end - start >= Largest) return true;
    std::string bytes(static_cast<size_t>(end - start + 1), '\0');
    Shown().Seek(start);
    bytes.resize(Shown().Read(bytes.data(), bytes.size()));
    bytes.erase(
        std::remove_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }),
        bytes.end());
    // A character broken across two segments would read otherwise in one piece.
    if (utf8_ && !QUtf8StringView(bytes).isValidUtf8()) return true;
    return DisplayText(bytes, utf8_).contains(text, Qt::CaseInsensitive);
}

int32_t TMainForm::FindIn(int32_t first, int32_t last, bool forward, const QString& text) {
    if (first > last) return TOnDemandTree::None;
    // Top-level node by top-level node; a message not made yet is made only when its bytes hold the text.
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    const size_t firstRow = tree.TopRowOf(first), lastRow = tree.TopRowOf(last);
    for (size_t i = 0; i <= lastRow - firstRow; ++i) {
        const size_t row = forward ? firstRow + i : lastRow - i;
        const int32_t top = tree.TopNode(row);
        if (tree.Kind(top) == TNodeKind::Message && !MessageMayContain(row, text)) continue;
        const int32_t found =
            MatchIn(std::max(first, top), std::min(last, tree.SubtreeEnd(top) - 1), !forward, text);
        if (found != TOnDemandTree::None) return found;
    }
    return TOnDemandTree::None;
}

bool TMainForm::FindSegment(bool forward) {
    lbFindResult->clear();
    const QString text = edFind->text();
    const auto count = static_cast<int32_t>(EdiReader->OnDemandTree().NodeCount());
    if (text.isEmpty() || !FileStream || count == 0) return false;
    TBusyCursor busy;
    // Nodes are numbered in file order, which is also the order in which the tree shows them.
    const int32_t current = Model->NodeOf(tvMsgStruct->currentIndex());
    int32_t found;
    if (current == TOnDemandTree::None)
        found = FindIn(0, count - 1, forward, text);
    else if (forward) {
        found = FindIn(current + 1, count - 1, true, text);
        if (found == TOnDemandTree::None) found = FindIn(0, current, true, text);
    } else {
        found = FindIn(0, current - 1, false, text);
        if (found == TOnDemandTree::None) found = FindIn(current, count - 1, false, text);
    }
    if (found == TOnDemandTree::None) {
        lbFindResult->setText(QStringLiteral("Not found"));
        return false;
    }
    SelectTreeNode(found);
    return true;
}

} // namespace talmiro
