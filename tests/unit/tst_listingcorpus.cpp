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

struct CorpusLine {
    QString id;
    QString format;
    QByteArray bytes;
    QJsonObject expect;
    QStringList asserted;
    QStringList quirks;
};

QList<CorpusLine> loadCorpus() {
    QList<CorpusLine> lines;
    const QDir dir(QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/listings-corpus"));
    for (const QString& file : dir.entryList({u"*.json"_s}, QDir::Files, QDir::Name)) {
        QFile json(dir.filePath(file));
        if (!json.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(json.fileName()));
        for (const QJsonValue& value : QJsonDocument::fromJson(json.readAll()).array()) {
            const QJsonObject object = value.toObject();
            CorpusLine line{object[u"id"].toString(),
                            object[u"format"].toString(),
                            {},
                            object[u"expect"].toObject(),
                            {},
                            {}};
            line.bytes = object.contains(u"lineHex")
                             ? QByteArray::fromHex(object[u"lineHex"].toString().toLatin1())
                             : object[u"line"].toString().toUtf8();
            for (const QJsonValue& field : object[u"asserted"].toArray())
                line.asserted << field.toString();
            for (const QJsonValue& quirk : object[u"quirks"].toArray())
                line.quirks << quirk.toString();
            lines << line;
        }
    }
    return lines;
}

// Every entry is one the delete and upload flows may act on: a real name, inside the listed folder.
void verifySafe(const QList<RemoteFile>& entries, const QString& prefix) {
    for (const RemoteFile& entry : entries) {
        QVERIFY2(listing::isAcceptableName(entry.name), qPrintable(entry.name));
        QCOMPARE(entry.path, prefix + entry.name);
        QVERIFY(!entry.isDirectory || !entry.size);
    }
}

} // namespace

class TestListingCorpus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_lines = loadCorpus();
        QVERIFY(m_lines.size() > 1000);
    }

    void everyLine_parsesSafely() {
        QByteArray all;
        QStringList allNames;
        for (const CorpusLine& line : std::as_const(m_lines)) {
            const QList<RemoteFile> entries = parseListing(line.bytes, u"/corpus"_s);
            verifySafe(entries, u"/corpus/"_s);
            all += line.bytes + '\n';
            for (const RemoteFile& entry : entries)
                allNames << entry.name;
        }
        const QList<RemoteFile> entries = parseListing(all, u"/corpus"_s);
        verifySafe(entries, u"/corpus/"_s);
        QStringList names;
        for (const RemoteFile& entry : entries)
            names << entry.name;
        allNames.sort();
        names.sort();
        QCOMPARE(names, allNames);
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
            // A link is never a folder here.
            u"link-reported-as-dir"_s,
            // 2^64-1 does not fit a signed 64-bit size, so the line is not a unix line here.
            u"size-exceeds-2^53"_s,
        };
        // IIS pads "<DIR>" with exactly ten spaces, so an eleventh is the name's own.
        static const QStringList disagreeingLines = {u"commons-net-093"_s};
        int checked = 0;
        QStringList mismatches;
        for (const CorpusLine& line : std::as_const(m_lines)) {
            if (!line.asserted.contains(u"name") || !isValidUtf8(line.bytes) ||
                disagreeingLines.contains(line.id) ||
                !plainShape.match(QString::fromUtf8(line.bytes)).hasMatch() ||
                std::any_of(line.quirks.cbegin(), line.quirks.cend(),
                            [](const QString& quirk) { return disagreements.contains(quirk); }))
                continue;
            ++checked;
            // As a server ends each line.
            const QList<RemoteFile> entries = parseListing(line.bytes + "\r\n", u"/"_s);
            if (line.quirks.contains(u"dot-entry")) { // refused here
                if (!entries.isEmpty())
                    mismatches << line.id;
                continue;
            }
            const bool isLink = line.expect[u"isLink"].toBool();
            const QJsonValue size = line.expect[u"size"];
            const auto sizeMatches = [&] {
                if (entries.first().isDirectory || isLink || size.isNull())
                    return true; // folders carry no size here; peers disagree about links' sizes
                const qint64 expected = line.expect.contains(u"sizeText")
                                            ? line.expect[u"sizeText"].toString().toLongLong()
                                            : size.toInteger();
                return entries.first().size == expected;
            };
            if (entries.size() != 1 || entries.first().name != line.expect[u"name"].toString() ||
                entries.first().isDirectory != line.expect[u"isDir"].toBool() ||
                entries.first().isLink != isLink ||
                entries.first().linkTarget != line.expect[u"linkTarget"].toString() ||
                entries.first().isAmbiguous || !sizeMatches())
                mismatches << line.id;
        }
        QVERIFY2(checked > 200, qPrintable(QString::number(checked)));
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(u' ')));
    }

private:
    QList<CorpusLine> m_lines;
};

QTEST_GUILESS_MAIN(TestListingCorpus)
#include "tst_listingcorpus.moc"
