#pragma once

#include "model/RemoteFile.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

#include <optional>

// Helpers shared by the files that make up FTPClient; nothing outside src/ftp uses them.
namespace ftpinternal {

// Bytes a second below which a transfer counts as stalled (see FTPClient::baseConfig).
constexpr int stallSpeedLimit = 1000;

QString withLeadingSlash(const QString& path);
QString withTrailingSlash(const QString& path);
bool holdsControlCharacter(const QString& text);
// The server bytes of a path with a leading "/" ensured, as raw commands name it.
QByteArray serverPath(const QString& path);
// The verbs of raw commands ("DELE"), without the "*" that lets one fail.
QByteArrayList commandVerbs(const QByteArrayList& commands);
QByteArray withoutFailureMark(const QByteArray& command);
// The last refusal (4xx or 5xx) the trace shows, as the server sent it.
std::optional<QByteArray> lastFailedReply(const QByteArray& trace);
// Exit codes for which the server's last refusal says best what went wrong.
bool isAboutTheCommand(int exitStatus);
QString unreadableListingText(const QString& server);
// A folder's listing as entries; an unreadable listing is an error, never an empty folder.
QList<RemoteFile> parseFolderListing(const QByteArray& body, const QString& path);
// A random word for temporary names and record markers.
QString randomTag();

} // namespace ftpinternal
