#pragma once

#include "CliRequest.h"
#include "ftp/FTPClient.h"

#include <QTextStream>

// Runs one parsed command on the server; returns the exit status (0 success, 1 a remote failure, whose
// message goes to `err` naming the item). Progress goes to `err` only when `showProgress`.
int runCliCommand(const CliRequest& request, const FTPClient& client, const OperationControlPtr& control,
                  QTextStream& out, QTextStream& err, bool showProgress);
