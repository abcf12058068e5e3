#include "CertificateDer.h"

#include <QByteArrayView>
#include <QCryptographicHash>

namespace {

constexpr quint8 tagInteger = 0x02;
constexpr quint8 tagBitString = 0x03;
constexpr quint8 tagUtcTime = 0x17;
constexpr quint8 tagGeneralizedTime = 0x18;
constexpr quint8 tagSequence = 0x30;
constexpr quint8 tagExplicitVersion = 0xA0;
constexpr qsizetype sha256Size = 32;

struct Element {
    quint8 tag = 0;
    QByteArrayView content;
    QByteArrayView whole; // tag, length and content
};

// One level of TLV elements. Only the definite, at most four-byte lengths of DER; every length is checked
// against the bytes that are really there.
class DerReader {
public:
    explicit DerReader(QByteArrayView data)
        : m_data(data) {}

    bool atEnd() const { return m_pos == m_data.size(); }

    std::optional<Element> next(quint8 wantedTag) {
        const auto element = next();
        if (!element || element->tag != wantedTag)
            return std::nullopt;
        return element;
    }

    std::optional<Element> next() {
        if (m_data.size() - m_pos < 2)
            return std::nullopt;
        const qsizetype start = m_pos;
        const auto tag = quint8(m_data[m_pos++]);
        if ((tag & 0x1F) == 0x1F) // multi-byte tag numbers occur nowhere on the path read here
            return std::nullopt;
        const auto first = quint8(m_data[m_pos++]);
        qsizetype length = first;
        if (first >= 0x80) {
            const int count = first & 0x7F;
            if (count == 0 || count > 4 || m_data.size() - m_pos < count)
                return std::nullopt;
            length = 0;
            for (int i = 0; i < count; ++i)
                length = (length << 8) | quint8(m_data[m_pos++]);
        }
        if (length > m_data.size() - m_pos)
            return std::nullopt;
        const Element element{tag, m_data.sliced(m_pos, length),
                              m_data.sliced(start, m_pos - start + length)};
        m_pos += length;
        return element;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

std::optional<int> number(QByteArrayView digits) {
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// UTCTime "YYMMDDHHMMSSZ" (years 1950-2049) or GeneralizedTime "YYYYMMDDHHMMSSZ", the only forms DER
// allows in a certificate's validity.
std::optional<QDateTime> readTime(const Element& element) {
    qsizetype yearDigits = 0;
    if (element.tag == tagUtcTime && element.content.size() == 13)
        yearDigits = 2;
    else if (element.tag == tagGeneralizedTime && element.content.size() == 15)
        yearDigits = 4;
    else
        return std::nullopt;
    const QByteArrayView text = element.content;
    if (text.back() != 'Z')
        return std::nullopt;
    auto year = number(text.first(yearDigits));
    const QByteArrayView rest = text.sliced(yearDigits);
    const auto month = number(rest.sliced(0, 2));
    const auto day = number(rest.sliced(2, 2));
    const auto hour = number(rest.sliced(4, 2));
    const auto minute = number(rest.sliced(6, 2));
    const auto second = number(rest.sliced(8, 2));
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    if (yearDigits == 2)
        *year += *year >= 50 ? 1900 : 2000;
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

PublicKeyPin PublicKeyPin::ofSubjectPublicKeyInfo(const QByteArray& spkiDer) {
    PublicKeyPin pin;
    pin.m_digest = QCryptographicHash::hash(spkiDer, QCryptographicHash::Sha256);
    return pin;
}

std::optional<PublicKeyPin> PublicKeyPin::fromBase64(const QString& text) {
    // Only canonical text: the pin is written into curl's configuration, where anything else could be
    // read as something else.
    const QByteArray latin1 = text.toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(latin1, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != sha256Size || decoded.decoded.toBase64() != latin1)
        return std::nullopt;
    PublicKeyPin pin;
    pin.m_digest = *decoded;
    return pin;
}

QString PublicKeyPin::base64() const {
    return QString::fromLatin1(m_digest.toBase64());
}

std::optional<CertificateDerFacts> readCertificateDer(const QByteArray& der, QString& error) {
    const auto fail = [&](const char* what) {
        error = QStringLiteral("the certificate is damaged (%1)").arg(QLatin1String(what));
        return std::nullopt;
    };
    DerReader top(der);
    const auto certificate = top.next(tagSequence);
    if (!certificate || !top.atEnd())
        return fail("not one DER sequence");
    DerReader certificateParts(certificate->content);
    const auto tbs = certificateParts.next(tagSequence);
    if (!tbs)
        return fail("no certificate body");

    DerReader body(tbs->content);
    auto element = body.next();
    if (element && element->tag == tagExplicitVersion)
        element = body.next();
    if (!element || element->tag != tagInteger)
        return fail("no serial number");
    if (!body.next(tagSequence) || !body.next(tagSequence)) // signature algorithm, issuer
        return fail("no issuer");
    const auto validity = body.next(tagSequence);
    if (!validity)
        return fail("no validity");
    if (!body.next(tagSequence))
        return fail("no subject");
    const auto spki = body.next(tagSequence);
    if (!spki)
        return fail("no public key");

    DerReader times(validity->content);
    const auto notBeforeElement = times.next();
    const auto notAfterElement = times.next();
    const auto notBefore = notBeforeElement ? readTime(*notBeforeElement) : std::nullopt;
    const auto notAfter = notAfterElement ? readTime(*notAfterElement) : std::nullopt;
    if (!notBefore || !notAfter || !times.atEnd())
        return fail("unreadable validity dates");

    DerReader key(spki->content);
    if (!key.next(tagSequence) || !key.next(tagBitString) || !key.atEnd())
        return fail("malformed public key");

    return CertificateDerFacts{spki->whole.toByteArray(), *notBefore, *notAfter};
}

QString sha256Fingerprint(const QByteArray& der) {
    return QString::fromLatin1(
        QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
}
