#include "platform/links.h"

#include "platform/names.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace velquin {

FsResult copySymlink(const QString& source, const QString& target) {
    SysCalls calls;
    return copySymlink(calls, source, target);
}

FsResult copySymlink(SysCalls& calls, const QString& source, const QString& target) {
    const QByteArray from = encodeLocal8(source);
    QByteArray text(PATH_MAX, Qt::Uninitialized);
    const long n = calls.readlink(from.constData(), text.data(), static_cast<unsigned long>(text.size()));
    if (n < 0)
        return FsResult::failed(errno, source);
    if (n >= text.size())
        return FsResult::failed(ENAMETOOLONG, source);
    text.truncate(n);
    if (calls.symlink(text.constData(), encodeLocal8(target).constData()) != 0)
        return FsResult::failed(errno, target);
    FsResult done;
    done.wrote = true;
    return done;
}

} // namespace velquin
