#pragma once

#include "model/Connection.h"

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A real FTP server on 127.0.0.1 for one test: started in the constructor, stopped (and waited for) in the
// destructor. Two kinds:
//  - pyftpdlib: plain ftp://, served folder is a fresh temporary folder, user "tester"/"secret"; listing
//    style, canned listings and a slow "__slow__" folder are configurable; anything whose path contains
//    "__denied__" cannot be stored, deleted, removed or created.
//  - vsftpd: implicit TLS (ftps://) unless Options::vsftpdTls says otherwise, a throw-away local account
//    chrooted into a fresh folder. Its certificate comes from a test authority that this process's curl runs
//    trust (CURL_CA_BUNDLE), so it verifies like a real server's, unless Options::selfSigned. Needs root;
//    without it skipReason() says why. Seeded paths with a "__denied__" component stay owned by root, so
//    vsftpd refuses changes inside such a folder as well.
class TestFtpServer {
public:
    enum class Kind { pyftpdlib, vsftpd };
    enum class Listing { unix, dos, bare };
    enum class Tls { implicit, explicitTLS, none };

    struct Options {
        Listing listing = Listing::unix;
        // Folder (as the client names it, e.g. "/h") -> the exact bytes its LIST returns (pyftpdlib only).
        QMap<QString, QByteArray> rawListings;
        double slowSeconds = 3.0;
        // Faults on purpose (pyftpdlib only). A LIST of a folder whose path contains hangPattern opens the
        // transfer and then never sends a byte: the client waits until the server stops.
        QString hangPattern;
        // "VERB:N": the server process dies (SIGKILL) when the Nth such command arrives, before acting on
        // it; the command is still logged.
        QString dieOn;
        // When positive, the server process dies once a STOR has received this many bytes.
        qint64 dieAfterBytes = 0;
        // "TEXT:N": a LIST of a folder whose path contains TEXT sends N bytes, then holds the line silently.
        QString stallListing;
        // When positive, uploads are received at most this many bytes a second.
        qint64 throttleReceive = 0;
        // When positive, downloads are sent at most this many bytes a second.
        qint64 throttleSend = 0;
        // An RNTO onto a path containing this is refused.
        QString refuseRename;
        // Every folder whose path contains this holds a folder "sub", without end.
        QString endless;
        Tls vsftpdTls = Tls::implicit; // vsftpd only
        bool selfSigned = false;       // vsftpd only: a certificate no authority vouches for
    };

    explicit TestFtpServer(Kind kind);
    TestFtpServer(Kind kind, const Options& options);
    ~TestFtpServer();
    TestFtpServer(const TestFtpServer&) = delete;
    TestFtpServer& operator=(const TestFtpServer&) = delete;

    Kind kind() const { return m_kind; }
    bool isRunning() const { return m_port != 0; }
    // Set when this kind of server cannot run on this machine; the test should skip.
    QString skipReason() const { return m_skipReason; }
    // Why the server did not start, when it should have.
    QString errorString() const { return m_error; }

    quint16 port() const { return m_port; }
    QString rootPath() const { return m_rootPath; }
    Connection connection() const;

    // Stops the server the way the destructor does (SIGTERM, then SIGKILL); open sessions are cut.
    void stop();
    // vsftpd: a new key and certificate from now on (the server restarts on the same port).
    bool replaceCertificate();
    // True once the server process has ended (by itself, by a fault on purpose, or stopped), waiting up to
    // msecs for it.
    bool waitForExit(int msecs);

    // Every command received so far, one "VERB arg" per line, across all sessions in order. The password is
    // masked, and a LIST without an argument names the folder it listed ("LIST /a/b/"), since curl changes
    // into the folder first.
    QStringList commandLog() const;
    // Only the commands that read or change the tree (LIST, DELE, RMD, MKD, STOR).
    QStringList treeCommands() const;
    // A command as this server's log shows it: vsftpd writes every byte outside printable ASCII as "?".
    QString asLogged(const QString& command) const;

    // Disk helpers, with remote paths as the client uses them ("/a/b" or "a/b").
    QString localPath(const QString& remotePath) const;
    void makeFolder(const QString& remotePath) const;
    void writeFile(const QString& remotePath, const QByteArray& content = QByteArray()) const;
    void makeSymlink(const QString& remotePath, const QString& target) const;
    bool exists(const QString& remotePath) const;
    bool isFolder(const QString& remotePath) const;
    QByteArray readFile(const QString& remotePath) const;
    // Every file an upload left under a temporary name, anywhere in the served folder.
    QStringList temporaryFiles() const;

private:
    bool start(const QString& script, const QStringList& arguments);
    void handOver(const QString& remotePath) const;

    Kind m_kind;
    std::unique_ptr<QTemporaryDir> m_scratch;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_rootPath;
    QString m_user;
    QString m_password;
    QString m_logPath;
    QString m_skipReason;
    QString m_error;
    Tls m_tls = Tls::implicit;
};

Q_DECLARE_METATYPE(TestFtpServer::Kind)
Q_DECLARE_METATYPE(TestFtpServer::Listing)
Q_DECLARE_METATYPE(TestFtpServer::Tls)

// Starts a server named `name`, skipping the test when this kind cannot run here and failing it when the
// server does not come up.
#define KALVOR_START_SERVER(name, ...)                                                                       \
    TestFtpServer name(__VA_ARGS__);                                                                         \
    if (!name.skipReason().isEmpty())                                                                        \
        QSKIP(qPrintable(name.skipReason()));                                                                \
    QVERIFY2(name.isRunning(), qPrintable(name.errorString()))
