#include "RemoteTasks.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace {

QObject* dispatcher = nullptr;

} // namespace

QThreadPool& remoteTaskPool() {
    // Deliberately never destroyed: a destructor would wait for a curl run that may never end, and the
    // application must still be able to quit.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1024);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

void initGuiDispatcher() {
    // Lives as long as the process; results posted after the event loop ended are simply never run.
    if (!dispatcher)
        dispatcher = new QObject;
}

void postToGui(std::function<void()> function) {
    Q_ASSERT(dispatcher);
    QMetaObject::invokeMethod(dispatcher, std::move(function), Qt::QueuedConnection);
}

QString describeFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const OperationError& error) {
        return error.description();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}
