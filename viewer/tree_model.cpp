#include "tree_model.h"

#include "guideline_view.h"
#include "problems.h"
#include "ui_support.h"

#include <QPixmap>

namespace talmiro {

namespace {

// Qt hashes a model index as its row times 16 plus its internal id. Node numbers are dense and grow with the
// rows, so the view's set of open nodes (every node under Structure expanded) would crowd into one cluster
// of its hash table, where each insertion and removal walks the cluster. The internal id is the node number
// times an odd constant, which spreads them, and is undone by the constant's inverse.
constexpr quintptr Spread = static_cast<quintptr>(0x9E3779B97F4A7C15ull);
constexpr quintptr InverseOf(quintptr odd) {
    quintptr x = odd; // right in the lowest 3 bits; each step doubles that
    for (int i = 0; i < 6; ++i)
        x *= 2 - odd * x;
    return x;
}
constexpr quintptr Unspread = InverseOf(Spread);
static_assert(Spread * Unspread == 1);

quintptr IdOf(int32_t node) {
    return static_cast<quintptr>(static_cast<uint32_t>(node)) * Spread;
}

} // namespace

TInterchangeModel::TInterchangeModel(const TOnDemandTree& tree, QObject* parent)
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
    if (!index.isValid() || rebuilding_) return TOnDemandTree::None;
    return static_cast<int32_t>(static_cast<uint32_t>(index.internalId() * Unspread));
}

QModelIndex TInterchangeModel::IndexOf(int32_t node) const {
    if (rebuilding_ || !tree_.Contains(node)) return {};
    return createIndex(tree_.Row(node), 0, IdOf(node));
}

QModelIndex TInterchangeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || rebuilding_ || parent.column() > 0) return {};
    // A message's nodes are made here, when the view first asks for one of them.
    const int32_t node = tree_.Child(parent.isValid() ? NodeOf(parent) : TOnDemandTree::None, row);
    if (node == TOnDemandTree::None) return {};
    return createIndex(row, 0, IdOf(node));
}

QModelIndex TInterchangeModel::parent(const QModelIndex& child) const {
    int32_t node = NodeOf(child);
    if (node == TOnDemandTree::None) return {};
    return IndexOf(tree_.Parent(node));
}

int TInterchangeModel::rowCount(const QModelIndex& parent) const {
    if (rebuilding_ || parent.column() > 0) return 0;
    return tree_.ChildCount(parent.isValid() ? NodeOf(parent) : TOnDemandTree::None);
}

int TInterchangeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TInterchangeModel::hasChildren(const QModelIndex& parent) const {
    // Told without making the message: the view asks this of every row it shows.
    if (rebuilding_ || parent.column() > 0) return false;
    return tree_.HasChildren(parent.isValid() ? NodeOf(parent) : TOnDemandTree::None);
}

QVariant TInterchangeModel::data(const QModelIndex& index, int role) const {
    int32_t node = NodeOf(index);
    if (node == TOnDemandTree::None) return {};
    const TGuideline* guideline =
        guidelines_ && !guidelines_->Empty() && tree_.Kind(node) == TNodeKind::Message
            ? guidelines_->Of(tree_.TopRowOf(node))
            : nullptr;
    if (role == Qt::DisplayRole) {
        QString text = DisplayText(tree_.Text(node), utf8_);
        if (guideline) text += QStringLiteral(" [%1]").arg(QString::fromStdString(guideline->Id));
        return text;
    }
    if (role == Qt::ToolTipRole && guideline)
        return QStringLiteral("Checked against guideline %1").arg(GuidelineCaption(*guideline));
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
