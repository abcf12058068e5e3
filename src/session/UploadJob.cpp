#include "UploadJob.h"

#include "AppNotifications.h"
#include "Prompter.h"
#include "RemoteTaskPool.h"
#include "ftp/FTPClient.h"
#include "model/RemotePath.h"
#include "model/TextEquality.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>

qint64 localFileSize(const QUrl& file) {
    const QFileInfo info(file.toLocalFile());
    return info.exists() ? info.size() : 0;
}

QString uploadProgressLine(const TransferProgress& progress) {
    QString line = progress.itemName + QStringLiteral(" \u2014 ") + formatByteCount(progress.itemSize) +
                   QStringLiteral(" \u00b7 ") + formatByteCount(progress.doneBytes) + u'/' +
                   formatByteCount(progress.totalBytes);
    // The server would not let the finished upload replace the file by renaming, so this one goes
    // straight to its name: if it fails now, the old file may be cut short.
    if (progress.directUpload)
        line += QStringLiteral(" (sent directly: the server does not allow renaming)");
    return line;
}

QStringList existingFileNames(const QList<QUrl>& files, const QList<RemoteFile>& entries) {
    QSet<QString> existing;
    for (const RemoteFile& entry : entries) {
        if (!entry.isDirectory)
            existing.insert(canonicalText(entry.name));
    }
    QStringList names;
    for (const QUrl& file : files) {
        if (existing.contains(canonicalText(file.fileName())))
            names.append(file.fileName());
    }
    return names;
}

UploadJob::UploadJob(SessionContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context) {}

void UploadJob::transfer(const FTPClient& client, const QList<QUrl>& files, const QString& target,
                         const OperationControlPtr& control, const TransferProgressSink& progress) {
    (void)client.uploadFiles(files, target, control, progress);
}

bool UploadJob::start(const Connection& connection, const QString& target, const QList<QUrl>& files,
                      Prompter* prompter, QObject* requester, Done done) {
    if (isBusy() || files.isEmpty())
        return false;
    m_run = Run{m_run.id + 1, connection, target, files, prompter, requester, std::move(done), nullptr};
    m_run.control = std::make_shared<OperationControl>();
    setPhase(Phase::checking);
    const quint64 runId = m_run.id;
    m_context.pool.run(
        this, RemoteTaskPool::Kind::reads, m_run.control,
        [client = m_context.pool.client(connection), folder = remotepath::withTrailingSlash(target)] {
            return client.listDirectory(folder);
        },
        [this, runId](const QList<RemoteFile>& entries) {
            if (isCurrent(runId))
                checked(entries);
        },
        [this, runId](const QString& error) {
            if (isCurrent(runId))
                finish({UploadResult::Outcome::failed, error});
        });
    return true;
}

void UploadJob::checked(const QList<RemoteFile>& entries) {
    const QStringList existing = existingFileNames(m_run.files, entries);
    if (existing.isEmpty()) {
        transferFiles(m_run.files);
        return;
    }
    if (!m_run.prompter) {
        finish({UploadResult::Outcome::declined, {}});
        return;
    }
    setPhase(Phase::asking);
    const auto answered = [self = QPointer<UploadJob>(this), runId = m_run.id, existing](int choice) {
        if (!self || !self->isCurrent(runId) || self->m_phase != Phase::asking)
            return;
        if (choice == questions::overwriteAll) {
            self->transferFiles(self->m_run.files);
        } else if (choice == questions::skipExisting) {
            QList<QUrl> missing = self->m_run.files;
            missing.removeIf([&](const QUrl& file) { return existing.contains(file.fileName()); });
            self->transferFiles(missing);
        } else {
            self->finish({UploadResult::Outcome::declined, {}});
        }
    };
    m_run.prompter->ask(questions::overwrite(existing), answered);
}

void UploadJob::transferFiles(const QList<QUrl>& files) {
    if (files.isEmpty()) { // every file existed and the user skipped them all
        finish({UploadResult::Outcome::uploaded, {}});
        return;
    }
    qint64 total = 0;
    for (const QUrl& file : files)
        total += localFileSize(file);
    m_progressValue = 0;
    m_progressTotal = total < 1 ? 1.0 : double(total);
    m_progressLine = QStringLiteral("Preparing\u2026");
    setPhase(Phase::transferring);
    Q_EMIT progressChanged();

    const quint64 runId = m_run.id;
    // Progress is reported on a worker thread; it is applied here, and only to the run it belongs to.
    const TransferProgressSink sink = [self = QPointer<UploadJob>(this), runId](const TransferProgress& p) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, runId, p] {
                if (self)
                    self->applyProgress(runId, p);
            },
            Qt::QueuedConnection);
    };
    const OperationControlPtr control = m_run.control;
    m_context.pool.run(
        this, RemoteTaskPool::Kind::changesServer, control,
        [client = m_context.pool.client(m_run.connection), files, target = m_run.target, control, sink] {
            transfer(client, files, target, control, sink);
        },
        [this, runId, control] {
            if (isCurrent(runId))
                finish({control->isCancelled() ? UploadResult::Outcome::cancelled
                                               : UploadResult::Outcome::uploaded,
                        {}});
        },
        [this, runId, control](const QString& error) {
            // A run ended because the upload was cancelled fails as well; that is the user's choice, no
            // error.
            if (isCurrent(runId))
                finish(control->isCancelled() ? UploadResult{UploadResult::Outcome::cancelled, {}}
                                              : UploadResult{UploadResult::Outcome::failed, error});
        });
}

void UploadJob::applyProgress(quint64 runId, const TransferProgress& progress) {
    if (!isCurrent(runId) || m_phase != Phase::transferring)
        return;
    m_progressValue = double(progress.doneBytes);
    m_progressTotal = progress.totalBytes < 1 ? 1.0 : double(progress.totalBytes);
    TransferProgress shown = progress;
    shown.itemName = servertext::forDisplay(progress.itemName, m_run.connection.textEncoding);
    m_progressLine = uploadProgressLine(shown);
    Q_EMIT progressChanged();
}

void UploadJob::cancel() {
    if (!isBusy())
        return;
    m_run.control->cancel();
    // A transfer ends its curl run and reports back; a check or a question is simply left behind.
    if (m_phase != Phase::transferring)
        finish({UploadResult::Outcome::cancelled, {}});
}

void UploadJob::finish(UploadResult result) {
    const bool transferred = m_phase == Phase::transferring;
    m_progressLine.reset();
    setPhase(Phase::idle);
    Q_EMIT progressChanged();
    if (transferred && result.outcome != UploadResult::Outcome::failed)
        Q_EMIT m_context.notifications.folderChanged(m_run.connection.id, m_run.target);
    const Run run = std::move(m_run);
    m_run = Run();
    m_run.id = run.id; // the next run counts on
    if (run.requester && run.done)
        run.done(result);
}

void UploadJob::setPhase(Phase phase) {
    if (m_phase == phase)
        return;
    m_phase = phase;
    Q_EMIT busyChanged();
}
