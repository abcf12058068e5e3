#include "RecordJson.h"

#include "JsonText.h"

#include <QRegularExpression>

#include <limits>

namespace {

using jsontext::stringMember;
using jsontext::utf8;

std::optional<QUuid> uuidMember(const OrderedJson& object, const char* key) {
    const auto text = stringMember(object, key);
    return text ? parseUuidText(*text) : std::nullopt;
}

std::optional<qint64> integerMember(const OrderedJson& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    // Positive numbers arrive as unsigned; floats ("21.0") and out-of-range values are refused.
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > std::uint64_t(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(value);
    }
    if (it->is_number_integer())
        return qint64(it->get<std::int64_t>());
    return std::nullopt;
}

std::optional<bool> boolMember(const OrderedJson& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

std::optional<OrderedJson> parseArray(const QByteArray& data) {
    OrderedJson document = OrderedJson::parse(data.constBegin(), data.constEnd(), nullptr, false);
    if (document.is_discarded() || !document.is_array())
        return std::nullopt;
    return document;
}

template <typename Record, typename Decode>
std::optional<QList<Record>> decodeList(const QByteArray& data, Decode decode) {
    const auto array = parseArray(data);
    if (!array)
        return std::nullopt;
    QList<Record> records;
    records.reserve(qsizetype(array->size()));
    for (const auto& element : *array) {
        auto record = decode(element);
        if (!record)
            return std::nullopt;
        records.append(std::move(*record));
    }
    return records;
}

template <typename Record> QByteArray encodeList(const QList<Record>& records) {
    OrderedJson array = OrderedJson::array();
    for (const auto& record : records)
        array.push_back(toJson(record));
    const std::string text = array.dump();
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuidText(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(text);
}

OrderedJson toJson(const Connection& c) {
    OrderedJson object = OrderedJson::object();
    object["id"] = utf8(uuidText(c.id));
    object["name"] = utf8(c.name);
    object["host"] = utf8(c.host);
    object["port"] = std::int64_t(c.port);
    object["username"] = utf8(c.username);
    object["password"] = utf8(c.password);
    object["useTLS"] = c.useTLS;
    // Members added since the first version. Older builds ignore them, and a record without them reads as
    // it always did (useTLS alone is implicit TLS).
    object["tlsMode"] = c.tlsMode == Connection::TlsMode::explicitTLS ? "explicit" : "implicit";
    object["textEncoding"] = utf8(c.textEncoding.id);
    object["passwordInKeyring"] = c.passwordInKeyring;
    return object;
}

OrderedJson toJson(const Favorite& f) {
    OrderedJson object = OrderedJson::object();
    object["id"] = utf8(uuidText(f.id));
    object["connectionId"] = utf8(uuidText(f.connectionId));
    object["name"] = utf8(f.name);
    // A path that is not valid UTF-8 on the server is stored readable for people and older builds, and
    // exactly (percent-encoded bytes) beside it.
    object["remotePath"] = utf8(servertext::forDisplay(f.remotePath, {}));
    if (servertext::holdsRawBytes(f.remotePath))
        object["remotePathBytes"] = servertext::toServer(f.remotePath).toPercentEncoding().toStdString();
    return object;
}

std::optional<Connection> connectionFromJson(const OrderedJson& object) {
    if (!object.is_object())
        return std::nullopt;
    const auto id = uuidMember(object, "id");
    const auto name = stringMember(object, "name");
    const auto host = stringMember(object, "host");
    const auto port = integerMember(object, "port");
    const auto username = stringMember(object, "username");
    const auto password = stringMember(object, "password");
    const auto useTLS = boolMember(object, "useTLS");
    if (!id || !name || !host || !port || !username || !password || !useTLS)
        return std::nullopt;
    Connection connection;
    connection.id = *id;
    connection.name = *name;
    connection.host = *host;
    connection.port = *port;
    connection.username = *username;
    connection.password = *password;
    connection.useTLS = *useTLS;
    // Optional members: absent means what a record of the first version meant. A value this build does
    // not know fails the record, as any other bad member does.
    if (object.contains("tlsMode")) {
        const auto mode = stringMember(object, "tlsMode");
        if (mode == u"explicit")
            connection.tlsMode = Connection::TlsMode::explicitTLS;
        else if (mode != u"implicit")
            return std::nullopt;
    }
    if (object.contains("textEncoding")) {
        const auto encoding = stringMember(object, "textEncoding");
        if (!encoding)
            return std::nullopt;
        connection.textEncoding.id = *encoding;
    }
    if (object.contains("passwordInKeyring")) {
        const auto inKeyring = boolMember(object, "passwordInKeyring");
        if (!inKeyring)
            return std::nullopt;
        connection.passwordInKeyring = *inKeyring;
    }
    return connection;
}

std::optional<Favorite> favoriteFromJson(const OrderedJson& object) {
    if (!object.is_object())
        return std::nullopt;
    const auto id = uuidMember(object, "id");
    const auto connectionId = uuidMember(object, "connectionId");
    const auto name = stringMember(object, "name");
    const auto remotePath = stringMember(object, "remotePath");
    if (!id || !connectionId || !name || !remotePath)
        return std::nullopt;
    Favorite favorite{*id, *connectionId, *name, *remotePath};
    if (object.contains("remotePathBytes")) {
        const auto encoded = stringMember(object, "remotePathBytes");
        if (!encoded)
            return std::nullopt;
        favorite.remotePath = servertext::fromServer(QByteArray::fromPercentEncoding(encoded->toLatin1()));
    }
    return favorite;
}

QByteArray encodeConnections(const QList<Connection>& connections) {
    return encodeList(connections);
}

QByteArray encodeFavorites(const QList<Favorite>& favorites) {
    return encodeList(favorites);
}

std::optional<QList<Connection>> decodeConnections(const QByteArray& data) {
    return decodeList<Connection>(data, connectionFromJson);
}

std::optional<QList<Favorite>> decodeFavorites(const QByteArray& data) {
    return decodeList<Favorite>(data, favoriteFromJson);
}
