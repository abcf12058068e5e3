// The application with the real program as a second process: files handed to a running instance and
// presented once, a cold start with files, input that holds no file, "New connection", and quitting while
// work runs.
#include "WindowDriver.h"
#include "app/KalvorApp.h"
#include "app/WindowPlacement.h"

#include <QProcess>

class AppTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<KalvorApp> m_app;
    int m_run = 0;

    QString localFile(const QString& name) {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(name.toUtf8()) > 0 ? file.fileName() : QString();
    }

    static QList<ContentView*> windows() {
        QList<ContentView*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<ContentView*>(widget); window && window->isVisible())
                found << window;
        }
        return found;
    }

    // The real program, until it ends: its exit code and what it wrote on stderr. It shares this test's
    // instance name and profile; remove names variables taken from its environment.
    std::pair<int, QByteArray> runProgram(const QStringList& arguments, const QStringList& remove = {}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString& name : remove)
            environment.remove(name);
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(m_dir.path());
        program.start(QStringLiteral(KALVOR_BINARY), arguments);
        // The running instance answering it lives on this thread's loop.
        if (!QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 20000))
            return {-1, "did not end"};
        const QByteArray out = program.readAllStandardOutput() + program.readAllStandardError();
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, out};
    }

    ContentView* startApp(const QStringList& files = {}) {
        const std::optional<int> failed = m_app->start(files);
        return failed || windows().isEmpty() ? nullptr : windows().first();
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

    // A cold start presents its own files, not an older hand-in; a second start's files come next, in order.
    void handIn_isPresentedOnceInOrder() {
        m_app->handIns().store({QUrl::fromLocalFile(localFile(u"earlier.txt"_s))});
        const QString cold = localFile(u"cold.txt"_s);
        ContentView* window = startApp({cold});
        QVERIFY(window);
        QTRY_VERIFY(window->uploadSheet());
        QCOMPARE(window->state().pendingUpload()->urls, QList<QUrl>{QUrl::fromLocalFile(cold)});

        const QString b = localFile(u"b.txt"_s);
        const QString a = localFile(u"a.txt"_s);
        const auto [code, output] = runProgram({b, u"c.txt-missing"_s, QUrl::fromLocalFile(a).toString()});
        QCOMPARE(code, 0);
        QVERIFY(output.contains("c.txt-missing: no such file\n"));
        QTRY_COMPARE(window->state().pendingUpload()->urls,
                     (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));

        // A new window does not offer the same files again (which windows take a hand-in is the session's).
        window->findChild<QAction*>(u"newWindowAction"_s)->trigger();
        QTRY_COMPARE(windows().size(), 2);
        for (ContentView* other : windows())
            QVERIFY(other == window || (!other->uploadSheet() && !other->state().pendingUpload()));
    }

    // Refused, and answered, by the real program itself: no instance starts; help needs no display.
    void withoutAnInstance_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("no file") << QStringList{u"https://example.org/file.txt"_s, u"sub/"_s} << true
                                 << QByteArray("https://example.org/file.txt: not a file on this computer\n"
                                               "sub/: a folder, not a file\nNo file selected.\n");
        QTest::newRow("help") << QStringList{u"--help"_s} << false << QByteArray("Usage: kalvor [FILE...]");
        QTest::newRow("version") << QStringList{u"--version"_s} << false << QByteArray("kalvor 0.");
    }
    void withoutAnInstance() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, refused);
        QFETCH(QByteArray, output);
        QDir(m_dir.path()).mkdir(u"sub"_s);
        const auto [exitCode, written] = runProgram(
            arguments,
            refused ? QStringList() : QStringList{u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s});
        QCOMPARE(exitCode != 0, refused);
        QVERIFY2(refused ? written.endsWith(output) : written.startsWith(output), written.constData());
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

    // A second start without files brings the window back. Ctrl+N shows the form. Ctrl+Q or closing the last
    // window while an upload runs asks; quitting anyway ends the upload's curl.
    void shortcuts_newConnectionAndQuit() {
        ContentView* window = startApp();
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        window->showMinimized();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        other.hide();
        QCOMPARE(runProgram({}).first, 0);
        QTRY_VERIFY(!window->isMinimized() && window->isActiveWindow());
        window->activateWindow();
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_N));
        QTRY_COMPARE(window->state().detailMode(), BrowserState::DetailMode::form);

        const HoldingCurl curl;
        m_app->pool().setCurlPath(curl.path());
        QVERIFY(window->state().upload().start(Connection::makeNew(), u"/"_s,
                                               {QUrl::fromLocalFile(localFile(u"big.bin"_s))},
                                               &window->prompter(), this, {}));
        QVERIFY(QTest::qWaitFor([&] { return !curl.uploadProcess().isEmpty(); }));

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
