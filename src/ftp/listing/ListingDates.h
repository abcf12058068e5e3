#pragma once

#include <QByteArrayView>
#include <QDateTime>

#include <array>
#include <bitset>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Dates of unix listing lines. They are read as a strict en_US_POSIX formatter reads "MMM dd HH:mm" and then
// "MMM dd yyyy" (we checked what it accepts): the month is an English three-letter abbreviation in any
// letter case; the day takes exactly two digits, so ls's space-padded "Mar  5" carries no readable date;
// the hour one or two digits, the minutes two; nothing may follow. Values out of range (24:00, Apr 31,
// Feb 29 of a common year) give no date rather than rolling over. The year is four digits. A time without
// a year falls in 2000, a leap year, so Feb 29 reads.
//
// Each date is first read into a key: the minute of 2000 for "MMM dd HH:mm", or, past those, the day of a
// "MMM dd yyyy" midnight. Converting a key to local time is slow (the C library looks at the zone file
// every time), so a listing converts each distinct key once, in a Table.
namespace listing::dates {

constexpr qint64 kMinutesOf2000 = 366 * 24 * 60;
constexpr qint64 kNone = -1;

// The three date fields of a unix line -> a key, or kNone.
qint64 keyOf(QByteArrayView month, QByteArrayView day, QByteArrayView timeOrYear);

// The local time of a key; null when the time cannot be had at all.
QDateTime localTime(qint64 key);

// The date the three fields give, read alone (no cache).
std::optional<QDateTime> read(QByteArrayView month, QByteArrayView day, QByteArrayView timeOrYear);

constexpr int kMinutesPerDay = 24 * 60;
using DayOfMinutes = std::bitset<kMinutesPerDay>;

// The keys one worker met: a bit per minute of 2000, kept by day, and the days, mostly without repeats.
class KeysSeen {
public:
    void add(qint64 key);

private:
    friend class Table;
    std::array<std::unique_ptr<DayOfMinutes>, 366> m_minutes;
    std::array<qint64, 1024> m_recentDays{};
    std::vector<qint64> m_days;
};

// The dates of one listing, each distinct key converted once. Workers hand in the keys they met;
// convert() runs once they are all done, and at() after that.
class Table {
public:
    void add(KeysSeen&& seen);
    void convert();
    const std::optional<QDateTime>& at(qint64 key) const;

private:
    std::mutex m_mutex;
    std::vector<KeysSeen> m_seen;
    std::array<std::unique_ptr<std::array<std::optional<QDateTime>, kMinutesPerDay>>, 366> m_minuteTimes;
    std::vector<qint64> m_days; // sorted
    std::vector<std::optional<QDateTime>> m_dayTimes;
};

} // namespace listing::dates
