#include "CurlConfig.h"

#include "FTPClientError.h"

QByteArray quotedConfigValue(QByteArrayView value) {
    QByteArray quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    for (const char c : value) {
        switch (c) {
        case '\0':
            throw FTPClientError::unsafePath();
        case '"':
        case '\\':
            quoted += '\\';
            quoted += c;
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\v':
            quoted += "\\v";
            break;
        default:
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

CurlConfig& CurlConfig::add(QByteArrayView option) {
    m_text += option;
    m_text += '\n';
    return *this;
}

CurlConfig& CurlConfig::add(QByteArrayView option, QByteArrayView value) {
    m_text += option;
    m_text += " = ";
    m_text += quotedConfigValue(value);
    m_text += '\n';
    return *this;
}

CurlConfig& CurlConfig::add(QByteArrayView option, const QString& value) {
    return add(option, QByteArrayView(value.toUtf8()));
}

CurlConfig& CurlConfig::add(QByteArrayView option, qint64 value) {
    return add(option, QByteArrayView(QByteArray::number(value)));
}

CurlConfig& CurlConfig::addLines(const QStringList& lines) {
    for (const QString& line : lines)
        add(QByteArrayView(line.toUtf8()));
    return *this;
}
