#include "CertificateRefusal.h"

QString CertificateRefusal::description() const {
    if (keyChanged())
        return QStringLiteral("The certificate of %1 has changed since you trusted it: %2. Neither user name "
                              "nor password was sent. Trusted SHA-256 fingerprint: %3; now presented: %4.")
            .arg(serverName(), reason, previous->fingerprint, certificate.fingerprint);
    return QStringLiteral(
               "The certificate of %1 is not trusted: %2. Neither user name nor password was sent. "
               "Its SHA-256 fingerprint: %3.")
        .arg(serverName(), reason, certificate.fingerprint);
}
