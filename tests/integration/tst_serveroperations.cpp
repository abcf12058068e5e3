// Every remote operation on real servers, pyftpdlib over plain FTP and vsftpd over implicit TLS: names that
// need escaping, names listed byte for byte, and refusals. (Batches, byte-exact transfers and failures midway
// are in tst_servertransport.)

#include "ServerTestHelpers.h"
#include "model/ServerText.h"

#include <QtTest>

#include <cstdio>

namespace {

// One comparable line per entry, so a mismatch shows the whole listing.
QStringList describe(const QList<RemoteFile>& files) {
    QStringList lines;
    for (const RemoteFile& file : files)
        lines << u"%1 [%2] at [%3]"_s.arg(file.isDirectory ? u"folder"_s : u"file"_s, file.name, file.path) +
                     (file.size ? u" size "_s + QString::number(*file.size) : QString());
    return lines;
}

} // namespace

class ServerOperationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Names that need escaping in a URL, or that a careless parser would reshape, survive every operation.
    void awkwardNamesRoundTrip_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("name");
        // One name per kind of escaping; "mixed" holds "#", "?", "%", a double space and UTF-8 at once.
        const QStringList names{u"%41 not an A"_s, u"[set] {braces}"_s, u"a+b=c&d;e,f"_s, u"café Ä 日本"_s,
                                u"mixed #?% é  end"_s};
        for (const QString& name : names)
            QTest::addRow("pyftpdlib: %s", qPrintable(name)) << ServerKind::pyftpdlib << name;
        // The escaping is the client's; a second server only needs the hardest cases.
        for (const QString& name : {names.at(0), names.at(1), names.at(4)})
            QTest::addRow("vsftpd: %s", qPrintable(name)) << ServerKind::vsftpd << name;
    }
    void awkwardNamesRoundTrip() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, name);
        KALVOR_START_SERVER(server, kind);
        const FTPClient client(server.connection());
        QTemporaryDir local;
        const QString file = name + u".txt"_s;
        KALVOR_NO_ERROR(client.createDirectory(u'/' + name));
        QVERIFY(server.isFolder(name));
        QList<RemoteFile> root;
        KALVOR_NO_ERROR(root = client.listDirectory(u"/"_s));
        QCOMPARE(describe(root), QStringList{u"folder [%1] at [%1]"_s.arg(name)});
        const QString folder = root.first().path;
        KALVOR_NO_ERROR(client.uploadFile(localFile(local, file, name.toUtf8()), folder));
        KALVOR_NO_ERROR(client.uploadFile(localFile(local, u"zzz.txt"_s, "z"), folder));
        QCOMPARE(server.readFile(name + u'/' + file), name.toUtf8());
        // Built by concatenation: the names hold "%" signs that QString::arg would read as markers.
        QList<RemoteFile> inside;
        KALVOR_NO_ERROR(inside = client.listDirectory(folder));
        QCOMPARE(describe(inside), QStringList({u"file ["_s + file + u"] at ["_s + folder + u'/' + file +
                                                    u"] size "_s + QString::number(name.toUtf8().size()),
                                                u"file [zzz.txt] at ["_s + folder + u"/zzz.txt] size 1"_s}));
        KALVOR_NO_ERROR(client.deleteFile(inside.first().path));
        QVERIFY(!server.exists(name + u'/' + file) && server.exists(name + u"/zzz.txt"_s));
        KALVOR_NO_ERROR(client.deleteDirectory(folder));
        QVERIFY(!server.exists(name));
    }

    // What the server refuses comes back as the operation's error (its fixed leading words first), and the
    // disk is as it was: no temporary file is left either.
    void serverRefusalsBecomeErrors_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fixedText"); // the leading words; empty: any non-empty text
        QTest::addColumn<QString>("mustStay");
        QTest::addColumn<QString>("mustNotAppear");
        const auto row = [](ServerKind kind, const char* tag, const QString& operation, const QString& path,
                            const QString& fixedText, const QString& mustStay, const QString& mustNotAppear) {
            QTest::addRow("%s: %s", kind == ServerKind::vsftpd ? "vsftpd" : "pyftpdlib", tag)
                << kind << operation << path << fixedText << mustStay << mustNotAppear;
        };
        const ServerKind py = ServerKind::pyftpdlib;
        const QString create = u"Could not create folder"_s, none, kept = u"docs/kept.txt"_s;
        row(py, "delete a missing folder", u"deleteDirectory"_s, u"/missing"_s, none, kept, none);
        const QString locked = u"locked__denied__"_s;
        for (const ServerKind kind : {py, ServerKind::vsftpd}) {
            row(kind, "create in a refused folder", u"create"_s, u'/' + locked + u"/new"_s, create,
                locked + u"/x"_s, locked + u"/new"_s);
            row(kind, "upload into a refused folder", u"upload"_s, u'/' + locked, none, locked + u"/x"_s,
                locked + u"/up.txt"_s);
            row(kind, "delete a refused file", u"deleteFile"_s, u'/' + locked + u"/x"_s, none,
                locked + u"/x"_s, none);
        }
    }
    void serverRefusalsBecomeErrors() {
        QFETCH(ServerKind, kind);
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, fixedText);
        QFETCH(QString, mustStay);
        QFETCH(QString, mustNotAppear);
        KALVOR_START_SERVER(server, kind);
        server.seed({u"docs/kept.txt"_s, u"locked__denied__/x"_s});
        QTemporaryDir local;
        const QUrl upload = localFile(local, u"up.txt"_s, "upload");
        const FTPClient client(server.connection());
        const auto failure = failureOf([&] {
            if (operation == u"create")
                client.createDirectory(path);
            else if (operation == u"upload")
                client.uploadFile(upload, path);
            else if (operation == u"deleteFile")
                client.deleteFile(path);
            else
                client.deleteDirectory(path);
        });
        QVERIFY2(failure && failure->description().startsWith(fixedText) &&
                     failure->description().size() > fixedText.size(),
                 failure ? qPrintable(failure->description()) : "the operation should have failed");
        QVERIFY(mustStay.isEmpty() || server.exists(mustStay));
        QVERIFY(mustNotAppear.isEmpty() || !server.exists(mustNotAppear));
        QCOMPARE(server.temporaryFiles(), QStringList());
    }

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
        QVERIFY(entries[2].size == 7 && entries[3].size == 6);
    }
};

QTEST_GUILESS_MAIN(ServerOperationsTest)
#include "tst_serveroperations.moc"
