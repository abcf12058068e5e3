#pragma once

#include <QByteArrayView>

#include <cstring>
#include <vector>

// How curl's output is cut into lines, and which lines hold no entry. Only an LF ends a line (a CR right
// before it is dropped with it): a lone CR, VT, FF, NEL, LS or PS is a character of the line, which may be
// part of a name.
namespace listing {

// Where the line that holds `from` ends: at the next LF, or at the end of the output, which ends a line as
// an LF would.
inline qsizetype lineEnd(QByteArrayView bytes, qsizetype from) {
    const auto* lf =
        static_cast<const char*>(std::memchr(bytes.data() + from, '\n', size_t(bytes.size() - from)));
    return lf ? lf - bytes.data() : bytes.size();
}

// The text from `from` to the line's end, without one CR right before that end.
inline QByteArrayView lineText(QByteArrayView bytes, qsizetype from, qsizetype end) {
    return bytes.sliced(from, end - from - (end > from && bytes[end - 1] == '\r'));
}

inline QByteArrayView restOfLine(QByteArrayView bytes, qsizetype from) {
    return lineText(bytes, from, lineEnd(bytes, from));
}

// Calls onLine(bytes) for each line, empty ones too; output that ends with an LF has no empty line after it.
template <typename OnLine> void forEachLine(QByteArrayView bytes, OnLine&& onLine) {
    for (qsizetype start = 0, end = 0; start < bytes.size(); start = end + 1) {
        end = lineEnd(bytes, start);
        onLine(lineText(bytes, start, end));
    }
}

// How many lines forEachLine gives.
qsizetype lineCount(QByteArrayView bytes);

// Cuts the output into at most `chunks` pieces of whole lines; the bounds, first 0 and last the size.
std::vector<qsizetype> chunkBounds(QByteArrayView bytes, int chunks);

// Nothing but spaces, tabs and other Unicode spaces (a bare listing cannot tell such a name from padding).
bool isBlankLine(QByteArrayView line);
// "total " in any letter case, after any blanks: ls's block count.
bool isTotalLine(QByteArrayView line);
// Binary junk rather than a listing line: it holds a NUL, which no file system allows in a name, or it is
// not UTF-8 and holds another control character, which names in legacy encodings do not.
bool isUnreadableLine(QByteArrayView line);

bool isAscii(QByteArrayView bytes);

} // namespace listing
