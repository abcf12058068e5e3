#include "CurlExitText.h"

QString curlExitText(int exitStatus, const QString& server) {
    QString reason;
    switch (exitStatus) {
    case 3:
        reason = QStringLiteral("The address of %1 is not valid. Check the host name.");
        break;
    case 6:
        reason =
            QStringLiteral("The host name of %1 could not be resolved. Check the address and the network.");
        break;
    case 7:
        reason =
            QStringLiteral("Could not connect to %1. Check the address and the port, and that the server "
                           "is running.");
        break;
    case 8:
    case 14:
        reason =
            QStringLiteral("%1 sent a reply that could not be understood. Check that it is an FTP server.");
        break;
    case 9:
        reason = QStringLiteral("%1 denied access to this folder, or it does not exist.");
        break;
    case 10:
    case 12:
    case 30:
        reason = QStringLiteral("%1 could not open a data connection. A firewall may be in the way.");
        break;
    case 18:
        reason = QStringLiteral("The transfer from %1 ended before it was complete. Try again.");
        break;
    case 19:
    case 78:
        reason = QStringLiteral("The file does not exist on %1.");
        break;
    case 21:
        reason = QStringLiteral("%1 refused the command.");
        break;
    case 23:
        reason = QStringLiteral("A local file could not be written. Check the free space and the folder's "
                                "permissions.");
        break;
    case 25:
        reason = QStringLiteral("%1 refused the upload. Check the folder's permissions and the free space.");
        break;
    case 26:
        reason = QStringLiteral("A local file could not be read.");
        break;
    case 28:
        reason = QStringLiteral("%1 did not answer in time. Check the address and the port, and try again.");
        break;
    case 35:
        reason = QStringLiteral("The secure (TLS) connection to %1 could not be established. Check the TLS "
                                "setting of the connection.");
        break;
    case 52:
    case 55:
    case 56:
        reason = QStringLiteral("The connection to %1 was lost. Try again.");
        break;
    case 64:
        reason = QStringLiteral("%1 does not offer the required secure (TLS) connection.");
        break;
    case 67:
        reason = QStringLiteral("Login to %1 failed: check the user name and password.");
        break;
    default:
        reason = QStringLiteral("The operation on %1 failed.");
        break;
    }
    if (reason.contains(QStringLiteral("%1")))
        reason = reason.arg(server);
    return reason + QStringLiteral(" (curl error %1)").arg(exitStatus);
}

QString curlReplyText(int exitStatus, const QString& server, const QString& reply) {
    QString text;
    switch (exitStatus) {
    case 9:
        text = QStringLiteral("%1 would not open it. Check that the folder exists and that you may open it.");
        break;
    case 19:
    case 78:
        text = QStringLiteral("%1 would not send it. Check that the file exists and that you may read it.");
        break;
    case 25:
        text = QStringLiteral("%1 refused the upload. Check the folder's permissions and the free space.");
        break;
    default:
        text = QStringLiteral("%1 refused. Check the name and that you may make this change there.");
        break;
    }
    return text.arg(server) + QStringLiteral(" The server said: \u201c%1\u201d (curl error %2)")
                                  .arg(reply, QString::number(exitStatus));
}

QString curlCrashText(int signal, const QString& server) {
    return QStringLiteral("curl stopped unexpectedly while working with %1. Try again; if it happens again, "
                          "check the curl installation. (signal %2)")
        .arg(server, QString::number(signal));
}
