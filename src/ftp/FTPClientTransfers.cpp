// Batches of file transfers: many files in one curl run, a few connections at once, each file through a
// temporary name that only a complete transfer turns into the real one.

#include "CurlTrace.h"
#include "FTPClient.h"
#include "FTPClientError.h"
#include "FTPClientInternal.h"
#include "TransferProgressTracker.h"
#include "model/ServerText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cstdio>

using namespace ftpinternal;

namespace {

struct PlannedUpload {
    QString localPath;
    QString canonicalPath; // as the kernel names the open file
    QString remotePath;    // folder + name, server form
    QString tempPath;      // folder + temporary name, server form
    qint64 size = 0;
};

// The absolute path the kernel reports for an open file, even before the file exists.
QString kernelPath(const QString& path) {
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// What a batched transfer run has told so far: each file's record by its place in the batch, read from
// curl's write-out records where the last look stopped, and the bytes in flight from the kernel's view of
// the files curl holds open.
class BatchWatch {
public:
    BatchWatch(const QStringList& urls, QStringList canonicals, TransferProgressTracker& tracker)
        : m_nonce(newRecordNonce())
        , m_canonicals(std::move(canonicals))
        , m_tracker(tracker) {
        for (qsizetype i = 0; i < urls.size(); ++i)
            m_indexOfUrl.insert(urls[i], int(i));
    }
    const QByteArray& nonce() const { return m_nonce; }
    const QHash<int, TransferRecord>& records() const { return m_recordOf; }

    // Transfers run without curl's fail-early, which would also abort the files before a failed one that
    // are still on their way; so every record tells a transfer's own outcome. Once one has failed and every
    // file before it is complete, the run has done all it may: whatever it does after that is thrown away.
    CurlTick tick(qint64 pid, const QByteArray& output) {
        take(output);
        const QHash<QString, qint64> at = openFilePositions(pid, m_canonicals);
        for (auto it = at.cbegin(); it != at.cend(); ++it)
            m_tracker.setInFlight(int(m_canonicals.indexOf(it.key())), it.value());
        const bool progressed = m_tracker.publish();
        for (int i = 0;; ++i) {
            const auto it = m_recordOf.constFind(i);
            if (it == m_recordOf.constEnd())
                return progressed ? CurlTick::progressed : CurlTick::quiet;
            if (it->exitCode != 0)
                return CurlTick::done;
        }
    }
    // Once curl has ended; its last record may lack the line end.
    void finish(const QByteArray& output) { take(output + '\n'); }

private:
    void take(const QByteArray& output) {
        const QByteArray rest = output.mid(m_consumed);
        const qsizetype lastEnd = rest.lastIndexOf('\n');
        if (lastEnd < 0)
            return;
        const QList<TransferRecord> records = parseTransferRecords(rest.left(lastEnd + 1), m_nonce, false);
        if (records.isEmpty())
            return;
        m_consumed += lastEnd + 1;
        for (const TransferRecord& record : records) {
            const int index = m_indexOfUrl.value(QString::fromLatin1(record.url), -1);
            if (index < 0) // a record for no file of this batch: nothing to say about any of them
                continue;
            m_recordOf.insert(index, record);
            if (record.exitCode == 0)
                m_tracker.complete(index);
        }
    }

    QByteArray m_nonce;
    qsizetype m_consumed = 0;
    QHash<QString, int> m_indexOfUrl;
    QStringList m_canonicals;
    TransferProgressTracker& m_tracker;
    QHash<int, TransferRecord> m_recordOf;
};

// The result that stands for the item's own failure: its record's exit code, when it has one.
CurlResult itemResult(CurlResult result, const QHash<int, TransferRecord>& recordOf, int index) {
    if ((result.end == CurlResult::End::exited || result.end == CurlResult::End::ended) &&
        recordOf.contains(index)) {
        result.end = CurlResult::End::exited;
        result.exitStatus = recordOf.value(index).exitCode;
    }
    return result;
}

} // namespace

QByteArray FTPClient::uploadConfig(const QStringList& localFiles, const QStringList& urls,
                                   const QByteArray& nonce, const QByteArrayList& afterEach) const {
    CurlConfig config = baseConfig();
    addTlsOptions(config, RunKind::upload);
    config.add("no-progress-meter").add("write-out", transferRecordFormat(nonce));
    if (m_options.parallelTransfers > 1 && localFiles.size() > 1)
        config.add("parallel").add("parallel-max", qint64(m_options.parallelTransfers));
    for (const QByteArray& command : afterEach)
        config.add("quote", '-' + command);
    for (qsizetype i = 0; i < localFiles.size(); ++i)
        config.add("upload-file", QByteArrayView(QFile::encodeName(localFiles[i]))).add("url", urls.value(i));
    return config.text();
}

QByteArray FTPClient::downloadConfig(const QStringList& urls, const QStringList& localFiles,
                                     const QByteArray& nonce) const {
    CurlConfig config = baseConfig();
    addTlsOptions(config, RunKind::download);
    config.add("no-progress-meter").add("write-out", transferRecordFormat(nonce));
    if (m_options.parallelTransfers > 1 && urls.size() > 1)
        config.add("parallel").add("parallel-max", qint64(m_options.parallelTransfers));
    for (qsizetype i = 0; i < urls.size(); ++i)
        config.add("url", urls[i]).add("output", QByteArrayView(QFile::encodeName(localFiles.value(i))));
    return config.text();
}

QList<UploadOutcome> FTPClient::uploadFiles(const QList<QUrl>& files, const QString& directory,
                                            const OperationControlPtr& control,
                                            const TransferProgressSink& progress) const {
    requireSafe(directory);
    const QString folder = withTrailingSlash(directory);
    const QString uploadFailed = QStringLiteral("Could not upload");
    const QString tag = randomTag();
    QList<PlannedUpload> plan;
    QStringList names, locals, tempUrls, canonicals;
    QList<qint64> sizes;
    QList<UploadOutcome> outcomes;
    for (const QUrl& file : files) {
        const QFileInfo info(file.toLocalFile());
        const std::optional<QString> name =
            servertext::fromUserText(info.fileName(), m_connection.textEncoding);
        if (!name)
            throw FTPClientError::itemFailed(
                folder + info.fileName(),
                uploadFailed +
                    QStringLiteral(" \u201c%1\u201d: its name cannot be written in the server's "
                                   "text encoding (%2). Rename the file and try again.")
                        .arg(info.fileName(), servertext::encodingLabel(m_connection.textEncoding)));
        requireSafe(*name);
        // curl would give up on the whole run at such a file, before the files ahead of it are done.
        if (!info.isFile() || !info.isReadable())
            throw FTPClientError::itemFailed(
                folder + *name,
                uploadFailed + QStringLiteral(" \u201c%1\u201d: the local file %2 cannot be read.")
                                   .arg(info.fileName(), QDir::toNativeSeparators(info.filePath())));
        const QString temp = folder + QStringLiteral(".kalvor-%1-%2.part").arg(tag).arg(plan.size());
        plan.append({info.filePath(), kernelPath(info.filePath()), folder + *name, temp, info.size()});
        names << *name;
        sizes << info.size();
        locals << info.filePath();
        tempUrls << fileURL(temp);
        canonicals << plan.last().canonicalPath;
        outcomes.append({*name, false});
    }
    if (plan.isEmpty())
        return outcomes;

    // 1. Every file to its temporary name.
    TransferProgressTracker tracker(names, sizes, progress);
    BatchWatch watch(tempUrls, canonicals, tracker);
    const QHash<int, TransferRecord>& recordOf = watch.records();
    // A single file takes its real name in its own run, right after the transfer: one login fewer. (In a
    // batch, files finish out of order, so renames wait for the whole batch.)
    const bool renameInRun = plan.size() == 1;
    const QByteArrayList renameFirst{"RNFR " + serverPath(plan[0].tempPath),
                                     "RNTO " + serverPath(plan[0].remotePath)};
    const CurlResult result =
        run(uploadConfig(locals, tempUrls, watch.nonce(), renameInRun ? renameFirst : QByteArrayList()),
            control, [&](qint64 pid, const QByteArray& output) { return watch.tick(pid, output); });
    watch.finish(result.output);
    int firstBad = 0;
    while (firstBad < plan.size() && recordOf.value(firstBad).exitCode == 0)
        ++firstBad;
    // Transfers start in order, at most a few at once: nothing past this can have left a temporary file.
    const int mayExist = int(std::min<qsizetype>(plan.size(), recordOf.size() + m_options.parallelTransfers));

    // 2. Complete files take their real names in order; every other temporary file goes.
    const bool cancelled = result.end == CurlResult::End::cancelled;
    int next = 0;
    int refusedInRun = -1; // uploaded whole, but the rename in the same run was refused
    if (renameInRun && firstBad == 1)
        next = 1;
    else if (renameInRun && recordOf.value(0).exitCode == 21) {
        refusedInRun = 0;
        firstBad = 1;
    }
    try {
        while (true) {
            int refused = refusedInRun;
            refusedInRun = -1;
            if (refused < 0) {
                QList<RemoteCommand> commands;
                for (int i = next; i < firstBad; ++i) {
                    commands.append(
                        {"RNFR " + serverPath(plan[i].tempPath), plan[i].remotePath, uploadFailed});
                    commands.append(
                        {"RNTO " + serverPath(plan[i].remotePath), plan[i].remotePath, uploadFailed});
                }
                for (int i = std::max(next, firstBad); i < mayExist; ++i)
                    commands.append(
                        {"*DELE " + serverPath(plan[i].tempPath), plan[i].remotePath, uploadFailed});
                if (commands.isEmpty())
                    break;
                QByteArrayList texts;
                for (const RemoteCommand& command : commands)
                    texts.append(command.command);
                // Not cancellable: a cancelled upload must still take its temporary files away.
                const CurlResult finished = run(commandConfig(texts), {});
                if (finished.succeeded())
                    break;
                const qsizetype accepted = curltrace::acceptedCount(finished.errorOutput, {"RNFR", "RNTO"});
                refused = next + int(accepted / 2);
                if (finished.exitStatus != 21 || accepted % 2 == 0 || refused >= firstBad)
                    throw failure(finished, uploadFailed, plan.value(refused, plan.last()).remotePath);
            }
            // The server took the file but will not rename it over the target: send it again under its
            // own name, then drop the temporary copy.
            next = refused;
            tracker.publishDirectUpload(refused);
            CurlConfig direct = baseConfig();
            addTlsOptions(direct, RunKind::upload);
            direct.add("upload-file", QByteArrayView(QFile::encodeName(plan[refused].localPath)))
                .add("url", fileURL(plan[refused].remotePath))
                .add("quote", "-*DELE " + serverPath(plan[refused].tempPath));
            const CurlResult sent = run(direct.text(), control);
            if (!sent.succeeded())
                throw failure(sent, uploadFailed, plan[refused].remotePath);
            outcomes[refused].uploadedDirectly = true;
            next = refused + 1;
        }
    } catch (const FTPClientError&) {
        // Whatever stopped the renames, no temporary file may stay behind (unless the run that failed was
        // the clean-up itself: the server is not taking commands).
        if (next >= firstBad)
            throw;
        QByteArrayList leftovers;
        for (int i = next; i < mayExist; ++i)
            leftovers.append("*DELE " + serverPath(plan[i].tempPath));
        if (!leftovers.isEmpty())
            (void)run(commandConfig(leftovers), {});
        throw;
    }

    if (cancelled)
        throw FTPClientError::cancelled();
    if (firstBad < plan.size())
        throw failure(itemResult(result, recordOf, firstBad), uploadFailed, plan[firstBad].remotePath);
    tracker.publish(true);
    return outcomes;
}

void FTPClient::uploadFile(const QUrl& localFile, const QString& directory) const {
    (void)uploadFiles({localFile}, directory);
}

void FTPClient::downloadFiles(const QList<DownloadItem>& items, const OperationControlPtr& control,
                              const TransferProgressSink& progress) const {
    QStringList names, urls, parts, canonicals;
    QList<qint64> sizes;
    for (const DownloadItem& item : items) {
        requireSafe(item.remotePath);
        names << item.remotePath.section(u'/', -1);
        urls << fileURL(item.remotePath);
        parts << item.localPath + QStringLiteral(".part");
        canonicals << kernelPath(parts.last());
        sizes << item.size;
    }
    if (items.isEmpty())
        return;

    TransferProgressTracker tracker(names, sizes, progress);
    BatchWatch watch(urls, canonicals, tracker);
    const QHash<int, TransferRecord>& recordOf = watch.records();
    const CurlResult result =
        run(downloadConfig(urls, parts, watch.nonce()), control,
            [&](qint64 pid, const QByteArray& output) { return watch.tick(pid, output); });
    watch.finish(result.output);

    // Complete files take their names in order up to the first that is not; the rest leave nothing behind.
    int firstBad = 0;
    for (; firstBad < items.size() && recordOf.value(firstBad).exitCode == 0; ++firstBad) {
        QFile part(parts[firstBad]);
        if (!part.exists() && part.open(QIODevice::WriteOnly)) // curl writes no file for an empty one
            part.close();
        if (std::rename(QFile::encodeName(parts[firstBad]).constData(),
                        QFile::encodeName(items[firstBad].localPath).constData()) != 0)
            break;
    }
    for (int i = firstBad; i < items.size(); ++i)
        QFile::remove(parts[i]);
    if (firstBad == items.size()) {
        tracker.publish(true);
        return;
    }
    const QString downloadFailed = QStringLiteral("Could not download");
    // Complete, yet not renamed: the local side failed. Without a record the run itself failed first.
    if (recordOf.contains(firstBad) && recordOf.value(firstBad).exitCode == 0)
        throw FTPClientError::itemFailed(items[firstBad].remotePath,
                                         downloadFailed +
                                             QStringLiteral(" \u201c%1\u201d: it could not be "
                                                            "saved as %2.")
                                                 .arg(forDisplay(items[firstBad].remotePath),
                                                      QDir::toNativeSeparators(items[firstBad].localPath)));
    throw failure(itemResult(result, recordOf, firstBad), downloadFailed, items[firstBad].remotePath);
}
