#include "TransferText.h"

#include "ByteCount.h"
#include "model/ServerText.h"

#include <QDir>
#include <QLocale>

#include <cmath>

namespace transfertext {

QString progressLine(const TransferProgress& progress) {
    QString line = progress.itemName + QStringLiteral(" \u2014 ") + formatByteCount(progress.itemSize) +
                   QStringLiteral(" \u00b7 ") + formatByteCount(progress.doneBytes) + u'/' +
                   formatByteCount(progress.totalBytes);
    if (progress.bytesPerSecond > 0)
        line += QStringLiteral(" \u00b7 ") + speedText(progress.bytesPerSecond, progress.secondsLeft);
    // The server would not let the finished upload replace the file by renaming, so this one goes
    // straight to its name: if it fails now, the old file may be cut short.
    if (progress.directUpload)
        line += QStringLiteral(" (sent directly: the server does not allow renaming)");
    return line;
}

QString speedText(double bytesPerSecond, std::optional<qint64> secondsLeft) {
    const QString speed =
        QLocale().formattedDataSize(qint64(bytesPerSecond + 0.5), 1, QLocale::DataSizeSIFormat) +
        QStringLiteral("/s");
    return secondsLeft ? speed + QStringLiteral(", ") + timeLeftText(*secondsLeft) : speed;
}

QString timeLeftText(qint64 seconds) {
    if (seconds < 10)
        return QStringLiteral("a few seconds left");
    if (seconds < 55)
        return QStringLiteral("about %1 seconds left").arg((seconds + 2) / 5 * 5);
    if (seconds < 90)
        return QStringLiteral("about a minute left");
    if (seconds < 55 * 60)
        return QStringLiteral("about %1 minutes left").arg(std::lround(double(seconds) / 60.0));
    if (seconds < 90 * 60)
        return QStringLiteral("about an hour left");
    return QStringLiteral("about %1 hours left").arg(std::lround(double(seconds) / 3600.0));
}

QString namesText(const QStringList& names) {
    switch (names.size()) {
    case 0:
        return {};
    case 1:
        return names.first();
    case 2:
    case 3:
        return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
               names.last();
    default:
        return names.mid(0, 2).join(QStringLiteral(", ")) +
               QStringLiteral(" and %1 more").arg(names.size() - 2);
    }
}

QString finishedText(Direction direction, int files, const QString& destination, int skippedLinks) {
    const bool up = direction == Direction::upload;
    QString text;
    if (files == 0)
        text = (up ? QStringLiteral("Nothing new to upload to %1")
                   : QStringLiteral("Nothing new to download to %1"))
                   .arg(destination);
    else
        text = QStringLiteral("%1 %2 %3 to %4")
                   .arg(files)
                   .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"),
                        up ? QStringLiteral("uploaded") : QStringLiteral("downloaded"), destination);
    if (skippedLinks == 1)
        text += QStringLiteral(" (1 link skipped)");
    else if (skippedLinks > 1)
        text += QStringLiteral(" (%1 links skipped)").arg(skippedLinks);
    return text;
}

QString cancelledText(Direction direction) {
    return direction == Direction::upload ? QStringLiteral("Upload cancelled")
                                          : QStringLiteral("Download cancelled");
}

QString localFolderLabel(const QString& path) {
    const QString cleaned = QDir::cleanPath(path);
    const QString home = QDir::cleanPath(QDir::homePath());
    if (cleaned == home)
        return QStringLiteral("~");
    if (home != u"/" && cleaned.startsWith(home + u'/'))
        return u'~' + cleaned.mid(home.size());
    return QDir::toNativeSeparators(cleaned);
}

QString remoteFolderLabel(const QString& path, const Connection& connection) {
    const QString last = path.section(u'/', -1, -1, QString::SectionSkipEmpty);
    return last.isEmpty() ? connection.displayName() : servertext::forDisplay(last, connection.textEncoding);
}

} // namespace transfertext
