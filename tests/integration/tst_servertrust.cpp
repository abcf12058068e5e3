// FTPS and the trust in certificates against real vsftpd servers, through the client and through kalvorctl as
// users run it, judged by what reaches the server's command log.
#include "ServerTestHelpers.h"
#include "model/DefaultsStore.h"
#include "model/RecordJson.h"
#include "security/TrustStore.h"

#include <QProcess>
#include <QtTest>

namespace {

// What the server received before the first login; empty when nothing came before it.
QStringList beforeLogin(const QStringList& commands) {
    return commands.mid(0, commands.indexOf(QRegularExpression(u"USER .*"_s)));
}

struct CtlRun {
    int exitCode = -1;
    QString errors;
};

// `kalvorctl --url SCHEME://USER@127.0.0.1:PORT [options] ls /` with a settings folder of its own.
CtlRun kalvorctl(const TestFtpServer& server, const QString& scheme, const QTemporaryDir& home,
                 const QStringList& options = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"KALVOR_PASSWORD"_s, server.connection().password);
    environment.insert(u"XDG_CONFIG_HOME"_s, home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(
        QStringLiteral(KALVORCTL_BINARY),
        QStringList{u"--url"_s,
                    u"%1://%2@127.0.0.1:%3"_s.arg(scheme, server.connection().username).arg(server.port())} +
            options + QStringList{u"ls"_s, u"/"_s});
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class ServerTrustTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The changes a user makes work over TLS with a certificate an authority vouches for: nothing to ask,
    // nothing pinned, and the login goes out only once TLS protects it.
    void tlsOperations_data() {
        QTest::addColumn<TestFtpServer::Tls>("tls");
        QTest::addColumn<bool>("storedBeforeExplicitTls"); // the record as an older build wrote it
        QTest::newRow("explicit TLS") << TestFtpServer::Tls::explicitTLS << false;
        QTest::newRow("a record with useTLS alone is implicit TLS") << TestFtpServer::Tls::implicit << true;
    }
    void tlsOperations() {
        QFETCH(TestFtpServer::Tls, tls);
        QFETCH(bool, storedBeforeExplicitTls);
        TestFtpServer::Options options;
        options.vsftpdTls = tls;
        KALVOR_START_SERVER(server, ServerKind::vsftpd, options);
        Connection connection = server.connection();
        if (storedBeforeExplicitTls) {
            const auto decoded = decodeConnections(
                u"[{\"id\":\"%1\",\"name\":\"old\",\"host\":\"127.0.0.1\",\"port\":%2,\"username\":\"%3\","
                "\"password\":\"%4\",\"useTLS\":true}]"_s.arg(uuidText(connection.id))
                    .arg(server.port())
                    .arg(connection.username, connection.password)
                    .toUtf8());
            QVERIFY(decoded && decoded->size() == 1);
            connection = decoded->first();
        }
        QTemporaryDir local;
        const FTPClient client(connection);
        KALVOR_NO_ERROR(client.createDirectory(u"/d"_s));
        KALVOR_NO_ERROR(client.uploadFile(localFile(local, u"up.txt"_s, "up"), u"/d"_s));
        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = client.listDirectory(u"/d"_s));
        QCOMPARE(describe(entries), QStringList{u"file [up.txt] at [/d/up.txt] size 2"_s});
        KALVOR_NO_ERROR(client.deleteFile(u"/d/up.txt"_s));
        QVERIFY(!server.exists(u"d/up.txt"_s) && server.isFolder(u"d"_s));
        const QStringList commands = server.commandLog();
        for (const QString& sent : beforeLogin(commands))
            QVERIFY2(sent.startsWith(u"AUTH "_s), qPrintable(sent));
        QVERIFY(commands.contains(u"PROT P"_s)); // the transfers' own connections are protected too
    }

    // A server that offers no TLS hears no user name or password.
    void explicitTls_plainServer_stopsBeforeLogin() {
        TestFtpServer::Options options;
        options.vsftpdTls = TestFtpServer::Tls::none;
        KALVOR_START_SERVER(server, ServerKind::vsftpd, options);
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
        TestFtpServer::Options options;
        options.vsftpdTls = tls;
        options.selfSigned = true;
        KALVOR_START_SERVER(server, ServerKind::vsftpd, options);
        QTemporaryDir home;
        FileDefaultsStore store(home.filePath(u"kalvor"_s));
        const auto trusted = [&] { return TrustStore(store).lookup(u"127.0.0.1"_s, server.port()); };

        const CtlRun refused = kalvorctl(server, scheme, home);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(!trusted());
        QCOMPARE(server.commandLog().filter(u"USER "_s), QStringList());
        QCOMPARE(kalvorctl(server, scheme, home, {u"--trust"_s}).exitCode, 0);
        const std::optional<TrustedCertificate> first = trusted();
        QVERIFY2(first && refused.errors.contains(first->fingerprint), qPrintable(refused.errors));
        QCOMPARE(kalvorctl(server, scheme, home).exitCode, 0); // the pin, from the trust file

        QVERIFY(server.replaceCertificate());
        const qsizetype seen = server.commandLog().size();
        const CtlRun changed = kalvorctl(server, scheme, home, {u"--trust"_s});
        QCOMPARE(changed.exitCode, 1);
        QVERIFY2(changed.errors.contains(u"--replace-trust"_s), qPrintable(changed.errors));
        for (const QString& sent : server.commandLog().mid(seen))
            QVERIFY2(sent.startsWith(u"AUTH "_s), qPrintable(sent));
        QCOMPARE(trusted(), first);
        QCOMPARE(kalvorctl(server, scheme, home, {u"--replace-trust"_s}).exitCode, 0);
        QVERIFY(trusted() && trusted()->pin != first->pin);
    }
};

QTEST_GUILESS_MAIN(ServerTrustTest)
#include "tst_servertrust.moc"
