#include "lists/listfile.h"

#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/names.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder part of a path in bytes, for placing the temporary file beside the target.
QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Opens a new, uniquely named file in `folder`; its name is returned in `name`.
int createTemporary(const QByteArray& folder, QByteArray& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + (folder.endsWith('/') ? "" : "/") + ".velquin-list." +
               QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

QByteArray formatListFile(const QStringList& entries) {
    QByteArray out;
    for (const QString& entry : entries) {
        out += encodeLocal8(entry);
        out += "\r\n";
    }
    return out;
}

QStringList parseListFile(const QByteArray& bytes) {
    qsizetype end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < end) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(decodeLocal8(bytes.mid(start, i - start)));
        i += (c == '\r' && i + 1 < end && bytes.at(i + 1) == '\n') ? 2 : 1;
        start = i;
    }
    if (start < end)
        lines.append(decodeLocal8(bytes.mid(start, end - start)));
    return lines;
}

FsResult writeFileReplacing(const QString& path, const QByteArray& bytes) {
    QByteArray target = encodeLocal8(path);
    struct stat st {};
    mode_t keepMode = 0;
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replacing the link itself would cut it from the file it leads to.
        if (char* real = ::realpath(target.constData(), nullptr)) {
            target = QByteArray(real);
            std::free(real);
        }
    }
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode))
        keepMode = st.st_mode & 07777;

    QByteArray temporary;
    const int fd = createTemporary(folderOf(target), temporary);
    if (fd < 0)
        return FsResult::failed(errno, path);
    int error = 0;
    if (!writeAll(fd, bytes))
        error = errno;
    if (!error && keepMode && ::fchmod(fd, keepMode) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return FsResult::failed(error, path);
    }
    return {};
}

std::optional<QByteArray> readWholeFile(const QString& path, int* error) {
    auto fail = [&](int e) -> std::optional<QByteArray> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    QByteArray data;
    if (st.st_size > 0)
        data.reserve(qsizetype(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            ::close(fd);
            return fail(e);
        }
        data.append(buffer, qsizetype(n));
    }
    ::close(fd);
    return data;
}

void exportList(const SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner) {
    if (list.isEmpty()) {
        dialogs.information(owner, QStringLiteral("当前文件列表为空！"));
        return;
    }
    const QString defaultName =
        kind == ListKind::Files ? QStringLiteral("file.lst") : QStringLiteral("dir.lst");
    const std::optional<QString> target =
        dialogs.saveFile(owner, QStringLiteral("列表文件(*.lst)"), QStringLiteral("*.lst"), defaultName);
    if (!target || target->isEmpty())
        return;
    const FsResult written = writeFileReplacing(*target, formatListFile(list.entries()));
    if (!written.ok())
        dialogs.error(
            owner, QStringLiteral("Cannot create file \"%1\". %2").arg(*target, systemReason(written.error)));
}

void importList(SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner, const FileOps& fs) {
    const std::optional<QString> source =
        dialogs.openFile(owner, QStringLiteral("*.lst"), QStringLiteral("*.lst"));
    if (!source || source->isEmpty())
        return;
    int error = 0;
    const std::optional<QByteArray> bytes = readWholeFile(*source, &error);
    if (!bytes) {
        dialogs.error(owner, QStringLiteral("Cannot open file \"%1\". %2").arg(*source, systemReason(error)));
        return;
    }
    QStringList accepted;
    for (const QString& line : parseListFile(*bytes)) {
        if (line.isEmpty())
            continue;
        if (kind == ListKind::Files ? fs.isFile(line) : fs.isDir(line))
            accepted.append(line);
    }
    list.addUnique(accepted);
}

} // namespace velquin
