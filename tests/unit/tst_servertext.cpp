#include "model/ServerText.h"

#include <QTest>

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
        for (int i = 0; i < 256; ++i)
            everyByte[i] = char(i);
        QTest::newRow("every byte") << everyByte << QString();
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

    void forDisplay_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("shown");
        QTest::newRow("automatic, UTF-8") << "caf\xc3\xa9"_ba << QString() << u"caf\u00e9"_s;
        QTest::newRow("automatic, Latin-1") << "caf\xe9"_ba << QString() << u"caf\u00e9"_s;
        QTest::newRow("automatic, Windows-1252") << "\x80 \x9c"_ba << QString() << u"\u20ac \u0153"_s;
        QTest::newRow("automatic, undefined byte") << "\x81"_ba << QString() << u"\ufffd"_s;
        QTest::newRow("UTF-8, Latin-1 byte") << "caf\xe9"_ba << u"UTF-8"_s << u"caf\ufffd"_s;
        QTest::newRow("ISO-8859-1") << "caf\xe9"_ba << u"ISO-8859-1"_s << u"caf\u00e9"_s;
        QTest::newRow("ISO-8859-1, UTF-8 bytes") << "\xc3\xa9"_ba << u"ISO-8859-1"_s << u"\u00c3\u00a9"_s;
        QTest::newRow("Windows-1252") << "\x80"_ba << u"windows-1252"_s << u"\u20ac"_s;
        QTest::newRow("Shift_JIS") << "\x93\xfa\x96\x7b"_ba << u"Shift_JIS"_s << u"\u65e5\u672c"_s;
    }

    void forDisplay() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, encoding);
        QFETCH(QString, shown);
        if (!servertext::isSupported(Encoding{encoding}))
            QSKIP("this Qt cannot convert the encoding");
        QCOMPARE(servertext::forDisplay(servertext::fromServer(bytes), Encoding{encoding}), shown);
    }

    // What a user types becomes the bytes the encoding writes, or nothing when it cannot write them.
    void fromUserText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("bytes"); // null: refused
        QTest::newRow("automatic") << u"caf\u00e9"_s << QString() << "caf\xc3\xa9"_ba;
        QTest::newRow("automatic, lone surrogate") << u"a"_s + raw({0xe9}) << QString() << QByteArray();
        QTest::newRow("ISO-8859-1") << u"caf\u00e9"_s << u"ISO-8859-1"_s << "caf\xe9"_ba;
        QTest::newRow("ISO-8859-1, euro sign") << u"5\u20ac"_s << u"ISO-8859-1"_s << QByteArray();
        QTest::newRow("Windows-1252, euro sign") << u"5\u20ac"_s << u"windows-1252"_s << "5\x80"_ba;
        QTest::newRow("Shift_JIS") << u"\u65e5\u672c"_s << u"Shift_JIS"_s << "\x93\xfa\x96\x7b"_ba;
        QTest::newRow("Shift_JIS, e acute") << u"\u00e9"_s << u"Shift_JIS"_s << QByteArray();
    }

    void fromUserText() {
        QFETCH(QString, typed);
        QFETCH(QString, encoding);
        QFETCH(QByteArray, bytes);
        if (!servertext::isSupported(Encoding{encoding}))
            QSKIP("this Qt cannot convert the encoding");
        const std::optional<QString> held = servertext::fromUserText(typed, Encoding{encoding});
        QCOMPARE(held.has_value(), !bytes.isNull());
        if (held)
            QCOMPARE(servertext::toServer(*held), bytes);
    }
};

QTEST_GUILESS_MAIN(TestServerText)
#include "tst_servertext.moc"
