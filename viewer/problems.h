// The problems of the displayed file: the errors and warnings of its last reading as a list model, and
// the marks the tree shows on the nodes they concern and on the message and group nodes above them.
#pragma once

#include "talmiro/on_demand_tree.h"
#include "talmiro/validation.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <cstdint>
#include <vector>

namespace talmiro {

enum class TProblemMark : uint8_t { None, Warning, Error };

// The marks of one reading. A node is marked when a problem belongs to it or to a node below it: since a
// subtree is a range of node numbers, that is a search in the sorted lists of the problems' nodes, and no
// message needs to be made to mark its node.
class TProblemMarks {
public:
    void Build(const TOnDemandTree& tree, const std::vector<TDiagnostic>& diagnostics);
    void Clear();
    TProblemMark MarkOf(int32_t node) const;
    size_t Count() const { return errors_.size() + warnings_.size(); }

private:
    const TOnDemandTree* tree_ = nullptr;
    std::vector<int32_t> errors_, warnings_; // nodes, sorted
};

// "3 errors, 1 warning"; "No problems found" when both are zero.
QString ProblemCountText(size_t errors, size_t warnings);

// One row per diagnostic, in file order: the text with an error or warning icon, the segment (number and
// tag), line:column and the segment-group path.
class TProblemsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColText, ColSegment, ColPosition, ColGroup, ColCount };

    explicit TProblemsModel(QObject* parent = nullptr);

    // Texts of warnings quote the interchange's values, which are UTF-8 when it declares UNOY.
    void SetDiagnostics(std::vector<TDiagnostic> diagnostics, bool utf8);
    void Clear();
    const std::vector<TDiagnostic>& Diagnostics() const { return diagnostics_; }
    const TDiagnostic* At(int row) const;
    size_t ErrorCount() const { return errors_; }
    size_t WarningCount() const { return diagnostics_.size() - errors_; }
    // The text shown for a diagnostic: errors as the error box shows them, the hint behind.
    QString TextOf(const TDiagnostic& diagnostic) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<TDiagnostic> diagnostics_;
    size_t errors_ = 0;
    bool utf8_ = false;
    QIcon errorIcon_, warningIcon_;
};

// The icon of a mark (none for TProblemMark::None); shared by the tree and the list.
QIcon ProblemIcon(TProblemMark mark);

} // namespace talmiro
