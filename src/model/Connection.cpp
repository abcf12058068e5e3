#include "Connection.h"

#include "TextEquality.h"

#include <QHashFunctions>

Connection Connection::makeNew() {
    Connection connection;
    connection.id = QUuid::createUuid();
    return connection;
}

QString Connection::displayName() const {
    if (!name.isEmpty())
        return name;
    return host + u':' + QString::number(port);
}

bool operator==(const Connection& a, const Connection& b) {
    return a.id == b.id && sameText(a.name, b.name) && sameText(a.host, b.host) && a.port == b.port &&
           sameText(a.username, b.username) && sameText(a.password, b.password) && a.useTLS == b.useTLS &&
           a.tlsMode == b.tlsMode && a.textEncoding == b.textEncoding &&
           a.passwordInKeyring == b.passwordInKeyring;
}

size_t qHash(const Connection& c, size_t seed) {
    // Texts are hashed in canonical form so that records equal under operator== hash equal.
    return qHashMulti(seed, c.id, canonicalText(c.name), canonicalText(c.host), c.port,
                      canonicalText(c.username), canonicalText(c.password), c.useTLS, int(c.tlsMode),
                      c.textEncoding.id, c.passwordInKeyring);
}
