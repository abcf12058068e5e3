#include "app/HandInArguments.h"
#include "app/KalvorServiceProvider.h"
#include "session/HandInSlot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using SendResult = KalvorServiceProvider::SendResult;
using Startup = KalvorServiceProvider::Startup;

namespace {

// Runs work on a fresh thread while this thread's loop keeps turning (the instance answering it lives here).
template <typename Work> bool runBesideLoop(Work work) {
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    const bool finished = QTest::qWaitFor([&] { return thread->isFinished(); }, 20000);
    return finished && thread->wait();
}

struct Sent {
    SendResult result = SendResult::noInstance;
    QString answer;
};

Sent sendBesideLoop(const QStringList& items, const QString& workingFolder, const QString& instance,
                    int timeoutMs = KalvorServiceProvider::defaultTimeoutMs) {
    Sent sent;
    const bool finished = runBesideLoop([&] {
        sent.result = KalvorServiceProvider::sendToRunningInstance(items, workingFolder, &sent.answer,
                                                                   instance, timeoutMs);
    });
    if (!finished)
        sent.answer = QStringLiteral("the sender never came back");
    return sent;
}

// What a crashed instance leaves behind: a socket file nobody listens on.
bool makeStaleSocket(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(address.sun_path))
        return false;
    std::copy(native.begin(), native.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound && QFileInfo::exists(path);
}

} // namespace

class HandInTest : public QObject {
    Q_OBJECT

public:
    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }
    QList<QUrl> urls(const QStringList& names) const {
        QList<QUrl> result;
        for (const QString& name : names)
            result.append(url(name));
        return result;
    }
    // A socket path of its own for every test, so nothing is shared with a real Kalvor or another test.
    QString freshInstance() { return path(QStringLiteral("instance-%1").arg(++m_instances)); }

    // Announcements and activations in the order they happened, and on which thread.
    HandInSlot m_slot;
    QStringList m_events;
    QList<QThread*> m_eventThreads;

    void watch(KalvorServiceProvider& provider) {
        provider.onActivate = [this] {
            m_events.append(QStringLiteral("activate"));
            m_eventThreads.append(QThread::currentThread());
        };
    }
    // Everything already queued has run; what was to be posted has been.
    static void settle() { QCoreApplication::sendPostedEvents(); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QDir root(m_dir.path());
        for (const char* name : {"a.txt", "b c.txt", "sub/inner.txt", "notes:v2.txt", "#1 ü.txt"}) {
            QVERIFY(root.mkpath(QFileInfo(path(QString::fromUtf8(name))).path()));
            QFile file(path(QString::fromUtf8(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("content");
        }
        QVERIFY(QFile::link(path(QStringLiteral("a.txt")), path(QStringLiteral("link-to-a"))));
        QVERIFY(QFile::link(path(QStringLiteral("gone.txt")), path(QStringLiteral("broken-link"))));

        connect(&m_slot, &HandInSlot::arrived, this, [this] {
            m_events.append(QStringLiteral("upload"));
            m_eventThreads.append(QThread::currentThread());
        });
    }

    void init() {
        settle();
        m_slot.take();
        m_events.clear();
        m_eventThreads.clear();
    }

    void readsLocalFilesInOrder_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("expected");
        const QStringList none;
        // {dir} is the folder of the test files, {url} the same folder as a file URL.
        QTest::newRow("absolute path") << QStringList{u"{dir}/a.txt"_s} << QStringList{u"a.txt"_s};
        QTest::newRow("relative to the sender's folder")
            << QStringList{u"a.txt"_s, u"sub/inner.txt"_s, u"./b c.txt"_s, u"sub/../a.txt"_s}
            << QStringList{u"a.txt"_s, u"sub/inner.txt"_s, u"b c.txt"_s, u"a.txt"_s};
        QTest::newRow("colon in a relative name")
            << QStringList{u"notes:v2.txt"_s} << QStringList{u"notes:v2.txt"_s};
        QTest::newRow("file URL, percent-encoded")
            << QStringList{u"{url}/b%20c.txt"_s, u"{url}/%231%20%C3%BC.txt"_s}
            << QStringList{u"b c.txt"_s, u"#1 ü.txt"_s};
        QTest::newRow("file URL forms")
            << QStringList{u"file://localhost{dir}/a.txt"_s, u"file:{dir}/a.txt"_s, u"FILE://{dir}/a.txt"_s}
            << QStringList{u"a.txt"_s, u"a.txt"_s, u"a.txt"_s};
        QTest::newRow("link to a file keeps its own name")
            << QStringList{u"link-to-a"_s} << QStringList{u"link-to-a"_s};
        QTest::newRow("file URL of another host") << QStringList{u"file://elsewhere{dir}/a.txt"_s} << none;
        QTest::newRow("relative file URL") << QStringList{u"file:a.txt"_s} << none;
        QTest::newRow("web and ftp URLs")
            << QStringList{u"https://example.com/a.txt"_s, u"ftp://127.0.0.1/a.txt"_s} << none;
        QTest::newRow("plain text") << QStringList{u"hello world"_s, QString()} << none;
        QTest::newRow("missing path") << QStringList{u"{dir}/missing.txt"_s, u"broken-link"_s} << none;
        QTest::newRow("folders") << QStringList{u"sub"_s, u"{dir}/sub/"_s, u"{url}/sub"_s, u"."_s} << none;
        QTest::newRow("mixed: the files stay, in the order given")
            << QStringList{u"sub"_s,     u"{dir}/sub/inner.txt"_s, u"https://x.org/"_s, u"b c.txt"_s,
                           u"missing"_s, u"{url}/a.txt"_s}
            << QStringList{u"sub/inner.txt"_s, u"b c.txt"_s, u"a.txt"_s};
    }

    void readsLocalFilesInOrder() {
        QFETCH(QStringList, items);
        QFETCH(QStringList, expected);
        const QString folderUrl = QUrl::fromLocalFile(m_dir.path()).toString(QUrl::FullyEncoded);
        for (QString& item : items)
            item.replace(u"{dir}"_s, m_dir.path()).replace(u"{url}"_s, folderUrl);
        // The reader must use the folder it is given, not the process's own.
        QVERIFY(QDir::currentPath() != m_dir.path());
        QCOMPARE(readHandInFiles(items, m_dir.path()), urls(expected));
    }

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
        if (!fromWorker)
            QVERIFY2(m_events.isEmpty(), "announced before the call returned");
        QTRY_COMPARE(m_events, (QStringList{u"upload"_s, u"activate"_s}));
        settle();
        QCOMPARE(m_events.size(), 2);
        QCOMPARE(m_eventThreads, (QList<QThread*>{qApp->thread(), qApp->thread()}));
        QCOMPARE(m_slot.take(), std::optional(urls(items)));
    }

    void handInWithoutFile_isRefusedAndChangesNothing_data() {
        QTest::addColumn<QStringList>("items");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("web URL") << QStringList{u"https://example.com/a.txt"_s};
        QTest::newRow("text and a folder") << QStringList{u"some words"_s, u"sub"_s};
    }

    void handInWithoutFile_isRefusedAndChangesNothing() {
        QFETCH(QStringList, items);
        KalvorServiceProvider instance(m_slot, freshInstance());
        watch(instance);
        QVERIFY(instance.listen());
        const QList<QUrl> waiting = urls({u"a.txt"_s});
        m_slot.store(waiting);
        settle();
        m_events.clear();

        const Sent sent = sendBesideLoop(items, m_dir.path(), instance.serverPath());
        QCOMPARE(sent.result, SendResult::refused);
        QCOMPARE(sent.answer, u"No file selected."_s);

        QString error;
        instance.uploadFiles(items, m_dir.path(), &error);
        QCOMPARE(error, u"No file selected."_s);

        settle();
        QCOMPARE(m_events, QStringList());
        QCOMPARE(m_slot.take(), std::optional(waiting));
    }

    void secondStart_handsOverToTheRunningInstance_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("expectedEvents");
        QTest::addColumn<QStringList>("expectedFiles");
        QTest::newRow("with files") << QStringList{u"a.txt"_s, u"sub/inner.txt"_s}
                                    << QStringList{u"upload"_s, u"activate"_s}
                                    << QStringList{u"a.txt"_s, u"sub/inner.txt"_s};
        QTest::newRow("without files raises the window")
            << QStringList() << QStringList{u"activate"_s} << QStringList();
    }

    void secondStart_handsOverToTheRunningInstance() {
        QFETCH(QStringList, items);
        QFETCH(QStringList, expectedEvents);
        QFETCH(QStringList, expectedFiles);
        const QString name = freshInstance();
        KalvorServiceProvider first(m_slot, name);
        watch(first);
        QCOMPARE(first.startUp({}, m_dir.path(), nullptr), Startup::showWindow);
        QVERIFY(first.isListening());

        Startup second = Startup::failed;
        QString message;
        QVERIFY(runBesideLoop([&] {
            KalvorServiceProvider starting(m_slot, name);
            second = starting.startUp(items, m_dir.path(), &message);
        }));
        QCOMPARE(message, QString());
        QCOMPARE(second, Startup::handedOver);
        QTRY_COMPARE(m_events, expectedEvents);
        QCOMPARE(m_slot.take().value_or(QList<QUrl>()), urls(expectedFiles));
        QVERIFY(first.isListening());
    }

    void onlyOneInstanceListens() {
        const QString name = freshInstance();
        KalvorServiceProvider first(m_slot, name);
        QVERIFY(first.listen());
        bool secondListens = true;
        QString why;
        QVERIFY(runBesideLoop([&] {
            KalvorServiceProvider second(m_slot, name);
            secondListens = second.listen();
            why = second.errorString();
        }));
        QVERIFY(!secondListens);
        QVERIFY2(why.contains(u"already running"_s), qPrintable(why));
        QVERIFY(first.isListening());
        QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), name).result, SendResult::sent);
    }

    void socketOfCrashedInstance_doesNotBlockNewOne() {
        const QString name = freshInstance();
        QVERIFY(makeStaleSocket(name));
        QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), name).result, SendResult::noInstance);

        KalvorServiceProvider provider(m_slot, name);
        watch(provider);
        QCOMPARE(provider.startUp({u"a.txt"_s}, m_dir.path(), nullptr), Startup::showWindow);
        QVERIFY2(provider.isListening(), qPrintable(provider.errorString()));
        QCOMPARE(sendBesideLoop({u"b c.txt"_s}, m_dir.path(), name).result, SendResult::sent);
        QCOMPARE(m_slot.take(), std::optional(urls({u"b c.txt"_s})));
    }

    void socketInFolderOthersCanWrite_isRefused_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("anyone can write") << 0x7777;
        QTest::newRow("the group can write") << 0x7770;
    }
    void socketInFolderOthersCanWrite_isRefused() {
        // Someone else could plant a socket there and collect the paths we send.
        QFETCH(int, mode);
        const QString open = path(u"open-%1"_s.arg(mode));
        QVERIFY(QDir().mkpath(open));
        QVERIFY(QFile::setPermissions(open, QFile::Permissions(mode)));
        KalvorServiceProvider provider(m_slot, open + u"/instance"_s);
        QVERIFY(!provider.listen());
        QVERIFY2(provider.errorString().contains(u"not private"_s), qPrintable(provider.errorString()));
        QCOMPARE(sendBesideLoop({u"a.txt"_s}, m_dir.path(), provider.serverPath()).result,
                 SendResult::noInstance);
    }

    void instanceThatNeverAnswers_senderGivesUp() {
        QLocalServer silent;
        QVERIFY(silent.listen(freshInstance()));
        QList<QLocalSocket*> held;
        connect(&silent, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket* socket = silent.nextPendingConnection())
                held.append(socket);
        });
        const Sent sent = sendBesideLoop({u"a.txt"_s}, m_dir.path(), silent.fullServerName(), 300);
        QCOMPARE(sent.result, SendResult::refused);
        QCOMPARE(sent.answer, u"Kalvor is running but did not answer."_s);
    }

    void defaultActivation_bringsWindowBack() {
        QWidget window;
        window.setObjectName(u"mainWindow"_s);
        window.showMinimized();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());

        KalvorServiceProvider provider(m_slot, freshInstance());
        QVERIFY(provider.onActivate);
        other.hide();
        settle();
        QVERIFY(window.isMinimized());
        QVERIFY(!window.isActiveWindow());
        provider.uploadFiles({u"a.txt"_s}, m_dir.path(), nullptr);
        QTRY_VERIFY(window.isActiveWindow());
        QVERIFY(!window.isMinimized());
    }

private:
    QTemporaryDir m_dir;
    int m_instances = 0;
};

QTEST_MAIN(HandInTest)
#include "tst_handin.moc"
