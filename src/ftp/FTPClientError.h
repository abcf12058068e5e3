#pragma once

#include "OperationError.h"
#include "security/CertificateRefusal.h"

#include <memory>

class FTPClientError : public OperationError {
public:
    enum class Kind {
        commandFailed,  // payload text shown as is (may be empty)
        curlNotFound,   // curl is not installed: says so and what to do
        invalidURL,     // "Invalid URL."
        unsafePath,     // a path or login holding a control character: nothing was sent
        cancelled,      // the user's choice: callers show nothing
        timedOut,       // the server stopped answering or sending
        outputTooLarge, // a listing larger than the run may hold
        itemFailed,     // one item of a batch failed; item() names it
        // The server's certificate is not trusted, or no longer the one trusted; refusal() says why. Nothing
        // was sent to the server, so the operation may run again once the user trusts it.
        untrustedCertificate,
    };

    static FTPClientError commandFailed(const QString& text);
    static FTPClientError curlNotFound();
    static FTPClientError invalidURL();
    static FTPClientError unsafePath();
    static FTPClientError cancelled();
    static FTPClientError timedOut(const QString& text);
    static FTPClientError outputTooLarge(const QString& text);
    // `item` in server form (a remote path, or the local path of an upload); `text` says what went wrong.
    static FTPClientError itemFailed(const QString& item, const QString& text);
    static FTPClientError untrustedCertificate(const CertificateRefusal& refusal);

    Kind kind() const { return m_kind; }
    const QString& item() const { return m_item; }
    // Set for untrustedCertificate only.
    const CertificateRefusal* refusal() const { return m_refusal.get(); }

    void raise() const override { throw *this; }
    FTPClientError* clone() const override { return new FTPClientError(*this); }

private:
    FTPClientError(Kind kind, const QString& description, QString item = {});
    Kind m_kind;
    QString m_item;
    std::shared_ptr<const CertificateRefusal> m_refusal;
};
