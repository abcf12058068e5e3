#include "ftp/CurlRunner.h"
#include "ftp/FTPClientError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The runner against real processes: the shell stands in for curl, so exit codes, signals and floods are
// real.
class CurlRunnerTest : public QObject {
    Q_OBJECT

    static const QString& shell() {
        static const QString path = QStringLiteral("/bin/sh");
        return path;
    }

    static QStringList script(const char* text) { return {QStringLiteral("-c"), QString::fromUtf8(text)}; }

private Q_SLOTS:
    void missingProgram_isCurlNotFound() {
        try {
            (void)runCurl(QStringLiteral("/nonexistent/curl"), {});
            QFAIL("no error");
        } catch (const FTPClientError& error) {
            QCOMPARE(error.kind(), FTPClientError::Kind::curlNotFound);
            QCOMPARE(error.description(), QStringLiteral("curl not found."));
        }
    }

    void programThatCannotStart_passesTheLaunchersError() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("curl")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a program");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)); // exists, but not executable
        try {
            (void)runCurl(file.fileName(), {});
            QFAIL("a file that cannot run was started");
        } catch (const ProcessLaunchError& error) {
            QVERIFY(!error.description().isEmpty());
        }
    }

    void exitStatusAndOutput_areReturned() {
        const CurlResult result = runCurl(shell(), script("printf 'a\\0b'; echo noise >&2; exit 7"));
        QCOMPARE(result.exitStatus, 7);
        QVERIFY(!result.crashed);
        QCOMPARE(result.output, QByteArray("a\0b", 3));
    }

    void standardErrorAlone_doesNotMakeAFailure() {
        const CurlResult result = runCurl(shell(), script("echo warning >&2"));
        QVERIFY(result.succeeded());
        QVERIFY(result.output.isEmpty());
    }

    void killedBySignal_isNeverSuccess() {
        const CurlResult result = runCurl(shell(), script("kill -9 $$"));
        QVERIFY(result.crashed);
        QCOMPARE(result.signal, 9);
        QVERIFY(!result.succeeded());
    }

    void floodOnBothPipes_isReadWholeWithoutStalling() {
        // 40 MB on each pipe, interleaved: a runner that drains only one pipe would hang here.
        const CurlResult result = runCurl(
            shell(),
            script("for i in 1 2 3 4; do head -c 10000000 /dev/zero; head -c 10000000 /dev/zero >&2; done"));
        QVERIFY(result.succeeded());
        QCOMPARE(result.output.size(), qsizetype(40000000));
    }

    void standardInput_isEmpty() {
        const CurlResult result = runCurl(shell(), script("cat; echo done"));
        QCOMPARE(result.output, QByteArray("done\n"));
    }
};

QTEST_GUILESS_MAIN(CurlRunnerTest)
#include "tst_curlrunner.moc"
