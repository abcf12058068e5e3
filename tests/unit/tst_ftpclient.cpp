#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

Connection connection(bool useTLS) {
    Connection c = Connection::makeNew();
    c.host = QStringLiteral("h");
    c.port = useTLS ? 990 : 21;
    c.username = QStringLiteral("u");
    c.password = QStringLiteral("p");
    c.useTLS = useTLS;
    return c;
}

QStringList list(std::initializer_list<const char*> items) {
    QStringList result;
    for (const char* item : items)
        result << QString::fromUtf8(item);
    return result;
}

const QString recordingCurl = QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/recording_curl.sh");

} // namespace

// Drives FTPClient against a recording stand-in for curl: exact argument lists and error texts. The real
// protocol is covered by the integration tests against real servers.
class FTPClientTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString logDir() const { return m_dir.filePath(QStringLiteral("runs")); }

    void respondWith(const QByteArray& output, int exitStatus) {
        QFile file(m_dir.filePath(QStringLiteral("output")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(output);
        qputenv("KALVOR_FAKE_CURL_OUTPUT", file.fileName().toUtf8());
        qputenv("KALVOR_FAKE_CURL_EXIT", QByteArray::number(exitStatus));
    }

    QList<QStringList> recordedRuns() const {
        QList<QStringList> runs;
        const QDir dir(logDir());
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return {};
            QStringList arguments;
            for (const QByteArray& argument : file.readAll().split('\0'))
                arguments << QString::fromUtf8(argument);
            arguments.removeLast(); // the text after the final NUL
            runs << arguments;
        }
        return runs;
    }

private Q_SLOTS:
    void init() {
        QDir(logDir()).removeRecursively();
        QVERIFY(QDir().mkpath(logDir()));
        qputenv("KALVOR_FAKE_CURL_LOG_DIR", logDir().toUtf8());
        respondWith({}, 0);
    }

    void makeURL_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << false << QString() << QStringLiteral("ftp://h:21/");
        QTest::newRow("root") << false << QStringLiteral("/") << QStringLiteral("ftp://h:21/");
        QTest::newRow("relative") << false << QStringLiteral("pub") << QStringLiteral("ftp://h:21/pub/");
        QTest::newRow("absolute") << false << QStringLiteral("/pub") << QStringLiteral("ftp://h:21/pub/");
        QTest::newRow("trailing") << false << QStringLiteral("pub/") << QStringLiteral("ftp://h:21/pub/");
        QTest::newRow("both") << false << QStringLiteral("/pub/") << QStringLiteral("ftp://h:21/pub/");
        QTest::newRow("double slashes kept")
            << false << QStringLiteral("//a//b") << QStringLiteral("ftp://h:21//a//b/");
        QTest::newRow("space") << false << QStringLiteral("/pub/a b")
                               << QStringLiteral("ftp://h:21/pub/a%20b/");
        QTest::newRow("literal percent")
            << false << QStringLiteral("p%20z") << QStringLiteral("ftp://h:21/p%2520z/");
        QTest::newRow("hash, question mark, brackets")
            << false << QStringLiteral("/a#b?c[1]{2}")
            << QStringLiteral("ftp://h:21/a%23b%3Fc%5B1%5D%7B2%7D/");
        QTest::newRow("unreserved kept")
            << false << QStringLiteral("/A-z_0.9~") << QStringLiteral("ftp://h:21/A-z_0.9~/");
        QTest::newRow("non-ascii as utf-8")
            << false << QString::fromUtf8("/d\xc3\xa4") << QStringLiteral("ftp://h:21/d%C3%A4/");
        QTest::newRow("legacy byte as itself")
            << false << QStringLiteral("/caf") + QChar(0xdce9) << QStringLiteral("ftp://h:21/caf%E9/");
        QTest::newRow("tls keeps port")
            << true << QStringLiteral("pub") << QStringLiteral("ftps://h:990/pub/");
    }

    void makeURL() {
        QFETCH(bool, tls);
        QFETCH(QString, path);
        QFETCH(QString, url);
        QCOMPARE(FTPClient(connection(tls)).makeURL(path), url);
    }

    void arguments_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("expected");
        for (const bool tls : {false, true}) {
            const QString root = tls ? QStringLiteral("ftps://h:990/") : QStringLiteral("ftp://h:21/");
            const QStringList head = tls ? list({"-s", "-k", "--ssl-reqd"}) : list({"-s"});
            const char* suffix = tls ? " (TLS)" : "";
            QTest::addRow("list%s", suffix) << tls << QStringLiteral("list")
                                            << head + QStringList{QStringLiteral("-u"), QStringLiteral("u:p"),
                                                                  root + QStringLiteral("pub/a%20b/")};
            QTest::addRow("mkdir%s", suffix)
                << tls << QStringLiteral("mkdir")
                << head + list({"-u", "u:p", "-Q", "MKD pub/a b"}) + QStringList{root};
            QTest::addRow("upload%s", suffix) << tls << QStringLiteral("upload")
                                              << head + list({"-T", "/tmp/my report.pdf", "-u", "u:p"}) +
                                                     QStringList{root + QStringLiteral("in/my%20report.pdf")};
            QTest::addRow("delete file%s", suffix)
                << tls << QStringLiteral("dele")
                << head + list({"-u", "u:p", "-Q", "DELE /pub/a b"}) + QStringList{root};
            QTest::addRow("remove folder%s", suffix)
                << tls << QStringLiteral("rmd")
                << head + list({"-u", "u:p", "-Q", "RMD /pub/a b/"}) + QStringList{root};
        }
    }

    // Each operation hands the tool exactly the list its builder makes.
    void arguments() {
        QFETCH(bool, tls);
        QFETCH(QString, operation);
        QFETCH(QStringList, expected);
        const FTPClient client(connection(tls), recordingCurl);
        QStringList built;
        if (operation == u"list") {
            built = client.listArguments(QStringLiteral("pub/a b"));
            client.listDirectory(QStringLiteral("pub/a b"));
        } else if (operation == u"mkdir") {
            built = client.createDirectoryArguments(QStringLiteral("pub/a b"));
            client.createDirectory(QStringLiteral("pub/a b"));
        } else if (operation == u"upload") {
            const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/my report.pdf"));
            built = client.uploadArguments(file, QStringLiteral("/in"));
            client.uploadFile(file, QStringLiteral("/in"));
        } else if (operation == u"dele") {
            built = client.deleteFileArguments(QStringLiteral("pub/a b"));
            client.deleteFile(QStringLiteral("pub/a b"));
        } else {
            built = client.removeDirectoryArguments(QStringLiteral("pub/a b/"));
        }
        QCOMPARE(built, expected);
        if (operation != u"rmd")
            QCOMPARE(recordedRuns(), QList<QStringList>{expected});
    }

    void upload_keepsGlobCharactersOfTheLocalFileLiteral() {
        const QStringList arguments =
            FTPClient(connection(false))
                .uploadArguments(QUrl::fromLocalFile(QStringLiteral("/tmp/[a] {b}.txt")),
                                 QStringLiteral("/"));
        QCOMPARE(arguments.at(2), QStringLiteral("/tmp/\\[a\\] \\{b\\}.txt"));
        QCOMPARE(arguments.last(), QStringLiteral("ftp://h:21/%5Ba%5D%20%7Bb%7D.txt"));
    }

    void credentials_areOneUnescapedArgument() {
        Connection c = connection(false);
        c.username.clear();
        c.password.clear();
        QCOMPARE(FTPClient(c).credentials(), QStringLiteral(":"));
        c.username = QStringLiteral("a \"b\":c");
        c.password = QStringLiteral("p:w 'd'");
        QCOMPARE(FTPClient(c).listArguments(QString()).at(2), QStringLiteral("a \"b\":c:p:w 'd'"));
    }

    void deleteDirectory_walksFilesThenRemovesWithTheCallersPath() {
        respondWith("-rw-r--r-- 1 o g 5 Jan 01 2020 b.txt\n-rw-r--r-- 1 o g 5 Jan 01 2020 a.txt\n", 0);
        FTPClient(connection(false), recordingCurl).deleteDirectory(QStringLiteral("docs"));
        const auto runs = recordedRuns();
        QCOMPARE(runs.size(), 4);
        QCOMPARE(runs[0].last(), QStringLiteral("ftp://h:21/docs/"));
        QCOMPARE(runs[1].at(4), QStringLiteral("DELE /docs/a.txt"));
        QCOMPARE(runs[2].at(4), QStringLiteral("DELE /docs/b.txt"));
        QCOMPARE(runs[3].at(4), QStringLiteral("RMD /docs"));
    }

    void controlCharacters_areRefusedBeforeAnyRun_data() {
        QTest::addColumn<QString>("operation");
        for (const char* op : {"list", "mkdir", "upload", "upload-name", "dele", "rmd-tree", "login"})
            QTest::newRow(op) << QString::fromLatin1(op);
    }

    void controlCharacters_areRefusedBeforeAnyRun() {
        QFETCH(QString, operation);
        const QString hostile = QStringLiteral("a\r\nDELE /victim");
        Connection c = connection(false);
        if (operation == u"login")
            c.username = QStringLiteral("u\r\nDELE /victim");
        const FTPClient client(c, recordingCurl);
        try {
            if (operation == u"list" || operation == u"login")
                client.listDirectory(operation == u"login" ? QStringLiteral("/") : hostile);
            else if (operation == u"mkdir")
                client.createDirectory(hostile);
            else if (operation == u"upload")
                client.uploadFile(QUrl::fromLocalFile(QStringLiteral("/tmp/x")), hostile);
            else if (operation == u"upload-name")
                client.uploadFile(QUrl::fromLocalFile(QStringLiteral("/tmp/x\nDELE y")), QStringLiteral("/"));
            else if (operation == u"dele")
                client.deleteFile(QStringLiteral("a\x7f"));
            else
                client.deleteDirectory(QStringLiteral("a\tb"));
            QFAIL("an unsafe path was accepted");
        } catch (const FTPClientError& error) {
            QCOMPARE(error.kind(), FTPClientError::Kind::unsafePath);
            QVERIFY(!error.description().isEmpty());
        }
        QVERIFY(recordedRuns().isEmpty());
    }

    void missingCurl_failsEveryOperationWithTheSameText() {
        const FTPClient client(connection(false), m_dir.filePath(QStringLiteral("no-such-curl")));
        const QList<std::function<void()>> operations{
            [&] { client.listDirectory(QStringLiteral("/")); },
            [&] { client.createDirectory(QStringLiteral("/x")); },
            [&] {
                client.uploadFile(QUrl::fromLocalFile(QStringLiteral("/etc/hostname")), QStringLiteral("/"));
            },
            [&] { client.deleteFile(QStringLiteral("/x")); },
            [&] { client.deleteDirectory(QStringLiteral("/x")); },
        };
        for (const auto& operation : operations) {
            try {
                operation();
                QFAIL("no error without curl");
            } catch (const FTPClientError& error) {
                QCOMPARE(error.kind(), FTPClientError::Kind::curlNotFound);
                QCOMPARE(error.description(), QStringLiteral("curl not found."));
            }
        }
    }

    void failureTexts_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("text"); // empty: any non-empty text will do
        QTest::newRow("list prints text") << "list" << QByteArray("boom") << 9 << "boom";
        QTest::newRow("list not utf-8") << "list" << QByteArray("\xff") << 9 << "Unknown error";
        QTest::newRow("list silent failure") << "list" << QByteArray() << 67 << QString();
        QTest::newRow("mkdir ignores output")
            << "mkdir" << QByteArray("boom") << 21 << "Could not create folder";
        QTest::newRow("upload not utf-8") << "upload" << QByteArray("\xc3") << 25 << "Upload failed";
        QTest::newRow("delete not utf-8") << "dele" << QByteArray("\xff") << 21 << "Could not delete file";
        QTest::newRow("delete silent failure") << "dele" << QByteArray() << 21 << QString();
    }

    void failureTexts() {
        QFETCH(QString, operation);
        QFETCH(QByteArray, output);
        QFETCH(int, exitStatus);
        QFETCH(QString, text);
        respondWith(output, exitStatus);
        const FTPClient client(connection(false), recordingCurl);
        try {
            if (operation == u"list")
                client.listDirectory(QStringLiteral("/"));
            else if (operation == u"mkdir")
                client.createDirectory(QStringLiteral("/x"));
            else if (operation == u"upload")
                client.uploadFile(QUrl::fromLocalFile(QStringLiteral("/etc/hostname")), QStringLiteral("/"));
            else
                client.deleteFile(QStringLiteral("/x"));
            QFAIL("a failed run passed for success");
        } catch (const FTPClientError& error) {
            QCOMPARE(error.kind(), FTPClientError::Kind::commandFailed);
            if (text.isEmpty())
                QVERIFY2(error.description().contains(QString::number(exitStatus)),
                         qPrintable(error.description()));
            else
                QCOMPARE(error.description(), text);
        }
    }

    void listing_thatIsBinary_isAnErrorNotAnEmptyFolder() {
        respondWith(QByteArray("\x1f\x8b\x08\0\0\0\0\0\n", 9), 0);
        QVERIFY_THROWS_EXCEPTION(
            FTPClientError, FTPClient(connection(false), recordingCurl).listDirectory(QStringLiteral("/")));
    }

    void deleteDirectory_stopsAtTheFirstFailure() {
        respondWith("-rw-r--r-- 1 o g 5 Jan 01 2020 a.txt\n", 0);
        qputenv("KALVOR_FAKE_CURL_EXIT", "0");
        // Listing succeeds, then every DELE fails: the folder is never removed.
        const QString script = m_dir.filePath(QStringLiteral("fail-after-list.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\n\"" + recordingCurl.toUtf8() +
                   "\" \"$@\"; case \"$*\" in *DELE*) exit 21;; esac\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
        QVERIFY_THROWS_EXCEPTION(FTPClientError,
                                 FTPClient(connection(false), script).deleteDirectory(QStringLiteral("/d")));
        const auto runs = recordedRuns();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.last().at(4), QStringLiteral("DELE /d/a.txt"));
    }
};

QTEST_GUILESS_MAIN(FTPClientTest)
#include "tst_ftpclient.moc"
