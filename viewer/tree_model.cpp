#include "tree_model.h"

#include "problems.h"
#include "ui_support.h"

#include <QPixmap>

namespace talmiro {

TInterchangeModel::TInterchangeModel(const TInterchangeTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), errorIcon_(ProblemIcon(TProblemMark::Error)),
      warningIcon_(ProblemIcon(TProblemMark::Warning)) {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    blankIcon_ = QIcon(blank);
}

void TInterchangeModel::BeginRebuild() {
    beginResetModel();
    rebuilding_ = true;
}

void TInterchangeModel::EndRebuild() {
    rebuilding_ = false;
    endResetModel();
}

int32_t TInterchangeModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || rebuilding_) return TInterchangeTree::None;
    return static_cast<int32_t>(index.internalId());
}

QModelIndex TInterchangeModel::IndexOf(int32_t node) const {
    if (node < 0 || static_cast<size_t>(node) >= tree_.NodeCount() || rebuilding_) return {};
    return createIndex(tree_.NodeAt(node).Row, 0, static_cast<quintptr>(node));
}

QModelIndex TInterchangeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || rebuilding_) return {};
    const std::vector<int32_t>& children =
        tree_.ChildrenOf(parent.isValid() ? NodeOf(parent) : TInterchangeTree::None);
    if (static_cast<size_t>(row) >= children.size()) return {};
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<size_t>(row)]));
}

QModelIndex TInterchangeModel::parent(const QModelIndex& child) const {
    int32_t node = NodeOf(child);
    if (node == TInterchangeTree::None) return {};
    return IndexOf(tree_.NodeAt(node).Parent);
}

int TInterchangeModel::rowCount(const QModelIndex& parent) const {
    if (rebuilding_ || parent.column() > 0) return 0;
    return static_cast<int>(
        tree_.ChildrenOf(parent.isValid() ? NodeOf(parent) : TInterchangeTree::None).size());
}

int TInterchangeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TInterchangeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TInterchangeModel::data(const QModelIndex& index, int role) const {
    int32_t node = NodeOf(index);
    if (node == TInterchangeTree::None) return {};
    if (role == Qt::DisplayRole) return DisplayText(tree_.Text(node), utf8_);
    // Once anything is marked, the other nodes get an empty icon so that sibling texts stay aligned; a
    // file without problems shows its tree without icons.
    if (role == Qt::DecorationRole && marks_ && marks_->Count() > 0) {
        switch (marks_->MarkOf(node)) {
        case TProblemMark::Error:
            return errorIcon_;
        case TProblemMark::Warning:
            return warningIcon_;
        case TProblemMark::None:
            return blankIcon_;
        }
    }
    return {};
}

Qt::ItemFlags TInterchangeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace talmiro
