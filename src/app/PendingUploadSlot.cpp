#include "PendingUploadSlot.h"

#include <QMutex>
#include <QMutexLocker>

#include <utility>

namespace {

QMutex pendingServiceLock;
std::optional<QList<QUrl>> pendingServiceURLs; // guarded by pendingServiceLock

} // namespace

void storePendingServiceURLs(QList<QUrl> urls) {
    std::optional<QList<QUrl>> replaced{std::move(urls)};
    {
        const QMutexLocker locker(&pendingServiceLock);
        pendingServiceURLs.swap(replaced);
    }
    // The dropped list is freed here, outside the lock.
}

std::optional<QList<QUrl>> takePendingServiceURLs() {
    std::optional<QList<QUrl>> taken;
    {
        const QMutexLocker locker(&pendingServiceLock);
        pendingServiceURLs.swap(taken);
    }
    return taken;
}
