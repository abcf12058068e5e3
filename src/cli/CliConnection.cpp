#include "CliConnection.h"

#include "keyring/KeychainVault.h"
#include "model/DefaultsStore.h"
#include "model/FavoritesManager.h"

#include <QFile>
#include <QTextStream>
#include <QUrl>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// Asks on the terminal with the echo off; none when there is no terminal to ask on.
std::optional<QString> askPassword(const QString& prompt) {
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    QFile input;
    QString line;
    if (input.open(stdin, QIODevice::ReadOnly))
        line = QString::fromLocal8Bit(input.readLine()).chopped(1);
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    return line;
}

std::optional<QString> passwordFor(const Connection& connection) {
    if (qEnvironmentVariableIsSet("KALVOR_PASSWORD"))
        return qEnvironmentVariable("KALVOR_PASSWORD");
    return askPassword(QStringLiteral("Password for %1@%2: ").arg(connection.username, connection.host));
}

} // namespace

CliConnection savedConnection(const QString& name) {
    FileDefaultsStore store(FileDefaultsStore::defaultFolder());
    FavoritesManager manager(store);
    for (const Connection& connection : manager.connections()) {
        if (connection.name == name || connection.displayName() == name) {
            if (!connection.passwordInKeyring)
                return {connection, {}};
            // The keyring's thread answers; waiting here needs no event loop.
            KeychainVault vault;
            const FilledPassword filled = fillPassword(vault, connection).result();
            if (filled.status == PasswordVault::Result::Status::done)
                return {filled.connection, {}};
            // No keyring here (a remote shell, say): the password may still come from the user.
            if (const std::optional<QString> typed = passwordFor(connection)) {
                Connection withPassword = connection;
                withPassword.password = *typed;
                return {withPassword, {}};
            }
            return {std::nullopt,
                    QStringLiteral("The password of \u201c%1\u201d is kept in the system keyring, "
                                   "which could not be read (%2). Set KALVOR_PASSWORD or run "
                                   "kalvorctl in a terminal.")
                        .arg(name, filled.error)};
        }
    }
    return {std::nullopt, QStringLiteral("No saved connection is named \u201c%1\u201d.").arg(name)};
}

CliConnection connectionFromUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        !(scheme == u"ftp" || scheme == u"ftps" || scheme == u"ftpes"))
        return {std::nullopt, QStringLiteral("Not an ftp://, ftps:// or ftpes:// URL: %1").arg(text)};
    Connection connection = Connection::makeNew();
    connection.host = url.host();
    connection.port = url.port(scheme == u"ftps" ? 990 : 21);
    connection.username = url.userName();
    connection.useTLS = scheme != u"ftp";
    connection.tlsMode =
        scheme == u"ftpes" ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
    connection.password = passwordFor(connection).value_or(QString());
    return {connection, {}};
}
