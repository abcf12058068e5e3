// Folder listings as real servers send them: three line formats, exact names, a very long listing and a slow
// one. (A listing that is not text is refused: see tst_serverdeletion, which also shows nothing is deleted.)

#include "ServerTestHelpers.h"
#include "model/ServerText.h"

#include <QtTest>

#include <cstdio>

class ServerListingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The client sets no time limit of its own: a server that takes its time is waited for.
    void formatsFromRealServers_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TestFtpServer::Listing>("listing");
        QTest::addColumn<bool>("hasSizes");
        QTest::addColumn<QString>("folder");
        QTest::newRow("pyftpdlib, unix, slowly")
            << ServerKind::pyftpdlib << TestFtpServer::Listing::unix << true << u"/d__slow__"_s;
        QTest::newRow("pyftpdlib, DOS")
            << ServerKind::pyftpdlib << TestFtpServer::Listing::dos << true << u"/d"_s;
        QTest::newRow("pyftpdlib, bare names")
            << ServerKind::pyftpdlib << TestFtpServer::Listing::bare << false << u"/d"_s;
        QTest::newRow("vsftpd, unix")
            << ServerKind::vsftpd << TestFtpServer::Listing::unix << true << u"/d"_s;
    }
    void formatsFromRealServers() {
        QFETCH(ServerKind, kind);
        QFETCH(TestFtpServer::Listing, listing);
        QFETCH(bool, hasSizes);
        QFETCH(QString, folder);
        KALVOR_START_SERVER(server, kind, {.listing = listing, .slowSeconds = 1.5});
        server.seed({folder + u"/Backups/"_s, folder + u"/my  dir/"_s, folder + u"/émigré/"_s});
        server.writeFile(folder + u"/data file.csv"_s, QByteArray(2048, 'x'));
        server.writeFile(folder + u"/two  spaces.txt"_s, "abc");
        server.writeFile(folder + u"/Zero"_s);
        // A negative size stands for a folder.
        const auto line = [&](const QString& name, int bytes) {
            return u"%1 [%2] at [%3/%2]"_s.arg(bytes < 0 ? u"folder"_s : u"file"_s, name, folder) +
                   (hasSizes && bytes >= 0 ? u" size %1"_s.arg(bytes) : QString());
        };
        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(folder));
        QCOMPARE(describe(entries), QStringList({line(u"Backups"_s, -1), line(u"émigré"_s, -1),
                                                 line(u"my  dir"_s, -1), line(u"data file.csv"_s, 2048),
                                                 line(u"two  spaces.txt"_s, 3), line(u"Zero"_s, 0)}));
    }

    void longListingArrivesWhole() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        // About 3000 lines of 200 bytes: far more than a pipe buffer holds.
        QStringList expected;
        for (int i = 0; i < 3000; ++i) {
            expected << u"file-%1-"_s.arg(i, 5, 10, QChar(u'0')) + QString(140, u'p');
            server.writeFile(u"big/"_s + expected.last());
        }
        QList<RemoteFile> entries;
        KALVOR_NO_ERROR(entries = FTPClient(server.connection()).listDirectory(u"/big"_s));
        QStringList names;
        for (const RemoteFile& entry : entries)
            names << entry.name;
        names.sort();
        QCOMPARE(names, expected);
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
        const QByteArray listing("drwxr-xr-x 2 0 0 4096 Jan 01 00:00 trail \r\n"
                                 "-rw-r--r-- 1 0 0 7 Jan 01 00:00 a\r\n"
                                 "-rw-r--r-- 1 0 0 6 Jan 01 00:00 a \r\n"
                                 "-rw-r--r-- 1 0 0 4 Jan 01 00:00  lone\r\n"
                                 "lrwxrwxrwx 1 0 0 9 Jan 01 00:00 lnk -> ../victim\r\n"
                                 "-rw-r--r-- 1 0 0 3 Jan 01 00:00 caf\xe9.txt\r\n");
        KALVOR_START_SERVER(server, kind, {.rawListings = {{u"/n"_s, listing}}});
        server.seed({u"n/trail /"_s, u"n/lnk -> ../victim"_s, u"victim"_s});
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
        QVERIFY(entries[2].size == 7 && entries[3].size == 6);
    }
};

QTEST_GUILESS_MAIN(ServerListingsTest)
#include "tst_serverlistings.moc"
