#pragma once

#include "ByteCount.h"
#include "SessionContext.h"
#include "ftp/OperationControl.h"
#include "model/Connection.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class FTPClient;
class Prompter;

// The file system's size of a local file; 0 when it cannot be read (the upload is still attempted).
qint64 localFileSize(const QUrl& file);
// "name — size · done/total"
QString uploadProgressLine(const TransferProgress& progress);
// The names of the local files that would replace a file of the same name in the listed folder, one per
// local file. Only file entries count, letter case matters, canonically equivalent names are the same name.
QStringList existingFileNames(const QList<QUrl>& files, const QList<RemoteFile>& entries);

struct UploadResult {
    enum class Outcome {
        uploaded,  // every file chosen to go (all, or those that did not exist) is on the server
        declined,  // the user answered the overwrite question with "Cancel": nothing was sent
        failed,    // error says why; files before the failing one stay uploaded, later ones were not tried
        cancelled, // stopped on request; files already uploaded stay
    };
    Outcome outcome = Outcome::uploaded;
    QString error;
};

// Uploads local files into one remote folder: lists the folder once, asks once about files that exist there
// (overwrite them, skip them, or cancel), then transfers the files in order while it shows how far it has
// come. The window's "Upload File" and the upload-to-favorite sheet both use their window's job, each with
// its own target folder and prompter, so only one upload of a window runs at a time.
class UploadJob : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(const UploadResult&)>;

    explicit UploadJob(SessionContext& context, QObject* parent = nullptr);

    // The one call to the transport, on a worker thread: uploads files, in order, into the target folder,
    // reporting progress through the sink and stopping when control is cancelled. Throws OperationError on
    // the first failure.
    static void transfer(const FTPClient& client, const QList<QUrl>& files, const QString& target,
                         const OperationControlPtr& control, const TransferProgressSink& progress);

    // Starts an upload. False, and nothing happens, while another upload of this job is under way or when
    // there are no files. done runs once, on this thread, while requester lives.
    bool start(const Connection& connection, const QString& target, const QList<QUrl>& files,
               Prompter* prompter, QObject* requester, Done done);
    // Stops the upload under way: at once while it checks or asks; a transfer ends its curl run, and the
    // file on its way never reaches its real name.
    void cancel();

    bool isBusy() const { return m_phase != Phase::idle; }
    bool isTransferring() const { return m_phase == Phase::transferring; }
    double progressValue() const { return m_progressValue; }
    double progressTotal() const { return m_progressTotal; }
    // The line under the bar; present only while a transfer runs.
    const std::optional<QString>& progressLine() const { return m_progressLine; }

Q_SIGNALS:
    void busyChanged();
    void progressChanged();

private:
    enum class Phase { idle, checking, asking, transferring };

    struct Run {
        quint64 id = 0;
        Connection connection;
        QString target;
        QList<QUrl> files;
        QPointer<Prompter> prompter;
        QPointer<QObject> requester;
        Done done;
        OperationControlPtr control;
    };

    void checked(const QList<RemoteFile>& entries);
    void transferFiles(const QList<QUrl>& files);
    void applyProgress(quint64 runId, const TransferProgress& progress);
    void finish(UploadResult result);
    void setPhase(Phase phase);
    bool isCurrent(quint64 runId) const { return m_phase != Phase::idle && m_run.id == runId; }

    SessionContext& m_context;
    Phase m_phase = Phase::idle;
    Run m_run;
    double m_progressValue = 0;
    double m_progressTotal = 1.0;
    std::optional<QString> m_progressLine;
};
