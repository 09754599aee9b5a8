// What the program says about itself: the About box, --version and --help.
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace talmiro {

// "talmiro <version>".
std::string VersionText();
// The usage and options of the viewer's command line, as printed by --help.
std::string UsageText();
// The About box's text (rich text): version, the licence notice of the UN directories, the Qt version the
// program was built with and the one it runs on.
QString AboutText();

// Shows the About box over the parent. A replaceable hook, so that tests never wait for a click; by
// default the usual modal box with the application's icon.
std::function<void(QWidget* parent, const QString& text)>& AboutBoxHook();

// Handles --version and --help given as the only argument: prints to standard output and gives the exit
// code. Any other command line is left to the window (nothing is returned).
std::optional<int> HandleInfoOption(const std::vector<std::string>& args);

} // namespace talmiro
