// The main window: the interchange tree on the left, the details of the selected segment on the right.
#pragma once

#include "guideline_view.h"
#include "problems.h"

#include "talmiro/edit_support.h"
#include "talmiro/interchange_edit.h"
#include "talmiro/interchange_export.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/on_demand_tree.h"
#include "talmiro/streams.h"

#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>

#include <functional>
#include <map>
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
    QAction* miMsgSaveAck; // the CONTRL acknowledgement of the displayed file (acknowledgement.cpp)
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
    // Editing (editing.cpp) and saving (saving.cpp).
    QMenu* miEdit;
    QAction* miEditUndo;
    QAction* miEditRedo;
    QAction* miEditValue;   // the value on the details line of the cursor
    QAction* miEditSegment; // the selected segment's text
    QAction* miEditInsert;
    QAction* miEditDelete; // the selected segment or group repetition
    QAction* miEditFixControl;
    QAction* miMsgSave;
    QAction* miMsgSaveAs;
    QMenu* miMsgLayout; // how Save writes: as it was, one segment per line, one line
    QAction* miLayoutKeep;
    QAction* miLayoutLines;
    QAction* miLayoutOneLine;
    QAction* miMsgExport;
    QLabel* lbModified; // in the status bar: "Modified" while there are unsaved edits
    QMenu* miStandards;
    QAction* miStdSettings;
    QAction* miStdGuideline; // chooses the guideline of the selected message by hand
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
    void miMsgSaveAckClick();
    // The file Save acknowledgement writes, given the one suggested; empty when the user cancels. Shows a
    // save dialog by default.
    std::function<QString(const QString& suggested)> ChooseAckFile;
    // Writes the acknowledgement of the displayed file, as `talmiro-cli ack` with the view's strict setting.
    void SaveAcknowledgement(const std::string& target);
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

    // --- Editing. The file on disk stays as it is until saved: the edits are byte edits against it, and
    // the window shows it through them.
    TEditHistory History;
    std::unique_ptr<TEditedStream> EditedStream; // none while nothing is edited
    // The interchange as shown: the file through its edits.
    TStream& Shown() const;
    bool IsModified() const;
    // A dialog's answers (tests answer them): a text to edit (false when cancelled), an item of a list
    // (empty when cancelled).
    std::function<bool(const QString& label, QString& text)> AskText;
    std::function<QString(const QString& label, const QStringList& items)> ChooseItem;
    // Sets the value on a line of the details panel (mmFldData) of the selected segment.
    void EditValue(int line);
    void EditSegmentText();
    // Inserts a segment after the selected one, of a tag the message's structure allows there.
    void InsertSegment();
    // Deletes the selected segment or segment group repetition.
    void DeleteNode();
    // Recounts UNT, UNE and UNZ and mends trailer references, after listing the changes.
    void FixControlCounts();
    // Replaces spans of the interchange as shown (one undo step) and reads it again, selecting the node.
    void EditBytes(std::vector<TByteEdit> replacements, int32_t select);
    // Where each line of the details panel stands in the segment's text: the data element, its occurrence
    // and the component (0 for a simple element; -1 on a composite's own line).
    struct TValuePlace {
        int Element = 0;
        int Occurrence = 0;
        int Component = 0;
        const TEDIField* Field = nullptr;
    };
    static std::vector<TValuePlace> ValuePlaces(const TEdiSegment& segment);
    void miEditUndoClick();
    void miEditRedoClick();
    void miEditValueClick();
    void miEditSegmentClick();
    void miEditInsertClick();
    void miEditDeleteClick();
    void miEditFixControlClick();

    // --- Saving.
    TLayoutChoice SaveLayout = TLayoutChoice::Keep;
    // The Save As target; empty when the user cancels. Shows a save dialog by default.
    std::function<QString()> ChooseSaveFile;
    // Asked before unsaved edits would be lost: QMessageBox::Save, Discard or Cancel.
    std::function<int(const QString& text)> AskToSave;
    // For tests: called on the writing thread now and then, and once before the file is replaced, with the
    // bytes of the interchange written so far.
    std::function<void(int64_t Done)> OnSaving;
    bool Save();
    bool SaveAs();
    // Writes the interchange as shown to target in SaveLayout, through a temporary file renamed over it;
    // target then becomes the displayed file. A failure leaves target and the edits as they were.
    bool SaveTo(const std::string& target);
    // True when nothing unsaved would be lost: nothing is edited, or the user saved or discarded it.
    bool MayDropEdits();
    void miMsgSaveClick();
    void miMsgSaveAsClick();

    // --- Export: the interchange as shown, as talmiro-cli export writes it.
    // The export's target and format; empty when the user cancels. Shows a save dialog by default.
    std::function<QString(TExportFormat& Format)> ChooseExportFile;
    // Writes the export through a temporary file renamed over target.
    void ExportTo(const std::string& target, TExportFormat format);
    void miMsgExportClick();

    // --- Guidelines (guideline_view.cpp). The guideline each message was checked against, by its row.
    TMessageGuidelines MessageGuidelines;
    // Chosen by hand, by the message's number in the file (from 0); a null one: none for that message.
    // Kept until the file is closed; each applies like talmiro-cli's --guideline, with strict checks or
    // without.
    std::map<int64_t, std::shared_ptr<const TGuideline>> ChosenGuidelines;
    // A guideline source or table to choose; empty when the user cancels. Shows an open dialog by default.
    std::function<QString()> ChooseGuidelineFile;
    // The number in the file of the message holding the node; -1 outside messages.
    int64_t MessageNumberOf(int32_t node) const;
    // Offers the installed guidelines that fit the node's message, none, the automatic choice or a file,
    // then checks the file again.
    void ChooseGuidelineFor(int32_t node);
    void miStdGuidelineClick();

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
    void CreateAcknowledgementAction();
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

    // editing.cpp, saving.cpp
    void CreateEditMenu();
    void CreateSaveMenu();
    // Enables the commands and marks unsaved changes in the title bar.
    void UpdateEditing();
    int32_t CurrentSegmentNode(bool groupsToo) const;
    void ReplaceSegment(int32_t node, const std::string& text);
    QString ValueText(const std::string& bytes) const;
    // Typed text as the interchange's bytes; raises when a character cannot be written in its character set.
    std::string ValueBytes(const QString& text) const;
    // A segment's typed text as bytes, line breaks dropped, its terminator added where it was left out.
    std::string SegmentBytes(const QString& text, const TDelimiters& delimiters) const;
    // Reads the file as shown again, selecting the node where it still exists.
    void RereadFile(int32_t select);
    bool ExecTextDialog(const QString& label, QString& text);
    QString ExecItemDialog(const QString& label, const QStringList& items);
    int ExecSaveQuestion(const QString& text);
    QString ExecSaveDialog();
    QString ExecExportDialog(TExportFormat& format);
    QString ExecGuidelineFileDialog();

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
    QObject* fldViewport_ = nullptr;               // mmFldData's viewport, where a double click edits
};

} // namespace talmiro
