#include "CurlRunner.h"

#include "FTPClientError.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcRunner, "kalvor.ftp.runner", QtWarningMsg)

CurlResult runCurl(const QString& program, const QStringList& arguments) {
    if (!QFileInfo::exists(program))
        throw FTPClientError::curlNotFound();

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    // Standard error is never used; sending it to the null device drains it for free, however much the
    // tool writes, so neither pipe can stall the tool.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        qCDebug(lcRunner) << "could not start" << program << process.errorString();
        throw ProcessLaunchError(process.errorString());
    }
    // waitForFinished keeps reading standard output while the tool runs, so long listings never fill the
    // pipe.
    process.waitForFinished(-1);

    CurlResult result;
    result.output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::CrashExit) {
        // A signal's number arrives as the exit code: it must not pass for curl's own status 0.
        result.crashed = true;
        result.signal = process.exitCode();
        result.exitStatus = -1;
    } else {
        result.exitStatus = process.exitCode();
    }
    return result;
}
