#include "platform/fileops_parts.h"

#include "platform/names.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velquin {

int keepOld(ReplaceKeeper* keeper, const QString& target, std::optional<QString>& kept) {
    if (!keeper)
        return 0;
    const KeptFile k = keeper->keep(target);
    if (k) {
        kept = k.path;
        return 0;
    }
    const int err = k.error ? k.error : EIO;
    return keeper->replaceUnkept(target, err) ? 0 : err;
}

int PlaceJob::run(bool unnamed) {
    // The data goes into a file without a name where the file system allows it, so that
    // a failure at any point leaves nothing behind; else into a hidden file removed on
    // failure.
    Descriptor out(calls, unnamed ? calls.openat(dir, ".", O_TMPFILE | O_RDWR, createMode) : -1);
    if (!out.valid()) {
        if (unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
        return runHidden();
    }
    if (const int err = complete(out))
        return err;
    return nameUnnamed(out);
}

int PlaceJob::complete(Descriptor& out) {
    if (const int err = fill(out.get()))
        return err;
    if (verify) {
        if (const int err = verify(out.get()))
            return err;
    }
    // What was written, read from the file itself: undo later acts only on a target that is
    // still this very file.
    return calls.fstat(out.get(), &placed.made) == 0 ? 0 : errno;
}

int PlaceJob::linkUnnamed(const Descriptor& out, const QByteArray& linkName) {
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(out.get());
    if (calls.linkat(AT_FDCWD, procPath.constData(), dir, linkName.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT || calls.access("/proc/self/fd", F_OK) == 0)
        return errno;
    return calls.linkat(out.get(), "", dir, linkName.constData(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

bool PlaceJob::namingRefused(int err) {
    return err == EOPNOTSUPP || err == EPERM || err == EACCES || err == ENOENT;
}

int PlaceJob::nameUnnamed(Descriptor& out) {
    if (!replace) {
        const int err = linkUnnamed(out, parts.name); // a link never replaces
        if (err == 0)
            placed.wrote = true;
        return namingRefused(err) ? kNamingRefused : err;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray linkName = temporaryName();
        if (const int err = linkUnnamed(out, linkName)) {
            if (err == EEXIST)
                continue;
            return namingRefused(err) ? kNamingRefused : err;
        }
        const QByteArray linkPath = joined(parts.folder, linkName);
        if (const int err = replaceWith(linkPath)) {
            calls.unlink(linkPath.constData());
            return err;
        }
        return 0;
    }
    return EEXIST;
}

int PlaceJob::replaceWith(const QByteArray& tempPath) {
    struct stat old;
    const bool exists = calls.lstat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    if (exists && S_ISDIR(old.st_mode))
        return EISDIR;
    if (exists && S_ISREG(old.st_mode) && !(old.st_mode & S_IWUSR))
        return EACCES;
    std::optional<QString> kept;
    if (exists && S_ISREG(old.st_mode)) {
        if (const int err = keepOld(keeper, decodeLocal8(target), kept))
            return err;
    }
    const auto undoKeep = [&] {
        if (kept)
            keeper->release(decodeLocal8(target), *kept);
    };
    struct stat still;
    if (keepBackup && calls.lstat(target.constData(), &still) == 0) {
        if (const int err = setAside()) {
            undoKeep();
            return err;
        }
    }
    if (calls.rename(tempPath.constData(), target.constData()) != 0) {
        const int err = errno;
        putBackAside();
        undoKeep();
        return err;
    }
    placed.wrote = true;
    placed.replaced = exists;
    placed.keptAs = kept.value_or(QString());
    return 0;
}

int PlaceJob::setAside() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray aside = joined(parts.folder, temporaryName());
        if (calls.link(target.constData(), aside.constData()) == 0) {
            placed.backup = aside;
            return 0;
        }
        if (errno == EEXIST)
            continue;
        if (!noHardLinks(errno))
            return errno;
        struct stat taken;
        if (calls.lstat(aside.constData(), &taken) == 0)
            continue;
        if (calls.rename(target.constData(), aside.constData()) != 0)
            return errno;
        placed.backup = aside;
        placed.backupRenamed = true;
        return 0;
    }
    return EEXIST;
}

void PlaceJob::putBackAside() {
    if (placed.backup.isEmpty())
        return;
    if (placed.backupRenamed)
        calls.rename(placed.backup.constData(), target.constData());
    else
        calls.unlink(placed.backup.constData());
    placed.backup.clear();
}

int PlaceJob::runHidden() {
    QByteArray tempName;
    Descriptor out(calls, -1);
    for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
        tempName = temporaryName();
        const int fd = calls.openat(dir, tempName.constData(), O_CREAT | O_EXCL | O_RDWR, createMode);
        if (fd < 0 && errno != EEXIST)
            return errno;
        out.adopt(fd);
    }
    if (!out.valid())
        return EEXIST;
    const QByteArray tempPath = joined(parts.folder, tempName);
    int err = complete(out);
    if (err == 0)
        err = out.reset();
    if (err == 0 && replace) {
        err = replaceWith(tempPath);
        if (err == 0)
            return 0;
    }
    if (err == 0 && !replace) {
        // A hard link never replaces; where the file system has no hard links, a rename
        // that refuses to replace does the same.
        if (calls.linkat(dir, tempName.constData(), dir, parts.name.constData(), 0) != 0) {
            err = errno;
            if (noHardLinks(err)) {
                err = renameWithoutReplacing(calls, tempPath, target);
                if (err == 0) {
                    placed.wrote = true;
                    return 0;
                }
            }
        }
    }
    out.reset();
    calls.unlink(tempPath.constData());
    if (err == 0)
        placed.wrote = true;
    return err;
}

FsResult resultOf(const Placed& placed) {
    FsResult r;
    r.wrote = placed.wrote;
    r.replaced = placed.replaced;
    r.keptAs = placed.keptAs;
    if (placed.wrote)
        r.made = stampOf(placed.made);
    return r;
}

} // namespace velquin
