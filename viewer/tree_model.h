// The interchange tree as a Qt item model. The model is a view of the app layer's tree built on demand: it
// holds no node of its own, so a tree of millions of segments costs the widget only what it shows, and a
// message's nodes are made when the view first asks for them.
#pragma once

#include "talmiro/on_demand_tree.h"

#include <QAbstractItemModel>
#include <QIcon>

namespace talmiro {

class TMessageGuidelines;
class TProblemMarks;

class TInterchangeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    TInterchangeModel(const TOnDemandTree& tree, QObject* parent = nullptr);

    // The tree grows only between these calls; meanwhile the model shows nothing, so a view that
    // repaints (behind a message box, say) never sees a half-built tree.
    void BeginRebuild();
    void EndRebuild();
    // Node texts show bytes 127..255 as UTF-8 instead of Latin-1.
    void SetUtf8(bool utf8) { utf8_ = utf8; }
    // Nodes with problems, and the nodes above them, show an error or warning icon; the texts stay.
    void SetMarks(const TProblemMarks* marks) { marks_ = marks; }
    // A message checked against a guideline shows its identifier after its text: "ORDERS/D96A: 1 [ACME]".
    void SetGuidelines(const TMessageGuidelines* guidelines) { guidelines_ = guidelines; }

    int32_t NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(int32_t node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const TOnDemandTree& tree_;
    bool rebuilding_ = false;
    bool utf8_ = false;
    const TProblemMarks* marks_ = nullptr;
    const TMessageGuidelines* guidelines_ = nullptr;
    QIcon errorIcon_, warningIcon_, blankIcon_;
};

} // namespace talmiro
