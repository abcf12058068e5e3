#include "model/Connection.h"
#include "model/Favorite.h"
#include "model/RecordJson.h"
#include "model/TypedText.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Connection sample() {
    Connection connection = Connection::makeNew();
    connection.name = u"Wörk \"srv\""_s;
    connection.host = u"ftp.example.org"_s;
    connection.port = 2121;
    connection.username = u"us:er"_s;
    connection.password = u"p\\a\"ss: wörd"_s;
    connection.useTLS = true;
    connection.tlsMode = Connection::TlsMode::explicitTLS;
    connection.textEncoding = {u"ISO-8859-1"_s};
    connection.passwordInKeyring = true;
    return connection;
}

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What a form for a new server opens with.
    void newConnection_defaults() {
        const Connection c = Connection::makeNew();
        QVERIFY(!c.id.isNull() && Connection::makeNew().id != c.id);
        QVERIFY(c.port == 21 && !c.useTLS && c.tlsMode == Connection::TlsMode::implicit &&
                !c.passwordInKeyring);
    }

    void roundTrip_keepsEveryField() {
        const Connection connection = sample();
        const auto connections = decodeConnections(encodeConnections({connection, Connection::makeNew()}));
        QVERIFY(connections && connections->size() == 2 && connections->first() == connection);
        const Favorite favorite{QUuid::createUuid(), connection.id, u"Ünïcode ⭐"_s, u"/a b/\"c\"\\d"_s};
        const auto favorites = decodeFavorites(encodeFavorites({favorite}));
        QVERIFY(favorites && favorites->first() == favorite);

        // Any member order, extra members and lower-case ids are read; a record from before TLS modes is
        // implicit.
        const auto read = decodeConnections(
            R"([{"useTLS":true,"password":"p","extra":[1,2],"username":"u","port":990,"host":"h","name":"n",)"
            R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8"}])"_ba);
        QVERIFY(read && read->first().port == 990 && read->first().usesImplicitTLS());
        QVERIFY(encodeConnections(*read).startsWith(
            "[{\"id\":\"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\",\"name\""));
    }

    void decode_isStrict_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("favorites"); // else connections
        const QByteArray id = "\"id\":\"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\"";
        const QByteArray rest = ",\"name\":\"n\",\"host\":\"h\",\"username\":\"u\",\"password\":\"p\"";
        const auto row = [](const char* tag, const QByteArray& data, bool favorites = false) {
            QTest::newRow(tag) << data << favorites;
        };
        row("useTLS missing", "[{" + id + rest + ",\"port\":21}]");
        row("port as string", "[{" + id + rest + ",\"port\":\"21\",\"useTLS\":false}]");
        row("port fractional", "[{" + id + rest + ",\"port\":21.5,\"useTLS\":false}]");
        row("port above int64", "[{" + id + rest + ",\"port\":9223372036854775808,\"useTLS\":false}]");
        row("useTLS as number", "[{" + id + rest + ",\"port\":21,\"useTLS\":0}]");
        row("id with braces",
            "[{\"id\":\"{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}\"" + rest + ",\"port\":21,\"useTLS\":false}]");
        row("id not a uuid", "[{\"id\":\"42\"" + rest + ",\"port\":21,\"useTLS\":false}]");
        row("one bad record fails the list",
            "[{" + id + rest + ",\"port\":21,\"useTLS\":false},{" + id + rest + ",\"port\":21}]");
        row("not an array", "{}"); // an empty object is no empty list
        row("not json", "[{\"id\":");
        row("invalid utf-8 inside a string", "[{" + id + ",\"name\":\"\xff\"}]");
        row("favorite, connection id not a uuid",
            "[{" + id + R"(,"connectionId":"x","name":"n","remotePath":"/"}])", true);
        row("favorite without a path",
            "[{" + id +
                ",\"connectionId\":\"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\","
                "\"name\":\"n\"}]",
            true);
    }
    void decode_isStrict() {
        QFETCH(QByteArray, data);
        QFETCH(bool, favorites);
        QVERIFY(favorites ? !decodeFavorites(data) : !decodeConnections(data));
    }

    void equality_isWholeRecordWithCanonicalText() {
        Connection a = sample();
        Connection b = a;
        b.name = u"other"_s;
        QVERIFY(!(a == b));
        // "é" precomposed and decomposed are the same text.
        a.name = u"caf\u00e9"_s;
        b.name = u"cafe\u0301"_s;
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));

        const Favorite f{QUuid::createUuid(), a.id, u"n"_s, u"/x"_s};
        Favorite g = f;
        g.remotePath = u"/x/"_s;
        QVERIFY(!(f == g));
    }

    // Typed names and hosts lose the blanks around them (tabs and Unicode spaces); blanks inside stay.
    void typedText_isTrimmedOfBlanks() {
        QCOMPARE(typedtext::trimmed(u"  a  b "_s), u"a  b"_s);
        QCOMPARE(typedtext::trimmed(u"\u00a0x\u3000"_s), u"x"_s);
        QCOMPARE(typedtext::trimmed(u" \t\u2003"_s), QString());
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
