// A drive for the benchmarks that takes its time: a FUSE file system showing a folder of the
// real disk, where every write sleeps SLOW_WRITE_MS and every flush and release of a file
// written to sleeps SLOW_CLOSE_MS, as a slow stick's writes and its flush on close do.
//   velquin_slowdrive BACKING MOUNTPOINT [fuse options]
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

static char backing[PATH_MAX];
static int writeMs = 5;
static int closeMs = 300;
// The open files written to (a flush's file info carries no open flags).
static unsigned char wrote[1 << 16];

static void nap(int ms) {
    if (ms > 0)
        usleep((useconds_t)ms * 1000);
}

static void real(char* out, const char* path) {
    snprintf(out, PATH_MAX, "%s%s", backing, path);
}

#define REAL(p)                                                                                              \
    char r[PATH_MAX];                                                                                        \
    real(r, p)

static int sd_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    if (fi)
        return fstat((int)fi->fh, st) == 0 ? 0 : -errno;
    REAL(path);
    return lstat(r, st) == 0 ? 0 : -errno;
}

static int sd_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t off, struct fuse_file_info* fi,
                      enum fuse_readdir_flags flags) {
    (void)off, (void)fi, (void)flags;
    REAL(path);
    DIR* d = opendir(r);
    if (!d)
        return -errno;
    struct dirent* e;
    while ((e = readdir(d)) != NULL) {
        struct stat st = {0};
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)(e->d_type << 12);
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(d);
    return 0;
}

static int sd_mkdir(const char* path, mode_t mode) {
    REAL(path);
    return mkdir(r, mode) == 0 ? 0 : -errno;
}
static int sd_rmdir(const char* path) {
    REAL(path);
    return rmdir(r) == 0 ? 0 : -errno;
}
static int sd_unlink(const char* path) {
    REAL(path);
    return unlink(r) == 0 ? 0 : -errno;
}
static int sd_rename(const char* from, const char* to, unsigned int flags) {
    char a[PATH_MAX], b[PATH_MAX];
    real(a, from);
    real(b, to);
    return renameat2(AT_FDCWD, a, AT_FDCWD, b, flags) == 0 ? 0 : -errno;
}
static int sd_link(const char* from, const char* to) {
    char a[PATH_MAX], b[PATH_MAX];
    real(a, from);
    real(b, to);
    return link(a, b) == 0 ? 0 : -errno;
}
static int sd_symlink(const char* target, const char* to) {
    REAL(to);
    return symlink(target, r) == 0 ? 0 : -errno;
}
static int sd_readlink(const char* path, char* buf, size_t size) {
    REAL(path);
    const ssize_t n = readlink(r, buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}
static int sd_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    if (fi)
        return fchmod((int)fi->fh, mode) == 0 ? 0 : -errno;
    REAL(path);
    return chmod(r, mode) == 0 ? 0 : -errno;
}
static int sd_chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
    if (fi)
        return fchown((int)fi->fh, uid, gid) == 0 ? 0 : -errno;
    REAL(path);
    return lchown(r, uid, gid) == 0 ? 0 : -errno;
}
static int sd_truncate(const char* path, off_t size, struct fuse_file_info* fi) {
    if (fi)
        return ftruncate((int)fi->fh, size) == 0 ? 0 : -errno;
    REAL(path);
    return truncate(r, size) == 0 ? 0 : -errno;
}
static int sd_utimens(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
    if (fi)
        return futimens((int)fi->fh, tv) == 0 ? 0 : -errno;
    REAL(path);
    return utimensat(AT_FDCWD, r, tv, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}
static int sd_open(const char* path, struct fuse_file_info* fi) {
    REAL(path);
    const int fd = open(r, fi->flags & ~O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}
static int sd_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
    REAL(path);
    const int fd = open(r, fi->flags, mode);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}
static int sd_read(const char* path, char* buf, size_t size, off_t off, struct fuse_file_info* fi) {
    (void)path;
    const ssize_t n = pread((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}
static int sd_write(const char* path, const char* buf, size_t size, off_t off, struct fuse_file_info* fi) {
    (void)path;
    nap(writeMs);
    if (fi->fh < sizeof wrote)
        wrote[fi->fh] = 1;
    const ssize_t n = pwrite((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}
static int written(struct fuse_file_info* fi) {
    return fi->fh < sizeof wrote && wrote[fi->fh];
}
static int sd_flush(const char* path, struct fuse_file_info* fi) {
    (void)path;
    if (written(fi))
        nap(closeMs);
    return 0;
}
static int sd_release(const char* path, struct fuse_file_info* fi) {
    (void)path;
    if (fi->fh < sizeof wrote)
        wrote[fi->fh] = 0;
    close((int)fi->fh);
    return 0;
}
static int sd_fsync(const char* path, int data, struct fuse_file_info* fi) {
    (void)path;
    nap(closeMs);
    return (data ? fdatasync((int)fi->fh) : fsync((int)fi->fh)) == 0 ? 0 : -errno;
}
static int sd_statfs(const char* path, struct statvfs* st) {
    REAL(path);
    return statvfs(r, st) == 0 ? 0 : -errno;
}
static int sd_access(const char* path, int mask) {
    REAL(path);
    return access(r, mask) == 0 ? 0 : -errno;
}

static const struct fuse_operations ops = {
    .getattr = sd_getattr,
    .readlink = sd_readlink,
    .mkdir = sd_mkdir,
    .unlink = sd_unlink,
    .rmdir = sd_rmdir,
    .symlink = sd_symlink,
    .rename = sd_rename,
    .link = sd_link,
    .chmod = sd_chmod,
    .chown = sd_chown,
    .truncate = sd_truncate,
    .open = sd_open,
    .read = sd_read,
    .write = sd_write,
    .statfs = sd_statfs,
    .flush = sd_flush,
    .release = sd_release,
    .fsync = sd_fsync,
    .readdir = sd_readdir,
    .access = sd_access,
    .create = sd_create,
    .utimens = sd_utimens,
};

int main(int argc, char* argv[]) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s BACKING MOUNTPOINT [fuse options]\n", argv[0]);
        return 2;
    }
    if (!realpath(argv[1], backing)) {
        perror(argv[1]);
        return 2;
    }
    if (getenv("SLOW_WRITE_MS"))
        writeMs = atoi(getenv("SLOW_WRITE_MS"));
    if (getenv("SLOW_CLOSE_MS"))
        closeMs = atoi(getenv("SLOW_CLOSE_MS"));
    argv[1] = argv[0];
    return fuse_main(argc - 1, argv + 1, &ops, NULL);
}
