#include "ListingParser.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using listing::Outcome;

// Below this much work a second thread costs more than it saves.
constexpr qsizetype kMinItemsPerWorker = 20000;
constexpr qsizetype kMinBytesPerWorker = 1 << 20;

int workerCount(qsizetype work, qsizetype minPerWorker) {
    return int(std::clamp<qsizetype>(work / minPerWorker, 1, std::max(1, QThread::idealThreadCount())));
}

// Runs task(0) to task(count - 1) at the same time, the first on the calling thread. Tasks for which no
// thread can be started run on the calling thread afterwards.
template <typename Task> void runTasks(int count, Task&& task) {
    std::vector<std::thread> threads;
    int started = 1;
    for (; started < count; ++started) {
        try {
            threads.emplace_back([&task, started] { task(started); });
        } catch (const std::system_error&) {
            break;
        }
    }
    task(0);
    for (int k = started; k < count; ++k)
        task(k);
    for (std::thread& thread : threads)
        thread.join();
}

// Runs work(begin, end) over [0, count) cut into one contiguous range per worker.
template <typename Work> void forEachRange(qsizetype count, Work&& work) {
    const int workers = workerCount(count, kMinItemsPerWorker);
    runTasks(workers, [&](int k) { work(count * k / workers, count * (k + 1) / workers); });
}

bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u == u' ' || u == u'\t';
    return c.category() == QChar::Separator_Space;
}

QStringView trimmedView(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// A line cut at U+0020 only. Only the first few fields are ever looked at, so only their bounds are kept;
// `count` stops there too.
struct Fields {
    static constexpr int kKept = 9;
    std::array<qsizetype, kKept> begin{};
    std::array<qsizetype, kKept> end{};
    int count = 0;
    QStringView line;

    explicit Fields(QStringView text)
        : line(text) {
        qsizetype i = 0;
        const qsizetype size = text.size();
        while (count < kKept) {
            while (i < size && text[i] == u' ')
                ++i;
            if (i == size)
                break;
            begin[count] = i;
            while (i < size && text[i] != u' ')
                ++i;
            end[count] = i;
            ++count;
        }
    }

    // Fields are numbered from 1, as in a listing's columns.
    QStringView field(int number) const {
        return line.sliced(begin[number - 1], end[number - 1] - begin[number - 1]);
    }

    // From the start of a field to the end of the line, so that runs of spaces inside a name survive.
    QStringView restFrom(int number) const { return trimmedView(line.sliced(begin[number - 1])); }
};

std::optional<qint64> parseNumber(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const unsigned digit = c - u'0';
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? static_cast<qint64>(~value + 1) : static_cast<qint64>(value);
}

// Upper-cases each character on its own, so "<dır>" with a dotless i counts as "<DIR>" too.
bool equalsUpper(QStringView text, QStringView upperAscii) {
    if (text.size() != upperAscii.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].toUpper() != upperAscii[i])
            return false;
    }
    return true;
}

bool containsDirMarker(QStringView line) {
    constexpr QStringView marker = u"<DIR>";
    for (qsizetype i = 0; i + marker.size() <= line.size(); ++i) {
        if (line[i] == u'<' && equalsUpper(line.sliced(i, marker.size()), marker))
            return true;
    }
    return false;
}

bool isTotalLine(QStringView line) {
    constexpr QStringView total = u"total ";
    if (line.size() < total.size())
        return false;
    for (qsizetype i = 0; i < total.size(); ++i) {
        const char16_t c = line[i].unicode();
        const char16_t lower = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        if (lower != total[i])
            return false;
    }
    return true;
}

bool passesNameCheck(QStringView name) {
    return !name.isEmpty() && name != u"." && name != u"..";
}

// A line as one of the three parsers reads it, before anything is allocated for it.
struct Scan {
    Outcome outcome = Outcome::notRecognised;
    QStringView name;
    bool isDirectory = false;
    std::optional<qint64> size;
    QStringView month; // date fields of a unix line; empty otherwise
    QStringView day;
    QStringView timeOrYear;
};

Scan refusedOrEntry(Scan scan) {
    scan.outcome = listing::isAcceptableName(scan.name) ? Outcome::entry : Outcome::refused;
    return scan;
}

Scan scanUnix(QStringView line) {
    const Fields fields(line);
    if (fields.count < 8)
        return {};
    const QStringView permissions = fields.field(1);
    if (permissions.size() < 10)
        return {};
    const QChar type = permissions[0];
    if (type != u'd' && type != u'-' && type != u'l')
        return {};

    int sizeField = 0;
    std::optional<qint64> size;
    if (fields.count == 8) {
        sizeField = 4;
        size = parseNumber(fields.field(4));
    } else if ((size = parseNumber(fields.field(5)))) {
        sizeField = 5;
    } else {
        sizeField = 4;
        size = parseNumber(fields.field(4));
    }
    if (!size)
        return {};

    Scan scan;
    scan.name = fields.restFrom(sizeField + 4);
    scan.isDirectory = type == u'd';
    if (!scan.isDirectory)
        scan.size = size;
    scan.month = fields.field(sizeField + 1);
    scan.day = fields.field(sizeField + 2);
    scan.timeOrYear = fields.field(sizeField + 3);
    return refusedOrEntry(scan);
}

Scan scanDos(QStringView line) {
    if (containsDirMarker(line)) {
        // Split without the few-fields limit: the marker may come late in the line.
        qsizetype i = 0;
        const qsizetype size = line.size();
        while (i < size) {
            while (i < size && line[i] == u' ')
                ++i;
            const qsizetype begin = i;
            while (i < size && line[i] != u' ')
                ++i;
            if (begin < i && equalsUpper(line.sliced(begin, i - begin), u"<DIR>")) {
                Scan scan;
                scan.name = trimmedView(line.sliced(i));
                scan.isDirectory = true;
                return refusedOrEntry(scan);
            }
        }
        return {};
    }
    const Fields fields(line);
    if (fields.count < 4)
        return {};
    Scan scan;
    scan.size = parseNumber(fields.field(3));
    if (!scan.size)
        return {};
    scan.name = fields.restFrom(4);
    return refusedOrEntry(scan);
}

Scan scanBareName(QStringView line) {
    Scan scan;
    scan.name = line;
    if (!passesNameCheck(scan.name)) {
        scan.outcome = Outcome::refused;
        return scan;
    }
    if (scan.name.endsWith(u'/')) {
        scan.isDirectory = true;
        scan.name.chop(1);
    }
    return refusedOrEntry(scan);
}

Scan scanLine(QStringView line) {
    Scan scan = scanUnix(line);
    if (scan.outcome == Outcome::notRecognised)
        scan = scanDos(line);
    if (scan.outcome == Outcome::notRecognised)
        scan = scanBareName(line);
    return scan;
}

// Dates are read as a strict en_US_POSIX formatter reads "MMM dd HH:mm" and then "MMM dd yyyy" (we checked
// what it accepts): the month is an English three-letter abbreviation in any letter case; the day takes
// exactly two digits, so ls's space-padded "Mar  5" carries no readable date; the hour one or two digits,
// the minutes two; nothing may follow. Values out of range (24:00, Apr 31, Feb 29 of a common year) give
// no date rather than rolling over. The year is four digits. A time without a year falls in 2000, a leap
// year, so Feb 29 reads.
//
// Each date is first read into a key: the minute of 2000 for "MMM dd HH:mm", or, past those, the day
// of a "MMM dd yyyy" midnight. Converting a key to local time is slow (the C library looks at the zone
// file every time), so parseListing converts each distinct key once.
namespace dates {

constexpr qint64 kMinutesOf2000 = 366 * 24 * 60;
constexpr qint64 kNone = -1;

int monthNumber(QStringView text) {
    static constexpr char16_t kMonths[] = u"janfebmaraprmayjunjulaugsepoctnovdec";
    if (text.size() != 3)
        return 0;
    std::array<char16_t, 3> lower{};
    for (int i = 0; i < 3; ++i) {
        const char16_t c = text[i].unicode();
        lower[i] = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    }
    for (int month = 0; month < 12; ++month) {
        const char16_t* candidate = kMonths + month * 3;
        if (lower[0] == candidate[0] && lower[1] == candidate[1] && lower[2] == candidate[2])
            return month + 1;
    }
    return 0;
}

int digits(QStringView text, int minCount, int maxCount) {
    if (text.size() < minCount || text.size() > maxCount)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

qint64 keyOf(QStringView month, QStringView day, QStringView timeOrYear) {
    const int m = monthNumber(month);
    const int d = digits(day, 2, 2);
    if (m == 0 || d < 0)
        return kNone;
    const qsizetype colon = timeOrYear.indexOf(u':');
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

// A wall time that a forward clock change skips is read with the offset in force before the change,
// as the platform formatter does (02:30 on the night clocks go from 02:00 to 03:00 is 03:30). Null when
// the time cannot be had at all.
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

constexpr int kMinutesPerDay = 24 * 60;
using DayOfMinutes = std::bitset<kMinutesPerDay>;

// The keys one worker met: a bit per minute of 2000, kept by day, and the days, mostly without repeats.
class KeysSeen {
public:
    void add(qint64 key) {
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
    void add(KeysSeen&& seen) {
        const std::lock_guard lock(m_mutex);
        m_seen.push_back(std::move(seen));
    }

    void convert() {
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

        std::vector<std::optional<QDateTime>> times(keys.size());
        forEachRange(qsizetype(keys.size()), [&](qsizetype begin, qsizetype end) {
            for (qsizetype i = begin; i < end; ++i) {
                if (const QDateTime local = localTime(keys[i]); !local.isNull())
                    times[i] = local;
            }
        });
        for (qsizetype i = 0; i < minuteCount; ++i)
            (*m_minuteTimes[keys[i] / kMinutesPerDay])[keys[i] % kMinutesPerDay] = times[i];
        m_dayTimes.assign(times.begin() + minuteCount, times.end());
    }

    const std::optional<QDateTime>& at(qint64 key) const {
        if (key < kMinutesOf2000)
            return (*m_minuteTimes[key / kMinutesPerDay])[key % kMinutesPerDay];
        return m_dayTimes[std::lower_bound(m_days.cbegin(), m_days.cend(), key) - m_days.cbegin()];
    }

private:
    std::mutex m_mutex;
    std::vector<KeysSeen> m_seen;
    std::array<std::unique_ptr<std::array<std::optional<QDateTime>, kMinutesPerDay>>, 366> m_minuteTimes;
    std::vector<qint64> m_days; // sorted
    std::vector<std::optional<QDateTime>> m_dayTimes;
};

} // namespace dates

// Random (version 4) UUIDs. QUuid::createUuid asks the system generator for every id, which is too slow
// for listings of a million entries; this draws them from the global generator in batches.
class UuidSource {
public:
    QUuid next() {
        if (m_used + 4 > qsizetype(m_words.size())) {
            QRandomGenerator::global()->fillRange(m_words.data(), m_words.size());
            m_used = 0;
        }
        const quint32* w = m_words.data() + m_used;
        m_used += 4;
        return QUuid(w[0], ushort(w[1] >> 16), ushort((w[1] & 0x0fff) | 0x4000),
                     uchar(((w[2] >> 24) & 0x3f) | 0x80), uchar(w[2] >> 16), uchar(w[2] >> 8), uchar(w[2]),
                     uchar(w[3] >> 24), uchar(w[3] >> 16), uchar(w[3] >> 8), uchar(w[3]));
    }

private:
    std::array<quint32, 256> m_words{};
    qsizetype m_used = 256;
};

qint64 dateKeyOf(const Scan& scan) {
    return scan.month.isEmpty() ? dates::kNone : dates::keyOf(scan.month, scan.day, scan.timeOrYear);
}

listing::LineResult toLineResult(const Scan& scan, const QString& prefix) {
    listing::LineResult result;
    result.outcome = scan.outcome;
    if (scan.outcome == Outcome::entry) {
        UuidSource ids;
        result.entry.id = ids.next();
        result.entry.name = scan.name.toString();
        result.entry.path = listing::entryPath(prefix, result.entry.name);
        result.entry.isDirectory = scan.isDirectory;
        result.entry.size = scan.size;
        if (const qint64 key = dateKeyOf(scan); key != dates::kNone) {
            if (const QDateTime local = dates::localTime(key); !local.isNull())
                result.entry.modified = local;
        }
    }
    return result;
}

using SortKeys = std::vector<std::optional<QCollatorSortKey>>;

// Releasing a million keys takes a while too; share it out.
void releaseKeys(SortKeys& keys) {
    forEachRange(qsizetype(keys.size()), [&keys](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            keys[i].reset();
    });
    keys = SortKeys();
}

// Sorts `order` (indices of entries) folders first, then by key; entries with equal keys keep their order.
//
// A plain merge sort of a million sort keys keeps waiting for memory: the keys lie scattered over a
// hundred megabytes. This sample sort is about a third faster: a few thousand pivot keys, which stay in
// cache, put each entry in a bucket, and the buckets are small enough to sort in cache. Equal keys always
// share a bucket and the buckets are filled in listing order, so the result is stable.
template <typename IsDirectory>
void sortOrder(std::vector<qsizetype>& order, const IsDirectory& isDirectory, const SortKeys& keys) {
    const auto byKey = [&keys](qsizetype a, qsizetype b) { return keys[a]->compare(*keys[b]) < 0; };
    const qsizetype count = qsizetype(order.size());
    const qsizetype pivotCount = std::min<qsizetype>(4096, count / 256);
    if (pivotCount < 2) {
        const auto files = std::stable_partition(order.begin(), order.end(), isDirectory);
        std::stable_sort(order.begin(), files, byKey);
        std::stable_sort(files, order.end(), byKey);
        return;
    }
    std::vector<qsizetype> pivots(pivotCount);
    for (qsizetype k = 0; k < pivotCount; ++k)
        pivots[k] = order[count * k / pivotCount];
    std::sort(pivots.begin(), pivots.end(), byKey);

    // Buckets 0 to pivotCount hold folders, the rest files.
    std::vector<quint32> bucketOf(count);
    forEachRange(count, [&](qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j) {
            const qsizetype i = order[j];
            const auto above = std::upper_bound(pivots.begin(), pivots.end(), i, byKey);
            bucketOf[j] = quint32((isDirectory(i) ? 0 : pivotCount + 1) + (above - pivots.begin()));
        }
    });
    std::vector<qsizetype> bucketStart(2 * (pivotCount + 1) + 1, 0);
    for (const quint32 bucket : bucketOf)
        ++bucketStart[bucket + 1];
    std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
    {
        std::vector<qsizetype> next(bucketStart.begin(), bucketStart.end() - 1);
        std::vector<qsizetype> bucketed(count);
        for (qsizetype j = 0; j < count; ++j)
            bucketed[next[bucketOf[j]]++] = order[j];
        order.swap(bucketed);
    }
    bucketOf = std::vector<quint32>();

    // Each worker sorts the buckets that start in its share of the positions.
    forEachRange(count, [&](qsizetype begin, qsizetype end) {
        auto bucket = std::lower_bound(bucketStart.begin(), bucketStart.end() - 1, begin);
        for (; bucket != bucketStart.end() - 1 && *bucket < end; ++bucket)
            std::stable_sort(order.begin() + bucket[0], order.begin() + bucket[1], byKey);
    });
}

// Moves the entries so that position p holds the entry that was at order[p], one cycle of the
// permutation at a time, without a second list. `order` must hold every position once.
void applyOrder(RemoteFile* entries, std::vector<qsizetype>& order) {
    const qsizetype count = qsizetype(order.size());
    for (qsizetype start = 0; start < count; ++start) {
        if (order[start] == start)
            continue;
        RemoteFile held = std::move(entries[start]);
        qsizetype to = start;
        while (order[to] != start) {
            const qsizetype from = order[to];
            entries[to] = std::move(entries[from]);
            order[to] = to;
            to = from;
        }
        entries[to] = std::move(held);
        order[to] = to;
    }
}

inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

bool isLineBreakByte(char c) {
    return c >= 0x0a && c <= 0x0d;
}

// Whether any of the eight bytes is a control character below 0x0e or not ASCII: only such bytes can
// start a line break. Most listing bytes are printable ASCII, skipped eight at a time.
bool mayHoldLineBreak(quint64 word) {
    constexpr quint64 ones = 0x0101010101010101u;
    constexpr quint64 highBits = 0x8080808080808080u;
    return ((word - ones * 0x0e) | word) & highBits;
}

// Calls onLine for each line that holds anything but line breaks. The bytes are valid UTF-8, so a lead
// byte is always followed by its continuation bytes.
template <typename OnLine> void forEachLine(QByteArrayView bytes, OnLine&& onLine) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < size) {
        if (i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, data + i, sizeof word);
            if (!mayHoldLineBreak(word)) {
                i += 8;
                continue;
            }
        }
        const uchar b = data[i];
        qsizetype breakLength = 0;
        if (b >= 0x0a && b <= 0x0d)
            breakLength = 1;
        else if (b == 0xc2 && data[i + 1] == 0x85) // NEL
            breakLength = 2;
        else if (b == 0xe2 && data[i + 1] == 0x80 && (data[i + 2] == 0xa8 || data[i + 2] == 0xa9)) // LS, PS
            breakLength = 3;
        if (breakLength == 0) {
            ++i;
            continue;
        }
        if (i > start)
            onLine(bytes.sliced(start, i - start));
        i += breakLength;
        start = i;
    }
    if (size > start)
        onLine(bytes.sliced(start, size - start));
}

// Cuts the output into `chunks` pieces of whole lines, each ending just after a one-byte line break.
std::vector<qsizetype> chunkBounds(QByteArrayView bytes, int chunks) {
    std::vector<qsizetype> bounds{0};
    for (int k = 1; k < chunks; ++k) {
        qsizetype at = std::max(bounds.back(), bytes.size() * k / chunks);
        while (at < bytes.size() && !isLineBreakByte(bytes[at]))
            ++at;
        if (at + 1 < bytes.size())
            bounds.push_back(at + 1);
    }
    bounds.push_back(bytes.size());
    return bounds;
}

bool isAscii(QByteArrayView bytes) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    quint64 any = 0;
    qsizetype i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        any |= word;
    }
    for (; i < bytes.size(); ++i)
        any |= data[i];
    return (any & 0x8080808080808080u) == 0;
}

qsizetype utf8Length(QStringView text) {
    qsizetype length = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        length += u < 0x80 ? 1 : (u < 0x800 || c.isSurrogate()) ? 2 : 3;
    }
    return length;
}

// A line as parseListing keeps it until the listing is sorted. The name stays in the output meanwhile,
// to be decoded straight into place afterwards instead of being held twice (as a name and in a sort key)
// while the sort runs.
struct ParsedLine {
    QUuid id;
    qint64 dateKey = dates::kNone;
    qint64 size = 0;
    qsizetype nameStart = -1; // in the output; -1: the line gave no entry
    qsizetype nameLength = 0;
    bool isDirectory = false;
    bool hasSize = false;
};

// The entry path made in one allocation, the name decoded straight after the folder part (empty for the
// root, whose entries have relative paths).
QString decodePath(QStringView folder, QByteArrayView name, QStringDecoder& decoder) {
    QString path(folder.size() + name.size(), Qt::Uninitialized);
    QChar* out = std::copy(folder.begin(), folder.end(), path.data());
    if (isAscii(name))
        out = std::transform(name.begin(), name.end(), out, [](char c) { return QChar(char16_t(uchar(c))); });
    else
        out = decoder.appendToBuffer(out, name);
    path.truncate(out - path.constData());
    return path;
}

// The name as the end of its path, sharing the path's buffer (a QString may start inside its buffer, as
// it does after removing text from the front). This keeps a million-entry listing from holding every
// name twice; changing either string later detaches it as usual.
QString nameInPath(const QString& path, qsizetype nameStart) {
    if (nameStart == 0)
        return path;
    QString::DataPointer shared = path.data_ptr();
    shared.ptr += nameStart;
    shared.size -= nameStart;
    return QString(std::move(shared));
}

// One decoder and one buffer per worker: most lines are ASCII and are widened in place.
class LineDecoder {
public:
    QStringView decode(QByteArrayView bytes) {
        if (m_buffer.size() < bytes.size())
            m_buffer.resize(std::max(bytes.size(), qsizetype(256)));
        char16_t* out = reinterpret_cast<char16_t*>(m_buffer.data());
        if (!isAscii(bytes)) {
            const QChar* end = m_decoder.appendToBuffer(m_buffer.data(), bytes);
            return QStringView(m_buffer.constData(), end - m_buffer.constData());
        }
        const auto* in = reinterpret_cast<const uchar*>(bytes.data());
        for (qsizetype i = 0; i < bytes.size(); ++i)
            out[i] = in[i];
        return QStringView(out, bytes.size());
    }

private:
    QString m_buffer;
    QStringDecoder m_decoder{QStringDecoder::Utf8,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

} // namespace

namespace listing {

// In the C locale Qt's collator compares raw code points and ignores the case setting, so such systems
// (LANG=C.UTF-8 on build machines) get the English collation instead.
QCollator nameCollator() {
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    return collator;
}

QString folderPrefix(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString entryPath(const QString& prefix, const QString& name) {
    return prefix == u"/" ? name : prefix + name;
}

bool isAcceptableName(QStringView name) {
    if (!passesNameCheck(name) || name.startsWith(u'/'))
        return false;
    // A recursive deletion walks into every folder it lists: no segment may lead it up or in place.
    qsizetype begin = 0;
    while (begin <= name.size()) {
        qsizetype end = name.indexOf(u'/', begin);
        if (end < 0)
            end = name.size();
        const QStringView segment = name.sliced(begin, end - begin);
        if (segment == u"." || segment == u"..")
            return false;
        begin = end + 1;
    }
    return true;
}

LineResult parseUnixLine(QStringView line, const QString& prefix) {
    return toLineResult(scanUnix(line), prefix);
}

LineResult parseDosLine(QStringView line, const QString& prefix) {
    return toLineResult(scanDos(line), prefix);
}

LineResult parseBareNameLine(QStringView line, const QString& prefix) {
    return toLineResult(scanBareName(line), prefix);
}

void sortEntries(QList<RemoteFile>& entries) {
    const qsizetype count = entries.size();
    if (count < 2)
        return;
    RemoteFile* data = entries.data();
    SortKeys keys(count);
    forEachRange(count, [&](qsizetype begin, qsizetype end) {
        const QCollator collator = listing::nameCollator();
        for (qsizetype i = begin; i < end; ++i)
            keys[i] = collator.sortKey(data[i].name);
    });
    std::vector<qsizetype> order(count);
    std::iota(order.begin(), order.end(), 0);
    sortOrder(
        order, [data](qsizetype i) { return data[i].isDirectory; }, keys);
    releaseKeys(keys);
    applyOrder(data, order);
}

} // namespace listing

bool isValidUtf8(const QByteArray& bytes) {
    return QByteArrayView(bytes).isValidUtf8();
}

QList<RemoteFile> parseListing(const QByteArray& output, const QString& path) {
    QByteArrayView bytes(output);
    if (!bytes.isValidUtf8())
        return {};
    if (bytes.startsWith("\xef\xbb\xbf")) // an encoding mark, not part of the first line
        bytes = bytes.sliced(3);
    const QString prefix = listing::folderPrefix(path);

    // Workers each take a piece of the output. A first pass counts the lines of each piece, so that every
    // line gets a slot of its own and the workers need no coordination.
    const std::vector<qsizetype> bounds = chunkBounds(bytes, workerCount(bytes.size(), kMinBytesPerWorker));
    const int chunks = int(bounds.size()) - 1;
    const auto chunk = [&](int k) { return bytes.sliced(bounds[k], bounds[k + 1] - bounds[k]); };
    std::vector<qsizetype> firstSlot(chunks + 1, 0);
    runTasks(chunks, [&](int k) {
        qsizetype lines = 0;
        forEachLine(chunk(k), [&lines](QByteArrayView) { ++lines; });
        firstSlot[k + 1] = lines;
    });
    std::partial_sum(firstSlot.begin(), firstSlot.end(), firstSlot.begin());
    const qsizetype slotCount = firstSlot.back();

    std::vector<ParsedLine> parsed(slotCount);
    SortKeys keys(slotCount);
    dates::Table localTimes;
    runTasks(chunks, [&](int k) {
        LineDecoder decoder;
        UuidSource ids;
        dates::KeysSeen dateKeys;
        const QCollator collator = listing::nameCollator();
        qsizetype slot = firstSlot[k];
        forEachLine(chunk(k), [&](QByteArrayView lineBytes) {
            const qsizetype i = slot++;
            const QStringView decoded = decoder.decode(lineBytes);
            const QStringView line = trimmedView(decoded);
            if (line.isEmpty() || isTotalLine(line))
                return;
            const Scan scan = scanLine(line);
            if (scan.outcome != Outcome::entry)
                return;
            ParsedLine& entry = parsed[i];
            entry.id = ids.next();
            entry.isDirectory = scan.isDirectory;
            entry.hasSize = scan.size.has_value();
            entry.size = scan.size.value_or(0);
            entry.dateKey = dateKeyOf(scan);
            if (entry.dateKey != dates::kNone)
                dateKeys.add(entry.dateKey);
            const qsizetype before = scan.name.data() - decoded.data();
            const qsizetype lineStart = lineBytes.data() - bytes.data();
            if (decoded.size() == lineBytes.size()) { // all ASCII
                entry.nameStart = lineStart + before;
                entry.nameLength = scan.name.size();
            } else {
                entry.nameStart = lineStart + utf8Length(decoded.first(before));
                entry.nameLength = utf8Length(scan.name);
            }
            keys[i] = collator.sortKey(QString::fromRawData(scan.name.data(), scan.name.size()));
        });
        localTimes.add(std::move(dateKeys));
    });
    localTimes.convert();

    std::vector<qsizetype> order;
    order.reserve(slotCount);
    for (qsizetype i = 0; i < slotCount; ++i) {
        if (parsed[i].nameStart >= 0)
            order.push_back(i);
    }
    sortOrder(
        order, [&parsed](qsizetype i) { return parsed[i].isDirectory; }, keys);
    releaseKeys(keys);

    QList<RemoteFile> entries(qsizetype(order.size()));
    RemoteFile* sorted = entries.data();
    const QStringView folder = prefix == u"/" ? QStringView() : QStringView(prefix);
    forEachRange(entries.size(), [&](qsizetype begin, qsizetype end) {
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        for (qsizetype j = begin; j < end; ++j) {
            // Sorted order visits the lines and their names at random: ask for them a little ahead.
            if (j + 16 < end)
                prefetch(&parsed[order[j + 16]]);
            if (j + 8 < end)
                prefetch(bytes.data() + parsed[order[j + 8]].nameStart);
            const ParsedLine& line = parsed[order[j]];
            RemoteFile& entry = sorted[j];
            entry.id = line.id;
            entry.path = decodePath(folder, bytes.sliced(line.nameStart, line.nameLength), decoder);
            entry.name = nameInPath(entry.path, folder.size());
            entry.isDirectory = line.isDirectory;
            if (line.hasSize)
                entry.size = line.size;
            if (line.dateKey != dates::kNone)
                entry.modified = localTimes.at(line.dateKey);
        }
    });
    return entries;
}
