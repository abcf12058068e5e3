#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <optional>

// One hand-in of files from outside the window. Every hand-in gets a fresh id, so handing in the same files
// twice counts as two hand-ins.
struct PendingUpload {
    QUuid id;
    QList<QUrl> urls;

    static PendingUpload make(QList<QUrl> urls) { return {QUuid::createUuid(), std::move(urls)}; }
};

// Files handed to Kalvor by another program that no window has taken yet. The upload service stores from any
// thread; a window takes them on the GUI thread. Taking empties the slot, so a hand-in is presented by one
// window, once: a window opened later does not offer it again. Only the last stored list is kept.
class HandInSlot : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Replaces whatever waits with urls, then announces arrived() on this object's thread, on a later turn of
    // its event loop (never from inside this call).
    void store(QList<QUrl> urls);
    // What waits, if anything; the slot is empty afterwards.
    std::optional<QList<QUrl>> take();

Q_SIGNALS:
    void arrived();

private:
    QMutex m_lock;
    std::optional<QList<QUrl>> m_urls; // guarded by m_lock
};
