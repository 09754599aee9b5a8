#include "guideline_view.h"

#include "main_form.h"
#include "std_settings.h"
#include "tree_model.h"

#include "talmiro/message.h"
#include "ui_support.h"

#include <QFileDialog>
#include <QTreeView>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace talmiro {

namespace {

namespace fs = std::filesystem;

// What the catalogue was read from: the guidelines folder's entries and the partner file, with their
// sizes and times of change.
std::string CatalogueStamp(const std::string& baseDir) {
    std::vector<std::string> entries;
    std::error_code ec;
    auto stamp = [&](const fs::path& path) {
        std::error_code e;
        const auto size = fs::file_size(path, e);
        const auto time = fs::last_write_time(path, e).time_since_epoch().count();
        entries.push_back(path.filename().string() + ":" + std::to_string(e ? 0 : size) + ":" +
                          std::to_string(time));
    };
    const fs::path folder = fs::path(baseDir) / TGuidelineCatalogue::FolderName;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        stamp(it->path());
    std::sort(entries.begin(), entries.end());
    stamp(fs::path(baseDir) / TGuidelineCatalogue::PartnerFileName);
    std::string text = baseDir;
    for (const auto& e : entries)
        text += "\n" + e;
    return text;
}

} // namespace

const TGuidelineCatalogue& ViewerGuidelines(const std::string& baseDir) {
    static std::string loadedFrom;
    static std::unique_ptr<TGuidelineCatalogue> catalogue;
    std::string stamp = CatalogueStamp(baseDir);
    if (!catalogue || loadedFrom != stamp) {
        catalogue = std::make_unique<TGuidelineCatalogue>(baseDir);
        loadedFrom = std::move(stamp);
    }
    return *catalogue;
}

QString GuidelineCaption(const TGuideline& g) {
    return QStringLiteral("%1 - %2 (%3 %4%5)")
        .arg(QString::fromStdString(g.Id), QString::fromUtf8(g.Title), QString::fromStdString(g.Type),
             QString::fromStdString(g.Version), QString::fromStdString(g.Release));
}

void TMessageGuidelines::Add(size_t row, std::shared_ptr<const TGuideline> guideline) {
    if (runs_.empty() ? !guideline : runs_.back().second == guideline) return;
    runs_.emplace_back(row, std::move(guideline));
}

const TGuideline* TMessageGuidelines::Of(size_t row) const {
    auto after = std::upper_bound(runs_.begin(), runs_.end(), row,
                                  [](size_t r, const auto& run) { return r < run.first; });
    return after == runs_.begin() ? nullptr : std::prev(after)->second.get();
}

// ---- Choosing a guideline by hand.

int64_t TMainForm::MessageNumberOf(int32_t node) const {
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    if (node == TOnDemandTree::None || !tree.Contains(node)) return -1;
    const size_t row = tree.TopRowOf(node);
    if (tree.Kind(tree.TopNode(row)) != TNodeKind::Message) return -1;
    int64_t number = 0;
    for (size_t r = 0; r < row; ++r)
        if (tree.Kind(tree.TopNode(r)) == TNodeKind::Message) ++number;
    return number;
}

void TMainForm::ChooseGuidelineFor(int32_t node) {
    const int64_t number = MessageNumberOf(node);
    if (number < 0) throw Exception("Select a message, or a segment of one, first.");
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    const int32_t message = tree.TopNode(tree.TopRowOf(node));
    // The message's type and release, as its UNH gives them.
    std::string type, version, release;
    if (tree.ChildCount(message) > 0 && FileStream) {
        const std::unique_ptr<TEdiSegment> unh = tree.ReadSegment(tree.Child(message, 0), Shown());
        if (const TEdiComposit* s009 = unh ? unh->FindComposit("S009") : nullptr) {
            auto text = [&](const char* id) {
                const TEDIField* field = s009->FindField(id);
                return field ? field->RawText : std::string();
            };
            type = text("0065");
            version = text("0052");
            release = text("0054");
        }
    }
    const TGuidelineCatalogue& installed = ViewerGuidelines(Settings->Catalogue.BaseDir);

    const QString automatic = QStringLiteral("Automatic (association code or partner file)");
    const QString none = QStringLiteral("None");
    const QString fromFile = QStringLiteral("From a file...");
    QStringList items{automatic, none};
    std::vector<std::shared_ptr<const TGuideline>> fitting;
    for (const auto& g : installed.Installed())
        if (g->Fits(type, version, release)) {
            fitting.push_back(g);
            items << GuidelineCaption(*g);
        }
    items << fromFile;
    const QString answer =
        ChooseItem
            ? ChooseItem(
                  QStringLiteral("Guideline for message %1").arg(DisplayText(tree.Text(message), false)),
                  items)
            : QString();
    if (answer.isEmpty()) return;
    if (answer == automatic) {
        ChosenGuidelines.erase(number);
    } else if (answer == none) {
        ChosenGuidelines[number] = nullptr;
    } else if (answer == fromFile) {
        const QString path = ChooseGuidelineFile ? ChooseGuidelineFile() : QString();
        if (path.isEmpty()) return;
        ChosenGuidelines[number] =
            ResolveGuideline(FileNameBytes(path), Settings->Catalogue.BaseDir, nullptr);
    } else {
        const auto at = std::find(items.begin(), items.end(), answer) - items.begin() - 2;
        if (at < 0 || static_cast<size_t>(at) >= fitting.size()) return;
        ChosenGuidelines[number] = fitting[static_cast<size_t>(at)];
    }
    RecheckFile();
}

void TMainForm::miStdGuidelineClick() {
    ChooseGuidelineFor(Model->NodeOf(tvMsgStruct->currentIndex()));
}

QString TMainForm::ExecGuidelineFileDialog() {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Guideline"), QString(),
                                        QStringLiteral("Guidelines (*.gdf *.GDT *.gdt);;All files (*)"));
}

} // namespace talmiro
