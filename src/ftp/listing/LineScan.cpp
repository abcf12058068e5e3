#include "LineScan.h"

#include "model/ServerText.h"

#include <QString>

#include <array>

namespace listing {

namespace {

using Outcome = Scan::Outcome;

// A line cut at U+0020 only; leading spaces give no empty field. Only the first few fields are ever
// looked at, so only their bounds are kept; `count` stops there too.
struct Fields {
    static constexpr int kKept = 9;
    std::array<qsizetype, kKept> begin{};
    std::array<qsizetype, kKept> end{};
    int count = 0;
    QByteArrayView line;

    explicit Fields(QByteArrayView text)
        : line(text) {
        qsizetype i = 0;
        const qsizetype size = text.size();
        while (count < kKept) {
            while (i < size && text[i] == ' ')
                ++i;
            if (i == size)
                break;
            begin[count] = i;
            while (i < size && text[i] != ' ')
                ++i;
            end[count] = i;
            ++count;
        }
    }

    // Fields are numbered from 1, as in a listing's columns.
    QByteArrayView field(int number) const {
        return line.sliced(begin[number - 1], end[number - 1] - begin[number - 1]);
    }
    // The rest of the line from one space after the field: where a name starts.
    QByteArrayView after(int number) const { return line.sliced(end[number - 1] + 1); }
};

// An optional sign and decimal digits whose value fits a signed 64-bit integer; nothing else.
std::optional<qint64> parseNumber(QByteArrayView text) {
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const unsigned digit = unsigned(c - '0');
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? static_cast<qint64>(~value + 1) : static_cast<qint64>(value);
}

// Characters as the entry's text holds them: a UTF-8 sequence is one, and so is each byte of an invalid one.
qsizetype characterCount(QByteArrayView bytes) {
    qsizetype ascii = 0;
    while (ascii < bytes.size() && uchar(bytes[ascii]) < 0x80)
        ++ascii;
    if (ascii == bytes.size())
        return ascii;
    const QString text = servertext::fromServer(bytes);
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        count += !(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate());
    return count;
}

// The length of a "<DIR>" marker at `at`, in any letter case, or 0. A dotless i counts, as its capital is I.
qsizetype dirMarkerLength(QByteArrayView text, qsizetype at) {
    const auto is = [&](qsizetype i, char lower) { return i < text.size() && (text[i] | 0x20) == lower; };
    qsizetype i = at;
    if (i >= text.size() || text[i] != '<' || !is(i + 1, 'd'))
        return 0;
    i += 2;
    if (is(i, 'i'))
        i += 1;
    else if (i + 1 < text.size() && uchar(text[i]) == 0xc4 && uchar(text[i + 1]) == 0xb1)
        i += 2;
    else
        return 0;
    if (!is(i, 'r') || i + 1 >= text.size() || text[i + 1] != '>')
        return 0;
    return i + 2 - at;
}

bool containsDirMarker(QByteArrayView line) {
    for (qsizetype i = line.indexOf('<'); i >= 0; i = line.indexOf('<', i + 1)) {
        if (dirMarkerLength(line, i))
            return true;
    }
    return false;
}

Scan& decide(Scan& scan) {
    scan.outcome = isAcceptableName(scan.name.data(), scan.name.size()) ? Outcome::entry : Outcome::refused;
    return scan;
}

// A link line names the link before " -> " and its target after. A second " -> " (overlapping the
// first one's last space counts) leaves the split unknown: the name might hold an arrow.
void splitLink(Scan& scan) {
    constexpr QByteArrayView arrow = " -> ";
    const qsizetype at = scan.name.indexOf(arrow);
    if (at < 0)
        return;
    scan.isAmbiguous = scan.name.indexOf(arrow, at + 1) >= 0;
    scan.linkTarget = scan.name.sliced(at + arrow.size());
    scan.name = scan.name.first(at);
}

Scan scanUnix(QByteArrayView line) {
    const Fields fields(line);
    if (fields.count < 8)
        return {};
    const QByteArrayView permissions = fields.field(1);
    const char type = permissions[0];
    if ((type != 'd' && type != '-' && type != 'l') || characterCount(permissions) < 10)
        return {};

    int sizeField = 4;
    std::optional<qint64> size;
    if (fields.count > 8 && (size = parseNumber(fields.field(5))))
        sizeField = 5;
    else
        size = parseNumber(fields.field(4));
    if (!size)
        return {};

    // A field follows the date fields in every layout above, so one space does too.
    Scan scan;
    scan.name = fields.after(sizeField + 3);
    scan.isDirectory = type == 'd';
    scan.isLink = type == 'l';
    if (!scan.isDirectory)
        scan.size = size;
    if (scan.isLink)
        splitLink(scan);
    scan.month = fields.field(sizeField + 1);
    scan.day = fields.field(sizeField + 2);
    scan.timeOrYear = fields.field(sizeField + 3);
    return decide(scan);
}

// IIS pads its "<DIR>" column to the width of its size column: the marker is always followed by exactly
// ten spaces (nine of padding, one separator), and any further space starts the name. Other servers put a
// single space after the marker. Any other run of spaces comes from a layout we cannot know, so the name
// is taken after the whole run and marked ambiguous: it may have begun with a space.
constexpr qsizetype kIisDirPadding = 10;

Scan scanDosFolder(QByteArrayView line) {
    qsizetype i = 0;
    const qsizetype size = line.size();
    while (i < size) {
        while (i < size && line[i] == ' ')
            ++i;
        const qsizetype begin = i;
        while (i < size && line[i] != ' ')
            ++i;
        if (begin == i || dirMarkerLength(line, begin) != i - begin)
            continue;
        qsizetype spaces = 0;
        while (i + spaces < size && line[i + spaces] == ' ')
            ++spaces;
        Scan scan;
        scan.isDirectory = true;
        if (spaces >= kIisDirPadding) {
            scan.name = line.sliced(i + kIisDirPadding);
        } else {
            scan.name = line.sliced(i + spaces);
            scan.isAmbiguous = spaces > 1;
        }
        return decide(scan);
    }
    return {};
}

Scan scanDos(QByteArrayView line) {
    // The marker may come late in the line, or glued to other text (then the line is not recognised).
    if (containsDirMarker(line))
        return scanDosFolder(line);
    const Fields fields(line);
    if (fields.count < 4)
        return {};
    Scan scan;
    scan.size = parseNumber(fields.field(3));
    if (!scan.size)
        return {};
    scan.name = fields.after(3);
    return decide(scan);
}

Scan scanBareName(QByteArrayView line) {
    Scan scan;
    scan.name = line;
    if (scan.name.endsWith('/')) {
        scan.isDirectory = true;
        scan.name.chop(1);
    }
    return decide(scan);
}

} // namespace

Scan scanLine(QByteArrayView line) {
    Scan scan = scanUnix(line);
    if (scan.outcome == Outcome::notRecognised)
        scan = scanDos(line);
    if (scan.outcome == Outcome::notRecognised)
        scan = scanBareName(line);
    return scan;
}

} // namespace listing
