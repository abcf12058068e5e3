#include "MemoryDefaultsStore.h"
#include "model/FavoritesManager.h"
#include "model/RecordJson.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString connectionsKey = QStringLiteral("Kalvor.connections");
const QString favoritesKey = QStringLiteral("Kalvor.favorites");

Connection server(const QString& name) {
    Connection connection = Connection::makeNew();
    connection.name = name;
    connection.host = name.toLower() + QStringLiteral(".example.org");
    return connection;
}

QStringList names(const QList<Favorite>& favorites) {
    QStringList result;
    for (const Favorite& favorite : favorites)
        result.append(favorite.name);
    return result;
}

QStringList sideKeys(const MemoryDefaultsStore& store, const QString& key) {
    return store.keys().filter(key + QStringLiteral(".corrupt-"));
}

} // namespace

class FavoritesManagerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void changes_persistAsExactJsonArrays() {
        MemoryDefaultsStore store;
        const Connection work = server(QStringLiteral("Wörk"));
        {
            FavoritesManager manager(store);
            QVERIFY(store.keys().isEmpty()); // a first start writes nothing
            manager.addConnection(work);
            manager.addFavorite(work.id, QStringLiteral("Site"), QStringLiteral("/var/www"));
            QCOMPARE(store.value(connectionsKey), encodeConnections(manager.connections()));
            QCOMPARE(store.value(favoritesKey), encodeFavorites(manager.favorites()));
        }
        FavoritesManager reopened(store);
        QCOMPARE(reopened.connections(), QList<Connection>{work});
        QCOMPARE(names(reopened.favorites()), QStringList{QStringLiteral("Site")});
        QCOMPARE(reopened.connectionFor(reopened.favorites().first()), work);
    }

    void addFavorite_duplicateRule_data() {
        QTest::addColumn<bool>("sameConnection");
        QTest::addColumn<QString>("secondPath");
        QTest::addColumn<QStringList>("expectedNames");

        const QString path = QStringLiteral("/home/caf\u00e9");
        QTest::newRow("same path, other name: first name kept")
            << true << path << QStringList{QStringLiteral("first")};
        QTest::newRow("canonically equivalent path")
            << true << QStringLiteral("/home/cafe\u0301") << QStringList{QStringLiteral("first")};
        QTest::newRow("trailing slash is another folder")
            << true << path + u'/' << QStringList{QStringLiteral("first"), QStringLiteral("second")};
        QTest::newRow("same path, other connection")
            << false << path << QStringList{QStringLiteral("first"), QStringLiteral("second")};
    }

    void addFavorite_duplicateRule() {
        QFETCH(bool, sameConnection);
        QFETCH(QString, secondPath);
        QFETCH(QStringList, expectedNames);

        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        const QUuid a = QUuid::createUuid();
        const QUuid b = sameConnection ? a : QUuid::createUuid();
        manager.addFavorite(a, QStringLiteral("first"), QStringLiteral("/home/caf\u00e9"));
        const qsizetype writesBefore = store.writtenKeys().size();
        QSignalSpy changed(&manager, &FavoritesManager::favoritesChanged);

        manager.addFavorite(b, QStringLiteral("second"), secondPath);

        QCOMPARE(names(manager.favorites()), expectedNames);
        const bool added = expectedNames.size() == 2;
        QCOMPARE(changed.size(), added ? 1 : 0);
        QCOMPARE(store.writtenKeys().size() - writesBefore, added ? 2 : 0);
    }

    void deleteAndRemove_takeExactlyTheirFavorites() {
        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        const Connection a = server(QStringLiteral("A"));
        const Connection b = server(QStringLiteral("B"));
        manager.addConnection(a);
        manager.addConnection(b);
        manager.addFavorite(b.id, QStringLiteral("b1"), QStringLiteral("/1"));
        manager.addFavorite(a.id, QStringLiteral("a1"), QStringLiteral("/1"));
        manager.addFavorite(b.id, QStringLiteral("b2"), QStringLiteral("/2"));
        manager.addFavorite(a.id, QStringLiteral("a2"), QStringLiteral("/2"));
        manager.addFavorite(b.id, QStringLiteral("b3"), QStringLiteral("/3"));

        manager.deleteConnection(a);

        QCOMPARE(manager.connections(), QList<Connection>{b});
        QCOMPARE(names(manager.favorites()), (QStringList{u"b1"_s, u"b2"_s, u"b3"_s}));
        QCOMPARE(decodeFavorites(*store.value(favoritesKey)), manager.favorites());

        manager.removeFavorite(manager.favorites().at(1));
        QCOMPARE(names(manager.favorites()), (QStringList{u"b1"_s, u"b3"_s}));
    }

    void unknownIds_deleteAndRemoveStillWriteBoth_updateWritesNothing() {
        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        const Connection a = server(QStringLiteral("A"));
        manager.addConnection(a);
        manager.addFavorite(a.id, QStringLiteral("a1"), QStringLiteral("/"));
        const auto connectionsBefore = manager.connections();
        const auto favoritesBefore = manager.favorites();
        QSignalSpy connectionsChanged(&manager, &FavoritesManager::connectionsChanged);
        QSignalSpy favoritesChanged(&manager, &FavoritesManager::favoritesChanged);

        const qsizetype writes = store.writtenKeys().size();
        manager.updateConnection(server(QStringLiteral("Stranger")));
        QCOMPARE(store.writtenKeys().size(), writes);

        manager.deleteConnection(server(QStringLiteral("Stranger")));
        manager.removeFavorite(
            Favorite{QUuid::createUuid(), a.id, QStringLiteral("a1"), QStringLiteral("/")});
        QCOMPARE(store.writtenKeys().mid(writes),
                 (QStringList{connectionsKey, favoritesKey, connectionsKey, favoritesKey}));
        QCOMPARE(manager.connections(), connectionsBefore);
        QCOMPARE(manager.favorites(), favoritesBefore);
        QCOMPARE(connectionsChanged.size() + favoritesChanged.size(), 0);
    }

    void updateConnection_keepsPlaceAndFavorites() {
        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        const Connection a = server(QStringLiteral("A"));
        Connection b = server(QStringLiteral("B"));
        manager.addConnection(a);
        manager.addConnection(b);
        manager.addConnection(server(QStringLiteral("C")));
        manager.addFavorite(b.id, QStringLiteral("b1"), QStringLiteral("/"));

        b.name = QStringLiteral("Renamed");
        b.port = 990;
        b.useTLS = true;
        b.password = QStringLiteral("new");
        // The views redraw from the signal, so the new value must already be in place.
        QString seen;
        connect(&manager, &FavoritesManager::connectionsChanged, this,
                [&] { seen = manager.connections().at(1).name; });
        manager.updateConnection(b);

        QCOMPARE(seen, QStringLiteral("Renamed"));
        QCOMPARE(manager.connections().at(1), b);
        QCOMPARE(manager.connectionFor(manager.favorites().first()), b);
        QCOMPARE(decodeConnections(*store.value(connectionsKey)), manager.connections());
    }

    void undecodableConnections_keptAsideFavoritesStillLoad_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("truncated") << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"na");
        QTest::newRow("record without useTLS")
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"name\":\"\",\"host\":\"h\","
                          "\"port\":21,\"username\":\"\",\"password\":\"\"}]");
    }

    void undecodableConnections_keptAsideFavoritesStillLoad() {
        QFETCH(QByteArray, stored);
        const QUuid connectionId = QUuid::createUuid();
        const QList<Favorite> favorites{
            Favorite{QUuid::createUuid(), connectionId, QStringLiteral("www"), QStringLiteral("/www")}};
        MemoryDefaultsStore store({{connectionsKey, stored}, {favoritesKey, encodeFavorites(favorites)}});

        FavoritesManager manager(store);
        QVERIFY(manager.connections().isEmpty());
        QCOMPARE(manager.favorites(), favorites);
        QCOMPARE(manager.connectionFor(favorites.first()), std::nullopt);
        QVERIFY(store.writtenKeys().isEmpty());

        // The first save may replace the bad value only after keeping it aside.
        const Connection added = server(QStringLiteral("New"));
        manager.addConnection(added);
        const QStringList aside = sideKeys(store, connectionsKey);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(store.value(aside.first()), stored);
        QCOMPARE(store.writtenKeys().first(), aside.first());
        QCOMPARE(decodeConnections(*store.value(connectionsKey)), QList<Connection>{added});
        QVERIFY(sideKeys(store, favoritesKey).isEmpty());

        // Once kept, later saves write normally and never make another copy.
        manager.addFavorite(added.id, QStringLiteral("x"), QStringLiteral("/x"));
        QCOMPARE(sideKeys(store, connectionsKey), aside);
        QCOMPARE(store.value(aside.first()), stored);
    }

    void failedWrite_isVisibleAndKeepsMemoryAndStore() {
        MemoryDefaultsStore store;
        FavoritesManager manager(store);
        const Connection a = server(QStringLiteral("A"));
        manager.addConnection(a);
        const QByteArray storedBefore = *store.value(connectionsKey);
        QSignalSpy failed(&manager, &FavoritesManager::saveFailed);

        store.setFailWrites(true);
        const Connection b = server(QStringLiteral("B"));
        manager.addConnection(b);
        QCOMPARE(failed.size(), 1);
        QVERIFY(!manager.lastSaveError().isEmpty());
        QCOMPARE(failed.first().first().toString(), manager.lastSaveError());
        QCOMPARE(manager.connections(), (QList<Connection>{a, b}));
        QCOMPARE(store.value(connectionsKey), storedBefore);

        store.setFailWrites(false);
        manager.addFavorite(b.id, QStringLiteral("b"), QStringLiteral("/"));
        QVERIFY(manager.lastSaveError().isEmpty());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(decodeConnections(*store.value(connectionsKey)), (QList<Connection>{a, b}));
    }

    void undecodableValue_notOverwrittenWhenItCannotBeKeptAside() {
        MemoryDefaultsStore store({{favoritesKey, QByteArray("[oops")}});
        FavoritesManager manager(store);
        store.setFailWrites(true);
        manager.addFavorite(QUuid::createUuid(), QStringLiteral("f"), QStringLiteral("/"));
        QVERIFY(!manager.lastSaveError().isEmpty());
        store.setFailWrites(false);
        // The next save still keeps the original aside before replacing it.
        manager.addFavorite(QUuid::createUuid(), QStringLiteral("g"), QStringLiteral("/"));
        const QStringList aside = sideKeys(store, favoritesKey);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(store.value(aside.first()), QByteArray("[oops"));
        QCOMPARE(decodeFavorites(*store.value(favoritesKey))->size(), 2);
    }
};

QTEST_GUILESS_MAIN(FavoritesManagerTest)
#include "tst_favoritesmanager.moc"
