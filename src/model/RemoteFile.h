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
    // The line gave a day and a time but no year, as servers list recent files: `modified` then holds the
    // year 2000 as a stand-in, and what is shown or compared must supply the likely year (likelyModified).
    bool modifiedWithoutYear = false;
    // A symbolic link: `name` is the link itself, `linkTarget` what the server says it points to (shown,
    // never followed by a recursive delete). Whether it leads to a folder is only known by opening it.
    bool isLink = false;
    QString linkTarget;
    // The listing does not tell this entry's exact name (say, two lines that read as the same name, or a
    // link line with more than one " -> "): no operation may act on it, since it could hit another file.
    bool isAmbiguous = false;
};

// When the entry was most likely changed, `now` being the present: a date without a year is taken as the
// last such day that is not more than a day ahead (servers list the time instead of the year for the past
// six months or so; the day of slack allows for a server in a time zone ahead of ours).
inline std::optional<QDateTime> likelyModified(const RemoteFile& file, const QDateTime& now) {
    if (!file.modified || !file.modifiedWithoutYear)
        return file.modified;
    const QDate day = file.modified->date();
    const QTime time = file.modified->time();
    for (int year = now.date().year(); year > now.date().year() - 8; --year) {
        // 29 February exists only in leap years; the loop reaches one within eight years.
        if (!QDate::isValid(year, day.month(), day.day()))
            continue;
        const QDateTime candidate(QDate(year, day.month(), day.day()), time, file.modified->timeSpec());
        if (candidate <= now.addDays(1))
            return candidate;
    }
    return file.modified;
}
