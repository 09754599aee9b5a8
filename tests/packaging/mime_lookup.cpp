// Prints, for each file named, the MIME type the desktop's shared database gives it and the types it
// inherits from, as file managers see them.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QMimeType>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QMimeDatabase db;
    QTextStream out(stdout);
    for (const QString& file : app.arguments().mid(1)) {
        QMimeType type = db.mimeTypeForFile(file);
        out << file << ' ' << type.name();
        for (const QString& parent : type.parentMimeTypes())
            out << ' ' << parent;
        out << '\n';
    }
    return 0;
}
