// Remote paths come from server listings and from stored favorites, and reach curl as arguments. For any
// path without a control character: the URL is one argument of printable ASCII with no space, its path
// part percent-decodes to the path with a leading and a trailing "/" ensured, and a raw FTP command is its
// verb followed by the path exactly. A path or file name with a control character must be refused by every
// operation before anything is started.
//
// Input: one flag byte (bit 0: TLS), the remote path (UTF-8), a NUL byte, then a local file path for the
// upload arguments.

#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"

#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "fuzz_url_builders: %s [%s]\n", what, detail.toUtf8().constData());
    std::abort();
}

bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool holdsControl(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), isControl);
}

QString withLeadingSlash(const QString& path) {
    return path.startsWith(u'/') ? path : u'/' + path;
}

QString withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

// curl takes "[...]" and "{...}" in an upload file name for a pattern unless each is escaped with a
// backslash; a backslash before anything else is an ordinary character. This is what curl makes of the
// argument, or nothing when a bracket is left unescaped.
std::optional<QString> curlUnglobbed(const QString& argument) {
    const auto special = [](QChar c) { return c == u'[' || c == u']' || c == u'{' || c == u'}'; };
    QString literal;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument[i] == u'\\' && i + 1 < argument.size() && special(argument[i + 1]))
            ++i;
        else if (special(argument[i]))
            return std::nullopt;
        literal += argument[i];
    }
    return literal;
}

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// Checks a URL the client made and returns its path part, percent-decoded.
QByteArray decodedUrlPath(const QString& url, const QString& root) {
    if (!url.startsWith(root.chopped(1)))
        fail("URL does not start with the server's root", url);
    const QString pathPart = url.sliced(root.size() - 1);
    for (qsizetype i = 0; i < pathPart.size(); ++i) {
        const char16_t c = pathPart[i].unicode();
        const bool unreserved = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u'_' ||
                                c == u'~' || c == u'/';
        if (c == u'%') {
            if (i + 2 >= pathPart.size() || !isHexDigit(pathPart[i + 1]) || !isHexDigit(pathPart[i + 2]))
                fail("stray percent sign in URL", url);
        } else if (!unreserved) {
            // Spaces, brackets, "#", "?" and the rest would be cut, globbed or read as URL syntax by curl.
            fail("unencoded character in URL path", url);
        }
    }
    return QByteArray::fromPercentEncoding(pathPart.toLatin1());
}

void expectArguments(const QStringList& got, const QStringList& want, const char* what) {
    if (got != want)
        fail(what, got.join(u'|'));
}

void expectRefused(const std::function<void()>& operation, bool refused, const char* what) {
    try {
        operation();
    } catch (const FTPClientError& error) {
        // The client's curl does not exist: a path let through ends in curlNotFound, never in a process.
        const auto want = refused ? FTPClientError::Kind::unsafePath : FTPClientError::Kind::curlNotFound;
        if (error.kind() != want)
            fail(what, error.description());
        return;
    }
    fail(what, QStringLiteral("no error"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool useTLS = data[0] & 1;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype nul = rest.indexOf('\0');
    const QString path = QString::fromUtf8(nul >= 0 ? rest.first(nul) : rest);
    QString localPath = nul >= 0 ? QString::fromUtf8(rest.sliced(nul + 1)) : QStringLiteral("/tmp/a.txt");
    if (!localPath.startsWith(u'/'))
        localPath.prepend(u'/');

    Connection connection;
    connection.host = QStringLiteral("ftp.example.test");
    connection.port = useTLS ? 990 : 21;
    connection.username = QStringLiteral("user name");
    connection.password = QStringLiteral("p:ss%word");
    connection.useTLS = useTLS;
    const FTPClient client(connection, QStringLiteral("/nonexistent/kalvor-fuzz/curl"));

    const QString root = client.rootURL();
    const QStringList lead =
        useTLS ? QStringList{QStringLiteral("-s"), QStringLiteral("-k"), QStringLiteral("--ssl-reqd")}
               : QStringList{QStringLiteral("-s")};
    const QStringList login{QStringLiteral("-u"), QStringLiteral("user name:p:ss%word")};
    const QUrl localFile = QUrl::fromLocalFile(localPath);
    const QString fileName = localFile.fileName();
    const bool pathUnsafe = holdsControl(path);
    const bool fileUnsafe = pathUnsafe || holdsControl(fileName);

    expectRefused([&] { client.listDirectory(path); }, pathUnsafe, "listDirectory");
    expectRefused([&] { client.createDirectory(path); }, pathUnsafe, "createDirectory");
    expectRefused([&] { client.deleteFile(path); }, pathUnsafe, "deleteFile");
    expectRefused([&] { client.deleteDirectory(path); }, pathUnsafe, "deleteDirectory");
    expectRefused([&] { client.uploadFile(localFile, path); }, fileUnsafe, "uploadFile");

    if (pathUnsafe)
        return 0;

    const QString url = client.makeURL(path);
    if (decodedUrlPath(url, root) != withTrailingSlash(withLeadingSlash(path)).toUtf8())
        fail("URL path does not decode to the path", url);
    expectArguments(client.listArguments(path), lead + login + QStringList{url}, "listArguments");

    // Raw commands go after login, so the path is taken as it is; a space or "%" in it is the name's own.
    expectArguments(client.createDirectoryArguments(path),
                    lead + login + QStringList{QStringLiteral("-Q"), QStringLiteral("MKD ") + path, root},
                    "createDirectoryArguments");
    expectArguments(
        client.deleteFileArguments(path),
        lead + login +
            QStringList{QStringLiteral("-Q"), QStringLiteral("DELE ") + withLeadingSlash(path), root},
        "deleteFileArguments");
    expectArguments(
        client.removeDirectoryArguments(path),
        lead + login +
            QStringList{QStringLiteral("-Q"), QStringLiteral("RMD ") + withLeadingSlash(path), root},
        "removeDirectoryArguments");

    if (fileUnsafe || fileName.isEmpty())
        return 0;
    const QStringList upload = client.uploadArguments(localFile, path);
    if (upload.size() != lead.size() + 5 || upload.mid(0, lead.size()) != lead ||
        upload[lead.size()] != u"-T" || upload.mid(lead.size() + 2, 2) != login)
        fail("uploadArguments layout", upload.join(u'|'));
    const std::optional<QString> uploaded = curlUnglobbed(upload[lead.size() + 1]);
    if (!uploaded || *uploaded != localFile.toLocalFile())
        fail("curl would not read the local file's own name", upload[lead.size() + 1]);
    const QString& uploadUrl = upload.last();
    if (decodedUrlPath(uploadUrl, root) != (withTrailingSlash(withLeadingSlash(path)) + fileName).toUtf8())
        fail("upload URL does not decode to folder and name", uploadUrl);
    return 0;
}
