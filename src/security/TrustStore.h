#pragma once

#include "CertificateDer.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class DefaultsStore;
struct ServerCertificate;

// A server certificate the user accepted for one host and port. The pin is what every later run is held
// to; the rest is kept to show the user what was accepted and when.
struct TrustedCertificate {
    QString host; // compared without regard to letter case
    int port = 0;
    PublicKeyPin pin;
    QString fingerprint;
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QDateTime trustedAt;

    static TrustedCertificate of(const ServerCertificate& certificate, const QString& host, int port,
                                 const QDateTime& trustedAt);
    bool isFor(const QString& otherHost, int otherPort) const;

    friend bool operator==(const TrustedCertificate& a, const TrustedCertificate& b) = default;
};

// The certificates the user trusted, like ssh's known hosts: one value of its own ("Kalvor.trust.json"
// beside the connections). The window and kalvorctl share it, so every operation reads the stored value
// afresh and every change writes the whole list at once. A stored value that does not decode is kept
// aside before the first change replaces it; until then nothing counts as trusted, so every server is
// verified the normal way.
class TrustStore {
public:
    static QString key() { return QStringLiteral("Kalvor.trust"); }

    // The store must outlive this object.
    explicit TrustStore(DefaultsStore& store);

    // The certificate trusted for this host and port, if any. A stored value that cannot be read counts
    // as none, and errorString() says why.
    [[nodiscard]] std::optional<TrustedCertificate> lookup(const QString& host, int port) const;
    [[nodiscard]] QList<TrustedCertificate> entries() const;

    // Adds the first trust for its host and port. Fails, changing nothing, when another key is already
    // trusted there: replacing a pin must be a deliberate replace(). Trusting the same key again succeeds.
    [[nodiscard]] bool trust(const TrustedCertificate& certificate);
    // Puts this certificate in place of whatever was trusted for its host and port.
    [[nodiscard]] bool replace(const TrustedCertificate& certificate);
    // Removes the trust for this host and port; succeeds when there was none.
    [[nodiscard]] bool forget(const QString& host, int port);

    QString errorString() const { return m_errorString; }

private:
    enum class Read { ok, undecodable, unreadable };
    Read read(QList<TrustedCertificate>& entries) const;
    bool write(const QList<TrustedCertificate>& entries, Read howRead);

    DefaultsStore& m_store;
    mutable QString m_errorString;
};

QByteArray encodeTrustedCertificates(const QList<TrustedCertificate>& entries);
// All or nothing, like the other stored lists: one bad record fails the whole list.
std::optional<QList<TrustedCertificate>> decodeTrustedCertificates(const QByteArray& data);
