// Saving the displayed interchange, edited or not: Save and Save As in the layout chosen under
// Messages > Save layout, the question before unsaved edits are dropped, and Messages > Export as CSV, JSON
// or XML, as talmiro-cli export writes them. The interchange is streamed from the
// file on disk through the edits into a temporary file renamed over the target once complete, on a thread
// of its own with the reading's progress dialog, so neither memory nor a failure depends on the file's size.
#include "main_form.h"

#include "reading.h"
#include "std_settings.h"
#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/interchange_export.h"
#include "talmiro/standards.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QTreeView>

namespace talmiro {

void TMainForm::CreateSaveMenu() {
    miMsgSave = new QAction(QStringLiteral("&Save"), this);
    miMsgSave->setObjectName(QStringLiteral("miMsgSave"));
    miMsgSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    miMsgSaveAs = new QAction(QStringLiteral("Save &as..."), this);
    miMsgSaveAs->setObjectName(QStringLiteral("miMsgSaveAs"));
    miMsgSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    miMsgLayout = new QMenu(QStringLiteral("Save &layout"), this);
    miMsgLayout->setObjectName(QStringLiteral("miMsgLayout"));
    auto* layouts = new QActionGroup(this);
    auto layout = [&](const char* name, const QString& caption, TLayoutChoice choice) {
        QAction* action = miMsgLayout->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setData(static_cast<int>(choice));
        layouts->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] { SaveLayout = choice; });
        return action;
    };
    miLayoutKeep = layout("miLayoutKeep", QStringLiteral("As &it was"), TLayoutChoice::Keep);
    miLayoutLines =
        layout("miLayoutLines", QStringLiteral("One segment per &line"), TLayoutChoice::OnePerLine);
    miLayoutOneLine = layout("miLayoutOneLine", QStringLiteral("&One line"), TLayoutChoice::OneLine);
    miLayoutKeep->setChecked(true);

    // After Close: the commands on the open file stay together.
    QAction* before = N1;
    miMessages->insertAction(before, miMsgSave);
    miMessages->insertAction(before, miMsgSaveAs);
    miMessages->insertMenu(before, miMsgLayout);
    miMsgExport = new QAction(QStringLiteral("&Export..."), this);
    miMsgExport->setObjectName(QStringLiteral("miMsgExport"));
    miMessages->insertAction(before, miMsgExport);
    connect(miMsgExport, &QAction::triggered, this, [this] { Guarded([&] { miMsgExportClick(); }); });
    connect(miMsgSave, &QAction::triggered, this, [this] { Guarded([&] { miMsgSaveClick(); }); });
    connect(miMsgSaveAs, &QAction::triggered, this, [this] { Guarded([&] { miMsgSaveAsClick(); }); });
}

void TMainForm::miMsgSaveClick() {
    Save();
}

void TMainForm::miMsgSaveAsClick() {
    SaveAs();
}

bool TMainForm::Save() {
    if (!FileStream) return false;
    return SaveTo(InterchangeFile);
}

bool TMainForm::SaveAs() {
    if (!FileStream) return false;
    const QString path = ChooseSaveFile ? ChooseSaveFile() : QString();
    if (path.isEmpty()) return false;
    return SaveTo(FileNameBytes(path));
}

bool TMainForm::SaveTo(const std::string& target) {
    if (!FileStream) return false;
    TBusyCursor busy;
    const TLayoutChoice layout = SaveLayout;
    // The writing reads a stream of its own: the tree goes on reading the displayed one meanwhile.
    TFileStream file(FileStream->FileName());
    if (file.Size() != FileStream->Size())
        throw Exception("The file " + FileStream->FileName() +
                        " has changed on disk since it was opened; the edits were not saved.");
    TEditedStream input(file, History.Edits());
    TBackgroundReading writing;
    writing.Verb = QStringLiteral("Saving");
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(target))).fileName();
    try {
        TReplacingFile out(target);
        int64_t written = 0;
        writing.Run(this, name, input.Size(), [&] {
            WriteInterchange(
                input, layout,
                [&](std::string_view bytes) {
                    out.Write(bytes);
                    written += static_cast<int64_t>(bytes.size());
                    if (OnSaving) OnSaving(written);
                },
                [&](int64_t done, int64_t) { writing.Progress(done); });
            out.Commit();
        });
    } catch (const EReadingCancelled&) {
        throw Exception("Saving cancelled; " + target + " is as it was.");
    }
    // The file on disk is now the interchange as shown: what was read of it stays valid where the layout kept
    // every byte where it was, otherwise the saved file is read anew.
    const bool sameBytes = layout == TLayoutChoice::Keep;
    InterchangeFile = target;
    History.Clear();
    if (sameBytes) {
        auto saved = std::make_unique<TFileStream>(target);
        EdiReader->OnDemandTree().SetStream(saved.get());
        EditedStream.reset();
        FileStream = std::move(saved);
        AddRecentFile(target);
        UpdateEditing();
        sbStatusBar->showMessage(QStringLiteral("Saved"), 3000);
        return true;
    }
    const int32_t current = Model->NodeOf(tvMsgStruct->currentIndex());
    FileStream = std::make_unique<TFileStream>(target);
    AddRecentFile(target);
    RereadFile(current);
    sbStatusBar->showMessage(QStringLiteral("Saved"), 3000);
    return true;
}

bool TMainForm::MayDropEdits() {
    if (!History.Modified()) return true;
    const int answer = AskToSave
                           ? AskToSave(QStringLiteral("The interchange has changes that are not saved.\n\n"
                                                      "Save them first?"))
                           : QMessageBox::Cancel;
    if (answer == QMessageBox::Discard) return true;
    if (answer != QMessageBox::Save) return false;
    return Guarded([&] { Save(); }) && !History.Modified();
}

int TMainForm::ExecSaveQuestion(const QString& text) {
    return QMessageBox::question(this, QStringLiteral("Talmiro"), text,
                                 QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                 QMessageBox::Save);
}

QString TMainForm::ExecSaveDialog() {
    QFileDialog dialog(this, QStringLiteral("Save as"));
    dialog.setObjectName(QStringLiteral("dlgSaveMessage"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(dlgOpenMessage->nameFilters());
    dialog.setDefaultSuffix(QStringLiteral("edi"));
    dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(InterchangeFile)));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void TMainForm::miMsgExportClick() {
    if (!FileStream) return;
    TExportFormat format = TExportFormat::Json;
    const QString path = ChooseExportFile ? ChooseExportFile(format) : QString();
    if (path.isEmpty()) return;
    ExportTo(FileNameBytes(path), format);
}

void TMainForm::ExportTo(const std::string& target, TExportFormat format) {
    TBusyCursor busy;
    // The interchange as shown, edits included, read by a stream of its own.
    TFileStream file(FileStream->FileName());
    TEditedStream input(file, History.Edits());
    TExportOptions options;
    options.Format = format;
    // The export reads on its own thread: what it would tell the settings dialog waits until it has ended.
    TStandardsCatalogue& catalogue = Settings->Catalogue;
    std::function<void()> change = std::move(catalogue.OnChange);
    bool changed = false;
    catalogue.OnChange = [&] { changed = true; };
    struct Restore {
        TStandardsCatalogue& Catalogue;
        std::function<void()>& Change;
        ~Restore() { Catalogue.OnChange = std::move(Change); }
    } restore{catalogue, change};
    TBackgroundReading work;
    work.Verb = QStringLiteral("Exporting");
    try {
        TReplacingFile out(target);
        work.Run(this, QFileInfo(QFile::decodeName(QByteArray::fromStdString(target))).fileName(),
                 input.Size(), [&] {
                     ExportInterchange(
                         input, &catalogue, options, [&](std::string_view bytes) { out.Write(bytes); },
                         [&](int64_t done, int64_t) { work.Progress(done); });
                     out.Commit();
                 });
    } catch (const EReadingCancelled&) {
        throw Exception("Export cancelled; " + target + " was not written.");
    }
    if (changed && change) change();
    sbStatusBar->showMessage(QStringLiteral("Exported"), 3000);
}

QString TMainForm::ExecExportDialog(TExportFormat& format) {
    QFileDialog dialog(this, QStringLiteral("Export"));
    dialog.setObjectName(QStringLiteral("dlgExport"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = {QStringLiteral("JSON files (*.json)"), QStringLiteral("XML files (*.xml)"),
                                 QStringLiteral("CSV files (*.csv)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(filter.section(QLatin1Char('.'), 1).chopped(1));
    });
    if (dialog.exec() != QDialog::Accepted) return {};
    const int chosen = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    format = chosen == 1 ? TExportFormat::Xml : chosen == 2 ? TExportFormat::Csv : TExportFormat::Json;
    return dialog.selectedFiles().value(0);
}

} // namespace talmiro
