// The certificate question in a window, against a real vsftpd whose certificate no authority vouches for: the
// real question box, what trusting and cancelling leave in the trust file, and that the work then runs.
#include "WindowDriver.h"
#include "security/TrustStore.h"

#include <QTemporaryDir>

class TrustTest : public WindowTestCase {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpIconTheme(); }
    void cleanup() { closeWindow(); }

    void certificateQuestion_data() {
        QTest::addColumn<bool>("otherKeyTrusted"); // the server's key changed since it was trusted
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("first use, trusted") << false << u"Trust this certificate"_s << true;
        QTest::newRow("first use, cancelled") << false << u"Cancel"_s << false;
        QTest::newRow("key changed, replaced") << true << u"Replace the trusted certificate"_s << true;
    }
    void certificateQuestion() {
        QFETCH(bool, otherKeyTrusted);
        QFETCH(QString, answer);
        QFETCH(bool, trusted);
        TestFtpServer::Options options;
        options.selfSigned = true;
        KALVOR_START_SERVER(server, TestFtpServer::Kind::vsftpd, options);
        server.writeFile(u"notes.txt"_s, "n");
        QTemporaryDir settings;
        FileDefaultsStore store(settings.path());
        TrustStore trust(store);
        TrustedCertificate other;
        other.host = u"127.0.0.1"_s;
        other.port = server.port();
        other.pin = *PublicKeyPin::fromBase64(QString::fromLatin1(QByteArray(32, 'k').toBase64()));
        other.fingerprint = u"00:11"_s;
        other.notBefore = other.notAfter = other.trustedAt = QDateTime::currentDateTimeUtc();
        if (otherKeyTrusted)
            QVERIFY(trust.trust(other));

        showWindow();
        m_h->pool.setSecurity({[&] { return std::make_unique<FileDefaultsStore>(settings.path()); }, nullptr,
                               [this]() -> Prompter* { return &m_window->prompter(); }});
        state().openConnection(server.connection());

        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = child<QMessageBox>(u"questionBox"_s)));
        // A stray Return must not replace a trusted key.
        if (otherKeyTrusted)
            QCOMPARE(box->defaultButton()->text(), u"Cancel"_s);
        QString message;
        QVERIFY(windowdriver::answerQuestion(m_window.get(), answer, &message));
        QVERIFY2(message.contains(otherKeyTrusted ? u"intercepting"_s : u"self-signed"_s),
                 qPrintable(message));
        QVERIFY(waitIdle(state()));
        const std::optional<TrustedCertificate> stored = trust.lookup(u"127.0.0.1"_s, server.port());
        if (trusted) {
            QVERIFY(stored && stored->pin != other.pin);
            QVERIFY2(message.contains(stored->fingerprint.left(47)), qPrintable(message));
            QVERIFY(shown(u"notes.txt"_s));
        } else {
            QVERIFY(!stored);
            QVERIFY(banner()->message().contains(u"not trusted"_s));
        }
        // The refused run and the run that fetched the certificate sent no login; only the retry did.
        QCOMPARE(server.commandLog().filter(u"USER "_s).size(), trusted ? 1 : 0);
    }
};

QTEST_MAIN(TrustTest)
#include "tst_trust.moc"
