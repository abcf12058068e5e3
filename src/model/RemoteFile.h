#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One entry of a remote folder listing. Made only by the listing parser; every listing gives fresh ids.
// `name` and `path` are in the server form of ServerText.h: exactly the server's bytes, whatever their
// encoding, so an operation on the entry always names the file that was listed.
struct RemoteFile {
    QUuid id;
    QString name;
    QString path;
    bool isDirectory = false;
    std::optional<qint64> size;        // never set for folders
    std::optional<QDateTime> modified; // local time; absent when the line has no readable date
    // A symbolic link: `name` is the link itself, `linkTarget` what the server says it points to (shown,
    // never followed by a recursive delete). Whether it leads to a folder is only known by opening it.
    bool isLink = false;
    QString linkTarget;
    // The listing does not tell this entry's exact name (say, two lines that read as the same name, or a
    // link line with more than one " -> "): no operation may act on it, since it could hit another file.
    bool isAmbiguous = false;
};
