#include "model/RemotePath.h"
#include "model/TypedText.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The path and name rules every flow shares.
class RemotePathTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parentFolder_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::newRow("nested") << u"/a/b/c/"_s << u"/a/b/"_s;
        QTest::newRow("first level") << u"/a/"_s << u"/"_s;
        QTest::newRow("no trailing slash") << u"/a/b"_s << u"/a/"_s;
        QTest::newRow("doubled slashes") << u"//a//b//"_s << u"/a/"_s;
        QTest::newRow("relative") << u"a/b/"_s << u"/a/"_s;
        QTest::newRow("root entry") << u"pub"_s << u"/"_s;
        QTest::newRow("root") << u"/"_s << u"/"_s;
    }
    void parentFolder() {
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QCOMPARE(remotepath::parentFolder(path), parent);
    }

    void withTrailingSlash_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("added") << u"/pub"_s << u"/pub/"_s;
        QTest::newRow("kept") << u"/pub/"_s << u"/pub/"_s;
        QTest::newRow("empty is the root") << QString() << u"/"_s;
        QTest::newRow("relative stays relative") << u"pub"_s << u"pub/"_s;
        QTest::newRow("edge spaces stay") << u"/ lead "_s << u"/ lead /"_s;
    }
    void withTrailingSlash() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(remotepath::withTrailingSlash(path), folder);
    }

    void sameFolder_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("trailing slash") << u"/data"_s << u"/data/"_s << true;
        QTest::newRow("relative root entry") << u"pub/"_s << u"/pub/"_s << true;
        QTest::newRow("root forms") << QString() << u"/"_s << true;
        QTest::newRow("letter case") << u"/Data/"_s << u"/data/"_s << false;
        QTest::newRow("edge space") << u"/data /"_s << u"/data/"_s << false;
        QTest::newRow("parent and child") << u"/a/"_s << u"/a/b/"_s << false;
    }
    void sameFolder() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(remotepath::sameFolder(a, b), same);
        QCOMPARE(remotepath::sameFolder(b, a), same);
    }

    void trimmed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces and tabs around") << u" \t reports \t"_s << u"reports"_s;
        QTest::newRow("inner blanks stay") << u"  a  b "_s << u"a  b"_s;
        QTest::newRow("no-break and ideographic spaces") << u"\u00a0x\u3000"_s << u"x"_s;
        QTest::newRow("blanks only") << u" \t\u2003"_s << QString();
    }
    void trimmed() {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QCOMPARE(typedtext::trimmed(typed), name);
    }
};

QTEST_GUILESS_MAIN(RemotePathTest)
#include "tst_remotepath.moc"
