#include "platform/dirwalk.h"

#include "platform/bytepaths.h"
#include "platform/names.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

// Closes the stream (and with it the folder's descriptor) on every way out.
struct DirCloser {
    SysCalls& calls;
    DIR* dir;
    ~DirCloser() { calls.closedir(dir); }
};

} // namespace

std::optional<std::vector<DirEntry>> readFolder(const QByteArray& path, FileId* id) {
    SysCalls calls;
    return readFolder(calls, path, id);
}

std::optional<std::vector<DirEntry>> readFolder(SysCalls& calls, const QByteArray& path, FileId* id) {
    const int fd = calls.open(path.constData(), O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0)
        return std::nullopt;
    if (id) {
        struct stat st;
        if (calls.fstat(fd, &st) == 0)
            *id = idOf(st);
    }
    DIR* dir = calls.fdopendir(fd);
    if (!dir) {
        calls.close(fd);
        return std::nullopt;
    }
    DirCloser closer{calls, dir};
    std::vector<DirEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* d = calls.readdir(dir);
        if (!d) {
            if (errno != 0)
                return std::nullopt;
            break;
        }
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        DirEntry entry;
        entry.name = decodeLocal8(QByteArray(name));
        entry.isHidden = name[0] == '.';
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (calls.fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        if (type == DT_LNK) {
            entry.isSymlink = true;
            struct stat st;
            entry.isDir = calls.fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        } else {
            entry.isDir = type == DT_DIR;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace velquin
