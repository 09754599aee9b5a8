// The main window: the interchange tree on the left, the details of the selected segment on the right.
#pragma once

#include "problems.h"

#include "talmiro/interchange_tree.h"
#include "talmiro/on_demand_tree.h"
#include "talmiro/streams.h"

#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QDockWidget;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeView;

namespace talmiro {

class TdlgStdSettings;
class TInterchangeModel;
class TBackgroundReading;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Creates the window's components, then the settings dialog (owned as a child window).
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The settings dialog, created right after the window's own components.
    TdlgStdSettings* Settings = nullptr;

    // The path of the interchange file opened last (kept by Close).
    std::string InterchangeFile;
    // The open displayed file; segment details are read from it again on every selection.
    std::unique_ptr<TFileStream> FileStream;
    // Drives the reading and holds the tree, built on demand (OnDemandTree).
    std::unique_ptr<TInterchangeReader> EdiReader;
    TInterchangeModel* Model;

    // The file the Open command reads; empty when the user cancels. Shows dlgOpenMessage by default.
    std::function<QString()> ChooseFile;

    QFrame* pnlTreeView;
    QTreeView* tvMsgStruct;
    QSplitter* Splitter1;
    QFrame* pnlViewData;
    QWidget* pnlSegment;
    QGroupBox* gbSegmInfo;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* lbSegmID;
    QLabel* lbSegmDesc;
    QGroupBox* gbSegmData;
    QPlainTextEdit* mmSegmData;
    QGroupBox* gbFldData;
    QPlainTextEdit* mmFldData;
    QStatusBar* sbStatusBar;
    QLabel* lbProblemCount; // in the status bar: "3 errors, 1 warning"
    QFileDialog* dlgOpenMessage;

    // The problems of the displayed file, a panel docked below the tree and details, hidden at first.
    QDockWidget* dkProblems;
    QTreeView* tvProblems;
    TProblemsModel* Problems;

    // The find bar (Ctrl+F), below the tree and details, hidden until asked for.
    QToolBar* tbFind;
    QLabel* lbFind;
    QLineEdit* edFind;
    QLabel* lbFindResult;
    QAction* btnFindClose;

    QMenu* miMessages;
    QAction* miMsgOpen;
    QAction* miMsgClose;
    QAction* N1;
    QAction* miMsgExit;
    QAction* N3;
    QMenu* miMsgRecent; // the files opened last, newest first
    QMenu* View1;
    QAction* miViewFile;
    QAction* N2;
    QAction* miViewExpand;
    QAction* N4;
    QAction* miViewFind;
    QAction* miViewFindNext;
    QAction* miViewFindPrev;
    QAction* N5;
    QAction* miViewStrict;   // strict checks: sizes, numbers, repeats, envelope counts and references
    QAction* miViewProblems; // shows or hides dkProblems
    QMenu* miStandards;
    QAction* miStdSettings;
    QMenu* miHelp;
    QAction* miHelpAbout;

    // Loads the settings, resets the window and reads the first argument, if any. Its errors wait
    // in StartUpErrors until ShowStartUpErrors, once the window is visible.
    void StartUp(const std::vector<std::string>& args, const std::string& iniFileName = {});
    void ShowStartUpErrors();
    std::vector<std::string> StartUpErrors;

    void OpenMessageFile();
    // The Open command after the dialog: closes the displayed file and reads the given one. The Close
    // command is enabled afterwards whether or not that succeeded.
    void OpenFile(const std::string& path);
    // A file dropped on the window opens as with the Open command (after the event has ended).
    bool DropFile(const QMimeData& data);
    void CloseMessageFile();
    void ReadTransmission();
    bool IsFileOpen() const;

    // The files opened last, newest first, kept in the user's preferences.
    static constexpr int MaxRecentFiles = 8;
    QStringList RecentFiles;
    void AddRecentFile(const std::string& path);

    // Selects a node of the tree, opening the nodes above it, and shows its details.
    void SelectTreeNode(int32_t node);
    // Selects the next (or previous) segment, after the selected node and wrapping at the end, whose
    // text as it stands in the file contains edFind's text (letter case ignored). False when none does.
    bool FindSegment(bool forward);
    // Ctrl+C in the tree: a segment's text as it stands in the file, otherwise the node's text.
    void CopyTreeNode();
    // Above this many nodes "Structure expanded" asks before it opens them all.
    size_t ExpandAllLimit = 2'000'000;
    static QString ExpandAllQuestion(size_t nodes);
    // Saves the window's size, position, splitter and panels to the user's preferences.
    void SaveWindowLayout() const;

    void miMsgOpenClick();
    void miMsgCloseClick();
    void miMsgExitClick();
    void miViewFileClick();
    void miViewExpandClick();
    void miStdSettingsClick();
    void miHelpAboutClick();
    void miMsgRecentFileClick(const QString& path);
    void miViewFindClick();
    void miViewFindNextClick();
    void miViewFindPrevClick();
    void miViewStrictClick();
    void tvProblemsActivate(const QModelIndex& problem);
    void tvMsgStructChange(const QModelIndex& node);
    void pnlSegmentResize();

    // Called when a reading is about to start, before it runs on its own thread (for tests).
    std::function<void(TBackgroundReading& Reading)> OnReading;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateComponents();
    void CreateMenus();
    void CreateProblemsPanel();
    void LoadPreferences();
    // Reads the displayed file again (strict checks changed), keeping the selected node.
    void RecheckFile();
    bool CopyDetails(QPlainTextEdit* text);

    // find.cpp
    void CreateFindBar();
    // The first (or last) segment node of first..last whose raw text contains the text.
    int32_t MatchIn(int32_t first, int32_t last, bool lastMatch, const QString& text);
    int32_t FindIn(int32_t first, int32_t last, bool forward, const QString& text);
    // False when the message's bytes cannot hold a segment whose text contains the text.
    bool MessageMayContain(size_t row, const QString& text);

    // recent_files.cpp
    void LoadRecentFiles();
    void RebuildRecentMenu();
    void SaveRecentFiles(const QStringList& files);

    // Opens the file once the current event (and any reading under way) has ended.
    void OpenLater(const std::string& path);
    QString ExecOpenDialog();
    bool utf8_ = false;
    TProblemMarks marks_;
    size_t budget_ = TOnDemandTree::DefaultBudget; // the tree's budget while the structure is not expanded
    TBackgroundReading* reading_ = nullptr;        // the reading under way
};

} // namespace talmiro
