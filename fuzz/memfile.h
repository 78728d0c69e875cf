#pragma once

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

// An in-memory file with a path, so readers that take paths see the fuzz input as a file.
class MemFile {
public:
    explicit MemFile(const QByteArray& bytes) : fd_(::memfd_create("fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0)
            std::abort();
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                std::abort();
            done += n;
        }
    }
    ~MemFile() { ::close(fd_); }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }

private:
    int fd_;
};
