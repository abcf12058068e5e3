#include "TlsPolicy.h"

#include <QRegularExpression>

namespace tlspolicy {

namespace {

// curl's exit codes for TLS (curl/curl.h).
constexpr int curlSslConnectError = 35;
constexpr int curlPeerFailedVerification = 60;
constexpr int curlUseSslFailed = 64;
constexpr int curlCaCertBadFile = 77;
constexpr int curlPinnedPubKeyMismatch = 90;

// No key hashes to 32 zero bytes, so a probe can never pass its pin and go on to log in.
const QString unmatchablePin = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");

QString pinnedPubKeyLine(const QString& base64) {
    return QStringLiteral("pinnedpubkey = \"sha256//%1\"").arg(base64);
}

// curl's own line "curl: (60) <message>", or the last non-empty line when that is missing.
QString curlMessage(const QString& standardError) {
    static const QRegularExpression line(QStringLiteral("^curl: \\(\\d+\\) (.*)$"),
                                         QRegularExpression::MultilineOption);
    const auto match = line.match(standardError);
    if (match.hasMatch())
        return match.captured(1).trimmed();
    const QStringList lines = standardError.split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

QString whyNotTrusted(const QString& standardError) {
    // OpenSSL's verification texts, in both spellings of its versions; order matters where one contains
    // another.
    struct Reason {
        QLatin1String pattern;
        const char* words;
    };
    static const Reason reasons[] = {
        {QLatin1String("signed certificate in certificate chain"),
         "it is signed by an authority this computer does not trust"},
        {QLatin1String("self-signed certificate"), "it is self-signed: no authority vouches for it"},
        {QLatin1String("self signed certificate"), "it is self-signed: no authority vouches for it"},
        {QLatin1String("certificate has expired"), "it has expired"},
        {QLatin1String("certificate is not yet valid"), "it is not valid yet"},
        {QLatin1String("certificate revoked"), "it has been revoked"},
        {QLatin1String("does not match target host name"), "it was issued for another host name"},
        {QLatin1String("no alternative certificate subject name matches"),
         "it was issued for another host name"},
        {QLatin1String("unable to get local issuer certificate"),
         "it was issued by an authority this computer does not know"},
        {QLatin1String("unable to get issuer certificate"),
         "it was issued by an authority this computer does not know"},
        {QLatin1String("unable to verify the first certificate"),
         "it was issued by an authority this computer does not know"},
    };
    for (const Reason& reason : reasons) {
        if (standardError.contains(reason.pattern, Qt::CaseInsensitive))
            return QString::fromLatin1(reason.words);
    }
    const QString message = curlMessage(standardError);
    return message.isEmpty() ? QStringLiteral("it could not be verified")
                             : QStringLiteral("it could not be verified (%1)").arg(message);
}

} // namespace

QString urlScheme(const Connection& connection) {
    return connection.usesImplicitTLS() ? QStringLiteral("ftps") : QStringLiteral("ftp");
}

QStringList curlOptions(const Connection& connection, const std::optional<PublicKeyPin>& pin) {
    if (!connection.useTLS)
        return {};
    // Explicit TLS is AUTH on a plain connection: ssl-reqd makes curl stop when the server refuses it, where
    // "try TLS" would carry on in clear text, password included. For ftps:// it changes nothing.
    QStringList lines{QStringLiteral("ssl-reqd")};
    if (pin && !pin->isNull())
        lines << QStringLiteral("insecure") << pinnedPubKeyLine(pin->base64());
    return lines;
}

QStringList probeOptions(const Connection& connection) {
    if (!connection.useTLS)
        return {};
    return {QStringLiteral("ssl-reqd"), QStringLiteral("insecure"), pinnedPubKeyLine(unmatchablePin),
            QStringLiteral("write-out = \"%{certs}\"")};
}

TlsFailure classifyFailure(int curlExitCode, const QString& curlStandardError) {
    switch (curlExitCode) {
    case curlPeerFailedVerification:
        return {TlsFailure::Kind::notTrusted, whyNotTrusted(curlStandardError)};
    case curlCaCertBadFile:
        return {TlsFailure::Kind::notTrusted,
                QStringLiteral("this computer's list of trusted authorities could "
                               "not be read")};
    case curlPinnedPubKeyMismatch:
        return {TlsFailure::Kind::keyChanged,
                QStringLiteral("the server's key is not the one you trusted; someone may be intercepting the "
                               "connection")};
    case curlUseSslFailed:
        return {
            TlsFailure::Kind::noTls,
            QStringLiteral(
                "the server does not offer TLS; Kalvor stopped before sending the user name or password")};
    case curlSslConnectError: {
        const QString message = curlMessage(curlStandardError);
        return {TlsFailure::Kind::handshakeFailed,
                message.isEmpty()
                    ? QStringLiteral("the secure connection could not be set up")
                    : QStringLiteral("the secure connection could not be set up (%1)").arg(message)};
    }
    default:
        return {};
    }
}

} // namespace tlspolicy
