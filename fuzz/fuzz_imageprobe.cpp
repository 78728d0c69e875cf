// The image probe reads headers of whatever files carry a picture extension.
#include "platform/imageprobe.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Image format plugins are found through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An in-memory file, reached by path like any file on disk.
    const int fd = ::memfd_create("probe", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += size_t(n);
    }
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    for (int kind = -1; kind <= 2; ++kind) {
        const quint64 v = velquin::GetImageDimension(path, kind);
        if ((kind < 0 || kind > 1) && v != 0)
            std::abort();
        if (v > 0xFFFFFFFFull)
            std::abort();
    }
    ::close(fd);
    return 0;
}
