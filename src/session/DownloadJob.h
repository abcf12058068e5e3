#pragma once

#include "DownloadPlan.h"
#include "TransferJob.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QString>

// Downloads remote files and whole folders into a local folder: walks the folders first, asks once about
// local files that would be replaced (overwrite them, skip them, or cancel), makes the folders, then
// transfers the files in order while it shows how far it has come. Each file is written under a temporary
// name and takes its real name only once complete, so a stopped download never leaves a cut-short file
// where the real one belongs.
class DownloadJob : public TransferJob {
    Q_OBJECT

public:
    explicit DownloadJob(SessionContext& context, QObject* parent = nullptr);

    // Whether these entries can be downloaded at all: at least one, and each one named for sure.
    static bool canDownload(const QList<RemoteFile>& entries);

    // Starts a download of entries (of one remote folder) into localFolder. False, and nothing happens,
    // while another download of this job is under way or when the entries cannot be downloaded. done runs
    // once, on this thread, while requester lives.
    bool start(const Connection& connection, const QList<RemoteFile>& entries, const QString& localFolder,
               Prompter* prompter, QObject* requester, Done done);

private:
    void transferItems(const QList<int>& chosen) override;

    DownloadPlan m_plan;
};
