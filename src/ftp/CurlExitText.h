#pragma once

#include <QString>

// A readable reason for a failed curl run, naming the server ("host:port") and what to do, with curl's own
// code at the end for support. Every run is silent, so without it a wrong password or a closed port would
// show the user an empty error.
QString curlExitText(int exitStatus, const QString& server);
QString curlCrashText(int signal, const QString& server);
// The same when the server's own reply to the failed command is known: the reply, quoted, is what tells why.
QString curlReplyText(int exitStatus, const QString& server, const QString& reply);
