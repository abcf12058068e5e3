#pragma once

#include "ServerText.h"

#include <QString>
#include <QUuid>

// One saved FTP or FTPS server with its login. A plain value: copies are independent.
struct Connection {
    // How TLS is used when useTLS is on: TLS from the first byte on a port of its own (usually 990), or
    // plain FTP upgraded with AUTH TLS before the login (usually port 21). A record stored before explicit
    // TLS existed has useTLS alone and means implicit, as it always did.
    enum class TlsMode { implicit, explicitTLS };

    QUuid id;
    QString name;
    QString host;
    qint64 port = 21;
    QString username;
    QString password; // in clear unless passwordInKeyring; never logged
    bool useTLS = false;
    TlsMode tlsMode = TlsMode::implicit;
    servertext::Encoding textEncoding{}; // how the server's names are shown; automatic by default
    // The password lives in the system keyring under this connection's id; `password` is empty on disk
    // and filled in memory only once it has been read from the keyring.
    bool passwordInKeyring = false;

    // The state a form for a new server opens with: a fresh random id, empty texts, port 21, plain FTP.
    static Connection makeNew();

    // The name when it is not empty (spaces count as a name), otherwise "host:port".
    QString displayName() const;

    bool usesExplicitTLS() const { return useTLS && tlsMode == TlsMode::explicitTLS; }
    bool usesImplicitTLS() const { return useTLS && tlsMode == TlsMode::implicit; }

    // Whole-record equality; texts compare as canonically equivalent Unicode.
    friend bool operator==(const Connection& a, const Connection& b);
};

size_t qHash(const Connection& connection, size_t seed = 0);
