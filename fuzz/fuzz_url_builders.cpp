// Remote paths come from server listings and from stored favorites, and reach curl through its config on
// standard input. For any path without a control character: the URL is printable ASCII with no space, and
// its path part percent-decodes to the path's server bytes with a leading and a trailing "/" ensured; every
// config value reads back (as curl unquotes it) to exactly the bytes given. A path with a control character
// must be refused by every operation before anything is started.
//
// Input: one flag byte (bit 0: TLS), the remote path (UTF-8, or raw bytes in server form), a NUL byte, then
// any bytes for a config value.

#include "ftp/CurlConfig.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"
#include "model/ServerText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& detail = {}) {
    std::fprintf(stderr, "fuzz_url_builders: %s [%s]\n", what, detail.constData());
    std::abort();
}

bool holdsControl(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString withSlashes(QString path) {
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    if (!path.endsWith(u'/'))
        path.append(u'/');
    return path;
}

// What curl's config reader makes of a quoted value (tool_parsecfg.c: backslash escapes t, n, r, v; any
// other character after a backslash stands for itself).
std::optional<QByteArray> unquoted(const QByteArray& quoted) {
    if (quoted.size() < 2 || !quoted.startsWith('"') || !quoted.endsWith('"'))
        return std::nullopt;
    QByteArray value;
    for (qsizetype i = 1; i < quoted.size() - 1; ++i) {
        char c = quoted[i];
        if (c == '\n' || c == '"')
            return std::nullopt; // would end the line or the value early
        if (c == '\\') {
            c = quoted[++i];
            c = c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 'v' ? '\v' : c;
        }
        value += c;
    }
    return value;
}

void expectRefused(const std::function<void()>& operation, bool refused, const char* what) {
    try {
        operation();
    } catch (const FTPClientError& error) {
        // The client's curl does not exist: a path let through ends in curlNotFound, never in a process.
        const auto want = refused ? FTPClientError::Kind::unsafePath : FTPClientError::Kind::curlNotFound;
        if (error.kind() != want)
            fail(what, error.description().toUtf8());
        return;
    }
    fail(what, "no error");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool useTLS = data[0] & 1;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype nul = rest.indexOf('\0');
    const QString path = servertext::fromServer(nul >= 0 ? rest.first(nul) : rest);
    const QByteArray value = nul >= 0 ? rest.sliced(nul + 1) : QByteArray();

    if (!value.contains('\0')) {
        if (unquoted(quotedConfigValue(value)) != value)
            fail("config value does not read back", value);
    }

    Connection connection;
    connection.host = QStringLiteral("ftp.example.test");
    connection.port = useTLS ? 990 : 21;
    connection.username = QStringLiteral("user name");
    connection.password = QStringLiteral("p:ss%word\"\\");
    connection.useTLS = useTLS;
    const FTPClient client(connection, QStringLiteral("/nonexistent/kalvor-fuzz/curl"));
    const bool unsafe = holdsControl(path);
    expectRefused([&] { (void)client.listDirectory(path); }, unsafe, "listDirectory");
    expectRefused([&] { client.createDirectory(path); }, unsafe, "createDirectory");
    expectRefused([&] { client.deleteFile(path); }, unsafe, "deleteFile");
    expectRefused([&] { client.deleteDirectory(path); }, unsafe, "deleteDirectory");
    expectRefused([&] { client.rename(path, QStringLiteral("x")); }, unsafe, "rename");
    if (unsafe)
        return 0;

    const QByteArray url = client.makeURL(path).toLatin1();
    const QByteArray root = client.rootURL().toLatin1().chopped(1);
    if (!url.startsWith(root))
        fail("URL does not start with the server's root", url);
    const QByteArray pathPart = url.sliced(root.size());
    for (const char c : pathPart) {
        const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ||
                             c == '_' || c == '~' || c == '/' || c == '%';
        if (!allowed)
            fail("unencoded character in URL path", url);
    }
    if (QByteArray::fromPercentEncoding(pathPart) != servertext::toServer(withSlashes(path)))
        fail("URL path does not decode to the path's bytes", url);

    // The raw command reaches curl as the path's exact bytes, and the login as typed.
    const QByteArray config = client.commandConfig({"DELE " + servertext::toServer(path)});
    if (!config.contains("\nquote = " + quotedConfigValue("DELE " + servertext::toServer(path)) + '\n'))
        fail("raw command not in the config", config);
    if (!config.contains("\nuser = " + quotedConfigValue("user name:p:ss%word\"\\") + '\n'))
        fail("login not in the config", config);
    return 0;
}
