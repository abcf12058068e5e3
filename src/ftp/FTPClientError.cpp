#include "FTPClientError.h"

FTPClientError::FTPClientError(Kind kind, const QString& description, QString item)
    : OperationError(description)
    , m_kind(kind)
    , m_item(std::move(item)) {}

FTPClientError FTPClientError::commandFailed(const QString& text) {
    return FTPClientError(Kind::commandFailed, text);
}

FTPClientError FTPClientError::curlNotFound() {
    return FTPClientError(Kind::curlNotFound,
                          QStringLiteral("Kalvor needs the program curl for every transfer, and it "
                                         "was not found. Install curl and try again."));
}

FTPClientError FTPClientError::invalidURL() {
    return FTPClientError(Kind::invalidURL, QStringLiteral("Invalid URL."));
}

FTPClientError FTPClientError::unsafePath() {
    return FTPClientError(
        Kind::unsafePath,
        QStringLiteral("The name or path contains a line break or another control character, "
                       "so it cannot be sent to the server safely. Nothing was sent."));
}

FTPClientError FTPClientError::cancelled() {
    return FTPClientError(Kind::cancelled, QStringLiteral("Cancelled."));
}

FTPClientError FTPClientError::timedOut(const QString& text) {
    return FTPClientError(Kind::timedOut, text);
}

FTPClientError FTPClientError::outputTooLarge(const QString& text) {
    return FTPClientError(Kind::outputTooLarge, text);
}

FTPClientError FTPClientError::itemFailed(const QString& item, const QString& text) {
    return FTPClientError(Kind::itemFailed, text, item);
}

FTPClientError FTPClientError::untrustedCertificate(const CertificateRefusal& refusal) {
    FTPClientError error(Kind::untrustedCertificate, refusal.description());
    error.m_refusal = std::make_shared<const CertificateRefusal>(refusal);
    return error;
}
