#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One entry of a remote folder listing. Made only by the listing parser; every listing gives fresh ids.
struct RemoteFile {
    QUuid id;
    QString name;
    QString path;
    bool isDirectory = false;
    std::optional<qint64> size;        // never set for folders
    std::optional<QDateTime> modified; // local time; absent when the line has no readable date
};
