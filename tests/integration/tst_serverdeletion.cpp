// Recursive folder deletion as the server sees it: which commands arrive, in which order, where it stops,
// and that no listing can steer it outside the folder.

#include "ServerTestHelpers.h"

#include <QtTest>

namespace {

void verifyKeptAndGone(const TestFtpServer& server, const QStringList& kept, const QStringList& gone) {
    for (const QString& path : kept)
        QVERIFY2(server.exists(path), qPrintable(path + u" should still be there"_s));
    for (const QString& path : gone)
        QVERIFY2(!server.exists(path), qPrintable(path + u" should be gone"_s));
}

} // namespace

class ServerDeletionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deletesDepthFirst_data() {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("expected");
        const auto py = ServerKind::pyftpdlib;
        const QStringList aTree{u"a/b/c"_s, u"a/d"_s};
        const QStringList aOrder{u"LIST /a/"_s,  u"LIST /a/b/"_s, u"DELE /a/b/c"_s,
                                 u"RMD /a/b/"_s, u"DELE /a/d"_s,  u"RMD /a"_s};
        QTest::newRow("empty folder")
            << py << QStringList{u"e/"_s} << u"/e"_s << QStringList{u"LIST /e/"_s, u"RMD /e"_s};
        // Listed a level at a time, then deleted depth first.
        QTest::newRow("deep and wide")
            << py << QStringList{u"t/x/y/f1"_s, u"t/x/g"_s, u"t/B/"_s, u"t/a.txt"_s, u"t/C.txt"_s} << u"/t"_s
            << QStringList{u"LIST /t/"_s,  u"LIST /t/B/"_s,     u"LIST /t/x/"_s,    u"LIST /t/x/y/"_s,
                           u"RMD /t/B/"_s, u"DELE /t/x/y/f1"_s, u"RMD /t/x/y/"_s,   u"DELE /t/x/g"_s,
                           u"RMD /t/x/"_s, u"DELE /t/a.txt"_s,  u"DELE /t/C.txt"_s, u"RMD /t"_s};
        for (const ServerKind kind : {py, ServerKind::vsftpd}) {
            const char* k = kind == py ? "pyftpdlib" : "vsftpd";
            QTest::addRow("%s: folder and file", k) << kind << aTree << u"/a"_s << aOrder;
            // A link goes by its own name and is never followed, even to the folder above.
            QTest::addRow("%s: links", k)
                << kind << QStringList{u"l/to-file -> ../keep.txt"_s, u"l/to-up -> .."_s} << u"/l"_s
                << QStringList{u"LIST /l/"_s, u"DELE /l/to-file"_s, u"DELE /l/to-up"_s, u"RMD /l"_s};
        }
        // Paths as the root listing gives them have no leading "/"; the removal adds it, the listing needs
        // none.
        QTest::newRow("relative path") << py << aTree << u"a"_s << aOrder;
        QTest::newRow("trailing slash kept")
            << py << aTree << u"/a/"_s << aOrder.mid(0, 5) + QStringList{u"RMD /a/"_s};
    }
    void deletesDepthFirst() {
        QFETCH(ServerKind, kind);
        QFETCH(QStringList, tree);
        QFETCH(QString, target);
        QFETCH(QStringList, expected);
        KALVOR_START_SERVER(server, kind);
        server.seed(tree << u"keep.txt"_s);
        KALVOR_NO_ERROR(FTPClient(server.connection()).deleteDirectory(target));
        QCOMPARE(server.treeCommands(), expected);
        verifyKeptAndGone(server, {u"keep.txt"_s}, {target});
    }

    // The first refusal ends the deletion: what came before is gone, what comes after is untouched, and the
    // error names the item.
    void stopsAtFirstRefusal() {
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        server.seed({u"p/a_sub/x"_s, u"p/b__denied__/x"_s, u"p/c_sub/y"_s, u"p/d.txt"_s});
        const auto failure = failureOf([&] { FTPClient(server.connection()).deleteDirectory(u"/p"_s); });
        QVERIFY(failure && failure->kind() == FTPClientError::Kind::itemFailed);
        QCOMPARE(failure->item(), u"/p/b__denied__/x"_s);
        QCOMPARE(
            server.treeCommands(),
            (QStringList{u"LIST /p/"_s, u"LIST /p/a_sub/"_s, u"LIST /p/b__denied__/"_s, u"LIST /p/c_sub/"_s,
                         u"DELE /p/a_sub/x"_s, u"RMD /p/a_sub/"_s, u"DELE /p/b__denied__/x"_s}));
        verifyKeptAndGone(server, {u"p/b__denied__/x"_s, u"p/c_sub/y"_s, u"p/d.txt"_s}, {u"p/a_sub"_s});
    }

    // Listings come from the server and may be hostile or garbled; the walk acts only on names inside the
    // folder, and a folder it could not read entirely is left alone.
    void trustsNoListing_data() {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("gone");
        // Every line but the last names something outside /h (or /h itself) in one of the three formats.
        QTest::newRow("names that climb out")
            << QByteArray("total 7\r\n"
                          "drwxr-xr-x 2 u g 4096 Jan 01 00:00 .\r\n"
                          "drwxr-xr-x 2 u g 4096 Jan 01 00:00 ..\r\n"
                          "drwxr-xr-x 2 u g 4096 Jan 01 00:00 ../up\r\n"
                          "-rw-r--r-- 1 u g 1 Jan 01 00:00 ../x\r\n"
                          "-rw-r--r-- 1 u g 1 Jan 01 00:00 a/../../y\r\n"
                          "-rw-r--r-- 1 u g 1 Jan 01 00:00 /etc\r\n"
                          "-rw-r--r-- 1 u g 1 Jan 01 00:00 ./../x\r\n"
                          "01-23-24  10:31AM  2048 ../x\r\n"
                          "01-23-24  10:30AM  <DIR>  ..\r\n"
                          "01-23-24  10:30AM  <DIR>  ../up\r\n"
                          "../up/\r\n"
                          "/\r\n"
                          "..\r\n"
                          "-rw-r--r-- 1 u g 1 Jan 01 00:00 inside.txt\r\n")
            << QStringList{u"h/inside.txt"_s, u"h/keep.txt"_s, u"h/a/"_s, u"x"_s, u"y"_s, u"etc"_s, u"up/z"_s}
            << QStringList{u"LIST /h/"_s, u"DELE /h/inside.txt"_s, u"RMD /h"_s}
            << QStringList{u"h/keep.txt"_s, u"x"_s, u"y"_s, u"etc"_s, u"up/z"_s}
            << QStringList{u"h/inside.txt"_s};
        QTest::newRow("listing not text")
            << QByteArray("\x1f\x8b\x08\0\0\0\0\0\r\n", 10) << QStringList{u"h/ok.txt"_s}
            << QStringList{u"LIST /h/"_s} << QStringList{u"h/ok.txt"_s} << QStringList();
    }
    void trustsNoListing() {
        QFETCH(QByteArray, listing);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, gone);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib, {.rawListings = {{u"/h"_s, listing}}});
        server.seed(tree);
        const auto failure = failureOf([&] { FTPClient(server.connection()).deleteDirectory(u"/h"_s); });
        QVERIFY2(failure && !failure->description().isEmpty(), "the deletion should have failed");
        QCOMPARE(server.treeCommands(), expected);
        verifyKeptAndGone(server, kept, gone);
    }
};

QTEST_GUILESS_MAIN(ServerDeletionTest)
#include "tst_serverdeletion.moc"
