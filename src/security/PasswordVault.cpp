#include "PasswordVault.h"

PasswordVault::~PasswordVault() = default;

QFuture<PlacedPassword> placePassword(PasswordVault& vault, Connection connection) {
    if (connection.password.isEmpty()) {
        connection.passwordInKeyring = false;
        return QtFuture::makeReadyFuture(PlacedPassword{std::move(connection), QString()});
    }
    return vault.write(connection.id, connection.password)
        .then([connection](const PasswordVault::Result& result) mutable {
            if (result.ok()) {
                connection.password.clear();
                connection.passwordInKeyring = true;
                return PlacedPassword{std::move(connection), QString()};
            }
            connection.passwordInKeyring = false;
            const QString notice =
                result.status == PasswordVault::Result::Status::unavailable
                    ? QStringLiteral(
                          "No system keyring is running, so the password is saved in clear text in "
                          "the connections file.")
                    : QStringLiteral(
                          "The system keyring did not take the password (%1), so it is saved in clear "
                          "text in the connections file.")
                          .arg(result.error);
            return PlacedPassword{std::move(connection), notice};
        });
}

QFuture<FilledPassword> fillPassword(PasswordVault& vault, Connection connection) {
    if (!connection.passwordInKeyring)
        return QtFuture::makeReadyFuture(
            FilledPassword{std::move(connection), PasswordVault::Result::Status::done, QString()});
    return vault.read(connection.id).then([connection](const PasswordVault::Result& result) mutable {
        if (result.ok())
            connection.password = result.password;
        QString error = result.error;
        if (result.status == PasswordVault::Result::Status::notFound)
            error =
                QStringLiteral("The system keyring holds no password for %1.").arg(connection.displayName());
        return FilledPassword{std::move(connection), result.status, error};
    });
}
