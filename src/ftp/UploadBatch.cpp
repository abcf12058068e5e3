#include "UploadBatch.h"

#include "FTPClient.h"
#include "RemoteTasks.h"
#include "model/TextEquality.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

qint64 localFileSize(const QUrl& file) {
    const QFileInfo info(file.toLocalFile());
    return info.exists() ? info.size() : 0;
}

QString formatByteCount(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeSIFormat);
}

QString uploadProgressLine(const QString& fileName, qint64 size, qint64 uploaded, qint64 total) {
    return fileName + QStringLiteral(" \u2014 ") + formatByteCount(size) + QStringLiteral(" \u00b7 ") +
           formatByteCount(uploaded) + u'/' + formatByteCount(total);
}

QString overwriteQuestionMessage(qint64 conflictCount) {
    return QString::number(conflictCount) +
           QStringLiteral(" file(s) already exist on the server. Overwrite them?");
}

qint64 countUploadConflicts(const QList<QUrl>& files, const QList<RemoteFile>& entries) {
    QSet<QString> existing;
    for (const RemoteFile& entry : entries) {
        if (!entry.isDirectory)
            existing.insert(canonicalText(entry.name));
    }
    return std::count_if(files.cbegin(), files.cend(),
                         [&](const QUrl& file) { return existing.contains(canonicalText(file.fileName())); });
}

UploadBatchPlan planUploadBatch(const QList<QUrl>& files) {
    UploadBatchPlan plan;
    plan.files = files;
    for (const QUrl& file : files) {
        plan.sizes << localFileSize(file);
        plan.total += plan.sizes.last();
    }
    return plan;
}

void startUploadBatch(QObject* context, const UploadBatchPlan& plan, const Connection& connection,
                      const QString& targetFolder, const QString& curlPath, UploadBatchCallbacks callbacks) {
    QPointer<QObject> guard(context);
    const auto onGui = [guard](std::function<void()> function) {
        postToGui([guard, function = std::move(function)] {
            if (guard)
                function();
        });
    };
    remoteTaskPool().start([=] {
        const FTPClient client(connection, curlPath);
        qint64 uploaded = 0;
        for (qsizetype i = 0; i < plan.files.size(); ++i) {
            const QUrl file = plan.files[i];
            const QString line = uploadProgressLine(file.fileName(), plan.sizes[i], uploaded, plan.total);
            onGui([callbacks, uploaded, line] { callbacks.progress(double(uploaded), line); });
            try {
                client.uploadFile(file, targetFolder);
            } catch (...) {
                const QString text = describeFailure(std::current_exception());
                onGui([callbacks, text] { callbacks.failed(text); });
                return;
            }
            uploaded += plan.sizes[i];
            onGui([callbacks, uploaded] { callbacks.progress(double(uploaded), QString()); });
        }
        onGui([callbacks] { callbacks.finished(); });
    });
}
