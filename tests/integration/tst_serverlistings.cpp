// Folder listings as real servers send them: three line formats, exact names, a very long listing, a slow
// one and bytes that are not text.

#include "ServerTestHelpers.h"
#include "model/ServerText.h"

#include <QScopeGuard>
#include <QSet>
#include <QtTest>

#include <cstdio>

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

    // Names as the server holds them, byte for byte: spaces at either end, a symbolic link, a name in
    // Latin-1. vsftpd lists the files itself; pyftpdlib cannot send a Latin-1 name, so it answers with the
    // listing vsftpd would give.
    void exactNames_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::newRow("pyftpdlib, canned listing") << ServerKind::pyftpdlib;
        QTest::newRow("vsftpd") << ServerKind::vsftpd;
    }
    void exactNames() {
        QFETCH(ServerKind, kind);
        TestFtpServer::Options options;
        options.rawListings.insert(u"/n"_s, "drwxr-xr-x 2 0 0 4096 Jan 01 00:00 trail \r\n"
                                            "-rw-r--r-- 1 0 0 7 Jan 01 00:00 a\r\n"
                                            "-rw-r--r-- 1 0 0 6 Jan 01 00:00 a \r\n"
                                            "-rw-r--r-- 1 0 0 4 Jan 01 00:00  lone\r\n"
                                            "lrwxrwxrwx 1 0 0 9 Jan 01 00:00 lnk -> ../victim\r\n"
                                            "-rw-r--r-- 1 0 0 3 Jan 01 00:00 caf\xe9.txt\r\n");
        KALVOR_START_SERVER(server, kind, options);
        seed(server, {u"n/trail /"_s, u"n/lnk -> ../victim"_s, u"victim"_s});
        server.writeFile(u"n/a"_s, "1234567");
        server.writeFile(u"n/a "_s, "123456");
        server.writeFile(u"n/ lone"_s, "lone");
        // Qt cannot name this file, nor remove it with the server's folder.
        const QByteArray latin1Path = QFile::encodeName(server.localPath(u"n"_s)) + "/caf\xe9.txt";
        const auto removeLatin1 = qScopeGuard([&] { std::remove(latin1Path.constData()); });
        std::FILE* latin1 = std::fopen(latin1Path.constData(), "w");
        QVERIFY(latin1 && std::fputs("caf", latin1) >= 0 && std::fclose(latin1) == 0);

        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(u"/n"_s));
        QByteArrayList listed;
        for (const RemoteFile& entry : entries) {
            QCOMPARE(entry.path, u"/n/"_s + entry.name);
            listed << (entry.isDirectory ? "folder ["
                       : entry.isLink    ? "link ["
                                         : "file [") +
                          servertext::toServer(entry.name) + "] " + servertext::toServer(entry.linkTarget) +
                          (entry.isAmbiguous ? " ambiguous" : "");
        }
        QCOMPARE(listed, QByteArrayList({"folder [trail ] ", "file [ lone] ", "file [a] ", "file [a ] ",
                                         "file [caf\xe9.txt] ", "link [lnk] ../victim"}));
        QCOMPARE(servertext::forDisplay(entries[4].name, {}), u"caf\u00e9.txt"_s);
        QCOMPARE(entries[2].size, 7);
        QCOMPARE(entries[3].size, 6);
    }

    // A listing with lines that are not text must neither pass for an empty folder nor hide the files those
    // lines may stand for: an upload would then replace files without asking.
    void listingThatIsNotTextFails() {
        TestFtpServer::Options options;
        options.rawListings.insert(u"/bad"_s,
                                   QByteArray("ok.txt\r\n\x1f\x8b\x08\0\0\0\0\0\r\n\x89\x01\r\n", 22));
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
