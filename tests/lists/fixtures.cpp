#include "lists/fixtures.h"

#include "platform/names.h"

#include <fcntl.h>
#include <unistd.h>

namespace velquin::test {

RawFile::RawFile(const QByteArray& path) : path_(path) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ::close(fd);
        made_ = true;
    }
}

RawFile::~RawFile() {
    if (made_)
        ::unlink(path_.constData());
}

bool makeSymlink(const QString& target, const QString& link) {
    return ::symlink(encodeLocal8(target).constData(), encodeLocal8(link).constData()) == 0;
}

} // namespace velquin::test
