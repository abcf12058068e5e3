// What Kalvor says about transfers, and which remote names can become local file names.
#include "session/DownloadPlan.h"
#include "session/TransferText.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Direction = transfertext::Direction;

class TransferWordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timeLeft_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("moments") << 4LL << u"a few seconds left"_s;
        QTest::newRow("seconds, in fives") << 42LL << u"about 40 seconds left"_s;
        QTest::newRow("about a minute") << 70LL << u"about a minute left"_s;
        QTest::newRow("minutes") << 125LL << u"about 2 minutes left"_s;
        QTest::newRow("about an hour") << 3700LL << u"about an hour left"_s;
        QTest::newRow("hours") << 9000LL << u"about 3 hours left"_s;
    }
    void timeLeft() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(transfertext::timeLeftText(seconds), text);
    }

    void names_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << QStringList{u"Budget.csv"_s} << u"Budget.csv"_s;
        QTest::newRow("two") << QStringList{u"a"_s, u"b"_s} << u"a and b"_s;
        QTest::newRow("three") << QStringList{u"a"_s, u"b"_s, u"c"_s} << u"a, b and c"_s;
        QTest::newRow("more") << QStringList{u"Budget.csv"_s, u"Notes.txt"_s, u"c"_s, u"d"_s}
                              << u"Budget.csv, Notes.txt and 2 more"_s;
    }
    void names() {
        QFETCH(QStringList, names);
        QFETCH(QString, text);
        QCOMPARE(transfertext::namesText(names), text);
    }

    void finished_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("links");
        QTest::addColumn<QString>("text");
        QTest::newRow("uploaded") << int(Direction::upload) << 4 << 0 << u"4 files uploaded to Photos 100%"_s;
        QTest::newRow("one downloaded")
            << int(Direction::download) << 1 << 0 << u"1 file downloaded to Photos 100%"_s;
        QTest::newRow("nothing new") << int(Direction::upload) << 0 << 0
                                     << u"Nothing new to upload to Photos 100%"_s;
        QTest::newRow("links skipped")
            << int(Direction::download) << 2 << 3 << u"2 files downloaded to Photos 100% (3 links skipped)"_s;
    }
    void finished() {
        QFETCH(int, direction);
        QFETCH(int, files);
        QFETCH(int, links);
        QFETCH(QString, text);
        QCOMPARE(transfertext::finishedText(Direction(direction), files, u"Photos 100%"_s, links), text);
    }

    void localName_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("local"); // empty: refused
        QTest::newRow("plain") << u"report.pdf"_s << u"report.pdf"_s;
        QTest::newRow("legacy bytes are decoded")
            << u"caf"_s + QChar(0xdce9) + u".txt"_s << u"caf\u00e9.txt"_s;
        QTest::newRow("slash") << u"a/b"_s << QString();
        QTest::newRow("NUL") << u"a"_s + QChar(0) + u"b"_s << QString();
        QTest::newRow("dot") << u"."_s << QString();
        QTest::newRow("dot dot") << u".."_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void localName() {
        QFETCH(QString, remote);
        QFETCH(QString, local);
        QCOMPARE(localNameFor(remote, {}).value_or(QString()), local);
    }
};

QTEST_GUILESS_MAIN(TransferWordsTest)
#include "tst_transferwords.moc"
