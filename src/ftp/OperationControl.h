#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Shared by whoever starts a remote operation and the worker thread that runs it. cancel() may be called
// from any thread at any time; the operation notices within a fraction of a second, ends its curl run and
// finishes with FTPClientError::cancelled(), which callers treat as the user's choice, never as an error.
class OperationControl {
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic_bool m_cancelled{false};
};

using OperationControlPtr = std::shared_ptr<OperationControl>;

// How far a transfer has come, reported from the worker thread while the bytes move (at most about ten
// times a second) and once more when an item completes.
struct TransferProgress {
    int itemIndex = 0; // the item being transferred, counted from 0 in the order given
    int itemCount = 0;
    QString itemName;          // server form, as listed or as it will be named
    qint64 itemBytes = 0;      // bytes of this item done so far
    qint64 itemSize = 0;       // its size (0 when unknown)
    qint64 doneBytes = 0;      // bytes of the whole batch done so far, completed items included
    qint64 totalBytes = 0;     // the whole batch
    double bytesPerSecond = 0; // recent speed; 0 until known
    std::optional<qint64> secondsLeft;
    // This item goes up under its own name directly: the server refused to rename the finished upload over
    // the target. Callers say so, since a direct upload that fails can leave the old file cut short.
    bool directUpload = false;
};

using TransferProgressSink = std::function<void(const TransferProgress&)>;
