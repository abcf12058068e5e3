#pragma once

#include <QString>
#include <QUuid>

// One saved FTP or FTPS server with its login. A plain value: copies are independent.
struct Connection {
    QUuid id;
    QString name;
    QString host;
    qint64 port = 21;
    QString username;
    QString password; // kept and stored in clear; never logged
    bool useTLS = false;

    // The state a form for a new server opens with: a fresh random id, empty texts, port 21, plain FTP.
    static Connection makeNew();

    // The name when it is not empty (spaces count as a name), otherwise "host:port".
    QString displayName() const;

    // Whole-record equality; texts compare as canonically equivalent Unicode.
    friend bool operator==(const Connection& a, const Connection& b);
};

size_t qHash(const Connection& connection, size_t seed = 0);
