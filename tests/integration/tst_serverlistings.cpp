// Folder listings as real servers send them, name for name. (The line formats are the parser's unit tests; a
// listing that is not text is refused: see tst_serverdeletion, which also shows nothing is deleted.)

#include "ServerTestHelpers.h"
#include "model/ServerText.h"

#include <QtTest>

#include <cstdio>

class ServerListingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Names as vsftpd holds and lists them, byte for byte: spaces at either end, a symbolic link, a name in
    // Latin-1 (which pyftpdlib cannot send).
    void exactNames() {
        KALVOR_START_SERVER(server, ServerKind::vsftpd);
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
