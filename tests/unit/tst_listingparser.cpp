#include "ftp/ListingParser.h"

#include <QCollator>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <ctime>

using namespace Qt::StringLiterals;
using listing::Outcome;

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime);
}

// Which of the three parsers decides the line, as parseListing offers it: "unix", "dos", "bare".
std::pair<QString, listing::LineResult> decide(const QString& line, const QString& prefix) {
    listing::LineResult result = listing::parseUnixLine(line, prefix);
    if (result.outcome != Outcome::notRecognised)
        return {u"unix"_s, result};
    result = listing::parseDosLine(line, prefix);
    if (result.outcome != Outcome::notRecognised)
        return {u"dos"_s, result};
    return {u"bare"_s, listing::parseBareNameLine(line, prefix)};
}

QStringList names(const QList<RemoteFile>& entries) {
    QStringList out;
    for (const RemoteFile& entry : entries)
        out << entry.name;
    return out;
}

const QString kUnixFile = u"-rw-r--r-- 1 owner staff 42 "_s;
const QString kDosFile = u"01-23-24  10:31AM  "_s;

} // namespace

class TestListingParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parseLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parser");
        QTest::addColumn<QString>("name"); // null: refused
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<QVariant>("size");
        QTest::addColumn<QDateTime>("modified");
        const QVariant none;
        const auto row = [](const char* tag, const QString& line, const char* parser, const QString& name,
                            bool isDir, const QVariant& size, const QDateTime& modified = {}) {
            QTest::newRow(tag) << line << QString::fromLatin1(parser) << name << isDir << size << modified;
        };
        const auto refused = [](const char* tag, const QString& line, const char* parser) {
            QTest::newRow(tag) << line << QString::fromLatin1(parser) << QString() << false << QVariant()
                               << QDateTime();
        };
        // The worked examples.
        row("unix", u"-rw-r--r-- 1 owner staff 1234 Mar 05 14:30 notes.txt"_s, "unix", u"notes.txt"_s, false,
            1234, local(2000, 3, 5, 14, 30));
        row("unix 8 fields", u"-rw-r--r-- 1 owner 512 Dec 31 23:59 a.log"_s, "unix", u"a.log"_s, false, 512,
            local(2000, 12, 31, 23, 59));
        row("unix no group", u"-rw-r--r-- 1 owner 77 Feb 02 08:15 two words"_s, "unix", u"two words"_s, false,
            77, local(2000, 2, 2, 8, 15));
        row("unix link", u"lrwxrwxrwx 1 owner staff 7 Jan 01 00:00 latest -> v2"_s, "unix", u"latest -> v2"_s,
            false, 7, local(2000, 1, 1));
        row("unix folder has no size", u"drwxr-xr-x 2 owner staff 4096 Jan 10 2023 photos"_s, "unix",
            u"photos"_s, true, none, local(2023, 1, 10));
        row("dos folder", u"01-23-24  10:30AM  <DIR>  Backups"_s, "dos", u"Backups"_s, true, none);
        row("dos file", u"01-23-24  10:31AM  2048 data file.csv"_s, "dos", u"data file.csv"_s, false, 2048);
        row("bare folder", u"incoming/"_s, "bare", u"incoming"_s, true, none);
        refused("unix dot-dot", u"drwxr-xr-x 2 owner staff 4096 Jan 10 2023 .."_s, "unix");

        // Names keep their inner runs of spaces.
        row("unix spaces", kUnixFile + u"Mar 05 14:30 two  spaces.txt"_s, "unix", u"two  spaces.txt"_s, false,
            42, local(2000, 3, 5, 14, 30));
        row("unix no group spaces", u"-rw-r--r-- 1 owner 77 Feb 02 08:15 a   b"_s, "unix", u"a   b"_s, false,
            77, local(2000, 2, 2, 8, 15));
        row("dos file spaces", kDosFile + u"2048 data  file.csv"_s, "dos", u"data  file.csv"_s, false, 2048);
        row("dos folder spaces", u"01-23-24 10:30AM <dir>  My   Backups"_s, "dos", u"My   Backups"_s, true,
            none);

        // Lines that fall through to the next parser.
        row("unix 9-char permissions", u"-rw-r--r- 1 o g 5 Mar 05 14:30 x"_s, "bare",
            u"-rw-r--r- 1 o g 5 Mar 05 14:30 x"_s, false, none);
        row("unix char device", u"crw-r--r-- 1 o g 5 Mar 05 14:30 tty"_s, "bare",
            u"crw-r--r-- 1 o g 5 Mar 05 14:30 tty"_s, false, none);
        row("unix too few fields", u"-rw-r--r-- 1 o 5 Mar 05 x"_s, "bare", u"-rw-r--r-- 1 o 5 Mar 05 x"_s,
            false, none);
        row("dos glued marker", u"01-23-24 10:30AM <DIR>Backups"_s, "bare",
            u"01-23-24 10:30AM <DIR>Backups"_s, false, none);
        row("dos size with comma", kDosFile + u"1,234 a"_s, "bare", kDosFile + u"1,234 a"_s, false, none);
        row("bare total word", u"total"_s, "bare", u"total"_s, false, none);

        // What counts as a number.
        row("size plus", kDosFile + u"+12 f"_s, "dos", u"f"_s, false, 12);
        row("size minus", kDosFile + u"-5 f"_s, "dos", u"f"_s, false, -5);
        row("size int64 max", kDosFile + u"9223372036854775807 f"_s, "dos", u"f"_s, false,
            std::numeric_limits<qint64>::max());
        row("size int64 min", kDosFile + u"-9223372036854775808 f"_s, "dos", u"f"_s, false,
            std::numeric_limits<qint64>::min());
        row("size over int64", kDosFile + u"9223372036854775808 f"_s, "bare",
            kDosFile + u"9223372036854775808 f"_s, false, none);
        row("size 2^64-1", kDosFile + u"18446744073709551615 f"_s, "bare",
            kDosFile + u"18446744073709551615 f"_s, false, none);
        row("size non-ASCII digits", kDosFile + u"\u0661\u0662 f"_s, "bare", kDosFile + u"\u0661\u0662 f"_s,
            false, none);

        // Dot names and names that would lead out of the folder are refused by every parser.
        refused("dos dot-dot folder", u"01-23-24 10:30AM <DIR> .."_s, "dos");
        refused("dos dot file", kDosFile + u"5 ."_s, "dos");
        refused("dos folder without name", u"01-23-24 10:30AM <DIR>"_s, "dos");
        refused("bare dot", u"."_s, "bare");
        refused("bare dot-dot slash", u"../"_s, "bare");
        refused("bare slash", u"/"_s, "bare");
        refused("bare dot slash", u"./"_s, "bare");
        refused("unix parent", kUnixFile + u"Mar 05 14:30 ../x"_s, "unix");
        refused("unix climbs", kUnixFile + u"Mar 05 14:30 a/../../y"_s, "unix");
        refused("unix absolute", kUnixFile + u"Mar 05 14:30 /etc"_s, "unix");
        refused("unix ends in dot-dot", kUnixFile + u"Mar 05 14:30 x/.."_s, "unix");
        refused("dos parent folder", u"01-23-24 10:30AM <DIR> ../up"_s, "dos");
        refused("bare absolute", u"/etc/passwd"_s, "bare");
        refused("bare dot segment", u"a/./b"_s, "bare");
        row("unix relative link kept", u"lrwxrwxrwx 1 o g 5 Mar 05 14:30 latest -> ../v2"_s, "unix",
            u"latest -> ../v2"_s, false, 5, local(2000, 3, 5, 14, 30));
        row("bare three dots", u"..."_s, "bare", u"..."_s, false, none);
        row("bare inner slash", u"a/b/"_s, "bare", u"a/b"_s, true, none);
    }

    void parseLine() {
        QFETCH(QString, line);
        QFETCH(QString, parser);
        QFETCH(QString, name);
        QFETCH(bool, isDir);
        QFETCH(QVariant, size);
        QFETCH(QDateTime, modified);

        const auto [decider, result] = decide(line, u"/docs/"_s);
        QCOMPARE(decider, parser);
        const QList<RemoteFile> listed = parseListing(line.toUtf8(), u"/docs"_s);
        if (name.isNull()) {
            QCOMPARE(result.outcome, Outcome::refused);
            QVERIFY(listed.isEmpty());
            return;
        }
        QCOMPARE(result.outcome, Outcome::entry);
        QCOMPARE(listed.size(), 1);
        for (const RemoteFile& entry : {result.entry, listed.first()}) {
            QCOMPARE(entry.name, name);
            QCOMPARE(entry.path, u"/docs/"_s + name);
            QCOMPARE(entry.isDirectory, isDir);
            QCOMPARE(entry.size.has_value(), size.isValid());
            if (size.isValid())
                QCOMPARE(*entry.size, size.toLongLong());
            QCOMPARE(entry.modified.has_value(), modified.isValid());
            if (modified.isValid())
                QCOMPARE(*entry.modified, modified);
            QVERIFY(!entry.id.isNull());
        }
    }

    void unixDate_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QDateTime>("expected"); // invalid: no date
        QTest::newRow("time") << u"Mar 05 14:30"_s << local(2000, 3, 5, 14, 30);
        QTest::newRow("year") << u"Jan 10 2023"_s << local(2023, 1, 10);
        QTest::newRow("month any case") << u"mAR 05 14:30"_s << local(2000, 3, 5, 14, 30);
        QTest::newRow("one-digit hour") << u"Mar 05 4:30"_s << local(2000, 3, 5, 4, 30);
        QTest::newRow("leap day without year") << u"Feb 29 12:00"_s << local(2000, 2, 29, 12, 0);
        QTest::newRow("leap day 2024") << u"Feb 29 2024"_s << local(2024, 2, 29);
        QTest::newRow("one-digit day") << u"Mar 5 14:30"_s << QDateTime();
        QTest::newRow("three-digit day") << u"Mar 005 14:30"_s << QDateTime();
        QTest::newRow("one-digit minute") << u"Mar 05 14:3"_s << QDateTime();
        QTest::newRow("seconds") << u"Mar 05 14:30:12"_s << QDateTime();
        QTest::newRow("hour 24") << u"Mar 05 24:00"_s << QDateTime();
        QTest::newRow("April 31") << u"Apr 31 10:00"_s << QDateTime();
        QTest::newRow("Feb 29 common year") << u"Feb 29 2023"_s << QDateTime();
        QTest::newRow("two-digit year") << u"Mar 05 23"_s << QDateTime();
        QTest::newRow("day first") << u"05 Mar 2023"_s << QDateTime();
        QTest::newRow("long month") << u"Sept 05 2023"_s << QDateTime();
        QTest::newRow("localised month") << u"M\u00e4r 05 2023"_s << QDateTime();
    }

    void unixDate() {
        QFETCH(QString, date);
        QFETCH(QDateTime, expected);
        const listing::LineResult result = listing::parseUnixLine(kUnixFile + date + u" f.txt"_s, u"/"_s);
        QCOMPARE(result.outcome, Outcome::entry);
        QCOMPARE(result.entry.name, u"f.txt"_s);
        QCOMPARE(result.entry.size, std::optional<qint64>(42));
        QCOMPARE(result.entry.modified.has_value(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(*result.entry.modified, expected);
    }

    void unixDate_skippedByClockChange_readsWithEarlierOffset() {
        const QByteArray savedTz = qgetenv("TZ");
        const auto restoreTz = qScopeGuard([&] {
            savedTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", savedTz);
            tzset();
        });
        qputenv("TZ", "Europe/Berlin");
        tzset();
        // Local times hold wall-clock time, so compare while the zone is still in force.
        const auto result = listing::parseUnixLine(kUnixFile + u"Mar 26 02:30 f"_s, u"/"_s);
        QVERIFY(result.entry.modified.has_value());
        QCOMPARE(result.entry.modified->toUTC(), QDateTime(QDate(2000, 3, 26), QTime(1, 30), Qt::UTC));
        QCOMPARE(result.entry.modified->time(), QTime(3, 30));
    }

    void listing_lineHandling() {
        QVERIFY(parseListing({}, u"/"_s).isEmpty());
        const QByteArray lf = "total 12\n-rw-r--r-- 1 o g 1 Mar 05 14:30 a\n\n   \t \nTOTAL 7\nb/\n";
        QByteArray crlf = lf;
        crlf.replace("\n", "\r\n");
        for (const QByteArray& output : {lf, crlf}) {
            const QList<RemoteFile> entries = parseListing(output, u"/"_s);
            QCOMPARE(names(entries), QStringList({u"b"_s, u"a"_s}));
            QCOMPARE(entries[1].modified, std::optional(local(2000, 3, 5, 14, 30)));
        }
        // Every one of these ends a line; Unicode spaces and tabs around a line are not part of it.
        const QString breaks = u"a\u000bb\u000cc\rd\u0085e\u2028f\u2029g\n\u00a0\u3000\th\t "_s;
        QCOMPARE(names(parseListing(breaks.toUtf8(), u"/"_s)),
                 QStringList({u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s, u"g"_s, u"h"_s}));
        // A byte-order mark opens the output, but inside it is part of a name.
        QCOMPARE(names(parseListing("\xef\xbb\xbf-rw-r--r-- 1 o g 1 Mar 05 14:30 a\n\xef\xbb\xbf"
                                    "b",
                                    u"/"_s)),
                 QStringList({u"a"_s, u"\ufeffb"_s}));
    }

    void listing_invalidUtf8_givesNothing_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("stray byte") << QByteArray("a\nb\xff\nc\n");
        QTest::newRow("overlong") << QByteArray("a\xc0\xaf");
        QTest::newRow("surrogate") << QByteArray("a\xed\xa0\x80");
        QTest::newRow("truncated") << QByteArray("a\xe2\x80");
    }

    void listing_invalidUtf8_givesNothing() {
        QFETCH(QByteArray, output);
        QVERIFY(!isValidUtf8(output));
        QVERIFY(parseListing(output, u"/"_s).isEmpty());
    }

    void entryPath_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString() << u"x"_s;
        QTest::newRow("root") << u"/"_s << u"x"_s;
        QTest::newRow("absolute") << u"/pub"_s << u"/pub/x"_s;
        QTest::newRow("absolute slash") << u"/pub/"_s << u"/pub/x"_s;
        QTest::newRow("relative") << u"pub"_s << u"pub/x"_s;
    }

    void entryPath() {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        const QList<RemoteFile> entries = parseListing("x", folder);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().path, path);
    }

    void sort_foldersFirstCaseInsensitiveStable() {
        const QByteArray output = "gamma\nfile2\nzeta/\nBeta\nREADME\nfile10\n\xc3\x89"
                                  "clair\nAlpha/\nalpha\nReadme\n";
        QCOMPARE(names(parseListing(output, u"/"_s)),
                 QStringList({u"Alpha"_s, u"zeta"_s, u"alpha"_s, u"Beta"_s, u"\u00c9clair"_s, u"file10"_s,
                              u"file2"_s, u"gamma"_s, u"README"_s, u"Readme"_s}));
        QCOMPARE(names(parseListing("Readme\nREADME\n", u"/"_s)), QStringList({u"Readme"_s, u"README"_s}));
    }

    void recordedListings_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("pyftpdlib") << u"pyftpdlib-unix.txt"_s;
        QTest::newRow("vsftpd") << u"vsftpd-unix.txt"_s;
    }

    // What real servers sent through curl (tests/support/listings/README.md).
    void recordedListings() {
        QFETCH(QString, file);
        QFile recording(QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/listings/") + file);
        QVERIFY(recording.open(QIODevice::ReadOnly));
        const QList<RemoteFile> entries = parseListing(recording.readAll(), u"/pub"_s);
        struct Expected {
            QString name;
            std::optional<qint64> size;
            QDateTime modified;
        };
        const QDateTime old = local(2023, 1, 10);
        const QList<Expected> expected = {
            {u"photos"_s, std::nullopt, old},
            {u"latest -> photos"_s, 6, local(2000, 12, 6, 7, 45)},
            {u"notes.txt"_s, 1234, old},
            {u"recent.log"_s, 42, local(2000, 12, 5, 7, 45)},
            {u"R\u00e9sum\u00e9 2024.pdf"_s, 77, old},
            {u"two  spaces.txt"_s, 5, old},
            {u"\u65e5\u672c\u8a9e.txt"_s, 3, old},
        };
        QCOMPARE(entries.size(), expected.size());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QCOMPARE(entries[i].name, expected[i].name);
            QCOMPARE(entries[i].path, u"/pub/"_s + expected[i].name);
            QCOMPARE(entries[i].isDirectory, i == 0);
            QCOMPARE(entries[i].size, expected[i].size);
            QCOMPARE(entries[i].modified, std::optional(expected[i].modified));
        }
    }

    // Large listings are parsed on several threads and sorted by buckets; the result must still be what a
    // plain stable sort of the listing gives.
    void largeListing_sortedAsAStableSortWould() {
        QByteArray output;
        QList<RemoteFile> listed;
        for (int i = 0; i < 60000; ++i) {
            RemoteFile entry;
            entry.isDirectory = i % 3 == 0;
            // Each name comes three times, in varying letter case, so ties are many and scattered.
            entry.name = u"n%1 \u00e9"_s.arg((i * 7919) % 20000);
            if (i % 2)
                entry.name = entry.name.toUpper();
            output += (entry.isDirectory ? u"drwxr-xr-x 2 o g 4096 "_s : kUnixFile).toUtf8() +
                      "Jan 10 2023 " + entry.name.toUtf8() + (i % 1000 ? "\r\n" : "\r\n..\n");
            listed << entry;
        }
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(u"en_US"_s);
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QList<RemoteFile> expected = listed;
        std::stable_sort(expected.begin(), expected.end(), [&](const RemoteFile& a, const RemoteFile& b) {
            return a.isDirectory != b.isDirectory ? a.isDirectory : collator.compare(a.name, b.name) < 0;
        });

        const QList<RemoteFile> entries = parseListing(output, u"/big"_s);
        QCOMPARE(names(entries), names(expected));
        QSet<QUuid> ids;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QCOMPARE(entries[i].isDirectory, expected[i].isDirectory);
            QCOMPARE(entries[i].path, u"/big/"_s + entries[i].name);
            QCOMPARE(entries[i].modified, std::optional(local(2023, 1, 10)));
            ids.insert(entries[i].id);
        }
        QCOMPARE(ids.size(), entries.size());
        listing::sortEntries(listed);
        QCOMPARE(names(listed), names(expected));

        // A name and its path share storage; changing one leaves the other alone.
        RemoteFile copy = entries.first();
        copy.name += u'x';
        copy.path.clear();
        QCOMPARE(copy.name, entries.first().name + u'x');
        QCOMPARE(entries.first().path, u"/big/"_s + entries.first().name);
    }

    void ids_freshRandomPerListing() {
        const QByteArray output = "a\nb\nc\n";
        const QList<RemoteFile> first = parseListing(output, u"/"_s);
        const QList<RemoteFile> second = parseListing(output, u"/"_s);
        QSet<QUuid> ids;
        for (const RemoteFile& entry : first + second) {
            QCOMPARE(entry.id.version(), QUuid::Random);
            QCOMPARE(entry.id.variant(), QUuid::DCE);
            ids.insert(entry.id);
        }
        QCOMPARE(ids.size(), 6);
    }
};

QTEST_GUILESS_MAIN(TestListingParser)
#include "tst_listingparser.moc"
