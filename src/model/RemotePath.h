#pragma once

#include <QString>

// Remote folder paths as the windows keep them: absolute (/pub/docs/) or, for entries of the root listing,
// relative (pub/); the empty path and "/" both mean the login folder. Every flow uses these helpers, so a
// folder is never spelled one way in one place and another way elsewhere.
namespace remotepath {

// The path with a "/" at its end; the empty path becomes "/". Nothing else changes (no leading "/" is added,
// doubled slashes stay), so the server is asked for exactly the folder it listed.
QString withTrailingSlash(const QString& path);

// The folder above: "/", all pieces but the last joined with "/", then "/"; "/" for the first level and for
// the root. Empty pieces are dropped, so //a//b// gives /a/ and a/b/ gives /a/. For an entry's path this is
// the folder that lists it.
QString parentFolder(const QString& path);

// Whether two paths name the same folder: leading, trailing and doubled slashes do not count, letter case
// and every other character do.
bool sameFolder(const QString& a, const QString& b);

} // namespace remotepath
