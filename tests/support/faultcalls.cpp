#include "support/faultcalls.h"

#include "platform/names.h"

#include <cerrno>
#include <fcntl.h>

namespace velquin::test {

void FaultCalls::failCall(Call call, int nth, int error) {
    faults_[call] = Fault{nth, error};
}

bool FaultCalls::fails(Call call) {
    if (hook_)
        hook_(call);
    ++counts_[call];
    Fault& f = faults_[call];
    if (f.remaining < 0)
        return false;
    if (f.remaining > 0) {
        if (--f.remaining > 0)
            return false;
        f.remaining = -1; // a one-time fault is spent
    }
    errno = f.error;
    return true;
}

unsigned long FaultCalls::allowed(unsigned long count) {
    if (chunk_ > 0 && count > chunk_)
        count = chunk_;
    if (spaceLeft_ >= 0 && static_cast<qint64>(count) > spaceLeft_)
        count = static_cast<unsigned long>(spaceLeft_);
    return count;
}

void FaultCalls::spent(long moved) {
    if (spaceLeft_ >= 0 && moved > 0)
        spaceLeft_ -= moved;
}

void FaultCalls::deny(const QString& path) {
    denied_.insert(encodeLocal8(path));
}

int FaultCalls::open(const char* path, int flags, unsigned mode) {
    if (fails(Open))
        return -1;
    if (denied_.contains(QByteArray(path))) {
        errno = EACCES;
        return -1;
    }
    return SysCalls::open(path, flags, mode);
}

int FaultCalls::openat(int dirfd, const char* path, int flags, unsigned mode) {
    if (noUnnamed_ && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return fails(Openat) ? -1 : SysCalls::openat(dirfd, path, flags, mode);
}

int FaultCalls::close(int fd) {
    // The descriptor is released even when the close reports an error, as the kernel does.
    const bool fail = fails(Close);
    const int saved = errno;
    const int r = SysCalls::close(fd);
    if (fail) {
        errno = saved;
        return -1;
    }
    return r;
}

long FaultCalls::read(int fd, void* buf, unsigned long count) {
    return fails(Read) ? -1 : SysCalls::read(fd, buf, count);
}

long FaultCalls::write(int fd, const void* buf, unsigned long count) {
    if (fails(Write))
        return -1;
    const unsigned long n = allowed(count);
    if (n == 0 && count > 0) {
        errno = ENOSPC;
        return -1;
    }
    const long r = SysCalls::write(fd, buf, n);
    spent(r);
    return r;
}

long FaultCalls::copyFileRange(int in, int out, unsigned long count) {
    if (fails(CopyFileRange))
        return -1;
    const unsigned long n = allowed(count);
    if (n == 0 && count > 0) {
        errno = ENOSPC;
        return -1;
    }
    const long r = SysCalls::copyFileRange(in, out, n);
    spent(r);
    return r;
}

long FaultCalls::sendfile(int out, int in, unsigned long count) {
    if (fails(Sendfile))
        return -1;
    const unsigned long n = allowed(count);
    if (n == 0 && count > 0) {
        errno = ENOSPC;
        return -1;
    }
    const long r = SysCalls::sendfile(out, in, n);
    spent(r);
    return r;
}

int FaultCalls::fstat(int fd, struct ::stat* st) {
    return fails(Fstat) ? -1 : SysCalls::fstat(fd, st);
}

int FaultCalls::fchmod(int fd, unsigned mode) {
    return fails(Fchmod) ? -1 : SysCalls::fchmod(fd, mode);
}

int FaultCalls::futimens(int fd, const struct timespec times[2]) {
    return fails(Futimens) ? -1 : SysCalls::futimens(fd, times);
}

int FaultCalls::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    return fails(Linkat) ? -1 : SysCalls::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}

int FaultCalls::renameNoReplace(const char* from, const char* to) {
    return fails(RenameNoReplace) ? -1 : SysCalls::renameNoReplace(from, to);
}

int FaultCalls::rename(const char* from, const char* to) {
    return fails(Rename) ? -1 : SysCalls::rename(from, to);
}

int FaultCalls::link(const char* from, const char* to) {
    return fails(Link) ? -1 : SysCalls::link(from, to);
}

int FaultCalls::unlink(const char* path) {
    return fails(Unlink) ? -1 : SysCalls::unlink(path);
}

int FaultCalls::mkdir(const char* path, unsigned mode) {
    return fails(Mkdir) ? -1 : SysCalls::mkdir(path, mode);
}

int FaultCalls::rmdir(const char* path) {
    return fails(Rmdir) ? -1 : SysCalls::rmdir(path);
}

int FaultCalls::lstat(const char* path, struct ::stat* st) {
    return fails(Lstat) ? -1 : SysCalls::lstat(path, st);
}

int FaultCalls::stat(const char* path, struct ::stat* st) {
    return fails(Stat) ? -1 : SysCalls::stat(path, st);
}

int FaultCalls::statx(const char* path, int flags, unsigned mask, struct ::statx* sx) {
    return fails(Statx) ? -1 : SysCalls::statx(path, flags, mask, sx);
}

long FaultCalls::lseek(int fd, long offset, int whence) {
    return fails(Lseek) ? -1 : SysCalls::lseek(fd, offset, whence);
}

long FaultCalls::pread(int fd, void* buf, unsigned long count, long offset) {
    return fails(Pread) ? -1 : SysCalls::pread(fd, buf, count, offset);
}

int FaultCalls::access(const char* path, int mode) {
    return fails(Access) ? -1 : SysCalls::access(path, mode);
}

int FaultCalls::fsync(int fd) {
    return fails(Fsync) ? -1 : SysCalls::fsync(fd);
}

int FaultCalls::ftruncate(int fd, long length) {
    return fails(Ftruncate) ? -1 : SysCalls::ftruncate(fd, length);
}

int FaultCalls::setLease(int fd, int type) {
    return fails(SetLease) ? -1 : SysCalls::setLease(fd, type);
}

int FaultCalls::getLease(int fd) {
    return fails(GetLease) ? -1 : SysCalls::getLease(fd);
}

long FaultCalls::flistxattr(int fd, char* list, unsigned long size) {
    return fails(Flistxattr) ? -1 : SysCalls::flistxattr(fd, list, size);
}

long FaultCalls::fgetxattr(int fd, const char* name, void* value, unsigned long size) {
    return fails(Fgetxattr) ? -1 : SysCalls::fgetxattr(fd, name, value, size);
}

int FaultCalls::fsetxattr(int fd, const char* name, const void* value, unsigned long size, int flags) {
    return fails(Fsetxattr) ? -1 : SysCalls::fsetxattr(fd, name, value, size, flags);
}

DIR* FaultCalls::fdopendir(int fd) {
    return fails(Fdopendir) ? nullptr : SysCalls::fdopendir(fd);
}

struct ::dirent* FaultCalls::readdir(DIR* dir) {
    // The end of a listing is told by errno left alone, so a hook must not change it.
    const int saved = errno;
    if (fails(Readdir))
        return nullptr;
    errno = saved;
    return SysCalls::readdir(dir);
}

int FaultCalls::closedir(DIR* dir) {
    // The stream is released even when the close reports an error, as the C library does.
    const bool fail = fails(Closedir);
    const int saved = errno;
    const int r = SysCalls::closedir(dir);
    if (fail) {
        errno = saved;
        return -1;
    }
    return r;
}

int FaultCalls::fstatat(int dirfd, const char* path, struct ::stat* st, int flags) {
    return fails(Fstatat) ? -1 : SysCalls::fstatat(dirfd, path, st, flags);
}

long FaultCalls::readlink(const char* path, char* buf, unsigned long size) {
    return fails(Readlink) ? -1 : SysCalls::readlink(path, buf, size);
}

int FaultCalls::symlink(const char* text, const char* path) {
    return fails(Symlink) ? -1 : SysCalls::symlink(text, path);
}

} // namespace velquin::test
