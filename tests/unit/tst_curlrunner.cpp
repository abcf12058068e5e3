#include "ftp/CurlRunner.h"
#include "ftp/FTPClientError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using End = CurlResult::End;

namespace {

struct Case {
    QByteArray body; // the script standing in for curl
    int stallSeconds = 60;
    qint64 outputCap = 256ll << 20;
    bool cancel = false;
    bool reportProgress = false;
    End end = End::exited;
    int exitStatus = -1;
    QByteArray output = {}; // compared when not empty
};

} // namespace

// The runner against real processes: small shell scripts stand in for curl, so exit codes, signals, floods
// and stalls are real.
class CurlRunnerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_scripts = 0;

    QString script(const QByteArray& body, QFile::Permissions extra = QFile::ExeOwner) {
        QFile file(m_dir.filePath(u"curl-%1"_s.arg(++m_scripts)));
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + '\n') < 0)
            qFatal("cannot write a script");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
        return file.fileName();
    }

private Q_SLOTS:
    void programThatCannotRun_isRefusedBeforeAnythingStarts() {
        CurlRun run;
        run.program = m_dir.filePath(u"no-such-curl"_s);
        QVERIFY_THROWS_EXCEPTION(FTPClientError, (void)runCurl(run));
        run.program = script("exit 0", {}); // exists, but cannot be run
        QVERIFY_THROWS_EXCEPTION(ProcessLaunchError, (void)runCurl(run));
    }

    void runs_data() {
        QTest::addColumn<Case>("c");
        const auto row = [](const char* tag, const Case& c) { QTest::newRow(tag) << c; };
        row("options only on standard input", {.body = "printf '%s|' \"$@\"; cat",
                                               .exitStatus = 0,
                                               .output = "-q|--config|-|user = \"u:p\"\n"});
        row("exit status and binary output", {.body = "printf 'a\\0b'; echo noise >&2; exit 7",
                                              .exitStatus = 7,
                                              .output = QByteArray("a\0b", 3)});
        row("killed by a signal is never success", {.body = "kill -9 $$", .end = End::crashed});
        // 40 MB on each pipe, interleaved: a runner that drains only one pipe would hang here.
        row("flood on both pipes",
            {.body = "for i in 1 2 3 4; do head -c 10000000 /dev/zero; head -c 10000000 /dev/zero >&2; done",
             .exitStatus = 0});
        row("silence ends the run", {.body = "exec sleep 30", .stallSeconds = 1, .end = End::stalled});
        row("progress keeps a quiet run alive", {.body = "sleep 2; echo done",
                                                 .stallSeconds = 1,
                                                 .reportProgress = true,
                                                 .exitStatus = 0,
                                                 .output = "done\n"});
        row("output past the cap",
            {.body = "exec cat /dev/zero", .outputCap = 1 << 20, .end = End::outputTooLarge});
        row("cancel", {.body = "exec sleep 30", .cancel = true, .end = End::cancelled});
        row("cancel of a run that ignores SIGTERM",
            {.body = "trap '' TERM; sleep 30", .cancel = true, .end = End::cancelled});
    }
    void runs() {
        QFETCH(Case, c);
        CurlRun run;
        run.program = script(c.body);
        run.config = "user = \"u:p\"\n";
        run.limits.stallSeconds = c.stallSeconds;
        run.limits.outputCap = c.outputCap;
        run.control = std::make_shared<OperationControl>();
        int ticks = 0;
        run.onTick = [&](qint64, const QByteArray&) {
            if (c.cancel && ++ticks == 3)
                run.control->cancel();
            return c.reportProgress ? CurlTick::progressed : CurlTick::quiet;
        };
        const CurlResult result = runCurl(run);
        QCOMPARE(result.end, c.end);
        QCOMPARE(result.exitStatus, c.exitStatus);
        QCOMPARE(result.succeeded(), c.end == End::exited && c.exitStatus == 0);
        if (!c.output.isEmpty())
            QCOMPARE(result.output, c.output);
        if (result.succeeded() && c.output.isEmpty()) {
            QCOMPARE(result.output.size(), qsizetype(40000000));
            QVERIFY(result.errorOutput.size() <= run.limits.errorCap); // only the newest trace is kept
        }
    }
};

QTEST_GUILESS_MAIN(CurlRunnerTest)
#include "tst_curlrunner.moc"
