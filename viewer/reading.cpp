#include "reading.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QLocale>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>

namespace talmiro {

QString TBackgroundReading::ProgressText(int64_t bytes, int64_t size, int64_t messages) {
    const QLocale c(QLocale::English, QLocale::UnitedStates);
    auto mb = [&](int64_t n) { return c.toString(static_cast<double>(n) / 1e6, 'f', 1); };
    return QStringLiteral("%1 of %2 MB, %3 %4")
        .arg(mb(bytes), mb(size), c.toString(static_cast<qlonglong>(messages)),
             messages == 1 ? QStringLiteral("message") : QStringLiteral("messages"));
}

void TBackgroundReading::Run(QWidget* window, const QString& fileName, int64_t size,
                             const std::function<void()>& work) {
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            if (BeforeWork) BeforeWork();
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    bool done = false;
    QObject::connect(thread.get(), &QThread::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    thread->start();

    // Until the dialog shows, input waits: the window must not start another action meanwhile.
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
    delay.start(DialogDelay);
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (!done) {
        QProgressDialog dialog(window);
        dialog.setObjectName(QStringLiteral("dlgReading"));
        dialog.setWindowTitle(QStringLiteral("Talmiro"));
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(0);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setRange(0, 1000);
        // Wide enough for the largest figures, so that it does not grow while they do.
        dialog.setMinimumWidth(
            dialog.fontMetrics().horizontalAdvance(ProgressText(size, size, size / 10 + 1)) + 80);
        const QString reading = QStringLiteral("%1 %2").arg(Verb, fileName);
        auto update = [&] {
            const int64_t bytes = Bytes.load(std::memory_order_relaxed);
            dialog.setLabelText(reading + QLatin1Char('\n') +
                                ProgressText(bytes, size, Messages.load(std::memory_order_relaxed)));
            dialog.setValue(size > 0 ? static_cast<int>(std::min<int64_t>(bytes, size) * 1000 / size) : 0);
        };
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
            Cancel();
            dialog.setLabelText(reading + QStringLiteral("\nCancelling..."));
        });
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, &dialog, [&] {
            if (!WasCancelled()) update();
        });
        update();
        dialog.show();
        ticks.start(100);
        // The dialog's buttons need the normal cursor, not the busy one the window shows.
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        if (OnDialogShown) OnDialogShown(dialog);
        if (!done) loop.exec();
        QApplication::restoreOverrideCursor();
    }
    // The loop may also end because the program is quitting: the reading stops first.
    if (!done) {
        Cancel();
        thread->wait();
    }
    thread->wait();
    if (failure) std::rethrow_exception(failure);
}

} // namespace talmiro
