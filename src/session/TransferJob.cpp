#include "TransferJob.h"

#include "Prompter.h"
#include "model/ServerText.h"

#include <QCoreApplication>

TransferJob::TransferJob(SessionContext& context, Direction direction, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_direction(direction) {}

bool TransferJob::begin(const Connection& connection, const QString& destination, Prompter* prompter,
                        QObject* requester, Done done) {
    if (isBusy())
        return false;
    ++m_runId;
    m_connection = connection;
    m_destination = destination;
    m_prompter = prompter;
    m_requester = requester;
    m_done = std::move(done);
    m_control = std::make_shared<OperationControl>();
    m_files = 0;
    m_skippedLinks = 0;
    setPhase(Phase::checking);
    return true;
}

void TransferJob::decide(int itemCount, const QList<int>& existing, const QStringList& existingNames,
                         const QString& where) {
    QList<int> all;
    for (int i = 0; i < itemCount; ++i)
        all << i;
    if (existing.isEmpty()) {
        transferItems(all);
        return;
    }
    if (!m_prompter) {
        finish({TransferResult::Outcome::declined, {}});
        return;
    }
    setPhase(Phase::asking);
    const auto answered = [self = QPointer<TransferJob>(this), id = m_runId, all, existing](int choice) {
        if (!self || !self->isCurrent(id) || self->m_phase != Phase::asking)
            return;
        if (choice == questions::overwriteAll) {
            self->transferItems(all);
        } else if (choice == questions::skipExisting) {
            QList<int> missing = all;
            missing.removeIf([&](int index) { return existing.contains(index); });
            self->transferItems(missing);
        } else {
            self->finish({TransferResult::Outcome::declined, {}});
        }
    };
    m_prompter->ask(questions::overwrite(existingNames, where), answered);
}

void TransferJob::transfer(qint64 totalBytes, int files, RemoteTaskPool::Kind kind, TransferWork work) {
    m_files = files;
    m_progressValue = 0;
    m_progressTotal = totalBytes < 1 ? 1.0 : double(totalBytes);
    m_progressLine = QStringLiteral("Preparing\u2026");
    setPhase(Phase::transferring);
    Q_EMIT progressChanged();

    const quint64 id = m_runId;
    // Progress is reported on a worker thread; it is applied here, and only to the run it belongs to.
    const TransferProgressSink sink = [self = QPointer<TransferJob>(this), id](const TransferProgress& p) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, id, p] {
                if (self)
                    self->applyProgress(id, p);
            },
            Qt::QueuedConnection);
    };
    const OperationControlPtr control = m_control;
    m_context.pool.run(
        this, kind, control, [work = std::move(work), control, sink] { work(control, sink); },
        [this, id, control] {
            if (isCurrent(id))
                finish({control->isCancelled() ? TransferResult::Outcome::cancelled
                                               : TransferResult::Outcome::done,
                        {}});
        },
        [this, id, control](const QString& error) {
            // A run ended because it was cancelled fails as well; that is the user's choice, no error.
            if (isCurrent(id))
                finish(control->isCancelled() ? TransferResult{TransferResult::Outcome::cancelled, {}}
                                              : TransferResult{TransferResult::Outcome::failed, error});
        });
}

void TransferJob::applyProgress(quint64 runId, const TransferProgress& progress) {
    if (!isCurrent(runId) || m_phase != Phase::transferring)
        return;
    m_progressValue = double(progress.doneBytes);
    m_progressTotal = progress.totalBytes < 1 ? 1.0 : double(progress.totalBytes);
    TransferProgress shown = progress;
    shown.itemName = servertext::forDisplay(progress.itemName, m_connection.textEncoding);
    m_progressLine = transfertext::progressLine(shown);
    Q_EMIT progressChanged();
}

void TransferJob::cancel() {
    if (!isBusy())
        return;
    m_control->cancel();
    // A transfer ends its curl run and reports back; a check or a question is simply left behind.
    if (m_phase != Phase::transferring)
        finish({TransferResult::Outcome::cancelled, {}});
}

void TransferJob::finish(TransferResult result) {
    const bool transferred = m_phase == Phase::transferring;
    m_progressLine.reset();
    // What curl counted before a failure or a cancel went to temporary files that are gone again.
    if (result.outcome != TransferResult::Outcome::done)
        m_progressValue = 0;
    setPhase(Phase::idle);
    Q_EMIT progressChanged();
    if (transferred && result.outcome != TransferResult::Outcome::failed) {
        transferEnded(result);
        Q_EMIT announced(
            result.outcome == TransferResult::Outcome::cancelled
                ? transfertext::cancelledText(m_direction)
                : transfertext::finishedText(m_direction, m_files, m_destination, m_skippedLinks));
    } else if (result.outcome == TransferResult::Outcome::cancelled) {
        Q_EMIT announced(transfertext::cancelledText(m_direction));
    }
    const QPointer<QObject> requester = std::exchange(m_requester, nullptr);
    const Done done = std::exchange(m_done, nullptr);
    m_prompter = nullptr;
    if (requester && done)
        done(result);
}

void TransferJob::setPhase(Phase phase) {
    if (m_phase == phase)
        return;
    m_phase = phase;
    Q_EMIT busyChanged();
}
