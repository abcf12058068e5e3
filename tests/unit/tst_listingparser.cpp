#include "ftp/ListingParser.h"
#include "model/ServerText.h"

#include <QCollator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime);
}

// Everything the parser decides about an entry but its date, with the name as the server's exact bytes.
QByteArrayList describe(const QList<RemoteFile>& entries, int unreadableLines = 0) {
    QByteArrayList lines;
    for (const RemoteFile& entry : entries) {
        QByteArray text = entry.isLink ? "link" : entry.isDirectory ? "folder" : "file";
        text += " [" + servertext::toServer(entry.name) + ']';
        if (!entry.linkTarget.isEmpty())
            text += " -> [" + servertext::toServer(entry.linkTarget) + ']';
        if (entry.size)
            text += ' ' + QByteArray::number(*entry.size);
        lines << (entry.isAmbiguous ? text + " ambiguous" : text);
    }
    // Binary junk is told apart from names, so that an unreadable listing never passes for an empty folder.
    if (unreadableLines)
        lines << QByteArray::number(unreadableLines) + " unreadable";
    return lines;
}

const QByteArray kFile = "-rw-r--r-- 1 owner staff 5 Mar 05 14:30 ";
const QByteArray kLink = "lrwxrwxrwx 1 owner staff 5 Mar 05 14:30 ";
const QByteArray kDos = "01-23-24  10:31AM  ";

} // namespace

class TestListingParser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entries_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArrayList>("expected");
        const auto row = [](const char* tag, const QByteArray& output, const QByteArrayList& expected) {
            QTest::newRow(tag) << output << expected;
        };
        // The common layouts are checked against other projects' readings in tst_listingcorpus.
        // IIS pads the marker to a fixed width; others put one space after it, in any letter case.
        row("dos folder, one space, any case", "01-23-24 10:30AM <dIr> My Backups", {"folder [My Backups]"});
        row("dos folder, dotless i", "01-23-24 10:30AM <D\xc4\xb1R> x", {"folder [x]"});
        row("dos folder, unknown padding", "01-23-24  10:30AM  <DIR>  Backups",
            {"folder [Backups] ambiguous"});
        row("bare folder", "incoming/", {"folder [incoming]"});
        row("blank and total lines", "total 12\n\n \t\xc2\xa0\xe3\x80\x80\r\nTOTAL 7\n  total 3\ntotal\n",
            {"file [total]"});

        // Names are exact to the byte.
        row("unix edge spaces",
            kFile + "a\n" + kFile + "a \n" + kFile + " lone\n" + kFile +
                "two  spaces\n-rw-r--r-- 1 o g 5 Feb 18 2005  x",
            {"file [ lone] 5", "file [ x] 5", "file [a] 5", "file [a ] 5", "file [two  spaces] 5"});
        row("dos edge spaces", kDos + "2048  data  file.csv ", {"file [ data  file.csv ] 2048"});
        row("dos folder, IIS padding and a leading space", "01-23-24  10:30AM       <DIR>           x ",
            {"folder [ x ]"});
        row("bare edge spaces", " lone \r\n", {"file [ lone ]"});
        row("CR inside a name", kFile + "a\rb\r\n" + kFile + "Icon\r\r\nlast\r",
            {"file [a\rb] 5", "file [Icon\r] 5", "file [last]"});
        row("other breaks inside a name", "a\vb\fc\xc2\x85g\xe2\x80\xa8h\xe2\x80\xa9i",
            {"file [a\vb\fc\xc2\x85g\xe2\x80\xa8h\xe2\x80\xa9i]"});
        row("byte order mark only at the start", "\xef\xbb\xbf" + kFile + "a\n\xef\xbb\xbfz",
            {"file [a] 5", "file [\xef\xbb\xbfz]"});
        row("Latin-1 name", kFile + "caf\xe9.txt\r\nok\r\n", {"file [caf\xe9.txt] 5", "file [ok]"});
        row("Shift_JIS name holding 0x85", "07-17-13  02:43PM                   12 \x8b\xb4\x8c\x85",
            {"file [\x8b\xb4\x8c\x85] 12"});

        row("links with two arrows", kLink + "a -> b -> c\n" + kLink + "d -> -> c",
            {"link [a] -> [b -> c] 5 ambiguous", "link [d] -> [-> c] 5 ambiguous"});
        row("folder keeps its arrow", "drwxr-xr-x 2 o g 4096 Jan 10 2023 a -> b", {"folder [a -> b]"});

        // Folders first; then by name ignoring letter case, digits as characters, names that are not UTF-8 as
        // they are shown; equal names keep their order.
        row("order",
            "gamma\nfile2\nzeta/\nBeta\nREADME\n\xc9tude\nfile10\n\xc3\x89tat\nAlpha/\nalpha\nReadme\n",
            {"folder [Alpha]", "folder [zeta]", "file [alpha]", "file [Beta]", "file [\xc3\x89tat]",
             "file [\xc9tude]", "file [file10]", "file [file2]", "file [gamma]", "file [README]",
             "file [Readme]"});
        row("same name twice", kFile + "a\na\n", {"file [a] 5 ambiguous", "file [a] ambiguous"});
        row("folder and file of one name", "x\nx/\n", {"folder [x] ambiguous", "file [x] ambiguous"});

        // Names that are not real or would lead an operation out of the folder, in every format; none may
        // fall through to the next parser either.
        row("refused names",
            "drwxr-xr-x 2 o g 4096 Jan 10 2023 ..\n" + kFile + ".\n" + kFile + "../x\n" + kFile +
                "a/../../y\n" + kFile + "/etc\n" + kFile + "x/..\n" + kFile + "..\\victim\n" + kFile +
                "\\etc\n" + kFile + "a\\..\\..\\y\n" + kLink + "../x -> y\n" + kDos + "5 .\n" +
                "01-23-24 10:30AM <DIR> ..\n" +
                "01-23-24 10:30AM <DIR> ../up\n01-23-24 10:30AM <DIR>\n.\n../\n/\n./\n/etc/passwd\na/./b\n",
            {});
        row("names that stay inside", "...\na/b/\na\\b\n", {"folder [a/b]", "file [...]", "file [a\\b]"});

        // Lines a parser does not recognise go to the next one.
        row("unix permissions counted in characters",
            "-rw-r--r-\xc3\xa9 1 o g 5 Mar 05 14:30 x\n-rw-r--r\xc3\xa9 1 o g 5 Mar 05 14:30 y",
            {"file [-rw-r--r\xc3\xa9 1 o g 5 Mar 05 14:30 y]", "file [x] 5"});
        row("unix char device", "crw-r--r-- 1 o g 5 Mar 05 14:30 tty",
            {"file [crw-r--r-- 1 o g 5 Mar 05 14:30 tty]"});
        row("unix too few fields", "-rw-r--r-- 1 o 5 Mar 05 x", {"file [-rw-r--r-- 1 o 5 Mar 05 x]"});
        row("dos glued marker", "01-23-24 10:30AM <DIR>Backups", {"file [01-23-24 10:30AM <DIR>Backups]"});
        row("NUL bytes", "\0\0\0\n\0"_ba, {"2 unreadable"});
        row("not UTF-8, control characters", "caf\xe9\x01\ncaf\xe9\x1f\x7f\n", {"2 unreadable"});
        row("not UTF-8, tab", "caf\xe9\tx\n", {"file [caf\xe9\tx]"});
        row("UTF-8, control character", "a\x01z\ncaf\xe9\n", {"file [a\x01z]", "file [caf\xe9]"});
        row("junk among names", "ok\n\x89\x1a\x00\x0d\n"_ba, {"file [ok]", "1 unreadable"});
        row("sizes that are numbers",
            kDos + "+12 a\n" + kDos + "-5 b\n" + kDos + "9223372036854775807 c\n" + kDos +
                "-9223372036854775808 d",
            {"file [a] 12", "file [b] -5", "file [c] 9223372036854775807", "file [d] -9223372036854775808"});
        row("sizes that are not numbers",
            kDos + "1,234 e\n" + kDos + "9223372036854775808 f\n" + kDos + "\xd9\xa1\xd9\xa2 g",
            {"file [" + kDos + "1,234 e]", "file [" + kDos + "\xd9\xa1\xd9\xa2 g]",
             "file [" + kDos + "9223372036854775808 f]"});
    }

    void entries() {
        QFETCH(QByteArray, output);
        QFETCH(QByteArrayList, expected);
        const ListingReport report = parseListingReport(output, u"/docs"_s);
        QCOMPARE(describe(report.entries, report.unreadableLines), expected);
        for (const RemoteFile& entry : report.entries) {
            QCOMPARE(entry.path, u"/docs/"_s + entry.name);
            QVERIFY(!entry.id.isNull());
        }
    }

    // A date without a year is read as in 2000 and shown as the last such day not more than a day ahead of
    // today (here 6 December 2026).
    void unixDate_data() {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QDateTime>("expected"); // invalid: no date
        QTest::addColumn<QDateTime>("likely");   // invalid: as expected
        const auto row = [](const char* tag, const QByteArray& date, const QDateTime& expected = {},
                            const QDateTime& likely = {}) {
            QTest::newRow(tag) << date << expected << likely;
        };
        row("time", "Mar 05 14:30", local(2000, 3, 5, 14, 30), local(2026, 3, 5, 14, 30));
        row("tomorrow: a server ahead of us", "Dec 07 01:00", local(2000, 12, 7, 1, 0),
            local(2026, 12, 7, 1, 0));
        row("later this year: last year's", "Dec 20 09:00", local(2000, 12, 20, 9, 0),
            local(2025, 12, 20, 9, 0));
        row("year", "Dec 20 2030", local(2030, 12, 20));
        row("month any case", "mAR 05 14:30", local(2000, 3, 5, 14, 30), local(2026, 3, 5, 14, 30));
        row("one-digit hour", "Mar 05 4:30", local(2000, 3, 5, 4, 30), local(2026, 3, 5, 4, 30));
        row("leap day without year", "Feb 29 12:00", local(2000, 2, 29, 12, 0), local(2024, 2, 29, 12, 0));
        row("leap day 2024", "Feb 29 2024", local(2024, 2, 29));
        row("one-digit day", "Mar 5 14:30");
        row("three-digit day", "Mar 005 14:30");
        row("one-digit minute", "Mar 05 14:3");
        row("seconds", "Mar 05 14:30:12");
        row("hour 24", "Mar 05 24:00");
        row("April 31", "Apr 31 10:00");
        row("Feb 29 common year", "Feb 29 2023");
        row("two-digit year", "Mar 05 23");
        row("long month", "Sept 05 2023");
    }

    void unixDate() {
        QFETCH(QByteArray, date);
        QFETCH(QDateTime, expected);
        QFETCH(QDateTime, likely);
        const QList<RemoteFile> entries = parseListing("-rw-r--r-- 1 o g 42 " + date + " f.txt", u"/"_s);
        QCOMPARE(describe(entries), QByteArrayList{"file [f.txt] 42"});
        QCOMPARE(entries.first().modified, expected.isValid() ? std::optional(expected) : std::nullopt);
        QCOMPARE(entries.first().modifiedWithoutYear, expected.isValid() && date.contains(':'));
        if (expected.isValid())
            QCOMPARE(likelyModified(entries.first(), QDate(2026, 12, 6)),
                     likely.isValid() ? likely : expected);
    }

    // Local times hold wall-clock time, so each is compared while the zone is still in force.
    void unixDate_inAZoneWithClockChanges() {
        const QByteArray savedTz = qgetenv("TZ");
        const auto restoreTz = qScopeGuard([&] {
            savedTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", savedTz);
            tzset();
        });
        qputenv("TZ", "Europe/Berlin");
        tzset();
        // A time the clock skips reads with the offset before the change, as the platform's formatter does.
        const QList<RemoteFile> entries = parseListing("-rw-r--r-- 1 o g 5 Mar 26 02:30 skipped", u"/"_s);
        QCOMPARE(entries.value(0).modified->toUTC(), QDateTime(QDate(2000, 3, 26), QTime(1, 30), Qt::UTC));
        QCOMPARE(entries.value(0).modified->time(), QTime(3, 30));
    }

    // Large listings are parsed on several threads and sorted by buckets; the result must still be what a
    // plain stable sort gives, with every repeated name found wherever its copies land.
    void largeListing_asAPlainReadingWouldGive() {
        QByteArray output;
        QList<std::pair<bool, QString>> listed; // a folder?, the name
        QHash<QString, int> copies;
        for (int i = 0; i < 60000; ++i) {
            // Each number comes three times, once upper-cased: two copies are the same name, often one
            // folder and one file.
            const QString name = u"n%1 \u00e9"_s.arg((i * 7919) % 20000);
            listed.append({i % 3 == 0, i / 20000 == 1 ? name.toUpper() : name});
            output += (i % 3 == 0 ? "drwxr-xr-x 2 o g 4096 "_ba : "-rw-r--r-- 1 o g 42 "_ba) +
                      "Jan 10 2023 " + listed.last().second.toUtf8() + (i % 1000 ? "\r\n" : "\r\n..\n");
            ++copies[listed.last().second];
        }
        QCollator collator(QLocale().language() == QLocale::C ? QLocale(u"en_US"_s) : QLocale());
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(listed.begin(), listed.end(), [&](const auto& a, const auto& b) {
            return a.first != b.first ? a.first : collator.compare(a.second, b.second) < 0;
        });
        QByteArrayList expected;
        for (const auto& [folder, name] : listed)
            expected << (folder ? "folder [" : "file [") + name.toUtf8() + (folder ? "]" : "] 42") +
                            (copies[name] > 1 ? " ambiguous" : "");

        const QList<RemoteFile> entries = parseListing(output, u"/big"_s);
        QCOMPARE(describe(entries), expected);
        // Fresh ids for every entry of every listing.
        QSet<QUuid> ids{parseListing(output.first(200), u"/big"_s).first().id};
        for (const RemoteFile& entry : entries) {
            QCOMPARE(entry.path, u"/big/"_s + entry.name);
            QCOMPARE(entry.modified, std::optional(local(2023, 1, 10)));
            QCOMPARE(entry.id.version(), QUuid::Random);
            ids.insert(entry.id);
        }
        QCOMPARE(ids.size(), entries.size() + 1);
    }
};

QTEST_GUILESS_MAIN(TestListingParser)
#include "tst_listingparser.moc"
