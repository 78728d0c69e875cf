#include "platform/timeres.h"

#include "platform/bytepaths.h"
#include "platform/names.h"

#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace velquin {

namespace {

constexpr qint64 kSecond = 1000000000;

// Odd seconds and nanoseconds whose last digit is not 0: every step a drive may keep shows in
// what is left of them. 2001-09-09, inside the range of every file system's dates.
constexpr FileTime kProbeTime{1000000001, 123456789};

// The largest of the steps drives use that divides the time read back.
qint64 stepKeeping(const FileTime& t) {
    if (t.nanoseconds != 0) {
        qint64 step = 1;
        while (step < kSecond && t.nanoseconds % (step * 10) == 0)
            step *= 10;
        return step;
    }
    return t.seconds % 2 == 0 ? 2 * kSecond : kSecond;
}

std::optional<qint64> measured(SysCalls& calls, const QByteArray& folder) {
    QByteArray name = QByteArrayLiteral(".velquin-time-");
    for (int i = 0; i < 8; ++i)
        name += char('a' + QRandomGenerator::global()->bounded(26));
    const QByteArray path = joined(folder, name);
    const int fd = calls.open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    const std::array<struct timespec, 2> times{timespec{kProbeTime.seconds, kProbeTime.nanoseconds},
                                               timespec{kProbeTime.seconds, kProbeTime.nanoseconds}};
    const bool set = calls.futimens(fd, times.data()) == 0;
    calls.close(fd);
    // Read back by path once closed: what the drive keeps, not what the open file still holds.
    struct stat st;
    const bool read = set && calls.stat(path.constData(), &st) == 0;
    calls.unlink(path.constData());
    if (!read)
        return std::nullopt;
    const FileTime back{qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)};
    // A drive that ignored the time altogether says nothing about its step.
    if (back.seconds < kProbeTime.seconds - 2 || back.seconds > kProbeTime.seconds)
        return std::nullopt;
    return stepKeeping(back);
}

qint64 stepOfKind(const QByteArray& folder) {
    struct statfs fs;
    if (::statfs(folder.constData(), &fs) != 0)
        return 1;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44: // FAT
        return 2 * kSecond;
    case 0x2011BAB0: // exFAT, the kernel's driver
        return 10000000;
    case 0x5346544e: // NTFS
        return 100;
    case 0x9660:     // ISO 9660
    case 0x65735546: // FUSE: whole seconds is what its FAT-like drivers keep
        return kSecond;
    default:
        return 1;
    }
}

} // namespace

qint64 probeTimeStep(SysCalls& calls, const QByteArray& folder) {
    if (const std::optional<qint64> step = measured(calls, folder))
        return *step;
    return stepOfKind(folder);
}

FileTime truncatedTo(const FileTime& time, qint64 step) {
    if (step <= 1)
        return time;
    if (step < kSecond)
        return FileTime{time.seconds, qint32(time.nanoseconds - time.nanoseconds % step)};
    const qint64 seconds = step / kSecond;
    qint64 s = time.seconds - time.seconds % seconds;
    if (time.seconds % seconds < 0)
        s -= seconds;
    return FileTime{s, 0};
}

qint64 TimeSteps::of(const QString& path) const {
    QByteArray bytes = encodeLocal8(path);
    struct stat st;
    if (fs_.calls().stat(bytes.constData(), &st) != 0)
        return 1;
    const quint64 device = quint64(st.st_dev);
    if (const auto it = known_.constFind(device); it != known_.constEnd())
        return *it;
    const QByteArray folder = S_ISDIR(st.st_mode) ? bytes : folderOf(bytes);
    const qint64 step = probeTimeStep(fs_.calls(), folder);
    known_.insert(device, step);
    return step;
}

} // namespace velquin
