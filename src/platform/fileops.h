#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <dirent.h>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct stat;
struct statx;

namespace velquin {

// A file's last-modification (or birth) time, as the file system stores it; compared exactly.
struct FileTime {
    qint64 seconds = 0; // since the Unix epoch, UTC
    qint32 nanoseconds = 0;
    auto operator<=>(const FileTime&) const = default;
};

// Identity of a file or folder: the same device and inode means the same object.
struct FileId {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId&) const = default;
};

// A file as it was at one moment: enough to tell later whether it is still the same, unchanged.
struct FileStamp {
    FileId id;
    qint64 size = 0;
    FileTime modified;
    bool operator==(const FileStamp&) const = default;
};

// What a file-system call did: 0 for success, else the errno value, with the path it concerned.
// Copies and moves also say what they left at the target.
struct FsResult {
    int error = 0;
    QString path;
    bool ok() const { return error == 0; }
    static FsResult failed(int error, const QString& path);

    bool wrote = false;    // a file was put at the target (false: nothing done, as for the same file)
    bool replaced = false; // an existing file at the target was replaced
    QString keptAs;        // where the replaced file's old content was kept; "" when it was not
    FileStamp made;        // the file now at the target, when `wrote`
};

// Told between the chunks of one file's copy how far it got; returning false stops the copy,
// which then fails with ECANCELED and leaves nothing of itself behind.
class CopyProgress {
public:
    virtual ~CopyProgress();
    virtual bool copied(qint64 bytesDone, qint64 bytesTotal) = 0;
};

// What keeping an old target came to: where its content is kept, or why it could not be.
struct KeptFile {
    QString path;  // where the old content is kept; "" when it is not
    int error = 0; // when it is not: the errno that stood in the way
    explicit operator bool() const { return !path.isEmpty(); }
    const QString& operator*() const { return path; }
    // For callers that need no reason.
    operator std::optional<QString>() const { return path.isEmpty() ? std::nullopt : std::optional(path); }
};

// Keeps the old content of a target that a replace is about to drop (the desktop trash).
class ReplaceKeeper {
public:
    virtual ~ReplaceKeeper();
    // Called right before the existing regular file `target` is replaced. Keeps its content
    // elsewhere (a hard link, the file itself moved there, or a copy) and says where, or why not.
    virtual KeptFile keep(const QString& target) = 0;
    // Asked when keep() could not keep `target`: true lets the replace go on and lose the old
    // content, false refuses it and the replace fails with `error`, the target as it was.
    virtual bool replaceUnkept(const QString& target, int error) {
        (void)target;
        (void)error;
        return true;
    }
    // The replace did not happen after keep(): puts back what keep() did (the file at `target`
    // as before, nothing left where it was kept).
    virtual void release(const QString& target, const QString& keptAs) = 0;
    // 0 when keep() could keep the existing file `target` now, else the errno it would meet;
    // changes nothing on the disk. By default every file can be kept.
    virtual int keepable(const QString& target) {
        (void)target;
        return 0;
    }
};

// What a copy or move may be given besides its paths.
struct TransferHooks {
    CopyProgress* progress = nullptr;
    ReplaceKeeper* keeper = nullptr;
};

// One entry of a folder listing, as the folder holds it (never "." or "..").
struct DirEntry {
    QString name;       // decoded with decodeLocal8, so it encodes back to the exact bytes
    bool isDir = false; // a folder, or a symbolic link that leads to one
    bool isSymlink = false;
    bool isHidden = false; // the name starts with "."
};

// The low-level calls that file copies and moves are made of. Tests replace single calls to
// inject faults (fail the Nth call with an errno, ENOSPC after K bytes, short writes). Every
// method returns what the system call returns and leaves errno as the call left it.
class SysCalls {
public:
    virtual ~SysCalls();
    virtual int open(const char* path, int flags, unsigned mode);
    virtual int openat(int dirfd, const char* path, int flags, unsigned mode);
    virtual int close(int fd);
    virtual long read(int fd, void* buf, unsigned long count);
    virtual long write(int fd, const void* buf, unsigned long count);
    virtual long copyFileRange(int in, int out, unsigned long count);
    virtual long sendfile(int out, int in, unsigned long count);
    virtual int fstat(int fd, struct ::stat* st);
    virtual int fchmod(int fd, unsigned mode);
    virtual int futimens(int fd, const struct timespec times[2]);
    virtual int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags);
    virtual int renameNoReplace(const char* from, const char* to); // renameat2(RENAME_NOREPLACE)
    virtual int rename(const char* from, const char* to);
    virtual int link(const char* from, const char* to);
    virtual int unlink(const char* path);
    virtual int mkdir(const char* path, unsigned mode);
    virtual int rmdir(const char* path);
    virtual int lstat(const char* path, struct ::stat* st);
    virtual int stat(const char* path, struct ::stat* st);
    virtual int statx(const char* path, int flags, unsigned mask, struct ::statx* sx); // from AT_FDCWD
    virtual long lseek(int fd, long offset, int whence);
    virtual long pread(int fd, void* buf, unsigned long count, long offset);
    virtual int access(const char* path, int mode); // faccessat(AT_EACCESS): the effective ids count
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, long length);
    // fcntl F_SETLEASE / F_GETLEASE. Breaking a lease is announced with a signal that is ignored
    // unless handled (F_SETSIG SIGURG), never with SIGIO, which would end the program.
    virtual int setLease(int fd, int type);
    virtual int getLease(int fd);
    virtual long flistxattr(int fd, char* list, unsigned long size);
    virtual long fgetxattr(int fd, const char* name, void* value, unsigned long size);
    virtual int fsetxattr(int fd, const char* name, const void* value, unsigned long size, int flags);
    // Folder listings and links, so that faults reach them as well.
    virtual DIR* fdopendir(int fd);             // the stream owns `fd` once it is made
    virtual struct ::dirent* readdir(DIR* dir); // nullptr at the end (errno untouched) or on an error
    virtual int closedir(DIR* dir);
    virtual int fstatat(int dirfd, const char* path, struct ::stat* st, int flags);
    virtual long readlink(const char* path, char* buf, unsigned long size);
    virtual int symlink(const char* text, const char* path);
};

// The file-system operations of the program. Paths are QString and are converted to bytes with
// encodeLocal8. Every copy and move follows the data-safety rules: data is written into an
// unnamed or hidden temporary file in the target folder and only then given its name, a failed
// replace keeps the old target, copies keep modification time and permission bits, and a source
// and target that are the same file are never written or removed.
class FileOps {
public:
    // Uses the real system calls unless a replacement is given (tests).
    explicit FileOps(std::shared_ptr<SysCalls> calls = nullptr);

    // True when the path names an existing folder (a link to a folder counts).
    bool isDir(const QString& path) const;
    // True when the path names an existing object that is not a folder (a link is followed).
    bool isFile(const QString& path) const;
    // True when anything at all exists at the path, a broken link included.
    bool exists(const QString& path) const;
    // Identity of the object the path leads to (links followed).
    std::optional<FileId> fileId(const QString& path) const;

    // Creates the folder and every missing parent. Success when it exists as a folder afterwards.
    // `created`, when given, receives the folders this call made, outermost first.
    FsResult makePath(const QString& path, QStringList* created = nullptr) const;

    // The state of the object the path leads to (links followed); nullopt when there is none.
    std::optional<FileStamp> stamp(const QString& path) const;
    // True when the two paths may name one object: the same device and inode, or, on a drive
    // that folds letter case, one path once links are resolved and letter case is folded.
    bool mayBeSameFile(const QString& a, const QString& b) const;
    // True when names in the existing folder compare with letter case folded (FAT, exFAT, NTFS
    // mounted to ignore case), found as the copies and moves find it: one probe per drive, which
    // looks an entry up in the other case and only where that cannot tell makes a hidden file.
    bool foldsLetterCase(const QString& folder) const;
    // Removes a file (never a folder); a link is removed, not what it leads to.
    FsResult removeFile(const QString& path) const;
    // Removes a folder only when it is empty (ENOTEMPTY otherwise).
    FsResult removeEmptyFolder(const QString& path) const;

    // Lists a folder in the order the file system gives, "." and ".." left out, hidden entries
    // included. Names that are not valid in the local encoding are kept (see names.h).
    // std::nullopt when the folder cannot be opened.
    // `id`, when given, receives the folder's own identity, taken from the open listing.
    std::optional<std::vector<DirEntry>> listDir(const QString& path, FileId* id = nullptr) const;

    // Copies a regular file. FailIfExists: fails with EEXIST when anything named target exists
    // and leaves it alone. Replace: an existing file at target is replaced in one rename, only
    // after the new content is complete; one whose owner has no write permission is not (EACCES).
    // A folder at target is never replaced (EISDIR). The source is opened, never its link; same
    // file as target (also one spelling of it against another on a drive that folds letter case):
    // nothing happens, EEXIST/0 as the mode says (FailIfExists fails, Replace succeeds without
    // writing). Replace puts the copy in place of a link at target; the file the link led to is
    // left alone. Only regular files are copied (EINVAL for a FIFO or device). Holes stay holes.
    // Mode bits, times, user extended attributes and the access ACL are kept where the target
    // takes them, as a best effort that never fails the copy and never widens access. The data
    // moves in chunks of about 20 ms; `hooks.progress` hears of each and may cancel (ECANCELED).
    // `hooks.keeper` is given an old regular target right before it is replaced; when it can
    // neither keep it nor lets it go unkept, the copy fails with its errno and the target stays.
    enum class CopyMode { FailIfExists, Replace };
    FsResult copyFile(const QString& source, const QString& target, CopyMode mode,
                      const TransferHooks& hooks = {}) const;

    // Moves a file. NoReplace: fails with EEXIST when target exists. Replace: an existing file
    // at target is replaced (not one without its owner's write permission: EACCES). Within one
    // file system it is a rename; across file systems it first makes sure the source could be
    // removed (EROFS, EACCES, EPERM otherwise, and nothing is done), copies as copyFile does,
    // checks that the source is still the file it copied (a read lease that no writer broke,
    // else the copy compared with the source), then removes the source. It is moved, or neither:
    // when the source cannot be removed after all, the old target is put back. Same file as
    // target: nothing is written or removed. Within one file system links and folders are renamed
    // as they are; across file systems only a regular file (or the file a link leads to, the link
    // then removed) moves, else EXDEV. A source that changed while it was copied stays (EBUSY),
    // and the target is as it was before. Hooks as for copyFile.
    enum class MoveMode { NoReplace, Replace };
    FsResult moveFile(const QString& source, const QString& target, MoveMode mode,
                      const TransferHooks& hooks = {}) const;

    // How writeFile puts a file in place.
    struct WriteOptions {
        bool durable = false;     // flushed to the disk before it is renamed over the old file
        unsigned parentsMode = 0; // missing parent folders are made with these bits; 0: not made
    };
    // Writes `bytes` as the whole content of `path`: into a temporary beside it, renamed over it
    // only once complete, so the path holds the old or the whole new content. A link at the path
    // is followed and the file it leads to replaced; the old file's permission bits are kept. Only
    // a regular file is replaced (EISDIR for a folder, EINVAL for anything else), never one whose
    // owner has no write permission (EACCES).
    FsResult writeFile(const QString& path, const QByteArray& bytes, const WriteOptions& options) const;
    FsResult writeFile(const QString& path, const QByteArray& bytes) const {
        return writeFile(path, bytes, {});
    }
    // The whole content of a regular file; nullopt with the errno in `error` otherwise (EISDIR for a
    // folder, EINVAL for a FIFO, device or socket, which are never opened for this).
    std::optional<QByteArray> readFile(const QString& path, int* error = nullptr) const;

    // Whether two regular files hold the same bytes: their sizes first, then their data in chunks,
    // so memory stays bounded whatever their size. nullopt, with the errno in `error`, when
    // either cannot be opened or read (EISDIR for a folder, EINVAL for a FIFO or device).
    std::optional<bool> sameContent(const QString& a, const QString& b, int* error = nullptr) const;

    // The size of the file, taken from the file opened for reading; nullopt if it cannot be opened.
    std::optional<qint64> openedFileSize(const QString& path) const;
    // Last-modification time read from the file opened for reading; nullopt if it cannot be opened.
    std::optional<FileTime> modificationTimeOpened(const QString& path) const;
    // The time of the directory entry without opening the file: birth time where the file
    // system records it, else the modification time. nullopt for a missing path or a folder.
    std::optional<FileTime> entryTime(const QString& path) const;

    SysCalls& calls() const { return *calls_; }

private:
    std::shared_ptr<SysCalls> calls_;
};

} // namespace velquin
