#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// A curl configuration as `curl -q --config -` reads it from standard input: one option a line, values in
// double quotes. Everything a run needs (the login included) travels this way, so nothing secret ever shows
// up in the process list. Values are bytes: names in server form go through unchanged, whatever their
// encoding.
class CurlConfig {
public:
    // A switch without a value ("silent").
    CurlConfig& add(QByteArrayView option);
    CurlConfig& add(QByteArrayView option, QByteArrayView value);
    CurlConfig& add(QByteArrayView option, const QByteArray& value) {
        return add(option, QByteArrayView(value));
    }
    // Typed text (a login, a URL): UTF-8. Names in server form go through servertext::toServer first.
    CurlConfig& add(QByteArrayView option, const QString& value);
    CurlConfig& add(QByteArrayView option, qint64 value);
    template <qsizetype N> CurlConfig& add(QByteArrayView option, const char (&value)[N]) {
        return add(option, QByteArrayView(value));
    }

    // Whole lines as they stand ("pinnedpubkey = \"sha256//...\""), for options made elsewhere.
    CurlConfig& addLines(const QStringList& lines);

    const QByteArray& text() const { return m_text; }

private:
    QByteArray m_text;
};

// `value` in double quotes, with the escapes curl's config reader undoes: backslash and quote, and line
// breaks and tabs (a local file name may hold them). Throws FTPClientError::unsafePath() on a NUL byte,
// which would cut the line short.
QByteArray quotedConfigValue(QByteArrayView value);
