// Downloads of files and folder trees into a local folder, on real servers, with the user played by a script.
#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "session/DownloadJob.h"

#include <QDirIterator>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = TransferResult::Outcome;

namespace {

// One download of entries of the server's root into a fresh local folder, and the record of its run.
struct Download {
    SessionHarness h;
    DownloadJob job{h.context};
    TransferWatch record{job};

    bool start(const TestFtpServer& server, const QStringList& names) {
        QList<RemoteFile> entries = FTPClient(server.connection()).listDirectory(u"/"_s);
        entries.removeIf([&](const RemoteFile& entry) { return !names.contains(entry.name); });
        return job.start(server.connection(), entries, h.local.path(), &h.prompter, &job, record.done());
    }
    Outcome outcome() const { return record.finish() ? record.result->outcome : Outcome::failed; }
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

class DownloadJobTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_downloadjob.moc"
