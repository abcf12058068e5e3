#pragma once

#include "RemoteTaskPool.h"
#include "SessionContext.h"
#include "TransferText.h"
#include "ftp/OperationControl.h"
#include "model/Connection.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Prompter;

struct TransferResult {
    enum class Outcome {
        done,      // every file chosen to go (all, or those that did not exist yet) is in place
        declined,  // the user answered the overwrite question with "Cancel": nothing was sent
        failed,    // error says why; files before the failing one stay, later ones were not tried
        cancelled, // stopped on request; files already complete stay, the one on its way is dropped
    };
    Outcome outcome = Outcome::done;
    QString error;
};

// What the window's uploads and downloads have in common: one run at a time; a check of the destination
// that finds the files a transfer would replace; one question about those (overwrite them, skip them, or
// cancel); the transfer itself, whose progress moves with the bytes; cancel at any point; and a few words
// once it has ended. Subclasses say what is checked and what is transferred.
class TransferJob : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(const TransferResult&)>;
    using Direction = transfertext::Direction;

    bool isBusy() const { return m_phase != Phase::idle; }
    bool isTransferring() const { return m_phase == Phase::transferring; }
    double progressValue() const { return m_progressValue; }
    double progressTotal() const { return m_progressTotal; }
    // The line under the bar; present only while a transfer runs.
    const std::optional<QString>& progressLine() const { return m_progressLine; }

    // Stops the run under way: at once while it checks or asks; a transfer ends its curl run, and the file
    // on its way never reaches its real name.
    void cancel();

Q_SIGNALS:
    void busyChanged();
    void progressChanged();
    // A transfer has ended, done or cancelled: the words to show for a few seconds.
    void announced(const QString& words);

protected:
    TransferJob(SessionContext& context, Direction direction, QObject* parent);

    // Starts a run in the checking phase. False while another run is under way. destination names where the
    // files go, for the closing words. done runs once, on this thread, while requester lives.
    bool begin(const Connection& connection, const QString& destination, Prompter* prompter,
               QObject* requester, Done done);

    // Runs the check on the pool; its result reaches checked() only while this run is still the current one
    // and checking, and a failure ends the run.
    template <typename Work, typename Checked> void check(Work work, Checked checked);

    // After the check. existing: the indexes of the items that would replace a file, and their names as the
    // question shows them. Without any, transfers every item; otherwise asks once, then transfers what the
    // answer leaves (see transferItems()).
    void decide(int itemCount, const QList<int>& existing, const QStringList& existingNames,
                const QString& where);
    // Moves the chosen items (indexes into the checked list, in order).
    virtual void transferItems(const QList<int>& chosen) = 0;

    // The transfer phase: work runs on the pool with this run's control and a progress sink. files counts
    // what goes, for the closing words.
    using TransferWork = std::function<void(const OperationControlPtr&, const TransferProgressSink&)>;
    void transfer(qint64 totalBytes, int files, RemoteTaskPool::Kind kind, TransferWork work);
    // Ends the run.
    void finish(TransferResult result);
    // Called at the end of a run that transferred, done or cancelled, before done() runs.
    virtual void transferEnded(const TransferResult& result) { Q_UNUSED(result); }

    void setSkippedLinks(int count) { m_skippedLinks = count; }
    SessionContext& context() const { return m_context; }
    const Connection& connection() const { return m_connection; }
    bool isCurrent(quint64 runId) const { return m_phase != Phase::idle && m_runId == runId; }
    quint64 runId() const { return m_runId; }

private:
    enum class Phase { idle, checking, asking, transferring };

    void applyProgress(quint64 runId, const TransferProgress& progress);
    void setPhase(Phase phase);

    SessionContext& m_context;
    const Direction m_direction;
    Phase m_phase = Phase::idle;
    quint64 m_runId = 0;
    Connection m_connection;
    QString m_destination;
    QPointer<Prompter> m_prompter;
    QPointer<QObject> m_requester;
    Done m_done;
    OperationControlPtr m_control;
    int m_files = 0;
    int m_skippedLinks = 0;
    double m_progressValue = 0;
    double m_progressTotal = 1.0;
    std::optional<QString> m_progressLine;
};

template <typename Work, typename Checked> void TransferJob::check(Work work, Checked checked) {
    const quint64 id = m_runId;
    m_context.pool.run(
        this, RemoteTaskPool::Kind::reads, m_control,
        [work = std::move(work), control = m_control] { return work(control); },
        [this, id, checked = std::move(checked)](const auto& result) {
            if (isCurrent(id) && m_phase == Phase::checking)
                checked(result);
        },
        [this, id](const QString& error) {
            if (isCurrent(id) && m_phase == Phase::checking)
                finish({TransferResult::Outcome::failed, error});
        });
}
