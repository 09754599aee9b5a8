// The viewer's windows driven as a user would, offscreen, with the boxes and the editor caught by hooks.
#include "about.h"
#include "error_text.h"
#include "main_form.h"
#include "problems.h"
#include "reading.h"
#include "std_settings.h"
#include "tree_model.h"
#include "ui_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/on_demand_tree.h"

#include "test_support.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <future>

using namespace talmiro;
namespace fs = std::filesystem;

namespace {

const char* const SegmentSource = R"(SEGMENTS
SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';
  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';
  COMPOSIT 'S009' DESCRIPTION 'MESSAGE IDENTIFIER';
    FIELD '0065' ALNUM (1:6) DESCRIPTION 'Message type identifier';
    FIELD '0052' ALNUM (1:3) DESCRIPTION 'Message version number';
    FIELD '0054' ALNUM (1:3) DESCRIPTION 'Message release number';
    FIELD '0051' ALNUM (1:2) DESCRIPTION 'Controlling agency';
  END;
END;
SEGMENT 'UNT' DESCRIPTION 'MESSAGE TRAILER';
  FIELD '0074' NUMERIC (1:6) DESCRIPTION 'NUMBER OF SEGMENTS IN THE MESSAGE';
  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';
END;
SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE';
  COMPOSIT 'C002' DESCRIPTION 'DOCUMENT/MESSAGE NAME';
    FIELD '1001' ALNUM (1:3) DESCRIPTION 'Document/message name, coded';
    FIELD '1131' ALNUM (1:3) DESCRIPTION 'Code list qualifier';
  END;
  FIELD '1004' ALNUM (1:35) DESCRIPTION 'DOCUMENT/MESSAGE NUMBER';
  FIELD '1225' ALNUM (1:3) DESCRIPTION 'MESSAGE FUNCTION, CODED';
END;
SEGMENT 'DTM' DESCRIPTION 'DATE/TIME/PERIOD';
  COMPOSIT 'C507' DESCRIPTION 'DATE/TIME/PERIOD';
    FIELD '2005' ALNUM (1:3) DESCRIPTION 'Date/time/period qualifier';
    FIELD '2380' ALNUM (1:35) DESCRIPTION 'Date/time/period';
  END;
END;
SEGMENT 'NAD' DESCRIPTION 'NAME AND ADDRESS';
  FIELD '3035' ALNUM (1:3) DESCRIPTION 'PARTY QUALIFIER';
  FIELD '3036' ALNUM (0:35) DESCRIPTION 'PARTY NAME';
END;
SEGMENT 'CTA' DESCRIPTION 'CONTACT INFORMATION';
  FIELD '3139' ALNUM (1:3) DESCRIPTION 'CONTACT FUNCTION, CODED';
END;
SEGMENT 'UNE' FIELD '0060' NUMERIC (1:6); FIELD '0048' ALNUM (1:14); END;
SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;
END;
)";

const char* const MessageSource = R"(MESSAGE 'ORDERS'
IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A';
STRUCTURE
SEGMENT 'UNH' MANDATORY (1);
SEGMENT 'BGM' MANDATORY (1);
SEGMENT 'DTM' CONDITIONAL (35);
GROUP 'NAD' CONDITIONAL (99);
  SEGMENT 'NAD' MANDATORY (1);
  GROUP 'CTA' CONDITIONAL (5);
    SEGMENT 'CTA' MANDATORY (1);
  END;
END;
SEGMENT 'UNT' MANDATORY (1);
END;
)";

const char* const Orders = "UNB+UNOC:1+SENDER+RECEIVER+960101:1200+1234'\r\n"
                           "UNH+1+ORDERS:D:96A:UN'\r\n"
                           "BGM+220+PO\r\n1+9'\r\n"
                           "DTM+137:19960101'\r\n"
                           "NAD+BY+M\xE9tro'\r\n"
                           "CTA+IC'\r\n"
                           "NAD+SU'\r\n"
                           "UNT+7+1'\r\n"
                           "UNZ+1+1234'\r\n";

// The first message is readable but breaks the strict checks three times: a qualifier and a contact
// function longer than their maximum of 3, and a segment count in UNT that is 9 instead of 7. The second
// message lacks its BGM, the error that stops the reading.
const char* const Problematic = "UNB+UNOB:1+SENDER+RECEIVER+960101:1200+1234'\r\n"
                                "UNH+1+ORDERS:D:96A:UN'\r\n"
                                "BGM+220+PO1+9'\r\n"
                                "DTM+1377:19960101'\r\n"
                                "NAD+BY+Metro'\r\n"
                                "CTA+ICXX'\r\n"
                                "NAD+SU'\r\n"
                                "UNT+9+1'\r\n"
                                "UNH+2+ORDERS:D:96A:UN'\r\n"
                                "DTM+137:19960101'\r\n"
                                "UNT+3+2'\r\n"
                                "UNZ+2+1234'\r\n";

// The tree as indented lines, two spaces per level.
void DumpTree(const QAbstractItemModel& model, const QModelIndex& parent, int depth, QStringList& out) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        QModelIndex index = model.index(row, 0, parent);
        out << QString(depth * 2, QLatin1Char(' ')) + index.data().toString();
        DumpTree(model, index, depth + 1, out);
    }
}

QStringList TreeLines(const TMainForm& form) {
    QStringList lines;
    DumpTree(*form.Model, {}, 0, lines);
    return lines;
}

// An interchange of many small messages; message m's BGM carries the number "PO<m>".
std::string ManyMessages(int count) {
    std::string text = "UNB+UNOA:1+SENDER+RECEIVER+960101:1200+1234'\r\n";
    for (int m = 1; m <= count; ++m) {
        const std::string ref = std::to_string(m);
        text += "UNH+" + ref + "+ORDERS:D:96A:UN'\r\nBGM+220+PO" + ref + "+9'\r\nNAD+BY'\r\nCTA+IC'\r\n" +
                "NAD+SU'\r\nUNT+6+" + ref + "'\r\n";
    }
    return text + "UNZ+" + std::to_string(count) + "+1234'\r\n";
}

// The tree of the same file read whole, as the indented lines of TreeLines.
QStringList WholeTreeLines(TStandardsCatalogue& catalogue, const std::string& path) {
    TInterchangeReader reader(&catalogue);
    TFileStream stream(path);
    try {
        reader.Read(stream);
    } catch (const std::exception&) {
    }
    QStringList lines;
    std::function<void(int32_t, int)> dump = [&](int32_t parent, int depth) {
        for (int32_t child : reader.Tree().ChildrenOf(parent)) {
            lines << QString(depth * 2, QLatin1Char(' ')) + QString::fromStdString(reader.Tree().Text(child));
            dump(child, depth + 1);
        }
    };
    dump(TInterchangeTree::None, 0);
    return lines;
}

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

    QTemporaryDir temp;
    QString base;    // the standards' base directory
    std::string ini; // a TALMIRO.INI pointing at it
    std::string orders;
    QStringList events;   // boxes and editor runs, in order
    bool confirm = false; // the answer to questions
    TUiHooks defaultHooks;
    std::unique_ptr<TMainForm> form;

    std::string Write(const QString& name, const std::string& bytes) {
        return test::WriteFile(temp.filePath(name).toStdString(), bytes);
    }

    // Selects the node at the path of rows and returns its index.
    QModelIndex Select(std::initializer_list<int> rows) {
        QModelIndex index;
        for (int row : rows)
            index = form->Model->index(row, 0, index);
        form->tvMsgStruct->setCurrentIndex(index);
        return index;
    }

    bool PanelShown() const { return !form->pnlSegment->isHidden(); }

    // The tree node of an index as a path of rows, for readable comparisons.
    QModelIndex Node(std::initializer_list<int> rows) const {
        QModelIndex index;
        for (int row : rows)
            index = form->Model->index(row, 0, index);
        return index;
    }

    // The mark a tree node shows: "error", "warning" or "" (compared by picture, as the user sees it).
    QString MarkOf(const QModelIndex& index) const {
        const QIcon icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
        if (icon.isNull()) return {};
        const QImage image = icon.pixmap(16).toImage();
        if (image == ProblemIcon(TProblemMark::Error).pixmap(16).toImage()) return QStringLiteral("error");
        if (image == ProblemIcon(TProblemMark::Warning).pixmap(16).toImage())
            return QStringLiteral("warning");
        QImage blank(image.size(), image.format()); // keeps the texts of unmarked nodes aligned
        blank.fill(Qt::transparent);
        if (image == blank) return {};
        return QStringLiteral("?");
    }

    QStringList ProblemRows() const {
        QStringList rows;
        for (int row = 0; row < form->Problems->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < form->Problems->columnCount(); ++column)
                cells << form->Problems->index(row, column).data().toString();
            rows << cells.join(QStringLiteral(" | "));
        }
        return rows;
    }

    void Activate() {
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

private slots:
    void initTestCase() {
        QVERIFY(temp.isValid());
        // Preferences go to a directory of the test's own, here and in the programs it starts.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           temp.filePath(QStringLiteral("config")));
        qputenv("XDG_CONFIG_HOME", temp.filePath(QStringLiteral("config")).toLocal8Bit());
        base = temp.filePath(QStringLiteral("std"));
        test::CompileRelease(base.toStdString(), "D96A", SegmentSource, {{"ORDERS", MessageSource}});
        ini = test::WriteIni(temp.filePath(QStringLiteral("TALMIRO.INI")).toStdString(), base.toStdString());
        orders = Write("orders.edi", Orders);

        defaultHooks = UiHooks();
        UiHooks().ShowError = [this](const QString& text) { events << QStringLiteral("error: ") + text; };
        UiHooks().ShowInfo = [this](const QString& text) { events << QStringLiteral("info: ") + text; };
        UiHooks().Confirm = [this](const QString& text) {
            events << QStringLiteral("confirm: ") + text;
            return confirm;
        };
        UiHooks().EditFile = [this](const std::string& path) {
            events << QStringLiteral("edit: ") + QString::fromStdString(path);
        };
    }

    void init() {
        events.clear();
        UserSettings()->clear();
        form = std::make_unique<TMainForm>();
        form->ChooseFile = [] { return QString(); };
    }

    void cleanup() {
        form.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void componentsAndCaptions() {
        form->StartUp({}, ini);
        QCOMPARE(form->objectName(), QStringLiteral("MainForm"));
        QCOMPARE(form->windowTitle(), QStringLiteral("EDIFACT message viewer"));
        for (const char* name :
             {"tvMsgStruct", "pnlTreeView",    "Splitter1",   "pnlViewData", "pnlSegment", "gbSegmInfo",
              "lbSegmID",    "lbSegmDesc",     "gbSegmData",  "mmSegmData",  "gbFldData",  "mmFldData",
              "sbStatusBar", "dlgStdSettings", "cbStandards", "lbMessages",  "btnStdEdit", "btnStdComp",
              "btnMsgEdit",  "btnMsgComp",     "btnOk",       "btnCancel"})
            QVERIFY2(form->findChild<QWidget*>(QString::fromLatin1(name)), name);
        QCOMPARE(form->gbSegmInfo->title(), QStringLiteral("Segment informations"));
        QCOMPARE(form->gbSegmData->title(), QStringLiteral("Segment data string"));
        QCOMPARE(form->gbFldData->title(), QStringLiteral("Segment field data details"));
        QCOMPARE(form->Label2->text(), QStringLiteral("Segment:"));
        QCOMPARE(form->Label3->text(), QStringLiteral("Description:"));

        QStringList menus;
        for (QAction* menu : form->menuBar()->actions()) {
            menus << menu->text();
            for (QAction* item : menu->menu()->actions())
                menus << QStringLiteral("  ") + (item->isSeparator() ? QStringLiteral("-") : item->text()) +
                             (item->shortcut().isEmpty() ? QString()
                                                         : QStringLiteral(" ") + item->shortcut().toString());
        }
        // clang-format off
        QCOMPARE(menus, (QStringList{
            "&Messages", "  &Open... F3", "  C&lose", "  &Save Ctrl+S", "  Save &as... Ctrl+Shift+S",
            "  Save &layout", "  &Export...", "  Save &acknowledgement...", "  -", "  E&xit Alt+X", "  -",
            "  &Recent files",
            "&Edit", "  &Undo Ctrl+Z", "  &Redo Ctrl+Shift+Z", "  -", "  Edit &value... F2",
            "  Edit segment &text... Shift+F2", "  &Insert segment after... Ins", "  &Delete Del", "  -",
            "  &Fix control counts...",
            "&View", "  &Transmission data...", "  -", "  Structure e&xpanded", "  -", "  &Find... Ctrl+F",
            "  Find &next Ctrl+G", "  Find pre&vious Ctrl+Shift+G", "  -", "  &Strict checks", "  &Problems",
            "&Standards", "  &Settings...", "  &Guideline for message...", "&Help", "  &About Talmiro..."}));
        // clang-format on
        QVERIFY(form->miViewExpand->isCheckable());
        QVERIFY(form->miViewStrict->isCheckable());
        QVERIFY(!form->miViewStrict->isChecked());
        // The additions keep out of the usual layout until asked for.
        QVERIFY(form->dkProblems->isHidden());
        QVERIFY(form->tbFind->isHidden());
        QVERIFY(!form->miMsgRecent->menuAction()->isEnabled());
        QCOMPARE(form->lbProblemCount->text(), QString());

        QCOMPARE(form->dlgOpenMessage->nameFilters(),
                 (QStringList{"EDIFACT files (*.edi)", "Text files (*.txt)", "Data files (*.dat)",
                              "all files (*.*)"}));
        QCOMPARE(form->dlgOpenMessage->defaultSuffix(), QStringLiteral("edi"));
        QCOMPARE(form->dlgOpenMessage->selectedNameFilter(), QStringLiteral("EDIFACT files (*.edi)"));
        {
            // "all files (*.*)" lists files without an extension too: picking it widens the listing's
            // pattern to "*" (the listing itself fills asynchronously, so the pattern is what is checked).
            QFileDialog& open = *form->dlgOpenMessage;
            open.setOption(QFileDialog::DontUseNativeDialog);
            open.show();
            auto* types = open.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* listing = open.findChild<QFileSystemModel*>();
            QVERIFY(types && listing);
            QCOMPARE(listing->nameFilters(), QStringList{"*.edi"});
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(types, Qt::Key_Down); // as the user picks it
            QCOMPARE(open.selectedNameFilter(), QStringLiteral("all files (*.*)"));
            QCOMPARE(listing->nameFilters(), QStringList{"*"});
            open.hide();
        }

        TdlgStdSettings& dlg = *form->Settings;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Standard settings"));
        QCOMPARE(dlg.GroupBox1->title(), QStringLiteral("Standard Settings"));
        QCOMPARE(dlg.Label1->text(), QStringLiteral("Select &standard"));
        QCOMPARE(dlg.Label1->buddy(), dlg.cbStandards);
        QCOMPARE(dlg.Label2->text(), QStringLiteral("&Messages"));
        QCOMPARE(dlg.Label2->buddy(), dlg.lbMessages);
        QCOMPARE(dlg.btnStdComp->text(), QStringLiteral("Compile..."));
        QCOMPARE(dlg.btnMsgEdit->text(), QStringLiteral("Edit..."));
        QVERIFY(dlg.btnOk->isDefault());
        QCOMPARE(dlg.size(), QSize(419, 297));
    }

    void startWithoutFile() {
        form->StartUp({}, ini);
        QCOMPARE(form->Model->rowCount(), 0);
        QVERIFY(!form->miMsgClose->isEnabled());
        QVERIFY(!PanelShown());
        QVERIFY(form->StartUpErrors.empty());
        QCOMPARE(form->Settings->cbStandards->currentText(), QStringLiteral("D96A"));
        QCOMPARE(form->Settings->lbMessages->count(), 1);
    }

    void startWithFilesReadsOnlyTheFirst() {
        form->StartUp({orders, "/nonexistent/second.edi"}, ini);
        QVERIFY2(form->StartUpErrors.empty(),
                 form->StartUpErrors.empty() ? "" : form->StartUpErrors[0].c_str());
        QVERIFY(form->miMsgClose->isEnabled());
        QCOMPARE(TreeLines(*form),
                 (QStringList{"UNB", "ORDERS/D96A: 1", "  UNH", "  BGM", "  DTM", "  Segment Group 1 - 1",
                              "    NAD", "    Segment Group 2 - 1", "      CTA", "  Segment Group 1 - 2",
                              "    NAD", "  UNT", "UNZ"}));
        for (int row = 0; row < form->Model->rowCount(); ++row)
            QVERIFY(!form->tvMsgStruct->isExpanded(form->Model->index(row, 0)));
    }

    void startUpErrorWaitsForTheWindow() {
        form->StartUp({temp.filePath(QStringLiteral("missing.edi")).toStdString()}, ini);
        QVERIFY(events.isEmpty());
        QCOMPARE(form->StartUpErrors.size(), size_t(1));
        QVERIFY(form->miMsgClose->isEnabled());
        form->show();
        form->ShowStartUpErrors();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0], QString::fromUtf8("error: Datei %1 kann nicht ge\u00F6ffnet werden.")
                                .arg(temp.filePath(QStringLiteral("missing.edi"))));
        QVERIFY(form->StartUpErrors.empty());
    }

    void selectingNodes() {
        form->StartUp({orders}, ini);
        form->show();
        form->tvMsgStruct->expandAll();

        Select({1, 1}); // BGM, written over two lines
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("BGM"));
        QCOMPARE(form->lbSegmDesc->text(), QStringLiteral("BEGINNING OF MESSAGE"));
        // Texts from the tables are shown as written, never as markup.
        QCOMPARE(form->lbSegmID->textFormat(), Qt::PlainText);
        QCOMPARE(form->lbSegmDesc->textFormat(), Qt::PlainText);
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("BGM+220+PO1+9'"));
        QCOMPARE(form->mmFldData->toPlainText().split(QLatin1Char('\n')),
                 (QStringList{"C002 DOCUMENT/MESSAGE NAME",
                              "  1001    [220]                         Document/message name, coded",
                              "  1131    <empty>                       Code list qualifier",
                              "1004      [PO1]                         DOCUMENT/MESSAGE NUMBER",
                              "1225      [9]                           MESSAGE FUNCTION, CODED"}));

        Select({1}); // the message node hides the panel
        QVERIFY(!PanelShown());

        Select({1, 3, 0}); // NAD of group 1: a byte above 127 shows as Latin-1
        QVERIFY(PanelShown());
        QCOMPARE(form->mmSegmData->toPlainText(), QString::fromUtf8("NAD+BY+M\u00E9tro'"));

        Select({1, 3}); // a group node hides it again
        QVERIFY(!PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("NAD")); // the labels keep the last segment

        Select({2}); // UNZ, a service segment
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("UNZ"));
        QVERIFY(form->mmFldData->toPlainText().startsWith(
            QStringLiteral("0036      [1]                           ")));

        form->CloseMessageFile();
        QVERIFY(!PanelShown());
        QCOMPARE(form->Model->rowCount(), 0);
        QVERIFY(!form->miMsgClose->isEnabled());
        QVERIFY(!form->FileStream);
    }

    void modelIsConsistent() {
        form->StartUp({}, ini);
        QAbstractItemModelTester tester(form->Model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        form->OpenFile(orders);
        form->miViewExpandClick();
        QModelIndex group = form->Model->index(3, 0, form->Model->index(1, 0));
        QCOMPARE(form->Model->NodeOf(form->Model->IndexOf(form->Model->NodeOf(group))),
                 form->Model->NodeOf(group));
        QCOMPARE(form->Model->parent(form->Model->index(1, 0, group)), group);
        QCOMPARE(form->Model->index(5, 0, group), QModelIndex());
        form->CloseMessageFile();
        QCOMPARE(form->Model->rowCount(), 0);
    }

    void fileChangedUnderTheTree() {
        // Line breaks are skipped by the reader; they put DTM beyond the stream's first buffered block.
        std::string text = Orders;
        text.insert(text.find("DTM+"), std::string(100000, '\n'));
        std::string path = Write("changed.edi", text);
        form->StartUp({path}, ini);
        form->show();
        Select({1, 1});
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("BGM"));
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(text.find("DTM+")));
            file << "XYZ";
        }
        Select({1, 2});
        QCOMPARE(events.size(), 1);
        QVERIFY(events[0].startsWith(QStringLiteral("error: ")));
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("BGM"));
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("BGM+220+PO1+9'"));
        QVERIFY(form->mmFldData->toPlainText().startsWith(QStringLiteral("C002 ")));

        // Rewritten so that DTM's value runs on without end, then emptied: selecting gives an error each
        // time, after reading no more than a bounded part of the value.
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            << text.substr(0, text.find("DTM+")) << "DTM+" << std::string(16 << 20, '9');
        Select({1, 1});
        QCOMPARE(events.size(), 1);
        Select({1, 2});
        QCOMPARE(events.size(), 2);
        QVERIFY2(events[1].contains(QStringLiteral("longer than 1048576 characters")), qPrintable(events[1]));
        std::ofstream(path, std::ios::binary | std::ios::trunc);
        Select({1, 1});
        QCOMPARE(events.size(), 3);
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("BGM"));
    }

    // Every prefix of the sample: whatever the reader makes of it, every node can be selected, the
    // cursor comes back and Close is enabled.
    void truncatedFilesNeverBreakTheWindow() {
        form->StartUp({}, ini);
        form->show();
        const std::string text = Orders;
        for (size_t length = 0; length <= text.size(); ++length) {
            std::string path = Write("cut.edi", text.substr(0, length));
            Guarded([&] { form->OpenFile(path); });
            QVERIFY(form->miMsgClose->isEnabled());
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            form->tvMsgStruct->expandAll();
            for (QModelIndex index = form->Model->index(0, 0); index.isValid();
                 index = form->tvMsgStruct->indexBelow(index))
                form->tvMsgStruct->setCurrentIndex(index);
        }
        QCOMPARE(TreeLines(*form).size(), 13);
    }

    void utf8Interchange() {
        std::string text = Orders;
        text.replace(text.find("UNOC"), 4, "UNOY");
        text.replace(text.find("M\xE9tro"), 5, "M\xC3\xA9tro");
        std::string path = Write("utf8.edi", text);
        form->StartUp({path}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 3, 0});
        QCOMPARE(form->mmSegmData->toPlainText(), QString::fromUtf8("NAD+BY+M\u00E9tro'"));
        QVERIFY(form->mmFldData->toPlainText().contains(QString::fromUtf8("[M\u00E9tro]")));
    }

    void resizeGeometry() {
        form->StartUp({orders}, ini);
        form->show();
        form->tvMsgStruct->expandAll();
        Select({1, 1});
        // The reference layout: the window's frame at 209, 107; each panel's content inside its one-pixel
        // bevel.
        QCOMPARE(form->frameGeometry().topLeft(), QPoint(209, 107));
        QCOMPARE(form->pnlTreeView->geometry(), QRect(0, 0, 201, 415));
        QCOMPARE(form->tvMsgStruct->geometry(), QRect(1, 1, 199, 413));
        QCOMPARE(form->pnlViewData->geometry(), QRect(204, 0, 484, 415));
        QCOMPARE(form->pnlSegment->geometry(), QRect(1, 1, 482, 413));
        form->pnlSegment->resize(600, 500);
        QCOMPARE(form->gbSegmInfo->geometry(), QRect(8, 8, 584, 65));
        QCOMPARE(form->gbSegmData->geometry(), QRect(8, 80, 584, 97));
        QCOMPARE(form->mmSegmData->geometry(), QRect(16, 24, 552, 57));
        QCOMPARE(form->gbFldData->geometry(), QRect(8, 184, 584, 300));
        QCOMPARE(form->mmFldData->geometry(), QRect(16, 24, 552, 260));
    }

    void openCancelAndClose() {
        form->StartUp({orders}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 1});
        form->miMsgOpenClick(); // cancelled: nothing changes
        QCOMPARE(form->Model->rowCount(), 3);
        QVERIFY(form->FileStream);
        Select({1, 2});
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("DTM"));

        // A file that does not exist: the old one is closed, the error shown, Close stays enabled.
        QString missing = temp.filePath(QStringLiteral("none.edi"));
        form->ChooseFile = [&] { return missing; };
        QVERIFY(!Guarded([&] { form->miMsgOpenClick(); }));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0],
                 QString::fromUtf8("error: Datei %1 kann nicht ge\u00F6ffnet werden.").arg(missing));
        QCOMPARE(form->Model->rowCount(), 0);
        QVERIFY(!form->FileStream);
        QVERIFY(form->miMsgClose->isEnabled());
        QCOMPARE(form->InterchangeFile, missing.toStdString());
        form->miMsgCloseClick();
        QVERIFY(!form->miMsgClose->isEnabled());

        // "Transmission data..." still opens the last file after Close.
        form->miViewFileClick();
        QCOMPARE(events.last(), QStringLiteral("edit: ") + missing);

        form->ChooseFile = [&] { return QString::fromStdString(orders); };
        form->miMsgOpenClick();
        QCOMPARE(form->Model->rowCount(), 3);
        QVERIFY(form->miMsgClose->isEnabled());
    }

    void saveAcknowledgementFollowsTheStrictSetting() {
        form->StartUp({}, ini);
        QVERIFY(!form->miMsgSaveAck->isEnabled());
        std::string text = Problematic;
        text = text.substr(0, text.find("UNH+2")) + "UNZ+1+1234'\r\n"; // only strict warnings
        const std::string path = Write("ack.edi", text);
        const QString target = temp.filePath(QStringLiteral("ack.edi.contrl"));
        QString suggested;
        form->ChooseAckFile = [&](const QString& offered) {
            suggested = offered;
            return target;
        };
        form->OpenFile(path);
        QVERIFY(form->miMsgSaveAck->isEnabled());
        form->miMsgSaveAckClick();
        QCOMPARE(suggested, target);
        auto read = [](const std::string& name) {
            std::ifstream in(name, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        std::string contrl = read(target.toStdString());
        QVERIFY2(contrl.find("UCI+1234+SENDER+RECEIVER+7'\nUCM+1+ORDERS:D:96A:UN+7'\nUNT+4+1'") !=
                     std::string::npos,
                 contrl.c_str());

        form->miViewStrictClick();
        form->miMsgSaveAckClick();
        contrl = read(target.toStdString());
        QVERIFY2(contrl.find("UCM+1+ORDERS:D:96A:UN+4+29+UNT+2'\nUCS+3'\nUCD+39+2:1'\nUCS+5'\nUCD+39+2'\n") !=
                     std::string::npos,
                 contrl.c_str());

        // Never written over the interchange it answers.
        form->ChooseAckFile = [&](const QString&) { return QString::fromStdString(path); };
        QVERIFY(!Guarded([&] { form->miMsgSaveAckClick(); }));
        QCOMPARE(read(path), text);
        form->miMsgCloseClick();
        QVERIFY(!form->miMsgSaveAck->isEnabled());
    }

    void transmissionDataBeforeAnyFile() {
        form->StartUp({}, ini);
        form->miViewFileClick();
        QCOMPARE(events, QStringList{"edit: "});
    }

    void expandMarkFollowsItsRules() {
        form->StartUp({orders}, ini);
        form->miViewExpandClick();
        QVERIFY(form->miViewExpand->isChecked());
        QVERIFY(form->tvMsgStruct->isExpanded(form->Model->index(1, 0)));
        QVERIFY(form->tvMsgStruct->isExpanded(form->Model->index(3, 0, form->Model->index(1, 0))));

        // Open of another file closes the displayed one first, which clears the mark.
        form->OpenFile(orders);
        QVERIFY(!form->miViewExpand->isChecked());
        QVERIFY(!form->tvMsgStruct->isExpanded(form->Model->index(1, 0)));

        // After Close a mark set meanwhile stays over the new, collapsed tree.
        form->CloseMessageFile();
        form->miViewExpandClick();
        form->OpenFile(orders);
        QVERIFY(form->miViewExpand->isChecked());
        QVERIFY(!form->tvMsgStruct->isExpanded(form->Model->index(1, 0)));
        form->miViewExpandClick();
        QVERIFY(!form->miViewExpand->isChecked());

        // The menu command goes through the same toggle.
        form->miViewExpand->trigger();
        QVERIFY(form->miViewExpand->isChecked());
        QVERIFY(form->tvMsgStruct->isExpanded(form->Model->index(1, 0)));
    }

    // Messages are made when the view opens them and dropped beyond the budget; whatever was dropped, the
    // view shows the tree the whole reading builds.
    void messagesAreMadeOnDemand() {
        const std::string path = Write("many.edi", ManyMessages(30));
        form->StartUp({path}, ini);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        TOnDemandTree& tree = form->EdiReader->OnDemandTree();
        QCOMPARE(form->Model->rowCount(), 32);
        QCOMPARE(tree.NodeCount(), size_t(2 + 30 * 10));
        QCOMPARE(tree.BuiltNodes(), size_t(0)); // the top level, painted, needs no message made
        QVERIFY(form->Model->hasChildren(Node({1})));
        QCOMPARE(tree.BuiltNodes(), size_t(0));
        QAbstractItemModelTester tester(form->Model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        tree.SetBudget(20); // two messages of 9 nodes
        const QStringList whole = WholeTreeLines(form->Settings->Catalogue, path);
        QCOMPARE(whole.size(), 2 + 30 * 10);
        QCOMPARE(TreeLines(*form), whole);
        QVERIFY(tree.BuiltNodes() <= 20);

        // Open ones stay, as does the one holding the current node.
        form->tvMsgStruct->expand(Node({3}));
        Select({5, 2, 1, 0});
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("CTA"));
        QCOMPARE(TreeLines(*form), whole);
        QVERIFY(tree.IsBuilt(3) && tree.IsBuilt(5));
        QVERIFY(form->tvMsgStruct->isExpanded(Node({5, 2, 1})));
        QCOMPARE(form->tvMsgStruct->currentIndex().data().toString(), QStringLiteral("CTA"));

        // Structure expanded holds every message; its removal lets them go again.
        form->miViewExpandClick();
        QCOMPARE(tree.BuiltNodes(), size_t(30 * 9));
        QCOMPARE(TreeLines(*form), whole);
        form->miViewExpandClick();
        QVERIFY(tree.BuiltNodes() <= 20);
        QVERIFY(tree.IsBuilt(5));
        QVERIFY(events.isEmpty());
    }

    void expandingALargeStructureAsksFirst() {
        form->StartUp({Write("many.edi", ManyMessages(30))}, ini);
        form->ExpandAllLimit = 100;
        confirm = false;
        form->miViewExpandClick();
        QCOMPARE(events,
                 QStringList{QStringLiteral("confirm: The interchange has 302 nodes. Opening all of them "
                                            "needs about 0 MB of memory and may take a while.\n\nExpand "
                                            "the whole structure?")});
        QVERIFY(!form->miViewExpand->isChecked());
        QVERIFY(!form->tvMsgStruct->isExpanded(Node({1})));
        QCOMPARE(form->EdiReader->OnDemandTree().BuiltNodes(), size_t(0));
        confirm = true;
        form->miViewExpand->trigger();
        QVERIFY(form->miViewExpand->isChecked());
        QVERIFY(form->tvMsgStruct->isExpanded(Node({30})));
        // Taking the mark away asks nothing.
        form->miViewExpand->trigger();
        QVERIFY(!form->miViewExpand->isChecked());
        QCOMPARE(events.size(), 2);
        QCOMPARE(
            TMainForm::ExpandAllQuestion(20'000'000),
            QStringLiteral("The interchange has 20,000,000 nodes. Opening all of them needs about 4,000 MB "
                           "of memory and may take a while.\n\nExpand the whole structure?"));
    }

    // Find reads on through messages not made yet, and makes only the one it finds the text in.
    void findMakesOnlyTheMessageItFindsIn() {
        form->StartUp({Write("many.edi", ManyMessages(40))}, ini);
        TOnDemandTree& tree = form->EdiReader->OnDemandTree();
        form->edFind->setText(QStringLiteral("po37+"));
        QVERIFY(form->FindSegment(true));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({37, 1}));
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("BGM"));
        for (size_t row = 0; row < tree.TopCount(); ++row)
            QCOMPARE(tree.IsBuilt(row), row == 37);
        // Backwards from there, wrapping at the start: the last match in file order.
        form->edFind->setText(QStringLiteral("NAD+SU"));
        QVERIFY(form->FindSegment(false));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({36, 3, 0}));
        form->tvMsgStruct->setCurrentIndex(Node({0}));
        QVERIFY(form->FindSegment(false));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({40, 3, 0}));
        form->edFind->setText(QStringLiteral("PO41"));
        QVERIFY(!form->FindSegment(true));
        QCOMPARE(form->lbFindResult->text(), QStringLiteral("Not found"));
    }

    // Cancelled before it has read more than the header: the tree keeps UNB, no box, the status says so.
    void cancelledReadingKeepsWhatWasRead() {
        form->StartUp({}, ini);
        form->OnReading = [](TBackgroundReading& reading) { reading.Cancel(); };
        form->OpenFile(orders); // no error
        QCOMPARE(TreeLines(*form), QStringList{"UNB"});
        QVERIFY(events.isEmpty());
        QCOMPARE(form->Problems->rowCount(), 0);
        QCOMPARE(form->lbProblemCount->text(),
                 QStringLiteral("Reading cancelled at 0.0 of 0.0 MB, 0 messages. No problems found"));
        QVERIFY(form->miMsgClose->isEnabled());
        Select({0});
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("UNB"));

        // Strict checks read the file again: cancelled too, it keeps the node selected when it still exists.
        form->miViewStrict->trigger();
        QCOMPARE(TreeLines(*form), QStringList{"UNB"});
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({0}));
        QVERIFY(events.isEmpty());
    }

    // The dialog shows while the reading runs, modal to the window; its Cancel button stops the reading,
    // and a file dropped meanwhile opens afterwards.
    void progressDialogCancels() {
        const std::string path = Write("many.edi", ManyMessages(30));
        form->StartUp({}, ini);
        Activate();
        std::promise<void> go;
        QString label;
        bool modal = false;
        form->OnReading = [&](TBackgroundReading& reading) {
            reading.DialogDelay = 0;
            // The reading waits until the dialog has been seen (or a failed check has given up).
            reading.BeforeWork = [&] { go.get_future().wait_for(std::chrono::seconds(60)); };
            reading.OnDialogShown = [&](QProgressDialog& dialog) {
                struct Release {
                    std::promise<void>& Go;
                    ~Release() { Go.set_value(); }
                } release{go};
                label = dialog.labelText();
                modal = dialog.isVisible() && dialog.windowModality() == Qt::WindowModal &&
                        QApplication::activeModalWidget() == &dialog;
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(QString::fromStdString(orders))});
                QVERIFY(form->DropFile(data));
                auto* cancel = dialog.findChild<QPushButton*>();
                QVERIFY(cancel);
                QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
                cancel->click();
            };
        };
        form->OpenFile(path);
        QCOMPARE(label, QStringLiteral("Reading many.edi\n0.0 of 0.0 MB, 0 messages"));
        QVERIFY(modal);
        QCOMPARE(TreeLines(*form), QStringList{"UNB"});
        QVERIFY(
            form->lbProblemCount->text().startsWith(QStringLiteral("Reading cancelled at 0.0 of 0.0 MB")));
        QCOMPARE(form->InterchangeFile, path);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        form->OnReading = nullptr;
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(form->InterchangeFile),
                                  QString::fromStdString(orders), 10000);
        QCOMPARE(form->Model->rowCount(), 3);
        QVERIFY(events.isEmpty());
    }

    void progressTexts() {
        QCOMPARE(TBackgroundReading::ProgressText(12'500'000, 2'048'000'000, 3215),
                 QStringLiteral("12.5 of 2,048.0 MB, 3,215 messages"));
        QCOMPARE(TBackgroundReading::ProgressText(0, 100, 1), QStringLiteral("0.0 of 0.0 MB, 1 message"));
    }

    void readingErrorKeepsThePartialTree() {
        std::string text = Orders;
        text.replace(text.find("CTA+IC'"), 7, "XYZ+1'");
        std::string path = Write("bad.edi", text);
        form->StartUp({}, ini);
        QVERIFY(!Guarded([&] { form->OpenFile(path); }));
        QCOMPARE(events.size(), 1);
        QVERIFY(events[0].startsWith(QStringLiteral("error: ")));
        QVERIFY(form->miMsgClose->isEnabled());
        QVERIFY(form->FileStream);
        QStringList lines = TreeLines(*form);
        QVERIFY(lines.size() >= 6);
        QCOMPARE(lines.mid(0, 5), (QStringList{"UNB", "ORDERS/D96A: 1", "  UNH", "  BGM", "  DTM"}));
        // The nodes read before the error can still be shown.
        form->tvMsgStruct->expandAll();
        Select({1, 2});
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("DTM"));
    }

    void messageTableLookup() {
        // Lower-case version and release still find D96A; an unknown release leaves the table name to
        // the driver, which then fails to find <type>.MDT in the current directory.
        std::string text = Orders;
        text.replace(text.find("ORDERS:D:96A"), 12, "ORDERS:d:96a");
        std::string lower = Write("lower.edi", text);
        form->StartUp({}, ini);
        form->Settings->Catalogue.SetSelected(-1);
        form->OpenFile(lower);
        QCOMPARE(form->Model->index(1, 0).data().toString(), QStringLiteral("ORDERS/d96a: 1"));
        QCOMPARE(form->Settings->cbStandards->currentText(), QStringLiteral("D96A"));

        text.replace(text.find("ORDERS:d:96a"), 12, "ORDERS:D:01B");
        std::string unknown = Write("unknown.edi", text);
        form->Settings->Catalogue.SetSelected(-1);
        events.clear();
        QVERIFY(!Guarded([&] { form->OpenFile(unknown); }));
        QCOMPARE(form->Settings->Catalogue.Selected(), -1);
        QCOMPARE(form->Settings->cbStandards->currentIndex(), -1);
        QCOMPARE(form->Model->index(1, 0).data().toString(), QStringLiteral("ORDERS/D01B: 1"));
        // The box keeps the engine's text and says on a line of its own what is missing and how to add it.
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0], QStringLiteral("error: Datei ORDERS.MDT kann nicht geöffnet werden.\n"
                                           "No definition of message ORDERS version D release 01B: standard "
                                           "D01B is not installed in ") +
                                base +
                                QStringLiteral(" (installed: D96A). To add a directory release: talmiro-cli "
                                               "import-untdid d01b.zip --out ") +
                                base + QStringLiteral(" --compile."));
    }

    void damagedTableReportsBeforeTheError() {
        // A copy of the standard whose message table is cut inside its structure.
        fs::path dir = fs::path(temp.filePath(QStringLiteral("cut")).toStdString());
        fs::create_directories(dir / "D96A");
        for (const char* file : {"D96A.sdf", "D96A.SDT", "ORDERS.MDT"})
            fs::copy_file(fs::path(base.toStdString()) / "D96A" / file, dir / "D96A" / file);
        fs::resize_file(dir / "D96A" / "ORDERS.MDT", fs::file_size(dir / "D96A" / "ORDERS.MDT") - 12);
        std::string cutIni = Write("cut.ini", "[STANDARDS]\nBASEDIR=" + dir.string() + "\n");
        form->StartUp({}, cutIni);
        QVERIFY(!Guarded([&] { form->OpenFile(orders); }));
        QCOMPARE(events.size(), 2);
        QVERIFY2(events[0].startsWith(QStringLiteral("info: Error while reading ")), qPrintable(events[0]));
        QVERIFY(events[1].startsWith(QStringLiteral("error: ")));
    }

    void dropOpensLikeOpen() {
        form->StartUp({}, ini);
        form->show();
        QMimeData data;
        data.setText(QStringLiteral("not a file"));
        QVERIFY(!form->DropFile(data));
        data.setUrls({QUrl(QStringLiteral("https://example.org/a.edi"))});
        QVERIFY(!form->DropFile(data));
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(orders))});
        QVERIFY(form->DropFile(data));
        QTRY_COMPARE_WITH_TIMEOUT(form->Model->rowCount(), 3, 10000);
        QVERIFY(form->miMsgClose->isEnabled());
        QCOMPARE(form->InterchangeFile, orders);
    }

    void settingsDialogListsAndEdits() {
        QTemporaryDir dir;
        auto file = [&](const QString& rel) {
            fs::path p = fs::path(dir.filePath(rel).toStdString());
            fs::create_directories(p.parent_path());
            std::ofstream(p) << "";
        };
        file(QStringLiteral("EDI96/d96a.sdf"));
        file(QStringLiteral("EDI96/ORDERS.mdf"));
        file(QStringLiteral("EDI96/ORDERS.old.mdf"));
        file(QStringLiteral("EDI96/INVOIC.mdf"));
        file(QStringLiteral("D95B/readme.txt"));
        file(QStringLiteral(".old/D93A.sdf"));
        file(QStringLiteral("X/D94A.new.sdf"));
        std::string dirIni = Write("lists.ini", "[STANDARDS]\nBASEDIR=" + dir.path().toStdString() + "\n");
        form->StartUp({}, dirIni);
        TdlgStdSettings& dlg = *form->Settings;
        QCOMPARE(dlg.cbStandards->count(), 2);
        QCOMPARE(dlg.cbStandards->itemText(0), QStringLiteral("D94A"));
        QCOMPARE(dlg.cbStandards->itemText(1), QStringLiteral("d96a"));
        QCOMPARE(dlg.cbStandards->currentIndex(), 0);
        QCOMPARE(dlg.lbMessages->count(), 0);

        // Picking a standard lists its messages; Edit works on the selected message only.
        dlg.cbStandards->setCurrentIndex(1);
        QStringList messages;
        for (int i = 0; i < dlg.lbMessages->count(); ++i)
            messages << dlg.lbMessages->item(i)->text();
        QCOMPARE(messages, (QStringList{"INVOIC", "ORDERS", "ORDERS"}));
        dlg.btnMsgEdit->click();
        QVERIFY(events.isEmpty());
        dlg.lbMessages->item(2)->setSelected(true);
        dlg.btnMsgEdit->click();
        dlg.btnStdEdit->click();
        QString std = dir.filePath(QStringLiteral("EDI96"));
        QCOMPARE(events, (QStringList{"edit: " + std + "/ORDERS.mdf", "edit: " + std + "/d96a.sdf"}));

        // The main window's look-up moves the dialog's selection.
        QVERIFY(dlg.SelectStandard("d94a"));
        QCOMPARE(dlg.cbStandards->currentIndex(), 0);
        QCOMPARE(dlg.lbMessages->count(), 0);
        QVERIFY(!dlg.SelectStandard("D01B"));
        QCOMPARE(dlg.cbStandards->currentIndex(), 0);
    }

    void settingsDialogCompiles() {
        QTemporaryDir dir;
        fs::path d96a = fs::path(dir.path().toStdString()) / "D96A";
        fs::create_directories(d96a);
        std::ofstream(d96a / "D96A.sdf") << SegmentSource;
        std::ofstream(d96a / "ORDERS.mdf") << MessageSource;
        std::string dirIni =
            test::WriteIni(temp.filePath(QStringLiteral("compile.ini")).toStdString(), d96a.parent_path());
        form->StartUp({}, dirIni);
        TdlgStdSettings& dlg = *form->Settings;

        dlg.btnMsgComp->click(); // no message selected: nothing
        QVERIFY(!fs::exists(d96a / "ORDERS.MDT"));
        dlg.CompilerSDF1->Modifiable = true; // the dialog compiles tables marked not modifiable
        dlg.btnStdComp->click();
        std::ifstream table(d96a / "D96A.SDT", std::ios::binary);
        char header[9] = {};
        QVERIFY(table.read(header, 9));
        QCOMPARE(int(header[8]), 0);
        dlg.lbMessages->item(0)->setSelected(true);
        dlg.btnMsgComp->click();
        QVERIFY(fs::exists(d96a / "ORDERS.MDT"));
        QVERIFY(events.isEmpty());
        QVERIFY(!dlg.CompilerSDF1->Active());
        QVERIFY(!dlg.CompilerMDF1->Active());

        // The compiled tables read an interchange.
        form->OpenFile(orders);
        QCOMPARE(form->Model->rowCount(), 3);

        // A source with an error: the compiler's text, with a full stop added, and the cursor restored.
        std::ofstream(d96a / "ORDERS.mdf")
            << "MESSAGE 'ORDERS' IDENTIFICATION 65 = 'ORDERS' SEGMENTS 'D96A' STRUCTURE";
        QVERIFY(
            dlg.lbMessages->selectedItems().isEmpty()); // the look-up of the table listed the messages anew
        dlg.lbMessages->item(0)->setSelected(true);
        dlg.btnMsgComp->click();
        QCOMPARE(events, QStringList{"error: ; expected."});
        QVERIFY(!dlg.CompilerMDF1->Active());

        // With no standard at all, Compile of the standard fails on the missing source.
        events.clear();
        dlg.Catalogue.BaseDir.clear();
        dlg.Catalogue.ScanStandards();
        QCOMPARE(dlg.cbStandards->count(), 0);
        dlg.btnStdEdit->click();
        QCOMPARE(events, QStringList{"edit: /.sdf"});
        dlg.btnStdComp->click();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[1], QStringLiteral("error: Source file name must be specified."));
    }

    void settingsDialogOkAndCancel() {
        QTemporaryDir dir;
        for (const char* std : {"A/D95B.sdf", "B/D96A.sdf"}) {
            fs::path p = fs::path(dir.path().toStdString()) / std;
            fs::create_directories(p.parent_path());
            std::ofstream(p) << "";
        }
        form->StartUp({}, Write("okcancel.ini", "[STANDARDS]\nBASEDIR=" + dir.path().toStdString() + "\n"));
        TdlgStdSettings& dlg = *form->Settings;
        QWidget* firstFocus = nullptr;
        auto closeWith = [&](QPushButton* button) {
            QTimer::singleShot(0, &dlg, [&dlg, button, &firstFocus] {
                if (!firstFocus) firstFocus = dlg.focusWidget();
                dlg.cbStandards->setCurrentIndex(1 - dlg.cbStandards->currentIndex());
                button->click();
            });
        };
        closeWith(dlg.btnCancel);
        QVERIFY(!dlg.ShowSettings());
        QCOMPARE(firstFocus, dlg.btnOk); // first in the tab order
        QCOMPARE(dlg.StandardDir(), dir.filePath(QStringLiteral("B")).toStdString()); // the pick stays
        closeWith(dlg.btnOk);
        QVERIFY(dlg.ShowSettings());
        QCOMPARE(dlg.StandardDir(), dir.filePath(QStringLiteral("A")).toStdString());
        QTimer::singleShot(0, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QVERIFY(!dlg.ShowSettings());
        QTimer::singleShot(0, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Return); });
        QVERIFY(dlg.ShowSettings());

        // Enter on a focused button presses that button, not Ok; elsewhere it presses Ok.
        QTimer::singleShot(0, &dlg, [&dlg] {
            dlg.btnStdEdit->setFocus();
            QTest::keyClick(dlg.btnStdEdit, Qt::Key_Return);
            dlg.lbMessages->setFocus();
            QTest::keyClick(dlg.lbMessages, Qt::Key_Return);
        });
        QTimer::singleShot(500, &dlg, [&dlg] { dlg.reject(); }); // in case Enter did not close it
        QVERIFY(dlg.ShowSettings());
        QCOMPARE(events, QStringList{"edit: " + dir.filePath(QStringLiteral("A")) + "/D95B.sdf"});
    }

    // The program itself: errors of the command-line file never end it abnormally.
    void programSurvivesBadFiles() {
        std::string garbage =
            Write("garbage.edi", std::string("UNB+\x01\xFF'UNH''", 12) + std::string(3000, '+'));
        for (const std::string& file :
             {temp.filePath(QStringLiteral("absent.edi")).toStdString(), garbage, orders}) {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            QString png = temp.filePath(QStringLiteral("shot.png"));
            QFile::remove(png);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("TALMIRO_SCREENSHOT"), png);
            env.insert(QStringLiteral("TALMIRO_SELECT"), QStringLiteral("1"));
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(TALMIRO_PROGRAM),
                          {QString::fromStdString(file), QStringLiteral("ignored")});
            QVERIFY(program.waitForFinished(60000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(QFile::exists(png));
            QByteArray errors = program.readAllStandardError();
            if (file != orders)
                QVERIFY2(errors.contains(".\n"), errors.constData()); // the error, with its full stop
        }
    }

    // Help > About names the version, Talmiro's and the UN directories' licences and the Qt it runs on.
    void helpAboutShowsVersionLicenceAndQt() {
        form->StartUp({}, ini);
        QWidget* parent = nullptr;
        QString text;
        auto saved = AboutBoxHook();
        AboutBoxHook() = [&](QWidget* p, const QString& t) {
            parent = p;
            text = t;
        };
        form->miHelpAbout->trigger();
        AboutBoxHook() = saved;
        QCOMPARE(parent, form.get());
        QVERIFY2(text.contains(QStringLiteral("Talmiro " TALMIRO_VERSION)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Apache-2.0")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("copyright of the United Nations")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("LICENAGR.TXT")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("running on Qt ") + QString::fromLatin1(qVersion())),
                 qPrintable(text));
        QVERIFY(events.isEmpty());
    }

    // --version and --help are answered without a display: Qt is not even started.
    void versionAndHelpNeedNoDisplay() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        auto run = [&](const QString& argument) {
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(TALMIRO_PROGRAM), {argument});
            bool finished = program.waitForFinished(30000);
            return std::make_pair(
                finished && program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromLocal8Bit(program.readAllStandardOutput()));
        };
        QCOMPARE(run(QStringLiteral("--version")),
                 std::make_pair(0, QStringLiteral("talmiro " TALMIRO_VERSION "\n")));
        auto [code, help] = run(QStringLiteral("--help"));
        QCOMPARE(code, 0);
        QVERIFY2(help.startsWith(QStringLiteral("Usage: talmiro [FILE]\n")), qPrintable(help));
        QCOMPARE(run(QStringLiteral("-h")).second, help);
    }

    // The real editor launcher: the path is one argument, no shell, and the caller waits for the end.
    void textEditorRuns() {
        std::string script =
            Write("editor.sh", "#!/bin/sh\nsleep 0.2\nfor a in \"$@\"; do echo \"[$a]\"; done > \"$OUT\"\n");
        fs::permissions(script, fs::perms::owner_all);
        QString out = temp.filePath(QStringLiteral("editor.out"));
        qputenv("OUT", out.toLocal8Bit());
        qputenv("TALMIRO_EDITOR", QByteArray::fromStdString(script) + " --wait");
        QCOMPARE(EditorCommand(), (QStringList{QString::fromStdString(script), "--wait"}));
        RunTextEditor(temp.filePath(QStringLiteral("a file; $(rm -rf x).edi")).toStdString());
        QFile result(out); // written before the editor ended, so it is there when the call returns
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(result.readAll()),
                 "[--wait]\n[" + temp.filePath(QStringLiteral("a file; $(rm -rf x).edi")) + "]\n");
        result.close();
        // Quotes of both kinds, a back-quoted command and a line break reach the editor as they are too.
        const QString nasty = temp.filePath(QStringLiteral("it's \"q\" `id` $HOME\n; x.edi"));
        RunTextEditor(nasty.toStdString());
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(result.readAll()), "[--wait]\n[" + nasty + "]\n");

        qputenv("TALMIRO_EDITOR", temp.filePath(QStringLiteral("no-such-editor")).toLocal8Bit());
        RunTextEditor("x.edi"); // cannot be started: nothing happens
        qunsetenv("TALMIRO_EDITOR");
    }

    void shortcutsReachTheirCommands() {
        form->StartUp({}, ini);
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        int asked = 0;
        form->ChooseFile = [&] {
            ++asked;
            return QString::fromStdString(orders);
        };
        QTest::keyClick(form.get(), Qt::Key_F3);
        QCOMPARE(asked, 1);
        QCOMPARE(form->Model->rowCount(), 3);
        QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
        QVERIFY(!form->isVisible());
    }

    // The real boxes: modal, with an OK button, and the text as written even when it looks like markup
    // (error texts quote file names and tags read from the file).
    void boxesShowTextAsWritten() {
        for (auto [show, icon] : {std::pair{defaultHooks.ShowError, QMessageBox::Critical},
                                  std::pair{defaultHooks.ShowInfo, QMessageBox::Information}}) {
            QMessageBox* shown = nullptr;
            Qt::TextFormat format = Qt::AutoText;
            QTimer::singleShot(0, [&] {
                shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!shown) return;
                format = shown->textFormat();
                QCOMPARE(shown->icon(), icon);
                QCOMPARE(shown->standardButtons(), QMessageBox::Ok);
                QCOMPARE(shown->text(),
                         QStringLiteral("Datei <b>x</b>.edi kann nicht ge\u00F6ffnet werden."));
                shown->button(QMessageBox::Ok)->click();
            });
            show(QStringLiteral("Datei <b>x</b>.edi kann nicht ge\u00F6ffnet werden."));
            QVERIFY(shown);
            QCOMPARE(format, Qt::PlainText);
        }
    }

    void questionBoxAsksYesOrNo() {
        for (bool yes : {true, false}) {
            bool shown = false;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                shown = true;
                QCOMPARE(box->icon(), QMessageBox::Question);
                QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
                QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
                QCOMPARE(box->textFormat(), Qt::PlainText);
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            QCOMPARE(defaultHooks.Confirm(QStringLiteral("Open <b>all</b>?")), yes);
            QVERIFY(shown);
        }
    }

    // A file that declares UNOC but carries UTF-8: said in the status bar and listed with the problems.
    void utf8TextUnderASingleByteSet() {
        const std::string path = Write("utf8.edi", "UNB+UNOC:3+S+R+990101:1200+7'\nUNH+1+ORDERS:D:96A:UN'\n"
                                                   "BGM+220+CAF\xC3\x89'\nUNT+3+1'\nUNZ+1+7'\n");
        form->StartUp({}, ini);
        form->miViewStrict->trigger();
        QVERIFY(Guarded([&] { form->OpenFile(path); }));
        QCOMPARE(form->lbProblemCount->text(),
                 QStringLiteral("1 warning. Text is UTF-8, but UNB declares UNOC."));
        QCOMPARE(ProblemRows().size(), 1);
        QVERIFY(ProblemRows()[0].startsWith(QStringLiteral("Text is UTF-8, but UNB declares UNOC")));
    }

    void problemCountTexts() {
        QCOMPARE(ProblemCountText(0, 0), QStringLiteral("No problems found"));
        QCOMPARE(ProblemCountText(1, 0), QStringLiteral("1 error"));
        QCOMPARE(ProblemCountText(0, 1), QStringLiteral("1 warning"));
        QCOMPARE(ProblemCountText(0, 2), QStringLiteral("2 warnings"));
        QCOMPARE(ProblemCountText(3, 1), QStringLiteral("3 errors, 1 warning"));
        QCOMPARE(ProblemCountText(1, 12), QStringLiteral("1 error, 12 warnings"));
    }

    // Under strict checks: every problem listed with its place, the nodes marked up to the message, the
    // error box as without them, and an entry's activation showing its segment.
    void problemsPanelListsMarksAndActivates() {
        const std::string path = Write("problems.edi", Problematic);
        form->StartUp({}, ini);
        QVERIFY(!Guarded([&] { form->OpenFile(path); }));
        QCOMPARE(events.size(), 1);
        const QString box = events[0];
        QCOMPARE(box, QStringLiteral("error: Segment sequence error: BGM expected but DTM found."));
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("1 error"));

        form->miViewStrict->trigger(); // reads the file again
        QCOMPARE(events, (QStringList{box, box}));
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("1 error, 3 warnings"));
        QCOMPARE(
            ProblemRows(),
            (QStringList{"Value \"1377\" of DTM/C507/2005 is longer than 3 characters | 4 DTM | 4:1 | ",
                         "Value \"ICXX\" of CTA/3139 is longer than 3 characters | 6 CTA | 6:1 | SG1/SG2",
                         "Segment count in UNT is \"9\", but there are 7 segments in the message | 8 UNT "
                         "| 8:1 | ",
                         "Segment sequence error: BGM expected but DTM found. | 10 DTM | 10:1 | "}));

        // The texts of the tree stay; the marks go on the nodes concerned and those above them.
        QCOMPARE(TreeLines(*form),
                 (QStringList{"UNB", "ORDERS/D96A: 1", "  UNH", "  BGM", "  DTM", "  Segment Group 1 - 1",
                              "    NAD", "    Segment Group 2 - 1", "      CTA", "  Segment Group 1 - 2",
                              "    NAD", "  UNT", "ORDERS/D96A: 2", "  UNH"}));
        QStringList marks;
        for (QModelIndex index = Node({0}); index.isValid(); index = form->tvMsgStruct->indexBelow(index)) {
            form->tvMsgStruct->expand(index);
            marks << index.data().toString() + QLatin1Char(' ') + MarkOf(index);
        }
        QCOMPARE(marks, (QStringList{"UNB ", "ORDERS/D96A: 1 warning", "UNH ", "BGM ", "DTM warning",
                                     "Segment Group 1 - 1 warning", "NAD ", "Segment Group 2 - 1 warning",
                                     "CTA warning", "Segment Group 1 - 2 ", "NAD ", "UNT warning",
                                     "ORDERS/D96A: 2 error", "UNH error"}));

        // Enter on an entry selects its node and shows the segment.
        form->tvMsgStruct->collapseAll();
        Activate();
        QVERIFY(form->dkProblems->isHidden());
        form->miViewProblems->trigger();
        QVERIFY(form->dkProblems->isVisible());
        form->tvProblems->setFocus();
        form->tvProblems->setCurrentIndex(form->Problems->index(1, 0));
        QTest::keyClick(form->tvProblems, Qt::Key_Return);
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 1, 0}));
        QVERIFY(form->tvMsgStruct->isExpanded(Node({1, 3, 1})));
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("CTA"));
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("CTA+ICXX'"));
        // The error belongs to the node read last before it.
        form->tvProblemsActivate(form->Problems->index(3, 0));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({2, 0}));
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("UNH"));

        // Close empties the list, the marks and the count.
        form->CloseMessageFile();
        QCOMPARE(form->Problems->rowCount(), 0);
        QCOMPARE(form->lbProblemCount->text(), QString());
    }

    void problemsOfAMissingDefinitionAndAValidFile() {
        std::string text = Orders;
        text.replace(text.find("ORDERS:D:96A"), 12, "ORDERS:D:01B");
        std::string unknown = Write("unknown11.edi", text);
        form->StartUp({}, ini);
        QVERIFY(!Guarded([&] { form->OpenFile(unknown); }));
        // The list says what the box says, on one line.
        QCOMPARE(form->Problems->rowCount(), 1);
        QCOMPARE(events.size(), 1);
        QCOMPARE(QStringLiteral("error: ") + form->Problems->index(0, 0).data().toString(),
                 QString(events[0]).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("1 error"));

        form->OpenFile(orders);
        QCOMPARE(form->Problems->rowCount(), 0);
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("No problems found"));
        QVERIFY(!Node({1}).data(Qt::DecorationRole).isValid()); // a valid file: no icons at all
    }

    void strictChecksRecheckAndAreRemembered() {
        std::string text = Problematic;
        text.erase(text.find("UNH+2"), text.find("UNZ") - text.find("UNH+2")); // warnings only
        text.replace(text.find("UNZ+2"), 5, "UNZ+1");
        const std::string path = Write("warnings.edi", text);
        form->StartUp({path}, ini);
        QVERIFY(form->StartUpErrors.empty());
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("No problems found"));
        form->miViewExpandClick();
        Select({1, 2}); // DTM

        form->miViewStrict->trigger();
        QVERIFY(form->miViewStrict->isChecked());
        QVERIFY(events.isEmpty());
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("3 warnings"));
        QCOMPARE(form->Problems->rowCount(), 3);
        // The same node stays selected and shown, the tree as expanded as it was.
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 2}));
        QVERIFY(form->tvMsgStruct->isExpanded(Node({1, 4})));
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("DTM"));
        QCOMPARE(MarkOf(Node({1, 2})), QStringLiteral("warning"));

        // A new window (the next start) checks strictly at once.
        form = std::make_unique<TMainForm>();
        QVERIFY(form->miViewStrict->isChecked());
        form->StartUp({path}, ini);
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("3 warnings"));
        form->miViewStrictClick();
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("No problems found"));
        QCOMPARE(MarkOf(Node({1})), QString());
        QVERIFY(!UserSettings()->value(QStringLiteral("strictChecks")).toBool());

        // Without a file the toggle is only remembered.
        form->CloseMessageFile();
        form->miViewStrictClick();
        QVERIFY(UserSettings()->value(QStringLiteral("strictChecks")).toBool());
        QCOMPARE(form->lbProblemCount->text(), QString());
    }

    void findNextPreviousAndWrap() {
        form->StartUp({orders}, ini);
        Activate();
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(form->tbFind->isVisible());
        QCOMPARE(QApplication::focusWidget(), form->edFind);
        QTest::keyClicks(form->edFind, QStringLiteral("nad"));
        QTest::keyClick(form->edFind, Qt::Key_Return); // tags match, letter case ignored
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        QVERIFY(PanelShown());
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("NAD"));
        QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 4, 0}));
        QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier); // wraps to the start
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier); // and back
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 4, 0}));
        QTest::keyClick(form->edFind, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        QCOMPARE(form->lbFindResult->text(), QString());

        // Values as they stand in the file: a line break inside a segment is not part of its text.
        form->edFind->setText(QStringLiteral("PO1+9"));
        QVERIFY(form->FindSegment(true));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 1}));
        form->edFind->setText(QString::fromUtf8("m\u00C9TRO"));
        QVERIFY(form->FindSegment(false));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        // The only match, found again from itself.
        QVERIFY(form->FindSegment(true));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        form->edFind->setText(QStringLiteral("1234'"));
        QVERIFY(form->FindSegment(true));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({2})); // UNZ, at the top level
        QVERIFY(form->FindSegment(true));                       // UNB, after wrapping
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({0}));

        form->edFind->setText(QStringLiteral("nothing like it"));
        QVERIFY(!form->FindSegment(true));
        QCOMPARE(form->lbFindResult->text(), QStringLiteral("Not found"));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({0}));

        // Nothing selected: forwards from the first node, backwards from the last.
        form->OpenFile(orders);
        form->edFind->setText(QStringLiteral("NAD"));
        QVERIFY(form->FindSegment(false));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 4, 0}));

        QTest::keyClick(form->edFind, Qt::Key_Escape);
        QVERIFY(form->tbFind->isHidden());
        QVERIFY(events.isEmpty());
    }

    void recentFilesKeepOrderLimitAndDropMissingFiles() {
        form->StartUp({}, ini);
        QStringList opened;
        for (int i = 0; i < 10; ++i) {
            const std::string path = Write(QStringLiteral("recent/%1&.edi").arg(i), Orders);
            form->OpenFile(path);
            opened.prepend(QString::fromStdString(path));
        }
        QCOMPARE(form->RecentFiles, opened.mid(0, 8));
        form->OpenFile(opened[5].toStdString()); // opened again: first, and only once
        QStringList expected = opened.mid(0, 8);
        expected.move(5, 0);
        QCOMPARE(form->RecentFiles, expected);
        const QList<QAction*> items = form->miMsgRecent->actions();
        QCOMPARE(items.size(), 8);
        QCOMPARE(items[0]->text(), QStringLiteral("&1 ") + QString(expected[0]).replace("&", "&&"));
        QVERIFY(form->miMsgRecent->menuAction()->isEnabled());

        // A new window lists them too; a file that is gone is reported and leaves the list, and the file
        // displayed stays as it is.
        form = std::make_unique<TMainForm>();
        form->StartUp({}, ini);
        QCOMPARE(form->RecentFiles, expected);
        form->miMsgRecent->actions()[1]->trigger();
        QCOMPARE(form->InterchangeFile, expected[1].toStdString());
        QCOMPARE(form->RecentFiles[0], expected[1]);
        QVERIFY(QFile::remove(expected[2]));
        form->miMsgRecent->actions()[2]->trigger();
        QCOMPARE(events,
                 QStringList{
                     QString::fromUtf8("error: Datei %1 kann nicht ge\u00F6ffnet werden.").arg(expected[2])});
        QCOMPARE(form->RecentFiles.size(), 7);
        QVERIFY(!form->RecentFiles.contains(expected[2]));
        QCOMPARE(form->InterchangeFile, expected[1].toStdString());
        QCOMPARE(form->Model->rowCount(), 3);
        QCOMPARE(form->miMsgRecent->actions().size(), 7);

        // A name given relative to the current directory is kept with its full path.
        const QString here = QDir::currentPath();
        QDir::setCurrent(temp.path());
        form->OpenFile("orders.edi");
        QDir::setCurrent(here);
        QCOMPARE(form->RecentFiles[0], QString::fromStdString(orders));
    }

    void copyRawTextAndDetailLines() {
        form->StartUp({orders}, ini);
        Activate();
        form->miViewExpandClick();
        Select({1, 1}); // BGM, written over two lines
        form->tvMsgStruct->setFocus();
        QTest::keyClick(form->tvMsgStruct, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("BGM+220+PO1+9'"));
        Select({1, 3, 0});
        QTest::keyClick(form->tvMsgStruct, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("NAD+BY+M\u00E9tro'"));
        Select({1}); // not a segment: its text
        QTest::keyClick(form->tvMsgStruct, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ORDERS/D96A: 1"));

        Select({1, 1});
        form->mmFldData->setFocus();
        QTest::keyClick(form->mmFldData, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), form->mmFldData->toPlainText());
        QVERIFY(QApplication::clipboard()->text().count(QLatin1Char('\n')) == 4);
        // A selection is copied as it is.
        QTextCursor cursor = form->mmFldData->textCursor();
        cursor.setPosition(0);
        cursor.setPosition(4, QTextCursor::KeepAnchor);
        form->mmFldData->setTextCursor(cursor);
        QTest::keyClick(form->mmFldData, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("C002"));
        form->mmSegmData->setFocus();
        QTest::keyClick(form->mmSegmData, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("BGM+220+PO1+9'"));
    }

    void windowLayoutIsRemembered() {
        form->StartUp({}, ini);
        form->show();
        form->resize(900, 650);
        form->Splitter1->setSizes({320, 560});
        form->miViewProblems->trigger();
        QVERIFY(form->close());
        const QSize size = form->size();
        const int treeWidth = form->Splitter1->sizes().value(0);
        QCOMPARE(size, QSize(900, 650));

        form = std::make_unique<TMainForm>();
        form->StartUp({}, ini);
        form->show();
        QCOMPARE(form->size(), size);
        QCOMPARE(form->Splitter1->sizes().value(0), treeWidth);
        QVERIFY(form->dkProblems->isVisible());
        QVERIFY(form->miViewProblems->isChecked());
        QVERIFY(form->tbFind->isHidden());
    }

    // The screenshot options of the program: strict checks and the problems panel at a given size.
    void programShowsProblemsUnattended() {
        const std::string path = Write("shot-problems.edi", Problematic);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString png = temp.filePath(QStringLiteral("problems.png"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TALMIRO_SCREENSHOT"), png);
        env.insert(QStringLiteral("TALMIRO_STRICT"), QStringLiteral("1"));
        env.insert(QStringLiteral("TALMIRO_PROBLEMS"), QStringLiteral("1"));
        env.insert(QStringLiteral("TALMIRO_WINDOW_SIZE"), QStringLiteral("800x600"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TALMIRO_PROGRAM), {QString::fromStdString(path)});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QImage(png).size(), QSize(800, 600));
        // Nothing of this run became a preference.
        QVERIFY(!UserSettings()->value(QStringLiteral("strictChecks")).toBool());
    }

    // Last, as the code lists once read stay with the process.
    void codeNamesInTheDetailsAndCodeChecks() {
        const std::string codes = Write("std/D96A/CODES.CLT", "EDIFACT CODE LISTS 1\n=1001\n220\tOrder\n"
                                                              "=3035\nSU\tSupplier\n");
        form->StartUp({orders}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 1}); // BGM
        QCOMPARE(form->mmFldData->toPlainText().split(QLatin1Char('\n')).at(1),
                 QStringLiteral("  1001    [220] Order                   Document/message name, coded"));
        QCOMPARE(form->lbProblemCount->text(), QStringLiteral("No problems found"));

        form->miViewStrict->trigger();
        const QStringList rows = ProblemRows();
        QCOMPARE(rows.size(), 1);
        QVERIFY2(
            rows[0].contains(QStringLiteral("Code \"BY\" of NAD/3035 (PARTY QUALIFIER) is not in the code "
                                            "list of D96A")),
            qPrintable(rows[0]));
        form->miViewStrict->trigger();
        std::filesystem::remove(codes);
    }

    // --- Editing and saving.

    // The interchange as the window shows it, edits included.
    std::string ShownText() const {
        TStream& shown = form->Shown();
        std::string text(static_cast<size_t>(shown.Size()), '\0');
        shown.Seek(0);
        text.resize(shown.Read(text.data(), text.size()));
        return text;
    }

    bool Modified() const { return form->windowTitle().endsWith(QStringLiteral(" [modified]")); }

    // A value is written with the release character where it holds a separator, shown as typed; the tree's
    // marks and the problems follow the edit; Ctrl+Z and Ctrl+Shift+Z take it back and forth.
    void editValueUndoRedo() {
        form->StartUp({orders}, ini);
        Activate();
        form->miViewStrict->trigger();
        const size_t problems = form->Problems->Diagnostics().size();
        form->tvMsgStruct->expandAll();
        Select({1, 3, 0}); // NAD+BY+Métro
        QStringList asked;
        form->AskText = [&](const QString& label, QString& text) {
            asked << label + QStringLiteral(" = ") + text;
            text = QStringLiteral("A+B'C:D");
            return true;
        };
        form->EditValue(1);
        QCOMPARE(asked, QStringList{QString::fromUtf8("NAD 3036 PARTY NAME = M\u00E9tro")});
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("NAD+BY+A?+B?'C?:D'"));
        QVERIFY(form->mmFldData->toPlainText().contains(QStringLiteral("[A+B'C:D]")));
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3, 0}));
        QVERIFY(Modified());
        QCOMPARE(test::ReadAll(orders), std::string(Orders)); // the file waits for Save

        Select({1, 3, 1, 0}); // CTA+IC: a contact function longer than 3 breaks the strict checks
        form->AskText = [](const QString&, QString& text) { return text = QStringLiteral("ICXX"), true; };
        form->EditValue(0);
        QCOMPARE(form->Problems->Diagnostics().size(), problems + 1);
        QVERIFY(!MarkOf(Node({1, 3, 1, 0})).isEmpty());
        Select({1, 1}); // BGM: the second component of C002 is the details' third line
        form->AskText = [](const QString&, QString& text) { return text = QStringLiteral("X"), true; };
        form->EditValue(2);
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("BGM+220:X+PO1+9'"));
        QVERIFY(!Guarded([&] { form->EditValue(0); })); // C002's own line holds no value
        form->miEditUndo->trigger();

        QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->Problems->Diagnostics().size(), problems);
        QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ShownText(), std::string(Orders));
        QVERIFY(!Modified());
        QVERIFY(!form->miEditUndo->isEnabled());
        QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        Select({1, 3, 0});
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("NAD+BY+A?+B?'C?:D'"));
        QVERIFY(Modified());
    }

    // A segment's text replaced; a segment inserted of a tag the structure allows there; a segment and a
    // whole group repetition deleted, with their line ends; each undone again.
    void editTextInsertAndDelete() {
        form->StartUp({orders}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 1}); // BGM, written over two lines
        form->AskText = [](const QString&, QString& text) {
            return text = QStringLiteral("BGM+220+PO2+9"), true;
        };
        form->EditSegmentText();
        std::string expected = Orders;
        expected.replace(expected.find("BGM+220+PO\r\n1+9'"), 16, "BGM+220+PO2+9'");
        QCOMPARE(ShownText(), expected);

        Select({1, 2}); // DTM
        QStringList offered;
        form->ChooseItem = [&](const QString&, const QStringList& items) {
            offered = items;
            return QStringLiteral("DTM");
        };
        form->AskText = [](const QString&, QString& text) { return text += QStringLiteral("2:1996"), true; };
        form->InsertSegment();
        QCOMPARE(offered, (QStringList{"DTM", "NAD", "UNT"}));
        expected.insert(expected.find("NAD+BY"), "DTM+2:1996'\r\n");
        QCOMPARE(ShownText(), expected);
        QCOMPARE(form->tvMsgStruct->currentIndex(), Node({1, 3}));
        QCOMPARE(form->lbSegmID->text(), QStringLiteral("DTM"));

        form->DeleteNode(); // the new DTM
        Select({1, 4});     // Segment Group 1 - 2: NAD+SU
        form->DeleteNode();
        expected.erase(expected.find("DTM+2:1996'\r\n"), 13);
        expected.erase(expected.find("NAD+SU'\r\n"), 9);
        QCOMPARE(ShownText(), expected);
        QVERIFY(!TreeLines(*form).contains(QStringLiteral("  Segment Group 1 - 2")));

        Select({0}); // UNB: no message, no structure to choose from
        QVERIFY(!Guarded([&] { form->InsertSegment(); }));
        for (int i = 0; i < 4; ++i)
            form->miEditUndo->trigger();
        QCOMPARE(ShownText(), std::string(Orders));
    }

    // Save writes the edits through a temporary file: a failure half-way leaves the file and the edits as
    // they were; a save that succeeds clears the mark and the tree reads the saved file.
    void saveFailingHalfWayKeepsTheFile() {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("o.edi")).toStdString();
        test::WriteFile(path, Orders);
        form->StartUp({path}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 2});
        form->AskText = [](const QString&, QString& text) {
            return text = QStringLiteral("DTM+2:1996"), true;
        };
        form->EditSegmentText();
        form->OnSaving = [](int64_t) { throw Exception("Disk full"); };
        QVERIFY(!Guarded([&] { form->Save(); }));
        QCOMPARE(events.last(), QStringLiteral("error: Disk full."));
        QCOMPARE(test::ReadAll(path), std::string(Orders));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"o.edi"});
        QVERIFY(Modified());

        form->OnSaving = nullptr;
        QVERIFY(form->Save());
        const std::string saved = ShownText();
        QCOMPARE(test::ReadAll(path), saved);
        QVERIFY(saved.find("DTM+2:1996'") != std::string::npos);
        QVERIFY(!Modified());
        Select({1, 2});
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("DTM+2:1996'"));
    }

    // Save in each layout: as it was, one segment per line (with the file's own CR LF), one line; the
    // window then shows the saved file.
    void saveInEachLayout() {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("o.edi")).toStdString();
        test::WriteFile(path, Orders);
        form->StartUp({path}, ini);
        std::string oneLine = Orders;
        std::erase_if(oneLine, [](char c) { return c == '\r' || c == '\n'; });
        std::string lines;
        for (char c : oneLine)
            lines += c == '\'' ? std::string("'\r\n") : std::string(1, c);

        form->miLayoutLines->trigger();
        QVERIFY(form->Save());
        QCOMPARE(test::ReadAll(path), lines);
        form->tvMsgStruct->expandAll();
        Select({1, 1});
        QCOMPARE(form->mmSegmData->toPlainText(), QStringLiteral("BGM+220+PO1+9'"));
        form->miLayoutOneLine->trigger();
        QVERIFY(form->Save());
        QCOMPARE(test::ReadAll(path), oneLine);
        form->miLayoutKeep->trigger();
        QVERIFY(form->Save());
        QCOMPARE(test::ReadAll(path), oneLine);
        QCOMPARE(TreeLines(*form), WholeTreeLines(form->Settings->Catalogue, path));
    }

    // Fix control counts lists the changes and makes them only when the user agrees, as one step to undo.
    void fixControlCountsAsksFirst() {
        std::string wrong = Orders;
        wrong.replace(wrong.find("UNT+7+1'"), 8, "UNT+9+2'");
        wrong.replace(wrong.find("UNZ+1+1234'"), 11, "UNZ+3+1234'");
        form->StartUp({Write(QStringLiteral("counts.edi"), wrong)}, ini);
        confirm = false;
        form->miEditFixControl->trigger();
        QVERIFY(events.last().startsWith(
            QStringLiteral("confirm: These changes will be made:\n\nSegment 8: UNT segment count 9 ")));
        QCOMPARE(events.last().count(QStringLiteral("\nSegment ")),
                 3); // count and reference of UNT, UNZ's count
        QCOMPARE(ShownText(), wrong);
        confirm = true;
        form->miEditFixControl->trigger();
        QCOMPARE(ShownText(), std::string(Orders));
        form->miEditFixControl->trigger();
        QCOMPARE(events.last(),
                 QStringLiteral("info: The control counts and references are right; nothing to fix."));
        form->miEditUndo->trigger();
        QCOMPARE(ShownText(), wrong);
    }

    // Export writes the interchange as shown, edits included, in the format chosen.
    void exportShowsTheEdits() {
        form->StartUp({orders}, ini);
        form->tvMsgStruct->expandAll();
        Select({1, 1});
        form->AskText = [](const QString&, QString& text) { return text = QStringLiteral("PO2"), true; };
        form->EditValue(3); // 1004, after C002's three lines
        QTemporaryDir dir;
        const std::string target = dir.filePath(QStringLiteral("o.csv")).toStdString();
        form->ChooseExportFile = [&](TExportFormat& format) {
            format = TExportFormat::Csv;
            return QString::fromStdString(target);
        };
        form->miMsgExport->trigger();
        const std::string csv = test::ReadAll(target);
        QVERIFY(csv.find("PO2") != std::string::npos);
        QVERIFY(csv.find("PO1") == std::string::npos);
        QCOMPARE(test::ReadAll(orders), std::string(Orders));
    }

    // Opening another file, closing it or the window asks before unsaved edits go: Cancel keeps them,
    // Discard drops them, Save saves first.
    void unsavedEditsAskFirst() {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("o.edi")).toStdString();
        test::WriteFile(path, Orders);
        form->StartUp({path}, ini);
        Activate();
        form->tvMsgStruct->expandAll();
        Select({1, 2});
        form->AskText = [](const QString&, QString& text) {
            return text = QStringLiteral("DTM+2:1996"), true;
        };
        int answer = QMessageBox::Cancel, asked = 0;
        form->AskToSave = [&](const QString&) { return ++asked, answer; };
        form->EditSegmentText();
        form->OpenFile(orders);
        form->miMsgClose->trigger();
        QVERIFY(!form->close());
        QCOMPARE(asked, 3);
        QVERIFY(Modified());
        QCOMPARE(form->InterchangeFile, path);

        answer = QMessageBox::Discard;
        form->OpenFile(orders);
        QCOMPARE(form->InterchangeFile, orders);
        QVERIFY(!Modified());
        QCOMPARE(test::ReadAll(path), std::string(Orders));

        form->OpenFile(path);
        Select({1, 2});
        form->EditSegmentText();
        answer = QMessageBox::Save;
        QVERIFY(form->close());
        QCOMPARE(asked, 5);
        QVERIFY(test::ReadAll(path).find("DTM+2:1996'") != std::string::npos);
    }

    // An untouched interchange saves to the same bytes, whatever it holds: every sample.
    void untouchedSamplesSaveToTheSameBytes() {
        QTemporaryDir dir;
        const std::string target = dir.filePath(QStringLiteral("saved.edi")).toStdString();
        int files = 0;
        for (const char* folder :
             {TALMIRO_SOURCE_DIR "/samples", TALMIRO_SOURCE_DIR "/../shared/data/samples"}) {
            if (!fs::is_directory(folder)) continue;
            for (const auto& entry : fs::recursive_directory_iterator(folder)) {
                if (!entry.is_regular_file() || entry.path().filename() == "MANIFEST.tsv") continue;
                const std::string path = entry.path().string();
                try {
                    form->OpenFile(path);
                } catch (const std::exception&) { // read as far as it goes, as the window shows it
                }
                QVERIFY2(form->SaveTo(target), path.c_str());
                QVERIFY2(test::ReadAll(target) == test::ReadAll(path), path.c_str());
                form->CloseMessageFile(); // the saved file became the displayed one
                ++files;
            }
        }
        QVERIFY(files > 0);
    }

    // A guideline chosen by the partner file with strict checks on, then by hand: the tree, the details, the
    // problems and the settings show it, and None takes it away again.
    void guidelines() {
        const QString folder = base + QStringLiteral("/guidelines");
        QVERIFY(QDir().mkpath(folder));
        const std::string source = test::WriteFile((folder + QStringLiteral("/acme.gdf")).toStdString(),
                                                   "GUIDELINE 'ACME-ORDERS' 'Acme purchase order';\n"
                                                   "MESSAGE 'ORDERS' 'D' '96A' 'UN';\n"
                                                   "SEGMENT 'DTM' QUALIFIER 'C507/2005';\n"
                                                   "  VARIANT '137' REQUIRED MAX 1 NAME 'Order date';\n"
                                                   "    ELEMENT 'C507/2380' LENGTH (8:8) NOTE 'CCYYMMDD';\n"
                                                   "  END;\n"
                                                   "END;\n"
                                                   "SEGMENT 'SG1/SG2/CTA' NOT USED; END;\n"
                                                   "END;\n");
        TCompilerGDF compiler;
        compiler.SetSourceFile(source);
        compiler.Compile();
        const std::string partners = test::WriteFile((base + QStringLiteral("/partners.ini")).toStdString(),
                                                     "[SENDER]\nguidelines = ACME-ORDERS\n");
        struct Remove {
            QString Folder;
            std::string Partners;
            ~Remove() { // the other tests see no guideline
                QDir(Folder).removeRecursively();
                QFile::remove(QString::fromStdString(Partners));
            }
        } remove{folder, partners};
        const QString notUsed = QStringLiteral("Guideline ACME-ORDERS: Segment SG1/SG2/CTA is not used");
        auto warned = [&] { return ProblemRows().filter(notUsed).size(); };

        form->StartUp({}, ini);
        form->miViewStrict->trigger();
        form->OpenFile(orders);
        QCOMPARE(Node({1}).data().toString(), QStringLiteral("ORDERS/D96A: 1 [ACME-ORDERS]"));
        QCOMPARE(warned(), 1);
        Select({1, 2}); // DTM
        QCOMPARE(form->lbSegmDesc->text(),
                 QStringLiteral("DATE/TIME/PERIOD | ACME-ORDERS DTM; with C507/2005 \"137\": required; "
                                "at most 1; Order date"));
        const QStringList lines = form->mmFldData->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3); // the lines the editing commands count on
        QVERIFY2(lines[2].endsWith(QStringLiteral("Date/time/period | length 8 to 8; CCYYMMDD")),
                 qPrintable(lines[2]));
        QVERIFY(!lines[1].contains(QLatin1Char('|')));
        QCOMPARE(form->Settings->lbGuidelines->count(), 1);
        QCOMPARE(form->Settings->lbGuidelines->item(0)->text(), QStringLiteral("ACME-ORDERS"));

        QStringList offered;
        QString answer = QStringLiteral("None");
        form->ChooseItem = [&](const QString&, const QStringList& items) {
            offered = items;
            return answer;
        };
        form->ChooseGuidelineFor(form->Model->NodeOf(Node({1, 3}))); // a node below the message will do
        QCOMPARE(offered, (QStringList{QStringLiteral("Automatic (association code or partner file)"),
                                       QStringLiteral("None"),
                                       QStringLiteral("ACME-ORDERS - Acme purchase order (ORDERS D96A)"),
                                       QStringLiteral("From a file...")}));
        QCOMPARE(Node({1}).data().toString(), QStringLiteral("ORDERS/D96A: 1"));
        QCOMPARE(warned(), 0);

        // By hand it applies without strict checks too, here to a message no partner names.
        QFile::remove(QString::fromStdString(partners));
        form->miViewStrict->trigger();
        form->OpenFile(orders);
        QVERIFY(form->ChosenGuidelines.empty()); // the choice was the other file's
        answer = offered[2];
        form->ChooseGuidelineFor(form->Model->NodeOf(Node({1})));
        QCOMPARE(Node({1}).data().toString(), QStringLiteral("ORDERS/D96A: 1 [ACME-ORDERS]"));
        QCOMPARE(warned(), 1);
        QVERIFY_THROWS_EXCEPTION(Exception, form->ChooseGuidelineFor(form->Model->NodeOf(Node({0})))); // UNB
    }

    void errorTextRule() {
        QCOMPARE(ErrorDisplayText("Segment UNH expected"), std::string("Segment UNH expected."));
        QCOMPARE(ErrorDisplayText("Value 12"), std::string("Value 12."));
        QCOMPARE(ErrorDisplayText("Illegal field identifier."), std::string("Illegal field identifier."));
        QCOMPARE(ErrorDisplayText("; expected "), std::string("; expected "));
        QCOMPARE(ErrorDisplayText("File ends with -"), std::string("File ends with -"));  // '-' is below '.'
        QCOMPARE(ErrorDisplayText("Path ends with /"), std::string("Path ends with /.")); // '/' is above '.'
        QCOMPARE(ErrorDisplayText("kann nicht ge\xC3\xB6"
                                  "ffnet werden"),
                 std::string("kann nicht ge\xC3\xB6"
                             "ffnet werden."));
        QCOMPARE(ErrorDisplayText(""), std::string());
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
