// What the windows share: the error and information boxes, the external text editor, the busy cursor and
// the conversion of interchange bytes to display text. The boxes and the editor go through replaceable
// hooks so that tests and unattended runs never block on a modal window or a foreign process.
#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>
#include <string>

class QSettings;
class QWidget;

namespace talmiro {

struct TUiHooks {
    // A modal critical box with an OK button; the text is already in its final form.
    std::function<void(const QString& text)> ShowError;
    // A modal information box with an OK button.
    std::function<void(const QString& text)> ShowInfo;
    // Runs the text editor on the file and waits until it ends.
    std::function<void(const std::string& path)> EditFile;
    // A modal question with Yes and No buttons, No the default; true for Yes.
    std::function<bool(const QString& text)> Confirm;
};

// The process-wide hooks, set to the interactive defaults.
TUiHooks& UiHooks();

// Runs an action of a handler; an error it raises goes to the error display. True when it succeeded.
bool Guarded(const std::function<void()>& action);
// Shows an error as the application's top level does.
void ShowException(const std::exception& error);

// The editor's program and leading arguments: TALMIRO_EDITOR, VISUAL or EDITOR (split like a command
// line, without a shell), else the first of the usual desktop text editors found on PATH. Empty when
// there is none.
QStringList EditorCommand();
// Starts the editor with the path as its last argument and waits until it ends; when it cannot be
// started nothing happens.
void RunTextEditor(const std::string& path);

// Interchange bytes as text: bytes 127..255 are Latin-1 characters unless the interchange declares
// the UTF-8 syntax (UNOY).
QString DisplayText(const std::string& bytes, bool utf8);
// File names are bytes on this platform; the local 8-bit encoding maps them both ways.
std::string FileNameBytes(const QString& path);

// The user's preferences (recent files, strict checks, the window's layout), kept in the user's
// configuration directory as talmiro/talmiro. TALMIRO.INI is configuration and is never written.
std::unique_ptr<QSettings> UserSettings();

// Shows the busy cursor for the lifetime of the object.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace talmiro
