#pragma once

#include "model/RemoteFile.h"

#include <QByteArray>
#include <QCollator>
#include <QList>
#include <QString>
#include <QStringView>

// Turns curl's listing output into sorted entries. Each trimmed, non-empty line is offered to three
// parsers in turn (unix long listing, DOS with "<DIR>", bare name); the first that gives an entry or
// refuses the line decides. The parser never fails: what it cannot read gives fewer entries.
//
// Names are taken verbatim from the line (runs of spaces kept). A name that is empty, "." or "..", or
// that could lead an operation out of the listed folder (a leading "/", or a "." or ".." segment), is
// refused.

namespace listing {

enum class Outcome { entry, refused, notRecognised };

struct LineResult {
    Outcome outcome = Outcome::notRecognised;
    RemoteFile entry; // valid only for Outcome::entry
};

// The path with a trailing "/" ensured; "" and "/" both give "/".
QString folderPrefix(const QString& path);
// Entries of the root ("/") have relative paths: the name alone.
QString entryPath(const QString& prefix, const QString& name);
// The name check and the stay-inside-the-folder rule.
bool isAcceptableName(QStringView name);

// Each is given a trimmed, non-empty line.
LineResult parseUnixLine(QStringView line, const QString& prefix);
LineResult parseDosLine(QStringView line, const QString& prefix);
LineResult parseBareNameLine(QStringView line, const QString& prefix);

// The collation names are sorted by: the user's locale, case-insensitive, digits as characters.
QCollator nameCollator();

// Folders first, then files; each group by name, case-insensitively in the user's locale; stable.
void sortEntries(QList<RemoteFile>& entries);

} // namespace listing

bool isValidUtf8(const QByteArray& bytes);

// Invalid UTF-8 gives an empty list (listDirectory turns that case into an error before calling this).
QList<RemoteFile> parseListing(const QByteArray& output, const QString& path);
