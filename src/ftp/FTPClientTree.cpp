// The recursive side of FTPClient: walking a folder tree level by level, and deleting it in one run.

#include "CurlTrace.h"
#include "FTPClient.h"
#include "FTPClientError.h"
#include "FTPClientInternal.h"
#include "ListingParser.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using namespace ftpinternal;

namespace {

// Whether the walk may act on this entry as a folder to enter: links are never followed, and a name the
// listing does not tell for sure, or one that would lead outside the folder, is not entered.
bool leadsInside(const RemoteFile& entry, const QString& folder) {
    return listing::isAcceptableName(entry.name) &&
           entry.path == listing::entryPath(listing::folderPrefix(folder), entry.name);
}

bool isFolderToEnter(const RemoteFile& entry) {
    return entry.isDirectory && !entry.isLink && !entry.isAmbiguous;
}

} // namespace

QList<TreeFolder> FTPClient::listTree(const QString& path, const OperationControlPtr& control) const {
    requireSafe(path);
    QList<TreeFolder> tree;
    QStringList level{withTrailingSlash(path)};
    QSet<QString> visited{level.first()};
    for (int depth = 0; !level.isEmpty(); ++depth) {
        if (depth > m_options.maxTreeDepth)
            throw FTPClientError::itemFailed(
                level.first(),
                QStringLiteral("The folder \u201c%1\u201d is more than %2 levels below "
                               "\u201c%3\u201d, so Kalvor stopped there. The server may show a "
                               "folder inside itself.")
                    .arg(forDisplay(level.first()))
                    .arg(m_options.maxTreeDepth)
                    .arg(forDisplay(path)));
        // One run lists the whole level, each folder on the same connection with its own record.
        const QByteArray nonce = newRecordNonce();
        const CurlResult result = run(listConfig(level, nonce), control);
        const QList<TransferRecord> records = parseTransferRecords(result.output, nonce);
        if (!result.succeeded()) {
            // The folders are listed in order and the first failure ends the run: it is the one after the
            // last listing that worked.
            const auto listed =
                std::count_if(records.cbegin(), records.cend(),
                              [](const TransferRecord& record) { return record.exitCode == 0; });
            throw failure(result, QStringLiteral("Could not open folder"), level.value(listed, level.last()));
        }
        if (records.size() != level.size())
            throw FTPClientError::commandFailed(unreadableListingText(serverName()));

        QStringList next;
        for (qsizetype i = 0; i < level.size(); ++i) {
            TreeFolder folder{level[i], depth, parseFolderListing(records[i].body, level[i])};
            for (const RemoteFile& entry : folder.entries) {
                if (!isFolderToEnter(entry) || !leadsInside(entry, folder.path))
                    continue;
                const QString inner = withTrailingSlash(entry.path);
                if (visited.contains(inner))
                    throw FTPClientError::itemFailed(
                        inner, QStringLiteral("The server lists \u201c%1\u201d twice in one folder tree, so "
                                              "Kalvor stopped there.")
                                   .arg(forDisplay(inner)));
                visited.insert(inner);
                next.append(inner);
            }
            tree.append(std::move(folder));
        }
        level = next;
    }
    return tree;
}

void FTPClient::deleteDirectory(const QString& path, const OperationControlPtr& control) const {
    const QString deleteFolder = QStringLiteral("Could not delete folder");
    const QString deleteFile = QStringLiteral("Could not delete file");
    QHash<QString, QList<RemoteFile>> entriesOf;
    for (TreeFolder& folder : listTree(path, control)) {
        // Acting on a name the listing does not tell for sure could hit another file: refuse it all.
        for (const RemoteFile& entry : folder.entries) {
            if (entry.isAmbiguous)
                throw FTPClientError::itemFailed(
                    entry.path,
                    deleteFolder + QStringLiteral(" \u201c%1\u201d: the server's listing does not "
                                                  "tell the exact name of \u201c%2\u201d, so nothing "
                                                  "was deleted.")
                                       .arg(forDisplay(path), forDisplay(entry.path)));
        }
        entriesOf.insert(folder.path, std::move(folder.entries));
    }

    // Depth first in listing order (folders come first): everything in a folder goes before the folder.
    QList<RemoteCommand> commands;
    const std::function<void(const QString&, const QString&)> plan = [&](const QString& folder,
                                                                         const QString& removeAs) {
        for (const RemoteFile& entry : entriesOf.value(folder)) {
            if (!leadsInside(entry, folder))
                continue;
            if (isFolderToEnter(entry))
                plan(withTrailingSlash(entry.path), withTrailingSlash(entry.path));
            else
                commands.append({"DELE " + serverPath(entry.path), entry.path, deleteFile});
        }
        commands.append({"RMD " + serverPath(removeAs), removeAs, deleteFolder});
    };
    plan(withTrailingSlash(path), path);
    runCommands(commands, control);
}
