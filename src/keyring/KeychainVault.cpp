#include "KeychainVault.h"

#include "model/RecordJson.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPromise>
#include <QThread>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

using Result = PasswordVault::Result;
using Status = Result::Status;

// QtKeychain queues every job on one executor object that lives in the thread of the first job, so all
// jobs of the process must start in the same thread, and that thread must outlive them.
class KeyringThread {
public:
    // None once the application has ended.
    static QObject* worker() {
        static KeyringThread* instance = [] {
            auto* created = new KeyringThread;
            qAddPostRoutine([] { instance->stop(); });
            return created;
        }();
        return instance->m_worker;
    }

private:
    KeyringThread() {
        m_thread.setObjectName(QStringLiteral("keyring"));
        m_worker = new QObject;
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
    }

    void stop() {
        m_thread.quit();
        m_thread.wait();
    }

    QThread m_thread;
    QPointer<QObject> m_worker;
};

// Finishes its future exactly once; a request dropped unanswered (the keyring thread ended first) still
// finishes, as a failure, so nobody waits forever.
class PendingResult {
public:
    PendingResult() { m_promise.start(); }
    ~PendingResult() {
        if (!m_finished)
            finish({Status::failed, QString(), QStringLiteral("the keyring request was abandoned")});
    }
    QFuture<Result> future() { return m_promise.future(); }
    void finish(const Result& result) {
        m_promise.addResult(result);
        m_promise.finish();
        m_finished = true;
    }

private:
    QPromise<Result> m_promise;
    bool m_finished = false;
};

enum class Action { read, write, remove, check };

Result resultOf(const QKeychain::Job& job, Action action) {
    switch (job.error()) {
    case QKeychain::NoError:
        return {Status::done,
                action == Action::read ? static_cast<const QKeychain::ReadPasswordJob&>(job).textData()
                                       : QString(),
                QString()};
    case QKeychain::EntryNotFound:
        // Nothing stored is what a removal wants and what the availability check expects.
        return {action == Action::read ? Status::notFound : Status::done, QString(), QString()};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return {Status::unavailable, QString(), job.errorString()};
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return {Status::failed, QString(), QStringLiteral("access to the keyring was refused")};
    default:
        // A keyring that cannot be reached at all (no session bus, no Secret Service) ends up here too; only
        // the check tells it from a running keyring that failed.
        return {action == Action::check ? Status::unavailable : Status::failed, QString(), job.errorString()};
    }
}

template <typename Job, typename Setup>
QFuture<Result> start(const QString& service, const QString& key, Action action, Setup setup) {
    auto pending = std::make_shared<PendingResult>();
    QFuture<Result> future = pending->future();
    QObject* worker = KeyringThread::worker();
    if (worker == nullptr)
        return future; // finished as abandoned when `pending` goes
    QMetaObject::invokeMethod(
        worker,
        [worker, service, key, action, setup, pending] {
            auto* job = new Job(service, worker);
            job->setAutoDelete(true);
            job->setInsecureFallback(false); // never a clear-text copy behind the user's back
            job->setKey(key);
            setup(*job);
            QObject::connect(job, &QKeychain::Job::finished, worker, [pending, action](QKeychain::Job* done) {
                pending->finish(resultOf(*done, action));
            });
            job->start();
        },
        Qt::QueuedConnection);
    return future;
}

QString keyOf(const QUuid& connectionId) {
    return uuidText(connectionId);
}

} // namespace

KeychainVault::KeychainVault(QString service)
    : m_service(std::move(service)) {}

QFuture<Result> KeychainVault::read(const QUuid& connectionId) {
    return start<QKeychain::ReadPasswordJob>(m_service, keyOf(connectionId), Action::read,
                                             [](QKeychain::ReadPasswordJob&) {});
}

QFuture<Result> KeychainVault::write(const QUuid& connectionId, const QString& password) {
    return start<QKeychain::WritePasswordJob>(
        m_service, keyOf(connectionId), Action::write,
        [password](QKeychain::WritePasswordJob& job) { job.setTextData(password); });
}

QFuture<Result> KeychainVault::remove(const QUuid& connectionId) {
    return start<QKeychain::DeletePasswordJob>(m_service, keyOf(connectionId), Action::remove,
                                               [](QKeychain::DeletePasswordJob&) {});
}

QFuture<Result> KeychainVault::checkAvailable() {
    // Reading a name no connection uses answers "not found" from a working keyring and prompts for nothing.
    return start<QKeychain::ReadPasswordJob>(m_service, QStringLiteral("availability-check"), Action::check,
                                             [](QKeychain::ReadPasswordJob&) {});
}
