#pragma once

#include "CurlRunner.h"
#include "model/Connection.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The only way Kalvor reaches a server: every operation is one or more runs of curl. The client holds a
// copy of the connection and nothing else, so one client may serve several operations at once.
// Operations are synchronous and throw OperationError (FTPClientError or ProcessLaunchError); callers run
// them off the GUI thread.
class FTPClient {
public:
    explicit FTPClient(Connection connection, QString curlPath = defaultCurlPath());

    const Connection& connection() const { return m_connection; }
    const QString& curlPath() const { return m_curlPath; }

    // scheme://host:port/ + the path with a leading and trailing "/" ensured, each segment percent-encoded.
    QString makeURL(const QString& path) const;
    QString rootURL() const;
    // "username:password", unescaped, always present (":" when both are empty).
    QString credentials() const;

    QStringList listArguments(const QString& path) const;
    QStringList createDirectoryArguments(const QString& path) const;
    QStringList uploadArguments(const QUrl& localFile, const QString& directory) const;
    QStringList deleteFileArguments(const QString& path) const;
    QStringList removeDirectoryArguments(const QString& path) const;

    QList<RemoteFile> listDirectory(const QString& path) const;
    void createDirectory(const QString& path) const;
    void uploadFile(const QUrl& localFile, const QString& directory) const;
    void deleteFile(const QString& path) const;
    // Depth first: subfolders, then files, then the folder itself; the first error stops it.
    void deleteDirectory(const QString& path) const;

private:
    CurlResult run(const QStringList& arguments) const;
    void requireSafe(const QString& text) const;
    QStringList withCommonOptions(QStringList arguments) const;

    Connection m_connection;
    QString m_curlPath;
};
