// How the runs behave on real servers: batches in one run, what they leave behind when they fail or are
// cancelled, stalls, caps and progress.

#include "ServerTestHelpers.h"
#include "model/RecordJson.h"

#include <QtTest>

#include <future>

class ServerTransportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each way to reach a server carries a batch up and back down byte for byte, over an existing file; over
    // TLS with a certificate an authority vouches for: nothing to ask, nothing pinned, and the login goes out
    // only once TLS protects it.
    void batchRoundTrip_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TestFtpServer::Tls>("tls");
        QTest::newRow("pyftpdlib") << ServerKind::pyftpdlib << TestFtpServer::Tls::none;
        // The record as an older build wrote it: useTLS alone is implicit TLS.
        QTest::newRow("vsftpd implicit TLS, an old record")
            << ServerKind::vsftpd << TestFtpServer::Tls::implicit;
        QTest::newRow("vsftpd explicit TLS") << ServerKind::vsftpd << TestFtpServer::Tls::explicitTLS;
    }
    void batchRoundTrip() {
        QFETCH(ServerKind, kind);
        QFETCH(TestFtpServer::Tls, tls);
        KALVOR_START_SERVER(server, kind, {.vsftpdTls = tls});
        Connection connection = server.connection();
        if (tls == TestFtpServer::Tls::implicit) { // the record without the members added since
            const QByteArray record = encodeConnections({connection});
            const auto old = decodeConnections(record.left(record.indexOf(",\"tlsMode\"")) + "}]");
            QVERIFY(old && old->size() == 1);
            connection = old->first();
        }
        server.seed({u"in/b.bin"_s});
        QTemporaryDir local;
        const QList<QByteArray> contents{"first\r\n\0x"_ba, QByteArray(100000, 'b'), QByteArray()};
        const QList<QUrl> files{localFile(local, u"a #1.txt"_s, contents[0]),
                                localFile(local, u"b.bin"_s, contents[1]),
                                localFile(local, u"empty"_s, contents[2])};
        const FTPClient client(connection);

        KALVOR_NO_ERROR(client.uploadFiles(files, u"/in"_s));
        QList<DownloadItem> back;
        for (const QUrl& file : files)
            back.append({u"/in/"_s + file.fileName(), local.filePath(u"back-"_s + file.fileName()), 0});
        KALVOR_NO_ERROR(client.downloadFiles(back));
        for (qsizetype i = 0; i < files.size(); ++i) {
            QFile file(back[i].localPath);
            QVERIFY(file.open(QIODevice::ReadOnly) && server.readFile(back[i].remotePath) == contents[i]);
            QCOMPARE(file.readAll(), contents[i]);
        }
        QCOMPARE(server.temporaryFiles(), QStringList());
        QVERIFY(QDir(local.path()).entryList({u"*.part"_s}, QDir::Files).isEmpty());
        const QStringList commands = server.commandLog();
        if (tls == TestFtpServer::Tls::none)
            return;
        for (const QString& sent : commands.mid(0, commands.indexOf(QRegularExpression(u"USER .*"_s))))
            QVERIFY2(sent.startsWith(u"AUTH "_s), qPrintable(sent));
        QVERIFY(commands.contains(u"PROT P"_s)); // the transfers' own connections are protected too
    }

    // A cancelled upload ends at once, never cuts the file it would replace and takes its temporary file
    // away.
    void cancelledUploadKeepsTheOldFile() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.throttleReceive = 200000});
        server.seed({u"in/big.bin"_s});
        const QByteArray old = server.readFile(u"in/big.bin"_s);
        QTemporaryDir local;
        const QUrl big = localFile(local, u"big.bin"_s, QByteArray(32 << 20, 'n'));
        const auto control = std::make_shared<OperationControl>();
        auto upload = std::async(std::launch::async, [&] {
            return failureOf(
                [&] { (void)FTPClient(server.connection()).uploadFiles({big}, u"/in"_s, control); });
        });
        QTRY_VERIFY_WITH_TIMEOUT(!server.temporaryFiles().isEmpty(), 20000);
        control->cancel();
        QVERIFY(upload.wait_for(std::chrono::seconds(1)) == std::future_status::ready);
        const auto failure = upload.get();
        QVERIFY(failure && failure->kind() == FTPClientError::Kind::cancelled);
        QCOMPARE(server.readFile(u"in/big.bin"_s), old);
        QCOMPARE(server.temporaryFiles(), QStringList());
    }

    // The first failure stops the batch: the files before it are up, the failing one is named, and nothing
    // after it reaches the server, not even under a temporary name.
    void uploadBatchStopsAtTheFailingItem_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("uploaded");
        QTest::newRow("the server refuses it") << u"c__denied__"_s << QStringList{u"a"_s, u"b"_s};
        // Checked before anything starts: nothing of the batch goes up.
        QTest::newRow("the local file is gone") << u"c-gone"_s << QStringList{};
    }
    void uploadBatchStopsAtTheFailingItem() {
        QFETCH(QString, failing);
        QFETCH(QStringList, uploaded);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        server.makeFolder(u"in"_s);
        QTemporaryDir local;
        QList<QUrl> files;
        for (const QString& name : {u"a"_s, u"b"_s, failing, u"d"_s, u"e"_s})
            files << localFile(local, name, name.toUtf8());
        QFile::remove(local.filePath(u"c-gone"_s));
        const auto failure =
            failureOf([&] { (void)FTPClient(server.connection()).uploadFiles(files, u"/in"_s); });
        QVERIFY(failure && failure->kind() == FTPClientError::Kind::itemFailed);
        QCOMPARE(failure->item(), u"/in/"_s + failing);
        QVERIFY2(failure->description().contains(failing), qPrintable(failure->description()));
        QCOMPARE(QDir(server.localPath(u"in"_s)).entryList(QDir::Files | QDir::Hidden), uploaded);
    }

    // A server that will not rename onto an existing name still gets the file, sent directly, and says so.
    void refusedRenameFallsBackToADirectUpload() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.refuseRename = u"kept"_s});
        server.seed({u"in/kept.txt"_s});
        QTemporaryDir local;
        const QList<QUrl> files{localFile(local, u"kept.txt"_s, "new"),
                                localFile(local, u"other.txt"_s, "o")};
        bool said = false;
        QList<UploadOutcome> outcomes;
        KALVOR_NO_ERROR(outcomes =
                            FTPClient(server.connection())
                                .uploadFiles(files, u"/in"_s, {}, [&](const TransferProgress& progress) {
                                    said = said || (progress.directUpload && progress.itemIndex == 0);
                                }));
        QVERIFY(said && outcomes.size() == 2 && outcomes[0].uploadedDirectly &&
                !outcomes[1].uploadedDirectly);
        QCOMPARE(server.readFile(u"in/kept.txt"_s), "new"_ba);
        QCOMPARE(server.readFile(u"in/other.txt"_s), "o"_ba);
        QCOMPARE(server.temporaryFiles(), QStringList());
    }

    // The bar moves with the bytes within one file, about ten times a second.
    void progressMovesWithinAFile() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.throttleReceive = 4 << 20});
        QTemporaryDir local;
        const qint64 size = 12 << 20;
        const QUrl big = localFile(local, u"big.bin"_s, QByteArray(size, 'p'));
        QList<qint64> done;
        bool timed = false;
        QElapsedTimer clock;
        clock.start();
        KALVOR_NO_ERROR(
            FTPClient(server.connection()).uploadFiles({big}, u"/"_s, {}, [&](const TransferProgress& p) {
                done << p.doneBytes;
                timed = timed || (p.bytesPerSecond > 0 && p.secondsLeft && *p.secondsLeft > 0);
            }));
        QVERIFY2(done.size() >= clock.elapsed() / 200, qPrintable(u"%1 reports"_s.arg(done.size())));
        QVERIFY2(QSet<qint64>(done.cbegin(), done.cend()).size() >= 5,
                 "one file moved the bar several times");
        QVERIFY(std::is_sorted(done.cbegin(), done.cend()) && done.last() == size);
        QVERIFY2(timed, "speed and time left were reported");
    }

    // Downloads stop at the first failure too: the ones before it are in place; of it and of those after it
    // (c may well have arrived whole on another connection) nothing is left, not even a .part file.
    void downloadBatchStopsAtTheFailingItem() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        server.seed({u"a"_s, u"c"_s});
        QTemporaryDir local;
        QList<DownloadItem> items;
        for (const QString& name : {u"a"_s, u"missing"_s, u"c"_s})
            items.append({u"/"_s + name, local.filePath(name), 0});
        const auto failure = failureOf([&] { FTPClient(server.connection()).downloadFiles(items); });
        QVERIFY(failure && failure->item() == u"/missing"_s);
        QCOMPARE(QDir(local.path()).entryList(QDir::Files), QStringList{u"a"_s});
    }

    // No run lasts forever, and none grows without end.
    void runsEndOnStallAndCap_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("kind");
        QTest::newRow("listing stalls midway") << u"stall"_s << int(FTPClientError::Kind::timedOut);
        QTest::newRow("listing above the cap") << u"cap"_s << int(FTPClientError::Kind::outputTooLarge);
    }
    void runsEndOnStallAndCap() {
        QFETCH(QString, fault);
        QFETCH(int, kind);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.stallListing = u"/stall:300"_s});
        for (int i = 0; i < 40; ++i)
            server.writeFile(u"%1/file-%2.txt"_s.arg(fault).arg(i), "x");
        FTPClientOptions shortened;
        shortened.stallSeconds = 2;
        shortened.outputCap = fault == u"cap" ? 100 : shortened.outputCap;
        QElapsedTimer clock;
        clock.start();
        const auto failure =
            failureOf([&] { (void)FTPClient(server.connection(), shortened).listDirectory(u"/"_s + fault); });
        QVERIFY(failure && int(failure->kind()) == kind);
        QVERIFY2(failure->description().contains(u"127.0.0.1:"_s + QString::number(server.port())),
                 qPrintable(failure->description()));
        QVERIFY2(clock.elapsed() < 15000, "the run ended within the shortened limit");
    }

    // A server where every folder holds another: the walk stops at its depth, names where, deletes nothing.
    void endlessTreeIsNeverDeleted() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.endless = u"deep"_s});
        server.makeFolder(u"deep"_s);
        FTPClientOptions shallow;
        shallow.maxTreeDepth = 4;
        const auto failure =
            failureOf([&] { FTPClient(server.connection(), shallow).deleteDirectory(u"/deep"_s); });
        QVERIFY(failure && failure->item() == u"/deep/sub/sub/sub/sub/sub/"_s);
        QVERIFY2(failure->description().contains(failure->item()), qPrintable(failure->description()));
        QCOMPARE(server.commandLog().filter(QRegularExpression(u"^(RMD|DELE) "_s)), QStringList());
    }
};

QTEST_GUILESS_MAIN(ServerTransportTest)
#include "tst_servertransport.moc"
