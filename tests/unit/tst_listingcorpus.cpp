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
            if (!isValidUtf8(line.bytes)) {
                QVERIFY(entries.isEmpty());
                continue;
            }
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
            // Lines and names are trimmed here; these peers keep blanks (or a CR) around a name.
            u"name-has-outer-whitespace"_s,
            u"name-ends-with-cr"_s,
            // Names are kept verbatim: no dropped double space, no unescaping, no arrow split off a folder.
            u"extra-space-after-year-dropped"_s,
            u"backslash-escaped-space"_s,
            u"arrow-split-on-non-link"_s,
            // A link is a file here.
            u"link-reported-as-dir"_s,
            // 2^64-1 does not fit a signed 64-bit size, so the line is not a unix line here.
            u"size-exceeds-2^53"_s,
        };
        int checked = 0;
        QStringList mismatches;
        for (const CorpusLine& line : std::as_const(m_lines)) {
            if (!line.asserted.contains(u"name") || !isValidUtf8(line.bytes) ||
                !plainShape.match(QString::fromUtf8(line.bytes)).hasMatch() ||
                std::any_of(line.quirks.cbegin(), line.quirks.cend(),
                            [](const QString& quirk) { return disagreements.contains(quirk); }))
                continue;
            ++checked;
            const QList<RemoteFile> entries = parseListing(line.bytes, u"/"_s);
            if (line.quirks.contains(u"dot-entry")) { // refused here
                if (!entries.isEmpty())
                    mismatches << line.id;
                continue;
            }
            const bool isLink = line.expect[u"isLink"].toBool();
            QString name = line.expect[u"name"].toString();
            if (isLink && line.expect[u"linkTarget"].isString()) // the target stays in the name here
                name += u" -> "_s + line.expect[u"linkTarget"].toString();
            const QJsonValue size = line.expect[u"size"];
            const auto sizeMatches = [&] {
                if (entries.first().isDirectory || isLink || size.isNull())
                    return true; // folders carry no size here; peers disagree about links' sizes
                const qint64 expected = line.expect.contains(u"sizeText")
                                            ? line.expect[u"sizeText"].toString().toLongLong()
                                            : size.toInteger();
                return entries.first().size == expected;
            };
            if (entries.size() != 1 || entries.first().name != name ||
                entries.first().isDirectory != line.expect[u"isDir"].toBool() || !sizeMatches())
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
