#pragma once

#include "OperationControl.h"

#include <QByteArray>
#include <QString>

#include <functional>

inline const QString& defaultCurlPath() {
    static const QString path = QStringLiteral("/usr/bin/curl");
    return path;
}

// What one run may use before the runner ends it.
struct CurlLimits {
    int stallSeconds = 60;                // no output, no trace and no reported progress for this long
    qint64 outputCap = 256ll << 20;       // standard output (listings); past it the run ends
    qint64 errorCap = 16ll << 20;         // standard error (the trace); only the most recent part is kept
    int terminateGraceMilliseconds = 500; // after SIGTERM, before SIGKILL
};

// What an operation makes of a tick of its run.
enum class CurlTick {
    quiet,      // nothing new
    progressed, // bytes moved: counts as activity for the stall rule
    done,       // the operation has all it needs: end the run now (not an error)
};

struct CurlRun {
    QString program = defaultCurlPath();
    QByteArray config; // written to curl's standard input, then closed
    CurlLimits limits;
    OperationControlPtr control; // may be null: nothing can cancel the run
    // Called on the worker thread about ten times a second while curl runs, with its process id and what it
    // has written to standard output so far.
    std::function<CurlTick(qint64 pid, const QByteArray& outputSoFar)> onTick;
};

struct CurlResult {
    enum class End {
        exited,         // curl ended by itself; exitStatus is its own
        crashed,        // ended by a signal nobody sent on purpose: never a success
        cancelled,      // the operation's control asked for it
        stalled,        // nothing happened for limits.stallSeconds
        outputTooLarge, // standard output passed limits.outputCap
        ended,          // the operation's tick asked for the end (CurlTick::done)
    };

    End end = End::exited;
    int exitStatus = 0;
    int signal = 0;         // when crashed
    QByteArray output;      // standard output (whole, unless outputTooLarge)
    QByteArray errorOutput; // the tail of standard error: curl's trace when the run asked for one

    bool succeeded() const { return end == End::exited && exitStatus == 0; }
};

// Runs `/usr/bin/curl -q --config -` (or the run's program) once, synchronously, and feeds it the config.
// `-q` comes first so that no ~/.curlrc is read. Throws FTPClientError::curlNotFound() when no file exists at
// the program's path (nothing is started) and ProcessLaunchError with the launcher's own text when it cannot
// be started.
[[nodiscard]] CurlResult runCurl(const CurlRun& run);
