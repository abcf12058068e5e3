#include "app/KalvorApp.h"
#include "app/PendingUploadSlot.h"
#include "model/FavoritesManager.h"
#include "ui/main/ContentView.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The application with the real program as a second process: files handed to a running instance, a cold
// start with files, input that holds no file, and the "New connection" command.
class AppTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<KalvorApp> m_app;
    int m_run = 0;

    QString localFile(const QString& name) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(name.toUtf8());
        return path;
    }

    static ContentView* onlyWindow() {
        ContentView* found = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<ContentView*>(widget); window && window->isVisible())
                found = window;
        }
        return found;
    }

    // The real program, sharing this test's instance name and a throw-away profile.
    QProcess* startProgram(const QStringList& arguments) {
        auto* process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("KALVOR_INSTANCE_NAME"),
                           QString::fromUtf8(qgetenv("KALVOR_INSTANCE_NAME")));
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(m_dir.path());
        process->start(QStringLiteral(KALVOR_BINARY), arguments);
        return process;
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        KalvorApp::applyIdentity();
    }

    void init() {
        // A fresh single-instance name for every test, so each starts with no instance running.
        qputenv("KALVOR_INSTANCE_NAME", m_dir.filePath(QStringLiteral("instance-%1").arg(++m_run)).toUtf8());
        (void)takePendingServiceURLs();
        m_app = std::make_unique<KalvorApp>();
    }

    void cleanup() { m_app.reset(); }

    void runningInstance_takesFilesFromASecondProcessInOrder() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = onlyWindow();
        QVERIFY(window);
        QVERIFY(window->minimumWidth() >= 700 && window->minimumHeight() >= 450);
        QVERIFY(!window->uploadSheet());
        QSignalSpy pending(&window->state(), &BrowserState::pendingUploadChanged);

        const QString b = localFile(QStringLiteral("b.txt"));
        const QString a = localFile(QStringLiteral("a.txt"));
        QProcess* sender =
            startProgram({b, QUrl::fromLocalFile(a).toString(), QStringLiteral("c.txt-missing")});
        QTRY_COMPARE_WITH_TIMEOUT(sender->state(), QProcess::NotRunning, 20000);
        QCOMPARE(sender->exitCode(), 0);

        QTRY_VERIFY(window->uploadSheet());
        QCOMPARE(window->state().pendingUploadURLs()->urls,
                 (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));
        QCOMPARE(pending.size(), 1); // presented once
        QCOMPARE(window->uploadSheet()->findChild<QLabel*>(QStringLiteral("uploadSheetFileCount"))->text(),
                 QStringLiteral("2 file(s) selected"));
    }

    void runningInstance_refusesInputWithoutFiles() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = onlyWindow();
        QProcess* sender = startProgram({QStringLiteral("https://example.org/file.txt")});
        QTRY_COMPARE_WITH_TIMEOUT(sender->state(), QProcess::NotRunning, 20000);
        QVERIFY(sender->exitCode() != 0);
        QVERIFY(sender->readAllStandardError().contains("No file selected."));
        QVERIFY(!window->state().pendingUploadURLs());
        QVERIFY(!takePendingServiceURLs());
    }

    void noInstance_refusesInputWithoutFilesAndStartsNothing() {
        QProcess* process = startProgram({QStringLiteral("plain text"), m_dir.path()});
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY(process->exitCode() != 0);
        QVERIFY(process->readAllStandardError().contains("No file selected.\n"));
    }

    void coldStart_withFiles_presentsTheSheetForTheLastHandInOnly() {
        // What an earlier hand-in before any window would have left; the start's own files replace it.
        storePendingServiceURLs({QUrl::fromLocalFile(localFile(QStringLiteral("earlier.txt")))});
        const QString file = localFile(QStringLiteral("cold.txt"));
        QCOMPARE(m_app->start({file}), std::nullopt);
        ContentView* window = onlyWindow();
        QVERIFY(window);
        QTRY_VERIFY(window->uploadSheet());
        QCOMPARE(window->state().pendingUploadURLs()->urls, QList<QUrl>{QUrl::fromLocalFile(file)});
        QVERIFY(!takePendingServiceURLs()); // the window took them
    }

    void newConnectionShortcut_showsTheFormFromAnyMode() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = onlyWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        BrowserState& state = window->state();

        const auto pressCtrlN = [&] {
            window->activateWindow();
            QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_N));
        };
        pressCtrlN(); // from the empty mode
        QTRY_COMPARE(state.detailMode(), BrowserState::DetailMode::form);
        QCOMPARE(state.formConnection().port, 21);
        const QUuid firstFormId = state.formConnection().id;

        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = 1;
        state.openConnection(connection); // browsing
        pressCtrlN();
        QTRY_COMPARE(state.detailMode(), BrowserState::DetailMode::form);
        QVERIFY(!state.currentConnection());
        QVERIFY(state.formConnection().id != firstFormId);

        pressCtrlN(); // from the form itself: a fresh new connection
        QTRY_VERIFY(state.formConnection().id != firstFormId);
        QCOMPARE(state.detailMode(), BrowserState::DetailMode::form);
    }
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
