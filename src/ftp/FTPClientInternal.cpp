#include "FTPClientInternal.h"

#include "FTPClientError.h"
#include "ListingParser.h"
#include "model/ServerText.h"

#include <QRandomGenerator>

#include <algorithm>

namespace ftpinternal {

QString withLeadingSlash(const QString& path) {
    return path.startsWith(u'/') ? path : u'/' + path;
}

QString withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

bool holdsControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QByteArray serverPath(const QString& path) {
    return servertext::toServer(withLeadingSlash(path));
}

QByteArray withoutFailureMark(const QByteArray& command) {
    return command.startsWith('*') ? command.mid(1) : command;
}

QByteArrayList commandVerbs(const QByteArrayList& commands) {
    QByteArrayList verbs;
    for (const QByteArray& command : commands) {
        const QByteArray verb = withoutFailureMark(command).split(' ').first().toUpper();
        if (!verbs.contains(verb))
            verbs.append(verb);
    }
    return verbs;
}

std::optional<QByteArray> lastFailedReply(const QByteArray& trace) {
    std::optional<QByteArray> found;
    for (const QByteArray& rawLine : trace.split('\n')) {
        const QByteArray line = rawLine.endsWith('\r') ? rawLine.chopped(1) : rawLine;
        if (line.size() >= 6 && line.startsWith("< ") && (line.at(2) == '4' || line.at(2) == '5') &&
            line.at(5) == ' ')
            found = line.mid(2);
    }
    return found;
}

bool isAboutTheCommand(int exitStatus) {
    switch (exitStatus) {
    case 9:  // a folder that could not be entered
    case 19: // a download refused
    case 21: // a raw command refused
    case 25: // an upload refused
    case 78: // no such file
        return true;
    default:
        return false;
    }
}

QString unreadableListingText(const QString& server) {
    return QStringLiteral("The listing from %1 could not be read. Try again.").arg(server);
}

QList<RemoteFile> parseFolderListing(const QByteArray& body, const QString& path) {
    // A line that cannot be read may be a file nobody sees, and a listing of nothing but such lines would
    // pass for an empty folder: either way an upload could overwrite without asking. Names in a legacy
    // encoding are not such lines: they are kept byte for byte.
    ListingReport listing = parseListingReport(body, path);
    if (listing.unreadableLines > 0)
        throw FTPClientError::commandFailed(
            QStringLiteral("The server's folder listing is not readable text, so it cannot be shown."));
    return std::move(listing.entries);
}

QString randomTag() {
    return QString::number(QRandomGenerator::global()->generate64(), 36);
}

} // namespace ftpinternal
