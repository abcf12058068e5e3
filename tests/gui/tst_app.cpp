// The application with the real program as a second process: files handed to a running instance and
// presented once, a cold start with files, input that holds no file, "New connection", and quitting while
// work runs.
#include "SessionHarness.h"
#include "WindowDriver.h"
#include "app/KalvorApp.h"
#include "app/WindowPlacement.h"
#include "ui/main/ContentView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

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

    static QList<ContentView*> windows() {
        QList<ContentView*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<ContentView*>(widget); window && window->isVisible())
                found << window;
        }
        return found;
    }

    // The real program, sharing this test's instance name and a throw-away profile.
    QProcess* startProgram(const QStringList& arguments) {
        auto* process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        environment.insert(u"KALVOR_INSTANCE_NAME"_s, qEnvironmentVariable("KALVOR_INSTANCE_NAME"));
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(m_dir.path());
        process->start(QStringLiteral(KALVOR_BINARY), arguments);
        return process;
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toUtf8());
        KalvorApp::applyIdentity();
    }

    void init() {
        // A fresh single-instance name for every test, so each starts with no instance running.
        qputenv("KALVOR_INSTANCE_NAME", m_dir.filePath(u"instance-%1"_s.arg(++m_run)).toUtf8());
        m_app = std::make_unique<KalvorApp>();
    }

    void cleanup() { m_app.reset(); }

    void handIn_isPresentedOnceInOrder() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = windows().first();
        QVERIFY(!window->uploadSheet());

        const QString b = localFile(u"b.txt"_s);
        const QString a = localFile(u"a.txt"_s);
        QProcess* sender = startProgram({b, QUrl::fromLocalFile(a).toString(), u"c.txt-missing"_s});
        QTRY_COMPARE_WITH_TIMEOUT(sender->state(), QProcess::NotRunning, 20000);
        QCOMPARE(sender->exitCode(), 0);
        QVERIFY(sender->readAllStandardError().contains("c.txt-missing: no such file\n"));
        QTRY_VERIFY(window->uploadSheet());
        QCOMPARE(window->state().pendingUpload()->urls,
                 (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));

        // A new window does not offer the same files again, before or after the sheet is dismissed.
        for (int round = 0; round < 2; ++round) {
            window->findChild<QAction*>(u"newWindowAction"_s)->trigger();
            QTRY_COMPARE(windows().size(), 2 + round);
            for (ContentView* other : windows())
                QVERIFY(other == window || (!other->uploadSheet() && !other->state().pendingUpload()));
            QTest::keyClick(window->uploadSheet() ? static_cast<QWidget*>(window->uploadSheet()) : window,
                            Qt::Key_Escape);
        }
        QTRY_VERIFY(!window->uploadSheet());
    }

    void inputWithoutFiles_isRefusedAndStartsNothing() {
        QDir(m_dir.path()).mkdir(u"sub"_s);
        QProcess* sender = startProgram({u"https://example.org/file.txt"_s, u"sub/"_s});
        QVERIFY(sender->waitForFinished(20000));
        QCOMPARE(sender->exitStatus(), QProcess::NormalExit);
        QVERIFY(sender->exitCode() != 0);
        QVERIFY(sender->readAllStandardError().endsWith(
            "https://example.org/file.txt: not a file on this computer\n"
            "sub/: a folder, not a file\nNo file selected.\n"));
    }

    // Answered by the real program with no display to talk to.
    void infoOptions_needNoDisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("help") << u"--help"_s << QByteArray("Usage: kalvor [FILE...]");
        QTest::newRow("version") << u"--version"_s << QByteArray("kalvor 0.");
    }
    void infoOptions_needNoDisplay() {
        QFETCH(QString, option);
        QFETCH(QByteArray, output);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(name);
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(KALVOR_BINARY), {option});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().startsWith(output));
    }

    // A window is never larger than the screen's free area nor partly off it.
    void windowPlacement_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<std::optional<QPoint>>("cascade");
        QTest::addColumn<QRect>("placed");
        const QRect large(0, 0, 1600, 1000); // the frame takes 2 at the sides and below, 30 above
        QTest::newRow("first, centred") << large << std::optional<QPoint>() << QRect(300, 194, 1000, 640);
        QTest::newRow("scaled twice on 1600x1000")
            << QRect(0, 0, 800, 500) << std::optional<QPoint>() << QRect(2, 30, 796, 468);
        QTest::newRow("next, cascaded")
            << large << std::optional(QPoint(332, 226)) << QRect(332, 226, 1000, 640);
        QTest::newRow("next, would run off: back to the corner")
            << large << std::optional(QPoint(600, 375)) << QRect(2, 30, 1000, 640);
    }
    void windowPlacement() {
        QFETCH(QRect, available);
        QFETCH(std::optional<QPoint>, cascade);
        QFETCH(QRect, placed);
        QCOMPARE(placeWindow(QSize(1000, 640), available, QMargins(2, 30, 2, 2), cascade), placed);
    }

    void coldStart_withFiles_presentsTheLastHandInOnly() {
        m_app->handIns().store({QUrl::fromLocalFile(localFile(u"earlier.txt"_s))});
        const QString file = localFile(u"cold.txt"_s);
        QCOMPARE(m_app->start({file}), std::nullopt);
        ContentView* window = windows().first();
        QTRY_VERIFY(window->uploadSheet());
        QCOMPARE(window->state().pendingUpload()->urls, QList<QUrl>{QUrl::fromLocalFile(file)});
        QVERIFY(!m_app->handIns().take()); // the window took them
    }

    void newConnectionShortcut_showsTheFormFromAnyMode() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = windows().first();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        BrowserState& state = window->state();
        Connection connection = Connection::makeNew();
        connection.host = u"127.0.0.1"_s;
        connection.port = 1;
        state.openConnection(connection);
        window->activateWindow();
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_N));
        QTRY_COMPARE(state.detailMode(), BrowserState::DetailMode::form);
        QVERIFY(!state.browser().connection());
        QCOMPARE(state.editor().editing()->port, 21);
    }

    // Ctrl+Q or closing the last window while an upload runs asks; quitting anyway ends the upload's curl.
    void quit_asksWhileAnUploadRuns() {
        QCOMPARE(m_app->start({}), std::nullopt);
        ContentView* window = windows().first();
        const HoldingCurl curl;
        m_app->pool().setCurlPath(curl.path());
        QVERIFY(window->state().upload().start(Connection::makeNew(), u"/"_s,
                                               {QUrl::fromLocalFile(localFile(u"big.bin"_s))},
                                               &window->prompter(), this, {}));
        QVERIFY(curl.waitForUpload());

        window->findChild<QAction*>(u"quitAction"_s)->trigger();
        QVERIFY(windowdriver::answerQuestion(window, u"Cancel"_s));
        QVERIFY(window->isVisible() && window->state().upload().isBusy());

        window->close();
        QVERIFY(windowdriver::answerQuestion(window, u"Quit"_s));
        QTRY_VERIFY(windows().isEmpty());
        QTRY_VERIFY(!QFileInfo::exists(curl.uploadProcess()));
    }
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
