#pragma once

#include "ftp/FTPClient.h"
#include "model/RemoteFile.h"
#include "model/ServerText.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Everything one download will do, worked out before a byte moves.
struct DownloadPlan {
    QList<DownloadItem> files;
    QStringList shownNames; // each file below the chosen folder, as the user reads it ("Photos/a.jpg")
    QStringList folders;    // local folders to make, each after its parent
    QList<int> existing;    // the files whose local name is taken already
    int skippedLinks = 0;   // links inside a downloaded folder are not followed
    qint64 totalBytes = 0;
};

// The local file name for a remote name, decoded as the connection shows it; none when it cannot name a
// file here ("", ".", "..", or holding "/" or NUL).
std::optional<QString> localNameFor(const QString& remoteName, const servertext::Encoding& encoding);

// On a worker thread: walks every folder among entries (the whole tree below it) and maps each file to its
// place below localFolder. Throws OperationError naming the entry when a name cannot be a local file name,
// when the listing does not tell a name for sure, or when two files would get the same local name.
DownloadPlan planDownload(const FTPClient& client, const QList<RemoteFile>& entries,
                          const QString& localFolder, const OperationControlPtr& control);

// On a worker thread: makes the plan's local folders. Throws OperationError naming the first that fails.
void makeLocalFolders(const DownloadPlan& plan);
