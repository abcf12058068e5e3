#include "RemoteTaskPool.h"

#include "Prompter.h"
#include "ftp/FTPClientError.h"
#include "ftp/OperationError.h"
#include "security/PasswordVault.h"
#include "security/TrustStore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QSet>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// How long ending may take before the pool is given up on; curl runs end within milliseconds of a signal.
constexpr int shutDownLimitMs = 5000;

// Ends this process's child processes that run one of the programs: curl itself, or a script that stands in
// for it (the kernel then starts its interpreter with the script as the first argument). Nothing else of
// ours is touched. Until every run honours OperationControl by itself, this is what stops a curl that hangs.
void endChildProcessesRunning(const QSet<QString>& programs) {
#ifdef Q_OS_LINUX
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toLongLong(&isPid));
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses, so count from the last ')'.
        const QByteArray statLine = stat.readAll();
        const QList<QByteArray> fields = statLine.mid(statLine.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields.at(1) != self)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = cmdline.readAll().split('\0');
        for (qsizetype i = 0; i < std::min<qsizetype>(2, arguments.size()); ++i) {
            if (programs.contains(QFile::decodeName(arguments.at(i)))) {
                ::kill(pid, SIGTERM);
                break;
            }
        }
    }
#else
    Q_UNUSED(programs);
#endif
}

} // namespace

RemoteTaskPool::RemoteTaskPool(QObject* parent)
    : QObject(parent)
    , m_pool(std::make_unique<QThreadPool>())
    , m_dispatcher(new QObject) {
    // Grows instead of queueing: a hanging server holds one thread, never the next operation.
    m_pool->setMaxThreadCount(256);
    m_pool->setExpiryTimeout(30000);
}

RemoteTaskPool::~RemoteTaskPool() {
    shutDown();
}

FTPClient RemoteTaskPool::client(const Connection& connection) const {
    FTPClientOptions options;
    options.curlPath = m_curlPath;
    if (m_security.openStore) {
        options.trustedCertificate = [open = m_security.openStore](const QString& host, int port) {
            const std::unique_ptr<DefaultsStore> store = open();
            return TrustStore(*store).lookup(host, port);
        };
    }
    if (connection.passwordInKeyring && m_security.vault)
        options.keyringPassword = fillPassword(*m_security.vault, connection);
    return FTPClient(connection, options);
}

void RemoteTaskPool::askAboutCertificate(const CertificateRefusal& refusal,
                                         const OperationControlPtr& control, std::function<void()> retry,
                                         std::function<void(const QString&)> fail) {
    Prompter* prompter = m_security.prompter ? m_security.prompter() : nullptr;
    if (!prompter || !m_security.openStore) {
        fail(refusal.description());
        return;
    }
    // Operations refused together (a listing and an upload, say) wait for one answer; one refused later may
    // find the key it was shown already trusted, in this window or by kalvorctl.
    const QString server = refusal.serverName();
    const std::optional<TrustedCertificate> now =
        TrustStore(*m_security.openStore()).lookup(refusal.host, refusal.port);
    if (now && now->pin == refusal.toTrust({}).pin) {
        retry();
        return;
    }
    OpenQuestion& question = m_questions[server];
    question.operations.append({control, std::move(retry), std::move(fail)});
    // A window closed with its question open never answers it: the next refusal asks again.
    if (question.askedIn)
        return;
    question.askedIn = prompter;
    prompter->ask(questions::certificate(refusal), [pool = QPointer<RemoteTaskPool>(this), refusal,
                                                    server](int choice) {
        if (!pool)
            return;
        const QList<WaitingForAnswer> waiting = pool->m_questions.take(server).operations;
        QString failure = refusal.description();
        if (choice == questions::trustCertificate) {
            const std::unique_ptr<DefaultsStore> store = pool->m_security.openStore();
            TrustStore trust(*store);
            const TrustedCertificate accepted = refusal.toTrust(QDateTime::currentDateTimeUtc());
            if (refusal.keyChanged() ? trust.replace(accepted) : trust.trust(accepted))
                failure.clear();
            else
                failure = QStringLiteral("The certificate of %1 could not be kept as trusted: %2")
                              .arg(server, trust.errorString());
        }
        for (const WaitingForAnswer& operation : waiting) {
            if (!failure.isEmpty())
                operation.fail(failure);
            else if (operation.control && operation.control->isCancelled())
                operation.fail(FTPClientError::cancelled().description());
            else
                operation.retry();
        }
    });
}

std::optional<CertificateRefusal> RemoteTaskPool::refusalOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const FTPClientError& error) {
        if (error.refusal())
            return *error.refusal();
    } catch (...) {
    }
    return std::nullopt;
}

quint64 RemoteTaskPool::started(Kind kind, OperationControlPtr control) {
    const quint64 id = ++m_nextId;
    m_running.append({id, kind, std::move(control), m_curlPath});
    if (kind == Kind::changesServer) {
        ++m_changesRunning;
        Q_EMIT changesRunningChanged();
    }
    return id;
}

void RemoteTaskPool::ended(quint64 id) {
    for (qsizetype i = 0; i < m_running.size(); ++i) {
        if (m_running.at(i).id != id)
            continue;
        const Kind kind = m_running.takeAt(i).kind;
        if (kind == Kind::changesServer) {
            --m_changesRunning;
            Q_EMIT changesRunningChanged();
        }
        return;
    }
}

void RemoteTaskPool::deliver(QObject* dispatcher, QPointer<RemoteTaskPool> pool, quint64 id,
                             std::function<void()> function) {
    QMetaObject::invokeMethod(
        dispatcher,
        [pool, id, function = std::move(function)] {
            if (pool)
                pool->ended(id);
            function();
        },
        Qt::QueuedConnection);
}

void RemoteTaskPool::cancelAll() {
    QSet<QString> programs;
    for (const Running& running : std::as_const(m_running)) {
        if (running.control)
            running.control->cancel();
        programs.insert(running.program);
    }
    endChildProcessesRunning(programs);
}

void RemoteTaskPool::shutDown() {
    if (!m_pool)
        return;
    const QDeadlineTimer deadline(shutDownLimitMs);
    // A run may start between two looks, so ending is repeated until the pool is empty.
    do {
        cancelAll();
    } while (!m_pool->waitForDone(50) && !deadline.hasExpired());
    if (m_pool->activeThreadCount() > 0) {
        // Something blocks that no signal ends. Waiting for it would keep the application from quitting, so
        // the pool is left to the end of the process.
        (void)m_pool.release();
        m_dispatcher = nullptr;
        return;
    }
    m_pool.reset();
    delete m_dispatcher;
    m_dispatcher = nullptr;
}

QString RemoteTaskPool::describeFailure(std::exception_ptr failure) {
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
