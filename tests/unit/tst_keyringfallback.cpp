// Where no keyring runs, passwords stay in the connections file as before, and the user is told so.
#include "keyring/KeychainVault.h"

#include <QTemporaryDir>
#include <QTest>

using Status = PasswordVault::Result::Status;

class KeyringFallbackTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A session bus that is not there, even on a desktop whose keyring runs.
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(m_dir.filePath(QStringLiteral("none"))));
    }

    void noKeyring_passwordStaysInClearTextAndSaysSo() {
        KeychainVault vault(QStringLiteral("KalvorTest"));
        const PasswordVault::Result check = vault.checkAvailable().result();
        QCOMPARE(check.status, Status::unavailable);
        QVERIFY(!check.error.isEmpty());

        Connection connection = Connection::makeNew();
        connection.password = QStringLiteral("secret");
        const PlacedPassword placed = placePassword(vault, connection).result();
        QCOMPARE(placed.record, connection);
        QVERIFY2(placed.notice.contains(QStringLiteral("clear text")), qPrintable(placed.notice));
        QCOMPARE(fillPassword(vault, connection).result().connection, connection);

        Connection marked = connection;
        marked.password.clear();
        marked.passwordInKeyring = true;
        const FilledPassword filled = fillPassword(vault, marked).result();
        QVERIFY(filled.status != Status::done);
        QVERIFY(!filled.error.isEmpty());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(KeyringFallbackTest)
#include "tst_keyringfallback.moc"
