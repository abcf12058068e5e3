#pragma once

#include "TransferJob.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QUrl>

class FTPClient;

// The file system's size of a local file; 0 when it cannot be read (the upload is still attempted).
qint64 localFileSize(const QUrl& file);
// The indexes of the local files that would replace a file of the same name in the listed folder. Only file
// entries count, letter case matters, canonically equivalent names are the same name.
QList<int> existingFiles(const QList<QUrl>& files, const QList<RemoteFile>& entries);

// Uploads local files into one remote folder: lists the folder once, asks once about files that exist there
// (overwrite them, skip them, or cancel), then transfers the files in order while it shows how far it has
// come. The window's "Upload File" and the upload-to-favorite sheet both use their window's job, each with
// its own target folder and prompter, so only one upload of a window runs at a time.
class UploadJob : public TransferJob {
    Q_OBJECT

public:
    explicit UploadJob(SessionContext& context, QObject* parent = nullptr);

    // Starts an upload. False, and nothing happens, while another upload of this job is under way or when
    // there are no files. destination names the folder in the closing words (empty: the target's own name).
    // done runs once, on this thread, while requester lives.
    bool start(const Connection& connection, const QString& target, const QList<QUrl>& files,
               Prompter* prompter, QObject* requester, Done done, const QString& destination = {});

private:
    void transferItems(const QList<int>& chosen) override;
    void transferEnded(const TransferResult& result) override;

    QString m_target;
    QList<QUrl> m_files;
    bool m_sent = false;
};
