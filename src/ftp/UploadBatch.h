#pragma once

#include "model/Connection.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// What the window's upload and the upload-to-favorite sheet share: the conflict rule, the progress line
// and the strictly sequential transfer of a batch of local files into one remote folder.

// The file system's size of a local file; 0 when it cannot be read (the upload is still attempted).
qint64 localFileSize(const QUrl& file);

// Decimal units ("1.5 kB"), one formatter for every figure Kalvor shows.
QString formatByteCount(qint64 bytes);

// "name — size · uploaded/total"
QString uploadProgressLine(const QString& fileName, qint64 size, qint64 uploaded, qint64 total);

// The question asked once before files that already exist are replaced.
QString overwriteQuestionMessage(qint64 conflictCount);

// How many local files would replace a file of the same name in the listed folder. Only file entries
// count, letter case matters, canonically equivalent names are the same name.
qint64 countUploadConflicts(const QList<QUrl>& files, const QList<RemoteFile>& entries);

struct UploadBatchCallbacks {
    // On the GUI thread: the bar's value, and the progress line when a file starts (empty when one ends).
    std::function<void(double value, const QString& line)> progress;
    std::function<void()> finished;
    std::function<void(const QString& error)> failed;
};

struct UploadBatchPlan {
    QList<QUrl> files;
    QList<qint64> sizes;
    qint64 total = 0;

    // The bar's total: never below 1, so an all-empty batch still draws a sane bar.
    double barTotal() const { return total < 1 ? 1.0 : double(total); }
};

// Reads the sizes now (call on the GUI thread, before the transfer starts).
UploadBatchPlan planUploadBatch(const QList<QUrl>& files);

// Uploads one file after another on the remote pool; the first failure stops the batch. Callbacks run on
// the GUI thread and only while `context` lives.
void startUploadBatch(QObject* context, const UploadBatchPlan& plan, const Connection& connection,
                      const QString& targetFolder, const QString& curlPath, UploadBatchCallbacks callbacks);
