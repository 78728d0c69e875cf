#include "platform/fileops.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
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

} // namespace velquin
