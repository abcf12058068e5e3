#include "ServerCertificate.h"

namespace {

// More than any real chain, few enough that a hostile one stays cheap.
constexpr qsizetype maximumChainLength = 16;

const QByteArray pemBegin = QByteArrayLiteral("-----BEGIN CERTIFICATE-----");
const QByteArray pemEnd = QByteArrayLiteral("-----END CERTIFICATE-----");

QString fieldValue(const QByteArray& line, qsizetype nameLength) {
    return QString::fromUtf8(line.sliced(nameLength)).trimmed();
}

// One "Subject:" block being read; complete once its PEM has ended.
struct Pending {
    ServerCertificate certificate;
    QByteArray base64;
    bool inPem = false;
    bool pemDone = false;
};

std::optional<ServerCertificate> finish(Pending& pending, qsizetype number, QString& error) {
    if (!pending.pemDone) {
        error = QStringLiteral("certificate %1 of the chain came without its PEM").arg(number);
        return std::nullopt;
    }
    const auto der = QByteArray::fromBase64Encoding(pending.base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!der || der.decoded.isEmpty()) {
        error = QStringLiteral("certificate %1 of the chain has a damaged PEM").arg(number);
        return std::nullopt;
    }
    QString reason;
    const auto facts = readCertificateDer(*der, reason);
    if (!facts) {
        error = QStringLiteral("certificate %1 of the chain: %2").arg(number).arg(reason);
        return std::nullopt;
    }
    ServerCertificate certificate = std::move(pending.certificate);
    certificate.der = *der;
    certificate.notBefore = facts->notBefore;
    certificate.notAfter = facts->notAfter;
    certificate.fingerprint = sha256Fingerprint(*der);
    certificate.pin = PublicKeyPin::ofSubjectPublicKeyInfo(facts->subjectPublicKeyInfo);
    return certificate;
}

} // namespace

std::optional<QList<ServerCertificate>> parseCurlCertificates(const QByteArray& text, QString& error) {
    static const QByteArray subjectField = QByteArrayLiteral("Subject:");
    static const QByteArray issuerField = QByteArrayLiteral("Issuer:");

    QList<ServerCertificate> chain;
    std::optional<Pending> pending;
    const auto close = [&]() -> bool {
        if (!pending)
            return true;
        auto certificate = finish(*pending, chain.size() + 1, error);
        pending.reset();
        if (!certificate)
            return false;
        chain.append(std::move(*certificate));
        return true;
    };

    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (pending && pending->inPem) {
            if (line == pemEnd) {
                pending->inPem = false;
                pending->pemDone = true;
            } else {
                pending->base64 += line;
            }
        } else if (line.startsWith(subjectField)) {
            if (!close())
                return std::nullopt;
            if (chain.size() == maximumChainLength) {
                error = QStringLiteral("the server sent more than %1 certificates").arg(maximumChainLength);
                return std::nullopt;
            }
            pending.emplace();
            pending->certificate.subject = fieldValue(line, subjectField.size());
        } else if (!pending) {
            continue; // curl prints nothing outside a block; whatever it is, it describes no certificate
        } else if (line.startsWith(issuerField)) {
            pending->certificate.issuer = fieldValue(line, issuerField.size());
        } else if (line == pemBegin) {
            if (pending->pemDone) {
                error =
                    QStringLiteral("certificate %1 of the chain has two PEM blocks").arg(chain.size() + 1);
                return std::nullopt;
            }
            pending->inPem = true;
        }
    }
    if (pending && pending->inPem) {
        error = QStringLiteral("certificate %1 of the chain ends inside its PEM").arg(chain.size() + 1);
        return std::nullopt;
    }
    if (!close())
        return std::nullopt;
    if (chain.isEmpty()) {
        error = QStringLiteral("the server presented no certificate");
        return std::nullopt;
    }
    return chain;
}
