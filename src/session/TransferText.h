#pragma once

#include "ftp/OperationControl.h"
#include "model/Connection.h"

#include <QString>
#include <QStringList>

#include <optional>

// The words Kalvor uses about transfers, in one place so the window's header, the upload sheet and the
// questions all say the same thing the same way.
namespace transfertext {

enum class Direction { upload, download };

// "name — size · done/total", then the speed and the time left once they are known. itemName is what the
// user sees (already decoded for display).
QString progressLine(const TransferProgress& progress);
// "3.2 MB/s, about 2 minutes left"; the speed alone while the time left is unknown.
QString speedText(double bytesPerSecond, std::optional<qint64> secondsLeft);
// "about 2 minutes left", "a few seconds left", ...
QString timeLeftText(qint64 seconds);

// "a.txt", "a.txt and b.txt", "a.txt, b.txt and c.txt", "a.txt, b.txt and 2 more".
QString namesText(const QStringList& names);

// Said for a few seconds once a transfer has ended: "4 files uploaded to Holiday photos", "1 file
// downloaded to ~/Downloads"; with nothing sent (every file was there already) "Nothing new to upload to
// …". skipped links are mentioned when there were any.
QString finishedText(Direction direction, int files, const QString& destination, int skippedLinks = 0);
QString cancelledText(Direction direction);

// A local folder as people write it: "~/Downloads" below the home folder, the full path elsewhere.
QString localFolderLabel(const QString& path);
// A remote folder by its shown name; the login folder by the server's name.
QString remoteFolderLabel(const QString& path, const Connection& connection);

} // namespace transfertext
