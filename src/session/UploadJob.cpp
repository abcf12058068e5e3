#include "UploadJob.h"

#include "AppNotifications.h"
#include "ftp/FTPClient.h"
#include "model/RemotePath.h"
#include "model/TextEquality.h"

#include <QFileInfo>
#include <QSet>

qint64 localFileSize(const QUrl& file) {
    const QFileInfo info(file.toLocalFile());
    return info.exists() ? info.size() : 0;
}

QList<int> existingFiles(const QList<QUrl>& files, const QList<RemoteFile>& entries) {
    QSet<QString> existing;
    for (const RemoteFile& entry : entries) {
        if (!entry.isDirectory)
            existing.insert(canonicalText(entry.name));
    }
    QList<int> found;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (existing.contains(canonicalText(files[i].fileName())))
            found << int(i);
    }
    return found;
}

UploadJob::UploadJob(SessionContext& context, QObject* parent)
    : TransferJob(context, Direction::upload, parent) {}

bool UploadJob::start(const Connection& connection, const QString& target, const QList<QUrl>& files,
                      Prompter* prompter, QObject* requester, Done done, const QString& destination) {
    if (files.isEmpty() ||
        !begin(connection,
               destination.isEmpty() ? transfertext::remoteFolderLabel(target, connection) : destination,
               prompter, requester, std::move(done)))
        return false;
    m_target = target;
    m_files = files;
    check([client = context().pool.client(connection), folder = remotepath::withTrailingSlash(target)](
              const OperationControlPtr& control) { return client.listDirectory(folder, control); },
          [this](const QList<RemoteFile>& entries) {
              const QList<int> existing = existingFiles(m_files, entries);
              QStringList names;
              for (int index : existing)
                  names << m_files[index].fileName();
              decide(int(m_files.size()), existing, names, QStringLiteral("on the server"));
          });
    return true;
}

void UploadJob::transferItems(const QList<int>& chosen) {
    QList<QUrl> files;
    qint64 total = 0;
    for (int index : chosen) {
        files << m_files[index];
        total += localFileSize(m_files[index]);
    }
    m_sent = !files.isEmpty();
    transfer(total, int(files.size()), RemoteTaskPool::Kind::changesServer,
             [client = context().pool.client(connection()), files,
              target = m_target](const OperationControlPtr& control, const TransferProgressSink& sink) {
                 (void)client.uploadFiles(files, target, control, sink);
             });
}

void UploadJob::transferEnded(const TransferResult&) {
    // Even a cancelled batch may have put its first files in place.
    if (m_sent)
        Q_EMIT context().notifications.folderChanged(connection().id, m_target);
}
