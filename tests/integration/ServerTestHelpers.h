#pragma once

#include "TestFtpServer.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

using namespace Qt::StringLiterals;
using ServerKind = TestFtpServer::Kind;

// The client's own error, or nothing when the operation succeeded. Any other exception escapes and fails
// the test with its message.
template <typename Operation> std::optional<FTPClientError> failureOf(Operation&& operation) {
    try {
        operation();
    } catch (const FTPClientError& error) {
        return error;
    }
    return std::nullopt;
}

// For a step that must succeed: an error fails the test with its text. (An exception that escapes a test
// function ends the whole executable, hiding every later result.)
#define KALVOR_NO_ERROR(statement)                                                                           \
    do {                                                                                                     \
        try {                                                                                                \
            statement;                                                                                       \
        } catch (const OperationError& kalvorError) {                                                        \
            QFAIL(qPrintable(u"unexpected error: "_s + kalvorError.description()));                          \
        }                                                                                                    \
    } while (false)

struct CtlRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

// The real kalvorctl with its settings under home and, unless empty, the password in its environment.
inline CtlRun kalvorctl(const QStringList& arguments, const QString& home, const QString& password) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!password.isEmpty())
        environment.insert(u"KALVOR_PASSWORD"_s, password);
    environment.insert(u"XDG_CONFIG_HOME"_s, home);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KALVORCTL_BINARY), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A file in dir holding content, as the URL an upload takes.
inline QUrl localFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning("cannot write %s", qPrintable(file.fileName()));
    return QUrl::fromLocalFile(file.fileName());
}
