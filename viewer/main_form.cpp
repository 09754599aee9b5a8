#include "main_form.h"

#include "about.h"
#include "error_text.h"
#include "guideline_view.h"
#include "reading.h"
#include "std_settings.h"
#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/code_names.h"
#include "talmiro/exceptions.h"
#include "talmiro/guideline_text.h"
#include "talmiro/message.h"
#include "talmiro/segment_details.h"
#include "talmiro/transmission.h"
#include "talmiro/validation.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <optional>

namespace talmiro {

namespace {

QFont FixedFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFrame* LoweredPanel(const char* name, QWidget* child) {
    auto* panel = new QFrame;
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0); // the one-pixel frame already insets the child
    layout->addWidget(child);
    return panel;
}

QLabel* MakeLabel(const char* name, const QString& text, QWidget* parent, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText); // descriptions come from table files
    label->move(x, y);
    label->adjustSize();
    return label;
}

QGroupBox* MakeGroupBox(const char* name, const QString& caption, QWidget* parent, const QRect& geometry) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

QAction* MakeAction(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("EDIFACT message viewer"));
    setAcceptDrops(true);
    CreateComponents();
    CreateProblemsPanel();
    CreateFindBar();
    CreateMenus();
    CreateSaveMenu();
    CreateAcknowledgementAction();
    CreateEditMenu();

    Settings = new TdlgStdSettings(this);
    EdiReader = std::make_unique<TInterchangeReader>(&Settings->Catalogue);
    EdiReader->Message().OnReport = [](const std::string& text) {
        if (UiHooks().ShowInfo) UiHooks().ShowInfo(QString::fromUtf8(text));
    };
    EdiReader->OnDemand = true;
    TOnDemandTree& tree = EdiReader->OnDemandTree();
    Model = new TInterchangeModel(tree, this);
    Model->SetMarks(&marks_);
    tvMsgStruct->setModel(Model);
    // A message the view shows open, or holding the current node, stays made; others may be dropped.
    tree.IsHeld = [this](int32_t message) {
        if (tvMsgStruct->isExpanded(Model->IndexOf(message))) return true;
        const int32_t current = Model->NodeOf(tvMsgStruct->currentIndex());
        return current >= message && current < EdiReader->OnDemandTree().SubtreeEnd(message);
    };
    // Asked while the view lays itself out: the box waits until that is done.
    tree.OnBuildError = [this](const std::string& text) {
        QTimer::singleShot(0, this, [text] { ShowException(Exception(text)); });
    };
    connect(tvMsgStruct->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { Guarded([&] { tvMsgStructChange(current); }); });

    ChooseFile = [this] { return ExecOpenDialog(); };
    ChooseSaveFile = [this] { return ExecSaveDialog(); };
    ChooseExportFile = [this](TExportFormat& format) { return ExecExportDialog(format); };
    AskToSave = [this](const QString& text) { return ExecSaveQuestion(text); };
    AskText = [this](const QString& label, QString& text) { return ExecTextDialog(label, text); };
    ChooseItem = [this](const QString& label, const QStringList& items) {
        return ExecItemDialog(label, items);
    };
    ChooseGuidelineFile = [this] { return ExecGuidelineFileDialog(); };
    Model->SetGuidelines(&MessageGuidelines);
    // The position is the frame's, the size the client area's.
    move(209, 107);
    resize(688, 415 + menuBar()->sizeHint().height() + sbStatusBar->sizeHint().height());
    LoadPreferences();
}

TMainForm::~TMainForm() {
    // The tree goes before the model that shows it.
    tvMsgStruct->setModel(nullptr);
}

void TMainForm::CreateComponents() {
    tvMsgStruct = new QTreeView;
    tvMsgStruct->setObjectName(QStringLiteral("tvMsgStruct"));
    tvMsgStruct->setHeaderHidden(true);
    tvMsgStruct->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvMsgStruct->setIndentation(19);
    tvMsgStruct->setUniformRowHeights(true); // rows need no measuring, however many there are
    tvMsgStruct->header()->setStretchLastSection(false);
    tvMsgStruct->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QPalette palette = tvMsgStruct->palette();
    // The selection stays visible when the tree loses focus.
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    tvMsgStruct->setPalette(palette);
    tvMsgStruct->installEventFilter(this); // Ctrl+C
    pnlTreeView = LoweredPanel("pnlTreeView", tvMsgStruct);

    pnlSegment = new QWidget;
    pnlSegment->setObjectName(QStringLiteral("pnlSegment"));
    pnlSegment->installEventFilter(this);
    pnlViewData = LoweredPanel("pnlViewData", pnlSegment);

    gbSegmInfo =
        MakeGroupBox("gbSegmInfo", QStringLiteral("Segment informations"), pnlSegment, {8, 8, 465, 65});
    Label2 = MakeLabel("Label2", QStringLiteral("Segment:"), gbSegmInfo, 16, 24);
    Label3 = MakeLabel("Label3", QStringLiteral("Description:"), gbSegmInfo, 16, 40);
    lbSegmID = MakeLabel("lbSegmID", QStringLiteral("lbSegmID"), gbSegmInfo, 96, 24);
    lbSegmDesc = MakeLabel("lbSegmDesc", QStringLiteral("lbSegmDesc"), gbSegmInfo, 96, 40);

    gbSegmData =
        MakeGroupBox("gbSegmData", QStringLiteral("Segment data string"), pnlSegment, {8, 80, 465, 97});
    mmSegmData = new QPlainTextEdit(QStringLiteral("mmSegmData"), gbSegmData);
    mmSegmData->setObjectName(QStringLiteral("mmSegmData"));
    mmSegmData->setGeometry(16, 24, 433, 57);
    mmSegmData->setFont(FixedFont());
    mmSegmData->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mmSegmData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mmSegmData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mmSegmData->setAcceptDrops(false);
    QPalette face = mmSegmData->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    mmSegmData->setPalette(face);
    mmSegmData->installEventFilter(this);

    gbFldData = MakeGroupBox("gbFldData", QStringLiteral("Segment field data details"), pnlSegment,
                             {8, 184, 465, 217});
    mmFldData = new QPlainTextEdit(gbFldData);
    mmFldData->setObjectName(QStringLiteral("mmFldData"));
    mmFldData->setGeometry(16, 24, 433, 177);
    mmFldData->setFont(FixedFont());
    mmFldData->setReadOnly(true);
    mmFldData->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmFldData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmFldData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmFldData->setAcceptDrops(false);
    mmFldData->installEventFilter(this);
    fldViewport_ = mmFldData->viewport();
    fldViewport_->installEventFilter(this); // a double click edits the value
    pnlSegment->hide();

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(pnlTreeView);
    Splitter1->addWidget(pnlViewData);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({201, 484});
    setCentralWidget(Splitter1);

    sbStatusBar = new QStatusBar;
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    setStatusBar(sbStatusBar);
    lbProblemCount = new QLabel;
    lbProblemCount->setObjectName(QStringLiteral("lbProblemCount"));
    sbStatusBar->addWidget(lbProblemCount, 1);

    dlgOpenMessage = new QFileDialog(this);
    dlgOpenMessage->setObjectName(QStringLiteral("dlgOpenMessage"));
    dlgOpenMessage->setAcceptMode(QFileDialog::AcceptOpen);
    dlgOpenMessage->setFileMode(QFileDialog::AnyFile); // the file need not exist; opening it then fails
    dlgOpenMessage->setDefaultSuffix(QStringLiteral("edi"));
    dlgOpenMessage->setNameFilters({QStringLiteral("EDIFACT files (*.edi)"),
                                    QStringLiteral("Text files (*.txt)"),
                                    QStringLiteral("Data files (*.dat)"), QStringLiteral("all files (*.*)")});
    dlgOpenMessage->selectNameFilter(dlgOpenMessage->nameFilters().first());
    // Here "*.*" would hide files without an extension, but the last entry means all files.
    connect(dlgOpenMessage, &QFileDialog::filterSelected, this, [this](const QString& filter) {
        auto* files = dlgOpenMessage->findChild<QFileSystemModel*>();
        if (files && filter == dlgOpenMessage->nameFilters().last())
            files->setNameFilters({QStringLiteral("*")});
    });
}

void TMainForm::CreateMenus() {
    miMessages = menuBar()->addMenu(QStringLiteral("&Messages"));
    miMessages->setObjectName(QStringLiteral("miMessages"));
    miMsgOpen = MakeAction(miMessages, "miMsgOpen", QStringLiteral("&Open..."));
    miMsgOpen->setShortcut(QKeySequence(Qt::Key_F3));
    miMsgClose = MakeAction(miMessages, "miMsgClose", QStringLiteral("C&lose"));
    miMsgClose->setEnabled(false);
    N1 = miMessages->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    miMsgExit = MakeAction(miMessages, "miMsgExit", QStringLiteral("E&xit"));
    miMsgExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    N3 = miMessages->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    miMsgRecent = miMessages->addMenu(QStringLiteral("&Recent files"));
    miMsgRecent->setObjectName(QStringLiteral("miMsgRecent"));
    miMsgRecent->menuAction()->setEnabled(false);

    View1 = menuBar()->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    miViewFile = MakeAction(View1, "miViewFile", QStringLiteral("&Transmission data..."));
    N2 = View1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    miViewExpand = MakeAction(View1, "miViewExpand", QStringLiteral("Structure e&xpanded"));
    miViewExpand->setCheckable(true);
    N4 = View1->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    miViewFind = MakeAction(View1, "miViewFind", QStringLiteral("&Find..."));
    miViewFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    miViewFindNext = MakeAction(View1, "miViewFindNext", QStringLiteral("Find &next"));
    miViewFindNext->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    miViewFindPrev = MakeAction(View1, "miViewFindPrev", QStringLiteral("Find pre&vious"));
    miViewFindPrev->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    N5 = View1->addSeparator();
    N5->setObjectName(QStringLiteral("N5"));
    miViewStrict = MakeAction(View1, "miViewStrict", QStringLiteral("&Strict checks"));
    miViewStrict->setCheckable(true);
    miViewProblems = dkProblems->toggleViewAction();
    miViewProblems->setObjectName(QStringLiteral("miViewProblems"));
    miViewProblems->setText(QStringLiteral("&Problems"));
    View1->addAction(miViewProblems);
    tbFind->addAction(miViewFindNext);
    tbFind->addAction(miViewFindPrev);
    tbFind->addWidget(lbFindResult);
    tbFind->addAction(btnFindClose);

    miStandards = menuBar()->addMenu(QStringLiteral("&Standards"));
    miStandards->setObjectName(QStringLiteral("miStandards"));
    miStdSettings = MakeAction(miStandards, "miStdSettings", QStringLiteral("&Settings..."));
    miStdGuideline = MakeAction(miStandards, "miStdGuideline", QStringLiteral("&Guideline for message..."));

    miHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    miHelp->setObjectName(QStringLiteral("miHelp"));
    miHelpAbout = MakeAction(miHelp, "miHelpAbout", QStringLiteral("&About Talmiro..."));
    miHelpAbout->setMenuRole(QAction::AboutRole);

    connect(miMsgOpen, &QAction::triggered, this, [this] { Guarded([&] { miMsgOpenClick(); }); });
    connect(miMsgClose, &QAction::triggered, this, [this] { Guarded([&] { miMsgCloseClick(); }); });
    connect(miMsgExit, &QAction::triggered, this, [this] { Guarded([&] { miMsgExitClick(); }); });
    connect(miViewFile, &QAction::triggered, this, [this] { Guarded([&] { miViewFileClick(); }); });
    connect(miViewExpand, &QAction::triggered, this, [this](bool checked) {
        // Qt has already toggled the mark; the handler does the toggling itself.
        miViewExpand->setChecked(!checked);
        Guarded([&] { miViewExpandClick(); });
    });
    connect(miStdSettings, &QAction::triggered, this, [this] { Guarded([&] { miStdSettingsClick(); }); });
    connect(miStdGuideline, &QAction::triggered, this, [this] { Guarded([&] { miStdGuidelineClick(); }); });
    connect(miHelpAbout, &QAction::triggered, this, [this] { Guarded([&] { miHelpAboutClick(); }); });
    connect(miViewFind, &QAction::triggered, this, [this] { Guarded([&] { miViewFindClick(); }); });
    connect(miViewFindNext, &QAction::triggered, this, [this] { Guarded([&] { miViewFindNextClick(); }); });
    connect(miViewFindPrev, &QAction::triggered, this, [this] { Guarded([&] { miViewFindPrevClick(); }); });
    connect(miViewStrict, &QAction::triggered, this, [this](bool checked) {
        miViewStrict->setChecked(!checked); // as with the expand mark, the handler toggles
        Guarded([&] { miViewStrictClick(); });
    });
}

void TMainForm::CreateProblemsPanel() {
    Problems = new TProblemsModel(this);
    tvProblems = new QTreeView;
    tvProblems->setObjectName(QStringLiteral("tvProblems"));
    tvProblems->setModel(Problems);
    tvProblems->setRootIsDecorated(false);
    tvProblems->setUniformRowHeights(true);
    tvProblems->setAllColumnsShowFocus(true);
    tvProblems->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvProblems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The text takes what the other columns leave; none is measured, however many rows there are.
    tvProblems->header()->setStretchLastSection(false);
    tvProblems->header()->setSectionResizeMode(TProblemsModel::ColText, QHeaderView::Stretch);
    tvProblems->setColumnWidth(TProblemsModel::ColSegment, 80);
    tvProblems->setColumnWidth(TProblemsModel::ColPosition, 90);
    tvProblems->setColumnWidth(TProblemsModel::ColGroup, 110);
    connect(tvProblems, &QTreeView::activated, this,
            [this](const QModelIndex& index) { Guarded([&] { tvProblemsActivate(index); }); });

    dkProblems = new QDockWidget(QStringLiteral("Problems"), this);
    dkProblems->setObjectName(QStringLiteral("dkProblems"));
    dkProblems->setWidget(tvProblems);
    addDockWidget(Qt::BottomDockWidgetArea, dkProblems);
    dkProblems->hide(); // the window opens in its usual layout; View > Problems shows the panel
}

void TMainForm::LoadPreferences() {
    std::unique_ptr<QSettings> settings = UserSettings();
    miViewStrict->setChecked(settings->value(QStringLiteral("strictChecks"), false).toBool());
    LoadRecentFiles();
    restoreGeometry(settings->value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings->value(QStringLiteral("window/state")).toByteArray());
    Splitter1->restoreState(settings->value(QStringLiteral("window/splitter")).toByteArray());
    tbFind->hide(); // asked for anew each time
}

void TMainForm::SaveWindowLayout() const {
    std::unique_ptr<QSettings> settings = UserSettings();
    settings->setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings->setValue(QStringLiteral("window/state"), saveState());
    settings->setValue(QStringLiteral("window/splitter"), Splitter1->saveState());
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!MayDropEdits()) {
        event->ignore();
        return;
    }
    if (reading_) reading_->Cancel(); // the program ends once the reading has stopped
    SaveWindowLayout();
    QMainWindow::closeEvent(event);
}

QString TMainForm::ExecOpenDialog() {
    if (dlgOpenMessage->exec() != QDialog::Accepted) return {};
    return dlgOpenMessage->selectedFiles().value(0);
}

void TMainForm::StartUp(const std::vector<std::string>& args, const std::string& iniFileName) {
    // The window is not visible yet, so errors wait until it is.
    try {
        Settings->LoadSettings(iniFileName);
        CloseMessageFile();
    } catch (const std::exception& error) {
        StartUpErrors.push_back(ErrorDisplayText(error.what()));
    }
    if (args.empty()) return;
    try {
        InterchangeFile = args.front();
        FileStream = std::make_unique<TFileStream>(InterchangeFile);
        AddRecentFile(InterchangeFile);
        ReadTransmission();
    } catch (const std::exception& error) {
        StartUpErrors.push_back(ErrorDisplayText(error.what()));
    }
    miMsgClose->setEnabled(true);
}

void TMainForm::ShowStartUpErrors() {
    std::vector<std::string> errors;
    errors.swap(StartUpErrors);
    for (const std::string& text : errors)
        if (UiHooks().ShowError) UiHooks().ShowError(QString::fromUtf8(text));
}

bool TMainForm::IsFileOpen() const {
    return miMsgClose->isEnabled();
}

void TMainForm::OpenMessageFile() {
    QString path = ChooseFile ? ChooseFile() : QString();
    if (path.isEmpty()) return;
    OpenFile(FileNameBytes(path));
}

void TMainForm::OpenFile(const std::string& path) {
    if (!MayDropEdits()) return;
    struct EnableClose {
        QAction* Close;
        ~EnableClose() { Close->setEnabled(true); }
    } enableClose{miMsgClose};
    if (IsFileOpen()) CloseMessageFile();
    InterchangeFile = path;
    FileStream = std::make_unique<TFileStream>(InterchangeFile);
    AddRecentFile(InterchangeFile);
    ReadTransmission();
}

void TMainForm::ReadTransmission() {
    TBusyCursor busy;
    utf8_ = false;
    Model->SetUtf8(false);
    Problems->Clear();
    lbProblemCount->clear();
    Model->BeginRebuild();
    marks_.Clear();
    MessageGuidelines.Clear();
    struct EndRebuild {
        TInterchangeModel* Model;
        ~EndRebuild() { Model->EndRebuild(); }
    } endRebuild{Model};

    TOnDemandTree& tree = EdiReader->OnDemandTree();
    tree.SetStream(nullptr); // the reading has the stream until it ends
    TValidationOptions options;
    options.Strict = miViewStrict->isChecked();
    // With strict checks, messages are checked against the installed guidelines they answer to.
    options.Guidelines = &ViewerGuidelines(Settings->Catalogue.BaseDir);
    options.MessageGuidelines = ChosenGuidelines;
    // A message without an installed table is looked for under the driver's own name, as always.
    options.NoDefinitionIsError = false;
    TValidator validator(*EdiReader, Shown(), options);
    TBackgroundReading reading;
    validator.OnProgress = [&](int64_t end) { reading.Progress(end + 1); };
    TMessageGuidelines applied;
    validator.OnMessage = [&](const TMessageInfo&) {
        reading.MessageRead();
        // The message is the last top-level row so far.
        applied.Add(tree.TopCount() - 1, validator.MessageGuideline());
    };

    // The reading runs on a thread of its own: what it would tell the window waits until it has ended.
    TEdiMessage& message = EdiReader->Message();
    TStandardsCatalogue& catalogue = Settings->Catalogue;
    struct Restore {
        TEdiMessage& Message;
        TStandardsCatalogue& Catalogue;
        TBackgroundReading*& Reading;
        std::function<void(const std::string&)> Report = std::move(Message.OnReport);
        std::function<void()> Change = std::move(Catalogue.OnChange);
        ~Restore() {
            Message.OnReport = std::move(Report);
            Catalogue.OnChange = std::move(Change);
            Reading = nullptr;
        }
    } restore{message, catalogue, reading_};
    std::vector<std::string> reports;
    bool catalogueChanged = false;
    message.OnReport = [&](const std::string& text) { reports.push_back(text); };
    catalogue.OnChange = [&] { catalogueChanged = true; };
    TDelimiters delimiters;
    std::string missing;

    reading_ = &reading;
    Shown().Seek(0); // a check again starts from the beginning too
    if (OnReading) OnReading(reading);
    reading.Run(this, QFileInfo(QFile::decodeName(QByteArray::fromStdString(InterchangeFile))).fileName(),
                Shown().Size(), [&] {
                    validator.Run();
                    // The engine's text stays as it is; what was missing and how to add it follows on a
                    // line of its own.
                    if (validator.Error && !EdiReader->MissingDefinition.empty()) {
                        missing =
                            EdiReader->MissingDefinition + ". " + EdiReader->MissingDefinitionHint + ".";
                        validator.Diagnostics.back().Hint = missing; // the error is the last one collected
                    }
                    validator.Locate();
                    delimiters = Delimiters;
                });

    // Now as if the reading had run here: the delimiters it left, the standard it selected, its reports.
    Delimiters = delimiters;
    if (catalogueChanged && restore.Change) restore.Change();
    for (const std::string& text : reports)
        if (restore.Report) restore.Report(text);
    utf8_ = validator.Utf8;
    Model->SetUtf8(utf8_);
    tree.SetStream(&Shown());

    // A cancelled reading keeps what it read, as after an error, but it is no problem of the file.
    bool cancelled = false;
    if (validator.Error) {
        try {
            std::rethrow_exception(validator.Error);
        } catch (const EReadingCancelled&) {
            cancelled = true;
        } catch (...) {
        }
    }
    if (cancelled) {
        validator.Error = nullptr;
        std::erase_if(validator.Diagnostics, [](const TDiagnostic& d) { return !d.Warning; });
    }
    MessageGuidelines = std::move(applied);
    marks_.Build(tree, validator.Diagnostics);
    Problems->SetDiagnostics(std::move(validator.Diagnostics), utf8_);
    QString count = ProblemCountText(Problems->ErrorCount(), Problems->WarningCount());
    if (cancelled)
        count = QStringLiteral("Reading cancelled at %1. %2")
                    .arg(TBackgroundReading::ProgressText(reading.BytesRead(), Shown().Size(),
                                                          reading.MessagesRead()),
                         count);
    // Text that proved to be UTF-8 against what UNB declares is shown decoded so; the status bar says why.
    if (!validator.Utf8Undeclared.empty())
        count += QStringLiteral(". %1.").arg(QString::fromUtf8(validator.Utf8Undeclared));
    lbProblemCount->setText(count);
    UpdateEditing();

    if (!validator.Error) return;
    try {
        std::rethrow_exception(validator.Error);
    } catch (const std::exception& error) {
        if (missing.empty()) throw;
        throw Exception(ErrorDisplayText(error.what()) + "\n" + missing);
    }
}

void TMainForm::RecheckFile() {
    RereadFile(Model->NodeOf(tvMsgStruct->currentIndex()));
}

void TMainForm::RereadFile(int32_t current) {
    auto restore = [&] {
        if (miViewExpand->isChecked()) tvMsgStruct->expandAll();
        if (current != TOnDemandTree::None && EdiReader->OnDemandTree().Contains(current))
            SelectTreeNode(current);
    };
    Model->BeginRebuild();
    EdiReader->OnDemandTree().Clear();
    EdiReader->OnDemandTree().SetStream(nullptr);
    Model->EndRebuild();
    // The file as edited now; the tree, which read the one before, is empty.
    EditedStream.reset();
    if (History.Modified()) EditedStream = std::make_unique<TEditedStream>(*FileStream, History.Edits());
    try {
        ReadTransmission();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TMainForm::CloseMessageFile() {
    Model->BeginRebuild();
    EdiReader->OnDemandTree().Clear();
    EdiReader->OnDemandTree().SetStream(nullptr);
    marks_.Clear();
    MessageGuidelines.Clear();
    Model->EndRebuild();
    ChosenGuidelines.clear();
    Problems->Clear();
    lbProblemCount->clear();
    lbFindResult->clear();
    miMsgClose->setEnabled(false);
    History.Clear();
    EditedStream.reset();
    FileStream.reset();
    UpdateEditing();
    pnlSegment->hide();
    if (miViewExpand->isChecked()) EdiReader->OnDemandTree().SetBudget(budget_);
    miViewExpand->setChecked(false);
}

void TMainForm::miMsgOpenClick() {
    OpenMessageFile();
}
void TMainForm::miMsgCloseClick() {
    if (MayDropEdits()) CloseMessageFile();
}
void TMainForm::miMsgExitClick() {
    close();
}
void TMainForm::miViewFileClick() {
    if (UiHooks().EditFile) UiHooks().EditFile(InterchangeFile);
}
void TMainForm::miStdSettingsClick() {
    Settings->ShowSettings();
}

void TMainForm::miHelpAboutClick() {
    if (AboutBoxHook()) AboutBoxHook()(this, AboutText());
}

void TMainForm::miViewStrictClick() {
    miViewStrict->setChecked(!miViewStrict->isChecked());
    UserSettings()->setValue(QStringLiteral("strictChecks"), miViewStrict->isChecked());
    if (FileStream) RecheckFile();
}

void TMainForm::tvProblemsActivate(const QModelIndex& problem) {
    const TDiagnostic* d = Problems->At(problem.row());
    if (d && d->Node != TOnDemandTree::None) SelectTreeNode(d->Node);
}

void TMainForm::SelectTreeNode(int32_t node) {
    const QModelIndex index = Model->IndexOf(node);
    if (!index.isValid()) return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        tvMsgStruct->expand(p);
    tvMsgStruct->scrollTo(index);
    if (tvMsgStruct->currentIndex() == index)
        tvMsgStructChange(index); // shown again: the panel may have been hidden since
    else
        tvMsgStruct->setCurrentIndex(index);
}

void TMainForm::CopyTreeNode() {
    const int32_t node = Model->NodeOf(tvMsgStruct->currentIndex());
    if (node == TOnDemandTree::None) return;
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    QString text;
    if (tree.Definition(node) && FileStream) {
        std::unique_ptr<TEdiSegment> segment = tree.ReadSegment(node, Shown());
        text = DisplayText(SegmentRawText(*segment, Shown()), utf8_);
    } else {
        text = Model->data(tvMsgStruct->currentIndex()).toString();
    }
    QApplication::clipboard()->setText(text);
}

bool TMainForm::CopyDetails(QPlainTextEdit* details) {
    if (details->textCursor().hasSelection()) return false; // the selection, as usual
    QApplication::clipboard()->setText(details->toPlainText());
    return true;
}

void TMainForm::miViewExpandClick() {
    TOnDemandTree& tree = EdiReader->OnDemandTree();
    // Every message is made and kept while it is shown open: on a large file the user decides.
    if (!miViewExpand->isChecked() && tree.NodeCount() > ExpandAllLimit && UiHooks().Confirm &&
        !UiHooks().Confirm(ExpandAllQuestion(tree.NodeCount())))
        return;
    miViewExpand->setChecked(!miViewExpand->isChecked());
    if (miViewExpand->isChecked()) {
        TBusyCursor busy;
        // Every message is open: none is dropped, and none looked at for it.
        budget_ = tree.Budget();
        tree.SetBudget(SIZE_MAX);
        tvMsgStruct->expandAll();
    } else {
        tvMsgStruct->collapseAll();
        tree.SetBudget(budget_);
    }
}

QString TMainForm::ExpandAllQuestion(size_t nodes) {
    const QLocale c(QLocale::English, QLocale::UnitedStates);
    // About 200 bytes a node, as measured: the tree's own, the view's items and its open nodes.
    return QStringLiteral("The interchange has %1 nodes. Opening all of them needs about %2 MB of memory and "
                          "may take a while.\n\nExpand the whole structure?")
        .arg(c.toString(static_cast<qulonglong>(nodes)),
             c.toString(static_cast<qulonglong>(nodes * 200 / 1000000)));
}

void TMainForm::tvMsgStructChange(const QModelIndex& node) {
    int32_t index = Model->NodeOf(node);
    if (index == TOnDemandTree::None) return;
    const TOnDemandTree& tree = EdiReader->OnDemandTree();
    if (tree.HasChildren(index)) {
        pnlSegment->hide();
        return;
    }
    if (!tree.Definition(index) || !FileStream) return;
    // Everything is read before anything is shown, so a failed read leaves the panel as it was.
    std::unique_ptr<TEdiSegment> segment = tree.ReadSegment(index, Shown());
    std::string raw = SegmentRawText(*segment, Shown());
    const std::shared_ptr<const TCodeLists> codes = CodeListsToShow(tree.TableOf(index));
    // With a guideline, what it says of the segment and of each element stands beside the UN's texts.
    const TGuideline* guideline = MessageGuidelines.Of(tree.TopRowOf(index));
    std::optional<TGuidelineNotes> notes;
    if (guideline) notes.emplace(*guideline, tree.StructureOf(index), tree.EntryOf(index), *segment);
    std::vector<std::string> lines, lineNotes;
    AddSegmentLines(lines, *segment, codes.get(),
                    [&](const TEdiComposit& container, const TEdiElement& element) {
                        lineNotes.push_back(notes ? notes->ElementText(container, element) : std::string());
                    });
    QStringList fieldLines;
    for (size_t i = 0; i < lines.size(); ++i) {
        fieldLines << DisplayText(lines[i], utf8_);
        if (i < lineNotes.size() && !lineNotes[i].empty())
            fieldLines.back() += QStringLiteral(" | ") + QString::fromUtf8(lineNotes[i]);
    }
    QString segmentNote;
    if (guideline) {
        const std::string said = notes->SegmentText();
        segmentNote = QStringLiteral("%1%2").arg(
            QString::fromStdString(guideline->Id),
            said.empty() ? QString() : QStringLiteral(" ") + QString::fromUtf8(said));
    }

    mmSegmData->setPlainText(DisplayText(raw, utf8_));
    lbSegmID->setText(QString::fromStdString(segment->ID));
    lbSegmID->adjustSize();
    lbSegmDesc->setText(DisplayText(segment->Description, false) +
                        (segmentNote.isEmpty() ? QString() : QStringLiteral(" | ") + segmentNote));
    lbSegmDesc->setToolTip(segmentNote);
    lbSegmDesc->adjustSize();
    mmFldData->setPlainText(fieldLines.join(QLatin1Char('\n')));
    pnlSegment->show();
}

void TMainForm::pnlSegmentResize() {
    const int w = pnlSegment->width();
    const int h = pnlSegment->height();
    gbSegmInfo->resize(w - 16, gbSegmInfo->height());
    gbSegmData->resize(w - 16, gbSegmData->height());
    mmSegmData->resize(w - 48, mmSegmData->height());
    gbFldData->resize(w - 16, h - gbFldData->y() - 16);
    mmFldData->resize(w - 48, gbFldData->height() - mmFldData->y() - 16);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fldViewport_ && event->type() == QEvent::MouseButtonDblClick) {
        QMainWindow::eventFilter(watched, event);
        const int line = mmFldData->cursorForPosition(static_cast<QMouseEvent*>(event)->pos()).blockNumber();
        Guarded([&] { EditValue(line); });
        return true;
    }
    if (watched == pnlSegment && event->type() == QEvent::Resize) Guarded([&] { pnlSegmentResize(); });
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy)) {
            if (watched == tvMsgStruct) {
                Guarded([&] { CopyTreeNode(); });
                return true;
            }
            if (watched == mmSegmData || watched == mmFldData)
                return CopyDetails(static_cast<QPlainTextEdit*>(watched));
        }
        if (watched == edFind && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            const bool forward = !(key->modifiers() & Qt::ShiftModifier);
            Guarded([&] { FindSegment(forward); });
            return true;
        }
        if (watched == edFind && key->key() == Qt::Key_Escape) {
            btnFindClose->trigger();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

QString DroppedFile(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    return urls.isEmpty() || !urls.first().isLocalFile() ? QString() : urls.first().toLocalFile();
}

} // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(*event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    if (DropFile(*event->mimeData())) event->acceptProposedAction();
}

void TMainForm::OpenLater(const std::string& path) {
    // Not while a reading is under way: the file waits until it has ended.
    QTimer::singleShot(reading_ ? 100 : 0, this, [this, path] {
        if (reading_)
            OpenLater(path);
        else
            Guarded([&] { OpenFile(path); });
    });
}

bool TMainForm::DropFile(const QMimeData& data) {
    QString file = DroppedFile(data);
    if (file.isEmpty()) return false;
    // Opened once the drop has ended, so that an error box does not hold up the dragging program.
    OpenLater(FileNameBytes(file));
    return true;
}

} // namespace talmiro
