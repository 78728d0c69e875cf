#include "sandbox.h"

#include "platform/names.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquin::test {

namespace {

int decodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int forkRunning(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 125;
        try {
            code = body();
        } catch (...) {
            code = 124;
        }
        ::_exit(code);
    }
    return pid;
}

int setFlags(const QByteArray& path, bool immutable, QString* error) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    int flags = 0;
    int r = ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
    if (r == 0) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        r = ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (r != 0)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return r;
}

void chownTree(const QByteArray& path) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return;
    if (::lchown(path.constData(), kNobody, kNobody) != 0)
        return;
    if (!S_ISDIR(st.st_mode))
        return;
    ::chmod(path.constData(), 0777);
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return;
    std::vector<QByteArray> names;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    for (const QByteArray& name : names)
        chownTree(path + '/' + name);
}

} // namespace

int runInChild(const std::function<int()>& body) {
    ChildProcess child(body);
    return child.wait();
}

ChildProcess::ChildProcess(const std::function<int()>& body) : pid_(forkRunning(body)) {
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

bool ChildProcess::running() {
    if (pid_ <= 0 || status_ >= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = decodeStatus(status);
        return false;
    }
    return true;
}

void ChildProcess::kill(int signal) {
    if (running())
        ::kill(pid_, signal);
}

int ChildProcess::wait() {
    if (pid_ <= 0)
        return -1;
    if (status_ < 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = decodeStatus(status);
    }
    return status_;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return done();
        QThread::usleep(500);
    }
    return true;
}

TmpfsMount::TmpfsMount(const QString& folder, qint64 bytes, int inodes) : folder_(encodeLocal8(folder)) {
    QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    if (inodes > 0)
        options += ",nr_inodes=" + QByteArray::number(inodes);
    if (::mount("tmpfs", folder_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0)
        mounted_ = true;
    else
        error_ = QStringLiteral("cannot mount a tmpfs here (%1)")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

bool TmpfsMount::remountReadOnly() {
    return mounted_ && ::mount("tmpfs", folder_.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_)
        ::umount2(folder_.constData(), MNT_DETACH);
}

int runTool(const QStringList& arguments) {
    std::vector<QByteArray> bytes;
    for (const QString& a : arguments)
        bytes.push_back(encodeLocal8(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

bool haveTool(const char* tool) {
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (::access(QByteArray(QByteArray(dir) + tool).constData(), X_OK) == 0)
            return true;
    }
    return false;
}

// A loop device for the image that lets go of it by itself once the last user closes it: `held`
// keeps it until the mount has it. "" when there is none.
QByteArray attachLoop(const QByteArray& image, int& held, QString* error) {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int number = control < 0 ? -1 : ::ioctl(control, LOOP_CTL_GET_FREE);
    if (control >= 0)
        ::close(control);
    const int file = ::open(image.constData(), O_RDWR | O_CLOEXEC);
    const QByteArray device = "/dev/loop" + QByteArray::number(number);
    held = number < 0 ? -1 : ::open(device.constData(), O_RDWR | O_CLOEXEC);
    bool ok = file >= 0 && held >= 0 && ::ioctl(held, LOOP_SET_FD, file) == 0;
    if (ok) {
        loop_info64 info{};
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        ok = ::ioctl(held, LOOP_SET_STATUS64, &info) == 0;
    }
    if (!ok)
        *error = QStringLiteral("no loop device (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (file >= 0)
        ::close(file);
    return ok ? device : QByteArray();
}

} // namespace

const char* ImageMount::name(Kind kind) {
    static const char* const names[] = {"Ext4",  "BtrfsNoAcl", "Btrfs", "Xfs",
                                        "ExFat", "Fat",        "Ntfs",  "NtfsIgnoreCase"};
    return names[kind];
}

ImageMount::ImageMount(Kind kind, const QString& folder, qint64 bytes) : folder_(encodeLocal8(folder)) {
    struct Way {
        const char* mkfs;
        QStringList mkfsArgs;
        const char* driver; // a FUSE driver; nullptr: the kernel's own, through mount(8)
        QString options;
        qint64 least; // the smallest image the mkfs takes
    };
    const Way ways[] = {
        {"mkfs.ext4", {QStringLiteral("-q"), QStringLiteral("-F")}, nullptr, QStringLiteral("loop"), 0},
        {"mkfs.btrfs",
         {QStringLiteral("-q"), QStringLiteral("-f")},
         nullptr,
         QStringLiteral("loop,noacl"),
         120 << 20},
        {"mkfs.btrfs",
         {QStringLiteral("-q"), QStringLiteral("-f")},
         nullptr,
         QStringLiteral("loop"),
         120 << 20},
        {"mkfs.xfs",
         {QStringLiteral("-q"), QStringLiteral("-f")},
         nullptr,
         QStringLiteral("loop"),
         300 << 20},
        {"mkfs.exfat", {}, "mount.exfat-fuse", QString(), 0},
        {"mkfs.vfat", {}, "fusefat", QStringLiteral("rw+"), 0},
        {"mkfs.ntfs",
         {QStringLiteral("-Q"), QStringLiteral("-F"), QStringLiteral("-q")},
         "ntfs-3g",
         QString(),
         0},
        {"mkfs.ntfs",
         {QStringLiteral("-Q"), QStringLiteral("-F"), QStringLiteral("-q")},
         "lowntfs-3g",
         QStringLiteral("ignore_case"),
         0},
    };
    const Way& way = ways[kind];
    if (::geteuid() != 0) {
        error_ = QStringLiteral("mounting an image needs root");
        return;
    }
    if (!haveTool(way.mkfs) || (way.driver && !haveTool(way.driver))) {
        error_ = QStringLiteral("%1 or its driver is not installed (scripts/deps.sh installs them)")
                     .arg(QLatin1String(way.mkfs));
        return;
    }
    if (way.driver && ::access("/dev/fuse", R_OK | W_OK) != 0) {
        error_ = QStringLiteral("no /dev/fuse here");
        return;
    }
    image_ = folder_ + ".img";
    const int fd = ::open(image_.constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ::ftruncate(fd, qMax(bytes, way.least)) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!sized || runTool(QStringList{QLatin1String(way.mkfs)} + way.mkfsArgs +
                          QStringList{decodeLocal8(image_)}) != 0) {
        error_ = QStringLiteral("%1 failed").arg(QLatin1String(way.mkfs));
        return;
    }
    QStringList mount;
    int loop = -1;
    if (!way.driver) {
        mount = {QStringLiteral("mount"), QStringLiteral("-o"), way.options, decodeLocal8(image_),
                 decodeLocal8(folder_)};
    } else {
        QByteArray device = image_;
        if (kind == ExFat && (device = attachLoop(image_, loop, &error_)).isEmpty()) {
            if (loop >= 0)
                ::close(loop);
            return; // this driver takes block devices only
        }
        mount = {QLatin1String(way.driver), decodeLocal8(device), decodeLocal8(folder_)};
        if (!way.options.isEmpty())
            mount += {QStringLiteral("-o"), way.options};
    }
    const int status = runTool(mount);
    if (loop >= 0)
        ::close(loop);
    if (status != 0) {
        error_ = QStringLiteral("%1 could not mount the image").arg(mount.first());
        return;
    }
    mounted_ = true;
    kind_ = kind;
    mount_ = mount;
    ::chmod(folder_.constData(), 0777);
}

bool ImageMount::remount() {
    if (!mounted_ || ::umount2(folder_.constData(), 0) != 0)
        return false;
    int loop = -1; // the exFAT driver's loop device went with the mount
    if (kind_ == ExFat && (mount_[1] = decodeLocal8(attachLoop(image_, loop, &error_))).isEmpty())
        return mounted_ = false;
    mounted_ = runTool(mount_) == 0;
    if (loop >= 0)
        ::close(loop);
    return mounted_;
}

bool ImageMount::remountReadOnly() {
    return mounted_ && runTool({QStringLiteral("mount"), QStringLiteral("-o"), QStringLiteral("remount,ro"),
                                decodeLocal8(folder_)}) == 0;
}

ImageMount::~ImageMount() {
    if (mounted_ && ::umount2(folder_.constData(), 0) != 0)
        ::umount2(folder_.constData(), MNT_DETACH); // busy, or its driver is gone
    if (!image_.isEmpty())
        ::unlink(image_.constData());
}

ImmutableGuard::ImmutableGuard(const QString& path) : path_(encodeLocal8(path)) {
    set_ = setFlags(path_, true, &error_) == 0;
}

ImmutableGuard::~ImmutableGuard() {
    if (set_) {
        QString ignored;
        setFlags(path_, false, &ignored);
    }
}

bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
           ::geteuid() == kNobody;
}

void giveToNobody(const QString& path) {
    chownTree(encodeLocal8(path));
}

} // namespace velquin::test
