#include "FTPClientError.h"

FTPClientError::FTPClientError(Kind kind, const QString& description)
    : OperationError(description)
    , m_kind(kind) {}

FTPClientError FTPClientError::commandFailed(const QString& text) {
    return FTPClientError(Kind::commandFailed, text);
}

FTPClientError FTPClientError::curlNotFound() {
    return FTPClientError(Kind::curlNotFound, QStringLiteral("curl not found."));
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
