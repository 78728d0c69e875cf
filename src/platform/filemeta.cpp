#include "platform/fileops_parts.h"

#include <array>
#include <cerrno>
#include <sys/stat.h>

namespace velquin {

namespace {

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

// The names of the source's extended attributes, each ending in a NUL; nullopt when the list
// cannot be had (then nothing can be said about which attributes there are).
std::optional<QByteArray> xattrNames(SysCalls& calls, int in) {
    QByteArray names(4096, Qt::Uninitialized);
    long n = calls.flistxattr(in, names.data(), static_cast<unsigned long>(names.size()));
    if (n < 0 && errno == ERANGE) {
        names.resize(1 << 16);
        n = calls.flistxattr(in, names.data(), static_cast<unsigned long>(names.size()));
    }
    if (n < 0)
        return errno == ENOTSUP ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    names.truncate(n);
    return names;
}

bool listed(const QByteArray& names, const char* name) {
    for (qsizetype at = 0; at < names.size();) {
        const qsizetype end = names.indexOf('\0', at);
        const qsizetype stop = end < 0 ? names.size() : end;
        if (QByteArrayView(names).sliced(at, stop - at) == QByteArrayView(name))
            return true;
        at = stop + 1;
    }
    return false;
}

// The user's extended attributes, as far as the target takes them.
void copyUserXattrs(SysCalls& calls, int in, int out, const QByteArray& names) {
    for (const QByteArray& name : names.split('\0')) {
        if (!name.startsWith("user."))
            continue;
        if (const std::optional<QByteArray> value = readXattr(calls, in, name.constData()))
            calls.fsetxattr(out, name.constData(), value->constData(),
                            static_cast<unsigned long>(value->size()), 0);
    }
}

} // namespace

void setMode(SysCalls& calls, int out, unsigned mode) {
    if (calls.fchmod(out, mode) != 0 && errno == EPERM && (mode & 07000))
        calls.fchmod(out, mode & 0777);
}

void copyMetadata(SysCalls& calls, int in, int out, const struct stat& source) {
    unsigned mode = source.st_mode & 07777;
    // Set-id bits never widen access: they stay only where the copy has the source's owner and
    // group. Without them there is nothing to decide, and the copy's owner is not looked up.
    if (mode & (S_ISUID | S_ISGID)) {
        struct stat made;
        if (calls.fstat(out, &made) != 0 || made.st_uid != source.st_uid)
            mode &= ~unsigned(S_ISUID | S_ISGID);
        else if (made.st_gid != source.st_gid)
            mode &= ~unsigned(S_ISGID);
    }
    // An access ACL is among the listed attributes where the file has one; only a list that
    // cannot be had sends the copy to ask for the ACL itself.
    const std::optional<QByteArray> names = xattrNames(calls, in);
    const std::optional<QByteArray> acl =
        !names || listed(*names, kAclAccess) ? readXattr(calls, in, kAclAccess) : std::nullopt;
    setMode(calls, out, acl ? modeFromAcl(*acl, mode) : mode);
    // The ACL sets the group bits to its mask again where the file system keeps it.
    if (acl)
        calls.fsetxattr(out, kAclAccess, acl->constData(), static_cast<unsigned long>(acl->size()), 0);
    if (names)
        copyUserXattrs(calls, in, out, *names);
    const std::array<struct timespec, 2> times{source.st_atim, source.st_mtim};
    calls.futimens(out, times.data());
}

} // namespace velquin
