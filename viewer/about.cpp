#include "about.h"

#include <QMessageBox>
#include <QtGlobal>

#include <cstdio>

namespace talmiro {

std::string VersionText() {
    return std::string("talmiro ") + TALMIRO_VERSION;
}

std::string UsageText() {
    return "Usage: talmiro [FILE]\n"
           "       talmiro --version | --help\n"
           "\n"
           "Views a UN/EDIFACT interchange and checks every message against the definition of its\n"
           "message type and directory release. FILE is opened at start; without it the window starts\n"
           "empty.\n"
           "\n"
           "Options:\n"
           "  -h, --help  Print this help message and exit\n"
           "  --version   Print the version and exit\n"
           "\n"
           "The standards are found through BASEDIR in section STANDARDS of the first TALMIRO.INI found\n"
           "beside the executable, in $XDG_CONFIG_HOME/talmiro (by default ~/.config/talmiro) or in\n"
           "/etc/talmiro.\n";
}

QString AboutText() {
    return QStringLiteral("<h3>Talmiro %1</h3>"
                          "<p>A viewer and validator for UN/EDIFACT interchanges.</p>"
                          "<p>Talmiro is published under the Apache License 2.0 (SPDX: Apache-2.0).</p>"
                          "<p>The UN/EDIFACT Directories are copyright of the United Nations and are "
                          "licensed, not sold. Talmiro carries the original directory archives unmodified "
                          "together with the UN's licence agreement (LICENAGR.TXT beside the archives) and "
                          "generates its definition tables from them on this computer.</p>"
                          "<p>Built with Qt %2, running on Qt %3.</p>")
        .arg(QStringLiteral(TALMIRO_VERSION), QStringLiteral(QT_VERSION_STR),
             QString::fromLatin1(qVersion()));
}

std::function<void(QWidget* parent, const QString& text)>& AboutBoxHook() {
    static std::function<void(QWidget*, const QString&)> hook = [](QWidget* parent, const QString& text) {
        QMessageBox::about(parent, QStringLiteral("About Talmiro"), text);
    };
    return hook;
}

std::optional<int> HandleInfoOption(const std::vector<std::string>& args) {
    if (args.size() != 1) return std::nullopt;
    if (args[0] == "--version") {
        std::printf("%s\n", VersionText().c_str());
        return 0;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace talmiro
