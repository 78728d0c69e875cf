#include "platform/imageprobe.h"

#include "platform/names.h"

#include <QFile>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

quint64 GetImageDimension(const QString& path, ImageDimensionKind kind) {
    if (kind != 0 && kind != 1)
        return 0;
    // Opened by its exact bytes (a name that is not valid UTF-8 must still be found), without
    // blocking on a FIFO or device, and only a regular file is handed to the decoder.
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 0;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return 0;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    QSize size = reader.size();
    // A format whose reader cannot tell the size from the header is decoded instead.
    if (!size.isValid() && reader.canRead())
        size = reader.read().size();
    if (!size.isValid())
        return 0;
    return static_cast<quint64>(static_cast<quint32>(kind == 0 ? size.height() : size.width()));
}

} // namespace velquin
