#include "FTPClient.h"

#include "CurlExitText.h"
#include "FTPClientError.h"
#include "ListingParser.h"
#include "model/ServerText.h"

#include <algorithm>

namespace {

QString withLeadingSlash(const QString& path) {
    return path.startsWith(u'/') ? path : u'/' + path;
}

// curl expands "[...]" and "{...}" in the file it uploads; a backslash before each keeps the name literal.
QString withoutGlobbing(const QString& localPath) {
    QString escaped;
    escaped.reserve(localPath.size());
    for (const QChar c : localPath) {
        if (c == u'[' || c == u']' || c == u'{' || c == u'}')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

QString withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

bool holdsControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// The text a failed run reports: what curl printed when it is UTF-8, the operation's fallback when it is
// not, and a reason derived from the exit status when it printed nothing at all.
QString failureText(const CurlResult& result, const QString& notUtf8Fallback) {
    if (result.crashed)
        return curlCrashText(result.signal);
    if (result.output.isEmpty())
        return curlExitText(result.exitStatus);
    if (!isValidUtf8(result.output))
        return notUtf8Fallback;
    return QString::fromUtf8(result.output);
}

} // namespace

FTPClient::FTPClient(Connection connection, QString curlPath)
    : m_connection(std::move(connection))
    , m_curlPath(std::move(curlPath)) {}

QString FTPClient::rootURL() const {
    return makeURL(QString());
}

QString FTPClient::makeURL(const QString& path) const {
    const QString folder = withTrailingSlash(withLeadingSlash(path));
    // curl rejects literal spaces and decodes %XX itself, so every segment is encoded; "/" stays a separator.
    // The bytes are the server's own, so a name in a legacy encoding reaches the very file that was listed.
    const QByteArray encoded = servertext::toServer(folder).toPercentEncoding(QByteArrayLiteral("/"));
    return (m_connection.useTLS ? QStringLiteral("ftps://") : QStringLiteral("ftp://")) + m_connection.host +
           u':' + QString::number(m_connection.port) + QString::fromLatin1(encoded);
}

QString FTPClient::credentials() const {
    return m_connection.username + u':' + m_connection.password;
}

QStringList FTPClient::withCommonOptions(QStringList arguments) const {
    QStringList options{QStringLiteral("-s")};
    if (m_connection.useTLS)
        options << QStringLiteral("-k") << QStringLiteral("--ssl-reqd");
    return options + arguments;
}

QStringList FTPClient::listArguments(const QString& path) const {
    return withCommonOptions({QStringLiteral("-u"), credentials(), makeURL(path)});
}

QStringList FTPClient::createDirectoryArguments(const QString& path) const {
    return withCommonOptions({QStringLiteral("-u"), credentials(), QStringLiteral("-Q"),
                              QStringLiteral("MKD ") + path, rootURL()});
}

QStringList FTPClient::uploadArguments(const QUrl& localFile, const QString& directory) const {
    const QString url = makeURL(withTrailingSlash(directory)) +
                        QString::fromLatin1(QUrl::toPercentEncoding(localFile.fileName()));
    return withCommonOptions({QStringLiteral("-T"), withoutGlobbing(localFile.toLocalFile()),
                              QStringLiteral("-u"), credentials(), url});
}

QStringList FTPClient::deleteFileArguments(const QString& path) const {
    return withCommonOptions({QStringLiteral("-u"), credentials(), QStringLiteral("-Q"),
                              QStringLiteral("DELE ") + withLeadingSlash(path), rootURL()});
}

QStringList FTPClient::removeDirectoryArguments(const QString& path) const {
    return withCommonOptions({QStringLiteral("-u"), credentials(), QStringLiteral("-Q"),
                              QStringLiteral("RMD ") + withLeadingSlash(path), rootURL()});
}

void FTPClient::requireSafe(const QString& text) const {
    // A CR LF inside a raw command would let a name smuggle a second FTP command to the server.
    if (holdsControlCharacter(text) || holdsControlCharacter(m_connection.host) ||
        holdsControlCharacter(m_connection.username) || holdsControlCharacter(m_connection.password))
        throw FTPClientError::unsafePath();
}

CurlResult FTPClient::run(const QStringList& arguments) const {
    return runCurl(m_curlPath, arguments);
}

QList<RemoteFile> FTPClient::listDirectory(const QString& path) const {
    requireSafe(path);
    const CurlResult result = run(listArguments(path));
    if (!result.succeeded())
        throw FTPClientError::commandFailed(failureText(result, QStringLiteral("Unknown error")));
    // A line that cannot be read may be a file nobody sees, and a listing of nothing but such lines would
    // pass for an empty folder: either way an upload could overwrite without asking.
    ListingReport listing = parseListingReport(result.output, path);
    if (listing.unreadableLines > 0)
        throw FTPClientError::commandFailed(
            QStringLiteral("The server's folder listing is not readable text, so it cannot be shown."));
    return std::move(listing.entries);
}

void FTPClient::createDirectory(const QString& path) const {
    requireSafe(path);
    if (!run(createDirectoryArguments(path)).succeeded())
        throw FTPClientError::commandFailed(QStringLiteral("Could not create folder"));
}

void FTPClient::uploadFile(const QUrl& localFile, const QString& directory) const {
    requireSafe(directory);
    requireSafe(localFile.fileName());
    const CurlResult result = run(uploadArguments(localFile, directory));
    if (!result.succeeded())
        throw FTPClientError::commandFailed(failureText(result, QStringLiteral("Upload failed")));
}

void FTPClient::deleteFile(const QString& path) const {
    requireSafe(path);
    const CurlResult result = run(deleteFileArguments(path));
    if (!result.succeeded())
        throw FTPClientError::commandFailed(failureText(result, QStringLiteral("Could not delete file")));
}

void FTPClient::deleteDirectory(const QString& path) const {
    requireSafe(path);
    const QString folder = withTrailingSlash(path);
    const QList<RemoteFile> entries = listDirectory(folder);
    const QString prefix = listing::folderPrefix(folder);
    for (const RemoteFile& entry : entries) {
        // The parser already refuses names that climb out; this keeps the walk inside even if it did not.
        if (!listing::isAcceptableName(entry.name) || entry.path != listing::entryPath(prefix, entry.name))
            continue;
        if (entry.isDirectory)
            deleteDirectory(withTrailingSlash(entry.path));
        else
            deleteFile(entry.path);
    }
    const CurlResult result = run(removeDirectoryArguments(path));
    if (!result.succeeded())
        throw FTPClientError::commandFailed(failureText(result, QStringLiteral("Could not delete folder")));
}
