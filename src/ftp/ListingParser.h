#pragma once

#include "model/RemoteFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// Turns curl's listing output into sorted entries. Each line (lines end at LF) is offered to three
// parsers in turn: unix long listing, DOS with "<DIR>", bare name; the first that gives an entry or refuses
// the line decides (src/ftp/listing/LineScan.h). Blank lines and "total " lines give nothing.
//
// Names are byte-exact: never trimmed or collapsed, held in the server form of ServerText.h whatever
// their encoding, so that every operation names the very file that was listed. A name that is empty, "."
// or "..", or that could lead an operation out of the listed folder, is refused. An entry whose exact name
// the listing does not tell is marked isAmbiguous: two entries that come out with the same path (both are
// marked), a link line with two " -> ", a DOS folder line padded in a way no known server pads.
//
// Parsing never fails: what cannot be read gives fewer entries. Lines that are binary junk rather than
// text are counted, so that a caller can tell an unreadable listing from an empty folder.

struct ListingReport {
    // Folders first, then files, each by name: in the user's locale, ignoring letter case, a name that is not
    // UTF-8 as it is shown; equal names keep their order.
    QList<RemoteFile> entries;
    qsizetype unreadableLines = 0;
};

namespace listing {

// The path with a trailing "/" ensured; "" and "/" both give "/".
QString folderPrefix(const QString& path);
// Entries of the root ("/") have relative paths: the name alone.
QString entryPath(const QString& prefix, const QString& name);
// The name check and the stay-inside-the-folder rule ("\" counts as a separator like "/").
bool isAcceptableName(QStringView name);

} // namespace listing

// `path` is the listed folder, as given to curl.
[[nodiscard]] ListingReport parseListingReport(const QByteArray& output, const QString& path);
// The entries alone, for callers that need not tell an unreadable listing from an empty one.
QList<RemoteFile> parseListing(const QByteArray& output, const QString& path);

// Used by FTPClient for the text of curl's errors.
bool isValidUtf8(const QByteArray& bytes);
