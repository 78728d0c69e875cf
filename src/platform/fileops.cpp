#include "platform/fileops.h"

#include "platform/dirwalk.h"
#include "platform/fileops_parts.h"
#include "platform/names.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velquin {

namespace {

// Below this size a copy costs less than the calls that could spare it.
constexpr off_t kSmallFile = 1024 * 1024;

// What is at a path: what lstat says, and what a link there leads to (looked up only for a link).
struct PathLook {
    bool exists = false;
    int error = 0; // of the lstat, when nothing is there
    struct stat l {};
    bool followed = false;
    struct stat f {};
};

PathLook lookAt(SysCalls& calls, const QByteArray& path) {
    PathLook look;
    look.exists = calls.lstat(path.constData(), &look.l) == 0;
    if (!look.exists) {
        look.error = errno;
    } else if (S_ISLNK(look.l.st_mode)) {
        look.followed = calls.stat(path.constData(), &look.f) == 0;
    } else {
        look.followed = true;
        look.f = look.l;
    }
    return look;
}

// errno of an existing target that may not be written or replaced as asked, 0 when it may be
// replaced.
int targetRefusal(const PathLook& target, bool replace) {
    if (!replace)
        return EEXIST;
    if (S_ISDIR(target.l.st_mode) || (target.followed && S_ISDIR(target.f.st_mode)))
        return EISDIR;
    if (S_ISREG(target.l.st_mode) && !(target.l.st_mode & S_IWUSR))
        return EACCES;
    return 0;
}

} // namespace

int openSource(SysCalls& calls, const QByteArray& source, OpenSource& opened) {
    // Looked at before it is opened: opening a device or a FIFO does something of its own (a tape
    // rewinds, a line hangs up), so only a regular file is opened. The fstat after the open is of
    // the file actually opened, whose size, mode and times the copy takes.
    struct stat st;
    if (calls.stat(source.constData(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    opened.fd.adopt(calls.open(source.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0));
    if (!opened.fd.valid())
        return errno;
    if (calls.fstat(opened.fd.get(), &opened.st) != 0)
        return errno;
    if (S_ISDIR(opened.st.st_mode))
        return EISDIR;
    if (!S_ISREG(opened.st.st_mode))
        return EINVAL;
    return 0;
}

int copyOpened(SysCalls& calls, OpenSource& source, const QByteArray& target, const CopyRequest& request,
               Placed& placed) {
    const PathParts parts = splitPath(target);
    if (parts.name.isEmpty())
        return EISDIR;
    // O_PATH: a folder one may write into but not list still takes the copy.
    Descriptor dir(calls, calls.open(parts.folder.constData(), O_PATH | O_DIRECTORY, 0));
    if (!dir.valid())
        return errno;

    CopyProgress* progress = request.hooks ? request.hooks->progress : nullptr;
    const int in = source.fd.get();
    const struct stat& ss = source.st;
    // A lease that is broken means someone opened the source for writing since.
    std::function<int()> check;
    if (source.leased)
        check = [&calls, in] { return calls.getLease(in) == F_RDLCK ? 0 : EBUSY; };

    PlaceJob job{calls,
                 dir.get(),
                 target,
                 parts,
                 request.replace,
                 0600,
                 nullptr,
                 nullptr,
                 request.hooks ? request.hooks->keeper : nullptr,
                 request.keepBackup,
                 placed};
    // The source was opened for this copy and is read from its start; only a second attempt
    // (the named temporary after the unnamed one) winds it back.
    bool rewind = false;
    job.fill = [&](int out) {
        if (std::exchange(rewind, true) && calls.lseek(in, 0, SEEK_SET) < 0)
            return errno;
        if (const int err = copyData(calls, in, out, ss, progress, check))
            return err;
        copyMetadata(calls, in, out, ss);
        return 0;
    };
    if (request.verifySource) {
        job.verify = [&](int out) {
            if (source.leased)
                return check();
            // Without a lease a writer may have come and gone: what was copied must be what the
            // source holds now, byte for byte, and the source's stamps must not have moved.
            if (const int err = sameContent(calls, in, out, ss.st_size, progress))
                return err;
            struct stat now;
            if (calls.fstat(in, &now) != 0)
                return errno;
            const bool same = now.st_size == ss.st_size && sameTime(now.st_mtim, ss.st_mtim) &&
                              sameTime(now.st_ctim, ss.st_ctim);
            return same ? 0 : EBUSY;
        };
    }
    const int err = job.run(true);
    if (err != kNamingRefused)
        return err;
    // The unnamed file was written but may not be given a name here (no /proc, a file system
    // that refuses the link): start again with a hidden named temporary.
    return job.run(false);
}

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
    return calls_->stat(encodeLocal8(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileOps::isFile(const QString& path) const {
    struct stat st;
    return calls_->stat(encodeLocal8(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileOps::exists(const QString& path) const {
    struct stat st;
    return calls_->lstat(encodeLocal8(path).constData(), &st) == 0;
}

std::optional<FileId> FileOps::fileId(const QString& path) const {
    struct stat st;
    if (calls_->stat(encodeLocal8(path).constData(), &st) != 0)
        return std::nullopt;
    return idOf(st);
}
namespace {
// errno of making the folder `path` and its missing parents, 0 when it is a folder afterwards.
// The common case, a folder that exists, costs one stat; only missing levels are walked up.
// The folders made are appended to `created`, outermost first.
int makeFolders(SysCalls& calls, QByteArray path, unsigned mode, QStringList* created) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    struct stat st;
    if (calls.stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    int err = calls.mkdir(path.constData(), mode) == 0 ? 0 : errno;
    if (err == ENOENT) {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0)
            return ENOENT;
        if (const int parentErr =
                makeFolders(calls, slash == 0 ? QByteArray("/") : path.left(slash), mode, created))
            return parentErr;
        err = calls.mkdir(path.constData(), mode) == 0 ? 0 : errno;
    }
    if (err == 0) {
        if (created)
            created->append(decodeLocal8(path));
        return 0;
    }
    if (err != EEXIST)
        return err;
    if (calls.stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}
} // namespace

std::optional<FileStamp> FileOps::stamp(const QString& path) const {
    struct stat st;
    if (calls_->stat(encodeLocal8(path).constData(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

bool FileOps::mayBeSameFile(const QString& a, const QString& b) const {
    const QByteArray pa = encodeLocal8(a);
    const QByteArray pb = encodeLocal8(b);
    struct stat sa, sb;
    if (calls_->stat(pa.constData(), &sa) != 0 || calls_->stat(pb.constData(), &sb) != 0)
        return false;
    return mayBeOne(*calls_, pa, sa, pb, sb);
}

bool FileOps::foldsLetterCase(const QString& folder) const {
    const QByteArray path = encodeLocal8(folder);
    struct stat st;
    if (calls_->stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (const std::optional<bool> known = knownFolding(st.st_dev))
        return *known;
    // An entry with letters answers without writing anything.
    QByteArray name;
    if (const auto entries = readFolder(*calls_, path)) {
        for (const DirEntry& e : *entries) {
            const QByteArray bytes = encodeLocal8(e.name);
            if (caseSwapped(bytes) != bytes) {
                name = bytes;
                break;
            }
        }
    }
    return foldsCase(*calls_, st.st_dev, path, name);
}

FsResult FileOps::removeFile(const QString& path) const {
    const QByteArray bytes = encodeLocal8(path);
    struct stat st;
    if (calls_->lstat(bytes.constData(), &st) != 0)
        return failure(errno, path);
    if (S_ISDIR(st.st_mode))
        return failure(EISDIR, path);
    if (calls_->unlink(bytes.constData()) != 0)
        return failure(errno, path);
    return FsResult{};
}

FsResult FileOps::removeEmptyFolder(const QString& path) const {
    if (calls_->rmdir(encodeLocal8(path).constData()) != 0)
        return failure(errno, path);
    return FsResult{};
}

FsResult FileOps::makePath(const QString& path, QStringList* created) const {
    const QByteArray bytes = encodeLocal8(path);
    if (bytes.isEmpty())
        return failure(ENOENT, path);
    if (const int err = makeFolders(*calls_, bytes, 0777, created))
        return failure(err, path);
    return FsResult{};
}

std::optional<std::vector<DirEntry>> FileOps::listDir(const QString& path, FileId* id) const {
    return readFolder(*calls_, encodeLocal8(path), id);
}

FsResult FileOps::copyFile(const QString& sourceText, const QString& targetText, CopyMode mode,
                           const TransferHooks& hooks) const {
    SysCalls& calls = *calls_;
    const QByteArray source = encodeLocal8(sourceText);
    const QByteArray target = encodeLocal8(targetText);
    const bool replace = mode == CopyMode::Replace;

    OpenSource opened(calls);
    if (const int err = openSource(calls, source, opened))
        return failure(err, sourceText);

    // Without replacing, anything at the target (the source itself under another name included)
    // fails the naming link with EEXIST: looking first only spares copying the data in vain,
    // which for a small file is cheaper than a look before every copy.
    if (replace || opened.st.st_size >= kSmallFile) {
        const PathLook t = lookAt(calls, target);
        if (!t.exists && t.error != ENOENT)
            return failure(t.error, targetText);
        if (t.exists) {
            if (t.followed && mayBeOne(calls, source, opened.st, target, t.f))
                return replace ? FsResult{} : failure(EEXIST, targetText);
            if (const int err = targetRefusal(t, replace))
                return failure(err, targetText);
        }
    }

    Placed placed;
    const CopyRequest request{replace, &hooks, false, false};
    if (const int err = copyOpened(calls, opened, target, request, placed))
        return failure(err, targetText);
    return resultOf(placed);
}

FsResult FileOps::moveFile(const QString& source, const QString& target, MoveMode mode,
                           const TransferHooks& hooks) const {
    SysCalls& calls = *calls_;
    const QByteArray from = encodeLocal8(source);
    const QByteArray to = encodeLocal8(target);
    const bool replace = mode == MoveMode::Replace;

    const PathLook s = lookAt(calls, from);
    if (!s.exists)
        return failure(s.error, source);
    const struct stat& sl = s.l;
    const struct stat& sf = s.f;
    const bool sourceFollowed = s.followed;

    // A rename of one hard link onto another of the same file "succeeds" and changes nothing,
    // a link moved onto what it points to would leave a link to itself, and on a drive that
    // folds letter case a rename of one spelling onto another can lose the file: decide first.
    const PathLook t = lookAt(calls, to);
    if (!t.exists && t.error != ENOENT)
        return failure(t.error, target);
    const bool targetExists = t.exists;
    const struct stat& tl = t.l;
    if (targetExists) {
        if (sameObject(sl, tl) || (sourceFollowed && t.followed && mayBeOne(calls, from, sf, to, t.f)) ||
            (!t.followed && mayBeOne(calls, from, sl, to, tl)))
            return replace ? FsResult{} : failure(EEXIST, target);
        if (const int err = targetRefusal(t, replace))
            return failure(err, target);
    }

    FsResult moved;
    moved.wrote = true;
    moved.made = stampOf(sl);
    int err = 0;
    if (replace) {
        std::optional<QString> kept;
        if (targetExists && S_ISREG(tl.st_mode) && sl.st_dev == tl.st_dev) {
            if (const int keepErr = keepOld(hooks.keeper, target, kept))
                return failure(keepErr, target);
        }
        if (calls.rename(from.constData(), to.constData()) == 0) {
            moved.replaced = targetExists;
            moved.keptAs = kept.value_or(QString());
            return moved;
        }
        err = errno;
        if (kept)
            hooks.keeper->release(target, *kept);
    } else {
        if (calls.renameNoReplace(from.constData(), to.constData()) == 0)
            return moved;
        err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // File systems without RENAME_NOREPLACE (FUSE, some network ones): a hard link
            // cannot replace either; the old name goes only once the new one exists.
            if (calls.link(from.constData(), to.constData()) == 0) {
                if (calls.unlink(from.constData()) == 0)
                    return moved;
                err = errno;
                calls.unlink(to.constData());
                return failure(err, source);
            }
            err = errno;
            if (noHardLinks(err)) {
                struct stat again;
                if (calls.lstat(to.constData(), &again) == 0)
                    return failure(EEXIST, target);
                if (calls.rename(from.constData(), to.constData()) == 0)
                    return moved;
                err = errno;
            }
        }
    }
    if (err != EXDEV)
        return failure(err, err == ENOENT ? source : target);
    if (!sourceFollowed || !S_ISREG(sf.st_mode))
        return failure(EXDEV, source);

    return moveAcrossDevices(calls, source, target, from, to, sl, replace, hooks);
}

FsResult FileOps::writeFile(const QString& path, const QByteArray& bytes, const WriteOptions& options) const {
    SysCalls& calls = *calls_;
    QByteArray target = encodeLocal8(path);
    if (target.isEmpty())
        return failure(ENOENT, path);
    struct stat st;
    if (calls.lstat(target.constData(), &st) == 0) {
        // Replacing the link itself would cut it from the file it leads to.
        const QByteArray real = S_ISLNK(st.st_mode) ? resolved(target) : QByteArray();
        if (!real.isEmpty())
            target = real;
    } else if (errno != ENOENT && errno != ENOTDIR) {
        return failure(errno, path);
    }
    const PathParts parts = splitPath(target);
    if (parts.name.isEmpty())
        return failure(EISDIR, path);
    if (options.parentsMode != 0) {
        if (const int err = makeFolders(calls, parts.folder, options.parentsMode, nullptr))
            return failure(err, path);
    }
    unsigned keepMode = 0;
    if (calls.stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return failure(EISDIR, path);
        if (!S_ISREG(st.st_mode))
            return failure(EINVAL, path);
        if (!(st.st_mode & S_IWUSR))
            return failure(EACCES, path);
        keepMode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return failure(errno, path);
    }

    Descriptor dir(calls, calls.open(parts.folder.constData(), O_PATH | O_DIRECTORY, 0));
    if (!dir.valid())
        return failure(errno, path);
    Placed placed;
    PlaceJob job{calls,   dir.get(), target,  parts, true,  keepMode ? 0600u : 0666u,
                 nullptr, nullptr,   nullptr, false, placed};
    job.fill = [&](int out) {
        if (const int err = writeAll(calls, out, bytes.constData(), long(bytes.size())))
            return err;
        if (keepMode)
            setMode(calls, out, keepMode);
        if (options.durable && calls.fsync(out) != 0)
            return errno;
        return 0;
    };
    int err = job.run(true);
    if (err == kNamingRefused)
        err = job.run(false);
    if (err)
        return failure(err, path);
    return resultOf(placed);
}

std::optional<QByteArray> FileOps::readFile(const QString& path, int* error) const {
    const auto fail = [error](int e) -> std::optional<QByteArray> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    SysCalls& calls = *calls_;
    OpenSource opened(calls);
    if (const int err = openSource(calls, encodeLocal8(path), opened))
        return fail(err);
    // Read straight into the result, sized from the file and grown should the file have grown.
    QByteArray data(qsizetype(qMax<off_t>(opened.st.st_size, 0)) + 4096, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == data.size())
            data.resize(data.size() * 2);
        const long n =
            calls.read(opened.fd.get(), data.data() + used, static_cast<unsigned long>(data.size() - used));
        if (n < 0)
            return fail(errno);
        if (n == 0) {
            data.truncate(used);
            return data;
        }
        used += n;
    }
}

std::optional<bool> FileOps::sameContent(const QString& a, const QString& b, int* error) const {
    SysCalls& calls = *calls_;
    OpenSource first(calls);
    OpenSource second(calls);
    int err = openSource(calls, encodeLocal8(a), first);
    if (!err)
        err = openSource(calls, encodeLocal8(b), second);
    if (!err && first.st.st_size != second.st.st_size)
        return false;
    if (!err)
        err = velquin::sameContent(calls, first.fd.get(), second.fd.get(), first.st.st_size, nullptr);
    if (err == 0 || err == EBUSY)
        return err == 0;
    if (error)
        *error = err;
    return std::nullopt;
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
    if (calls_->statx(encodeLocal8(path).constData(), AT_STATX_SYNC_AS_STAT,
                      STATX_TYPE | STATX_MTIME | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    if (!(sx.stx_mask & STATX_TYPE) || S_ISDIR(sx.stx_mode))
        return std::nullopt;
    const struct statx_timestamp& t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    return FileTime{static_cast<qint64>(t.tv_sec), static_cast<qint32>(t.tv_nsec)};
}

} // namespace velquin
