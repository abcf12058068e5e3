// Passwords in a real Secret Service. CTest runs this through tests/support/with_private_keyring.sh, which
// starts one for it; run directly, it skips rather than touch the user's own keyring.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "keyring/KeychainVault.h"
#include "model/RecordJson.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

using Status = PasswordVault::Result::Status;

class KeyringTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!qEnvironmentVariableIsEmpty("KALVOR_NO_KEYRING"))
            QSKIP(qPrintable(u"no Secret Service: "_s + qEnvironmentVariable("KALVOR_NO_KEYRING")));
        if (qEnvironmentVariableIsEmpty("KALVOR_PRIVATE_KEYRING"))
            QSKIP("needs the private keyring of tests/support/with_private_keyring.sh");
    }

    void keyring_holdsPasswordsOutsideTheRecord() {
        KeychainVault vault(u"KalvorTest"_s);
        Connection connection = Connection::makeNew();
        connection.password = u"pässword with spaces"_s;
        const PlacedPassword placed = placePassword(vault, connection).result();
        QVERIFY2(placed.notice.isEmpty(), qPrintable(placed.notice));
        QVERIFY(placed.record.password.isEmpty() && placed.record.passwordInKeyring);

        // Another client of the Secret Service finds it: it is in the keyring, not in a copy of ours.
        QProcess lookup;
        lookup.start(u"secret-tool"_s,
                     {u"lookup"_s, u"server"_s, u"KalvorTest"_s, u"user"_s, uuidText(connection.id)});
        QVERIFY(lookup.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(lookup.readAllStandardOutput()), connection.password);

        QCOMPARE(fillPassword(vault, placed.record).result().connection.password, connection.password);
        QVERIFY(vault.write(connection.id, u"second"_s).result().ok());
        QCOMPARE(vault.read(connection.id).result().password, u"second"_s);
        QVERIFY(vault.remove(connection.id).result().ok());
        QVERIFY(vault.remove(connection.id).result().ok()); // nothing left to remove is no failure
        const FilledPassword missing = fillPassword(vault, placed.record).result();
        QVERIFY(missing.status == Status::notFound && missing.connection.password.isEmpty());
    }

    // A connection saved from the form keeps its password in the keyring only; an operation reads it from
    // there, and deleting the connection takes it away.
    void savedConnection_passwordLivesInTheKeyring() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        KeychainVault vault(u"KalvorTest"_s);
        SessionHarness h;
        h.pool.setSecurity({{}, &vault, {}});
        BrowserState state(h.context, h.prompter);
        state.showNewConnectionForm();
        state.editor().edit(server.connection());
        state.editor().save();
        QTRY_COMPARE(h.store.connections().size(), 1);
        const Connection stored = h.store.connections().first();
        QVERIFY(stored.passwordInKeyring && stored.password.isEmpty());
        (void)h.pool.client(stored).listDirectory(u"/"_s); // fails the test by throwing without the password
        h.prompter.answers = {u"Delete"_s};
        state.deleteConnection(stored);
        QTRY_COMPARE(vault.read(stored.id).result().status, Status::notFound);
    }
};

QTEST_GUILESS_MAIN(KeyringTest)
#include "tst_keyring.moc"
