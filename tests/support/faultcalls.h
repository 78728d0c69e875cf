#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QSet>

#include <array>
#include <functional>

namespace velquin::test {

// The system calls with faults on demand: fail the Nth call of a kind with an errno, refuse to
// open chosen paths, run out of space after a number of bytes, or write at most a few bytes per
// call. Counts every call.
class FaultCalls : public SysCalls {
public:
    enum Call {
        Open,
        Openat,
        Close,
        Read,
        Write,
        CopyFileRange,
        Sendfile,
        Fstat,
        Fchmod,
        Futimens,
        Linkat,
        RenameNoReplace,
        Rename,
        Link,
        Unlink,
        Mkdir,
        Rmdir,
        Lstat,
        Stat,
        Statx,
        Lseek,
        Pread,
        Access,
        Fsync,
        Ftruncate,
        SetLease,
        GetLease,
        Flistxattr,
        Fgetxattr,
        Fsetxattr,
        Fdopendir,
        Readdir,
        Closedir,
        Fstatat,
        Readlink,
        Symlink,
        CallCount
    };

    // The `nth` call of `call` from now on (1 = the next one, 0 = every one) fails with `error`.
    void failCall(Call call, int nth, int error);
    // Data written beyond `bytes` in total (write, copyFileRange, sendfile) fails with ENOSPC.
    void spaceFor(qint64 bytes) { spaceLeft_ = bytes; }
    // Each data call moves at most `bytes` (short writes and short in-kernel copies).
    void shortWrites(unsigned long bytes) { chunk_ = bytes; }
    int count(Call call) const { return counts_[call]; }
    // Runs before every call (for example to change a file while it is being copied).
    void beforeEachCall(std::function<void(Call)> hook) { hook_ = std::move(hook); }
    // Opening `path` (spelt as given) fails with EACCES: a file that cannot be read, also in a
    // process for which permission bits do not count.
    void deny(const QString& path);
    // Refuses unnamed temporaries (O_TMPFILE) as a file system without them does, so that copies
    // go through a hidden named one; the refusal is neither counted nor a fault of its own.
    void refuseUnnamedTemporaries() { noUnnamed_ = true; }

    int open(const char* path, int flags, unsigned mode) override;
    int openat(int dirfd, const char* path, int flags, unsigned mode) override;
    int close(int fd) override;
    long read(int fd, void* buf, unsigned long count) override;
    long write(int fd, const void* buf, unsigned long count) override;
    long copyFileRange(int in, int out, unsigned long count) override;
    long sendfile(int out, int in, unsigned long count) override;
    int fstat(int fd, struct ::stat* st) override;
    int fchmod(int fd, unsigned mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) override;
    int renameNoReplace(const char* from, const char* to) override;
    int rename(const char* from, const char* to) override;
    int link(const char* from, const char* to) override;
    int unlink(const char* path) override;
    int mkdir(const char* path, unsigned mode) override;
    int rmdir(const char* path) override;
    int lstat(const char* path, struct ::stat* st) override;
    int stat(const char* path, struct ::stat* st) override;
    int statx(const char* path, int flags, unsigned mask, struct ::statx* sx) override;
    long lseek(int fd, long offset, int whence) override;
    long pread(int fd, void* buf, unsigned long count, long offset) override;
    int access(const char* path, int mode) override;
    int fsync(int fd) override;
    int ftruncate(int fd, long length) override;
    int setLease(int fd, int type) override;
    int getLease(int fd) override;
    long flistxattr(int fd, char* list, unsigned long size) override;
    long fgetxattr(int fd, const char* name, void* value, unsigned long size) override;
    int fsetxattr(int fd, const char* name, const void* value, unsigned long size, int flags) override;
    DIR* fdopendir(int fd) override;
    struct ::dirent* readdir(DIR* dir) override;
    int closedir(DIR* dir) override;
    int fstatat(int dirfd, const char* path, struct ::stat* st, int flags) override;
    long readlink(const char* path, char* buf, unsigned long size) override;
    int symlink(const char* text, const char* path) override;

private:
    bool noUnnamed_ = false;
    QSet<QByteArray> denied_;
    struct Fault {
        int remaining = -1; // calls until the failing one; 0 = every call; -1 = none
        int error = 0;
    };
    // Counts the call; true (with errno set) when it is to fail.
    bool fails(Call call);
    // How many of `count` bytes a data call may move; 0 with errno = ENOSPC when none.
    unsigned long allowed(unsigned long count);
    void spent(long moved);

    std::array<int, CallCount> counts_{};
    std::array<Fault, CallCount> faults_{};
    qint64 spaceLeft_ = -1;
    unsigned long chunk_ = 0;
    std::function<void(Call)> hook_;
};

} // namespace velquin::test
