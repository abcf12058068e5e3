#include "ftp/CurlRunner.h"
#include "ftp/FTPClientError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The runner against real processes: small shell scripts stand in for curl, so exit codes, signals, floods
// and stalls are real.
class CurlRunnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_scripts = 0;

    QString script(const QByteArray& body, QFile::Permissions extra = QFile::ExeOwner) {
        QFile file(m_dir.filePath(QStringLiteral("curl-%1").arg(++m_scripts)));
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + '\n') < 0)
            qFatal("cannot write a script");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
        return file.fileName();
    }

private Q_SLOTS:
    void programThatCannotRun_isRefusedBeforeAnythingStarts() {
        CurlRun run;
        run.program = m_dir.filePath(QStringLiteral("no-such-curl"));
        QVERIFY_THROWS_EXCEPTION(FTPClientError, (void)runCurl(run));
        run.program = script("exit 0", {}); // exists, but cannot be run
        QVERIFY_THROWS_EXCEPTION(ProcessLaunchError, (void)runCurl(run));
    }

    void runs_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("stallSeconds");
        QTest::addColumn<qint64>("outputCap");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("reportProgress");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QByteArray>("output"); // compared when not empty
        using End = CurlResult::End;
        const qint64 big = 256ll << 20;
        QTest::newRow("options only on standard input")
            << QByteArray("printf '%s|' \"$@\"; cat") << 60 << big << false << false << int(End::exited) << 0
            << QByteArray("-q|--config|-|user = \"u:p\"\n");
        QTest::newRow("exit status and binary output")
            << QByteArray("printf 'a\\0b'; echo noise >&2; exit 7") << 60 << big << false << false
            << int(End::exited) << 7 << QByteArray("a\0b", 3);
        QTest::newRow("killed by a signal is never success")
            << QByteArray("kill -9 $$") << 60 << big << false << false << int(End::crashed) << -1
            << QByteArray();
        // 40 MB on each pipe, interleaved: a runner that drains only one pipe would hang here.
        QTest::newRow("flood on both pipes")
            << QByteArray(
                   "for i in 1 2 3 4; do head -c 10000000 /dev/zero; head -c 10000000 /dev/zero >&2; done")
            << 60 << big << false << false << int(End::exited) << 0 << QByteArray();
        QTest::newRow("silence ends the run") << QByteArray("exec sleep 30") << 1 << big << false << false
                                              << int(End::stalled) << -1 << QByteArray();
        QTest::newRow("progress keeps a quiet run alive")
            << QByteArray("sleep 2; echo done") << 1 << big << false << true << int(End::exited) << 0
            << QByteArray("done\n");
        QTest::newRow("output past the cap")
            << QByteArray("exec cat /dev/zero") << 60 << qint64(1 << 20) << false << false
            << int(End::outputTooLarge) << -1 << QByteArray();
        QTest::newRow("cancel") << QByteArray("exec sleep 30") << 60 << big << true << false
                                << int(End::cancelled) << -1 << QByteArray();
        QTest::newRow("cancel of a run that ignores SIGTERM")
            << QByteArray("trap '' TERM; sleep 30") << 60 << big << true << false << int(End::cancelled) << -1
            << QByteArray();
    }

    void runs() {
        QFETCH(QByteArray, body);
        QFETCH(int, stallSeconds);
        QFETCH(qint64, outputCap);
        QFETCH(bool, cancel);
        QFETCH(bool, reportProgress);
        QFETCH(int, end);
        QFETCH(int, exitStatus);
        QFETCH(QByteArray, output);
        CurlRun run;
        run.program = script(body);
        run.config = "user = \"u:p\"\n";
        run.limits.stallSeconds = stallSeconds;
        run.limits.outputCap = outputCap;
        run.control = std::make_shared<OperationControl>();
        int ticks = 0;
        run.onTick = [&](qint64, const QByteArray&) {
            if (cancel && ++ticks == 3)
                run.control->cancel();
            return reportProgress ? CurlTick::progressed : CurlTick::quiet;
        };
        const CurlResult result = runCurl(run);
        QCOMPARE(int(result.end), end);
        QCOMPARE(result.exitStatus, exitStatus);
        QCOMPARE(result.succeeded(), end == int(CurlResult::End::exited) && exitStatus == 0);
        if (!output.isEmpty())
            QCOMPARE(result.output, output);
        if (end == int(CurlResult::End::exited) && exitStatus == 0 && output.isEmpty()) {
            QCOMPARE(result.output.size(), qsizetype(40000000));
            QVERIFY(result.errorOutput.size() <= run.limits.errorCap); // only the newest trace is kept
        }
    }
};

QTEST_GUILESS_MAIN(CurlRunnerTest)
#include "tst_curlrunner.moc"
