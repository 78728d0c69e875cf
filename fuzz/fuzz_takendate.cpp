// The date-taken reader parses whatever photos and movies a folder holds, and the file-name
// and sidecar helpers see every name of a list.
#include "platform/photonames.h"
#include "platform/takendate.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto found = velquin::readTakenDate(bytes)) {
        const int year = found->when.date().year();
        if (!found->when.isValid() || year < 1899 || year > 2201)
            std::abort();
    }
    const QString name = QString::fromUtf8(bytes.left(256));
    if (const auto when = velquin::dateFromFileName(name); when && !when->isValid())
        std::abort();
    if (velquin::isSidecarOf(name, name))
        std::abort();
    return 0;
}
