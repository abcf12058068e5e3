#include "ftp/ListingParser.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// Listing lines gathered from other FTP projects' test suites (see listings-corpus/README.md), each with
// what that project expects. Every line must parse without harm; where the peer's reading is also ours,
// the entry must match it.

namespace {

using CorpusLine = std::pair<QByteArray, QJsonObject>; // the bytes, and id, expect, asserted, quirks

QList<CorpusLine> loadCorpus() {
    QList<CorpusLine> lines;
    const QDir dir(QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/listings-corpus"));
    for (const QString& file : dir.entryList({u"*.json"_s}, QDir::Files, QDir::Name)) {
        QFile json(dir.filePath(file));
        if (!json.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(json.fileName()));
        for (const QJsonValue& value : QJsonDocument::fromJson(json.readAll()).array()) {
            const QJsonObject line = value.toObject();
            lines.append({line.contains(u"lineHex")
                              ? QByteArray::fromHex(line[u"lineHex"].toString().toLatin1())
                              : line[u"line"].toString().toUtf8(),
                          line});
        }
    }
    return lines;
}

// Every entry is one the delete and upload flows may act on: a real name, inside the listed folder.
void verifySafe(const QList<RemoteFile>& entries, QStringList& names) {
    for (const RemoteFile& entry : entries) {
        QVERIFY2(listing::isAcceptableName(entry.name), qPrintable(entry.name));
        QCOMPARE(entry.path, u"/corpus/"_s + entry.name);
        QVERIFY(!entry.isDirectory || !entry.size);
        names << entry.name;
    }
}

} // namespace

class TestListingCorpus : public QObject {
    Q_OBJECT

    QList<CorpusLine> m_lines;

private Q_SLOTS:
    void initTestCase() {
        m_lines = loadCorpus();
        QVERIFY(m_lines.size() > 1000);
    }

    // Line by line and all at once alike.
    void everyLine_parsesSafely() {
        QByteArray all;
        QStringList lineByLine, together;
        for (const auto& [bytes, line] : std::as_const(m_lines)) {
            verifySafe(parseListing(bytes, u"/corpus"_s), lineByLine);
            all += bytes + '\n';
        }
        verifySafe(parseListing(all, u"/corpus"_s), together);
        lineByLine.sort();
        together.sort();
        QCOMPARE(together, lineByLine);
    }

    // Lines laid out as our rules expect (ls -l with or without a group column and an English date, or a
    // DOS dir line) must give the peer's name, kind and size.
    void plainLines_matchPeers() {
        static const QRegularExpression plainShape(
            uR"(^\s*(?:[-dl][-rwxsStT]{9}[.+@]?\s+\d+\s+\S+\s+(?:\S+\s+)?\d+\s+)"
            uR"((?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\s+\d{1,2}\s+(?:\d{1,2}:\d\d|\d{4})\s+\S)"
            uR"(|\d\d-\d\d-\d\d(?:\d\d)?\s+\d\d:\d\d[AP]M\s+(?:<DIR>|\d+)\s+\S))"_s);
        // Known, deliberate differences from peers (listings-corpus/README.md, "Caveats").
        static const QStringList disagreements = {
            // Names are exact here: no dropped double space, no unescaping, no arrow split off a folder.
            u"extra-space-after-year-dropped"_s,
            u"backslash-escaped-space"_s,
            u"arrow-split-on-non-link"_s,
            u"link-reported-as-dir"_s, // a link is never a folder here
            u"size-exceeds-2^53"_s,    // 2^64-1 does not fit a signed 64-bit size: not a unix line here
        };
        int checked = 0;
        QStringList mismatches;
        for (const auto& [bytes, line] : std::as_const(m_lines)) {
            const QStringList quirks = line[u"quirks"].toVariant().toStringList();
            // IIS pads "<DIR>" with exactly ten spaces, so an eleventh is the name's own (commons-net-093).
            if (!line[u"asserted"].toArray().contains(u"name"_s) || !isValidUtf8(bytes) ||
                line[u"id"] == u"commons-net-093"_s ||
                !plainShape.match(QString::fromUtf8(bytes)).hasMatch() ||
                std::any_of(quirks.cbegin(), quirks.cend(),
                            [](const QString& q) { return disagreements.contains(q); }))
                continue;
            ++checked;
            const QJsonObject expect = line[u"expect"].toObject();
            const QString id = line[u"id"].toString();
            // As a server ends each line.
            const QList<RemoteFile> entries = parseListing(bytes + "\r\n", u"/"_s);
            if (quirks.contains(u"dot-entry")) { // refused here
                if (!entries.isEmpty())
                    mismatches << id;
                continue;
            }
            const bool isLink = expect[u"isLink"].toBool();
            // Folders carry no size here; peers disagree about links' sizes.
            const bool sizeMatches =
                entries.value(0).isDirectory || isLink || expect[u"size"].isNull() ||
                entries.value(0).size == (expect.contains(u"sizeText")
                                              ? expect[u"sizeText"].toString().toLongLong()
                                              : expect[u"size"].toInteger());
            if (entries.size() != 1 || entries.first().name != expect[u"name"].toString() ||
                entries.first().isDirectory != expect[u"isDir"].toBool() ||
                entries.first().isLink != isLink ||
                entries.first().linkTarget != expect[u"linkTarget"].toString() ||
                entries.first().isAmbiguous || !sizeMatches)
                mismatches << id;
        }
        QVERIFY2(checked > 200, qPrintable(QString::number(checked)));
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(TestListingCorpus)
#include "tst_listingcorpus.moc"
