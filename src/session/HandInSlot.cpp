#include "HandInSlot.h"

#include <QMetaObject>
#include <QMutexLocker>

void HandInSlot::store(QList<QUrl> urls) {
    std::optional<QList<QUrl>> replaced{std::move(urls)};
    {
        const QMutexLocker locker(&m_lock);
        m_urls.swap(replaced);
    }
    // The dropped list is freed here, outside the lock.
    QMetaObject::invokeMethod(this, &HandInSlot::arrived, Qt::QueuedConnection);
}

std::optional<QList<QUrl>> HandInSlot::take() {
    std::optional<QList<QUrl>> taken;
    {
        const QMutexLocker locker(&m_lock);
        m_urls.swap(taken);
    }
    return taken;
}
