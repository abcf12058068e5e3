#pragma once

#include "OperationError.h"

class FTPClientError : public OperationError {
public:
    enum class Kind {
        commandFailed, // payload text shown as is (may be empty)
        curlNotFound,  // "curl not found."
        invalidURL,    // "Invalid URL."
        unsafePath,    // a path or login holding a control character: nothing was sent
    };

    static FTPClientError commandFailed(const QString& text);
    static FTPClientError curlNotFound();
    static FTPClientError invalidURL();
    static FTPClientError unsafePath();

    Kind kind() const { return m_kind; }

    void raise() const override { throw *this; }
    FTPClientError* clone() const override { return new FTPClientError(*this); }

private:
    FTPClientError(Kind kind, const QString& description);
    Kind m_kind;
};
