#pragma once

#include "model/Connection.h"
#include "model/Favorite.h"

#include <QList>
#include <QString>

class FavoritesManager;

// A favorite as the sidebar and the upload sheet offer it.
struct ListedFavorite {
    Favorite favorite;
    Connection connection;
    // Its name as the connection shows names, with the server after it ("Photos — work.example.org") when
    // another offered favorite has the same name, so two of them never read alike.
    QString label;
    QString shownPath;
};

// The favorites that can be opened (their connection still exists), in the store's order.
QList<ListedFavorite> listedFavorites(const FavoritesManager& store);
