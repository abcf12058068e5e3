// A server shapes the certificate chain curl prints for it, and the DER inside. Reading either must never
// crash, hang or read outside the input; whatever is accepted must be a chain a trust decision can use.

#include "security/ServerCertificate.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_certificates: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;

    // The same bytes as a bare DER certificate.
    if (const auto facts = readCertificateDer(input, error)) {
        if (facts->subjectPublicKeyInfo.isEmpty() || !facts->notBefore.isValid() ||
            !facts->notAfter.isValid())
            fail("accepted DER without a key or dates");
    } else if (error.isEmpty()) {
        fail("refused DER without a reason");
    }

    error.clear();
    const auto chain = parseCurlCertificates(input, error);
    if (!chain) {
        if (error.isEmpty())
            fail("refused a chain without a reason");
        return 0;
    }
    if (chain->isEmpty() || chain->size() > 16)
        fail("accepted an empty or overlong chain");
    for (const ServerCertificate& certificate : *chain) {
        QString again;
        if (certificate.pin.isNull() || certificate.fingerprint.size() != 95 ||
            !readCertificateDer(certificate.der, again))
            fail("accepted a certificate that does not read again");
    }
    return 0;
}
