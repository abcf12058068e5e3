#pragma once

#include "model/Connection.h"

#include <QString>

#include <optional>

// Where kalvorctl's connection comes from: a connection saved in Kalvor (the same settings folder, read
// through the same store, its password from the system keyring when Kalvor keeps it there), or a URL with
// the password from the environment or the terminal.
struct CliConnection {
    std::optional<Connection> connection;
    QString error;
};

CliConnection savedConnection(const QString& name);
CliConnection connectionFromUrl(const QString& url);
