#pragma once

#include "security/PasswordVault.h"

#include <QString>

// The system keyring (Secret Service on Linux) through QtKeychain. Its jobs need a running event loop in
// the thread that starts them; they run on one keyring thread of the process, so callers may wait for a
// result on any thread, the main one included. Never falls back to storing anything itself: where no
// keyring runs, every call reports unavailable.
class KeychainVault final : public PasswordVault {
public:
    // Secrets are filed under this service name and the connection's id.
    explicit KeychainVault(QString service = QStringLiteral("Kalvor"));

    QFuture<Result> read(const QUuid& connectionId) override;
    QFuture<Result> write(const QUuid& connectionId, const QString& password) override;
    QFuture<Result> remove(const QUuid& connectionId) override;
    QFuture<Result> checkAvailable() override;

private:
    QString m_service;
};
