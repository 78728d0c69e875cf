// The integer reader takes whatever a user types or a settings file holds; the same bytes
// check the name codec's round trip.
#include "platform/names.h"
#include "platform/text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = velquin::decodeLocal8(bytes);
    // Any bytes, as a file name would hold them, come back unchanged.
    if (velquin::encodeLocal8(text) != bytes)
        std::abort();
    const auto v32 = velquin::parseInt32(text);
    const auto v64 = velquin::parseInt64(text);
    // Whatever reads as a 32-bit integer reads as a 64-bit one too; decimal values agree.
    if (v32 && !v64)
        std::abort();
    const bool hex =
        text.contains(QLatin1Char('$')) || text.contains(QLatin1Char('x')) || text.contains(QLatin1Char('X'));
    if (v32 && !hex && qint64(*v32) != *v64)
        std::abort();
    return 0;
}
