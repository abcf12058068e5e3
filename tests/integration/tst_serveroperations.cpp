// The five remote operations against real servers: pyftpdlib over plain FTP and vsftpd over implicit TLS.

#include "ServerTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void addKindRows() {
    QTest::addColumn<ServerKind>("kind");
    QTest::newRow("pyftpdlib") << ServerKind::pyftpdlib;
    QTest::newRow("vsftpd") << ServerKind::vsftpd;
}

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
    void listsFolders_data() { addKindRows(); }
    void listsFolders() {
        QFETCH(ServerKind, kind);
        KALVOR_START_SERVER(server, kind);
        seed(server,
             {QStringLiteral("docs/photos/"), QStringLiteral("docs/Alpha.txt"), QStringLiteral("empty/")});
        server.writeFile(QStringLiteral("docs/notes.txt"), QByteArray(1234, 'n'));
        const FTPClient client(server.connection());

        QList<RemoteFile> root, slash, docs, relativeDocs, empty;
        KALVOR_NO_ERROR(root = client.listDirectory(QString()));
        KALVOR_NO_ERROR(slash = client.listDirectory(QStringLiteral("/")));
        KALVOR_NO_ERROR(docs = client.listDirectory(QStringLiteral("/docs")));
        KALVOR_NO_ERROR(relativeDocs = client.listDirectory(QStringLiteral("docs/")));
        KALVOR_NO_ERROR(empty = client.listDirectory(QStringLiteral("/empty")));

        // Entries of the root have relative paths; a relative folder gives relative paths.
        QCOMPARE(describe(root), QStringList({QStringLiteral("folder [docs] at [docs]"),
                                              QStringLiteral("folder [empty] at [empty]")}));
        QCOMPARE(describe(slash), describe(root));
        QCOMPARE(describe(docs),
                 QStringList({QStringLiteral("folder [photos] at [/docs/photos]"),
                              QStringLiteral("file [Alpha.txt] at [/docs/Alpha.txt] size 14"),
                              QStringLiteral("file [notes.txt] at [/docs/notes.txt] size 1234")}));
        QVERIFY(docs.at(2).modified.has_value());
        QCOMPARE(describe(relativeDocs.value(0)), QStringLiteral("folder [photos] at [docs/photos]"));
        QVERIFY(empty.isEmpty());
        QVERIFY(server.treeCommands().contains(QStringLiteral("LIST /docs/")));
    }

    void createsFolders_data() { addKindRows(); }
    void createsFolders() {
        QFETCH(ServerKind, kind);
        KALVOR_START_SERVER(server, kind);
        server.makeFolder(QStringLiteral("docs"));
        const FTPClient client(server.connection());

        KALVOR_NO_ERROR(client.createDirectory(QStringLiteral("/new")));
        KALVOR_NO_ERROR(client.createDirectory(QStringLiteral("docs/sub")));
        QVERIFY(server.isFolder(QStringLiteral("new")));
        QVERIFY(server.isFolder(QStringLiteral("docs/sub")));
        // The path goes out as given: no leading "/" is added for folder creation.
        QCOMPARE(server.treeCommands().filter(QStringLiteral("MKD")),
                 QStringList({QStringLiteral("MKD /new"), QStringLiteral("MKD docs/sub")}));

        const auto failure = failureOf([&] { client.createDirectory(QStringLiteral("/new")); });
        QVERIFY(failure);
        QCOMPARE(failure->item(), u"/new"_s);
        QVERIFY2(failure->description().startsWith(u"Could not create folder \u201c/new\u201d: "_s) &&
                     failure->description().contains(u"The server said: \u201c550 "_s),
                 qPrintable(failure->description()));
    }

    void uploadsFiles_data() { addKindRows(); }
    void uploadsFiles() {
        QFETCH(ServerKind, kind);
        KALVOR_START_SERVER(server, kind);
        server.makeFolder(QStringLiteral("in"));
        const FTPClient client(server.connection());
        QTemporaryDir local;
        // Line ends and NUL bytes would be mangled by an ASCII-mode transfer.
        const QByteArray first("first\r\nline\n\0binary\x80\xff", 22);
        const QUrl file = makeLocalFile(local, QStringLiteral("my report.pdf"), first);

        KALVOR_NO_ERROR(client.uploadFile(file, QStringLiteral("/in")));
        QCOMPARE(server.readFile(QStringLiteral("in/my report.pdf")), first);
        KALVOR_NO_ERROR(client.uploadFile(file, QString()));
        QCOMPARE(server.readFile(QStringLiteral("my report.pdf")), first);

        // A second upload of the same name replaces the file.
        const QByteArray second("second version");
        makeLocalFile(local, QStringLiteral("my report.pdf"), second);
        KALVOR_NO_ERROR(client.uploadFile(file, QStringLiteral("in/")));
        QCOMPARE(server.readFile(QStringLiteral("in/my report.pdf")), second);
        QCOMPARE(server.treeCommands().filter(QStringLiteral("STOR")).size(), 3);
    }

    void deletesFiles_data() { addKindRows(); }
    void deletesFiles() {
        QFETCH(ServerKind, kind);
        KALVOR_START_SERVER(server, kind);
        seed(server,
             {QStringLiteral("docs/a.txt"), QStringLiteral("docs/b.txt"), QStringLiteral("docs/c.txt")});
        const FTPClient client(server.connection());

        KALVOR_NO_ERROR(client.deleteFile(QStringLiteral("docs/a.txt")));
        KALVOR_NO_ERROR(client.deleteFile(QStringLiteral("/docs/b.txt")));
        QVERIFY(!server.exists(QStringLiteral("docs/a.txt")));
        QVERIFY(!server.exists(QStringLiteral("docs/b.txt")));
        QVERIFY(server.exists(QStringLiteral("docs/c.txt")));
        QCOMPARE(server.treeCommands().filter(QStringLiteral("DELE")),
                 QStringList({QStringLiteral("DELE /docs/a.txt"), QStringLiteral("DELE /docs/b.txt")}));
    }

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
        for (const ServerKind kind : {ServerKind::pyftpdlib, ServerKind::vsftpd}) {
            const QByteArray k = kindName(kind).toUtf8();
            QTest::addRow("%s: list a missing folder", k.constData()) << kind << "list"
                                                                      << "/missing"
                                                                      << ""
                                                                      << ""
                                                                      << "";
            QTest::addRow("%s: create inside a missing folder", k.constData()) << kind << "create"
                                                                               << "/missing/new"
                                                                               << "Could not create folder"
                                                                               << ""
                                                                               << "missing";
            QTest::addRow("%s: create in a refused folder", k.constData()) << kind << "create"
                                                                           << "/locked__denied__/new"
                                                                           << "Could not create folder"
                                                                           << "locked__denied__/x"
                                                                           << "locked__denied__/new";
            QTest::addRow("%s: upload into a missing folder", k.constData()) << kind << "upload"
                                                                             << "/missing"
                                                                             << ""
                                                                             << ""
                                                                             << "missing";
            QTest::addRow("%s: upload into a refused folder", k.constData()) << kind << "upload"
                                                                             << "/locked__denied__"
                                                                             << ""
                                                                             << "locked__denied__/x"
                                                                             << "locked__denied__/up.txt";
            QTest::addRow("%s: delete a missing file", k.constData()) << kind << "deleteFile"
                                                                      << "/docs/missing.txt"
                                                                      << ""
                                                                      << "docs/kept.txt"
                                                                      << "";
            QTest::addRow("%s: delete a refused file", k.constData()) << kind << "deleteFile"
                                                                      << "/locked__denied__/x"
                                                                      << ""
                                                                      << "locked__denied__/x"
                                                                      << "";
            QTest::addRow("%s: delete a missing folder", k.constData()) << kind << "deleteDirectory"
                                                                        << "/missing"
                                                                        << ""
                                                                        << "docs/kept.txt"
                                                                        << "";
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

    void loginFailuresAreReported_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("flipTLS");
        for (const ServerKind kind : {ServerKind::pyftpdlib, ServerKind::vsftpd}) {
            const QByteArray k = kindName(kind).toUtf8();
            QTest::addRow("%s: wrong password", k.constData()) << kind << QString() << "wrong" << false;
            QTest::addRow("%s: unknown user", k.constData()) << kind << "nobody-here"
                                                             << "secret" << false;
        }
        // curl opens with a TLS handshake and gets a plain greeting back.
        QTest::newRow("pyftpdlib: ftps to a plain server")
            << ServerKind::pyftpdlib << QString() << QString() << true;
    }
    void loginFailuresAreReported() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(bool, flipTLS);
        KALVOR_START_SERVER(server, kind);
        Connection connection = server.connection();
        if (!username.isEmpty())
            connection.username = username;
        if (!password.isEmpty())
            connection.password = password;
        connection.useTLS = connection.useTLS != flipTLS;
        const FTPClient client(connection);

        const auto failure = failureOf([&] { (void)client.listDirectory(QStringLiteral("/")); });
        QVERIFY2(failure, "the listing should have failed");
        QVERIFY(!failure->description().isEmpty());
    }

    void closedPortIsReported_data() {
        QTest::addColumn<bool>("useTLS");
        QTest::newRow("ftp") << false;
        QTest::newRow("ftps") << true;
    }
    void closedPortIsReported() {
        QFETCH(bool, useTLS);
        Connection connection;
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = closedPort();
        connection.username = QStringLiteral("tester");
        connection.password = QStringLiteral("secret");
        connection.useTLS = useTLS;
        QVERIFY(connection.port != 0);

        const auto failure = failureOf([&] { (void)FTPClient(connection).listDirectory(QString()); });
        QVERIFY(failure);
        QVERIFY2(failure->description().contains(u"127.0.0.1:"_s + QString::number(connection.port)),
                 qPrintable(failure->description()));
    }

    void missingCurlTouchesNothing_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::newRow("list") << "list"
                              << "/docs";
        QTest::newRow("create") << "create"
                                << "/docs/new";
        QTest::newRow("upload") << "upload"
                                << "/docs";
        QTest::newRow("delete file") << "deleteFile"
                                     << "/docs/a.txt";
        QTest::newRow("delete folder") << "deleteDirectory"
                                       << "/docs";
    }
    void missingCurlTouchesNothing() {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        seed(server, {QStringLiteral("docs/a.txt")});
        QTemporaryDir local;
        const QUrl upload = makeLocalFile(local, QStringLiteral("up.txt"), "upload");
        const FTPClient client(server.connection(), local.filePath(QStringLiteral("no-such-curl")));

        const auto failure = failureOf([&] { runOperation(client, operation, path, upload); });
        QVERIFY(failure);
        QCOMPARE(failure->kind(), FTPClientError::Kind::curlNotFound);
        QCOMPARE(server.commandLog(), QStringList());
        QCOMPARE(
            QDir(server.localPath(QStringLiteral("docs"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("a.txt")});
    }

    // A control character in anything that reaches a command line could smuggle a second FTP command;
    // such a request is refused before curl runs, so the server never even sees a connection.
    void controlCharactersAreNeverSent_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("uploadName");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        const QString injected = QStringLiteral("\r\nDELE /victim");
        const QString none;
        QTest::newRow("list, CR LF") << "list" << u'a' + injected << none << none << none;
        QTest::newRow("create, CR LF") << "create" << u'a' + injected << none << none << none;
        QTest::newRow("create, LF") << "create" << QStringLiteral("a\nDELE /victim") << none << none << none;
        QTest::newRow("upload folder, CR LF") << "upload" << u'a' + injected << none << none << none;
        QTest::newRow("upload file name, CR LF") << "upload"
                                                 << "/" << QStringLiteral("a\r\nDELE victim") << none << none;
        QTest::newRow("delete file, CR LF") << "deleteFile" << u'a' + injected << none << none << none;
        QTest::newRow("delete file, NUL")
            << "deleteFile" << QStringLiteral("/victim") + QChar(0) + u".bak"_s << none << none << none;
        QTest::newRow("delete file, DEL")
            << "deleteFile" << QStringLiteral("/victim\x7f") << none << none << none;
        QTest::newRow("delete file, TAB")
            << "deleteFile" << QStringLiteral("/vic\ttim") << none << none << none;
        QTest::newRow("delete folder, CR LF") << "deleteDirectory" << u'a' + injected << none << none << none;
        QTest::newRow("user name, CR LF") << "list"
                                          << "/" << none << QStringLiteral("tester") + injected << none;
        QTest::newRow("password, CR LF") << "deleteFile"
                                         << "/a" << none << none << QStringLiteral("secret") + injected;
    }
    void controlCharactersAreNeverSent() {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, uploadName);
        QFETCH(QString, username);
        QFETCH(QString, password);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        seed(server, {QStringLiteral("victim"), QStringLiteral("a/inside.txt")});
        Connection connection = server.connection();
        if (!username.isEmpty())
            connection.username = username;
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
