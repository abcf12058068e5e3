#include "CurlExitText.h"

QString curlExitText(int exitStatus) {
    const char* reason = nullptr;
    switch (exitStatus) {
    case 3:
        reason = "The server address is not valid.";
        break;
    case 6:
        reason = "The server's host name could not be resolved.";
        break;
    case 7:
        reason = "Could not connect to the server.";
        break;
    case 8:
    case 14:
        reason = "The server sent a reply that could not be understood.";
        break;
    case 9:
        reason = "The server denied access to this folder, or it does not exist.";
        break;
    case 10:
    case 12:
        reason = "The server could not open a data connection.";
        break;
    case 18:
        reason = "The transfer ended before it was complete.";
        break;
    case 19:
    case 78:
        reason = "The file does not exist on the server.";
        break;
    case 21:
        reason = "The server refused the command.";
        break;
    case 25:
        reason = "The server refused the upload.";
        break;
    case 26:
        reason = "The local file could not be read.";
        break;
    case 28:
        reason = "The server did not answer in time.";
        break;
    case 35:
        reason = "The secure (TLS) connection could not be established.";
        break;
    case 52:
    case 55:
    case 56:
        reason = "The connection to the server was lost.";
        break;
    case 64:
        reason = "The server does not offer the required secure (TLS) connection.";
        break;
    case 67:
        reason = "Login failed: check the user name and password.";
        break;
    default:
        break;
    }
    const QString code = QStringLiteral(" (curl error %1)").arg(exitStatus);
    if (!reason)
        return QStringLiteral("The operation failed") + code + u'.';
    return QString::fromLatin1(reason).chopped(1) + code + u'.';
}

QString curlCrashText(int signal) {
    return QStringLiteral("curl stopped unexpectedly (signal %1).").arg(signal);
}
