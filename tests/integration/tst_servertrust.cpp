// The TLS decision against a real vsftpd with a throw-away self-signed certificate: refused until
// trusted, accepted once pinned, refused again when the key differs, and no login is ever sent to a server
// that is not trusted.
#include "TestFtpServer.h"
#include "security/ServerCertificate.h"
#include "security/TlsPolicy.h"

#include <QProcess>
#include <QTest>

using tlspolicy::TlsFailure;

namespace {

struct CurlRun {
    int exitCode = -1;
    QByteArray output;
    QString error;
};

// Runs curl the way Kalvor does: every option on standard input, nothing read from ~/.curlrc.
CurlRun runCurl(const Connection& server, const QStringList& tlsLines, bool withLogin) {
    QStringList lines{QStringLiteral("url = \"%1://%2:%3/\"")
                          .arg(tlspolicy::urlScheme(server), server.host, QString::number(server.port)),
                      QStringLiteral("silent"), QStringLiteral("show-error")};
    if (withLogin)
        lines << QStringLiteral("user = \"%1:%2\"").arg(server.username, server.password);
    QProcess curl;
    curl.start(QStringLiteral("/usr/bin/curl"),
               {QStringLiteral("-q"), QStringLiteral("--config"), QStringLiteral("-")});
    curl.write((lines + tlsLines).join(u'\n').toUtf8() + '\n');
    curl.closeWriteChannel();
    if (!curl.waitForFinished(60000))
        return {};
    return {curl.exitCode(), curl.readAllStandardOutput(), QString::fromUtf8(curl.readAllStandardError())};
}

} // namespace

class ServerTrustTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row needs a vsftpd with a fresh self-signed certificate in that mode and its command log.
    void selfSignedServer_refusedUntilPinned_data() {
        QTest::addColumn<Connection::TlsMode>("mode");
        QTest::addColumn<QStringList>("beforeLogin"); // what may reach the server before USER
        QTest::newRow("implicit TLS") << Connection::TlsMode::implicit << QStringList();
    }

    void selfSignedServer_refusedUntilPinned() {
        QFETCH(Connection::TlsMode, mode);
        QFETCH(QStringList, beforeLogin);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::vsftpd);
        Connection connection = server.connection();
        connection.tlsMode = mode;

        const CurlRun verified = runCurl(connection, tlspolicy::curlOptions(connection, std::nullopt), true);
        QCOMPARE(verified.exitCode, 60);
        const TlsFailure untrusted = tlspolicy::classifyFailure(verified.exitCode, verified.error);
        QCOMPARE(untrusted.kind, TlsFailure::Kind::notTrusted);
        QVERIFY2(untrusted.reason.contains(QStringLiteral("self-signed")), qPrintable(untrusted.reason));

        const CurlRun probe = runCurl(connection, tlspolicy::probeOptions(connection), false);
        QCOMPARE(probe.exitCode, 90);
        QString error;
        const auto chain = parseCurlCertificates(probe.output, error);
        QVERIFY2(chain, qPrintable(error));
        QCOMPARE(chain->first().subject, QStringLiteral("CN = 127.0.0.1"));

        const auto otherKey = PublicKeyPin::fromBase64(QString::fromLatin1(QByteArray(32, 'k').toBase64()));
        const CurlRun changed = runCurl(connection, tlspolicy::curlOptions(connection, otherKey), true);
        QCOMPARE(tlspolicy::classifyFailure(changed.exitCode, changed.error).kind,
                 TlsFailure::Kind::keyChanged);

        const CurlRun pinned =
            runCurl(connection, tlspolicy::curlOptions(connection, chain->first().pin), true);
        QVERIFY2(pinned.exitCode == 0, qPrintable(pinned.error));

        // Three refused sessions sent at most what TLS needs; the pinned one logged in once.
        const QStringList commands = server.commandLog();
        QCOMPARE(commands.filter(QStringLiteral("USER ")).size(), 1);
        QCOMPARE(commands.filter(QStringLiteral("PASS ")).size(), 1);
        QStringList before = commands.mid(0, commands.indexOf(QStringLiteral("USER ") + connection.username));
        before.removeDuplicates();
        QCOMPARE(before, beforeLogin);
    }

    void explicitTls_plainServer_stopsBeforeLogin() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        Connection connection = server.connection();
        connection.useTLS = true;
        connection.tlsMode = Connection::TlsMode::explicitTLS;
        const CurlRun run = runCurl(connection, tlspolicy::curlOptions(connection, std::nullopt), true);
        QCOMPARE(tlspolicy::classifyFailure(run.exitCode, run.error).kind, TlsFailure::Kind::noTls);
        QCOMPARE(server.commandLog().filter(QRegularExpression(QStringLiteral("^(USER|PASS)"))),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(ServerTrustTest)
#include "tst_servertrust.moc"
