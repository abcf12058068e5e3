#pragma once

#include "CurlRunner.h"

#include <QString>

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
};
