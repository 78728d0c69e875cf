#include "platform/fileops.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velquin {

// The real calls, one for one. Each retries only where the kernel asks for it (EINTR), so that
// callers see the same errno a plain call would leave.
SysCalls::~SysCalls() = default;

int SysCalls::open(const char* path, int flags, unsigned mode) {
    int r;
    do
        r = ::open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
    while (r < 0 && errno == EINTR);
    return r;
}

int SysCalls::openat(int dirfd, const char* path, int flags, unsigned mode) {
    int r;
    do
        r = ::openat(dirfd, path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
    while (r < 0 && errno == EINTR);
    return r;
}

int SysCalls::close(int fd) {
    return ::close(fd);
}

long SysCalls::read(int fd, void* buf, unsigned long count) {
    long r;
    do
        r = ::read(fd, buf, count);
    while (r < 0 && errno == EINTR);
    return r;
}

long SysCalls::write(int fd, const void* buf, unsigned long count) {
    long r;
    do
        r = ::write(fd, buf, count);
    while (r < 0 && errno == EINTR);
    return r;
}

long SysCalls::copyFileRange(int in, int out, unsigned long count) {
    long r;
    do
        r = ::copy_file_range(in, nullptr, out, nullptr, count, 0);
    while (r < 0 && errno == EINTR);
    return r;
}

long SysCalls::sendfile(int out, int in, unsigned long count) {
    long r;
    do
        r = ::sendfile(out, in, nullptr, count);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysCalls::fstat(int fd, struct ::stat* st) {
    return ::fstat(fd, st);
}

int SysCalls::fchmod(int fd, unsigned mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode));
}

int SysCalls::futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}

int SysCalls::linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    return ::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
}

int SysCalls::renameNoReplace(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int SysCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}

int SysCalls::link(const char* from, const char* to) {
    return ::link(from, to);
}

int SysCalls::unlink(const char* path) {
    return ::unlink(path);
}

int SysCalls::mkdir(const char* path, unsigned mode) {
    return ::mkdir(path, static_cast<mode_t>(mode));
}

int SysCalls::rmdir(const char* path) {
    return ::rmdir(path);
}

int SysCalls::lstat(const char* path, struct ::stat* st) {
    return ::lstat(path, st);
}

int SysCalls::stat(const char* path, struct ::stat* st) {
    return ::stat(path, st);
}

int SysCalls::statx(const char* path, int flags, unsigned mask, struct ::statx* sx) {
    return ::statx(AT_FDCWD, path, flags, mask, sx);
}

long SysCalls::lseek(int fd, long offset, int whence) {
    return ::lseek(fd, offset, whence);
}

long SysCalls::pread(int fd, void* buf, unsigned long count, long offset) {
    long r;
    do
        r = ::pread(fd, buf, count, offset);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysCalls::access(const char* path, int mode) {
    return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS);
}

int SysCalls::fsync(int fd) {
    int r;
    do
        r = ::fsync(fd);
    while (r < 0 && errno == EINTR);
    return r;
}

int SysCalls::ftruncate(int fd, long length) {
    return ::ftruncate(fd, length);
}

int SysCalls::setLease(int fd, int type) {
    if (type != F_UNLCK && ::fcntl(fd, F_SETSIG, SIGURG) != 0)
        return -1;
    return ::fcntl(fd, F_SETLEASE, type);
}

int SysCalls::getLease(int fd) {
    return ::fcntl(fd, F_GETLEASE);
}

long SysCalls::flistxattr(int fd, char* list, unsigned long size) {
    return ::flistxattr(fd, list, size);
}

long SysCalls::fgetxattr(int fd, const char* name, void* value, unsigned long size) {
    return ::fgetxattr(fd, name, value, size);
}

int SysCalls::fsetxattr(int fd, const char* name, const void* value, unsigned long size, int flags) {
    return ::fsetxattr(fd, name, value, size, flags);
}

DIR* SysCalls::fdopendir(int fd) {
    return ::fdopendir(fd);
}

struct ::dirent* SysCalls::readdir(DIR* dir) {
    return ::readdir(dir);
}

int SysCalls::closedir(DIR* dir) {
    return ::closedir(dir);
}

int SysCalls::fstatat(int dirfd, const char* path, struct ::stat* st, int flags) {
    return ::fstatat(dirfd, path, st, flags);
}

long SysCalls::readlink(const char* path, char* buf, unsigned long size) {
    return ::readlink(path, buf, size);
}

int SysCalls::symlink(const char* text, const char* path) {
    return ::symlink(text, path);
}

} // namespace velquin
