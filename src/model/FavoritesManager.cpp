#include "FavoritesManager.h"

#include "DefaultsStore.h"
#include "RecordJson.h"
#include "TextEquality.h"

#include <algorithm>

namespace {

// Replaces list with the stored one when it decodes, and returns whether it did. A value that is there
// but unusable (not JSON, one bad record, unreadable) leaves list as it is and sets keepAside, so the
// first save keeps that value aside before writing over it.
template <typename Record, typename Decode>
bool loadList(const DefaultsStore& store, const QString& key, Decode decode, QList<Record>& list,
              bool& keepAside) {
    const auto data = store.value(key);
    if (!data) {
        keepAside = store.contains(key);
        return false;
    }
    auto decoded = decode(*data);
    keepAside = !decoded;
    if (!decoded)
        return false;
    list = std::move(*decoded);
    return true;
}

} // namespace

FavoritesManager::FavoritesManager(DefaultsStore& store, QObject* parent)
    : QObject(parent)
    , m_store(store) {
    load();
}

void FavoritesManager::load() {
    // Each list on its own: one that fails leaves the other alone. Nothing is written here.
    if (loadList(m_store, connectionsKey(), decodeConnections, m_connections, m_keepConnectionsAside))
        Q_EMIT connectionsChanged();
    if (loadList(m_store, favoritesKey(), decodeFavorites, m_favorites, m_keepFavoritesAside))
        Q_EMIT favoritesChanged();
}

bool FavoritesManager::writeKey(const QString& key, const QByteArray& data, bool& keepAsideFirst,
                                QStringList& errors) {
    if (keepAsideFirst) {
        // Keep what is stored now, which is exactly what this write would replace.
        if (const auto current = m_store.value(key)) {
            if (!m_store.keepAside(key, *current)) {
                errors.append(m_store.errorString());
                return false;
            }
        } else if (m_store.contains(key)) {
            errors.append(QStringLiteral("%1 could not be read, so it was left as it is: %2")
                              .arg(key, m_store.errorString()));
            return false;
        }
        keepAsideFirst = false;
    }
    if (!m_store.setValue(key, data)) {
        errors.append(m_store.errorString());
        return false;
    }
    return true;
}

bool FavoritesManager::save() {
    QStringList errors;
    writeKey(connectionsKey(), encodeConnections(m_connections), m_keepConnectionsAside, errors);
    writeKey(favoritesKey(), encodeFavorites(m_favorites), m_keepFavoritesAside, errors);
    m_lastSaveError = errors.join(u'\n');
    if (!errors.isEmpty()) {
        Q_EMIT saveFailed(m_lastSaveError);
        return false;
    }
    return true;
}

void FavoritesManager::addConnection(const Connection& connection) {
    m_connections.append(connection);
    Q_EMIT connectionsChanged();
    save();
}

void FavoritesManager::updateConnection(const Connection& connection) {
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [&](const Connection& c) { return c.id == connection.id; });
    if (it == m_connections.end())
        return;
    *it = connection;
    Q_EMIT connectionsChanged();
    save();
}

void FavoritesManager::deleteConnection(const Connection& connection) {
    const QUuid id = connection.id;
    if (m_connections.removeIf([&](const Connection& c) { return c.id == id; }) > 0)
        Q_EMIT connectionsChanged();
    if (m_favorites.removeIf([&](const Favorite& f) { return f.connectionId == id; }) > 0)
        Q_EMIT favoritesChanged();
    save();
}

void FavoritesManager::addFavorite(const QUuid& connectionId, const QString& name,
                                   const QString& remotePath) {
    const bool known = std::any_of(m_favorites.cbegin(), m_favorites.cend(), [&](const Favorite& f) {
        return f.connectionId == connectionId && sameText(f.remotePath, remotePath);
    });
    if (known)
        return;
    m_favorites.append(Favorite{QUuid::createUuid(), connectionId, name, remotePath});
    Q_EMIT favoritesChanged();
    save();
}

void FavoritesManager::removeFavorite(const Favorite& favorite) {
    const QUuid id = favorite.id;
    if (m_favorites.removeIf([&](const Favorite& f) { return f.id == id; }) > 0)
        Q_EMIT favoritesChanged();
    save();
}

std::optional<Connection> FavoritesManager::connectionFor(const Favorite& favorite) const {
    for (const Connection& connection : m_connections) {
        if (connection.id == favorite.connectionId)
            return connection;
    }
    return std::nullopt;
}
