#include "ftp/CurlConfig.h"
#include "ftp/CurlTrace.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"
#include "model/ServerText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

enum Tls { plain, implicitTLS, explicitTLS };

Connection connection(int tls = plain) {
    Connection c = Connection::makeNew();
    c.host = u"h"_s;
    c.port = tls == implicitTLS ? 990 : 21;
    c.username = u"u"_s;
    c.password = u"p"_s;
    c.useTLS = tls != plain;
    c.tlsMode = tls == explicitTLS ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
    return c;
}

const QString recordingCurl = QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/recording_curl.sh");

// Random markers and temporary names differ on every run.
QByteArray normalised(QByteArray config) {
    static const QRegularExpression random(u"kalvor-[0-9a-z]+"_s);
    return QString::fromLatin1(config).replace(random, u"kalvor-R"_s).toLatin1();
}

} // namespace

// FTPClient against a recording stand-in for curl: the exact config of every run and the error texts. The
// real protocol is covered by the integration tests against real servers.
class FTPClientTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString logDir() const { return m_dir.filePath(u"runs"_s); }

    void respondWith(const QByteArray& trace, int exitStatus) {
        QFile file(m_dir.filePath(u"trace"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(trace);
        qputenv("KALVOR_FAKE_CURL_TRACE", file.fileName().toUtf8());
        qputenv("KALVOR_FAKE_CURL_EXIT", QByteArray::number(exitStatus));
    }

    QByteArrayList recordedConfigs() const {
        QByteArrayList configs;
        const QDir dir(logDir());
        for (const QString& name : dir.entryList({u"*.config"_s}, QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            configs << (file.open(QIODevice::ReadOnly)
                            ? normalised(file.readAll()).replace(m_dir.path().toUtf8(), "DIR")
                            : QByteArray());
        }
        return configs;
    }

    // Runs one kind of operation; its error, if any.
    std::optional<FTPClientError> failureOf(const FTPClient& client, const QString& operation) const {
        try {
            if (operation == u"list")
                (void)client.listDirectory(u"pub/a b"_s);
            else if (operation == u"mkdir")
                client.createDirectory(u"pub/a \"b\\"_s);
            else if (operation == u"dele")
                client.deleteFile(servertext::fromServer("pub/caf\xe9"));
            else if (operation == u"rename")
                client.rename(u"a"_s, u"/b c"_s);
            else if (operation == u"upload")
                client.uploadFile(QUrl::fromLocalFile(m_dir.filePath(u"my \"report\".pdf"_s)), u"/in"_s);
            else if (operation == u"tree")
                client.deleteDirectory(u"/t"_s);
            else
                client.downloadFiles({{u"/a/x 1"_s, u"/tmp/x 1"_s, 1}, {u"b"_s, u"/tmp/b"_s, 1}});
        } catch (const FTPClientError& error) {
            return error;
        }
        return std::nullopt;
    }

private Q_SLOTS:
    void initTestCase() {
        QFile file(m_dir.filePath(u"my \"report\".pdf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void init() {
        QDir(logDir()).removeRecursively();
        QVERIFY(QDir().mkpath(logDir()));
        qputenv("KALVOR_FAKE_CURL_LOG_DIR", logDir().toUtf8());
        respondWith({}, 0);
    }

    void makeURL_data() {
        QTest::addColumn<int>("tls");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << int(plain) << QString() << u"ftp://h:21/"_s;
        QTest::newRow("relative") << int(plain) << u"pub"_s << u"ftp://h:21/pub/"_s;
        QTest::newRow("both slashes") << int(plain) << u"/pub/"_s << u"ftp://h:21/pub/"_s;
        QTest::newRow("double slashes kept") << int(plain) << u"//a//b"_s << u"ftp://h:21//a//b/"_s;
        QTest::newRow("literal percent") << int(plain) << u"p%20z"_s << u"ftp://h:21/p%2520z/"_s;
        QTest::newRow("hash, question mark, brackets")
            << int(plain) << u"/a#b?c[1]{2} d"_s << u"ftp://h:21/a%23b%3Fc%5B1%5D%7B2%7D%20d/"_s;
        QTest::newRow("unreserved kept") << int(plain) << u"/A-z_0.9~"_s << u"ftp://h:21/A-z_0.9~/"_s;
        QTest::newRow("non-ascii as utf-8") << int(plain) << u"/d\u00e4"_s << u"ftp://h:21/d%C3%A4/"_s;
        QTest::newRow("raw server byte")
            << int(plain) << servertext::fromServer("/caf\xe9") << u"ftp://h:21/caf%E9/"_s;
        QTest::newRow("implicit TLS keeps port") << int(implicitTLS) << u"pub"_s << u"ftps://h:990/pub/"_s;
        QTest::newRow("explicit TLS is ftp") << int(explicitTLS) << u"pub"_s << u"ftp://h:21/pub/"_s;
    }
    void makeURL() {
        QFETCH(int, tls);
        QFETCH(QString, path);
        QFETCH(QString, url);
        QCOMPARE(FTPClient(connection(tls)).makeURL(path), url);
    }

    // Every run's whole config: the common head, the TLS options, and what the operation adds.
    void configs_data() {
        QTest::addColumn<int>("tls");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArrayList>("expected"); // after the head, one per run
        const QByteArray record = "write-out = \"\\\\nkalvor-R %{exitcode} %{response_code} %{size_download} "
                                  "%{size_upload} %{url_effective}\\\\n\"\n";
        for (const int tls : {int(plain), int(implicitTLS), int(explicitTLS)}) {
            const QByteArray root = tls == implicitTLS ? "ftps://h:990/" : "ftp://h:21/";
            const char* name = tls == plain ? "" : tls == implicitTLS ? " (implicit TLS)" : " (explicit TLS)";
            QTest::addRow("list%s", name)
                << tls << u"list"_s
                << QByteArrayList{"fail-early\n" + record + "url = \"" + root + "pub/a%20b/\"\n"};
            QTest::addRow("mkdir%s", name)
                << tls << u"mkdir"_s
                << QByteArrayList{"head\nquote = \"MKD pub/a \\\"b\\\\\"\nurl = \"" + root + "\"\n"};
            QTest::addRow("delete file%s", name)
                << tls << u"dele"_s
                << QByteArrayList{"head\nquote = \"DELE /pub/caf\xe9\"\nurl = \"" + root + "\"\n"};
            QTest::addRow("rename%s", name)
                << tls << u"rename"_s
                << QByteArrayList{"head\nquote = \"RNFR /a\"\nquote = \"RNTO /b c\"\n"
                                  "url = \"" +
                                  root + "\"\n"};
            // A single file is renamed in its own run; a failed upload (this curl reports nothing) takes its
            // temporary file away. Over TLS, only the upload run stops at TLS 1.2.
            QTest::addRow("upload%s", name)
                << tls << u"upload"_s
                << QByteArrayList{QByteArray(tls == plain ? "" : "tls-max = \"1.2\"\n") +
                                      "no-progress-meter\n" + record +
                                      "quote = \"-RNFR /in/.kalvor-R-0.part\"\nquote = \"-RNTO /in/my "
                                      "\\\"report\\\".pdf\"\n"
                                      "upload-file = \"DIR/my \\\"report\\\".pdf\"\nurl = \"" +
                                      root + "in/.kalvor-R-0.part\"\n",
                                  "head\nquote = \"*DELE /in/.kalvor-R-0.part\"\nurl = \"" + root + "\"\n"};
            QTest::addRow("download%s", name)
                << tls << u"download"_s
                << QByteArrayList{"no-progress-meter\n" + record +
                                  "parallel\nparallel-max = \"4\"\nurl = \"" + root +
                                  "a/x%201\"\noutput = \"/tmp/x 1.part\"\nurl = \"" + root +
                                  "b\"\noutput = \"/tmp/b.part\"\n"};
        }
    }
    void configs() {
        QFETCH(int, tls);
        QFETCH(QString, operation);
        QFETCH(QByteArrayList, expected);
        // This curl answers nothing; only what it was given counts here.
        (void)failureOf(FTPClient(connection(tls), recordingCurl), operation);
        QByteArray head = "silent\nshow-error\nverbose\ngloboff\nuser = \"u:p\"\nconnect-timeout = \"20\"\n"
                          "speed-limit = \"1000\"\nspeed-time = \"60\"\n";
        if (tls != plain)
            head += "ssl-reqd\n"; // verified against the system's roots: nothing is pinned
        for (QByteArray& config : expected)
            config.prepend(head);
        QCOMPARE(recordedConfigs(), expected);
    }

    // A certificate curl refuses stops every operation before any login, with the certificate to show,
    // fetched by a run of its own that carries no user name or password.
    void refusedCertificate_stopsEveryOperation_data() {
        QTest::addColumn<QString>("operation");
        for (const char* operation : {"list", "mkdir", "dele", "rename", "upload", "download", "tree"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }
    void refusedCertificate_stopsEveryOperation() {
        QFETCH(QString, operation);
        qputenv("KALVOR_FAKE_CURL_OUTPUT", KALVOR_TEST_SUPPORT_DIR "/certificates/curl-certs-chain.txt");
        respondWith("curl: (60) SSL certificate problem: self-signed certificate\n", 60);
        const std::optional<FTPClientError> error =
            failureOf(FTPClient(connection(implicitTLS), recordingCurl), operation);
        qunsetenv("KALVOR_FAKE_CURL_OUTPUT");
        QVERIFY(error && error->refusal());
        QCOMPARE(error->refusal()->certificate.subject, u"CN = 127.0.0.1"_s);
        QVERIFY(error->description().contains(error->refusal()->certificate.fingerprint));
        const QByteArray probe = recordedConfigs().last();
        QVERIFY(probe.contains("write-out = \"%{certs}\"") && !probe.contains("user"));
    }

    void configValues_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("quoted");
        QTest::newRow("plain") << QByteArray("a b") << QByteArray("\"a b\"");
        QTest::newRow("quote and backslash") << QByteArray("a\"b\\c") << QByteArray("\"a\\\"b\\\\c\"");
        QTest::newRow("line breaks and tab") << QByteArray("a\r\n\tb\v") << QByteArray("\"a\\r\\n\\tb\\v\"");
        QTest::newRow("raw bytes unchanged") << QByteArray("caf\xe9 \xff") << QByteArray("\"caf\xe9 \xff\"");
    }
    void configValues() {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, quoted);
        QCOMPARE(quotedConfigValue(value), quoted);
    }

    void controlCharacters_areRefusedBeforeAnyRun_data() {
        QTest::addColumn<QString>("operation");
        for (const char* op : {"list", "mkdir", "upload", "upload-name", "dele", "rename", "rmd-tree",
                               "download", "login", "nul-in-config"})
            QTest::newRow(op) << QString::fromLatin1(op);
    }
    void controlCharacters_areRefusedBeforeAnyRun() {
        QFETCH(QString, operation);
        const QString hostile = u"a\r\nDELE /victim"_s;
        Connection c = connection();
        if (operation == u"login")
            c.username = u"u\r\nDELE /victim"_s;
        const FTPClient client(c, recordingCurl);
        const auto failure = [&]() -> std::optional<FTPClientError> {
            try {
                if (operation == u"list" || operation == u"login")
                    (void)client.listDirectory(operation == u"login" ? u"/"_s : hostile);
                else if (operation == u"mkdir")
                    client.createDirectory(hostile);
                else if (operation == u"upload")
                    client.uploadFile(QUrl::fromLocalFile(u"/tmp/x"_s), hostile);
                else if (operation == u"upload-name")
                    client.uploadFile(QUrl::fromLocalFile(u"/tmp/x\nDELE y"_s), u"/"_s);
                else if (operation == u"dele")
                    client.deleteFile(u"a\x7f"_s);
                else if (operation == u"rename")
                    client.rename(u"a"_s, u"b\rc"_s);
                else if (operation == u"download")
                    client.downloadFiles({{u"a\nb"_s, u"/tmp/a"_s, 0}});
                else if (operation == u"nul-in-config")
                    client.uploadFile(QUrl::fromLocalFile(u"/tmp/x"_s + QChar(0) + u"y"_s), u"/"_s);
                else
                    client.deleteDirectory(u"a\tb"_s);
            } catch (const FTPClientError& error) {
                return error;
            }
            return std::nullopt;
        }();
        QVERIFY(failure);
        QCOMPARE(failure->kind(), FTPClientError::Kind::unsafePath);
        QVERIFY(recordedConfigs().isEmpty());
    }

    // What the user reads: the fixed leading words, the item, the server's reply or what to do, curl's code.
    void failureTexts_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("trace");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const QByteArray login = "< 220 ready\r\n> USER u\r\n< 331 more\r\n> PASS p\r\n";
        using Kind = FTPClientError::Kind;
        QTest::newRow("mkdir refused")
            << u"mkdir"_s << login + "< 230 in\r\n> MKD x\r\n< 550 Exists.\r\n"
            << 21 << int(Kind::itemFailed)
            << u"Could not create folder \u201cx\u201d: h:21 refused. Check the name and that you may make this change there. The server said: \u201c550 Exists.\u201d (curl error 21)"_s;
        QTest::newRow("delete refused, multi-line reply")
            << u"dele"_s << login + "< 230 in\r\n> DELE /x\r\n< 550-No\r\n< 550 such file.\r\n"
            << 21 << int(Kind::itemFailed)
            << u"Could not delete file \u201c/x\u201d: h:21 refused. Check the name and that you may make this change there. The server said: \u201c550 such file.\u201d (curl error 21)"_s;
        QTest::newRow("wrong password")
            << u"dele"_s << login + "< 530 Login incorrect.\r\n"
            << 67 << int(Kind::itemFailed)
            << u"Could not delete file \u201c/x\u201d: Login to h:21 failed: check the user name and password. (curl error 67)"_s;
        QTest::newRow("closed port")
            << u"list"_s << QByteArray() << 7 << int(Kind::itemFailed)
            << u"Could not open folder \u201c/\u201d: Could not connect to h:21. Check the address and the port, and that the server is running. (curl error 7)"_s;
        QTest::newRow("stall seen by curl")
            << u"list"_s << QByteArray() << 28 << int(Kind::timedOut)
            << u"Could not open folder \u201c/\u201d: h:21 did not answer in time. Check the address and the port, and try again. (curl error 28)"_s;
    }
    void failureTexts() {
        QFETCH(QString, operation);
        QFETCH(QByteArray, trace);
        QFETCH(int, exitStatus);
        QFETCH(int, kind);
        QFETCH(QString, text);
        respondWith(trace, exitStatus);
        const FTPClient client(connection(), recordingCurl);
        try {
            if (operation == u"list")
                (void)client.listDirectory(u"/"_s);
            else if (operation == u"mkdir")
                client.createDirectory(u"x"_s);
            else
                client.deleteFile(u"/x"_s);
            QFAIL("a failed run passed for success");
        } catch (const FTPClientError& error) {
            QCOMPARE(error.description(), text);
            QCOMPARE(int(error.kind()), kind);
        }
    }

    // Several listings share one standard output; each is cut out by the size curl reports beside the marker.
    void transferRecords_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArrayList>("bodies");
        QTest::newRow("two listings, CRs dropped")
            << QByteArray("ab\n\nN 0 226 4 0 u1\nc\nN 0 226 1 0 u2\n") << QByteArrayList{"ab\n", "c"};
        QTest::newRow("a forged marker inside a listing")
            << QByteArray("x\nM 0 226 1 0 u\n\nN 0 226 16 0 u1\n") << QByteArrayList{"x\nM 0 226 1 0 u\n"};
        QTest::newRow("size disagrees: stop") << QByteArray("abc\nN 0 226 2 0 u1\n") << QByteArrayList{};
        QTest::newRow("more missing than line ends: stop")
            << QByteArray("a\nb\nN 0 226 6 0 u1\n") << QByteArrayList{};
    }
    void transferRecords() {
        QFETCH(QByteArray, output);
        QFETCH(QByteArrayList, bodies);
        QByteArrayList got;
        for (const TransferRecord& record : parseTransferRecords(output, "N"))
            got << record.body;
        QCOMPARE(got, bodies);
    }
};

QTEST_GUILESS_MAIN(FTPClientTest)
#include "tst_ftpclient.moc"
