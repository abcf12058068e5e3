// Downloads of files and folder trees into a local folder, on real servers, with the user played by a script.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "session/DownloadJob.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = TransferResult::Outcome;

namespace {

constexpr int remoteTimeoutMs = 60000;

// Everything below folder, sorted: "sub/" for a folder, "name=content" for a file.
QStringList localTree(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(folder).relativeFilePath(info.filePath());
        QFile file(info.filePath());
        found << (info.isDir()
                      ? relative + u'/'
                      : relative + u'=' +
                            QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "?"));
    }
    found.sort();
    return found;
}

// One download of entries of the server's root, run to its end.
struct Download {
    SessionHarness h;
    DownloadJob job{h.context};
    std::optional<TransferResult> result;
    QStringList words;
    QList<double> values;

    bool run(const TestFtpServer& server, const QStringList& names) {
        QObject::connect(&job, &TransferJob::announced, &job, [this](const QString& w) { words << w; });
        QObject::connect(&job, &TransferJob::progressChanged, &job, [this] {
            if (job.isTransferring())
                values << job.progressValue();
        });
        QList<RemoteFile> entries;
        for (const RemoteFile& entry : FTPClient(server.connection()).listDirectory(u"/"_s)) {
            if (names.contains(entry.name))
                entries << entry;
        }
        return job.start(server.connection(), entries, h.local.path(), &h.prompter, &job,
                         [this](const TransferResult& r) { result = r; });
    }
    bool finish() {
        return QTest::qWaitFor([this] { return result.has_value(); }, remoteTimeoutMs);
    }
};

} // namespace

class DownloadJobTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesAndFolderTrees_arriveWhole_data() {
        QTest::addColumn<TestFtpServer::Kind>("kind");
        QTest::newRow("pyftpdlib") << TestFtpServer::Kind::pyftpdlib;
        QTest::newRow("vsftpd") << TestFtpServer::Kind::vsftpd;
    }
    void filesAndFolderTrees_arriveWhole() {
        QFETCH(TestFtpServer::Kind, kind);
        KALVOR_START_SERVER(server, kind);
        server.writeFile(u"/a.txt"_s, "A");
        server.writeFile(u"/docs/b.txt"_s, QByteArray(300000, 'b'));
        server.writeFile(u"/docs/sub/c.txt"_s, "C");
        server.makeFolder(u"/docs/empty"_s);
        server.makeSymlink(u"/docs/link"_s, u"../a.txt"_s);
        server.writeFile(u"/skipped.txt"_s, "S");
        Download download;
        QVERIFY(download.run(server, {u"a.txt"_s, u"docs"_s}));
        QVERIFY(download.finish());

        QVERIFY2(download.result->outcome == Outcome::done, qPrintable(download.result->error));
        QCOMPARE(localTree(download.h.local.path()),
                 (QStringList{u"a.txt=A"_s, u"docs/"_s, u"docs/b.txt="_s + QString(300000, u'b'),
                              u"docs/empty/"_s, u"docs/sub/"_s, u"docs/sub/c.txt=C"_s}));
        QCOMPARE(download.words,
                 QStringList{u"3 files downloaded to %1 (1 link skipped)"_s.arg(download.h.local.path())});
        QVERIFY(std::is_sorted(download.values.cbegin(), download.values.cend()));
        QCOMPARE(download.job.progressTotal(), 300002.0);
    }

    void existingLocalFiles_askOnce_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<int>("outcome");
        QTest::newRow("Overwrite") << u"Overwrite"_s << QStringList{u"a.txt=A"_s, u"n.txt=N"_s}
                                   << int(Outcome::done);
        QTest::newRow("Skip existing")
            << u"Skip existing"_s << QStringList{u"a.txt=old"_s, u"n.txt=N"_s} << int(Outcome::done);
        QTest::newRow("Cancel") << u"Cancel"_s << QStringList{u"a.txt=old"_s} << int(Outcome::declined);
    }
    void existingLocalFiles_askOnce() {
        QFETCH(QString, answer);
        QFETCH(QStringList, tree);
        QFETCH(int, outcome);
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib);
        server.writeFile(u"/a.txt"_s, "A");
        server.writeFile(u"/n.txt"_s, "N");
        Download download;
        download.h.localFile(u"a.txt"_s, "old");
        download.h.prompter.answers << answer;
        QVERIFY(download.run(server, {u"a.txt"_s, u"n.txt"_s}));
        QVERIFY(download.finish());
        QCOMPARE(int(download.result->outcome), outcome);
        QCOMPARE(download.h.prompter.asked.size(), 1);
        QCOMPARE(download.h.prompter.asked.first().message,
                 u"a.txt already exists in %1. Overwrite it?"_s.arg(download.h.local.path()));
        QCOMPARE(localTree(download.h.local.path()), tree);
    }

    // The file on its way is written under another name: the real one appears only complete, and a
    // cancelled download leaves neither behind.
    void cancel_leavesNoPartialFile() {
        TestFtpServer::Options slow;
        slow.throttleSend = 200000;
        KALVOR_START_SERVER(server, TestFtpServer::Kind::pyftpdlib, slow);
        server.writeFile(u"/big.bin"_s, QByteArray(4000000, 'x'));
        Download download;
        QVERIFY(download.run(server, {u"big.bin"_s}));
        const QString local = download.h.local.filePath(u"big.bin"_s);
        // Under way: the bar moves with the bytes, the line gives the speed and the time left.
        QTRY_VERIFY_WITH_TIMEOUT(download.job.progressLine() &&
                                     download.job.progressLine()->contains(u"/s, about"_s),
                                 remoteTimeoutMs);
        QVERIFY(download.job.progressValue() > 0);
        QVERIFY(QFileInfo::exists(local + u".part"_s) && !QFileInfo::exists(local));
        download.job.cancel();
        QVERIFY(download.finish());
        QCOMPARE(int(download.result->outcome), int(Outcome::cancelled));
        QCOMPARE(localTree(download.h.local.path()), QStringList());
        QCOMPARE(download.words, QStringList{u"Download cancelled"_s});
    }
};

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_downloadjob.moc"
