#pragma once

#include "model/Connection.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// A real FTP server on 127.0.0.1 for one test: started in the constructor, stopped (and waited for) in the
// destructor. Two kinds:
//  - pyftpdlib: plain ftp://, served folder is a fresh temporary folder, user "tester"/"secret"; anything
//    whose path contains "__denied__" cannot be stored, deleted, removed or created, and a folder whose path
//    contains "__slow__" lists slowly.
//  - vsftpd: implicit TLS (ftps://) unless Options::vsftpdTls says otherwise, a throw-away local account
//    chrooted into a fresh folder. Its certificate comes from a test authority that this process's curl runs
//    trust (CURL_CA_BUNDLE), unless Options::selfSigned. Needs root; without it skipReason() says why.
//    Seeded paths with a "__denied__" component stay root's, so vsftpd refuses changes inside them as well.
class TestFtpServer {
public:
    enum class Kind { pyftpdlib, vsftpd };
    enum class Tls { implicit, explicitTLS, none };

    // Everything but the last two is pyftpdlib's; faults on purpose kill the server with SIGKILL.
    struct Options {
        // Folder (as the client names it, e.g. "/h") -> the exact bytes its LIST returns.
        QMap<QString, QByteArray> rawListings = {};
        double slowSeconds = 3.0;
        // A LIST of a folder whose path contains this opens the transfer and then never sends a byte.
        QString hangPattern = {};
        // "VERB:N": the server dies when the Nth such command arrives (still logged), before acting on it.
        QString dieOn = {};
        qint64 dieAfterBytes = 0; // the server dies once a STOR has received this many bytes
        // "TEXT:N": a LIST of a folder whose path contains TEXT sends N bytes, then holds the line silently.
        QString stallListing = {};
        qint64 throttleReceive = 0; // bytes a second, uploads
        qint64 throttleSend = 0;    // bytes a second, downloads
        QString refuseRename = {};  // an RNTO onto a path containing this is refused
        QString endless = {};       // every folder whose path contains this holds a folder "sub", without end
        Tls vsftpdTls = Tls::implicit;
        bool selfSigned = false; // a certificate no authority vouches for
    };

    explicit TestFtpServer(Kind kind)
        : TestFtpServer(kind, Options()) {}
    TestFtpServer(Kind kind, const Options& options);
    ~TestFtpServer() { stop(); }
    TestFtpServer(const TestFtpServer&) = delete;
    TestFtpServer& operator=(const TestFtpServer&) = delete;

    bool isRunning() const { return m_port != 0; }
    QString skipReason() const { return m_skipReason; } // this kind cannot run on this machine
    QString errorString() const { return m_error; }     // why the server did not start
    quint16 port() const { return m_port; }
    Connection connection() const;

    // Stops the server (SIGTERM, then SIGKILL); open sessions are cut.
    void stop();
    // vsftpd: a new key and certificate from now on (the server restarts on the same port).
    bool replaceCertificate();
    // True once the server process has ended, waiting up to msecs for it.
    bool waitForExit(int msecs) { return m_process.waitForFinished(msecs) || m_process.processId() == 0; }

    // Every command received so far, "VERB arg", across all sessions in order; the password masked, and a
    // LIST names the folder it listed ("LIST /a/b/"), since curl changes into the folder first.
    QStringList commandLog() const;
    // Only the commands that read or change the tree (LIST, DELE, RMD, MKD, STOR).
    QStringList treeCommands() const {
        return commandLog().filter(QRegularExpression(QStringLiteral("^(LIST|DELE|RMD|MKD|STOR) ")));
    }

    // On the served disk, with remote paths as the client uses them ("/a/b" or "a/b").
    QString localPath(const QString& remotePath) const;
    void makeFolder(const QString& remotePath) const {
        QDir().mkpath(localPath(remotePath));
        handOver(remotePath);
    }
    void writeFile(const QString& remotePath, const QByteArray& content = QByteArray()) const;
    // Puts a tree on disk: "a/b/" is a folder, "a/l -> t" a link to t, anything else a file holding its path.
    void seed(const QStringList& items) const;
    bool exists(const QString& remotePath) const;
    bool isFolder(const QString& remotePath) const;
    QByteArray readFile(const QString& remotePath) const {
        QFile file(localPath(remotePath));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Every file an upload left under a temporary name, anywhere in the served folder.
    QStringList temporaryFiles() const;

private:
    void start(const QString& script, const QStringList& arguments);
    void handOver(const QString& remotePath) const;

    Kind m_kind;
    QTemporaryDir m_scratch;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_rootPath;
    QString m_user = QStringLiteral("tester");
    QString m_password = QStringLiteral("secret");
    QString m_logPath;
    QString m_skipReason;
    QString m_error;
    Tls m_tls = Tls::none;
};

Q_DECLARE_METATYPE(TestFtpServer::Tls)

// Starts a server named `name`, skipping the test when this kind cannot run here and failing it when the
// server does not come up.
#define KALVOR_START_SERVER(name, ...)                                                                       \
    TestFtpServer name(__VA_ARGS__);                                                                         \
    if (!name.skipReason().isEmpty())                                                                        \
        QSKIP(qPrintable(name.skipReason()));                                                                \
    QVERIFY2(name.isRunning(), qPrintable(name.errorString()))
