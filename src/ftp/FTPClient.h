#pragma once

#include "CurlConfig.h"
#include "CurlRunner.h"
#include "FTPClientError.h"
#include "FTPClientOptions.h"
#include "OperationControl.h"
#include "model/Connection.h"
#include "model/RemoteFile.h"

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// One folder of a tree walk: its path (trailing "/") and what it holds.
struct TreeFolder {
    QString path;
    int depth = 0; // 0 for the folder the walk started from
    QList<RemoteFile> entries;
};

struct DownloadItem {
    QString remotePath; // server form
    QString localPath;  // the finished file; it is written as localPath + ".part" first
    qint64 size = 0;    // as listed, for progress (0 when unknown)
};

// What became of one uploaded file.
struct UploadOutcome {
    QString remoteName; // server form
    // The server refused to rename the finished upload over the target, so the file was sent again under
    // its own name directly; callers say so, since a failure of that kind of upload can cut the old file.
    bool uploadedDirectly = false;
};

// The only way Kalvor reaches a server: every operation is one or more runs of curl, whose options (login
// included) go to its standard input. The client holds a copy of the connection and its options and nothing
// else, so one client may serve several operations at once. Operations are synchronous and throw
// OperationError (FTPClientError or ProcessLaunchError); callers run them off the GUI thread. Every
// operation may be given a control to cancel it; a cancelled one throws FTPClientError::cancelled(). A
// progress sink is called on that same worker thread, about ten times a second.
class FTPClient {
public:
    explicit FTPClient(Connection connection, QString curlPath = defaultCurlPath());
    FTPClient(Connection connection, FTPClientOptions options);

    const Connection& connection() const { return m_connection; }
    const FTPClientOptions& options() const { return m_options; }
    const QString& curlPath() const { return m_options.curlPath; }
    // "host:port", as errors name the server.
    QString serverName() const;

    // scheme://host:port/ + the path's server bytes with a leading and trailing "/" ensured, percent-encoded.
    QString makeURL(const QString& path) const;
    // The same without the trailing "/": a file.
    QString fileURL(const QString& path) const;
    QString rootURL() const;

    // The configs each kind of run gets (pure; tests compare them).
    QByteArray listConfig(const QStringList& folders, const QByteArray& nonce) const;
    // Raw commands on a run that transfers nothing; a command starting with "*" may fail without ending it.
    QByteArray commandConfig(const QByteArrayList& commands) const;
    // Each local file to the URL at the same index; `afterEach` are raw commands sent after each transfer
    // that succeeded.
    QByteArray uploadConfig(const QStringList& localFiles, const QStringList& urls, const QByteArray& nonce,
                            const QByteArrayList& afterEach = {}) const;
    QByteArray downloadConfig(const QStringList& urls, const QStringList& localFiles,
                              const QByteArray& nonce) const;

    QList<RemoteFile> listDirectory(const QString& path, const OperationControlPtr& control = {}) const;
    // The folder and everything below it, one run per level of depth; links are not followed.
    QList<TreeFolder> listTree(const QString& path, const OperationControlPtr& control = {}) const;
    void createDirectory(const QString& path, const OperationControlPtr& control = {}) const;
    void deleteFile(const QString& path, const OperationControlPtr& control = {}) const;
    void rename(const QString& from, const QString& to, const OperationControlPtr& control = {}) const;
    // Lists the tree, then deletes it depth first in one run; nothing is deleted when the tree cannot be
    // listed whole. The first refusal stops it; the error names the item.
    void deleteDirectory(const QString& path, const OperationControlPtr& control = {}) const;

    // Local files into a remote folder under their own names (in the connection's text encoding), each to
    // a temporary name renamed over the target once complete. The first failure stops the batch; it names
    // the file, and files after it are left untouched.
    QList<UploadOutcome> uploadFiles(const QList<QUrl>& files, const QString& directory,
                                     const OperationControlPtr& control = {},
                                     const TransferProgressSink& progress = {}) const;
    void uploadFile(const QUrl& localFile, const QString& directory) const;
    // Remote files to local paths, each through "<local>.part", renamed once complete.
    void downloadFiles(const QList<DownloadItem>& items, const OperationControlPtr& control = {},
                       const TransferProgressSink& progress = {}) const;

private:
    CurlConfig baseConfig() const;
    // Every TLS option of every run is added here and nowhere else (FTPClientTls.cpp).
    enum class RunKind { command, listing, upload, download };
    void addTlsOptions(CurlConfig& config, RunKind kind) const;
    std::optional<TrustedCertificate> trustedCertificate() const;
    // The password to log in with: the connection's own, or the one read from the keyring.
    QString password() const;
    // FTPClientError::untrustedCertificate when the run failed because the server's certificate is not
    // trusted or not the one trusted, after a run of its own that fetches the certificate without a login.
    std::optional<FTPClientError> certificateRefusal(const CurlResult& result) const;
    // Words for a run that failed because TLS could not be set up; none when TLS was not the reason.
    std::optional<QString> tlsFailureText(const CurlResult& result) const;

    CurlResult run(const QByteArray& config, const OperationControlPtr& control,
                   std::function<CurlTick(qint64, const QByteArray&)> onTick = {}) const;
    void requireSafe(const QString& text) const;
    // The error a failed run stands for: cancelled, timed out, too large, or what curl and the server said.
    // `leading` ("Could not delete file") and `item` name what failed, when the run was about one thing.
    FTPClientError failure(const CurlResult& result, const QString& leading = {},
                           const QString& item = {}) const;
    // One raw command of a run, with the item it acts on and the words its error starts with.
    struct RemoteCommand {
        QByteArray command;
        QString item;
        QString leading;
    };
    void runCommands(const QList<RemoteCommand>& commands, const OperationControlPtr& control) const;
    QString forDisplay(const QString& serverText) const;

    Connection m_connection;
    FTPClientOptions m_options;
};
