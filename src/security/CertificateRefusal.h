#pragma once

#include "ServerCertificate.h"
#include "TrustStore.h"

#include <QDateTime>
#include <QString>

#include <optional>

// A server certificate Kalvor will not accept on its own, as the user is asked about it: nothing, not even
// the user name, has been sent to that server. Trusting it stores its key's pin for this host and port.
struct CertificateRefusal {
    QString host;
    int port = 0;
    ServerCertificate certificate; // the server's own, the first of the chain it presented
    QString reason;                // plain words, e.g. "it is self-signed: no authority vouches for it"
    // What was trusted for this host and port before, when the server now presents another key: someone
    // may be intercepting the connection, so replacing it must be a deliberate choice.
    std::optional<TrustedCertificate> previous;

    bool keyChanged() const { return previous.has_value(); }
    QString serverName() const { return host + u':' + QString::number(port); }
    // One paragraph for an error message: what happened, that nothing was sent, and the fingerprint.
    QString description() const;
    TrustedCertificate toTrust(const QDateTime& now) const {
        return TrustedCertificate::of(certificate, host, port, now);
    }
};
