#include "platform/fileops.h"

#include "platform/bytepaths.h"
#include "platform/dirwalk.h"
#include "platform/names.h"

#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FsResult failure(int error, const QString& path) {
    return FsResult::failed(error, path);
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp{
        idOf(st), static_cast<qint64>(st.st_size),
        FileTime{static_cast<qint64>(st.st_mtim.tv_sec), static_cast<qint32>(st.st_mtim.tv_nsec)}};
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

// A hidden name for a temporary that no one else is likely to pick. It never derives from the
// target's name: short, plain ASCII in one letter case, so every file system takes it, those that
// refuse broken UTF-8 or long names and those that fold letter case alike.
QByteArray temporaryName() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = QByteArrayLiteral(".velquin-");
    for (int i = 0; i < 12; ++i)
        name += kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
    return name;
}

// Errors by which copy_file_range and sendfile say "not between these two files": the next,
// plainer way of copying is tried. Anything else (no space, I/O error) ends the copy.
bool isUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF ||
           error == EPERM;
}

// One buffer per thread for the plain ways of copying and comparing, not one per file.
std::vector<char>& buffer(int which) {
    static thread_local std::array<std::vector<char>, 2> buffers;
    std::vector<char>& b = buffers[size_t(which)];
    if (b.empty())
        b.resize(1 << 20);
    return b;
}

// Chunks sized so that each takes about 20 ms on the drive at hand: small enough for the window
// to answer between them, large enough that fast drives are not slowed by the calls.
class ChunkSizer {
public:
    static constexpr qint64 kMin = 256 * 1024;
    static constexpr qint64 kMax = 64 * 1024 * 1024;
    qint64 size() const { return size_; }
    void start() { started_ = std::chrono::steady_clock::now(); }
    void moved(qint64 bytes) {
        const auto took = std::chrono::steady_clock::now() - started_;
        const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
        if (bytes < size_)
            return; // a short chunk (end of a segment) says nothing about the speed
        if (us < 8000)
            size_ = qMin(size_ * 2, kMax);
        else if (us > 20000)
            size_ = qMax(kMin, qMax(size_ / 4, size_ * 20000 / us) & ~qint64(4095));
    }

private:
    qint64 size_ = 1024 * 1024;
    std::chrono::steady_clock::time_point started_;
};

// Copies the data of `in` to `out` in chunks, telling `progress` after each and asking `check`
// (may the copy go on?) between them. Holes of a sparse source stay holes.
struct DataCopy {
    DataCopy(SysCalls& c, int i, int o, const struct stat& s, CopyProgress* p, const std::function<int()>& k)
        : calls(c), in(i), out(o), source(s), progress(p), check(k) {}

    SysCalls& calls;
    int in;
    int out;
    const struct stat& source;
    CopyProgress* progress;
    const std::function<int()>& check;

    ChunkSizer sizer;
    bool useRange = true;
    bool useSendfile = true;
    qint64 pos = 0;    // offset of both files
    qint64 outEnd = 0; // the end of what was written to `out`

    int run() {
        // The copy reads in chunks small enough for the window to answer between them; told that
        // it reads straight through, the kernel reads ahead far enough that a file coming from
        // the disk still streams at the drive's speed. Only a hint: nothing fails without it.
        ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
        // Only a file that takes less room than its size has holes worth looking for; files
        // whose recorded size is wrong (those of /proc) are never looked at this way.
        const bool sparse = source.st_size > 0 && qint64(source.st_blocks) * 512 < qint64(source.st_size);
        if (sparse) {
            if (const int err = runSparse())
                return err;
        }
        // Plain to the end of the file: everything when it is not sparse, else what the file grew
        // by after its size was taken.
        if (const int err = stream(-1))
            return err;
        if (outEnd < pos && calls.ftruncate(out, pos) != 0)
            return errno; // a hole at the end
        return 0;
    }

    int runSparse() {
        const qint64 size = source.st_size;
        while (pos < size) {
            const long data = calls.lseek(in, pos, SEEK_DATA);
            if (data < 0) {
                if (errno == ENXIO)
                    break; // only a hole from here to the end
                return isUnsupported(errno) ? seekBoth(pos) : errno;
            }
            const long hole = calls.lseek(in, data, SEEK_HOLE);
            if (hole < 0)
                return errno;
            if (const int err = seekBoth(data))
                return err;
            if (const int err = stream(hole))
                return err;
            if (pos < hole)
                return 0; // the file shrank: its end came first
        }
        return seekBoth(qMax(pos, size));
    }

    int seekBoth(qint64 to) {
        if (calls.lseek(in, to, SEEK_SET) < 0 || calls.lseek(out, to, SEEK_SET) < 0)
            return errno;
        pos = to;
        return 0;
    }

    // Copies from `pos` up to `end` (-1: the end of the file).
    int stream(qint64 end) {
        while (end < 0 || pos < end) {
            qint64 want = sizer.size();
            if (end >= 0)
                want = qMin(want, end - pos);
            sizer.start();
            const qint64 moved = chunk(want);
            if (moved < 0)
                return int(-moved);
            if (moved == 0)
                return 0;
            pos += moved;
            outEnd = pos;
            sizer.moved(moved);
            if (check) {
                if (const int err = check())
                    return err;
            }
            if (progress && !progress->copied(pos, qMax(pos, qint64(source.st_size))))
                return ECANCELED;
        }
        return 0;
    }

    // Moves up to `want` bytes: the bytes moved, 0 at the end of the file, or -errno.
    qint64 chunk(qint64 want) {
        while (useRange || useSendfile) {
            const long n = useRange ? calls.copyFileRange(in, out, static_cast<unsigned long>(want))
                                    : calls.sendfile(out, in, static_cast<unsigned long>(want));
            if (n > 0)
                return n;
            if (n == 0) {
                // The kernel reached the end of a file it copied from; only a source that gave
                // nothing at all (files whose recorded size is 0, such as those of /proc) is read.
                if (pos > 0)
                    return 0;
                useRange = useSendfile = false;
                break;
            }
            const int err = errno;
            if (!isUnsupported(err))
                return -err;
            (useRange ? useRange : useSendfile) = false;
        }
        std::vector<char>& b = buffer(0);
        qint64 done = 0;
        while (done < want) {
            const long n = calls.read(
                in, b.data(), static_cast<unsigned long>(qMin<qint64>(qint64(b.size()), want - done)));
            if (n < 0)
                return -errno;
            if (n == 0)
                break;
            if (const int err = writeAll(calls, out, b.data(), n))
                return -err;
            done += n;
        }
        return done;
    }
};

// 0 when `out` holds exactly what `in` holds now, EBUSY when not, else the errno of a read.
int sameContent(SysCalls& calls, int in, int out, qint64 size, CopyProgress* progress) {
    std::vector<char>& a = buffer(0);
    std::vector<char>& b = buffer(1);
    qint64 pos = 0;
    for (;;) {
        const long n = calls.pread(in, a.data(), a.size(), pos);
        if (n < 0)
            return errno;
        long got = 0;
        while (got < n) {
            const long m = calls.pread(out, b.data() + got, static_cast<unsigned long>(n - got), pos + got);
            if (m < 0)
                return errno;
            if (m == 0)
                return EBUSY; // the source is longer than the copy
            got += m;
        }
        if (n == 0) {
            char probe;
            const long m = calls.pread(out, &probe, 1, pos);
            return m < 0 ? errno : m == 0 ? 0 : EBUSY;
        }
        if (std::memcmp(a.data(), b.data(), size_t(n)) != 0)
            return EBUSY;
        pos += n;
        if (progress && !progress->copied(qMax(pos, size), qMax(pos, size)))
            return ECANCELED;
    }
}

// ---- ACLs and extended attributes ----

constexpr char kAclAccess[] = "system.posix_acl_access";

// The permission bits an access ACL grants where the ACL itself cannot be kept: the owning group
// gets what its entry and the mask both allow, so no one gains access the ACL did not give.
unsigned modeFromAcl(const QByteArray& acl, unsigned mode) {
    // Little-endian: a 4-byte version (2), then entries of tag (2 bytes), permissions (2), id (4).
    const auto u16 = [&acl](qsizetype at) {
        return unsigned(static_cast<unsigned char>(acl.at(at))) |
               unsigned(static_cast<unsigned char>(acl.at(at + 1))) << 8;
    };
    if (acl.size() < 4 || u16(0) != 2 || u16(2) != 0 || (acl.size() - 4) % 8 != 0)
        return mode & ~0077u; // an ACL we cannot read: keep it to the owner
    enum : unsigned { UserObj = 0x01, GroupObj = 0x04, Mask = 0x10, Other = 0x20 };
    unsigned user = (mode >> 6) & 7, group = (mode >> 3) & 7, other = mode & 7, mask = 7;
    for (qsizetype at = 4; at < acl.size(); at += 8) {
        const unsigned perm = u16(at + 2) & 7;
        switch (u16(at)) {
        case UserObj:
            user = perm;
            break;
        case GroupObj:
            group = perm;
            break;
        case Mask:
            mask = perm;
            break;
        case Other:
            other = perm;
            break;
        default:
            break;
        }
    }
    return (mode & 07000) | user << 6 | (group & mask) << 3 | other;
}

std::optional<QByteArray> readXattr(SysCalls& calls, int fd, const char* name) {
    for (long size = 256; size <= 1 << 20; size *= 4) {
        QByteArray value(size, Qt::Uninitialized);
        const long n = calls.fgetxattr(fd, name, value.data(), static_cast<unsigned long>(size));
        if (n >= 0)
            return value.left(n);
        if (errno != ERANGE)
            return std::nullopt;
    }
    return std::nullopt;
}

// The user's extended attributes, as far as the target takes them.
void copyUserXattrs(SysCalls& calls, int in, int out) {
    QByteArray names(4096, Qt::Uninitialized);
    long n = calls.flistxattr(in, names.data(), static_cast<unsigned long>(names.size()));
    if (n < 0 && errno == ERANGE) {
        names.resize(1 << 16);
        n = calls.flistxattr(in, names.data(), static_cast<unsigned long>(names.size()));
    }
    if (n <= 0)
        return;
    for (const QByteArray& name : names.left(n).split('\0')) {
        if (!name.startsWith("user."))
            continue;
        if (const std::optional<QByteArray> value = readXattr(calls, in, name.constData()))
            calls.fsetxattr(out, name.constData(), value->constData(),
                            static_cast<unsigned long>(value->size()), 0);
    }
}

// Sets bits that the file system may refuse in part: set-id and sticky bits are dropped before the
// plain ones are given up. Best effort, as the copy's data counts more than its bits.
void setMode(SysCalls& calls, int out, unsigned mode) {
    if (calls.fchmod(out, mode) != 0 && errno == EPERM && (mode & 07000))
        calls.fchmod(out, mode & 0777);
}

// Mode bits, ACL, user attributes and times of `source` onto the new file, never granting more
// than the source did; what the target refuses is left as the temporary had it (private).
void copyMetadata(SysCalls& calls, int in, int out, const struct stat& source) {
    unsigned mode = source.st_mode & 07777;
    struct stat made;
    if (calls.fstat(out, &made) == 0) {
        if (made.st_uid != source.st_uid)
            mode &= ~unsigned(S_ISUID | S_ISGID);
        if (made.st_gid != source.st_gid)
            mode &= ~unsigned(S_ISGID);
    } else {
        mode &= ~unsigned(S_ISUID | S_ISGID);
    }
    const std::optional<QByteArray> acl = readXattr(calls, in, kAclAccess);
    setMode(calls, out, acl ? modeFromAcl(*acl, mode) : mode);
    // The ACL sets the group bits to its mask again where the file system keeps it.
    if (acl)
        calls.fsetxattr(out, kAclAccess, acl->constData(), static_cast<unsigned long>(acl->size()), 0);
    copyUserXattrs(calls, in, out);
    const std::array<struct timespec, 2> times{source.st_atim, source.st_mtim};
    calls.futimens(out, times.data());
}

// ---- letter case ----

QByteArray caseSwapped(QByteArray name) {
    for (char& c : name)
        c = c >= 'a' && c <= 'z' ? char(c - 32) : c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    return name;
}

// Whether `name` in `folder` is found under its case-swapped spelling as well, which is then no
// entry of its own; nullopt when the name has no letters to swap.
std::optional<bool> foundSwapped(SysCalls& calls, const QByteArray& folder, const QByteArray& name) {
    const QByteArray swapped = caseSwapped(name);
    if (swapped == name)
        return std::nullopt;
    struct stat st;
    if (calls.lstat(joined(folder, swapped).constData(), &st) != 0)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    const auto entries = readFolder(folder);
    if (!entries)
        return std::nullopt;
    for (const DirEntry& e : *entries) {
        if (encodeLocal8(e.name) == swapped)
            return false; // a second file whose name differs in case only
    }
    return true;
}

// Whether names on the device compare with letter case folded, found by trying it: `name` (an
// entry of `folder`) looked up with its letters' case swapped, else a new file with a lower-case
// name looked up in upper case, else any entry of the folder. One answer per device.
struct FoldingAnswers {
    std::mutex mutex;
    std::map<dev_t, bool> known;
};

FoldingAnswers& foldingAnswers() {
    static FoldingAnswers answers;
    return answers;
}

// The answer found for the device before, if any.
std::optional<bool> knownFolding(dev_t device) {
    FoldingAnswers& a = foldingAnswers();
    const std::lock_guard<std::mutex> lock(a.mutex);
    if (const auto it = a.known.find(device); it != a.known.end())
        return it->second;
    return std::nullopt;
}

bool foldsCase(SysCalls& calls, dev_t device, const QByteArray& folder, const QByteArray& name) {
    if (const std::optional<bool> known = knownFolding(device))
        return *known;
    std::optional<bool> folds = foundSwapped(calls, folder, name);
    if (!folds) {
        const QByteArray probe = temporaryName();
        const QByteArray path = joined(folder, probe);
        const int fd = calls.open(path.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0) {
            calls.close(fd);
            struct stat st;
            folds = calls.lstat(joined(folder, probe.toUpper()).constData(), &st) == 0;
            calls.unlink(path.constData());
        }
    }
    if (!folds) {
        if (const auto entries = readFolder(folder)) {
            for (const DirEntry& e : *entries) {
                if ((folds = foundSwapped(calls, folder, encodeLocal8(e.name))))
                    break;
            }
        }
    }
    if (!folds)
        return true; // cannot tell: one file, maybe
    FoldingAnswers& a = foldingAnswers();
    const std::lock_guard<std::mutex> lock(a.mutex);
    a.known[device] = *folds;
    return *folds;
}

// True when `a` and `b` (with what stat gave for them) may be one file: the same device and
// inode, or one path once links are resolved and letter case folded, on a drive that folds it
// (whose drivers may give the two spellings different inode numbers).
bool mayBeOne(SysCalls& calls, const QByteArray& a, const struct stat& sa, const QByteArray& b,
              const struct stat& sb) {
    if (sameObject(sa, sb))
        return true;
    // Two inodes on a drive known to keep letter case are two files: no need to resolve paths.
    if (sa.st_dev != sb.st_dev || knownFolding(sb.st_dev) == false)
        return false;
    const QByteArray ra = resolved(a);
    const QByteArray rb = resolved(b);
    if (ra.isEmpty() || rb.isEmpty())
        return false;
    if (ra == rb)
        return true;
    if (decodeLocal8(ra).toCaseFolded() != decodeLocal8(rb).toCaseFolded())
        return false;
    const PathParts parts = splitPath(rb);
    return foldsCase(calls, sb.st_dev, parts.folder, parts.name);
}

// ---- writing a file into place ----

// What putting a file in place did.
struct Placed {
    struct stat made {};
    bool wrote = false;
    bool replaced = false;
    QString keptAs;
    QByteArray backup;          // the old target's second name, while a put-back may be needed
    bool backupRenamed = false; // the old target itself was renamed there (no hard links)
};

// Returned by PlaceJob::run when an unnamed file was complete but could not be named.
constexpr int kNamingRefused = -1;

// Hands the old regular file at `target` to the keeper: 0 when the replace may go on (kept, or
// the keeper lets it go unkept), else the errno for which the keeper refused it.
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

// Writes a new file into a temporary in the target's folder and puts it in place: through a
// link that never replaces, or a rename over the old target once the new content is complete.
struct PlaceJob {
    SysCalls& calls;
    int dir;
    const QByteArray& target;
    const PathParts& parts;
    bool replace;
    unsigned createMode;
    // Writes the content into the descriptor; then checks it before it is put in place.
    std::function<int(int)> fill;
    std::function<int(int)> verify;
    ReplaceKeeper* keeper = nullptr;
    bool keepBackup = false; // the old target is kept aside until the caller says it may go
    Placed& placed;

    // 0, an errno, or kNamingRefused. `unnamed`: try O_TMPFILE first.
    int run(bool unnamed) {
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

    int complete(Descriptor& out) {
        if (const int err = fill(out.get()))
            return err;
        if (verify) {
            if (const int err = verify(out.get()))
                return err;
        }
        return calls.fstat(out.get(), &placed.made) == 0 ? 0 : errno;
    }

    int linkUnnamed(const Descriptor& out, const QByteArray& linkName) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(out.get());
        if (calls.linkat(AT_FDCWD, procPath.constData(), dir, linkName.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT || calls.access("/proc/self/fd", F_OK) == 0)
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

    // Renames the complete temporary over the target. An old regular file there is checked for
    // write protection and handed to the keeper right before it goes, and kept aside under a
    // second name when the caller may still need it back.
    int replaceWith(const QByteArray& tempPath) {
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

    // A second name for the old target: a hard link, or where there are none the file itself.
    int setAside() {
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

    void putBackAside() {
        if (placed.backup.isEmpty())
            return;
        if (placed.backupRenamed)
            calls.rename(placed.backup.constData(), target.constData());
        else
            calls.unlink(placed.backup.constData());
        placed.backup.clear();
    }

    int runHidden() {
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
};

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

// A source opened for copying, with what fstat said of it when it was opened.
struct OpenSource {
    explicit OpenSource(SysCalls& calls) : fd(calls, -1) {}
    Descriptor fd;
    struct stat st {};
    bool leased = false;
};

// Opens a regular file for reading without blocking on anything that is not one.
int openSource(SysCalls& calls, const QByteArray& source, OpenSource& opened) {
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

// How a copy is made: see FileOps::copyFile; moves across file systems add the checks.
struct CopyRequest {
    bool replace = false;
    const TransferHooks* hooks = nullptr;
    bool verifySource = false; // a move: the source must be unchanged by the time it is named
    bool keepBackup = false;
};

// Copies the opened source into a new file at `target`. Fills `placed`.
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
    job.fill = [&](int out) {
        if (calls.lseek(in, 0, SEEK_SET) < 0)
            return errno;
        DataCopy copy(calls, in, out, ss, progress, check);
        if (const int err = copy.run())
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

FsResult resultOf(const Placed& placed) {
    FsResult r;
    r.wrote = placed.wrote;
    r.replaced = placed.replaced;
    r.keptAs = placed.keptAs;
    if (placed.wrote)
        r.made = stampOf(placed.made);
    return r;
}

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

int makeFolders(SysCalls& calls, QByteArray path, unsigned mode, QStringList* created);

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
    if (const auto entries = readFolder(path)) {
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
    return readFolder(encodeLocal8(path), id);
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

    const PathLook t = lookAt(calls, target);
    if (!t.exists && t.error != ENOENT)
        return failure(t.error, targetText);
    if (t.exists) {
        if (t.followed && mayBeOne(calls, source, opened.st, target, t.f))
            return replace ? FsResult{} : failure(EEXIST, targetText);
        if (const int err = targetRefusal(t, replace))
            return failure(err, targetText);
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
    err = unchanged ? (calls.unlink(from.constData()) == 0 ? 0 : errno) : EBUSY;
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
