#include "DownloadPlan.h"

#include "ftp/FTPClientError.h"
#include "model/RemotePath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

class Planner {
public:
    Planner(const FTPClient& client, const QString& localFolder)
        : m_client(client)
        , m_localFolder(QDir::cleanPath(localFolder)) {}

    DownloadPlan plan;

    void addTopLevel(const RemoteFile& entry, const OperationControlPtr& control) {
        const QString local = localPath(m_localFolder, entry);
        if (!entry.isDirectory) {
            addFile(entry, local);
            return;
        }
        addFolder(local);
        QHash<QString, QString> localOf{{remotepath::withTrailingSlash(entry.path), local}};
        for (const TreeFolder& folder : m_client.listTree(entry.path, control)) {
            const QString into = localOf.value(folder.path);
            if (into.isEmpty())
                continue; // not reached from this entry (the walk never leaves it)
            for (const RemoteFile& inner : folder.entries) {
                if (inner.isLink) {
                    ++plan.skippedLinks;
                    continue;
                }
                const QString innerLocal = localPath(into, inner);
                if (inner.isDirectory) {
                    addFolder(innerLocal);
                    localOf.insert(remotepath::withTrailingSlash(inner.path), innerLocal);
                } else {
                    addFile(inner, innerLocal);
                }
            }
        }
    }

private:
    QString localPath(const QString& folder, const RemoteFile& entry) const {
        const QString shown = servertext::forDisplay(entry.path, m_client.connection().textEncoding);
        if (entry.isAmbiguous)
            throw FTPClientError::itemFailed(
                entry.path,
                QStringLiteral("Could not download \u201c%1\u201d from %2: its listing does not tell "
                               "the exact name. Rename it on the server and try again.")
                    .arg(shown, m_client.serverName()));
        const std::optional<QString> name = localNameFor(entry.name, m_client.connection().textEncoding);
        if (!name)
            throw FTPClientError::itemFailed(
                entry.path,
                QStringLiteral("Could not download \u201c%1\u201d from %2: that name cannot be a "
                               "file name on this computer. Rename it on the server and try again.")
                    .arg(shown, m_client.serverName()));
        return folder + u'/' + *name;
    }

    void addFolder(const QString& local) {
        claim(local, QString());
        plan.folders << local;
    }

    void addFile(const RemoteFile& entry, const QString& local) {
        claim(local, entry.path);
        if (QFileInfo(local).exists() || QFileInfo(local).isSymLink())
            plan.existing << int(plan.files.size());
        plan.files.append({entry.path, local, entry.size.value_or(0)});
        plan.shownNames << local.mid(m_localFolder.size() + 1);
        plan.totalBytes += entry.size.value_or(0);
    }

    // Two remote names that read the same here (say, undecodable bytes shown alike) must not overwrite
    // each other.
    void claim(const QString& local, const QString& remotePath) {
        if (m_claimed.contains(local))
            throw FTPClientError::itemFailed(
                remotePath,
                QStringLiteral("Could not download into %1: two items from %2 would both be "
                               "saved as \u201c%3\u201d. Rename one of them on the server and try "
                               "again.")
                    .arg(QDir::toNativeSeparators(m_localFolder), m_client.serverName(),
                         local.mid(m_localFolder.size() + 1)));
        m_claimed.insert(local);
    }

    const FTPClient& m_client;
    const QString m_localFolder;
    QSet<QString> m_claimed;
};

} // namespace

std::optional<QString> localNameFor(const QString& remoteName, const servertext::Encoding& encoding) {
    const QString name = servertext::forDisplay(remoteName, encoding);
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return std::nullopt;
    return name;
}

DownloadPlan planDownload(const FTPClient& client, const QList<RemoteFile>& entries,
                          const QString& localFolder, const OperationControlPtr& control) {
    Planner planner(client, localFolder);
    for (const RemoteFile& entry : entries)
        planner.addTopLevel(entry, control);
    return std::move(planner.plan);
}

void makeLocalFolders(const DownloadPlan& plan) {
    for (const QString& folder : plan.folders) {
        if (!QDir().mkpath(folder))
            throw FTPClientError::itemFailed(
                folder,
                QStringLiteral("Could not create the folder %1. Check that the folder you chose can be "
                               "written to and that no file of that name is in the way.")
                    .arg(QDir::toNativeSeparators(folder)));
    }
}
