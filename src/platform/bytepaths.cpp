#include "platform/bytepaths.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace velquin {

PathParts splitPath(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArrayLiteral("."), path};
    return {slash == 0 ? QByteArrayLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

QByteArray folderOf(const QByteArray& path) {
    return splitPath(path).folder;
}

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileId idOf(const struct stat& st) {
    return FileId{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

QByteArray resolved(const QByteArray& path) {
    char* real = ::realpath(path.constData(), nullptr);
    if (!real)
        return QByteArray();
    QByteArray result(real);
    std::free(real);
    return result;
}

bool noHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

int writeAll(SysCalls& calls, int fd, const char* data, long size) {
    while (size > 0) {
        const long w = calls.write(fd, data, static_cast<unsigned long>(size));
        if (w < 0)
            return errno;
        if (w == 0)
            return EIO;
        data += w;
        size -= w;
    }
    return 0;
}

int renameWithoutReplacing(SysCalls& calls, const QByteArray& from, const QByteArray& to) {
    if (calls.renameNoReplace(from.constData(), to.constData()) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS)
        return err;
    struct stat st;
    if (calls.lstat(to.constData(), &st) == 0)
        return EEXIST;
    return calls.rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace velquin
