#include "ListingDates.h"

#include "ParallelWork.h"

#include <algorithm>

namespace listing::dates {

namespace {

int monthNumber(QByteArrayView text) {
    static constexpr char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (text.size() != 3)
        return 0;
    std::array<char, 3> lower{};
    for (int i = 0; i < 3; ++i) {
        const char c = text[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
    for (int month = 0; month < 12; ++month) {
        const char* candidate = kMonths + month * 3;
        if (lower[0] == candidate[0] && lower[1] == candidate[1] && lower[2] == candidate[2])
            return month + 1;
    }
    return 0;
}

int digits(QByteArrayView text, int minCount, int maxCount) {
    if (text.size() < minCount || text.size() > maxCount)
        return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

qint64 keyOf(QByteArrayView month, QByteArrayView day, QByteArrayView timeOrYear) {
    const int m = monthNumber(month);
    const int d = digits(day, 2, 2);
    if (m == 0 || d < 0)
        return kNone;
    const qsizetype colon = timeOrYear.indexOf(':');
    if (colon >= 0) {
        const int hour = digits(timeOrYear.first(colon), 1, 2);
        const int minute = digits(timeOrYear.sliced(colon + 1), 2, 2);
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !QDate::isValid(2000, m, d))
            return kNone;
        return (QDate(2000, m, d).dayOfYear() - 1) * 24 * 60 + hour * 60 + minute;
    }
    const int year = digits(timeOrYear, 4, 4);
    if (year < 1 || !QDate::isValid(year, m, d))
        return kNone;
    return kMinutesOf2000 + QDate(year, m, d).toJulianDay();
}

// A wall time that a forward clock change skips is read with the offset in force before the change, as
// the platform formatter does (02:30 on the night clocks go from 02:00 to 03:00 is 03:30).
QDateTime localTime(qint64 key) {
    QDate date;
    QTime time(0, 0);
    if (key < kMinutesOf2000) {
        date = QDate(2000, 1, 1).addDays(key / (24 * 60));
        time = QTime(int(key / 60 % 24), int(key % 60));
    } else {
        date = QDate::fromJulianDay(key - kMinutesOf2000);
    }
    const QDateTime local(date, time, Qt::LocalTime);
    if (local.isValid())
        return local;
    const QDateTime dayBefore(date.addDays(-1), time, Qt::LocalTime);
    if (!dayBefore.isValid())
        return {};
    const qint64 wallClock = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(wallClock - dayBefore.offsetFromUtc() * qint64(1000),
                                          Qt::LocalTime);
}

std::optional<QDateTime> read(QByteArrayView month, QByteArrayView day, QByteArrayView timeOrYear) {
    const qint64 key = keyOf(month, day, timeOrYear);
    if (key == kNone)
        return std::nullopt;
    const QDateTime local = localTime(key);
    return local.isNull() ? std::nullopt : std::optional(local);
}

void KeysSeen::add(qint64 key) {
    if (key < kMinutesOf2000) {
        std::unique_ptr<DayOfMinutes>& day = m_minutes[key / kMinutesPerDay];
        if (!day)
            day = std::make_unique<DayOfMinutes>();
        day->set(key % kMinutesPerDay);
        return;
    }
    qint64& recent = m_recentDays[key % m_recentDays.size()];
    if (recent != key) {
        recent = key;
        m_days.push_back(key);
    }
}

void Table::add(KeysSeen&& seen) {
    const std::lock_guard lock(m_mutex);
    m_seen.push_back(std::move(seen));
}

void Table::convert() {
    std::vector<qint64> keys;
    for (int day = 0; day < 366; ++day) {
        DayOfMinutes minutes;
        for (const KeysSeen& seen : m_seen) {
            if (seen.m_minutes[day])
                minutes |= *seen.m_minutes[day];
        }
        if (minutes.none())
            continue;
        m_minuteTimes[day] = std::make_unique<std::array<std::optional<QDateTime>, kMinutesPerDay>>();
        for (int minute = 0; minute < kMinutesPerDay; ++minute) {
            if (minutes[minute])
                keys.push_back(qint64(day) * kMinutesPerDay + minute);
        }
    }
    const qsizetype minuteCount = qsizetype(keys.size());
    for (const KeysSeen& seen : m_seen)
        m_days.insert(m_days.end(), seen.m_days.cbegin(), seen.m_days.cend());
    m_seen.clear();
    std::sort(m_days.begin(), m_days.end());
    m_days.erase(std::unique(m_days.begin(), m_days.end()), m_days.end());
    keys.insert(keys.end(), m_days.cbegin(), m_days.cend());

    // Most days keep one offset from UTC throughout. Their minutes are had from the instant, which costs
    // the C library a fraction of reading a wall time; a day with a clock change goes the long way.
    std::array<std::optional<int>, 366> steadyOffset;
    for (int day = 0; day < 366; ++day) {
        if (!m_minuteTimes[day])
            continue;
        const QDate date = QDate(2000, 1, 1).addDays(day);
        const QDateTime first(date, QTime(0, 0), Qt::LocalTime);
        const QDateTime last(date, QTime(23, 59), Qt::LocalTime);
        if (first.isValid() && last.isValid() && first.offsetFromUtc() == last.offsetFromUtc())
            steadyOffset[day] = first.offsetFromUtc();
    }
    const auto convertKey = [&steadyOffset](qint64 key) {
        if (key < kMinutesOf2000 && steadyOffset[key / kMinutesPerDay]) {
            const QDate date = QDate(2000, 1, 1).addDays(key / kMinutesPerDay);
            const QTime time(int(key / 60 % 24), int(key % 60));
            const qint64 wallClock = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(
                wallClock - *steadyOffset[key / kMinutesPerDay] * qint64(1000), Qt::LocalTime);
            if (local.date() == date && local.time() == time)
                return local;
        }
        return localTime(key);
    };
    std::vector<std::optional<QDateTime>> times(keys.size());
    forEachRange(qsizetype(keys.size()), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            if (const QDateTime local = convertKey(keys[i]); !local.isNull())
                times[i] = local;
        }
    });
    for (qsizetype i = 0; i < minuteCount; ++i)
        (*m_minuteTimes[keys[i] / kMinutesPerDay])[keys[i] % kMinutesPerDay] = times[i];
    m_dayTimes.assign(times.begin() + minuteCount, times.end());
}

const std::optional<QDateTime>& Table::at(qint64 key) const {
    if (key < kMinutesOf2000)
        return (*m_minuteTimes[key / kMinutesPerDay])[key % kMinutesPerDay];
    return m_dayTimes[std::lower_bound(m_days.cbegin(), m_days.cend(), key) - m_days.cbegin()];
}

} // namespace listing::dates
