// Passwords in a real Secret Service: a gnome-keyring started by this test on a private D-Bus session,
// unlocked with a throw-away password, so the user's own keyring is never touched.
#include "keyring/KeychainVault.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

using Status = PasswordVault::Result::Status;

namespace {

// GLib ends a process whose session bus goes away (it raises SIGTERM), so the private bus stops only after
// the keyring thread has: post routines run last-added first, and the vault adds its own on first use.
QProcess* privateBus = nullptr;

void stopPrivateBus() {
    privateBus->terminate();
    if (!privateBus->waitForFinished(10000))
        privateBus->kill();
    delete privateBus;
}

// Daemons in a session of their own (gnome-keyring-daemon signals its whole process group when it stops)
// that end with this test even when it crashes.
void detachButFollowParent() {
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

} // namespace

class KeyringTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        const QString busDaemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString keyringDaemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (busDaemon.isEmpty() || keyringDaemon.isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty()) {
            m_skip =
                QStringLiteral("no Secret Service to test against: dbus-daemon, gnome-keyring-daemon and "
                               "secret-tool are needed (scripts/install-deps.sh installs them)");
            return;
        }
        // A bus of its own with no service files: the standard session bus would start a second, locked
        // keyring by activation when the first request comes before ours has registered.
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            "<busconfig><type>session</type><listen>unix:path=" +
            QFile::encodeName(m_dir.filePath(QStringLiteral("bus"))) +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
            "</policy></busconfig>");
        config.close();
        privateBus = new QProcess;
        qAddPostRoutine(stopPrivateBus);
        privateBus->setChildProcessModifier(detachButFollowParent);
        privateBus->start(busDaemon, {QStringLiteral("--config-file=") + config.fileName(),
                                      QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!privateBus->waitForStarted() ||
            !QTest::qWaitFor([] { return privateBus->canReadLine(); }, 20000)) {
            m_skip = QStringLiteral("dbus-daemon did not start: ") +
                     QString::fromLocal8Bit(privateBus->readAllStandardError());
            return;
        }
        const QByteArray address = privateBus->readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address); // before this process first talks to a bus

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
        for (const char* name :
             {"HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            const QString folder = m_dir.filePath(QString::fromLatin1(name));
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            environment.insert(QString::fromLatin1(name), folder);
        }
        m_keyring.setProcessEnvironment(environment);
        m_keyring.setChildProcessModifier(detachButFollowParent);
        m_keyring.start(keyringDaemon, {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                                        QStringLiteral("--foreground")});
        m_keyring.write("throw-away keyring password");
        m_keyring.closeWriteChannel();
        // The daemon answers on the bus before its unlocked keyring is there: wait for a write to succeed.
        KeychainVault vault(m_service);
        const QUuid probe = QUuid::createUuid();
        if (!QTest::qWaitFor([&] { return vault.write(probe, QStringLiteral("ready")).result().ok(); },
                             20000))
            m_skip = QStringLiteral("gnome-keyring-daemon did not start on a private bus: ") +
                     QString::fromLocal8Bit(m_keyring.readAllStandardError());
    }

    void init() {
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
    }

    void cleanupTestCase() {
        m_keyring.terminate();
        if (!m_keyring.waitForFinished(10000))
            m_keyring.kill();
    }

    void keyring_holdsPasswordsOutsideTheRecord() {
        KeychainVault vault(m_service);
        Connection connection = Connection::makeNew();
        connection.password = QStringLiteral("pässword with spaces");
        const PlacedPassword placed = placePassword(vault, connection).result();
        QVERIFY2(placed.notice.isEmpty(), qPrintable(placed.notice));
        QVERIFY(placed.record.password.isEmpty());
        QVERIFY(placed.record.passwordInKeyring);

        // Another client of the same Secret Service finds it: it is in the keyring, not in a copy of ours.
        QProcess lookup;
        lookup.start(QStringLiteral("secret-tool"),
                     {QStringLiteral("lookup"), QStringLiteral("server"), m_service, QStringLiteral("user"),
                      connection.id.toString(QUuid::WithoutBraces).toUpper()});
        QVERIFY(lookup.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(lookup.readAllStandardOutput()), connection.password);

        QCOMPARE(fillPassword(vault, placed.record).result().connection.password, connection.password);
        QVERIFY(vault.write(connection.id, QStringLiteral("second")).result().ok());
        QCOMPARE(vault.read(connection.id).result().password, QStringLiteral("second"));
        QVERIFY(vault.remove(connection.id).result().ok());
        QVERIFY(vault.remove(connection.id).result().ok()); // nothing left to remove is no failure
        const FilledPassword missing = fillPassword(vault, placed.record).result();
        QCOMPARE(missing.status, Status::notFound);
        QVERIFY(missing.connection.password.isEmpty());
    }

private:
    const QString m_service = QStringLiteral("KalvorTest");
    QTemporaryDir m_dir;
    QProcess m_keyring;
    QString m_skip;
};

QTEST_GUILESS_MAIN(KeyringTest)
#include "tst_keyring.moc"
