#include "model/Connection.h"
#include "model/Favorite.h"
#include "model/RecordJson.h"

#include <QSet>
#include <QTest>

namespace {

Connection sample() {
    Connection connection = Connection::makeNew();
    connection.name = QStringLiteral("Wörk \"srv\"");
    connection.host = QStringLiteral("ftp.example.org");
    connection.port = 2121;
    connection.username = QStringLiteral("us:er");
    connection.password = QStringLiteral("p\\a\"ss: wörd");
    connection.useTLS = true;
    connection.tlsMode = Connection::TlsMode::explicitTLS;
    connection.textEncoding = {QStringLiteral("ISO-8859-1")};
    return connection;
}

QByteArray json(const char* text) {
    return QByteArray(text);
}

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newConnection_hasDefaultsAndEncodesThemInOrder() {
        const Connection connection = Connection::makeNew();
        QVERIFY(!connection.id.isNull());
        QVERIFY(Connection::makeNew().id != connection.id);
        const QByteArray encoded = encodeConnections({connection});
        const QByteArray expected = "[{\"id\":\"" + uuidText(connection.id).toLatin1() +
                                    "\",\"name\":\"\",\"host\":\"\",\"port\":21,\"username\":\"\","
                                    "\"password\":\"\",\"useTLS\":false,\"tlsMode\":\"implicit\","
                                    "\"textEncoding\":\"\",\"passwordInKeyring\":false}]";
        QCOMPARE(encoded, expected);
        QCOMPARE(uuidText(connection.id), uuidText(connection.id).toUpper());
    }

    void displayName_prefersNameOverHostAndPort() {
        Connection connection = Connection::makeNew();
        connection.host = QStringLiteral("h");
        QCOMPARE(connection.displayName(), QStringLiteral("h:21"));
        connection.port = -5;
        QCOMPARE(connection.displayName(), QStringLiteral("h:-5"));
        connection.name = QStringLiteral("  ");
        QCOMPARE(connection.displayName(), QStringLiteral("  "));
        connection.name = QStringLiteral("Work");
        QCOMPARE(connection.displayName(), QStringLiteral("Work"));
    }

    void roundTrip_keepsEveryField() {
        const Connection connection = sample();
        const auto connections = decodeConnections(encodeConnections({connection, Connection::makeNew()}));
        QVERIFY(connections);
        QCOMPARE(connections->size(), 2);
        QVERIFY(connections->first() == connection);

        const Favorite favorite{QUuid::createUuid(), connection.id, QStringLiteral("Ünïcode ⭐"),
                                QStringLiteral("/a b/\"c\"\\d")};
        const auto favorites = decodeFavorites(encodeFavorites({favorite}));
        QVERIFY(favorites);
        QVERIFY(favorites->first() == favorite);
    }

    void decode_acceptsAnyMemberOrderExtraMembersAndLowerCaseIds() {
        const auto connections = decodeConnections(json(
            R"([{"useTLS":true,"password":"p","extra":[1,2],"username":"u","port":990,"host":"h","name":"n",)"
            R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8"}])"));
        QVERIFY(connections);
        const Connection& c = connections->first();
        QCOMPARE(uuidText(c.id), QStringLiteral("6BA7B810-9DAD-11D1-80B4-00C04FD430C8"));
        QCOMPARE(c.port, 990);
        QVERIFY(c.useTLS);
        QVERIFY(
            encodeConnections({c}).startsWith("[{\"id\":\"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\",\"name\""));
    }

    void decode_isStrict_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray id = "\"id\":\"6BA7B810-9DAD-11D1-80B4-00C04FD430C8\"";
        const QByteArray rest = ",\"name\":\"n\",\"host\":\"h\",\"username\":\"u\",\"password\":\"p\"";
        QTest::newRow("useTLS missing") << "[{" + id + rest + ",\"port\":21}]";
        QTest::newRow("useTLS null") << "[{" + id + rest + ",\"port\":21,\"useTLS\":null}]";
        QTest::newRow("port as string") << "[{" + id + rest + ",\"port\":\"21\",\"useTLS\":false}]";
        QTest::newRow("port fractional") << "[{" + id + rest + ",\"port\":21.5,\"useTLS\":false}]";
        QTest::newRow("port above int64")
            << "[{" + id + rest + ",\"port\":9223372036854775808,\"useTLS\":false}]";
        QTest::newRow("useTLS as number") << "[{" + id + rest + ",\"port\":21,\"useTLS\":0}]";
        QTest::newRow("id with braces") << "[{\"id\":\"{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}\"" + rest +
                                               ",\"port\":21,\"useTLS\":false}]";
        QTest::newRow("id not a uuid") << "[{\"id\":\"42\"" + rest + ",\"port\":21,\"useTLS\":false}]";
        QTest::newRow("one bad record fails the list")
            << "[{" + id + rest + ",\"port\":21,\"useTLS\":false},{" + id + rest + ",\"port\":21}]";
        QTest::newRow("not an array") << "{" + id + rest + ",\"port\":21,\"useTLS\":false}";
        QTest::newRow("not json") << QByteArray("[{\"id\":");
        QTest::newRow("invalid utf-8 inside a string") << "[{" + id + ",\"name\":\"\xff\"}]";
    }

    void decode_isStrict() {
        QFETCH(QByteArray, data);
        QVERIFY(!decodeConnections(data));
    }

    void decodeFavorite_requiresWellFormedConnectionId() {
        QVERIFY(!decodeFavorites(json(
            R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","connectionId":"x","name":"n","remotePath":"/"}])")));
        QVERIFY(
            !decodeFavorites(json(R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8",)"
                                  R"("connectionId":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","name":"n"}])")));
        QCOMPARE(decodeFavorites(json("[]"))->size(), 0);
    }

    void equality_isWholeRecordWithCanonicalText() {
        Connection a = sample();
        Connection b = a;
        b.name = QStringLiteral("other");
        QVERIFY(!(a == b));
        b.name = a.name;
        QVERIFY(a == b);

        // "é" precomposed and decomposed are the same text.
        a.name = QString::fromUtf8("caf\xc3\xa9");
        b.name = QString::fromUtf8("cafe\xcc\x81");
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));
        QCOMPARE(QSet<Connection>({a, b}).size(), 1);

        Favorite f{QUuid::createUuid(), a.id, QStringLiteral("n"), QStringLiteral("/x")};
        Favorite g = f;
        g.remotePath = QStringLiteral("/x/");
        QVERIFY(!(f == g));
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
