// The files opened last, newest first, kept in the user's preferences and shown in Messages > Recent files.
#include "main_form.h"

#include "ui_support.h"

#include "talmiro/streams.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace talmiro {

void TMainForm::LoadRecentFiles() {
    RecentFiles = UserSettings()->value(QStringLiteral("recentFiles")).toStringList().mid(0, MaxRecentFiles);
    RebuildRecentMenu();
}

void TMainForm::SaveRecentFiles(const QStringList& files) {
    RecentFiles = files.mid(0, MaxRecentFiles);
    UserSettings()->setValue(QStringLiteral("recentFiles"), RecentFiles);
    RebuildRecentMenu();
}

void TMainForm::AddRecentFile(const std::string& path) {
    const QString file = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absoluteFilePath();
    // Another window may have opened files meanwhile: its list is the one to add to.
    QStringList files = UserSettings()->value(QStringLiteral("recentFiles")).toStringList();
    files.removeAll(file);
    files.prepend(file);
    SaveRecentFiles(files);
}

void TMainForm::RebuildRecentMenu() {
    // The old items go later: the one chosen may be the sender of the call that lands here.
    for (QAction* item : miMsgRecent->actions()) {
        miMsgRecent->removeAction(item);
        item->deleteLater();
    }
    for (int i = 0; i < RecentFiles.size(); ++i) {
        const QString file = RecentFiles[i];
        QString caption = file;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = miMsgRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(caption));
        connect(item, &QAction::triggered, this,
                [this, file] { Guarded([&] { miMsgRecentFileClick(file); }); });
    }
    miMsgRecent->menuAction()->setEnabled(!RecentFiles.isEmpty());
}

void TMainForm::miMsgRecentFileClick(const QString& path) {
    const std::string file = FileNameBytes(path);
    // A file that cannot be opened leaves the displayed one as it is; a file that is gone leaves the list.
    try {
        TFileStream probe(file);
    } catch (const std::exception&) {
        if (!QFileInfo::exists(path)) {
            QStringList files = UserSettings()->value(QStringLiteral("recentFiles")).toStringList();
            files.removeAll(path);
            SaveRecentFiles(files);
        }
        throw;
    }
    OpenFile(file);
}

} // namespace talmiro
