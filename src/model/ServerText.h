#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Names and paths on an FTP server are bytes, and old servers send them in whatever encoding their disk
// uses. Kalvor holds every remote name and path as a QString in one lossless form, the "server form":
// bytes that are valid UTF-8 are decoded as usual, and each byte of a sequence that is not becomes the lone
// surrogate U+DC80 + (byte - 0x80). toServer() gives back exactly the bytes the server sent, so every
// operation on an entry names the very file that was listed, whatever its encoding. Valid UTF-8 names (all
// of them on most servers) are therefore plain text; only the odd bytes of a legacy name are escaped.
//
// What a person sees is forDisplay(): the server form decoded with the connection's text encoding.
namespace servertext {

// The per-connection choice of how names are decoded for display and encoded when Kalvor makes one. An
// empty id means automatic: UTF-8 where the bytes are valid UTF-8, and Windows-1252 (whose printable part
// holds ISO-8859-1) for the bytes that are not; a byte neither defines shows as U+FFFD.
struct Encoding {
    QString id; // "" (automatic) or an IANA name such as "UTF-8", "ISO-8859-1", "windows-1252"

    bool isAutomatic() const { return id.isEmpty(); }
    friend bool operator==(const Encoding&, const Encoding&) = default;
};

// The choices offered in the connection form, automatic first.
QList<Encoding> offeredEncodings();
// "Automatic", "UTF-8", "Western (ISO-8859-1)", ...
QString encodingLabel(const Encoding& encoding);
// Whether this machine can decode and encode it (unknown ids from a newer build count as not).
bool isSupported(const Encoding& encoding);

// Bytes from the server -> server form. Never fails.
QString fromServer(QByteArrayView bytes);
// Server form -> the exact bytes to send back.
QByteArray toServer(QStringView text);
// Whether the text holds any escaped byte (a name that is not valid UTF-8).
bool holdsRawBytes(QStringView text);

// Server form -> the text shown to the user.
QString forDisplay(QStringView text, const Encoding& encoding);
// Text the user typed (a new folder, a rename, a local file's name) -> server form in this encoding.
// None when the encoding cannot write one of its characters.
std::optional<QString> fromUserText(QStringView typed, const Encoding& encoding);

} // namespace servertext
