// Listing output comes straight from a server. Besides not crashing or hanging, parseListingReport must give
// exactly what a plain, line-at-a-time reading of the listing rules gives: the fast path (byte scanning,
// names decoded straight out of the output, cached dates, bucketed sorting, repeated names found per
// bucket) is checked against the slow, obvious reading below, done on decoded text rather than bytes, and
// every entry must keep an operation inside the listed folder.
//
// Input: the folder path (UTF-8), a NUL byte, then curl's output. Without a NUL the whole input is the
// output of a listing of "/".

#include "ftp/ListingParser.h"
#include "ftp/listing/ListingDates.h"
#include "ftp/listing/NameOrder.h"
#include "model/ServerText.h"

#include <QByteArray>
#include <QHash>
#include <QUuid>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "fuzz_listing: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

struct Expected {
    bool recognised = false;
    QString name;
    bool isDirectory = false;
    bool isLink = false;
    QString linkTarget;
    bool isAmbiguous = false;
    std::optional<qint64> size;
    std::optional<QDateTime> modified;
};

bool isBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Regular expressions would not do here: names may hold lone surrogates (escaped bytes), which they refuse.
std::optional<qint64> number(const QString& text) {
    const qsizetype sign = text.startsWith(u'+') || text.startsWith(u'-');
    if (text.size() == sign ||
        !std::all_of(text.cbegin() + sign, text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// Code points, a lone surrogate (an escaped byte) counting as one.
qsizetype characters(const QString& text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        count += !(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate());
    return count;
}

// Where field `number` (from 1) of the line ends.
qsizetype fieldEnd(const QString& line, int number) {
    qsizetype i = 0;
    for (int field = 0; field < number; ++field) {
        while (i < line.size() && line[i] == u' ')
            ++i;
        if (i == line.size())
            fail("field missing", line);
        while (i < line.size() && line[i] != u' ')
            ++i;
    }
    return i;
}

bool acceptable(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'/') || name.startsWith(u'\\'))
        return false;
    QString slashes = name;
    slashes.replace(u'\\', u'/');
    const QStringList segments = slashes.split(u'/');
    return std::none_of(segments.cbegin(), segments.cend(),
                        [](const QString& s) { return s == u"." || s == u".."; });
}

Expected decided(QString name, bool isDirectory, std::optional<qint64> size) {
    Expected e;
    e.recognised = true;
    e.name = std::move(name);
    e.isDirectory = isDirectory;
    if (!isDirectory)
        e.size = size;
    return e;
}

Expected readUnix(const QString& line) {
    const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
    if (fields.size() < 8)
        return {};
    const QString& permissions = fields[0];
    const QChar type = permissions[0];
    if (characters(permissions) < 10 || !(type == u'd' || type == u'-' || type == u'l'))
        return {};
    int sizeField = 4;
    std::optional<qint64> size;
    if (fields.size() > 8 && (size = number(fields[4])))
        sizeField = 5;
    else
        size = number(fields[3]);
    if (!size)
        return {};
    Expected e = decided(line.mid(fieldEnd(line, sizeField + 3) + 1), type == u'd', size);
    e.isLink = type == u'l';
    const qsizetype arrow = e.name.indexOf(u" -> ");
    if (e.isLink && arrow >= 0) {
        e.isAmbiguous = e.name.indexOf(u" -> ", arrow + 1) >= 0;
        e.linkTarget = e.name.mid(arrow + 4);
        e.name.truncate(arrow);
    }
    e.modified = listing::dates::read(servertext::toServer(fields[sizeField]),
                                      servertext::toServer(fields[sizeField + 1]),
                                      servertext::toServer(fields[sizeField + 2]));
    return e;
}

bool isDirMarker(const QString& field) {
    if (field.size() != 5)
        return false;
    for (int i = 0; i < 5; ++i) {
        if (field[i].toUpper() != QStringView(u"<DIR>")[i])
            return false;
    }
    return true;
}

Expected readDos(const QString& line) {
    const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
    QString upper = line;
    for (QChar& c : upper)
        c = c.toUpper();
    if (upper.contains(u"<DIR>")) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (!isDirMarker(fields[i]))
                continue;
            const qsizetype end = fieldEnd(line, int(i + 1));
            qsizetype spaces = 0;
            while (end + spaces < line.size() && line[end + spaces] == u' ')
                ++spaces;
            Expected e = decided(line.mid(end + (spaces >= 10 ? 10 : spaces)), true, {});
            e.isAmbiguous = spaces > 1 && spaces < 10;
            return e;
        }
        return {};
    }
    if (fields.size() < 4)
        return {};
    const std::optional<qint64> size = number(fields[2]);
    if (!size)
        return {};
    return decided(line.mid(fieldEnd(line, 3) + 1), false, size);
}

Expected readBare(const QString& line) {
    QString name = line;
    const bool isDirectory = name.endsWith(u'/');
    if (isDirectory)
        name.chop(1);
    return decided(name, isDirectory, {});
}

struct ExpectedListing {
    QList<Expected> entries;
    qsizetype unreadable = 0;
};

ExpectedListing expectedListing(QByteArray output) {
    if (output.startsWith("\xef\xbb\xbf"))
        output.remove(0, 3);
    QList<QByteArray> lines = output.split('\n');
    if (output.isEmpty() || output.endsWith('\n'))
        lines.removeLast();
    ExpectedListing listing;
    QHash<QString, int> copies;
    for (QByteArray bytes : lines) {
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        const QString line = servertext::fromServer(bytes);
        if (std::all_of(line.cbegin(), line.cend(), isBlank))
            continue;
        const bool control = std::any_of(bytes.cbegin(), bytes.cend(),
                                         [](char c) { return (uchar(c) < 0x20 && c != '\t') || c == 0x7f; });
        if (bytes.contains('\0') || (!bytes.isValidUtf8() && control)) {
            ++listing.unreadable;
            continue;
        }
        qsizetype start = 0;
        while (start < line.size() && isBlank(line[start]))
            ++start;
        if (line.mid(start, 6).compare(u"total ", Qt::CaseInsensitive) == 0)
            continue;
        Expected e = readUnix(line);
        if (!e.recognised)
            e = readDos(line);
        if (!e.recognised)
            e = readBare(line);
        if (!acceptable(e.name))
            continue;
        ++copies[e.name];
        listing.entries.append(e);
    }
    for (Expected& e : listing.entries)
        e.isAmbiguous = e.isAmbiguous || copies[e.name] > 1;

    const QCollator collator = listing::nameCollator(); // the order under test, not a second copy of it
    const auto shown = [](const QString& name) { return servertext::forDisplay(name, {}); };
    std::stable_sort(listing.entries.begin(), listing.entries.end(),
                     [&](const Expected& a, const Expected& b) {
                         if (a.isDirectory != b.isDirectory)
                             return a.isDirectory;
                         return collator.compare(shown(a.name), shown(b.name)) < 0;
                     });
    return listing;
}

void compare(const ExpectedListing& want, const ListingReport& got, const QString& prefix) {
    if (want.unreadable != got.unreadableLines)
        fail("unreadable lines", QString::number(got.unreadableLines));
    if (want.entries.size() != got.entries.size())
        fail("entry count",
             QStringLiteral("%1, expected %2").arg(got.entries.size()).arg(want.entries.size()));
    for (qsizetype i = 0; i < got.entries.size(); ++i) {
        const RemoteFile& e = got.entries[i];
        const Expected& w = want.entries[i];
        if (e.name != w.name)
            fail("entry", QStringLiteral("%1 is [%2], expected [%3]").arg(i).arg(e.name, w.name));
        if (e.isDirectory != w.isDirectory || e.size != w.size || e.modified != w.modified ||
            e.isLink != w.isLink || e.linkTarget != w.linkTarget || e.isAmbiguous != w.isAmbiguous)
            fail("fields of", e.name);
        if (e.path != listing::entryPath(prefix, e.name))
            fail("path", e.path);
        // What every operation relies on, whatever the rules above say.
        if (!listing::isAcceptableName(e.name) || (e.isDirectory && e.size) || (e.isLink && e.isDirectory))
            fail("unsafe entry", e.name);
        if (e.id.isNull() || e.id.version() != QUuid::Random || e.id.variant() != QUuid::DCE)
            fail("id", e.id.toString());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString path = nul >= 0 ? QString::fromUtf8(input.first(nul)) : QStringLiteral("/");
    const QByteArray output = nul >= 0 ? input.sliced(nul + 1) : input;
    compare(expectedListing(output), parseListingReport(output, path), listing::folderPrefix(path));
    return 0;
}
