// Files handed to Kalvor by a second start: which items are files, the private socket between two
// instances, and when and where the running one announces them.
#include "app/HandInArguments.h"
#include "app/KalvorServiceProvider.h"
#include "session/HandInSlot.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using SendResult = KalvorServiceProvider::SendResult;
using Startup = KalvorServiceProvider::Startup;

namespace {

// Runs work on a fresh thread while this thread's loop keeps turning (the instance answering it lives here).
template <typename Work> bool runBesideLoop(Work work) {
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    return QTest::qWaitFor([&] { return thread->isFinished(); }, 20000) && thread->wait();
}

// What a sender got: "sent", "no instance" or the refusal's text.
QString sendBesideLoop(const QStringList& items, const QString& workingFolder, const QString& instance,
                       int timeoutMs = KalvorServiceProvider::defaultTimeoutMs) {
    QString answer = u"the sender never came back"_s;
    runBesideLoop([&] {
        const SendResult result =
            KalvorServiceProvider::sendToRunningInstance(items, workingFolder, &answer, instance, timeoutMs);
        if (result != SendResult::refused)
            answer = result == SendResult::sent ? u"sent"_s : u"no instance"_s;
    });
    return answer;
}

} // namespace

class HandInTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_instances = 0;
    HandInSlot m_slot;
    QStringList m_events; // announcements and activations in the order they happened

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QList<QUrl> urls(const QStringList& names) const {
        QList<QUrl> result;
        for (const QString& name : names)
            result.append(QUrl::fromLocalFile(path(name)));
        return result;
    }
    // A socket path of its own for every test, so nothing is shared with a real Kalvor or another test.
    QString freshInstance() { return path(u"instance-%1"_s.arg(++m_instances)); }

    void note(const QString& what) {
        m_events << (QThread::currentThread() == qApp->thread() ? what : what + u" off the GUI thread"_s);
    }
    void watch(KalvorServiceProvider& provider) {
        provider.onActivate = [this] { note(u"activate"_s); };
    }
    // Everything already queued has run; what was to be posted has been.
    static void settle() { QCoreApplication::sendPostedEvents(); }

private Q_SLOTS:
    void initTestCase() {
        for (const QString& name :
             {u"a.txt"_s, u"b c.txt"_s, u"sub/inner.txt"_s, u"notes:v2.txt"_s, u"#1 ü.txt"_s}) {
            QVERIFY(QDir().mkpath(QFileInfo(path(name)).path()));
            QFile file(path(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("content") == 7);
        }
        QVERIFY(QFile::link(path(u"a.txt"_s), path(u"link-to-a"_s)));
        QVERIFY(QFile::link(path(u"gone.txt"_s), path(u"broken-link"_s)));
        connect(&m_slot, &HandInSlot::arrived, this, [this] { note(u"upload"_s); });
    }

    void init() {
        settle();
        m_slot.take();
        m_events.clear();
    }

    // Items and the files read from them, "|" between two; {dir} is the test files' folder, {url} the same
    // as a file URL.
    void readsLocalFilesInOrder_data() {
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relative to the sender's folder")
            << u"a.txt|sub/inner.txt|./b c.txt|sub/../a.txt"_s << u"a.txt|sub/inner.txt|b c.txt|a.txt"_s;
        QTest::newRow("colon in a relative name") << u"notes:v2.txt"_s << u"notes:v2.txt"_s;
        QTest::newRow("file URL, percent-encoded")
            << u"{url}/b%20c.txt|{url}/%231%20%C3%BC.txt"_s << u"b c.txt|#1 ü.txt"_s;
        QTest::newRow("file URL forms")
            << u"file://localhost{dir}/a.txt|file:{dir}/a.txt|FILE://{dir}/a.txt"_s << u"a.txt|a.txt|a.txt"_s;
        QTest::newRow("link to a file keeps its own name") << u"link-to-a"_s << u"link-to-a"_s;
        QTest::newRow("file URL of another host") << u"file://elsewhere{dir}/a.txt"_s << QString();
        QTest::newRow("relative file URL") << u"file:a.txt"_s << QString();
        QTest::newRow("web URL") << u"https://example.com/a.txt"_s << QString();
        QTest::newRow("missing path") << u"{dir}/missing.txt|broken-link"_s << QString();
        QTest::newRow("folders") << u"sub|{dir}/sub/|{url}/sub|."_s << QString();
    }
    void readsLocalFilesInOrder() {
        QFETCH(QString, items);
        QFETCH(QString, expected);
        const QString folderUrl = QUrl::fromLocalFile(m_dir.path()).toString(QUrl::FullyEncoded);
        items.replace(u"{dir}"_s, m_dir.path()).replace(u"{url}"_s, folderUrl);
        QCOMPARE(readHandInFiles(items.split(u'|'), m_dir.path()),
                 urls(expected.split(u'|', Qt::SkipEmptyParts)));
    }

    // Stored at once, announced on a later turn of the GUI thread's loop, whichever thread called.
    void serviceCall_storesAtOnceAndAnnouncesOnLaterTurn_data() {
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("GUI thread") << false;
        QTest::newRow("worker thread") << true;
    }
    void serviceCall_storesAtOnceAndAnnouncesOnLaterTurn() {
        QFETCH(bool, fromWorker);
        KalvorServiceProvider provider(m_slot, freshInstance());
        watch(provider);
        const QStringList items{u"b c.txt"_s, u"a.txt"_s, u"sub/inner.txt"_s};
        QString error = u"untouched"_s;
        const auto call = [&] { provider.uploadFiles(items, m_dir.path(), &error); };
        if (fromWorker)
            QVERIFY(runBesideLoop(call));
        else
            call();
        QCOMPARE(error, u"untouched"_s);
        QVERIFY2(fromWorker || m_events.isEmpty(), "announced before the call returned");
        QTRY_COMPARE(m_events, (QStringList{u"upload"_s, u"activate"_s}));
        settle();
        QCOMPARE(m_events.size(), 2);
        QCOMPARE(m_slot.take(), std::optional(urls(items)));
    }

    void handInWithoutFile_isRefusedAndChangesNothing() {
        KalvorServiceProvider instance(m_slot, freshInstance());
        watch(instance);
        QVERIFY(instance.listen());
        m_slot.store(urls({u"a.txt"_s}));
        settle();
        m_events.clear();
        const QStringList items{u"some words"_s, u"https://x.org/a"_s, u"sub"_s};
        QCOMPARE(sendBesideLoop(items, m_dir.path(), instance.serverPath()), u"No file selected."_s);
        QString error;
        instance.uploadFiles(items, m_dir.path(), &error);
        QCOMPARE(error, u"No file selected."_s);
        settle();
        QCOMPARE(m_events, QStringList());
        QCOMPARE(m_slot.take(), std::optional(urls({u"a.txt"_s})));

        // Only one instance listens (a second start hands over: the application's test).
        QString whyNotListening;
        QVERIFY(runBesideLoop([&] {
            KalvorServiceProvider second(m_slot, instance.serverPath());
            whyNotListening = second.listen() ? u"listening"_s : second.errorString();
        }));
        QVERIFY2(whyNotListening.contains(u"already running"_s), qPrintable(whyNotListening));
    }

    void socketOfCrashedInstance_doesNotBlockNewOne() {
        const QString name = freshInstance();
        // What a crashed instance leaves behind: a socket file nobody listens on.
        const QString bind = u"import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])"_s;
        QCOMPARE(QProcess::execute(u"python3"_s, {u"-c"_s, bind, name}), 0);
        QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), name), u"no instance"_s);

        KalvorServiceProvider provider(m_slot, name);
        QCOMPARE(provider.startUp({u"a.txt"_s}, m_dir.path(), nullptr), Startup::showWindow);
        QCOMPARE(sendBesideLoop({u"b c.txt"_s}, m_dir.path(), name), u"sent"_s);
        QCOMPARE(m_slot.take(), std::optional(urls({u"b c.txt"_s})));
    }

    // Someone else could plant a socket there and collect the paths we send.
    void socketInFolderOthersCanWrite_isRefused() {
        for (const int mode : {0x7777, 0x7770}) { // anyone, or the group, can write
            const QString open = path(u"open-%1"_s.arg(mode));
            QVERIFY(QDir().mkpath(open) && QFile::setPermissions(open, QFile::Permissions(mode)));
            KalvorServiceProvider provider(m_slot, open + u"/instance"_s);
            QVERIFY(!provider.listen());
            QVERIFY2(provider.errorString().contains(u"not private"_s), qPrintable(provider.errorString()));
            QLocalServer planted; // someone else's, waiting there for the paths a second start sends
            QVERIFY(planted.listen(provider.serverPath()));
            QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), planted.fullServerName()), u"no instance"_s);
            QVERIFY(!planted.hasPendingConnections());
        }
    }

    void instanceThatNeverAnswers_senderGivesUp() {
        QLocalServer silent;
        QVERIFY(silent.listen(freshInstance()));
        QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), silent.fullServerName(), 300),
                 u"Kalvor is running but did not answer."_s);
    }
};

QTEST_MAIN(HandInTest)
#include "tst_handin.moc"
