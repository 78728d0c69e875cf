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

TmpfsMount::~TmpfsMount() {
    if (mounted_)
        ::umount2(folder_.constData(), MNT_DETACH);
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

void DenyingCalls::deny(const QString& path) {
    denied_.insert(encodeLocal8(path));
}

int DenyingCalls::open(const char* path, int flags, unsigned mode) {
    if (denied_.contains(QByteArray(path))) {
        errno = EACCES;
        return -1;
    }
    return SysCalls::open(path, flags, mode);
}

} // namespace velquin::test
