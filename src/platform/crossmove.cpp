#include "platform/fileops_parts.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velquin {

namespace {

// errno that removing `path` (lstat gave `sl`) would end with, found without removing it: a
// folder that is read-only, on a read-only mount, locked by flags or by the sticky bit.
int removalRefusal(SysCalls& calls, const QByteArray& path, const struct stat& sl) {
    const QByteArray folder = folderOf(path);
    if (calls.access(folder.constData(), W_OK | X_OK) != 0)
        return errno;
    constexpr unsigned long long kLocked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    struct statx sx;
    if (calls.statx(path.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) == 0 &&
        (sx.stx_attributes_mask & sx.stx_attributes & kLocked))
        return EPERM;
    if (calls.statx(folder.constData(), 0, STATX_BASIC_STATS, &sx) != 0)
        return errno;
    if (sx.stx_attributes_mask & sx.stx_attributes & kLocked)
        return EPERM;
    const uid_t me = ::geteuid();
    if ((sx.stx_mode & S_ISVTX) && me != 0 && me != sl.st_uid && me != sx.stx_uid)
        return EPERM;
    return 0;
}

} // namespace

FsResult moveAcrossDevices(SysCalls& calls, const QString& source, const QString& target,
                           const QByteArray& from, const QByteArray& to, const struct stat& sl, bool replace,
                           const TransferHooks& hooks) {
    // Across file systems the source is removed only after the copy is in place: that removal
    // must not fail half-way through, after an old target was replaced.
    if (const int refusal = removalRefusal(calls, from, sl))
        return failure(refusal, source);
    OpenSource opened(calls);
    if (const int openErr = openSource(calls, from, opened))
        return failure(openErr, source);
    // A read lease tells of any writer that opens the source while it is copied. Where spellings
    // of one file may have inodes of their own, a writer could come in by another one: the copy
    // is compared with the source instead, as where no lease is granted.
    if (!foldsCase(calls, opened.st.st_dev, folderOf(from), splitPath(from).name))
        opened.leased = calls.setLease(opened.fd.get(), F_RDLCK) == 0;

    Placed placed;
    const CopyRequest request{replace, &hooks, true, replace};
    if (const int copyErr = copyOpened(calls, opened, to, request, placed)) {
        if (opened.leased)
            calls.setLease(opened.fd.get(), F_UNLCK);
        return failure(copyErr, copyErr == EBUSY ? source : target);
    }

    // Only a source that is still the file that was copied may go; anything else keeps it,
    // and the target goes back to what it was, so that nothing is duplicated or lost.
    struct stat now;
    const bool unchanged = calls.stat(from.constData(), &now) == 0 && sameObject(now, opened.st) &&
                           now.st_size == opened.st.st_size && sameTime(now.st_mtim, opened.st.st_mtim) &&
                           sameTime(now.st_ctim, opened.st.st_ctim) &&
                           (!opened.leased || calls.getLease(opened.fd.get()) == F_RDLCK);
    const int err = unchanged ? (calls.unlink(from.constData()) == 0 ? 0 : errno) : EBUSY;
    if (opened.leased)
        calls.setLease(opened.fd.get(), F_UNLCK);
    if (err == 0) {
        if (!placed.backup.isEmpty())
            calls.unlink(placed.backup.constData());
        return resultOf(placed);
    }
    struct stat made;
    const bool ours = calls.lstat(to.constData(), &made) == 0 && sameObject(made, placed.made);
    if (!placed.backup.isEmpty()) {
        calls.rename(placed.backup.constData(), to.constData());
    } else if (ours) {
        calls.unlink(to.constData());
    }
    if (!placed.keptAs.isEmpty() && hooks.keeper)
        hooks.keeper->release(target, placed.keptAs);
    return failure(err, source);
}

} // namespace velquin
