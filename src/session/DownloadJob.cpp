#include "DownloadJob.h"

#include <algorithm>

DownloadJob::DownloadJob(SessionContext& context, QObject* parent)
    : TransferJob(context, Direction::download, parent) {}

bool DownloadJob::canDownload(const QList<RemoteFile>& entries) {
    return !entries.isEmpty() &&
           std::none_of(entries.cbegin(), entries.cend(), [](const RemoteFile& e) { return e.isAmbiguous; });
}

bool DownloadJob::start(const Connection& connection, const QList<RemoteFile>& entries,
                        const QString& localFolder, Prompter* prompter, QObject* requester, Done done) {
    const QString where = transfertext::localFolderLabel(localFolder);
    if (!canDownload(entries) || !begin(connection, where, prompter, requester, std::move(done)))
        return false;
    m_plan = {};
    check(
        [client = context().pool.client(connection), entries,
         localFolder](const OperationControlPtr& control) {
            return planDownload(client, entries, localFolder, control);
        },
        [this, where](const DownloadPlan& plan) {
            m_plan = plan;
            setSkippedLinks(plan.skippedLinks);
            QStringList names;
            for (int index : plan.existing)
                names << plan.shownNames[index];
            decide(int(plan.files.size()), plan.existing, names, QStringLiteral("in ") + where);
        });
    return true;
}

void DownloadJob::transferItems(const QList<int>& chosen) {
    DownloadPlan plan = m_plan;
    plan.files.clear();
    plan.totalBytes = 0;
    for (int index : chosen) {
        plan.files << m_plan.files[index];
        plan.totalBytes += m_plan.files[index].size;
    }
    m_plan = {};
    // Nothing here changes the server: quitting need not ask while it runs.
    transfer(plan.totalBytes, int(plan.files.size()), RemoteTaskPool::Kind::reads,
             [client = context().pool.client(connection()), plan](const OperationControlPtr& control,
                                                                  const TransferProgressSink& sink) {
                 makeLocalFolders(plan);
                 client.downloadFiles(plan.files, control, sink);
             });
}
