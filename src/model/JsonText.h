#pragma once

#include <QString>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// Text in and out of the stored JSON files: nlohmann holds UTF-8 std::strings, Kalvor QStrings.
namespace jsontext {

inline std::string utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8(); // lone surrogates become U+FFFD, so dump() cannot throw
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// The member's text; nothing when it is missing or not a string.
inline std::optional<QString> stringMember(const nlohmann::ordered_json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    const auto& text = it->get_ref<const std::string&>();
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace jsontext
