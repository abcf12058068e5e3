// Listing output comes straight from a server. Besides not crashing or hanging, parseListing must give
// exactly what a plain, line-at-a-time reading of the listing rules gives: the fast path (word-at-a-time
// line splitting, names decoded straight out of the output, cached dates, bucketed sorting) is checked
// against the slow, obvious reading below, and every entry must keep an operation inside the listed folder.
//
// Input: the folder path (UTF-8), a NUL byte, then curl's output. Without a NUL the whole input is the
// output of a listing of "/".

#include "ftp/ListingParser.h"

#include <QByteArray>
#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
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

bool isBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toString();
}

bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QStringList linesOf(const QString& text) {
    QStringList lines;
    QString current;
    for (const QChar c : text) {
        if (isLineBreak(c)) {
            lines.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    lines.append(current);
    return lines;
}

std::optional<qint64> number(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[+-]?[0-9]+$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// The line from its field `first` (counted from 1) to its end, trimmed: runs of spaces inside a name stay.
QString restFrom(const QString& line, int first) {
    static QHash<int, QRegularExpression> skips;
    auto skip = skips.find(first);
    if (skip == skips.end())
        skip = skips.insert(first, QRegularExpression(QStringLiteral("^ *(?:[^ ]+ +){%1}").arg(first - 1)));
    const QRegularExpressionMatch match = skip->match(line);
    if (!match.hasMatch())
        fail("restFrom: field missing", line);
    return trimmed(QStringView(line).sliced(match.capturedEnd()));
}

bool acceptable(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.startsWith(u'/'))
        return false;
    const QStringList segments = name.split(u'/');
    return std::none_of(segments.cbegin(), segments.cend(),
                        [](const QString& s) { return s == u"." || s == u".."; });
}

struct Expected {
    listing::Outcome outcome = listing::Outcome::notRecognised;
    QString name;
    bool isDirectory = false;
    std::optional<qint64> size;
};

Expected decided(QString name, bool isDirectory, std::optional<qint64> size) {
    Expected e;
    e.outcome = acceptable(name) ? listing::Outcome::entry : listing::Outcome::refused;
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
    if (permissions.size() < 10 ||
        !(permissions[0] == u'd' || permissions[0] == u'-' || permissions[0] == u'l'))
        return {};
    std::optional<qint64> size;
    int nameField = 0;
    if (fields.size() == 8) {
        size = number(fields[3]);
        nameField = 8;
    } else if ((size = number(fields[4]))) {
        nameField = 9;
    } else {
        size = number(fields[3]);
        nameField = 8;
    }
    if (!size)
        return {};
    return decided(restFrom(line, nameField), permissions[0] == u'd', size);
}

Expected readDos(const QString& line) {
    const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
    if (line.toUpper().contains(u"<DIR>")) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields[i].toUpper() == u"<DIR>")
                return decided(i + 1 < fields.size() ? restFrom(line, int(i + 2)) : QString(), true, {});
        }
        return {};
    }
    if (fields.size() < 4)
        return {};
    const std::optional<qint64> size = number(fields[2]);
    if (!size)
        return {};
    return decided(restFrom(line, 4), false, size);
}

Expected readBare(const QString& line) {
    if (line.isEmpty() || line == u"." || line == u"..")
        return {listing::Outcome::refused, {}, false, {}};
    QString name = line;
    const bool isDirectory = name.endsWith(u'/');
    if (isDirectory)
        name.chop(1);
    return decided(name, isDirectory, {});
}

void compareLineResult(const char* parser, const Expected& want, const listing::LineResult& got,
                       const QString& prefix, const QString& line) {
    if (want.outcome != got.outcome)
        fail(parser, QStringLiteral("outcome differs for line [%1]").arg(line));
    if (got.outcome != listing::Outcome::entry)
        return;
    const RemoteFile& e = got.entry;
    if (e.name != want.name || e.isDirectory != want.isDirectory || e.size != want.size)
        fail(parser, QStringLiteral("entry differs for line [%1]: got name [%2]").arg(line, e.name));
    if (e.path != listing::entryPath(prefix, want.name))
        fail(parser, QStringLiteral("path differs for line [%1]: [%2]").arg(line, e.path));
}

struct ExpectedEntry {
    Expected line;
    std::optional<QDateTime> modified;
};

std::optional<QList<ExpectedEntry>> expectedListing(QByteArray output, const QString& prefix) {
    // One leading byte order mark is an encoding mark; any other U+FEFF is text.
    if (output.startsWith("\xef\xbb\xbf"))
        output.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder(output);
    if (decoder.hasError())
        return std::nullopt;

    QList<ExpectedEntry> entries;
    for (const QString& raw : linesOf(text)) {
        const QString line = trimmed(raw);
        if (line.isEmpty() || line.toLower().startsWith(u"total "))
            continue;
        const Expected unix = readUnix(line);
        compareLineResult("parseUnixLine", unix, listing::parseUnixLine(line, prefix), prefix, line);
        Expected chosen = unix;
        if (chosen.outcome == listing::Outcome::notRecognised) {
            const Expected dos = readDos(line);
            compareLineResult("parseDosLine", dos, listing::parseDosLine(line, prefix), prefix, line);
            chosen = dos;
        }
        if (chosen.outcome == listing::Outcome::notRecognised) {
            const Expected bare = readBare(line);
            compareLineResult("parseBareNameLine", bare, listing::parseBareNameLine(line, prefix), prefix,
                              line);
            chosen = bare;
        }
        if (chosen.outcome != listing::Outcome::entry)
            continue;
        // Dates are read by the same rules everywhere; what matters here is that the fast path's cached
        // dates land on the right entries.
        std::optional<QDateTime> modified;
        if (unix.outcome == listing::Outcome::entry)
            modified = listing::parseUnixLine(line, prefix).entry.modified;
        entries.append({chosen, modified});
    }
    return entries;
}

void sortExpected(QList<ExpectedEntry>& entries) {
    const QCollator collator = listing::nameCollator(); // the order under test, not a second copy of it
    std::stable_sort(entries.begin(), entries.end(),
                     [&collator](const ExpectedEntry& a, const ExpectedEntry& b) {
                         if (a.line.isDirectory != b.line.isDirectory)
                             return a.line.isDirectory;
                         return collator.compare(a.line.name, b.line.name) < 0;
                     });
}

void compareListing(const QList<ExpectedEntry>& want, const QList<RemoteFile>& got, const QString& prefix,
                    const char* what) {
    if (want.size() != got.size())
        fail(what, QStringLiteral("entry count %1, expected %2").arg(got.size()).arg(want.size()));
    for (qsizetype i = 0; i < got.size(); ++i) {
        const RemoteFile& e = got[i];
        const ExpectedEntry& w = want[i];
        if (e.name != w.line.name)
            fail(what, QStringLiteral("entry %1 is [%2], expected [%3]").arg(i).arg(e.name, w.line.name));
        if (e.isDirectory != w.line.isDirectory || e.size != w.line.size || e.modified != w.modified)
            fail(what, QStringLiteral("fields of [%1] differ").arg(e.name));
        if (e.path != listing::entryPath(prefix, e.name))
            fail(what, QStringLiteral("path [%1] of [%2]").arg(e.path, e.name));
        // What every operation relies on, whatever the rules above say.
        if (!listing::isAcceptableName(e.name) || (e.isDirectory && e.size))
            fail(what, QStringLiteral("unsafe entry [%1]").arg(e.name));
        if (e.id.isNull() || e.id.version() != QUuid::Random || e.id.variant() != QUuid::DCE)
            fail(what, QStringLiteral("id %1").arg(e.id.toString()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString path = nul >= 0 ? QString::fromUtf8(input.first(nul)) : QStringLiteral("/");
    const QByteArray output = nul >= 0 ? input.sliced(nul + 1) : input;
    const QString prefix = listing::folderPrefix(path);

    const QList<RemoteFile> entries = parseListing(output, path);

    std::optional<QList<ExpectedEntry>> expected = expectedListing(output, prefix);
    if (isValidUtf8(output) != expected.has_value())
        fail("isValidUtf8 disagrees with the UTF-8 decoder");
    if (!expected) {
        if (!entries.isEmpty())
            fail("entries from output that is not UTF-8");
        return 0;
    }

    // sortEntries on its own, from listing order, must agree with the sort inside parseListing.
    QList<RemoteFile> unsorted;
    unsorted.reserve(expected->size());
    for (const ExpectedEntry& w : *expected) {
        RemoteFile e;
        e.id = QUuid(uint(unsorted.size()), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 1);
        e.name = w.line.name;
        e.path = listing::entryPath(prefix, w.line.name);
        e.isDirectory = w.line.isDirectory;
        e.size = w.line.size;
        e.modified = w.modified;
        unsorted.append(e);
    }
    sortExpected(*expected);
    compareListing(*expected, entries, prefix, "parseListing:");
    listing::sortEntries(unsorted);
    compareListing(*expected, unsorted, prefix, "sortEntries:");
    return 0;
}
