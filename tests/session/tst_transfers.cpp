// The transfer jobs against real servers and stand-ins for curl, with the user played by a script: the one
// upload job, used by the window and the upload-to-favorite sheet alike; downloads of files and folder trees
// into a local folder; and quitting with nothing running.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "session/ByteCount.h"
#include "session/DownloadJob.h"
#include "session/Quitting.h"
#include "session/UploadJob.h"
#include "session/UploadToFavoriteFlow.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = TransferResult::Outcome;

namespace {

constexpr int remoteTimeoutMs = 30000;

// One transfer job and the record of its run.
template <typename Job> struct Run {
    SessionHarness h;
    Job job{h.context};
    TransferWatch record{job};

    Outcome outcome() const {
        return record.finish(remoteTimeoutMs) ? record.result->outcome : Outcome::failed;
    }
};

struct Upload : Run<UploadJob> {
    bool start(const Connection& connection, const QString& target, const QList<QUrl>& files) {
        return job.start(connection, target, files, &h.prompter, &job, record.done());
    }
};

// Entries of the server's root, down into a fresh local folder.
struct Download : Run<DownloadJob> {
    bool start(const TestFtpServer& server, const QStringList& names) {
        QList<RemoteFile> entries = FTPClient(server.connection()).listDirectory(u"/"_s);
        entries.removeIf([&](const RemoteFile& entry) { return !names.contains(entry.name); });
        return job.start(server.connection(), entries, h.local.path(), &h.prompter, &job, record.done());
    }
    // Everything in the local folder, sorted: "sub/" for a folder, "name=content" for a file.
    QStringList tree() const {
        QStringList found;
        QDirIterator it(h.local.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            const QString name = QDir(h.local.path()).relativeFilePath(file.fileName());
            found << (it.fileInfo().isDir()
                          ? name + u'/'
                          : name + u'=' +
                                QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "?"));
        }
        found.sort();
        return found;
    }
};

} // namespace

class TransfersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void whatExists_data() {
        QTest::addColumn<QString>("remote"); // one name, a trailing "/" marks a folder
        QTest::addColumn<QStringList>("local");
        QTest::addColumn<QList<int>>("existing");
        QTest::newRow("a folder of the same name")
            << u"report/"_s << QStringList{u"report"_s} << QList<int>();
        QTest::newRow("other letter case") << u"Notes.TXT"_s << QStringList{u"notes.txt"_s} << QList<int>();
        QTest::newRow("canonically equivalent")
            << u"Caf\u00e9.txt"_s << QStringList{u"Cafe\u0301.txt"_s} << QList<int>{0};
        QTest::newRow("two local files of one name count twice")
            << u"a.txt"_s << QStringList{u"x/a.txt"_s, u"y/a.txt"_s} << QList<int>{0, 1};
    }
    void whatExists() {
        QFETCH(QString, remote);
        QFETCH(QStringList, local);
        QFETCH(QList<int>, existing);
        RemoteFile entry;
        entry.name = QString(remote).remove(u'/');
        entry.isDirectory = remote.endsWith(u'/');
        QList<QUrl> files;
        for (const QString& name : local)
            files << QUrl::fromLocalFile(u"/tmp/"_s + name);
        const QList<RemoteFile> entries{entry};
        QCOMPARE(existingFiles(files, entries), existing);
    }

    void existingFiles_askOnce_data() {
        QTest::addColumn<QStringList>("remote"); // already on the server, holding "old"
        QTest::addColumn<QStringList>("local");  // chosen, each holding "new"
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("replaced"); // on the server afterwards with "new"
        QTest::addColumn<Outcome>("outcome");
        const QStringList ab{u"a.txt"_s, u"b.txt"_s};
        const QStringList abc{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s};
        const QString two = u"2 files already exist on the server. Overwrite them?"_s;
        QTest::newRow("one exists: Overwrite uploads all")
            << QStringList{u"a.txt"_s} << ab << u"Overwrite"_s
            << u"a.txt already exists on the server. Overwrite it?"_s << ab << Outcome::done;
        QTest::newRow("two exist: Skip existing uploads the others")
            << ab << abc << u"Skip existing"_s << two << QStringList{u"c.txt"_s} << Outcome::done;
        QTest::newRow("all exist: Skip existing uploads nothing")
            << ab << ab << u"Skip existing"_s << two << QStringList() << Outcome::done;
        QTest::newRow("Cancel uploads nothing")
            << ab << abc << u"Cancel"_s << two << QStringList() << Outcome::declined;
    }
    void existingFiles_askOnce() {
        QFETCH(QStringList, remote);
        QFETCH(QStringList, local);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QStringList, replaced);
        QFETCH(Outcome, outcome);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/in"_s);
        for (const QString& name : remote)
            server.writeFile(u"/in/"_s + name, "old");
        Upload upload;
        QSignalSpy changed(&upload.h.notifications, &AppNotifications::folderChanged);
        QList<QUrl> files;
        for (const QString& name : local)
            files << upload.h.localFile(name, "new");
        upload.h.prompter.answers << answer;
        QVERIFY(upload.start(server.connection(), u"/in"_s, files));
        QCOMPARE(upload.outcome(), outcome);
        QCOMPARE(upload.h.prompter.asked.size(), 1);
        QCOMPARE(upload.h.prompter.asked.first().message, message);
        for (const QString& name : local)
            QCOMPARE(server.readFile(u"/in/"_s + name), replaced.contains(name) ? "new"_ba
                                                        : remote.contains(name) ? "old"_ba
                                                                                : ""_ba);
        QCOMPARE(server.treeCommands().filter(u"LIST"_s), QStringList{u"LIST /in/"_s});
        QVERIFY(!upload.job.isBusy());
        QCOMPARE(changed.size(), replaced.isEmpty() ? 0 : 1); // no reload when nothing went up
    }

    void transfer_showsEachFileAsItStarts_data() {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::newRow("sized files") << QList<qint64>{100, 2500, 1};
        QTest::newRow("all empty: the bar still has a total") << QList<qint64>{0, 0};
    }
    void transfer_showsEachFileAsItStarts() {
        QFETCH(QList<qint64>, sizes);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        Upload upload;
        QSignalSpy changed(&upload.h.notifications, &AppNotifications::folderChanged);
        QList<QUrl> files;
        for (qsizetype i = 0; i < sizes.size(); ++i)
            files << upload.h.localFile(u"f%1.bin"_s.arg(i), QByteArray(sizes[i], 'x'));
        const qint64 total = std::accumulate(sizes.cbegin(), sizes.cend(), qint64(0));
        QVERIFY(upload.start(server.connection(), u"/"_s, files));
        QCOMPARE(upload.outcome(), Outcome::done);
        const TransferWatch& seen = upload.record;
        QCOMPARE(seen.lines.first(), u"Preparing\u2026"_s);
        QCOMPARE(seen.totals.first(), total < 1 ? 1.0 : double(total));
        // Each line names a file of the batch and its size, then the bytes done so far (never going back)
        // and the total; a batch of small files may be done between two looks, so not every file shows.
        for (const QString& line : seen.lines.mid(1)) {
            const qsizetype index = line.mid(1, line.indexOf(u".bin") - 1).toLongLong();
            QVERIFY2(line.startsWith(u"f%1.bin \u2014 %2 \u00b7 "_s.arg(index).arg(
                         formatByteCount(sizes.value(index)))) &&
                         line.contains(u"/"_s + formatByteCount(total)),
                     qPrintable(line));
        }
        QVERIFY(std::is_sorted(seen.values.cbegin(), seen.values.cend()));
        QVERIFY(!upload.job.progressLine() && !upload.job.isTransferring());
        QCOMPARE(changed.size(), 1);
    }

    // Cancelled while the question is open, a late answer starts nothing (cancelling a running transfer is
    // the window's test).
    void cancel_whileAskingIsNoError() {
        Upload upload;
        const HoldingCurl curl("-rw-r--r-- 1 u g 3 Jan 01 2024 a.txt");
        upload.h.pool.setCurlPath(curl.path());
        const Connection connection = Connection::makeNew();
        QVERIFY(upload.start(connection, u"/"_s,
                             {upload.h.localFile(u"a.txt"_s, "a"), upload.h.localFile(u"b.txt"_s)}));
        QVERIFY(!upload.start(connection, u"/"_s, {upload.h.localFile(u"c.txt"_s)})); // one at a time
        QTRY_VERIFY(upload.h.prompter.isAsking());
        upload.job.cancel();
        upload.h.prompter.answer(u"Overwrite"_s);
        curl.release(); // an upload started anyway would end
        QCOMPARE(upload.outcome(), Outcome::cancelled);
        QVERIFY(upload.record.result->error.isEmpty());
        QTRY_COMPARE(upload.h.pool.tasksRunning(), 0);
        QCOMPARE(curl.runs(), 1); // the listing only
    }

    // With work running the question and its answers are the application's test (quitting through the
    // window).
    void quit_withNothingRunningQuitsAtOnce() {
        SessionHarness h;
        bool quit = false;
        quitWhenConfirmed(h.pool, h.prompter, [&] { quit = true; });
        QVERIFY(quit && h.prompter.asked.isEmpty());
    }

    void sheet_uploadsIntoTheSelectedFavorite() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.makeFolder(u"/data"_s);
        SessionHarness h;
        const Connection connection = server.connection();
        h.store.addConnection(connection);
        h.store.addFavorite(QUuid::createUuid(), u"Lost"_s, u"/lost"_s);
        h.store.addFavorite(connection.id, u"Data"_s, u"/data"_s);
        h.store.addFavorite(connection.id, u"Missing"_s, u"/missing"_s);
        UploadJob job(h.context);
        UploadToFavoriteFlow flow({h.localFile(u"a.txt"_s, "a")}, h.store, job, h.prompter);
        QSignalSpy dismissed(&flow, &UploadToFavoriteFlow::dismissed);
        const QList<ListedFavorite> rows = flow.listedFavorites();
        QCOMPARE(rows.size(), 2); // the favorite whose connection is gone gets no row
        QVERIFY(!flow.canUpload());

        // A folder that cannot be listed: the error shows, the selection stays, nothing is dismissed.
        flow.select(rows.at(1).favorite);
        flow.upload();
        QVERIFY(!flow.canUpload()); // the job is busy
        QTRY_VERIFY_WITH_TIMEOUT(flow.errorMessage(), remoteTimeoutMs);
        QVERIFY(flow.isSelected(rows.at(1).favorite) && flow.canUpload());

        flow.select(rows.at(0).favorite);
        flow.upload();
        QVERIFY(!flow.errorMessage()); // cleared when "Upload" is pressed
        QTRY_COMPARE_WITH_TIMEOUT(dismissed.size(), 1, remoteTimeoutMs);

        // Its server deleted meanwhile: "Upload" does nothing at all.
        h.store.deleteConnection(connection);
        flow.upload();
        QVERIFY(!job.isBusy() && !flow.errorMessage());
    }

    void filesAndFolderTrees_arriveWhole() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.seed(
            {u"a.txt"_s, u"docs/sub/c"_s, u"docs/empty/"_s, u"docs/link -> ../a.txt"_s, u"skipped.txt"_s});
        server.writeFile(u"/docs/b.txt"_s, QByteArray(300000, 'b'));
        Download download;
        QVERIFY(download.start(server, {u"a.txt"_s, u"docs"_s}));
        QVERIFY2(download.outcome() == Outcome::done,
                 qPrintable(download.record.result.value_or(TransferResult()).error));
        QCOMPARE(download.tree(),
                 (QStringList{u"a.txt=a.txt"_s, u"docs/"_s, u"docs/b.txt="_s + QString(300000, u'b'),
                              u"docs/empty/"_s, u"docs/sub/"_s, u"docs/sub/c=docs/sub/c"_s}));
        QCOMPARE(download.record.words,
                 QStringList{u"3 files downloaded to %1 (1 link skipped)"_s.arg(download.h.local.path())});
        QVERIFY(std::is_sorted(download.record.values.cbegin(), download.record.values.cend()));
        QCOMPARE(download.job.progressTotal(), 300015.0);
    }

    void existingLocalFiles_askOnce_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("Overwrite") << u"Overwrite"_s << QStringList{u"a=a"_s, u"n=n"_s} << Outcome::done;
        QTest::newRow("Skip existing")
            << u"Skip existing"_s << QStringList{u"a=old"_s, u"n=n"_s} << Outcome::done;
    }
    void existingLocalFiles_askOnce() {
        QFETCH(QString, answer);
        QFETCH(QStringList, tree);
        QFETCH(Outcome, outcome);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.seed({u"a"_s, u"n"_s});
        Download download;
        download.h.localFile(u"a"_s, "old");
        download.h.prompter.answers << answer;
        QVERIFY(download.start(server, {u"a"_s, u"n"_s}));
        QCOMPARE(download.outcome(), outcome);
        QCOMPARE(download.h.prompter.asked.size(), 1);
        QCOMPARE(download.h.prompter.asked.first().message,
                 u"a already exists in %1. Overwrite it?"_s.arg(download.h.local.path()));
        QCOMPARE(download.tree(), tree);
    }

    // The file on its way is written under another name: the real one appears only complete, and a
    // cancelled download leaves neither behind.
    void cancel_leavesNoPartialFile() {
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, {.throttleSend = 200000});
        server.writeFile(u"/big.bin"_s, QByteArray(4000000, 'x'));
        Download download;
        QVERIFY(download.start(server, {u"big.bin"_s}));
        const QString local = download.h.local.filePath(u"big.bin"_s);
        // Under way: the bar moves with the bytes, the line gives the speed and the time left.
        QTRY_VERIFY_WITH_TIMEOUT(download.job.progressLine().value_or(QString()).contains(u"/s, about"_s),
                                 60000);
        QVERIFY(download.job.progressValue() > 0);
        QVERIFY(QFileInfo::exists(local + u".part"_s) && !QFileInfo::exists(local));
        download.job.cancel();
        QCOMPARE(download.outcome(), Outcome::cancelled);
        QCOMPARE(download.tree(), QStringList());
        QCOMPARE(download.record.words, QStringList{u"Download cancelled"_s});
    }
};

QTEST_GUILESS_MAIN(TransfersTest)
#include "tst_transfers.moc"
