#pragma once

#include "TestFtpServer.h"
#include "ftp/FTPClient.h"
#include "ftp/FTPClientError.h"
#include "ftp/OperationError.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

using ServerKind = TestFtpServer::Kind;

inline QString kindName(ServerKind kind) {
    return kind == ServerKind::vsftpd ? QStringLiteral("vsftpd") : QStringLiteral("pyftpdlib");
}

// The client's own error, or nothing when the operation succeeded. Any other exception escapes and fails
// the test with its message.
template <typename Operation> std::optional<FTPClientError> failureOf(Operation&& operation) {
    try {
        std::forward<Operation>(operation)();
    } catch (const FTPClientError& error) {
        return error;
    }
    return std::nullopt;
}

template <typename Operation> std::optional<QString> unexpectedErrorOf(Operation&& operation) {
    try {
        std::forward<Operation>(operation)();
    } catch (const OperationError& error) {
        return error.description();
    }
    return std::nullopt;
}

// For a step that must succeed: an error fails the test with its text. (An exception that escapes a test
// function ends the whole executable, hiding every later result.)
#define KALVOR_NO_ERROR(statement)                                                                           \
    do {                                                                                                     \
        if (const std::optional<QString> kalvorError = unexpectedErrorOf([&] { statement; }))                \
            QFAIL(qPrintable(QStringLiteral("unexpected error: ") + *kalvorError));                          \
    } while (false)

// Puts a tree on the server's disk: "a/b/" is a folder, "a/l -> t" a symbolic link to t, anything else a
// file whose content is its own path.
inline void seed(const TestFtpServer& server, const QStringList& items) {
    for (const QString& item : items) {
        const qsizetype arrow = item.indexOf(QStringLiteral(" -> "));
        if (arrow >= 0)
            server.makeSymlink(item.left(arrow), item.mid(arrow + 4));
        else if (item.endsWith(u'/'))
            server.makeFolder(item);
        else
            server.writeFile(item, item.toUtf8());
    }
}

// One comparable line per entry, so a mismatch shows the whole listing.
inline QString describe(const RemoteFile& file) {
    return QStringLiteral("%1 [%2] at [%3]%4")
        .arg(file.isDirectory ? QStringLiteral("folder") : QStringLiteral("file"), file.name, file.path,
             file.size ? QStringLiteral(" size ") + QString::number(*file.size) : QString());
}

inline QStringList describe(const QList<RemoteFile>& files) {
    QStringList lines;
    for (const RemoteFile& file : files)
        lines.append(describe(file));
    return lines;
}
