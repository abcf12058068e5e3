#pragma once

#include "CertificateDer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One certificate of the chain a server presented, as the user is shown it and as a trust decision
// needs it.
struct ServerCertificate {
    QString subject; // as curl renders the names; for showing only
    QString issuer;
    QDateTime notBefore; // UTC, read from the certificate itself
    QDateTime notAfter;
    QString fingerprint; // SHA-256 of the whole certificate, "AB:CD:..."
    PublicKeyPin pin;
    QByteArray der;
};

// Reads what curl prints for --write-out '%{certs}': per certificate a "Subject:" line, more "Name:value"
// lines and the PEM. The server's own certificate comes first. The text is the server's to shape, so any
// fault gives none and a reason in `error`; an empty text is such a fault too.
[[nodiscard]] std::optional<QList<ServerCertificate>> parseCurlCertificates(const QByteArray& text,
                                                                            QString& error);
