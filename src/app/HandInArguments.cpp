#include "HandInArguments.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

namespace {

// A relative path may well contain a colon ("notes:v2.txt"), so only "scheme://..." is taken for a URL of
// another kind; a file URL is recognised by its scheme alone ("file:/tmp/a" is common too).
bool isFileUrl(const QString& item) {
    return item.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive);
}

bool isOtherUrl(const QString& item) {
    static const QRegularExpression form(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return form.match(item).hasMatch();
}

std::optional<QString> pathOfFileUrl(const QString& item) {
    const QUrl url(item, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        return std::nullopt;
    // file://otherhost/... lives on another machine; "localhost" is this one.
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1StringView("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QString path = url.path(QUrl::FullyDecoded);
    if (!QDir::isAbsolutePath(path))
        return std::nullopt;
    return path;
}

// The local path an item names, whatever is there.
std::optional<QString> pathOf(const QString& item, const QString& workingFolder) {
    if (item.isEmpty())
        return std::nullopt;
    std::optional<QString> path;
    if (isFileUrl(item))
        path = pathOfFileUrl(item);
    else if (!isOtherUrl(item))
        path = QDir(workingFolder).absoluteFilePath(item);
    if (!path)
        return std::nullopt;
    return QDir::cleanPath(*path);
}

std::optional<QString> localPathOf(const QString& item, const QString& workingFolder) {
    const std::optional<QString> path = pathOf(item, workingFolder);
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;
    return path;
}

} // namespace

QList<QUrl> readHandInFiles(const QStringList& items, const QString& workingFolder) {
    QList<QUrl> files;
    for (const QString& item : items) {
        if (const auto path = localPathOf(item, workingFolder))
            files.append(QUrl::fromLocalFile(*path));
    }
    return files;
}

QString whyNotAFile(const QString& item, const QString& workingFolder) {
    const std::optional<QString> path = pathOf(item, workingFolder);
    if (!path)
        return QStringLiteral("not a file on this computer");
    const QFileInfo info(*path);
    if (info.isFile())
        return {};
    if (info.isDir())
        return QStringLiteral("a folder, not a file");
    if (!info.exists())
        return QStringLiteral("no such file");
    return QStringLiteral("not a regular file");
}
