#include "ListedFavorites.h"

#include "model/FavoritesManager.h"
#include "model/TextEquality.h"

#include <QHash>

QList<ListedFavorite> listedFavorites(const FavoritesManager& store) {
    QList<ListedFavorite> listed;
    QHash<QString, int> uses;
    for (const Favorite& favorite : store.favorites()) {
        const std::optional<Connection> connection = store.connectionFor(favorite);
        if (!connection)
            continue;
        const QString name = servertext::forDisplay(favorite.name, connection->textEncoding);
        ++uses[canonicalText(name)];
        listed.append({favorite, *connection, name,
                       servertext::forDisplay(favorite.remotePath, connection->textEncoding)});
    }
    for (ListedFavorite& item : listed) {
        if (uses.value(canonicalText(item.label)) > 1)
            item.label += QStringLiteral(" \u2014 ") + item.connection.displayName();
    }
    return listed;
}
