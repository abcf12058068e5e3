#pragma once

#include "ftp/FTPClient.h"
#include "ftp/OperationControl.h"
#include "model/DefaultsStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

class PasswordVault;
class Prompter;

// What keeps remote work safe besides the connection itself. A part left unset means: nothing is pinned
// (every certificate must verify against the system's roots), no keyring, nobody to ask (an untrusted
// certificate fails the operation).
struct RemoteSecurity {
    // The store that keeps the trusted certificates (TrustStore), made anew for each use: lookups run on
    // the operations' threads, and a DefaultsStore serves one thread.
    std::function<std::unique_ptr<DefaultsStore>()> openStore;
    PasswordVault* vault = nullptr; // passwords kept outside the connections file
    // Where to ask about a certificate: the window in front. None: nobody to ask.
    std::function<Prompter*()> prompter;
};

// Remote operations block on curl, so they run on a pool of their own that grows instead of queueing: a stuck
// listing must never hold up the next operation. Results come back to the thread this pool lives on (the GUI
// thread) and are dropped when the object that asked for them is gone.
//
// The pool is owned by the application object and ends with it. A curl run may hang for ever, so ending does
// not simply wait: it cancels every operation and ends the curl runs still going (see shutDown()).
//
// Every operation honours the certificates the user trusted: when a server's certificate is refused, nothing
// has been sent, so the pool asks the user and, once the certificate is trusted, runs the same work again,
// once. The flows see only the outcome.
class RemoteTaskPool : public QObject {
    Q_OBJECT

public:
    // Uploads and deletes change what is on the server; quitting asks first while one runs.
    enum class Kind { reads, changesServer };

    explicit RemoteTaskPool(QObject* parent = nullptr);
    ~RemoteTaskPool() override;

    // The tool every operation of this pool runs; changing it affects operations started afterwards.
    const QString& curlPath() const { return m_curlPath; }
    void setCurlPath(const QString& path) { m_curlPath = path; }
    void setSecurity(RemoteSecurity security) { m_security = std::move(security); }
    const RemoteSecurity& security() const { return m_security; }
    // A client for one piece of work: pins from the trust store, and the password from the keyring when it
    // is kept there (the read starts now; the work waits for it on its own thread).
    FTPClient client(const Connection& connection) const;

    // Runs work() on the pool. done(result) or failed(description) then runs on this pool's thread, only
    // while context lives. control, when given, is cancelled by cancelAll().
    template <typename Work, typename Done, typename Failed>
    void run(QObject* context, Kind kind, OperationControlPtr control, Work work, Done done, Failed failed);

    int changesRunning() const { return m_changesRunning; }
    int tasksRunning() const { return int(m_running.size()); }

    // Cancels every running operation and ends their curl runs now. Their results still arrive, as failures
    // or cancellations.
    void cancelAll();
    // cancelAll(), then waits until no task is left. Afterwards nothing may be started.
    void shutDown();

    // A failure's user-facing text, whatever was thrown.
    static QString describeFailure(std::exception_ptr failure);

Q_SIGNALS:
    void changesRunningChanged();

private:
    struct Running {
        quint64 id;
        Kind kind;
        OperationControlPtr control;
        QString program;
    };

    template <typename Work, typename Done, typename Failed>
    void start(QObject* context, Kind kind, OperationControlPtr control, std::shared_ptr<Work> work,
               Done done, Failed failed, bool mayAskAboutCertificate);
    // On this pool's thread: asks whether to trust the refused certificate and stores it when the user does;
    // then retry(), or fail(text).
    void askAboutCertificate(const CertificateRefusal& refusal, const OperationControlPtr& control,
                             std::function<void()> retry, std::function<void(const QString&)> fail);
    static std::optional<CertificateRefusal> refusalOf(std::exception_ptr failure);

    quint64 started(Kind kind, OperationControlPtr control);
    void ended(quint64 id);
    // Called on a worker thread: posts function to the pool's thread, where it runs after the task's
    // bookkeeping. Touches no member, so a pool given up on by shutDown() is never reached from a worker.
    static void deliver(QObject* dispatcher, QPointer<RemoteTaskPool> pool, quint64 id,
                        std::function<void()> function);

    std::unique_ptr<QThreadPool> m_pool;
    QObject* m_dispatcher; // owned; left alive with the pool when shutDown() gives up on it
    QString m_curlPath = defaultCurlPath();
    RemoteSecurity m_security;
    struct WaitingForAnswer {
        OperationControlPtr control;
        std::function<void()> retry;
        std::function<void(const QString&)> fail;
    };
    // A certificate question open for one server ("host:port"), and the operations its answer decides.
    struct OpenQuestion {
        QPointer<Prompter> askedIn;
        QList<WaitingForAnswer> operations;
    };
    QHash<QString, OpenQuestion> m_questions;
    QList<Running> m_running;
    quint64 m_nextId = 0;
    int m_changesRunning = 0;
};

template <typename Work, typename Done, typename Failed>
void RemoteTaskPool::run(QObject* context, Kind kind, OperationControlPtr control, Work work, Done done,
                         Failed failed) {
    start(context, kind, std::move(control), std::make_shared<Work>(std::move(work)), std::move(done),
          std::move(failed), true);
}

template <typename Work, typename Done, typename Failed>
void RemoteTaskPool::start(QObject* context, Kind kind, OperationControlPtr control,
                           std::shared_ptr<Work> work, Done done, Failed failed,
                           bool mayAskAboutCertificate) {
    if (!m_pool)
        return; // shut down: the application is ending
    const quint64 id = started(kind, control);
    const QPointer<QObject> guard(context);
    m_pool->start([dispatcher = m_dispatcher, pool = QPointer<RemoteTaskPool>(this), id, guard, kind, control,
                   work, done, failed, mayAskAboutCertificate] {
        using Result = std::invoke_result_t<Work>;
        try {
            if constexpr (std::is_void_v<Result>) {
                (*work)();
                deliver(dispatcher, pool, id, [guard, done] {
                    if (guard)
                        done();
                });
            } else {
                deliver(dispatcher, pool, id, [guard, done, result = (*work)()] {
                    if (guard)
                        done(result);
                });
            }
        } catch (...) {
            const std::exception_ptr failure = std::current_exception();
            const std::function<void(const QString&)> fail = [guard, failed](const QString& text) {
                if (guard)
                    failed(text);
            };
            const std::optional<CertificateRefusal> refusal =
                mayAskAboutCertificate ? refusalOf(failure) : std::nullopt;
            if (!refusal) {
                deliver(dispatcher, pool, id, [fail, text = describeFailure(failure)] { fail(text); });
                return;
            }
            deliver(dispatcher, pool, id, [pool, guard, kind, control, work, done, failed, fail, refusal] {
                if (!pool || !guard)
                    return;
                const auto retry = [pool, guard, kind, control, work, done, failed] {
                    if (pool && guard)
                        pool->start(guard.data(), kind, control, work, done, failed, false);
                };
                pool->askAboutCertificate(*refusal, control, retry, fail);
            });
        }
    });
}
