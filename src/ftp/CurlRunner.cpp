#include "CurlRunner.h"

#include "FTPClientError.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcRunner, "kalvor.ftp.runner", QtWarningMsg)

namespace {

constexpr int tickMilliseconds = 100;

void endProcess(QProcess& process, int graceMilliseconds) {
    process.terminate();
    if (!process.waitForFinished(graceMilliseconds)) {
        process.kill();
        process.waitForFinished(-1);
    }
}

// Keeps the newest part of a growing text: a failed command's reply is at its end.
void keepTail(QByteArray& text, qint64 cap) {
    if (text.size() > cap)
        text.remove(0, text.size() - cap / 2);
}

} // namespace

CurlResult runCurl(const CurlRun& run) {
    if (!QFileInfo::exists(run.program))
        throw FTPClientError::curlNotFound();

    QProcess process;
    process.setProgram(run.program);
    process.setArguments({QStringLiteral("-q"), QStringLiteral("--config"), QStringLiteral("-")});
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        qCDebug(lcRunner) << "could not start" << run.program << process.errorString();
        throw ProcessLaunchError(process.errorString());
    }
    process.write(run.config);
    process.closeWriteChannel(); // sent once everything written has gone out

    CurlResult result;
    QElapsedTimer sinceActivity;
    sinceActivity.start();
    const auto drain = [&] {
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        if (!out.isEmpty() || !err.isEmpty())
            sinceActivity.restart();
        result.output += out;
        result.errorOutput += err;
        keepTail(result.errorOutput, run.limits.errorCap);
    };

    // Both pipes are emptied every tick, so neither can fill up and stall curl.
    while (!process.waitForFinished(tickMilliseconds) && process.state() != QProcess::NotRunning) {
        drain();
        if (run.control && run.control->isCancelled())
            result.end = CurlResult::End::cancelled;
        else if (result.output.size() > run.limits.outputCap)
            result.end = CurlResult::End::outputTooLarge;
        else if (const CurlTick tick =
                     run.onTick ? run.onTick(process.processId(), result.output) : CurlTick::quiet;
                 tick == CurlTick::done)
            result.end = CurlResult::End::ended;
        else if (tick == CurlTick::progressed)
            sinceActivity.restart();
        if (result.end == CurlResult::End::exited &&
            sinceActivity.hasExpired(qint64(run.limits.stallSeconds) * 1000))
            result.end = CurlResult::End::stalled;
        if (result.end != CurlResult::End::exited) {
            endProcess(process, run.limits.terminateGraceMilliseconds);
            drain();
            result.exitStatus = -1;
            return result;
        }
    }
    drain();
    if (result.output.size() > run.limits.outputCap) {
        result.end = CurlResult::End::outputTooLarge;
        result.exitStatus = -1;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        // A signal's number arrives as the exit code: it must not pass for curl's own status 0.
        result.end = CurlResult::End::crashed;
        result.signal = process.exitCode();
        result.exitStatus = -1;
    } else {
        result.exitStatus = process.exitCode();
    }
    return result;
}
