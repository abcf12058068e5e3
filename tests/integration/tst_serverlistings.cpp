// Folder listings as real servers send them: three line formats, a very long listing, a slow one and bytes
// that are not text.

#include "ServerTestHelpers.h"

#include <QSet>
#include <QtTest>

using namespace Qt::StringLiterals;

class ServerListingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formatsFromRealServers_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TestFtpServer::Listing>("listing");
        QTest::addColumn<bool>("hasSizes");
        QTest::newRow("pyftpdlib, unix") << ServerKind::pyftpdlib << TestFtpServer::Listing::unix << true;
        QTest::newRow("pyftpdlib, DOS") << ServerKind::pyftpdlib << TestFtpServer::Listing::dos << true;
        QTest::newRow("pyftpdlib, bare names")
            << ServerKind::pyftpdlib << TestFtpServer::Listing::bare << false;
        QTest::newRow("vsftpd, unix") << ServerKind::vsftpd << TestFtpServer::Listing::unix << true;
    }
    void formatsFromRealServers() {
        QFETCH(ServerKind, kind);
        QFETCH(TestFtpServer::Listing, listing);
        QFETCH(bool, hasSizes);
        TestFtpServer::Options options;
        options.listing = listing;
        KALVOR_START_SERVER(server, kind, options);
        seed(server, {u"d/Backups/"_s, u"d/my  dir/"_s, u"d/émigré/"_s});
        server.writeFile(u"d/data file.csv"_s, QByteArray(2048, 'x'));
        server.writeFile(u"d/two  spaces.txt"_s, "abc");
        server.writeFile(u"d/Zero"_s);

        const QString size2048 = hasSizes ? u" size 2048"_s : QString();
        const QString size3 = hasSizes ? u" size 3"_s : QString();
        const QString size0 = hasSizes ? u" size 0"_s : QString();
        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(u"/d"_s));
        QCOMPARE(describe(entries),
                 QStringList({u"folder [Backups] at [/d/Backups]"_s, u"folder [émigré] at [/d/émigré]"_s,
                              u"folder [my  dir] at [/d/my  dir]"_s,
                              u"file [data file.csv] at [/d/data file.csv]"_s + size2048,
                              u"file [two  spaces.txt] at [/d/two  spaces.txt]"_s + size3,
                              u"file [Zero] at [/d/Zero]"_s + size0}));
    }

    void longListingArrivesWhole_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::newRow("pyftpdlib") << ServerKind::pyftpdlib;
        QTest::newRow("vsftpd") << ServerKind::vsftpd;
    }
    void longListingArrivesWhole() {
        QFETCH(ServerKind, kind);
        KALVOR_START_SERVER(server, kind);
        // About 3000 lines of 200 bytes: far more than a pipe buffer holds.
        constexpr int count = 3000;
        const QString padding(140, u'p');
        QSet<QString> expected;
        for (int i = 0; i < count; ++i) {
            const QString name = u"file-%1-"_s.arg(i, 5, 10, QChar(u'0')) + padding;
            server.writeFile(u"big/"_s + name);
            expected.insert(name);
        }

        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(u"/big"_s));
        QCOMPARE(entries.size(), count);
        QSet<QString> names;
        for (const RemoteFile& entry : entries)
            names.insert(entry.name);
        QCOMPARE(names, expected);
    }

    // The client sets no time limit of its own: a server that takes its time is waited for.
    void slowListingIsWaitedFor() {
        TestFtpServer::Options options;
        options.slowSeconds = 1.5;
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, options);
        server.writeFile(u"wait__slow__/late.txt"_s, "late");

        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(u"/wait__slow__"_s));
        QCOMPARE(describe(entries), QStringList{u"file [late.txt] at [/wait__slow__/late.txt] size 4"_s});
    }

    // A listing that is not UTF-8 must not pass for an empty folder: an upload would then replace files
    // without asking.
    void listingThatIsNotTextFails_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Latin-1 name") << QByteArray("-rw-r--r-- 1 u g 3 Jan 01 00:00 ok.txt\r\n"
                                                    "-rw-r--r-- 1 u g 3 Jan 01 00:00 caf\xe9.txt\r\n");
        QTest::newRow("truncated sequence at the end") << QByteArray(
            "-rw-r--r-- 1 u g 3 Jan 01 00:00 ok.txt\r\n-rw-r--r-- 1 u g 3 Jan 01 00:00 \xe6\x97");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80.txt\r\n");
    }
    void listingThatIsNotTextFails() {
        QFETCH(QByteArray, bytes);
        TestFtpServer::Options options;
        options.rawListings.insert(u"/bad"_s, bytes);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, options);
        seed(server, {u"bad/ok.txt"_s});
        const FTPClient client(server.connection());

        for (const QString& path : {u"/bad"_s, u"bad/"_s}) {
            const auto failure = failureOf([&] { (void)client.listDirectory(path); });
            QVERIFY2(failure, qPrintable(u"listing "_s + path + u" should have failed"_s));
            QCOMPARE(failure->kind(), FTPClientError::Kind::commandFailed);
            QVERIFY(!failure->description().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(ServerListingsTest)
#include "tst_serverlistings.moc"
