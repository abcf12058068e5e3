#pragma once

#include "ftp/FTPClient.h"
#include "ftp/OperationControl.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

// Remote operations block on curl, so they run on a pool of their own that grows instead of queueing: a stuck
// listing must never hold up the next operation. Results come back to the thread this pool lives on (the GUI
// thread) and are dropped when the object that asked for them is gone.
//
// The pool is owned by the application object and ends with it. A curl run may hang for ever, so ending does
// not simply wait: it cancels every operation and ends the curl runs still going (see shutDown()).
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
    FTPClient client(const Connection& connection) const { return FTPClient(connection, m_curlPath); }

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

    quint64 started(Kind kind, OperationControlPtr control);
    void ended(quint64 id);
    // Called on a worker thread: posts function to the pool's thread, where it runs after the task's
    // bookkeeping. Touches no member, so a pool given up on by shutDown() is never reached from a worker.
    static void deliver(QObject* dispatcher, QPointer<RemoteTaskPool> pool, quint64 id,
                        std::function<void()> function);

    std::unique_ptr<QThreadPool> m_pool;
    QObject* m_dispatcher; // owned; left alive with the pool when shutDown() gives up on it
    QString m_curlPath = defaultCurlPath();
    QList<Running> m_running;
    quint64 m_nextId = 0;
    int m_changesRunning = 0;
};

template <typename Work, typename Done, typename Failed>
void RemoteTaskPool::run(QObject* context, Kind kind, OperationControlPtr control, Work work, Done done,
                         Failed failed) {
    if (!m_pool)
        return; // shut down: the application is ending
    const quint64 id = started(kind, std::move(control));
    const QPointer<QObject> guard(context);
    m_pool->start([dispatcher = m_dispatcher, pool = QPointer<RemoteTaskPool>(this), id, guard,
                   work = std::move(work), done = std::move(done), failed = std::move(failed)] {
        using Result = std::invoke_result_t<Work>;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                deliver(dispatcher, pool, id, [guard, done] {
                    if (guard)
                        done();
                });
            } else {
                deliver(dispatcher, pool, id, [guard, done, result = work()] {
                    if (guard)
                        done(result);
                });
            }
        } catch (...) {
            deliver(dispatcher, pool, id, [guard, failed, text = describeFailure(std::current_exception())] {
                if (guard)
                    failed(text);
            });
        }
    });
}
