#include "problems.h"

#include "error_text.h"
#include "ui_support.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace talmiro {

void TProblemMarks::Build(const TOnDemandTree& tree, const std::vector<TDiagnostic>& diagnostics) {
    Clear();
    tree_ = &tree;
    const auto count = static_cast<int32_t>(tree.NodeCount());
    for (const TDiagnostic& d : diagnostics)
        if (d.Node >= 0 && d.Node < count) (d.Warning ? warnings_ : errors_).push_back(d.Node);
    for (std::vector<int32_t>* nodes : {&errors_, &warnings_}) {
        std::sort(nodes->begin(), nodes->end());
        nodes->erase(std::unique(nodes->begin(), nodes->end()), nodes->end());
        nodes->shrink_to_fit();
    }
}

void TProblemMarks::Clear() {
    tree_ = nullptr;
    errors_.clear();
    errors_.shrink_to_fit();
    warnings_.clear();
    warnings_.shrink_to_fit();
}

TProblemMark TProblemMarks::MarkOf(int32_t node) const {
    if (!tree_ || Count() == 0) return TProblemMark::None;
    const int32_t end = tree_->SubtreeEnd(node);
    auto within = [&](const std::vector<int32_t>& nodes) {
        auto found = std::lower_bound(nodes.begin(), nodes.end(), node);
        return found != nodes.end() && *found < end;
    };
    if (within(errors_)) return TProblemMark::Error;
    if (within(warnings_)) return TProblemMark::Warning;
    return TProblemMark::None;
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
