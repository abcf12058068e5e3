// kalvorctl as users and scripts run it: the real binary against a real server, judged by exit status,
// output and what ends up on the server.

#include "ServerTestHelpers.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"

#include <QtTest>

class KalvorctlTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commands_data() {
        // "{local}" stands for a local folder holding a.txt and new.txt.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("output");    // standard output, when given
        QTest::addColumn<QStringList>("after"); // "path=content", "folder/" or "!path" (gone) on the server
        const QString any;
        QTest::newRow("ls marks folders")
            << QStringList{u"ls"_s, u"/"_s} << 0 << u"sub/\na.txt\n"_s << QStringList{};
        QTest::newRow("mkdir") << QStringList{u"mkdir"_s, u"/sub/new"_s} << 0 << any
                               << QStringList{u"sub/new/"_s};
        QTest::newRow("put refuses an existing file")
            << QStringList{u"put"_s, u"{local}/new.txt"_s, u"{local}/a.txt"_s, u"/"_s} << 1 << any
            << QStringList{u"a.txt=a.txt"_s, u"!new.txt"_s};
        QTest::newRow("put --skip-existing")
            << QStringList{u"put"_s, u"--skip-existing"_s, u"{local}/a.txt"_s, u"{local}/new.txt"_s, u"/"_s}
            << 0 << any << QStringList{u"a.txt=a.txt"_s, u"new.txt=local new"_s};
        QTest::newRow("put --overwrite")
            << QStringList{u"put"_s, u"--overwrite"_s, u"{local}/a.txt"_s, u"/sub"_s} << 0 << any
            << QStringList{u"sub/a.txt=local a"_s};
        QTest::newRow("rm -r") << QStringList{u"rm"_s, u"-r"_s, u"/sub"_s} << 0 << any
                               << QStringList{u"!sub"_s};
        QTest::newRow("rm of a folder without -r fails")
            << QStringList{u"rm"_s, u"/sub"_s} << 1 << any << QStringList{u"sub/a.txt=sub/a.txt"_s};
        QTest::newRow("get") << QStringList{u"get"_s, u"/sub/a.txt"_s, u"{local}/got.txt"_s} << 0 << any
                             << QStringList{};
        QTest::newRow("unknown command") << QStringList{u"frobnicate"_s, u"/"_s} << 2 << any << QStringList{};
        QTest::newRow("put without a folder")
            << QStringList{u"put"_s, u"{local}/a.txt"_s} << 2 << any << QStringList{};
    }
    void commands() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, output);
        QFETCH(QStringList, after);
        KALVOR_START_SERVER(server, ServerKind::pyftpdlib);
        server.seed({u"a.txt"_s, u"sub/a.txt"_s});
        QTemporaryDir local;
        localFile(local, u"a.txt"_s, "local a");
        localFile(local, u"new.txt"_s, "local new");
        // Some rows reach the server by a saved connection's name (its password in the store), the rest by
        // URL.
        const Connection connection = server.connection();
        QStringList command{u"--url"_s,
                            u"ftp://%1@127.0.0.1:%2"_s.arg(connection.username).arg(server.port())};
        QString password = connection.password;
        if (arguments.first() == u"ls" || arguments.contains(u"-r"_s)) {
            FileDefaultsStore store(local.filePath(u"kalvor"_s));
            FavoritesManager(store).addConnection(connection);
            command = QStringList{u"-c"_s, connection.name};
            password.clear();
        }
        for (const QString& argument : arguments)
            command << QString(argument).replace(u"{local}"_s, local.path());
        const CtlRun run = kalvorctl(command, local.path(), password);
        QCOMPARE(run.exitCode, exitStatus);
        QVERIFY2(exitStatus == 0 || !run.errors.isEmpty(), "a failure says why");
        if (!output.isNull())
            QCOMPARE(run.output, output);
        for (const QString& check : after) {
            if (check.startsWith(u'!'))
                QVERIFY2(!server.exists(check.mid(1)), qPrintable(check));
            else if (check.endsWith(u'/'))
                QVERIFY2(server.isFolder(check), qPrintable(check));
            else
                QCOMPARE(server.readFile(check.section(u'=', 0, 0)), check.section(u'=', 1).toUtf8());
        }
        QVERIFY(arguments.first() != u"get" || QFile(local.filePath(u"got.txt"_s)).size() == 9);
    }
};

QTEST_GUILESS_MAIN(KalvorctlTest)
#include "tst_kalvorctl.moc"
