#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The SHA-256 digest of a server's public key (its whole SubjectPublicKeyInfo), the form curl's
// pinnedpubkey compares. A pin outlives certificate renewals that keep the key, and changes with the key.
class PublicKeyPin {
public:
    PublicKeyPin() = default; // null: pins nothing

    static PublicKeyPin ofSubjectPublicKeyInfo(const QByteArray& spkiDer);
    // Exactly the 44 base64 characters of a 32-byte digest; anything else is none.
    static std::optional<PublicKeyPin> fromBase64(const QString& text);

    bool isNull() const { return m_digest.isEmpty(); }
    QString base64() const;

    friend bool operator==(const PublicKeyPin& a, const PublicKeyPin& b) = default;

private:
    QByteArray m_digest;
};

// What Kalvor reads itself from a certificate's DER bytes: only what a decision rests on, never curl's
// rendering of it.
struct CertificateDerFacts {
    QByteArray subjectPublicKeyInfo; // the whole DER element, as it is hashed for the pin
    QDateTime notBefore;             // UTC
    QDateTime notAfter;              // UTC
};

// Walks Certificate -> TBSCertificate -> validity and subjectPublicKeyInfo. The input comes from the
// server, so every length is checked against what is left; on any fault, none and `error` says what.
[[nodiscard]] std::optional<CertificateDerFacts> readCertificateDer(const QByteArray& der, QString& error);

// SHA-256 of the whole certificate as upper-case hex pairs joined by ':', as `openssl x509 -fingerprint`
// shows it.
QString sha256Fingerprint(const QByteArray& der);
