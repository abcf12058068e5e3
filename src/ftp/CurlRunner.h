#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

inline const QString& defaultCurlPath() {
    static const QString path = QStringLiteral("/usr/bin/curl");
    return path;
}

struct CurlResult {
    QByteArray output;    // the whole of standard output; standard error is drained and dropped
    int exitStatus = 0;   // curl's own exit status; meaningless when crashed
    bool crashed = false; // ended by a signal: never a success, whatever exitStatus says
    int signal = 0;       // the signal, when crashed

    bool succeeded() const { return !crashed && exitStatus == 0; }
};

// Runs the tool once, synchronously: no shell, the arguments exactly as given, nothing on standard input.
// Throws FTPClientError::curlNotFound() when no file exists at `program` (nothing is started) and
// ProcessLaunchError with the launcher's own text when it cannot be started.
[[nodiscard]] CurlResult runCurl(const QString& program, const QStringList& arguments);
