#pragma once

#include "CertificateDer.h"
#include "model/Connection.h"

#include <QString>
#include <QStringList>

#include <optional>

// How a connection uses TLS, as lines of a curl configuration (`curl -q --config -`, one option a line),
// and what curl's answer means when TLS is why a run failed. Pure functions: the caller looks up the pin
// and runs curl.
namespace tlspolicy {

// "ftps" for implicit TLS (TLS from the first byte), otherwise "ftp" (plain, or upgraded by AUTH).
QString urlScheme(const Connection& connection);

// The options for every run to this connection. Without a pin the server must present a certificate that
// chains to the system's trusted roots and names the host. With a pin that key is the whole trust: curl
// then skips the usual checks (they would refuse the self-signed certificate the user accepted) and ends
// the run right after the handshake when the server's key is another. Plain FTP gets no lines.
QStringList curlOptions(const Connection& connection, const std::optional<PublicKeyPin>& pin);

// A run that only learns the server's certificate chain: it completes the TLS handshake whatever the
// certificate, has curl print the chain on standard output, and stops before any login is sent, because
// no key can match the pin it names (curl exits 90). The caller adds the URL of the server's root folder
// and no user or password. Plain FTP has nothing to probe: no lines.
QStringList probeOptions(const Connection& connection);

// Why a run failed, as far as TLS is concerned.
struct TlsFailure {
    enum class Kind {
        none,            // not a TLS problem; the exit code's usual text applies
        notTrusted,      // the certificate could not be verified: show it and ask (after a probe)
        keyChanged,      // the server's key is not the trusted pin: warn, maybe someone is intercepting
        noTls,           // the server does not offer TLS: nothing (no password) was sent
        handshakeFailed, // TLS could not be set up at all
    };
    Kind kind = Kind::none;
    QString reason; // plain words, to follow "The certificate is not trusted: " and the like
};

// From curl's exit code and what it wrote on standard error (with --show-error; -v text works too).
TlsFailure classifyFailure(int curlExitCode, const QString& curlStandardError);

} // namespace tlspolicy
