#pragma once

#include "Connection.h"
#include "Favorite.h"

#include <QByteArray>
#include <QList>

#include <nlohmann/json.hpp>

#include <optional>

// The stored JSON form of connections and favorites: members in a fixed order, compact, upper-case UUIDs.
// Decoding is strict: every member is required and of its type, there are no defaults, and one bad record
// fails the whole list.

using OrderedJson = nlohmann::ordered_json;

OrderedJson toJson(const Connection& connection);
OrderedJson toJson(const Favorite& favorite);

std::optional<Connection> connectionFromJson(const OrderedJson& object);
std::optional<Favorite> favoriteFromJson(const OrderedJson& object);

QByteArray encodeConnections(const QList<Connection>& connections);
QByteArray encodeFavorites(const QList<Favorite>& favorites);

std::optional<QList<Connection>> decodeConnections(const QByteArray& data);
std::optional<QList<Favorite>> decodeFavorites(const QByteArray& data);

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, no braces.
QString uuidText(const QUuid& id);
// Only the 36-character form is accepted (either letter case); braces or anything else fail.
std::optional<QUuid> parseUuidText(const QString& text);
