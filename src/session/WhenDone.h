#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// Calls handle(result) on receiver's thread once future has its result, and never once receiver is gone.
// QFuture::then(receiver, ...) is not enough: Qt 6.4 asserts when that receiver dies before the future
// ends (a window closed while the keyring still answers). The watcher goes with its receiver instead.
template <typename T, typename Handler>
void whenDone(const QFuture<T>& future, QObject* receiver, Handler handle) {
    auto* watcher = new QFutureWatcher<T>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, handle = std::move(handle)]() mutable {
                         // handle may end the receiver, and with it this watcher and this very lambda.
                         Handler call = std::move(handle);
                         const T result = watcher->result();
                         watcher->deleteLater();
                         call(result);
                     });
    watcher->setFuture(future);
}
