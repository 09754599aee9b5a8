// Reading an interchange off the user-interface thread: the work runs on a thread of its own while the
// window keeps repainting; after a moment a progress dialog shows how far it has got, and its Cancel button
// stops the reading, which then keeps what it read, as after an error.
#pragma once

#include "talmiro/exceptions.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

class QProgressDialog;
class QWidget;

namespace talmiro {

// The error with which a cancelled reading ends.
class EReadingCancelled : public Exception {
public:
    EReadingCancelled() : Exception("Reading cancelled") {}
};

class TBackgroundReading {
public:
    // How long the reading may take before the progress dialog shows, in milliseconds.
    int DialogDelay = 400;
    // What the dialog says is done to the file ("Saving" when the work writes it).
    QString Verb = QStringLiteral("Reading");

    // Called by the work: the reading has got to byte bytes; raises EReadingCancelled once Cancel was
    // pressed, so the reading ends there.
    void Progress(int64_t bytes) {
        Bytes.store(bytes, std::memory_order_relaxed);
        if (Cancelled.load(std::memory_order_relaxed)) throw EReadingCancelled();
    }
    void MessageRead() { Messages.fetch_add(1, std::memory_order_relaxed); }
    void Cancel() { Cancelled.store(true); }
    bool WasCancelled() const { return Cancelled.load(); }
    int64_t BytesRead() const { return Bytes.load(); }
    int64_t MessagesRead() const { return Messages.load(); }

    // Runs work on a thread of its own and returns when it has ended, processing the window's events
    // meanwhile (user input only once the dialog, modal to window, shows). An error work raises is raised
    // here. size is the file's, for the dialog's bar.
    void Run(QWidget* window, const QString& fileName, int64_t size, const std::function<void()>& work);

    // For tests: called on the reading thread before the work, and on this one when the dialog shows.
    std::function<void()> BeforeWork;
    std::function<void(QProgressDialog& Dialog)> OnDialogShown;

    // "12.5 of 2,048.0 MB, 3,215 messages"
    static QString ProgressText(int64_t bytes, int64_t size, int64_t messages);

private:
    std::atomic<int64_t> Bytes{0};
    std::atomic<int64_t> Messages{0};
    std::atomic<bool> Cancelled{false};
};

} // namespace talmiro
