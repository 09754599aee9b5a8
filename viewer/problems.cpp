#include "problems.h"

#include "error_text.h"
#include "ui_support.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace talmiro {

void TProblemMarks::Build(const TInterchangeTree& tree, const std::vector<TDiagnostic>& diagnostics) {
    marks_.clear();
    const auto count = static_cast<int32_t>(tree.NodeCount());
    for (const TDiagnostic& d : diagnostics) {
        if (d.Node < 0 || d.Node >= count) continue;
        const TProblemMark mark = d.Warning ? TProblemMark::Warning : TProblemMark::Error;
        for (int32_t node = d.Node; node != TInterchangeTree::None; node = tree.NodeAt(node).Parent)
            marks_.push_back({node, mark});
    }
    // One entry per node, the worse mark winning.
    std::sort(marks_.begin(), marks_.end(), [](const TEntry& a, const TEntry& b) {
        return a.Node != b.Node ? a.Node < b.Node : a.Mark > b.Mark;
    });
    marks_.erase(std::unique(marks_.begin(), marks_.end(),
                             [](const TEntry& a, const TEntry& b) { return a.Node == b.Node; }),
                 marks_.end());
    marks_.shrink_to_fit();
}

void TProblemMarks::Clear() {
    marks_.clear();
    marks_.shrink_to_fit();
}

TProblemMark TProblemMarks::MarkOf(int32_t node) const {
    auto found = std::lower_bound(marks_.begin(), marks_.end(), node,
                                  [](const TEntry& e, int32_t n) { return e.Node < n; });
    return found != marks_.end() && found->Node == node ? found->Mark : TProblemMark::None;
}

QString ProblemCountText(size_t errors, size_t warnings) {
    if (errors == 0 && warnings == 0) return QStringLiteral("No problems found");
    auto count = [](size_t n, const char* one, const char* many) {
        return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    QStringList parts;
    if (errors > 0) parts << count(errors, "error", "errors");
    if (warnings > 0) parts << count(warnings, "warning", "warnings");
    return parts.join(QStringLiteral(", "));
}

QIcon ProblemIcon(TProblemMark mark) {
    switch (mark) {
    case TProblemMark::Error:
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical);
    case TProblemMark::Warning:
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    case TProblemMark::None:
        break;
    }
    return {};
}

TProblemsModel::TProblemsModel(QObject* parent)
    : QAbstractTableModel(parent), errorIcon_(ProblemIcon(TProblemMark::Error)),
      warningIcon_(ProblemIcon(TProblemMark::Warning)) {}

void TProblemsModel::SetDiagnostics(std::vector<TDiagnostic> diagnostics, bool utf8) {
    beginResetModel();
    diagnostics_ = std::move(diagnostics);
    errors_ = static_cast<size_t>(std::count_if(diagnostics_.begin(), diagnostics_.end(),
                                                [](const TDiagnostic& d) { return !d.Warning; }));
    utf8_ = utf8;
    endResetModel();
}

void TProblemsModel::Clear() {
    SetDiagnostics({}, false);
}

const TDiagnostic* TProblemsModel::At(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= diagnostics_.size()) return nullptr;
    return &diagnostics_[static_cast<size_t>(row)];
}

QString TProblemsModel::TextOf(const TDiagnostic& d) const {
    // Errors read as in the error box (our texts are UTF-8); warnings quote the interchange's values.
    QString text = d.Warning ? DisplayText(d.Text, utf8_) : QString::fromUtf8(ErrorDisplayText(d.Text));
    if (!d.Hint.empty()) text += QLatin1Char(' ') + QString::fromUtf8(d.Hint);
    return text;
}

int TProblemsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<size_t>(diagnostics_.size(), INT_MAX));
}

int TProblemsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColCount;
}

QVariant TProblemsModel::data(const QModelIndex& index, int role) const {
    const TDiagnostic* d = index.isValid() ? At(index.row()) : nullptr;
    if (!d) return {};
    const TLocation& at = d->Location;
    if (role == Qt::DecorationRole && index.column() == ColText)
        return d->Warning ? warningIcon_ : errorIcon_;
    if (role == Qt::ToolTipRole && index.column() == ColText) return TextOf(*d);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case ColText:
        return TextOf(*d);
    case ColSegment:
        if (at.Segment <= 0) return {};
        return QString::number(at.Segment) + QLatin1Char(' ') + DisplayText(at.Tag, utf8_);
    case ColPosition:
        if (at.Line <= 0) return {};
        return QStringLiteral("%1:%2").arg(at.Line).arg(at.Column);
    case ColGroup:
        return QString::fromStdString(d->GroupPath);
    default:
        return {};
    }
}

QVariant TProblemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case ColText:
        return QStringLiteral("Problem");
    case ColSegment:
        return QStringLiteral("Segment");
    case ColPosition:
        return QStringLiteral("Line:Column");
    case ColGroup:
        return QStringLiteral("Group");
    default:
        return {};
    }
}

} // namespace talmiro
