#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// Reads one listing line, as bytes, in the first of three formats that recognises it: unix long listing,
// DOS with "<DIR>" markers, bare name. Names are exact: a unix name starts one space after the date
// fields and a DOS file name one space after the size, and both run to the end of the line, spaces and
// all; a bare name is the whole line. Nothing here allocates: the result points into the line.
namespace listing {

struct Scan {
    enum class Outcome { entry, refused, notRecognised };
    Outcome outcome = Outcome::notRecognised;
    QByteArrayView name;
    // Of a link line with " -> " in it; null otherwise.
    QByteArrayView linkTarget;
    bool isDirectory = false;
    bool isLink = false;
    // The line does not tell the exact name (see scanDos and scanUnix).
    bool isAmbiguous = false;
    std::optional<qint64> size;
    QByteArrayView month; // the date fields of a unix line; empty otherwise
    QByteArrayView day;
    QByteArrayView timeOrYear;
};

// `line` holds neither its LF nor the CR before it, and is not blank.
Scan scanLine(QByteArrayView line);

// The name check and the stay-inside-the-folder rule: not empty, not "." or "..", and nothing that could
// lead an operation out of the listed folder: no leading "/" or "\", no "." or ".." segment between them
// (some servers read "\" as a separator too).
template <typename Char> bool isAcceptableName(const Char* text, qsizetype size) {
    if (size == 0 || text[0] == Char('/') || text[0] == Char('\\'))
        return false;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && text[i] != Char('/') && text[i] != Char('\\'))
            continue;
        const qsizetype length = i - begin;
        if ((length == 1 || length == 2) && text[begin] == Char('.') && text[i - 1] == Char('.'))
            return false;
        begin = i + 1;
    }
    return true;
}

} // namespace listing
