#include "Favorite.h"

#include "TextEquality.h"

#include <QHashFunctions>

bool operator==(const Favorite& a, const Favorite& b) {
    return a.id == b.id && a.connectionId == b.connectionId && sameText(a.name, b.name) &&
           sameText(a.remotePath, b.remotePath);
}

size_t qHash(const Favorite& f, size_t seed) {
    return qHashMulti(seed, f.id, f.connectionId, canonicalText(f.name), canonicalText(f.remotePath));
}
