#pragma once

#include "CliRequest.h"
#include "ftp/FTPClient.h"
#include "security/TrustStore.h"

#include <QTextStream>

// Runs one parsed command on the server; returns the exit status (0 success, 1 a remote failure, whose
// message goes to `err` naming the item). Progress goes to `err` only when `showProgress`. A certificate
// that is not trusted is refused with its fingerprint, unless the request says to trust it: then it goes to
// `trust` and the command runs again, once.
int runCliCommand(const CliRequest& request, const FTPClient& client, TrustStore& trust,
                  const OperationControlPtr& control, QTextStream& out, QTextStream& err, bool showProgress);
