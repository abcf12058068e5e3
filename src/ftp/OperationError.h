#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Base of every error a remote operation can raise. It derives from QException so that it crosses
// QtConcurrent threads with its type intact; callers show description() and nothing else.
class OperationError : public QException {
public:
    explicit OperationError(QString description);

    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

    void raise() const override { throw *this; }
    OperationError* clone() const override { return new OperationError(*this); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// The process launcher's own failure (curl exists but cannot be started), passed through unchanged.
class ProcessLaunchError : public OperationError {
public:
    using OperationError::OperationError;
    void raise() const override { throw *this; }
    ProcessLaunchError* clone() const override { return new ProcessLaunchError(*this); }
};
