#include "ListingLines.h"

#include <QtGlobal>

#include <algorithm>

namespace listing {

namespace {

// The length of the blank at `i` (a tab, or a UTF-8 encoded character of Unicode's space separators), or 0.
qsizetype blankLength(QByteArrayView text, qsizetype i) {
    const auto at = [&](qsizetype k) { return i + k < text.size() ? uchar(text[i + k]) : 0; };
    switch (at(0)) {
    case ' ':
    case '\t':
        return 1;
    case 0xc2: // U+00A0
        return at(1) == 0xa0 ? 2 : 0;
    case 0xe1: // U+1680
        return at(1) == 0x9a && at(2) == 0x80 ? 3 : 0;
    case 0xe2: // U+2000 to U+200A, U+202F, U+205F
        return (at(1) == 0x80 && ((at(2) >= 0x80 && at(2) <= 0x8a) || at(2) == 0xaf)) ||
                       (at(1) == 0x81 && at(2) == 0x9f)
                   ? 3
                   : 0;
    case 0xe3: // U+3000
        return at(1) == 0x80 && at(2) == 0x80 ? 3 : 0;
    default:
        return 0;
    }
}

qsizetype blanksAtStart(QByteArrayView line) {
    qsizetype i = 0;
    while (i < line.size()) {
        const qsizetype length = blankLength(line, i);
        if (length == 0)
            break;
        i += length;
    }
    return i;
}

} // namespace

qsizetype lineCount(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return 0;
    return std::count(bytes.begin(), bytes.end(), '\n') + (bytes.back() != '\n');
}

std::vector<qsizetype> chunkBounds(QByteArrayView bytes, int chunks) {
    std::vector<qsizetype> bounds{0};
    for (int k = 1; k < chunks; ++k) {
        const qsizetype from = std::max(bounds.back(), bytes.size() * k / chunks);
        const qsizetype lf = bytes.indexOf('\n', from);
        if (lf >= 0 && lf + 1 < bytes.size())
            bounds.push_back(lf + 1);
    }
    bounds.push_back(bytes.size());
    return bounds;
}

bool isBlankLine(QByteArrayView line) {
    return blanksAtStart(line) == line.size();
}

bool isTotalLine(QByteArrayView line) {
    constexpr QByteArrayView total = "total ";
    const QByteArrayView rest = line.sliced(blanksAtStart(line));
    if (rest.size() < total.size())
        return false;
    for (qsizetype i = 0; i < total.size(); ++i) {
        const char c = rest[i];
        if (((c >= 'A' && c <= 'Z') ? char(c + 32) : c) != total[i])
            return false;
    }
    return true;
}

bool isUnreadableLine(QByteArrayView line) {
    if (line.contains('\0'))
        return true;
    if (line.isValidUtf8())
        return false;
    return std::any_of(line.begin(), line.end(),
                       [](char c) { return (uchar(c) < 0x20 && c != '\t') || c == 0x7f; });
}

bool isAscii(QByteArrayView bytes) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    quint64 any = 0;
    qsizetype i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        any |= word;
    }
    for (; i < bytes.size(); ++i)
        any |= data[i];
    return (any & 0x8080808080808080u) == 0;
}

} // namespace listing
