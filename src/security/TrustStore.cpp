#include "TrustStore.h"

#include "ServerCertificate.h"
#include "model/DefaultsStore.h"
#include "model/JsonText.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

using jsontext::utf8;

std::string isoText(const QDateTime& time) {
    return utf8(time.toUTC().toString(Qt::ISODate));
}

std::optional<QDateTime> timeMember(const Json& object, const char* key) {
    const auto text = jsontext::stringMember(object, key);
    if (!text)
        return std::nullopt;
    QDateTime time = QDateTime::fromString(*text, Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return time.toUTC();
}

std::optional<TrustedCertificate> fromJson(const Json& object) {
    if (!object.is_object())
        return std::nullopt;
    const auto port = object.find("port");
    if (port == object.end() || !port->is_number_unsigned() || port->get<std::uint64_t>() < 1 ||
        port->get<std::uint64_t>() > 65535)
        return std::nullopt;
    const auto host = jsontext::stringMember(object, "host");
    const auto pinText = jsontext::stringMember(object, "publicKeySha256");
    const auto pin = pinText ? PublicKeyPin::fromBase64(*pinText) : std::nullopt;
    const auto fingerprint = jsontext::stringMember(object, "certificateSha256");
    const auto subject = jsontext::stringMember(object, "subject");
    const auto issuer = jsontext::stringMember(object, "issuer");
    const auto notBefore = timeMember(object, "notBefore");
    const auto notAfter = timeMember(object, "notAfter");
    const auto trustedAt = timeMember(object, "trustedAt");
    if (!host || host->isEmpty() || !pin || !fingerprint || !subject || !issuer || !notBefore || !notAfter ||
        !trustedAt)
        return std::nullopt;
    return TrustedCertificate{host->toLower(),
                              int(port->get<std::uint64_t>()),
                              *pin,
                              *fingerprint,
                              *subject,
                              *issuer,
                              *notBefore,
                              *notAfter,
                              *trustedAt};
}

} // namespace

TrustedCertificate TrustedCertificate::of(const ServerCertificate& certificate, const QString& host, int port,
                                          const QDateTime& trustedAt) {
    return TrustedCertificate{host.toLower(),        port,
                              certificate.pin,       certificate.fingerprint,
                              certificate.subject,   certificate.issuer,
                              certificate.notBefore, certificate.notAfter,
                              trustedAt.toUTC()};
}

bool TrustedCertificate::isFor(const QString& otherHost, int otherPort) const {
    return port == otherPort && host.compare(otherHost, Qt::CaseInsensitive) == 0;
}

QByteArray encodeTrustedCertificates(const QList<TrustedCertificate>& entries) {
    Json array = Json::array();
    for (const TrustedCertificate& entry : entries) {
        array.push_back(Json{{"host", utf8(entry.host)},
                             {"port", entry.port},
                             {"publicKeySha256", utf8(entry.pin.base64())},
                             {"certificateSha256", utf8(entry.fingerprint)},
                             {"subject", utf8(entry.subject)},
                             {"issuer", utf8(entry.issuer)},
                             {"notBefore", isoText(entry.notBefore)},
                             {"notAfter", isoText(entry.notAfter)},
                             {"trustedAt", isoText(entry.trustedAt)}});
    }
    // Indented: this is the file a user reads to see what was trusted.
    const std::string text = array.dump(2);
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::optional<QList<TrustedCertificate>> decodeTrustedCertificates(const QByteArray& data) {
    const Json document = Json::parse(data.constBegin(), data.constEnd(), nullptr, false);
    if (document.is_discarded() || !document.is_array())
        return std::nullopt;
    QList<TrustedCertificate> entries;
    for (const Json& element : document) {
        auto entry = fromJson(element);
        if (!entry)
            return std::nullopt;
        entries.append(std::move(*entry));
    }
    return entries;
}

TrustStore::TrustStore(DefaultsStore& store)
    : m_store(store) {}

TrustStore::Read TrustStore::read(QList<TrustedCertificate>& entries) const {
    entries.clear();
    m_errorString.clear();
    if (!m_store.contains(key()))
        return Read::ok;
    const auto data = m_store.value(key());
    if (!data) {
        m_errorString =
            QStringLiteral("The trusted certificates could not be read: %1").arg(m_store.errorString());
        return Read::unreadable;
    }
    auto decoded = decodeTrustedCertificates(*data);
    if (!decoded) {
        m_errorString = QStringLiteral("The trusted certificates are damaged; none of them is used until the "
                                       "next change keeps the damaged file aside.");
        return Read::undecodable;
    }
    entries = std::move(*decoded);
    return Read::ok;
}

bool TrustStore::write(const QList<TrustedCertificate>& entries, Read howRead) {
    if (howRead == Read::unreadable)
        return false; // what cannot be read cannot be kept aside, so it is not replaced either
    if (howRead == Read::undecodable) {
        const auto current = m_store.value(key());
        if (!current || !m_store.keepAside(key(), *current)) {
            m_errorString = m_store.errorString();
            return false;
        }
    }
    if (!m_store.setValue(key(), encodeTrustedCertificates(entries))) {
        m_errorString = m_store.errorString();
        return false;
    }
    m_errorString.clear();
    return true;
}

std::optional<TrustedCertificate> TrustStore::lookup(const QString& host, int port) const {
    QList<TrustedCertificate> all;
    read(all);
    for (const TrustedCertificate& entry : std::as_const(all)) {
        if (entry.isFor(host, port))
            return entry;
    }
    return std::nullopt;
}

QList<TrustedCertificate> TrustStore::entries() const {
    QList<TrustedCertificate> all;
    read(all);
    return all;
}

bool TrustStore::trust(const TrustedCertificate& certificate) {
    QList<TrustedCertificate> all;
    const Read howRead = read(all);
    for (const TrustedCertificate& entry : std::as_const(all)) {
        if (!entry.isFor(certificate.host, certificate.port))
            continue;
        if (entry.pin == certificate.pin)
            return true;
        m_errorString =
            QStringLiteral("Another certificate is already trusted for %1:%2; it is replaced only "
                           "when you choose to replace it.")
                .arg(certificate.host)
                .arg(certificate.port);
        return false;
    }
    all.append(certificate);
    return write(all, howRead);
}

bool TrustStore::replace(const TrustedCertificate& certificate) {
    QList<TrustedCertificate> all;
    const Read howRead = read(all);
    all.removeIf(
        [&](const TrustedCertificate& entry) { return entry.isFor(certificate.host, certificate.port); });
    all.append(certificate);
    return write(all, howRead);
}

bool TrustStore::forget(const QString& host, int port) {
    QList<TrustedCertificate> all;
    const Read howRead = read(all);
    if (all.removeIf([&](const TrustedCertificate& entry) { return entry.isFor(host, port); }) == 0 &&
        howRead == Read::ok)
        return true;
    return write(all, howRead);
}
