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

// The year a date given without one most likely has, `today` being the present: the last year in which
// that day is not more than a day ahead (servers list the time instead of the year for the past six months
// or so; the day of slack allows for a server in a time zone ahead of ours). 29 February goes to the last
// leap year.
inline int likelyYear(int month, int day, const QDate& today) {
    const QDate latest = today.addDays(1);
    for (int year = today.year(); year > today.year() - 8; --year) {
        if (QDate::isValid(year, month, day) && QDate(year, month, day) <= latest)
            return year;
    }
    return 2000;
}

// When the entry was most likely changed, in the year likelyYear() gives where the listing gave none.
inline std::optional<QDateTime> likelyModified(const RemoteFile& file, const QDate& today) {
    if (!file.modified || !file.modifiedWithoutYear)
        return file.modified;
    const QDate day = file.modified->date();
    return QDateTime(QDate(likelyYear(day.month(), day.day(), today), day.month(), day.day()),
                     file.modified->time(), file.modified->timeSpec());
}