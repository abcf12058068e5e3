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

Connection connection(int tls = plain, const QString& user = u"u"_s) {
    Connection c = Connection::makeNew();
    c.host = u"h"_s;
    c.port = tls == implicitTLS ? 990 : 21;
    c.username = user;
    c.password = u"p"_s;
    c.useTLS = tls != plain;
    c.tlsMode = tls == explicitTLS ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
    return c;
}

const QString recordingCurl = QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/recording_curl.sh");
QTemporaryDir dir;
const QString logDir = dir.filePath(u"runs"_s);

using Operation = std::function<void(const FTPClient&)>;

// The operations whose runs the tests look at, with names and paths that need escaping.
const QList<std::pair<const char*, Operation>> operations = {
    {"list", [](auto& c) { (void)c.listDirectory(u"pub/a b"_s); }},
    {"mkdir", [](auto& c) { c.createDirectory(u"pub/a \"b\\"_s); }},
    {"delete file", [](auto& c) { c.deleteFile(servertext::fromServer("pub/caf\xe9")); }},
    {"rename", [](auto& c) { c.rename(u"a"_s, u"/b c"_s); }},
    {"upload",
     [](auto& c) { c.uploadFile(QUrl::fromLocalFile(dir.filePath(u"my \"report\".pdf"_s)), u"/in"_s); }},
    {"download",
     [](auto& c) {
         c.downloadFiles({{u"/a/x 1"_s, u"/tmp/x 1"_s, 1}, {u"b"_s, u"/tmp/b"_s, 1}});
     }},
    {"delete tree", [](auto& c) { c.deleteDirectory(u"/t"_s); }},
};

std::optional<FTPClientError> failureOf(const FTPClient& client, const Operation& operation) {
    try {
        operation(client);
    } catch (const FTPClientError& error) {
        return error;
    }
    return std::nullopt;
}

void respondWith(const QByteArray& trace, int exitStatus) {
    QFile file(dir.filePath(u"trace"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(trace);
    qputenv("KALVOR_FAKE_CURL_TRACE", file.fileName().toUtf8());
    qputenv("KALVOR_FAKE_CURL_EXIT", QByteArray::number(exitStatus));
}

// Every run's config in run order; random markers and temporary names differ on every run.
QByteArrayList recordedConfigs() {
    static const QRegularExpression random(u"kalvor-[0-9a-z]+"_s);
    QByteArrayList configs;
    for (const QFileInfo& info : QDir(logDir).entryInfoList({u"*.config"_s}, QDir::Files, QDir::Name)) {
        if (QFile file(info.filePath()); file.open(QIODevice::ReadOnly))
            configs << QString::fromLatin1(file.readAll())
                           .replace(random, u"kalvor-R"_s)
                           .replace(dir.path(), u"DIR"_s)
                           .toLatin1();
    }
    return configs;
}

} // namespace

Q_DECLARE_METATYPE(Operation)

// FTPClient against a recording stand-in for curl: the exact config of every run and the error texts. The
// real protocol is covered by the integration tests against real servers.
class FTPClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        QFile upload(dir.filePath(u"my \"report\".pdf"_s));
        QVERIFY(upload.open(QIODevice::WriteOnly));
        QDir(logDir).removeRecursively();
        QVERIFY(QDir().mkpath(logDir));
        qputenv("KALVOR_FAKE_CURL_LOG_DIR", logDir.toUtf8());
        respondWith({}, 0);
        qunsetenv("KALVOR_FAKE_CURL_OUTPUT");
    }

    // Every byte outside the unreserved set is encoded, the server's own bytes as they are; slashes stay.
    void makeURL() {
        const QList<std::pair<QString, QString>> pathAndURL = {
            {{}, u"ftp://h:21/"_s},
            {u"/pub/"_s, u"ftp://h:21/pub/"_s},
            {u"//a//b"_s, u"ftp://h:21//a//b/"_s},
            {u"/a#b?c[1]{2} d"_s, u"ftp://h:21/a%23b%3Fc%5B1%5D%7B2%7D%20d/"_s},
            {u"/A-z_0.9~"_s, u"ftp://h:21/A-z_0.9~/"_s},
            {u"/d\u00e4"_s, u"ftp://h:21/d%C3%A4/"_s},
            {servertext::fromServer("/caf\xe9"), u"ftp://h:21/caf%E9/"_s}};
        for (const auto& [path, url] : pathAndURL)
            QCOMPARE(FTPClient(connection()).makeURL(path), url);
    }

    // Every run's whole config: the common head, the TLS options, and what the operation adds.
    void configs_data() {
        QTest::addColumn<int>("tls");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QByteArrayList>("expected"); // after the head, one per run
        const QByteArray record = "write-out = \"\\\\nkalvor-R %{exitcode} %{response_code} %{size_download} "
                                  "%{size_upload} %{url_effective}\\\\n\"\n";
        for (const int tls : {int(plain), int(implicitTLS), int(explicitTLS)}) {
            const QByteArray url =
                QByteArray("url = \"") + (tls == implicitTLS ? "ftps://h:990/" : "ftp://h:21/");
            const QList<QByteArrayList> runs = {
                {"fail-early\n" + record + url + "pub/a%20b/\"\n"},
                {"head\nquote = \"MKD pub/a \\\"b\\\\\"\n" + url + "\"\n"},
                {"head\nquote = \"DELE /pub/caf\xe9\"\n" + url + "\"\n"},
                {"head\nquote = \"RNFR /a\"\nquote = \"RNTO /b c\"\n" + url + "\"\n"},
                // A single file is renamed in its own run; a failed upload (this curl reports nothing) takes
                // its temporary file away. Over TLS, only the upload run stops at TLS 1.2.
                {QByteArray(tls == plain ? "" : "tls-max = \"1.2\"\n") + "no-progress-meter\n" + record +
                     "quote = \"-RNFR /in/.kalvor-R-0.part\"\nquote = \"-RNTO /in/my \\\"report\\\".pdf\"\n"
                     "upload-file = \"DIR/my \\\"report\\\".pdf\"\n" +
                     url + "in/.kalvor-R-0.part\"\n",
                 "head\nquote = \"*DELE /in/.kalvor-R-0.part\"\n" + url + "\"\n"},
                {"no-progress-meter\n" + record + "parallel\nparallel-max = \"4\"\n" + url +
                 "a/x%201\"\noutput = \"/tmp/x 1.part\"\n" + url + "b\"\noutput = \"/tmp/b.part\"\n"},
            };
            for (qsizetype i = 0; i < runs.size(); ++i)
                QTest::addRow("%s, %s", operations[i].first,
                              std::array{"plain", "implicit TLS", "explicit TLS"}[tls])
                    << tls << operations[i].second << runs[i];
        }
    }
    void configs() {
        QFETCH(int, tls);
        QFETCH(Operation, operation);
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
    void refusedCertificate_stopsEveryOperation() {
        qputenv("KALVOR_FAKE_CURL_OUTPUT", KALVOR_TEST_SUPPORT_DIR "/certificates/curl-certs-chain.txt");
        respondWith("curl: (60) SSL certificate problem: self-signed certificate\n", 60);
        for (const auto& [name, operation] : operations) {
            const std::optional<FTPClientError> error =
                failureOf(FTPClient(connection(implicitTLS), recordingCurl), operation);
            QVERIFY2(error && error->refusal(), name);
            QCOMPARE(error->refusal()->certificate.subject, u"CN = 127.0.0.1"_s);
            QVERIFY(error->description().contains(error->refusal()->certificate.fingerprint));
            const QByteArray probe = recordedConfigs().last();
            QVERIFY2(probe.contains("write-out = \"%{certs}\"") && !probe.contains("user"), name);
        }
    }

    // Quotes, backslashes and raw bytes are in the configs above; line breaks and tabs only here.
    void configValues() { QCOMPARE(quotedConfigValue("a\r\n\tb\v"), "\"a\\r\\n\\tb\\v\""); }

    void controlCharacters_areRefusedBeforeAnyRun_data() {
        QTest::addColumn<Operation>("operation");
        static const QString hostile = u"a\r\nDELE /victim"_s;
        const auto row = [](const char* tag, const Operation& operation) { QTest::newRow(tag) << operation; };
        row("list", [](auto& c) { (void)c.listDirectory(hostile); });
        row("mkdir", [](auto& c) { c.createDirectory(hostile); });
        row("upload", [](auto& c) { c.uploadFile(QUrl::fromLocalFile(u"/tmp/x"_s), hostile); });
        row("upload-name", [](auto& c) { c.uploadFile(QUrl::fromLocalFile(u"/tmp/x\nDELE y"_s), u"/"_s); });
        row("dele", [](auto& c) { c.deleteFile(u"a\x7f"_s); });
        row("rename", [](auto& c) { c.rename(u"a"_s, u"b\rc"_s); });
        row("rmd-tree", [](auto& c) { c.deleteDirectory(u"a\tb"_s); });
        row("download", [](auto& c) { c.downloadFiles({{u"a\nb"_s, u"/tmp/a"_s, 0}}); });
        row("login", [](const FTPClient&) {
            (void)FTPClient(connection(plain, hostile), recordingCurl).listDirectory(u"/"_s);
        });
        row("password", [](const FTPClient&) {
            Connection c = connection();
            c.password = hostile;
            (void)FTPClient(c, recordingCurl).listDirectory(u"/"_s);
        });
        row("nul-in-config",
            [](auto& c) { c.uploadFile(QUrl::fromLocalFile(u"/tmp/x"_s + QChar(0) + u"y"_s), u"/"_s); });
    }
    void controlCharacters_areRefusedBeforeAnyRun() {
        QFETCH(Operation, operation);
        const std::optional<FTPClientError> failure =
            failureOf(FTPClient(connection(), recordingCurl), operation);
        QVERIFY(failure);
        QCOMPARE(failure->kind(), FTPClientError::Kind::unsafePath);
        QVERIFY(recordedConfigs().isEmpty());
    }

    // What the user reads: the fixed leading words, the item, the server's reply or what to do, curl's code.
    void failureTexts() {
        using Kind = FTPClientError::Kind;
        const auto check = [](const Operation& operation, const QByteArray& trace, int exitStatus, Kind kind,
                              const QString& text) {
            respondWith(trace, exitStatus);
            const std::optional<FTPClientError> error =
                failureOf(FTPClient(connection(), recordingCurl), operation);
            QVERIFY2(error, "a failed run passed for success");
            QCOMPARE(error->description(), text);
            QCOMPARE(error->kind(), kind);
        };
        const QByteArray login = "< 220 ready\r\n> USER u\r\n< 331 more\r\n> PASS p\r\n";
        const Operation list = [](auto& c) { (void)c.listDirectory(u"/"_s); };
        const Operation dele = [](auto& c) { c.deleteFile(u"/x"_s); };
        const QString refused =
            u"h:21 refused. Check the name and that you may make this change there. The server said: "_s;
        check([](auto& c) { c.createDirectory(u"x"_s); }, login + "< 230 in\r\n> MKD x\r\n< 550 Exists.\r\n",
              21, Kind::itemFailed,
              u"Could not create folder \u201cx\u201d: "_s + refused +
                  u"\u201c550 Exists.\u201d (curl error 21)"_s);
        // Of a reply over several lines, its last.
        check(dele, login + "< 230 in\r\n> DELE /x\r\n< 550-No\r\n< 550 such file.\r\n", 21, Kind::itemFailed,
              u"Could not delete file \u201c/x\u201d: "_s + refused +
                  u"\u201c550 such file.\u201d (curl error 21)"_s);
        check(
            dele, login + "< 530 Login incorrect.\r\n", 67, Kind::itemFailed,
            u"Could not delete file \u201c/x\u201d: Login to h:21 failed: check the user name and password. (curl error 67)"_s);
        check(
            list, {}, 7, Kind::itemFailed,
            u"Could not open folder \u201c/\u201d: Could not connect to h:21. Check the address and the port, and that the server is running. (curl error 7)"_s);
        check(
            list, {}, 28, Kind::timedOut,
            u"Could not open folder \u201c/\u201d: h:21 did not answer in time. Check the address and the port, and try again. (curl error 28)"_s);
    }

    // Several listings share one standard output; each is cut out by the size curl reports beside the marker.
    void transferRecords() {
        const QList<std::pair<QByteArray, QByteArrayList>> outputAndBodies = {
            {"ab\n\nN 0 226 4 0 u1\nc\nN 0 226 1 0 u2\n", {"ab\n", "c"}},      // CRs dropped
            {"x\nM 0 226 1 0 u\n\nN 0 226 16 0 u1\n", {"x\nM 0 226 1 0 u\n"}}, // a forged marker inside
            {"abc\nN 0 226 2 0 u1\n", {}},                                     // the size disagrees: stop
            {"a\nb\nN 0 226 6 0 u1\n", {}}, // more missing than line ends: stop
        };
        for (const auto& [output, bodies] : outputAndBodies) {
            QByteArrayList got;
            for (const TransferRecord& record : parseTransferRecords(output, "N"))
                got << record.body;
            QCOMPARE(got, bodies);
        }
    }
};

QTEST_GUILESS_MAIN(FTPClientTest)
#include "tst_ftpclient.moc"
