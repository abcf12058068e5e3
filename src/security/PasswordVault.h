#pragma once

#include "model/Connection.h"

#include <QFuture>
#include <QString>
#include <QUuid>

// Where connection passwords are kept outside the connections file: the system keyring, one secret per
// connection id. Calls never block: each returns a future that finishes later on no particular thread.
// A window continues with whenDone() (session/WhenDone.h), never QFuture::then(window, ...); a command-line
// tool may wait with `.result()`, which cannot deadlock because the work does not need the caller's event
// loop.
class PasswordVault {
public:
    struct Result {
        enum class Status {
            done,
            notFound,    // the keyring runs but holds no password for this connection
            unavailable, // no keyring runs here: passwords stay in the connections file
            failed,      // the keyring runs but refused or broke; error says how
        };
        Status status = Status::failed;
        QString password; // what read() found
        QString error;    // words for the user, for unavailable and failed

        bool ok() const { return status == Status::done; }
    };

    virtual ~PasswordVault();

    [[nodiscard]] virtual QFuture<Result> read(const QUuid& connectionId) = 0;
    // Replaces any password stored for this connection.
    [[nodiscard]] virtual QFuture<Result> write(const QUuid& connectionId, const QString& password) = 0;
    // Done also when nothing was stored.
    [[nodiscard]] virtual QFuture<Result> remove(const QUuid& connectionId) = 0;
    // Done when a keyring answers; unavailable, with the reason, when none does. Asks each time: a keyring
    // can start or stop while Kalvor runs.
    [[nodiscard]] virtual QFuture<Result> checkAvailable() = 0;
};

// A connection as it is to be saved, and what the user should be told about where its password went.
struct PlacedPassword {
    Connection record; // password emptied and marked when it went to the keyring
    QString notice;    // empty when the keyring took it; otherwise why it stays in clear text
};

// Puts the connection's password in the keyring and gives the record to store: with an empty password and
// passwordInKeyring when the keyring took it, or, where no keyring runs or it refuses, the record with its
// password in clear text as before and a notice saying so. An empty password needs no keyring.
[[nodiscard]] QFuture<PlacedPassword> placePassword(PasswordVault& vault, Connection connection);

// The connection with its password filled in from the keyring when it is kept there; other records come
// back as they are. Fails (status and error) when the keyring is not there or has no password for it: the
// caller then asks the user for the password.
struct FilledPassword {
    Connection connection;
    PasswordVault::Result::Status status = PasswordVault::Result::Status::done;
    QString error;
};
[[nodiscard]] QFuture<FilledPassword> fillPassword(PasswordVault& vault, Connection connection);
