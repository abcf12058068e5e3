#include "MemoryDefaultsStore.h"
#include "model/FavoritesManager.h"
#include "model/RecordJson.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString connectionsKey = FavoritesManager::connectionsKey();
const QString favoritesKey = FavoritesManager::favoritesKey();

Connection server(const QString& name) {
    Connection connection = Connection::makeNew();
    connection.name = name;
    connection.host = name.toLower() + u".example.org"_s;
    return connection;
}

QStringList names(const QList<Favorite>& favorites) {
    QStringList result;
    for (const Favorite& favorite : favorites)
        result.append(favorite.name);
    return result;
}

QStringList sideKeys(const MemoryDefaultsStore& store, const QString& key) {
    return store.keys().filter(key + u".corrupt-"_s);
}

} // namespace

class FavoritesManagerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MemoryDefaultsStore> m_store;
    std::unique_ptr<FavoritesManager> m_manager;

    // A manager on a store holding these values, with these connections added.
    FavoritesManager& open(const QList<Connection>& connections = {},
                           const QHash<QString, QByteArray>& stored = {}) {
        m_manager.reset();
        m_store = std::make_unique<MemoryDefaultsStore>(stored);
        m_manager = std::make_unique<FavoritesManager>(*m_store);
        for (const Connection& connection : connections)
            m_manager->addConnection(connection);
        return *m_manager;
    }

private Q_SLOTS:
    // Every change is saved at once; an update keeps the connection's place and favorites, and is in place
    // by the time the views hear of it.
    void changes_persistAndReload() {
        FavoritesManager& manager = open();
        Connection work = server(u"Wörk"_s);
        for (const Connection& connection : {server(u"A"_s), work, server(u"C"_s)})
            manager.addConnection(connection);
        manager.addFavorite(work.id, u"Site"_s, u"/var/www"_s);
        work.name = u"Renamed"_s;
        work.port = 990;
        work.password = u"new"_s;
        QString seen;
        connect(&manager, &FavoritesManager::connectionsChanged, this,
                [&] { seen = manager.connections().at(1).name; });
        manager.updateConnection(work);
        QCOMPARE(seen, u"Renamed"_s);

        FavoritesManager reopened(*m_store);
        QCOMPARE(reopened.connections(), manager.connections());
        QCOMPARE(reopened.connections().at(1), work);
        QCOMPARE(names(reopened.favorites()), QStringList{u"Site"_s});
        QCOMPARE(reopened.connectionFor(reopened.favorites().first()), work);
    }

    // One favorite per connection and path: canonically equivalent texts are one path, a trailing "/" makes
    // another. A duplicate changes and writes nothing, and the first name stays.
    void addFavorite_duplicateRule() {
        FavoritesManager& manager = open();
        const QUuid a = QUuid::createUuid();
        manager.addFavorite(a, u"first"_s, u"/home/caf\u00e9"_s);
        QSignalSpy changed(&manager, &FavoritesManager::favoritesChanged);
        const qsizetype writes = m_store->writtenKeys().size();
        manager.addFavorite(a, u"same path"_s, u"/home/caf\u00e9"_s);
        manager.addFavorite(a, u"equivalent path"_s, u"/home/cafe\u0301"_s);
        QCOMPARE(m_store->writtenKeys().size(), writes);
        manager.addFavorite(a, u"trailing slash"_s, u"/home/caf\u00e9/"_s);
        manager.addFavorite(QUuid::createUuid(), u"other connection"_s, u"/home/caf\u00e9"_s);
        QCOMPARE(names(manager.favorites()),
                 (QStringList{u"first"_s, u"trailing slash"_s, u"other connection"_s}));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(m_store->writtenKeys().size(), writes + 4);
    }

    // Deleting a connection takes exactly its favorites. Ids the manager does not know change nothing.
    void deleteAndRemove_takeExactlyTheirFavorites() {
        const Connection a = server(u"A"_s), b = server(u"B"_s);
        FavoritesManager& manager = open({a, b});
        for (const char* name : {"b1", "a1", "b2", "a2", "b3"})
            manager.addFavorite(name[0] == 'a' ? a.id : b.id, QString::fromLatin1(name),
                                u"/"_s + QLatin1Char(name[1]));

        manager.deleteConnection(a);
        QCOMPARE(names(manager.favorites()), (QStringList{u"b1"_s, u"b2"_s, u"b3"_s}));
        QCOMPARE(decodeFavorites(*m_store->value(favoritesKey)), manager.favorites());
        manager.removeFavorite(manager.favorites().at(1));
        QCOMPARE(names(manager.favorites()), (QStringList{u"b1"_s, u"b3"_s}));

        const QList<Favorite> favoritesBefore = manager.favorites();
        QSignalSpy connectionsChanged(&manager, &FavoritesManager::connectionsChanged);
        QSignalSpy favoritesChanged(&manager, &FavoritesManager::favoritesChanged);
        manager.updateConnection(server(u"Stranger"_s));
        manager.deleteConnection(server(u"Stranger"_s));
        manager.removeFavorite(Favorite{QUuid::createUuid(), b.id, u"b1"_s, u"/1"_s});
        QCOMPARE(manager.connections(), QList<Connection>{b});
        QCOMPARE(manager.favorites(), favoritesBefore);
        QCOMPARE(connectionsChanged.size() + favoritesChanged.size(), 0);
    }

    // A list that did not load is kept aside, once, before a save replaces it, even after a save that could
    // not keep it.
    void undecodableList_keptAsideOnceEvenAfterAFailedSave() {
        const QByteArray stored = "[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"na"; // cut short
        FavoritesManager& manager = open({}, {{connectionsKey, stored}});
        m_store->setFailWrites(true);
        const Connection added = server(u"New"_s);
        manager.addConnection(added);
        m_store->setFailWrites(false);
        manager.addFavorite(added.id, u"x"_s, u"/x"_s);
        manager.addFavorite(added.id, u"y"_s, u"/y"_s);
        const QStringList aside = sideKeys(*m_store, connectionsKey);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(m_store->value(aside.first()), stored);
        QCOMPARE(m_store->writtenKeys().first(), aside.first());
        QCOMPARE(decodeConnections(*m_store->value(connectionsKey)), QList<Connection>{added});
        QVERIFY(sideKeys(*m_store, favoritesKey).isEmpty());
    }
};

QTEST_GUILESS_MAIN(FavoritesManagerTest)
#include "tst_favoritesmanager.moc"
