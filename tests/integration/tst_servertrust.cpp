// FTPS and the trust in certificates against real vsftpd servers, through the client and through kalvorctl as
// users run it, judged by what reaches the server's command log.
#include "ServerTestHelpers.h"
#include "model/DefaultsStore.h"
#include "security/TrustStore.h"

#include <QtTest>

class ServerTrustTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A server that offers no TLS hears no user name or password.
    void explicitTls_plainServer_stopsBeforeLogin() {
        KALVOR_START_SERVER(server, ServerKind::vsftpd, {.vsftpdTls = TestFtpServer::Tls::none});
        Connection connection = server.connection();
        connection.useTLS = true;
        connection.tlsMode = Connection::TlsMode::explicitTLS;
        const auto failure = failureOf([&] { (void)FTPClient(connection).listDirectory(u"/"_s); });
        QVERIFY2(failure && failure->description().contains(u"does not offer TLS"_s),
                 failure ? qPrintable(failure->description()) : "");
        QCOMPARE(server.commandLog().filter(QRegularExpression(u"^(USER|PASS)"_s)), QStringList());
    }

    // Trust on first use from the command line: refused with the fingerprint until --trust, then pinned;
    // a new key is refused even with --trust, with nothing sent after the handshake, until --replace-trust.
    void kalvorctl_trustOnFirstUse_data() {
        QTest::addColumn<TestFtpServer::Tls>("tls");
        QTest::addColumn<QString>("scheme");
        QTest::newRow("implicit") << TestFtpServer::Tls::implicit << u"ftps"_s;
        QTest::newRow("explicit") << TestFtpServer::Tls::explicitTLS << u"ftpes"_s;
    }
    void kalvorctl_trustOnFirstUse() {
        QFETCH(TestFtpServer::Tls, tls);
        QFETCH(QString, scheme);
        KALVOR_START_SERVER(server, ServerKind::vsftpd, {.vsftpdTls = tls, .selfSigned = true});
        QTemporaryDir home;
        FileDefaultsStore store(home.filePath(u"kalvor"_s));
        const auto trusted = [&] { return TrustStore(store).lookup(u"127.0.0.1"_s, server.port()); };
        // `kalvorctl --url SCHEME://USER@127.0.0.1:PORT [options] ls /`
        const auto ls = [&](const QStringList& options = {}) {
            const QString url =
                u"%1://%2@127.0.0.1:%3"_s.arg(scheme, server.connection().username).arg(server.port());
            return kalvorctl(QStringList{u"--url"_s, url} + options + QStringList{u"ls"_s, u"/"_s},
                             home.path(), server.connection().password);
        };

        const CtlRun refused = ls();
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(!trusted());
        QCOMPARE(server.commandLog().filter(u"USER "_s), QStringList());
        QCOMPARE(ls({u"--trust"_s}).exitCode, 0);
        const std::optional<TrustedCertificate> first = trusted();
        QVERIFY2(first && refused.errors.contains(first->fingerprint), qPrintable(refused.errors));
        QCOMPARE(ls().exitCode, 0); // the pin, from the trust file

        QVERIFY(server.replaceCertificate());
        const qsizetype seen = server.commandLog().size();
        const CtlRun changed = ls({u"--trust"_s});
        QCOMPARE(changed.exitCode, 1);
        QVERIFY2(changed.errors.contains(u"--replace-trust"_s), qPrintable(changed.errors));
        for (const QString& sent : server.commandLog().mid(seen))
            QVERIFY2(sent.startsWith(u"AUTH "_s), qPrintable(sent));
        QCOMPARE(trusted(), first);
        QCOMPARE(ls({u"--replace-trust"_s}).exitCode, 0);
        QVERIFY(trusted() && trusted()->pin != first->pin);
    }
};

QTEST_GUILESS_MAIN(ServerTrustTest)
#include "tst_servertrust.moc"
