#include "ListingParser.h"

#include "listing/LineScan.h"
#include "listing/ListingDates.h"
#include "listing/ListingLines.h"
#include "listing/NameOrder.h"
#include "listing/ParallelWork.h"
#include "model/ServerText.h"

#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>
#include <string_view>

namespace {

using listing::Scan;
namespace dates = listing::dates;

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

// A line as parseListingReport keeps it until the listing is sorted: small, as there may be millions. The
// name stays in the output meanwhile, to be decoded straight into its entry afterwards instead of being
// held twice (as a name and in a sort key) while the sort runs.
struct ParsedLine {
    qsizetype nameStart = -1; // in the output; -1: the line gave no entry
    qsizetype nameLength = 0;
    qint64 size = 0;
    qint32 dateKey = dates::kNone; // keys stay below 2^23: the last day of year 9999 is under six million
    bool hasSize : 1 = false;
    bool isLink : 1 = false;
    bool hasTarget : 1 = false; // a link's target follows its name and " -> ", up to the end of the line
    bool isAmbiguous : 1 = false;
    bool isRaw : 1 = false; // the line is not UTF-8, so its names are decoded into the server form
};

// Names to text: ASCII widened, other UTF-8 by one decoder per worker (which keeps a leading U+FEFF, a
// character of the name here), and names from lines that are not UTF-8 into the server form.
class NameDecoder {
public:
    QString decode(QByteArrayView bytes, bool raw) {
        if (raw)
            return servertext::fromServer(bytes);
        if (listing::isAscii(bytes))
            return QString::fromLatin1(bytes);
        return m_decoder.decode(bytes);
    }

    // Valid until the next call: what the name is sorted by.
    QStringView sortText(QByteArrayView bytes, bool raw) {
        if (raw) {
            // Sorted as it is shown, not by its escaped bytes.
            m_shown = servertext::forDisplay(servertext::fromServer(bytes), {});
            return m_shown;
        }
        if (m_buffer.size() < bytes.size())
            m_buffer.resize(std::max(bytes.size(), qsizetype(256)));
        if (!listing::isAscii(bytes)) {
            const QChar* end = m_decoder.appendToBuffer(m_buffer.data(), bytes);
            return QStringView(m_buffer.constData(), end - m_buffer.constData());
        }
        char16_t* out = reinterpret_cast<char16_t*>(m_buffer.data());
        std::transform(bytes.begin(), bytes.end(), out, [](char c) { return char16_t(uchar(c)); });
        return QStringView(out, bytes.size());
    }

private:
    QString m_buffer;
    QString m_shown;
    QStringDecoder m_decoder{QStringDecoder::Utf8,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

// Every line of a listing as the scan leaves it for sorting: one slot per line, whether it gave an entry or
// not.
struct ScannedLines {
    std::vector<ParsedLine> lines;
    std::vector<char> isFolder;
    listing::SortKeys keys;
    dates::Table localTimes;
    qsizetype unreadable = 0;
};

// Workers each take a piece of the output. A first pass counts the lines of each piece, so that every line
// gets a slot of its own and the workers need no coordination.
void scanLines(QByteArrayView bytes, ScannedLines& scanned) {
    // Most listings are UTF-8 text throughout; only the others have each line looked at.
    const bool checkLines = !bytes.isValidUtf8() || bytes.contains('\0');
    const std::vector<qsizetype> bounds =
        listing::chunkBounds(bytes, listing::workerCount(bytes.size(), listing::kMinBytesPerWorker));
    const int chunks = int(bounds.size()) - 1;
    const auto chunk = [&](int k) { return bytes.sliced(bounds[k], bounds[k + 1] - bounds[k]); };
    std::vector<qsizetype> firstSlot(chunks + 1, 0);
    listing::runTasks(chunks, [&](int k) { firstSlot[k + 1] = listing::lineCount(chunk(k)); });
    std::partial_sum(firstSlot.begin(), firstSlot.end(), firstSlot.begin());
    scanned.lines.resize(firstSlot.back());
    scanned.isFolder.resize(firstSlot.back());
    scanned.keys.resize(firstSlot.back());

    std::atomic<qsizetype> unreadable = 0;
    listing::runTasks(chunks, [&](int k) {
        NameDecoder decoder;
        dates::KeysSeen dateKeys;
        const QCollator collator = listing::nameCollator();
        qsizetype slot = firstSlot[k];
        qsizetype unreadableHere = 0;
        listing::forEachLine(chunk(k), [&](QByteArrayView line) {
            const qsizetype i = slot++;
            if (listing::isBlankLine(line))
                return;
            if (checkLines && listing::isUnreadableLine(line)) {
                ++unreadableHere;
                return;
            }
            if (listing::isTotalLine(line))
                return;
            const Scan scan = listing::scanLine(line);
            if (scan.outcome != Scan::Outcome::entry)
                return;
            ParsedLine& entry = scanned.lines[i];
            entry.isRaw = checkLines && !line.isValidUtf8();
            entry.hasSize = scan.size.has_value();
            entry.size = scan.size.value_or(0);
            entry.isLink = scan.isLink;
            entry.isAmbiguous = scan.isAmbiguous;
            if (!scan.month.isEmpty()) {
                entry.dateKey = qint32(dates::keyOf(scan.month, scan.day, scan.timeOrYear));
                if (entry.dateKey != dates::kNone)
                    dateKeys.add(entry.dateKey);
            }
            entry.nameStart = scan.name.data() - bytes.data();
            entry.nameLength = scan.name.size();
            entry.hasTarget = !scan.linkTarget.isNull();
            scanned.isFolder[i] = scan.isDirectory;
            const QStringView sortText = decoder.sortText(scan.name, entry.isRaw);
            scanned.keys[i] = collator.sortKey(QString::fromRawData(sortText.data(), sortText.size()));
        });
        scanned.localTimes.add(std::move(dateKeys));
        unreadable += unreadableHere;
    });
    scanned.localTimes.convert();
    scanned.unreadable = unreadable;
}

// The slots that gave entries, in listing order, sorted. Entries with the same name have equal keys, so
// they meet while the sort runs; which of them the user means, no operation could tell.
std::vector<qsizetype> sortedEntries(QByteArrayView bytes, ScannedLines& scanned) {
    std::vector<ParsedLine>& lines = scanned.lines;
    std::vector<qsizetype> order;
    order.reserve(lines.size());
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        if (lines[i].nameStart >= 0)
            order.push_back(i);
    }
    const auto nameOf = [&](qsizetype i) {
        return std::string_view(bytes.data() + lines[i].nameStart, size_t(lines[i].nameLength));
    };
    listing::sortOrder(order, scanned.isFolder, scanned.keys, [&](const std::vector<qsizetype>& tie) {
        std::vector<qsizetype> byName = tie;
        std::sort(byName.begin(), byName.end(),
                  [&](qsizetype a, qsizetype b) { return nameOf(a) < nameOf(b); });
        for (size_t j = 1; j < byName.size(); ++j) {
            if (nameOf(byName[j - 1]) == nameOf(byName[j]))
                lines[byName[j - 1]].isAmbiguous = lines[byName[j]].isAmbiguous = true;
        }
    });
    listing::releaseKeys(scanned.keys);
    return order;
}

QList<RemoteFile> makeEntries(QByteArrayView bytes, const ScannedLines& scanned,
                              const std::vector<qsizetype>& order, const QString& path) {
    QList<RemoteFile> entries(qsizetype(order.size()));
    RemoteFile* sorted = entries.data();
    const std::vector<ParsedLine>& lines = scanned.lines;
    const QString prefix = listing::folderPrefix(path);
    const QStringView folder = prefix == u"/" ? QStringView() : QStringView(prefix);
    listing::forEachRange(entries.size(), [&](qsizetype begin, qsizetype end) {
        NameDecoder decoder;
        UuidSource ids;
        for (qsizetype j = begin; j < end; ++j) {
            // Sorted order visits the lines and their names at random: ask for them a little ahead.
            if (j + 16 < end)
                prefetch(&lines[order[j + 16]]);
            if (j + 8 < end)
                prefetch(bytes.data() + lines[order[j + 8]].nameStart);
            const ParsedLine& line = lines[order[j]];
            RemoteFile& entry = sorted[j];
            entry.id = ids.next();
            entry.name = decoder.decode(bytes.sliced(line.nameStart, line.nameLength), line.isRaw);
            if (folder.isEmpty()) {
                entry.path = entry.name;
            } else {
                entry.path = QString(folder.size() + entry.name.size(), Qt::Uninitialized);
                std::copy(entry.name.cbegin(), entry.name.cend(),
                          std::copy(folder.begin(), folder.end(), entry.path.begin()));
            }
            entry.isDirectory = scanned.isFolder[order[j]];
            if (line.hasSize)
                entry.size = line.size;
            if (line.dateKey != dates::kNone) {
                entry.modified = scanned.localTimes.at(line.dateKey);
                entry.modifiedWithoutYear = line.dateKey < dates::kMinutesOf2000;
            }
            entry.isLink = line.isLink;
            if (line.hasTarget)
                entry.linkTarget = decoder.decode(
                    listing::restOfLine(bytes, line.nameStart + line.nameLength + 4), line.isRaw);
            entry.isAmbiguous = line.isAmbiguous;
        }
    });
    return entries;
}

} // namespace

namespace listing {

QString folderPrefix(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString entryPath(const QString& prefix, const QString& name) {
    return prefix == u"/" ? name : prefix + name;
}

bool isAcceptableName(QStringView name) {
    return isAcceptableName(name.utf16(), name.size());
}

} // namespace listing

bool isValidUtf8(const QByteArray& bytes) {
    return QByteArrayView(bytes).isValidUtf8();
}

QList<RemoteFile> parseListing(const QByteArray& output, const QString& path) {
    return parseListingReport(output, path).entries;
}

ListingReport parseListingReport(const QByteArray& output, const QString& path) {
    QByteArrayView bytes(output);
    if (bytes.startsWith("\xef\xbb\xbf")) // an encoding mark, not part of the first line
        bytes = bytes.sliced(3);
    ScannedLines scanned;
    scanLines(bytes, scanned);
    const std::vector<qsizetype> order = sortedEntries(bytes, scanned);
    return {makeEntries(bytes, scanned, order, path), scanned.unreadable};
}
