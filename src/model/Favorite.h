#pragma once

#include <QString>
#include <QUuid>

// A bookmarked remote folder of one saved connection.
struct Favorite {
    QUuid id;
    QUuid connectionId;
    QString name;
    QString remotePath; // server form, as RemoteFile::path; handed to the operations unchanged

    friend bool operator==(const Favorite& a, const Favorite& b);
};

size_t qHash(const Favorite& favorite, size_t seed = 0);
