#pragma once

#include "OperationControl.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>

// Where each local file of a running curl stands, read from the kernel: the file position of every open file
// of the process (Linux's /proc/PID/fdinfo). For an upload that is how far curl has read the source, for a
// download how much it has written. It moves with the bytes whatever curl prints, in parallel runs too.
// `paths` are absolute, canonical local paths; the result maps each one curl has open to its position.
QHash<QString, qint64> openFilePositions(qint64 pid, const QStringList& paths);

// Turns per-item byte counts into TransferProgress reports for a whole batch: completed items, the bytes
// of the ones in flight, speed over the last few seconds and time left. Reports at most ten times a second.
class TransferProgressTracker {
public:
    TransferProgressTracker(QStringList names, QList<qint64> sizes, TransferProgressSink sink);

    void setInFlight(int index, qint64 bytes);
    void complete(int index);
    // Reports when a tenth of a second has passed since the last report (or always, when forced). Returns
    // whether any byte moved since the previous call.
    bool publish(bool force = false);
    // Reports at once that this item is being sent directly (see TransferProgress::directUpload).
    void publishDirectUpload(int index);

private:
    QStringList m_names;
    QList<qint64> m_sizes;
    TransferProgressSink m_sink;
    QList<bool> m_done;
    QHash<int, qint64> m_inFlight;
    qint64 m_total = 0;
    qint64 m_lastDone = -1;
    QElapsedTimer m_clock;
    qint64 m_lastReport = -1;
    int m_directIndex = -1;
    std::deque<std::pair<qint64, qint64>> m_samples; // (ms, done bytes)
};
