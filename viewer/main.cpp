// The program: the main window and the settings dialog, start-up, then the event loop.
#include "about.h"
#include "error_text.h"
#include "main_form.h"
#include "tree_model.h"
#include "ui_support.h"

#include <QApplication>
#include <QDockWidget>
#include <QIcon>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The last line of defence: an error that escapes a handler is shown, never fatal.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            talmiro::ShowException(error);
        } catch (...) {
            talmiro::ShowException(std::runtime_error("Unknown error"));
        }
        return false;
    }
};

// For screenshots and unattended runs: TALMIRO_SELECT=<n> selects the n-th node in the order of the
// tree (0 is the first); TALMIRO_SCREENSHOT=<file.png> saves the window and ends the program;
// TALMIRO_STRICT=1 reads with strict checks, TALMIRO_PROBLEMS=1 shows the problems panel and
// TALMIRO_WINDOW_SIZE=<width>x<height> sizes the window, none of them saved as the user's preferences;
// TALMIRO_EDIT=<line>=<text> then sets the value on that line of the selected segment's details (from 0).
void SelectNode(talmiro::TMainForm& form, long n) {
    const talmiro::TOnDemandTree& tree = form.EdiReader->OnDemandTree();
    // Node numbers are the tree's order, parents before children.
    if (n >= 0 && tree.Contains(static_cast<int32_t>(n))) form.SelectTreeNode(static_cast<int32_t>(n));
}

void ApplyUnattendedOptions(talmiro::TMainForm& form) {
    if (qEnvironmentVariableIsSet("TALMIRO_STRICT"))
        form.miViewStrict->setChecked(qEnvironmentVariableIntValue("TALMIRO_STRICT") != 0);
    if (qEnvironmentVariableIsSet("TALMIRO_PROBLEMS"))
        form.dkProblems->setVisible(qEnvironmentVariableIntValue("TALMIRO_PROBLEMS") != 0);
    const QStringList size = qEnvironmentVariable("TALMIRO_WINDOW_SIZE").split(QLatin1Char('x'));
    bool width = false, height = false;
    if (size.size() == 2) {
        const int w = size[0].toInt(&width), h = size[1].toInt(&height);
        if (width && height && w > 0 && h > 0) form.resize(w, h);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that they work without a display.
    if (auto code =
            talmiro::HandleInfoOption(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc)))
        return *code;
    TApplication app(argc, argv);
    // The desktop entry and the icon an installed copy provides.
    QApplication::setDesktopFileName(QStringLiteral(TALMIRO_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(TALMIRO_APP_ID)));
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    const QString screenshot = qEnvironmentVariable("TALMIRO_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        // Unattended: boxes go to standard error instead of waiting for a click.
        talmiro::UiHooks().ShowError = [](const QString& text) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        };
        talmiro::UiHooks().ShowInfo = talmiro::UiHooks().ShowError;
    }

    talmiro::TMainForm form;
    ApplyUnattendedOptions(form);
    // The window shows before the file named is read, so that a large one reads under its progress dialog.
    form.show();
    form.StartUp(args);
    QTimer::singleShot(0, &form, [&form, screenshot] {
        form.ShowStartUpErrors();
        if (qEnvironmentVariableIsSet("TALMIRO_SELECT"))
            SelectNode(form, qEnvironmentVariableIntValue("TALMIRO_SELECT"));
        const QString edit = qEnvironmentVariable("TALMIRO_EDIT");
        if (!edit.isEmpty()) {
            form.AskText = [edit](const QString&, QString& text) {
                return text = edit.section(QLatin1Char('='), 1), true;
            };
            talmiro::Guarded([&] { form.EditValue(edit.section(QLatin1Char('='), 0, 0).toInt()); });
        }
        if (!screenshot.isEmpty()) {
            QTimer::singleShot(200, &form, [&form, screenshot] {
                bool saved = form.grab().save(screenshot);
                if (!saved) std::fprintf(stderr, "cannot write %s\n", qPrintable(screenshot));
                QApplication::exit(saved ? 0 : 1);
            });
        }
    });
    return app.exec();
}
