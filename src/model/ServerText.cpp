#include "ServerText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace servertext {

namespace {

constexpr char16_t kEscapeBase = 0xdc00; // byte b (0x80..0xff) is held as U+DC00 + b

// Whether text[i] is an escaped byte: in the escape range and not the low half of a surrogate pair (U+10080,
// say, is D800 DC80 and no escape).
bool isEscapeAt(QStringView text, qsizetype i) {
    const char16_t u = text[i].unicode();
    return u >= 0xdc80 && u <= 0xdcff && (i == 0 || !text[i - 1].isHighSurrogate());
}

// Windows-1252 for 0x80..0x9f; 0 where that code page leaves the byte undefined.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

char16_t windows1252(uchar byte) {
    if (byte >= 0x80 && byte < 0xa0) {
        const char16_t mapped = kWindows1252High[byte - 0x80];
        return mapped ? mapped : char16_t(0xfffd);
    }
    return byte;
}

// The length of the valid UTF-8 sequence starting at data[i], or 0 when there is none (strict: no
// overlong forms, no surrogates, nothing above U+10FFFF).
int validSequenceLength(const uchar* data, qsizetype size, qsizetype i) {
    const uchar lead = data[i];
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xbf;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    if (data[i + 1] < low || data[i + 1] > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (data[i + k] < 0x80 || data[i + k] > 0xbf)
            return 0;
    }
    return length;
}

} // namespace

QList<Encoding> offeredEncodings() {
    static const char* const ids[] = {
        "",           "UTF-8",        "ISO-8859-1",   "windows-1252", "ISO-8859-15",
        "ISO-8859-2", "windows-1250", "windows-1251", "KOI8-R",       "Shift_JIS",
        "EUC-JP",     "GBK",          "Big5",         "EUC-KR"};
    QList<Encoding> encodings;
    for (const char* id : ids) {
        const Encoding encoding{QString::fromLatin1(id)};
        if (isSupported(encoding))
            encodings << encoding;
    }
    return encodings;
}

QString encodingLabel(const Encoding& encoding) {
    static const struct {
        const char* id;
        const char* label;
    } labels[] = {{"", "Automatic"},
                  {"UTF-8", "UTF-8"},
                  {"ISO-8859-1", "Western (ISO-8859-1)"},
                  {"windows-1252", "Western (Windows-1252)"},
                  {"ISO-8859-15", "Western (ISO-8859-15)"},
                  {"ISO-8859-2", "Central European (ISO-8859-2)"},
                  {"windows-1250", "Central European (Windows-1250)"},
                  {"windows-1251", "Cyrillic (Windows-1251)"},
                  {"KOI8-R", "Cyrillic (KOI8-R)"},
                  {"Shift_JIS", "Japanese (Shift_JIS)"},
                  {"EUC-JP", "Japanese (EUC-JP)"},
                  {"GBK", "Chinese, Simplified (GBK)"},
                  {"Big5", "Chinese, Traditional (Big5)"},
                  {"EUC-KR", "Korean (EUC-KR)"}};
    for (const auto& entry : labels) {
        if (encoding.id == QLatin1StringView(entry.id))
            return QString::fromLatin1(entry.label);
    }
    return encoding.id;
}

bool isSupported(const Encoding& encoding) {
    if (encoding.isAutomatic())
        return true;
    const QByteArray name = encoding.id.toLatin1();
    return QStringDecoder(name.constData()).isValid() && QStringEncoder(name.constData()).isValid();
}

QString fromServer(QByteArrayView bytes) {
    // This decoder keeps a leading U+FEFF, which QString::fromUtf8 drops: here it is part of a name.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    if (bytes.isValidUtf8())
        return decoder.decode(bytes);
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    QString text(size, Qt::Uninitialized); // a byte never gives more than one UTF-16 unit
    QChar* out = text.data();
    qsizetype i = 0;
    while (i < size) {
        qsizetype validEnd = i;
        while (validEnd < size) {
            const int length = validSequenceLength(data, size, validEnd);
            if (length == 0)
                break;
            validEnd += length;
        }
        out = decoder.appendToBuffer(out, bytes.sliced(i, validEnd - i));
        if (validEnd < size)
            *out++ = QChar(char16_t(kEscapeBase + data[validEnd]));
        i = validEnd + 1;
    }
    text.truncate(out - text.constData());
    return text;
}

QByteArray toServer(QStringView text) {
    if (!holdsRawBytes(text))
        return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (isEscapeAt(text, i)) {
            bytes += char(text[i].unicode() - kEscapeBase);
            ++i;
            continue;
        }
        // A run of ordinary text up to the next escaped byte, encoded as UTF-8 in one piece so that
        // surrogate pairs stay whole.
        qsizetype end = i + 1;
        while (end < text.size() && !isEscapeAt(text, end))
            ++end;
        bytes += text.sliced(i, end - i).toUtf8();
        i = end;
    }
    return bytes;
}

bool holdsRawBytes(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isEscapeAt(text, i))
            return true;
    }
    return false;
}

QString forDisplay(QStringView text, const Encoding& encoding) {
    const bool utf8 = encoding.isAutomatic() || encoding.id.compare(u"UTF-8", Qt::CaseInsensitive) == 0;
    if (utf8 || !isSupported(encoding)) {
        if (!holdsRawBytes(text))
            return text.toString();
        // Automatic: a name that is not UTF-8 is most likely Windows-1252 (or ISO-8859-1, its subset).
        QString shown;
        shown.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!isEscapeAt(text, i))
                shown += text[i];
            else if (encoding.isAutomatic())
                shown += QChar(windows1252(uchar(text[i].unicode() - kEscapeBase)));
            else
                shown += QChar(char16_t(0xfffd));
        }
        return shown;
    }
    QStringDecoder decoder(encoding.id.toLatin1().constData());
    return decoder.decode(toServer(text));
}

std::optional<QString> fromUserText(QStringView typed, const Encoding& encoding) {
    const bool utf8 = encoding.isAutomatic() || encoding.id.compare(u"UTF-8", Qt::CaseInsensitive) == 0;
    if (utf8 || !isSupported(encoding)) {
        // A lone surrogate has no UTF-8 form (and would read as an escaped byte).
        if (!typed.isValidUtf16())
            return std::nullopt;
        return typed.toString();
    }
    const QByteArray name = encoding.id.toLatin1();
    QStringEncoder encoder(name.constData());
    const QByteArray bytes = encoder.encode(typed);
    // Some converters substitute what they cannot write instead of reporting it: a round trip tells.
    QStringDecoder decoder(name.constData());
    if (encoder.hasError() || QString(decoder.decode(bytes)) != typed)
        return std::nullopt;
    return fromServer(bytes);
}

} // namespace servertext
