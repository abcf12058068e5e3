// The stored connection and favorite lists are files on disk that anything may have written. Decoding must
// never throw or crash, and whatever it accepts must survive being stored again: encoding a decoded list
// and decoding it once more gives the same records, and a second encoding gives the same bytes.

#include "model/RecordJson.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_records_json: %s\n", what);
    std::abort();
}

// Compact JSON holds no raw control character and no line break, so a stored list is one line of text.
void checkCompact(const QByteArray& encoded) {
    for (const char c : encoded) {
        if (static_cast<unsigned char>(c) < 0x20)
            fail("encoded list holds a raw control character");
    }
}

template <typename Record, typename Decode, typename Encode>
void checkRoundTrip(const QByteArray& input, Decode decode, Encode encode) {
    const std::optional<QList<Record>> decoded = decode(input);
    if (!decoded)
        return;
    const QByteArray encoded = encode(*decoded);
    checkCompact(encoded);
    const std::optional<QList<Record>> again = decode(encoded);
    if (!again)
        fail("an encoded list does not decode");
    if (*again != *decoded)
        fail("records changed on the way through storage");
    if (encode(*again) != encoded)
        fail("encoding is not stable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    checkRoundTrip<Connection>(input, decodeConnections, encodeConnections);
    checkRoundTrip<Favorite>(input, decodeFavorites, encodeFavorites);
    return 0;
}
