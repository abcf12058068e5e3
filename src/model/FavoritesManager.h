#pragma once

#include "Connection.h"
#include "Favorite.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class DefaultsStore;

// The user's saved connections and favorite folders, kept in memory and written whole to the defaults
// store after every change. One instance serves every main window of the process, so no window can
// overwrite what another saved. GUI thread only.
class FavoritesManager : public QObject {
    Q_OBJECT

public:
    static QString connectionsKey() { return QStringLiteral("Kalvor.connections"); }
    static QString favoritesKey() { return QStringLiteral("Kalvor.favorites"); }

    // Loads both lists; writes nothing. The store must outlive the manager.
    explicit FavoritesManager(DefaultsStore& store, QObject* parent = nullptr);

    // The store the lists live in; small per-user settings of the windows are kept beside them.
    DefaultsStore& defaultsStore() const { return m_store; }

    const QList<Connection>& connections() const { return m_connections; }
    const QList<Favorite>& favorites() const { return m_favorites; }

    // Reads both lists, each independently: a list that is absent or does not decode keeps its value.
    void load();
    // Writes both lists. Returns false (and emits saveFailed) when a list could not be written; the lists
    // in memory stay as they are either way.
    bool save();

    void addConnection(const Connection& connection);
    // Replaces the connection with the same id in place; an unknown id changes and writes nothing.
    void updateConnection(const Connection& connection);
    // Removes the connection and every favorite of it.
    void deleteConnection(const Connection& connection);
    // Nothing happens when this connection already has a favorite with this path (canonically equivalent
    // texts count as the same path; a trailing "/" makes a different one).
    void addFavorite(const QUuid& connectionId, const QString& name, const QString& remotePath);
    void removeFavorite(const Favorite& favorite);

    std::optional<Connection> connectionFor(const Favorite& favorite) const;

    // Why the last save failed; empty once a save succeeds.
    QString lastSaveError() const { return m_lastSaveError; }

Q_SIGNALS:
    void connectionsChanged();
    void favoritesChanged();
    void saveFailed(const QString& message);

private:
    // A stored value that did not load must not be replaced before it is kept aside.
    bool writeKey(const QString& key, const QByteArray& data, bool& keepAsideFirst, QStringList& errors);

    DefaultsStore& m_store;
    QList<Connection> m_connections;
    QList<Favorite> m_favorites;
    bool m_keepConnectionsAside = false;
    bool m_keepFavoritesAside = false;
    QString m_lastSaveError;
};
