#include "model/RemotePath.h"
#include "model/TypedText.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Cases = QList<std::pair<QString, QString>>;

// The path and name rules every flow shares.
class RemotePathTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parentFolder() {
        const Cases pathAndParent = {
            {u"/a/b/c/"_s, u"/a/b/"_s}, {u"/a/"_s, u"/"_s}, {u"/a/b"_s, u"/a/"_s}, {u"//a//b//"_s, u"/a/"_s},
            {u"a/b/"_s, u"/a/"_s},      {u"pub"_s, u"/"_s}, {u"/"_s, u"/"_s},
        };
        for (const auto& [path, parent] : pathAndParent)
            QCOMPARE(remotepath::parentFolder(path), parent);
    }

    void withTrailingSlash() {
        const Cases pathAndFolder = {
            {u"/pub"_s, u"/pub/"_s}, {u"/pub/"_s, u"/pub/"_s},      {{}, u"/"_s}, // empty is the root
            {u"pub"_s, u"pub/"_s},   {u"/ lead "_s, u"/ lead /"_s}, // relative stays relative; spaces stay
        };
        for (const auto& [path, folder] : pathAndFolder)
            QCOMPARE(remotepath::withTrailingSlash(path), folder);
    }

    void sameFolder() {
        const Cases same = {{u"/data"_s, u"/data/"_s}, {u"pub/"_s, u"/pub/"_s}, {{}, u"/"_s}};
        const Cases different = {
            {u"/Data/"_s, u"/data/"_s}, {u"/data /"_s, u"/data/"_s}, {u"/a/"_s, u"/a/b/"_s}};
        for (const auto& [a, b] : same)
            QVERIFY(remotepath::sameFolder(a, b) && remotepath::sameFolder(b, a));
        for (const auto& [a, b] : different)
            QVERIFY(!remotepath::sameFolder(a, b) && !remotepath::sameFolder(b, a));
    }

    void trimmed() {
        const Cases typedAndName = {
            {u" \t reports \t"_s, u"reports"_s},
            {u"  a  b "_s, u"a  b"_s}, // inner blanks stay
            {u"\u00a0x\u3000"_s, u"x"_s},
            {u" \t\u2003"_s, {}},
        };
        for (const auto& [typed, name] : typedAndName)
            QCOMPARE(typedtext::trimmed(typed), name);
    }
};

QTEST_GUILESS_MAIN(RemotePathTest)
#include "tst_remotepath.moc"
