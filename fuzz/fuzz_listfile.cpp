// List files come from anywhere: other programs, other systems, damaged disks.
#include "lists/listfile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = velquin::parseListFile(bytes);
    // Nothing past the first zero byte, and no line holds a line end.
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')) || line.contains(QChar(0)))
            std::abort();
    }
    // What is written reads back as the same entries.
    if (velquin::parseListFile(velquin::formatListFile(lines)) != lines)
        std::abort();
    return 0;
}
