#include "ui_support.h"

#include "error_text.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <stdexcept>

namespace talmiro {

namespace {

QWidget* BoxParent() {
    QWidget* w = QApplication::activeModalWidget();
    return w ? w : QApplication::activeWindow();
}

// A box shown in the middle of a busy action (a report while a table loads) gets the normal cursor.
void ExecBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Talmiro"), text, QMessageBox::Ok, BoxParent());
    box.setTextFormat(Qt::PlainText); // texts quote file names and tags read from files
    bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    box.exec();
    if (busy) QApplication::restoreOverrideCursor();
}

void DefaultShowError(const QString& text) {
    ExecBox(QMessageBox::Critical, text);
}
void DefaultShowInfo(const QString& text) {
    ExecBox(QMessageBox::Information, text);
}

bool DefaultConfirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Talmiro"), text,
                    QMessageBox::Yes | QMessageBox::No, BoxParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

TUiHooks& UiHooks() {
    static TUiHooks hooks{DefaultShowError, DefaultShowInfo, RunTextEditor, DefaultConfirm};
    return hooks;
}

void ShowException(const std::exception& error) {
    // Our own texts are UTF-8 (the file layer's German texts included).
    QString text = QString::fromUtf8(ErrorDisplayText(error.what()));
    if (UiHooks().ShowError) UiHooks().ShowError(text);
}

bool Guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(std::runtime_error("Unknown error"));
    }
    return false;
}

QStringList EditorCommand() {
    for (const char* var : {"TALMIRO_EDITOR", "VISUAL", "EDITOR"}) {
        QString value = qEnvironmentVariable(var).trimmed();
        if (value.isEmpty()) continue;
        QStringList command = QProcess::splitCommand(value);
        if (!command.isEmpty()) return command;
    }
    for (const char* name : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "xed", "pluma",
                             "leafpad", "featherpad"}) {
        QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!program.isEmpty()) return {program};
    }
    return {};
}

void RunTextEditor(const std::string& path) {
    QStringList command = EditorCommand();
    if (command.isEmpty()) return;
    QString program = command.takeFirst();
    command << QFile::decodeName(QByteArray::fromStdString(path));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, command);
    if (!process.waitForStarted(-1)) return;
    // The window is not serviced while the editor runs, as with a modal dialog.
    process.waitForFinished(-1);
}

QString DisplayText(const std::string& bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                : QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FileNameBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::unique_ptr<QSettings> UserSettings() {
    return std::make_unique<QSettings>(QStringLiteral("talmiro"), QStringLiteral("talmiro"));
}

TBusyCursor::TBusyCursor() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}
TBusyCursor::~TBusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace talmiro
