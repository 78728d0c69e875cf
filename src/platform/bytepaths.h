#pragma once

#include "platform/fileops.h"

#include <QByteArray>

struct stat;

namespace velquin {

// Small pieces the file operations and the trash share, on paths as the bytes the file system
// has. Not for use outside platform/.

// The folder a path lies in and its own name: "out//a" gives "out/" and "a", "a" gives "." and "a".
struct PathParts {
    QByteArray folder;
    QByteArray name;
};
PathParts splitPath(const QByteArray& path);
QByteArray folderOf(const QByteArray& path);
// folder + "/" + name, without doubling a separator the folder ends in.
QByteArray joined(const QByteArray& folder, const QByteArray& name);

bool sameObject(const struct stat& a, const struct stat& b);
FileId idOf(const struct stat& st);

// The path with every link resolved; empty when that fails.
QByteArray resolved(const QByteArray& path);

// Errors by which a file system says it has no hard links (FAT, some FUSE drives, a file the
// protected-links rule keeps from being linked, one with too many links already).
bool noHardLinks(int error);

// Writes all of `size` bytes through the seam: 0, or the errno (EIO for a write of nothing).
int writeAll(SysCalls& calls, int fd, const char* data, long size);

// A rename that never replaces, also where the file system lacks RENAME_NOREPLACE: then a look
// first and a plain rename, the window between them being tiny. 0, or the errno (EEXIST when
// something is at `to`).
int renameWithoutReplacing(SysCalls& calls, const QByteArray& from, const QByteArray& to);

} // namespace velquin
