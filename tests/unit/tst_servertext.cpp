#include "model/ServerText.h"

#include <QTest>

#include <numeric>

using namespace Qt::StringLiterals;
using servertext::Encoding;

namespace {

// A byte that is not UTF-8 as the server form holds it.
QString raw(std::initializer_list<uchar> bytes) {
    QString text;
    for (const uchar byte : bytes)
        text += QChar(char16_t(0xdc00 + byte));
    return text;
}

} // namespace

class TestServerText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whatever bytes a server sends come back exactly; only bytes that are not UTF-8 are escaped.
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // null: not checked beyond the round trip
        QTest::newRow("ASCII") << "a b.txt"_ba << u"a b.txt"_s;
        QTest::newRow("UTF-8") << "caf\xc3\xa9 \xf0\x9f\x98\x80"_ba << u"caf\u00e9 \U0001F600"_s;
        QTest::newRow("Latin-1 byte") << "caf\xe9"_ba << u"caf"_s + raw({0xe9});
        QTest::newRow("byte order mark at the start") << "\xef\xbb\xbfx"_ba << u"\ufeffx"_s;
        QTest::newRow("byte order mark after a bad byte")
            << "\xff\xef\xbb\xbfx"_ba << raw({0xff}) + u"\ufeffx"_s;
        QTest::newRow("pair whose low half looks escaped") << "\xf0\x90\x82\x80"_ba << u"\U00010080"_s;
        QTest::newRow("such a pair, then a bad byte")
            << "\xf0\x90\x82\x80\x80"_ba << u"\U00010080"_s + raw({0x80});
        QTest::newRow("encoded surrogate") << "\xed\xa0\x80"_ba << raw({0xed, 0xa0, 0x80});
        QTest::newRow("overlong slash") << "\xc0\xaf"_ba << raw({0xc0, 0xaf});
        QTest::newRow("truncated at the end") << "a\xe6\x97"_ba << u"a"_s + raw({0xe6, 0x97});
        QByteArray everyByte(256, Qt::Uninitialized);
        std::iota(everyByte.begin(), everyByte.end(), char(0));
        std::reverse(everyByte.begin(), everyByte.end());
        QTest::newRow("every byte twice, reversed") << everyByte.repeated(2) << QString();
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString held = servertext::fromServer(bytes);
        if (!text.isNull())
            QCOMPARE(held, text);
        QCOMPARE(servertext::toServer(held), bytes);
        QCOMPARE(servertext::holdsRawBytes(held), !QByteArrayView(bytes).isValidUtf8());
    }

    // What the user sees of a server's bytes in each encoding (empty: automatic).
    void forDisplay() {
        const QList<std::tuple<QByteArray, QString, QString>> cases = {
            {"caf\xc3\xa9", {}, u"caf\u00e9"_s},
            {"\x80 \x9c", {}, u"\u20ac \u0153"_s}, // Windows-1252
            {"\x81", {}, u"\ufffd"_s},             // not even that
            {"caf\xe9", u"UTF-8"_s, u"caf\ufffd"_s},
            {"\xc3\xa9", u"ISO-8859-1"_s, u"\u00c3\u00a9"_s},
        };
        for (const auto& [bytes, encoding, shown] : cases) {
            if (servertext::isSupported(Encoding{encoding})) // else this Qt cannot convert it
                QCOMPARE(servertext::forDisplay(servertext::fromServer(bytes), Encoding{encoding}), shown);
        }
    }

    // What a user types becomes the bytes the encoding writes, or nothing (null) when it cannot write them.
    void fromUserText() {
        const QList<std::tuple<QString, QString, QByteArray>> cases = {
            {u"caf\u00e9"_s, {}, "caf\xc3\xa9"},
            {u"a"_s + raw({0xe9}), {}, {}},
            {u"caf\u00e9"_s, u"ISO-8859-1"_s, "caf\xe9"},
            {u"\u00e9"_s, u"Shift_JIS"_s, {}},
        };
        for (const auto& [typed, encoding, bytes] : cases) {
            if (!servertext::isSupported(Encoding{encoding}))
                continue;
            const std::optional<QString> held = servertext::fromUserText(typed, Encoding{encoding});
            QCOMPARE(held.has_value(), !bytes.isNull());
            if (held)
                QCOMPARE(servertext::toServer(*held), bytes);
        }
    }
};

QTEST_GUILESS_MAIN(TestServerText)
#include "tst_servertext.moc"
