// Where no keyring runs, passwords stay in the connections file as before, and the user is told so.
#include "keyring/KeychainVault.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Status = PasswordVault::Result::Status;

class KeyringFallbackTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noKeyring_passwordStaysInClearTextAndSaysSo() {
        // A session bus that is not there, even on a desktop whose keyring runs.
        const QTemporaryDir dir;
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath(u"none"_s)));
        KeychainVault vault(u"KalvorTest"_s);
        const PasswordVault::Result check = vault.checkAvailable().result();
        QCOMPARE(check.status, Status::unavailable);
        QVERIFY(!check.error.isEmpty());

        Connection connection = Connection::makeNew();
        connection.password = u"secret"_s;
        const PlacedPassword placed = placePassword(vault, connection).result();
        QCOMPARE(placed.record, connection);
        QVERIFY2(placed.notice.contains(u"clear text"_s), qPrintable(placed.notice));
        QCOMPARE(fillPassword(vault, connection).result().connection, connection);

        connection.password.clear();
        connection.passwordInKeyring = true;
        const FilledPassword filled = fillPassword(vault, connection).result();
        QVERIFY(filled.status != Status::done && !filled.error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(KeyringFallbackTest)
#include "tst_keyringfallback.moc"
