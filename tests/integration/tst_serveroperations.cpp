// Every remote operation on real servers, pyftpdlib over plain FTP and vsftpd over implicit TLS: names that
// need escaping, refusals, failed logins and paths that must never reach a server. (Batches, byte-exact
// transfers and failures midway are in tst_servertransport; listing formats in tst_serverlistings.)

#include "ServerTestHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QUrl makeLocalFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning("cannot write %s", qPrintable(path));
    return QUrl::fromLocalFile(path);
}

// A port on 127.0.0.1 that nothing listens on: bound by us, then released.
quint16 closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// Runs one operation by name; `local` is the file an upload sends.
void runOperation(const FTPClient& client, const QString& operation, const QString& path, const QUrl& local) {
    if (operation == u"list")
        (void)client.listDirectory(path);
    else if (operation == u"create")
        client.createDirectory(path);
    else if (operation == u"upload")
        client.uploadFile(local, path);
    else if (operation == u"deleteFile")
        client.deleteFile(path);
    else if (operation == u"deleteDirectory")
        client.deleteDirectory(path);
    else
        qFatal("unknown operation %s", qPrintable(operation));
}

} // namespace

class ServerOperationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Names that need escaping in a URL, or that a careless parser would reshape, survive every operation.
    void awkwardNamesRoundTrip_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("name");
        const QStringList names{
            QStringLiteral("two  spaces"), QStringLiteral("hash#mark"),    QStringLiteral("question?mark"),
            QStringLiteral("100% sure"),   QStringLiteral("%41 not an A"), QStringLiteral("[set] {braces}"),
            QStringLiteral("a+b=c&d;e,f"), QStringLiteral("café Ä 日本"),  QStringLiteral("mixed #?% é  end"),
        };
        for (const QString& name : names)
            QTest::addRow("pyftpdlib: %s", qPrintable(name)) << ServerKind::pyftpdlib << name;
        // The escaping is the client's; a second server only needs the hardest cases.
        for (const QString& name : {names.at(4), names.at(5), names.at(8)})
            QTest::addRow("vsftpd: %s", qPrintable(name)) << ServerKind::vsftpd << name;
    }
    void awkwardNamesRoundTrip() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, name);
        KALVOR_START_SERVER(server, kind);
        const FTPClient client(server.connection());
        QTemporaryDir local;
        const QString fileName = name + QStringLiteral(".txt");
        const QByteArray content = name.toUtf8();

        KALVOR_NO_ERROR(client.createDirectory(u'/' + name));
        QVERIFY(server.isFolder(name));

        QList<RemoteFile> root;
        KALVOR_NO_ERROR(root = client.listDirectory(QStringLiteral("/")));
        QCOMPARE(describe(root), QStringList{QStringLiteral("folder [%1] at [%1]").arg(name)});
        const QString folder = root.first().path;

        KALVOR_NO_ERROR(client.uploadFile(makeLocalFile(local, fileName, content), folder));
        KALVOR_NO_ERROR(client.uploadFile(makeLocalFile(local, QStringLiteral("zzz.txt"), "z"), folder));
        QCOMPARE(server.readFile(name + u'/' + fileName), content);

        // Built by concatenation: the names hold "%" signs that QString::arg would read as markers.
        QList<RemoteFile> inside;
        KALVOR_NO_ERROR(inside = client.listDirectory(folder));
        QCOMPARE(describe(inside), QStringList({u"file ["_s + fileName + u"] at ["_s + folder + u'/' +
                                                    fileName + u"] size "_s + QString::number(content.size()),
                                                u"file [zzz.txt] at ["_s + folder + u"/zzz.txt] size 1"_s}));

        KALVOR_NO_ERROR(client.deleteFile(inside.first().path));
        QVERIFY(!server.exists(name + u'/' + fileName));
        QVERIFY(server.exists(name + QStringLiteral("/zzz.txt")));

        KALVOR_NO_ERROR(client.deleteDirectory(folder));
        QVERIFY(!server.exists(name));
    }

    // What the server refuses comes back as the operation's error (its fixed leading words first), and the
    // disk is as it was: no temporary file is left either.
    void serverRefusalsBecomeErrors_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fixedText"); // the leading words; empty: any non-empty text
        QTest::addColumn<QString>("mustStay");
        QTest::addColumn<QString>("mustNotAppear");
        const auto row = [](ServerKind kind, const char* tag, const char* operation, const char* path,
                            const char* fixedText, const char* mustStay, const char* mustNotAppear) {
            QTest::addRow("%s: %s", qPrintable(kindName(kind)), tag)
                << kind << QString::fromUtf8(operation) << QString::fromUtf8(path)
                << QString::fromUtf8(fixedText) << QString::fromUtf8(mustStay)
                << QString::fromUtf8(mustNotAppear);
        };
        const ServerKind py = ServerKind::pyftpdlib;
        const char* create = "Could not create folder";
        row(py, "list a missing folder", "list", "/missing", "", "", "");
        row(py, "create inside a missing folder", "create", "/missing/new", create, "", "missing");
        row(py, "upload into a missing folder", "upload", "/missing", "", "", "missing");
        row(py, "delete a missing file", "deleteFile", "/docs/missing.txt", "", "docs/kept.txt", "");
        row(py, "delete a missing folder", "deleteDirectory", "/missing", "", "docs/kept.txt", "");
        for (const ServerKind kind : {py, ServerKind::vsftpd}) {
            row(kind, "create in a refused folder", "create", "/locked__denied__/new", create,
                "locked__denied__/x", "locked__denied__/new");
            row(kind, "upload into a refused folder", "upload", "/locked__denied__", "", "locked__denied__/x",
                "locked__denied__/up.txt");
            row(kind, "delete a refused file", "deleteFile", "/locked__denied__/x", "", "locked__denied__/x",
                "");
        }
    }
    void serverRefusalsBecomeErrors() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, fixedText);
        QFETCH(QString, mustStay);
        QFETCH(QString, mustNotAppear);
        KALVOR_START_SERVER(server, kind);
        seed(server, {QStringLiteral("docs/kept.txt"), QStringLiteral("locked__denied__/x")});
        QTemporaryDir local;
        const QUrl upload = makeLocalFile(local, QStringLiteral("up.txt"), "upload");

        const auto failure =
            failureOf([&] { runOperation(FTPClient(server.connection()), operation, path, upload); });
        QVERIFY2(failure, "the operation should have failed");
        QVERIFY2(failure->description().startsWith(fixedText) &&
                     failure->description().size() > fixedText.size(),
                 qPrintable(failure->description()));
        if (!mustStay.isEmpty())
            QVERIFY(server.exists(mustStay));
        if (!mustNotAppear.isEmpty())
            QVERIFY(!server.exists(mustNotAppear));
        QCOMPARE(server.temporaryFiles(), QStringList());
    }

    // Every way to fail before the first command is an error, never an empty folder. A closed port names
    // the address tried.
    void connectFailuresAreReported_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("flipTLS");
        QTest::addColumn<bool>("closed");
        QTest::newRow("pyftpdlib: wrong password")
            << ServerKind::pyftpdlib << QString() << "wrong" << false << false;
        QTest::newRow("vsftpd: wrong password")
            << ServerKind::vsftpd << QString() << "wrong" << false << false;
        QTest::newRow("pyftpdlib: unknown user")
            << ServerKind::pyftpdlib << "nobody-here" << QString() << false << false;
        // curl opens with a TLS handshake and gets a plain greeting back.
        QTest::newRow("ftps to a plain server")
            << ServerKind::pyftpdlib << QString() << QString() << true << false;
        QTest::newRow("closed port, ftp") << ServerKind::pyftpdlib << QString() << QString() << false << true;
        QTest::newRow("closed port, ftps") << ServerKind::pyftpdlib << QString() << QString() << true << true;
    }
    void connectFailuresAreReported() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(bool, flipTLS);
        QFETCH(bool, closed);
        KALVOR_START_SERVER(server, kind);
        Connection connection = server.connection();
        if (!username.isEmpty())
            connection.username = username;
        if (!password.isEmpty())
            connection.password = password;
        connection.useTLS = connection.useTLS != flipTLS;
        if (closed)
            connection.port = closedPort();
        QVERIFY(connection.port != 0);

        const auto failure =
            failureOf([&] { (void)FTPClient(connection).listDirectory(QStringLiteral("/")); });
        QVERIFY2(failure, "the listing should have failed");
        QVERIFY(!failure->description().isEmpty());
        if (closed)
            QVERIFY2(failure->description().contains(u"127.0.0.1:"_s + QString::number(connection.port)),
                     qPrintable(failure->description()));
    }

    // A control character in anything that reaches a command line could smuggle a second FTP command;
    // such a request is refused before curl runs, so the server never even sees a connection. The client
    // test checks every operation against a recording curl; here the paths that reach a real server.
    void controlCharactersAreNeverSent_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("uploadName");
        QTest::addColumn<QString>("password");
        const QString injected = QStringLiteral("\r\nDELE /victim");
        const QString none;
        QTest::newRow("list, CR LF") << "list" << u'a' + injected << none << none;
        QTest::newRow("upload file name, CR LF") << "upload"
                                                 << "/" << QStringLiteral("a\r\nDELE victim") << none;
        QTest::newRow("password, CR LF") << "deleteFile"
                                         << "/a" << none << QStringLiteral("secret") + injected;
    }
    void controlCharactersAreNeverSent() {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, uploadName);
        QFETCH(QString, password);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        seed(server, {QStringLiteral("victim"), QStringLiteral("a/inside.txt")});
        Connection connection = server.connection();
        if (!password.isEmpty())
            connection.password = password;
        QTemporaryDir local;
        const QUrl upload =
            makeLocalFile(local, uploadName.isEmpty() ? QStringLiteral("up.txt") : uploadName, "upload");

        const auto failure = failureOf([&] { runOperation(FTPClient(connection), operation, path, upload); });
        QVERIFY2(failure, "the request should have been refused");
        QCOMPARE(failure->kind(), FTPClientError::Kind::unsafePath);
        QCOMPARE(server.commandLog(), QStringList());
        QVERIFY(server.exists(QStringLiteral("victim")));
        QVERIFY(server.exists(QStringLiteral("a/inside.txt")));
    }
};

QTEST_GUILESS_MAIN(ServerOperationsTest)
#include "tst_serveroperations.moc"
