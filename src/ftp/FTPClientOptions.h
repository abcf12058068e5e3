#pragma once

#include "CurlRunner.h"
#include "security/PasswordVault.h"
#include "security/TrustStore.h"

#include <QFuture>
#include <QString>

#include <functional>
#include <optional>

// How the client runs curl. The defaults suit a real, slow server; tests shorten them.
struct FTPClientOptions {
    QString curlPath = defaultCurlPath();
    int connectTimeoutSeconds = 20; // connecting, TLS and the server's greeting
    int stallSeconds = 60;          // no progress for this long ends a run
    qint64 outputCap = 256ll << 20; // the most listing text one run may return
    int maxTreeDepth = 256;         // levels below a folder that a recursive walk follows
    // Transfers of one batch that run at once, each on its own connection. With one, curl 7.88 pauses about
    // a second before some data connections on a reused connection in passive mode; a few at once avoid it.
    int parallelTransfers = 4;

    // The certificate the user trusted for a host and port. Asked before every TLS run, on the operation's
    // thread, so that a certificate trusted meanwhile (in another window, by kalvorctl) counts at once.
    // Unset: nothing is pinned, and every server must present a certificate the system's roots vouch for.
    std::function<std::optional<TrustedCertificate>(const QString& host, int port)> trustedCertificate;
    // For a connection whose password is in the keyring: the read started for it (fillPassword). The first
    // run waits for it on the operation's own thread; no event loop is needed.
    std::optional<QFuture<FilledPassword>> keyringPassword;
};
