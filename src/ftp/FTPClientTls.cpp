// The one place where TLS enters a run: which options it gets, and what a failure that TLS caused means.

#include "FTPClient.h"
#include "FTPClientInternal.h"
#include "security/TlsPolicy.h"

#include <algorithm>

using namespace ftpinternal;
using TlsKind = tlspolicy::TlsFailure::Kind;

namespace {

// What a failed run's exit code says about TLS; curl's words are decoded only when TLS is the cause.
std::optional<tlspolicy::TlsFailure> tlsFailure(const CurlResult& result,
                                                std::initializer_list<TlsKind> kinds) {
    if (result.end != CurlResult::End::exited)
        return std::nullopt;
    const TlsKind kind = tlspolicy::classifyFailure(result.exitStatus, QString()).kind;
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
        return std::nullopt;
    return tlspolicy::classifyFailure(result.exitStatus, QString::fromUtf8(result.errorOutput));
}

} // namespace

std::optional<TrustedCertificate> FTPClient::trustedCertificate() const {
    if (!m_connection.useTLS || !m_options.trustedCertificate)
        return std::nullopt;
    return m_options.trustedCertificate(m_connection.host, int(m_connection.port));
}

void FTPClient::addTlsOptions(CurlConfig& config, RunKind kind) const {
    if (!m_connection.useTLS)
        return;
    // Without a pin curl checks the certificate against the system's roots and the host name; a pin is a key
    // the user accepted for this host and port, and then the whole trust.
    const std::optional<TrustedCertificate> trusted = trustedCertificate();
    config.addLines(
        tlspolicy::curlOptions(m_connection, trusted ? std::optional(trusted->pin) : std::nullopt));
    if (kind == RunKind::upload) {
        // Over TLS 1.3 the server sends a session ticket on each data connection right after the handshake.
        // curl 7.88 sends a small file, closes the connection and only then does the ticket arrive: the
        // kernel answers it with a reset that throws away what curl had not yet sent, and the server keeps
        // a truncated file (vsftpd: "426 Failure reading network stream"; 3-35 of 200 uploads under load).
        // Under TLS 1.2 the server sends nothing before the upload's own close, so upload runs stop at 1.2;
        // listings, downloads and commands keep 1.3.
        config.add("tls-max", "1.2");
    }
}

QString FTPClient::password() const {
    if (!m_connection.passwordInKeyring)
        return m_connection.password;
    if (!m_options.keyringPassword)
        throw FTPClientError::commandFailed(
            QStringLiteral(
                "The password of %1 is kept in the system keyring, which Kalvor cannot reach here.")
                .arg(m_connection.displayName()));
    const FilledPassword filled = m_options.keyringPassword->result();
    if (filled.status != PasswordVault::Result::Status::done)
        throw FTPClientError::commandFailed(
            QStringLiteral("Kalvor could not read the password of %1 from the system keyring (%2). Edit the "
                           "connection to enter it again.")
                .arg(m_connection.displayName(), filled.error));
    if (holdsControlCharacter(filled.connection.password))
        throw FTPClientError::unsafePath();
    return filled.connection.password;
}

std::optional<FTPClientError> FTPClient::certificateRefusal(const CurlResult& result) const {
    if (!m_connection.useTLS)
        return std::nullopt;
    const auto failure = tlsFailure(result, {TlsKind::notTrusted, TlsKind::keyChanged});
    if (!failure)
        return std::nullopt;
    // A refused run shows no certificate. This run only fetches it: its pin matches no key, so curl ends it
    // right after the handshake, and it carries no user name or password anyway.
    CurlConfig probe;
    probe.add("silent").add("globoff").add("connect-timeout", qint64(m_options.connectTimeoutSeconds));
    probe.addLines(tlspolicy::probeOptions(m_connection));
    probe.add("url", rootURL());
    CurlRun run;
    run.program = m_options.curlPath;
    run.config = probe.text();
    run.limits.stallSeconds = m_options.stallSeconds;
    run.limits.outputCap = 1 << 20;
    const CurlResult shown = runCurl(run);
    QString error;
    const auto chain = parseCurlCertificates(shown.output, error);
    if (!chain)
        return FTPClientError::commandFailed(
            QStringLiteral(
                "The certificate of %1 is not trusted: %2. It could not be shown (%3). Neither user "
                "name nor password was sent.")
                .arg(serverName(), failure->reason, error));
    CertificateRefusal refusal{
        m_connection.host, int(m_connection.port), chain->first(), failure->reason, {}};
    if (failure->kind == TlsKind::keyChanged)
        refusal.previous = trustedCertificate();
    return FTPClientError::untrustedCertificate(refusal);
}

std::optional<QString> FTPClient::tlsFailureText(const CurlResult& result) const {
    if (!m_connection.useTLS)
        return std::nullopt;
    const auto failure = tlsFailure(result, {TlsKind::noTls, TlsKind::handshakeFailed});
    if (!failure)
        return std::nullopt;
    return QStringLiteral("The secure connection to %1 failed: %2 (curl error %3)")
        .arg(serverName(), failure->reason)
        .arg(result.exitStatus);
}
