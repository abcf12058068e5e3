#include "app/AppNotifications.h"
#include "app/PendingUploadSlot.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// Runs work on a fresh thread and waits for it to finish.
template <typename Work> void runOnOtherThread(Work work) {
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    QVERIFY(thread->wait());
}

// A list whose every element names the list's length, so a torn or mixed list is easy to recognise.
QList<QUrl> urlsOfLength(int length) {
    return QList<QUrl>(length, QUrl::fromLocalFile(QStringLiteral("/tmp/batch-%1").arg(length)));
}

bool isWholeList(const QList<QUrl>& urls) {
    const QUrl expected = QUrl::fromLocalFile(QStringLiteral("/tmp/batch-%1").arg(urls.size()));
    return !urls.isEmpty() &&
           std::all_of(urls.cbegin(), urls.cend(), [&](const QUrl& url) { return url == expected; });
}

} // namespace

class NotificationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The first use may come from a worker thread (the upload service); the signals must still be
        // delivered on the GUI thread.
        runOnOtherThread([] { AppNotifications::instance(); });
        QCOMPARE(AppNotifications::instance().thread(), qApp->thread());
    }

    void init() { takePendingServiceURLs(); }

    void postFromAnyThread_arrivesOnGuiThread_data() {
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("GUI thread") << false;
        QTest::newRow("worker thread") << true;
    }

    void postFromAnyThread_arrivesOnGuiThread() {
        QFETCH(bool, fromWorker);
        AppNotifications& notifications = AppNotifications::instance();
        QList<QThread*> threads;
        QVariantList objects;
        const auto record = [&](const QVariant& object) {
            threads.append(QThread::currentThread());
            objects.append(object);
        };
        QObject receiver;
        // Direct connections run where the signal is emitted, which is what has to be the GUI thread.
        connect(&notifications, &AppNotifications::uploadFiles, &receiver, record, Qt::DirectConnection);
        connect(&notifications, &AppNotifications::editConnection, &receiver, record, Qt::DirectConnection);
        connect(
            &notifications, &AppNotifications::newConnection, &receiver, [&] { record({}); },
            Qt::DirectConnection);

        Connection connection = Connection::makeNew();
        connection.name = QStringLiteral("Wörk");
        const QList<QUrl> urls = urlsOfLength(2);
        const auto post = [&] {
            AppNotifications::postEditConnection(connection);
            AppNotifications::postUploadFiles(urls);
            AppNotifications::postNewConnection();
        };
        if (fromWorker)
            runOnOtherThread(post);
        else
            post();

        QTRY_COMPARE(threads.size(), 3);
        for (QThread* thread : std::as_const(threads))
            QCOMPARE(thread, qApp->thread());
        QCOMPARE(AppNotifications::connectionIn(objects.at(0)), connection);
        QCOMPARE(AppNotifications::urlsIn(objects.at(1)), urls);
        QVERIFY(!objects.at(2).isValid());
    }

    void postByName() {
        QSignalSpy newConnection(&AppNotifications::instance(), &AppNotifications::newConnection);
        QSignalSpy edit(&AppNotifications::instance(), &AppNotifications::editConnection);
        QSignalSpy upload(&AppNotifications::instance(), &AppNotifications::uploadFiles);
        QVERIFY(AppNotifications::post(u"KalvorNewConnection"));
        QVERIFY(AppNotifications::post(u"KalvorEditConnection", QStringLiteral("not a connection")));
        QVERIFY(AppNotifications::post(u"KalvorUploadFiles", QVariant::fromValue(urlsOfLength(1))));
        QVERIFY(!AppNotifications::post(u"KalvorSomethingElse"));
        QCOMPARE(newConnection.size(), 1);
        QCOMPARE(edit.size(), 1);
        QCOMPARE(upload.size(), 1);
        QCOMPARE(AppNotifications::connectionIn(edit.first().first()), std::nullopt);
    }

    void receiversIgnoreOtherObjects_data() {
        QTest::addColumn<QVariant>("object");
        QTest::newRow("none") << QVariant();
        QTest::newRow("text") << QVariant(QStringLiteral("file:///tmp/a"));
        QTest::newRow("text list") << QVariant(QStringList{QStringLiteral("file:///tmp/a")});
        QTest::newRow("single URL") << QVariant(QUrl(QStringLiteral("file:///tmp/a")));
        QTest::newRow("empty URL list") << QVariant::fromValue(QList<QUrl>());
    }

    void receiversIgnoreOtherObjects() {
        QFETCH(QVariant, object);
        QCOMPARE(AppNotifications::connectionIn(object), std::nullopt);
        QCOMPARE(AppNotifications::urlsIn(object), std::nullopt);
    }

    void slot_takeFromEmpty() {
        QCOMPARE(takePendingServiceURLs(), std::nullopt);
        QCOMPARE(takePendingServiceURLs(), std::nullopt);
    }

    void slot_keepsOnlyTheLastStore() {
        storePendingServiceURLs(urlsOfLength(3));
        storePendingServiceURLs(urlsOfLength(1));
        QCOMPARE(takePendingServiceURLs(), urlsOfLength(1));
        QCOMPARE(takePendingServiceURLs(), std::nullopt);
    }

    void slot_storeOnOtherThreadNeverYieldsHalfAList() {
        constexpr int lastLength = 2000;
        std::atomic<bool> done = false;
        std::unique_ptr<QThread> service(QThread::create([&] {
            for (int length = 1; length <= lastLength; ++length)
                storePendingServiceURLs(urlsOfLength(length));
            done = true;
        }));
        service->start();

        int taken = 0;
        int lastSeen = 0;
        while (!done) {
            if (const auto urls = takePendingServiceURLs()) {
                QVERIFY(isWholeList(*urls));
                QVERIFY(urls->size() > lastSeen); // never an older list after a newer one
                lastSeen = int(urls->size());
                ++taken;
            }
        }
        QVERIFY(service->wait());
        if (const auto urls = takePendingServiceURLs()) {
            QVERIFY(isWholeList(*urls));
            lastSeen = int(urls->size());
            ++taken;
        }
        QVERIFY(taken > 0);
        QCOMPARE(lastSeen, lastLength);
    }
};

QTEST_MAIN(NotificationsTest)
#include "tst_notifications.moc"
