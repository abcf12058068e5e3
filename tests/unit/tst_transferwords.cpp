// What Kalvor says about transfers, and which remote names can become local file names.
#include "session/DownloadPlan.h"
#include "session/TransferText.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Direction = transfertext::Direction;

class TransferWordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timeLeft() {
        const QList<std::pair<qint64, QString>> cases = {
            {4, u"a few seconds left"_s},    {42, u"about 40 seconds left"_s},
            {70, u"about a minute left"_s},  {125, u"about 2 minutes left"_s},
            {3700, u"about an hour left"_s}, {9000, u"about 3 hours left"_s},
        };
        for (const auto& [seconds, text] : cases)
            QCOMPARE(transfertext::timeLeftText(seconds), text);
    }

    void names() {
        const QList<std::pair<QStringList, QString>> cases = {
            {{u"Budget.csv"_s}, u"Budget.csv"_s},
            {{u"a"_s, u"b"_s, u"c"_s}, u"a, b and c"_s},
            {{u"Budget.csv"_s, u"Notes.txt"_s, u"c"_s, u"d"_s}, u"Budget.csv, Notes.txt and 2 more"_s},
        };
        for (const auto& [names, text] : cases)
            QCOMPARE(transfertext::namesText(names), text);
    }

    void finished() {
        const auto text = [](Direction direction, int files, int links) {
            return transfertext::finishedText(direction, files, u"Photos 100%"_s, links);
        };
        QCOMPARE(text(Direction::upload, 4, 0), u"4 files uploaded to Photos 100%"_s);
        QCOMPARE(text(Direction::download, 1, 0), u"1 file downloaded to Photos 100%"_s);
        QCOMPARE(text(Direction::upload, 0, 0), u"Nothing new to upload to Photos 100%"_s);
        QCOMPARE(text(Direction::download, 2, 3), u"2 files downloaded to Photos 100% (3 links skipped)"_s);
    }

    void localName() {
        const QList<std::pair<QString, QString>> cases = {
            {u"caf"_s + QChar(0xdce9) + u".txt"_s, u"caf\u00e9.txt"_s}, // the server's own bytes are decoded
            {u"a/b"_s, {}},
            {u"a"_s + QChar(0) + u"b"_s, {}},
            {u"."_s, {}},
            {u".."_s, {}},
            {{}, {}},
        };
        for (const auto& [remote, local] : cases)
            QCOMPARE(localNameFor(remote, {}).value_or(QString()), local);
    }
};

QTEST_GUILESS_MAIN(TransferWordsTest)
#include "tst_transferwords.moc"
