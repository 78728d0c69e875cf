#include "platform/fileops.h"

#include "platform/dirwalk.h"
#include "platform/names.h"

#include <QByteArrayList>
#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FsResult failure(int error, const QString& path) {
    return FsResult::failed(error, path);
}

// A descriptor opened through the seam, closed on every way out without touching errno.
class Descriptor {
public:
    Descriptor(SysCalls& calls, int fd) : calls_(calls), fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    // Closes now; the close's own error (0 for none), which some file systems use to report
    // a write that did not reach the disk.
    int reset() {
        if (fd_ < 0)
            return 0;
        const int saved = errno;
        const int r = calls_.close(fd_);
        const int err = r < 0 ? errno : 0;
        fd_ = -1;
        errno = saved;
        return err;
    }

private:
    SysCalls& calls_;
    int fd_;
};

// The folder a target lies in and its own name, as bytes. "out//a" gives "out/" and "a".
struct TargetParts {
    QByteArray folder;
    QByteArray name;
};

TargetParts splitTarget(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0)
        return {QByteArrayLiteral("."), target};
    return {slash == 0 ? QByteArrayLiteral("/") : target.left(slash), target.mid(slash + 1)};
}

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

// A hidden name next to the target that no one else is likely to pick; kept under the
// 255-byte limit of a name however long the target's own name is.
QByteArray hiddenTempName(const QByteArray& name) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(6, 'x');
    for (char& ch : suffix)
        ch = kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
    return '.' + name.left(240) + '.' + suffix;
}

// Errors by which copy_file_range and sendfile say "not between these two files": the next,
// plainer way of copying is tried. Anything else (no space, I/O error) ends the copy.
bool isUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF ||
           error == EPERM;
}

int writeAll(SysCalls& calls, int out, const char* data, long size) {
    while (size > 0) {
        const long w = calls.write(out, data, static_cast<unsigned long>(size));
        if (w < 0)
            return errno;
        if (w == 0)
            return EIO;
        data += w;
        size -= w;
    }
    return 0;
}

// Copies from the current offset of `in` to its end. The in-kernel ways run while they make
// progress; when they stop, plain reads go on until one reads nothing, so a file that grew,
// or one whose recorded size is wrong, is still copied whole.
int copyData(SysCalls& calls, int in, int out) {
    constexpr unsigned long kChunk = 1ul << 30;
    bool useRange = true;
    bool useSendfile = true;
    bool copiedAny = false;
    while (useRange || useSendfile) {
        const long n = useRange ? calls.copyFileRange(in, out, kChunk) : calls.sendfile(out, in, kChunk);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0) {
            // The kernel reached the end of a file it copied from; only a source that gave
            // nothing at all (files whose recorded size is 0, such as those of /proc) is read.
            if (copiedAny)
                return 0;
            break;
        }
        const int err = errno;
        if (!isUnsupported(err))
            return err;
        (useRange ? useRange : useSendfile) = false;
    }
    // One buffer per thread, not one per file.
    static thread_local std::vector<char> buffer(256 * 1024);
    for (;;) {
        const long n = calls.read(in, buffer.data(), buffer.size());
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (const int err = writeAll(calls, out, buffer.data(), n))
            return err;
    }
}

// What a completed copy saw: the source as it was opened, and the file made at the target.
struct CopyRecord {
    struct stat source {};
    struct stat target {};
    bool wrote = false; // false when source and target were already the same file
};

// Returned by CopyJob::run when an unnamed copy was complete but could not be named.
constexpr int kNamingRefused = -1;

// Writes the opened source into a temporary in the target's folder and names it.
struct CopyJob {
    SysCalls& calls;
    int in;
    int dir;
    const QByteArray& target;
    const TargetParts& parts;
    bool replace;
    CopyRecord& record;

    // 0, an errno, or kNamingRefused. `unnamed`: try O_TMPFILE first.
    int run(bool unnamed) {
        // The data goes into a file without a name where the file system allows it, so that
        // a failure at any point leaves nothing behind; else into a hidden file removed on
        // failure.
        Descriptor out(calls, unnamed ? calls.openat(dir, ".", O_TMPFILE | O_WRONLY, 0600) : -1);
        if (!out.valid()) {
            if (unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return errno;
            return runHidden();
        }
        if (const int err = fill(out))
            return err;
        return nameUnnamed(out);
    }

    // Content, permission bits and times; the target's identity into the record.
    int fill(Descriptor& out) {
        const struct stat& ss = record.source;
        if (const int err = copyData(calls, in, out.get()))
            return err;
        if (calls.fchmod(out.get(), ss.st_mode & 07777) != 0)
            return errno;
        const std::array<struct timespec, 2> times{ss.st_atim, ss.st_mtim};
        if (calls.futimens(out.get(), times.data()) != 0)
            return errno;
        if (calls.fstat(out.get(), &record.target) != 0)
            return errno;
        return 0;
    }

    int linkUnnamed(const Descriptor& out, const QByteArray& linkName) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(out.get());
        if (calls.linkat(AT_FDCWD, procPath.constData(), dir, linkName.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
            return errno;
        return calls.linkat(out.get(), "", dir, linkName.constData(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }

    static bool namingRefused(int err) {
        return err == EOPNOTSUPP || err == EPERM || err == EACCES || err == ENOENT;
    }

    int nameUnnamed(Descriptor& out) {
        if (!replace) {
            const int err = linkUnnamed(out, parts.name); // a link never replaces
            if (err == 0)
                record.wrote = true;
            return namingRefused(err) ? kNamingRefused : err;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray linkName = hiddenTempName(parts.name);
            if (const int err = linkUnnamed(out, linkName)) {
                if (err == EEXIST)
                    continue;
                return namingRefused(err) ? kNamingRefused : err;
            }
            const QByteArray linkPath = joined(parts.folder, linkName);
            if (calls.rename(linkPath.constData(), target.constData()) != 0) {
                const int err = errno;
                calls.unlink(linkPath.constData());
                return err;
            }
            record.wrote = true;
            return 0;
        }
        return EEXIST;
    }

    int runHidden() {
        QByteArray tempName;
        Descriptor out(calls, -1);
        for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
            tempName = hiddenTempName(parts.name);
            const int fd = calls.openat(dir, tempName.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
            if (fd < 0 && errno != EEXIST)
                return errno;
            out.adopt(fd);
        }
        if (!out.valid())
            return EEXIST;
        const QByteArray tempPath = joined(parts.folder, tempName);
        int err = fill(out);
        if (err == 0)
            err = out.reset();
        if (err == 0 && replace && calls.rename(tempPath.constData(), target.constData()) != 0)
            err = errno;
        if (err == 0 && !replace) {
            // A hard link never replaces; where the file system has no hard links, a rename
            // that refuses to replace does the same.
            if (calls.linkat(dir, tempName.constData(), dir, parts.name.constData(), 0) != 0) {
                err = errno;
                if (err == EPERM || err == EOPNOTSUPP || err == EMLINK) {
                    err = calls.renameNoReplace(tempPath.constData(), target.constData()) == 0 ? 0 : errno;
                    // Neither links nor RENAME_NOREPLACE (some FUSE and FAT mounts): a plain
                    // rename after a look, the only way left; the window between is tiny.
                    if (err == EINVAL || err == ENOSYS) {
                        struct stat st;
                        err = ::lstat(target.constData(), &st) == 0                         ? EEXIST
                              : calls.rename(tempPath.constData(), target.constData()) == 0 ? 0
                                                                                            : errno;
                    }
                    if (err == 0) {
                        record.wrote = true;
                        return 0;
                    }
                }
            }
        }
        out.reset();
        if (err == 0 && replace) {
            record.wrote = true;
            return 0;
        }
        calls.unlink(tempPath.constData());
        if (err == 0)
            record.wrote = true;
        return err;
    }
};

// The whole copy: see FileOps::copyFile. Fills `record` on success.
FsResult copyRegularFile(SysCalls& calls, const QString& sourceText, const QString& targetText,
                         FileOps::CopyMode mode, CopyRecord& record) {
    const QByteArray source = encodeLocal8(sourceText);
    const QByteArray target = encodeLocal8(targetText);
    const bool replace = mode == FileOps::CopyMode::Replace;

    Descriptor in(calls, calls.open(source.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0));
    if (!in.valid())
        return failure(errno, sourceText);
    struct stat& ss = record.source;
    if (calls.fstat(in.get(), &ss) != 0)
        return failure(errno, sourceText);
    if (S_ISDIR(ss.st_mode))
        return failure(EISDIR, sourceText);
    if (!S_ISREG(ss.st_mode))
        return failure(EINVAL, sourceText);

    struct stat tl;
    if (::lstat(target.constData(), &tl) == 0) {
        struct stat tf;
        const bool followed = ::stat(target.constData(), &tf) == 0;
        if (sameObject(ss, tl) || (followed && sameObject(ss, tf)))
            return replace ? FsResult{} : failure(EEXIST, targetText);
        if (!replace)
            return failure(EEXIST, targetText);
        if (S_ISDIR(tl.st_mode) || (followed && S_ISDIR(tf.st_mode)))
            return failure(EISDIR, targetText);
    }

    const TargetParts parts = splitTarget(target);
    if (parts.name.isEmpty())
        return failure(EISDIR, targetText);
    // O_PATH: a folder one may write into but not list still takes the copy.
    Descriptor dir(calls, calls.open(parts.folder.constData(), O_PATH | O_DIRECTORY, 0));
    if (!dir.valid())
        return failure(errno, targetText);

    CopyJob job{calls, in.get(), dir.get(), target, parts, replace, record};
    const int err = job.run(true);
    if (err != kNamingRefused)
        return failure(err, targetText);
    // The unnamed file was written but may not be given a name here (no /proc, a file system
    // that refuses the link): start again with a hidden named temporary.
    if (::lseek(in.get(), 0, SEEK_SET) != 0)
        return failure(errno, sourceText);
    return failure(job.run(false), targetText);
}

} // namespace

FsResult FsResult::failed(int error, const QString& path) {
    FsResult r;
    r.error = error;
    r.path = path;
    return r;
}

CopyProgress::~CopyProgress() = default;
ReplaceKeeper::~ReplaceKeeper() = default;

FileOps::FileOps(std::shared_ptr<SysCalls> calls)
    : calls_(calls ? std::move(calls) : std::make_shared<SysCalls>()) {
}

bool FileOps::isDir(const QString& path) const {
    struct stat st;
    return ::stat(encodeLocal8(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileOps::isFile(const QString& path) const {
    struct stat st;
    return ::stat(encodeLocal8(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileOps::exists(const QString& path) const {
    struct stat st;
    return ::lstat(encodeLocal8(path).constData(), &st) == 0;
}

std::optional<FileId> FileOps::fileId(const QString& path) const {
    struct stat st;
    if (::stat(encodeLocal8(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

namespace {
// errno of making the folder `path` and its missing parents, 0 when it is a folder afterwards.
// The common case, a folder that exists, costs one stat; only missing levels are walked up.
int makeFolders(SysCalls& calls, QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (calls.mkdir(path.constData(), 0777) != 0) {
        int err = errno;
        if (err == ENOENT) {
            const qsizetype slash = path.lastIndexOf('/');
            if (slash < 0)
                return ENOENT;
            if (const int parentErr = makeFolders(calls, slash == 0 ? QByteArray("/") : path.left(slash)))
                return parentErr;
            err = calls.mkdir(path.constData(), 0777) == 0 ? 0 : errno;
        }
        if (err != 0 && err != EEXIST)
            return err;
        if (::stat(path.constData(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
    }
    return 0;
}
} // namespace

std::optional<FileStamp> FileOps::stamp(const QString& path) const {
    struct stat st;
    if (::stat(encodeLocal8(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStamp{FileId{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)},
                     static_cast<qint64>(st.st_size),
                     FileTime{static_cast<qint64>(st.st_mtim.tv_sec), static_cast<qint32>(st.st_mtim.tv_nsec)}};
}

bool FileOps::mayBeSameFile(const QString& a, const QString& b) const {
    const std::optional<FileId> ia = fileId(a);
    const std::optional<FileId> ib = fileId(b);
    return ia && ib && *ia == *ib;
}

FsResult FileOps::removeFile(const QString& path) const {
    const QByteArray bytes = encodeLocal8(path);
    struct stat st;
    if (::lstat(bytes.constData(), &st) != 0)
        return failure(errno, path);
    if (S_ISDIR(st.st_mode))
        return failure(EISDIR, path);
    if (calls_->unlink(bytes.constData()) != 0)
        return failure(errno, path);
    return FsResult{};
}

FsResult FileOps::removeEmptyFolder(const QString& path) const {
    if (::rmdir(encodeLocal8(path).constData()) != 0)
        return failure(errno, path);
    return FsResult{};
}

FsResult FileOps::makePath(const QString& path, QStringList* created) const {
    (void)created; // filled once makeFolders reports the levels it made
    const QByteArray bytes = encodeLocal8(path);
    if (bytes.isEmpty())
        return failure(ENOENT, path);
    if (const int err = makeFolders(*calls_, bytes))
        return failure(err, path);
    return FsResult{};
}

std::optional<std::vector<DirEntry>> FileOps::listDir(const QString& path) const {
    return readFolder(encodeLocal8(path));
}

FsResult FileOps::copyFile(const QString& source, const QString& target, CopyMode mode,
                           const TransferHooks& hooks) const {
    (void)hooks;
    CopyRecord record;
    return copyRegularFile(*calls_, source, target, mode, record);
}

FsResult FileOps::moveFile(const QString& source, const QString& target, MoveMode mode,
                           const TransferHooks& hooks) const {
    (void)hooks;
    const QByteArray from = encodeLocal8(source);
    const QByteArray to = encodeLocal8(target);
    const bool replace = mode == MoveMode::Replace;

    struct stat sl;
    if (::lstat(from.constData(), &sl) != 0)
        return failure(errno, source);
    struct stat sf;
    const bool sourceFollowed = ::stat(from.constData(), &sf) == 0;

    // A rename of one hard link onto another of the same file "succeeds" and changes nothing,
    // and a link moved onto what it points to would leave a link to itself: decide first.
    struct stat tl;
    if (::lstat(to.constData(), &tl) == 0) {
        struct stat tf;
        const bool targetFollowed = ::stat(to.constData(), &tf) == 0;
        if (sameObject(sl, tl) || (sourceFollowed && targetFollowed && sameObject(sf, tf)))
            return replace ? FsResult{} : failure(EEXIST, target);
        if (!replace)
            return failure(EEXIST, target);
        if (S_ISDIR(tl.st_mode) || (targetFollowed && S_ISDIR(tf.st_mode)))
            return failure(EISDIR, target);
    }

    int err = 0;
    if (replace) {
        if (calls_->rename(from.constData(), to.constData()) == 0)
            return FsResult{};
        err = errno;
    } else {
        if (calls_->renameNoReplace(from.constData(), to.constData()) == 0)
            return FsResult{};
        err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // File systems without RENAME_NOREPLACE (FUSE, some network ones): a hard link
            // cannot replace either; the old name goes only once the new one exists.
            if (calls_->link(from.constData(), to.constData()) == 0) {
                if (calls_->unlink(from.constData()) == 0)
                    return FsResult{};
                err = errno;
                calls_->unlink(to.constData());
                return failure(err, source);
            }
            err = errno;
            if (err == EPERM || err == EOPNOTSUPP || err == EMLINK) {
                struct stat again;
                if (::lstat(to.constData(), &again) == 0)
                    return failure(EEXIST, target);
                if (calls_->rename(from.constData(), to.constData()) == 0)
                    return FsResult{};
                err = errno;
            }
        }
    }
    if (err != EXDEV)
        return failure(err, err == ENOENT ? source : target);
    if (!sourceFollowed || !S_ISREG(sf.st_mode))
        return failure(EXDEV, source);

    CopyRecord record;
    const FsResult copied = copyRegularFile(*calls_, source, target,
                                            replace ? CopyMode::Replace : CopyMode::FailIfExists, record);
    if (!copied.ok() || !record.wrote)
        return copied;
    // Only a source that is still the file that was copied may go; anything else keeps it,
    // and a target this move created is taken back so that nothing is duplicated.
    struct stat now;
    const bool unchanged = ::stat(from.constData(), &now) == 0 && sameObject(now, record.source) &&
                           now.st_size == record.source.st_size &&
                           sameTime(now.st_mtim, record.source.st_mtim);
    err = unchanged ? (calls_->unlink(from.constData()) == 0 ? 0 : errno) : EBUSY;
    if (err == 0)
        return FsResult{};
    struct stat made;
    if (!replace && ::lstat(to.constData(), &made) == 0 && sameObject(made, record.target))
        calls_->unlink(to.constData());
    return failure(err, source);
}

std::optional<qint64> FileOps::openedFileSize(const QString& path) const {
    Descriptor fd(*calls_, calls_->open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0));
    struct stat st;
    if (!fd.valid() || calls_->fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return static_cast<qint64>(st.st_size);
}

std::optional<FileTime> FileOps::modificationTimeOpened(const QString& path) const {
    Descriptor fd(*calls_, calls_->open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0));
    struct stat st;
    if (!fd.valid() || calls_->fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileTime{static_cast<qint64>(st.st_mtim.tv_sec), static_cast<qint32>(st.st_mtim.tv_nsec)};
}

std::optional<FileTime> FileOps::entryTime(const QString& path) const {
    struct statx sx;
    if (::statx(AT_FDCWD, encodeLocal8(path).constData(), AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_MTIME | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    if (!(sx.stx_mask & STATX_TYPE) || S_ISDIR(sx.stx_mode))
        return std::nullopt;
    const struct statx_timestamp& t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    return FileTime{static_cast<qint64>(t.tv_sec), static_cast<qint32>(t.tv_nsec)};
}

} // namespace velquin
