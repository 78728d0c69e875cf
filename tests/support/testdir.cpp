#include "support/testdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/dirwalk.h"
#include "platform/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace velquin::test {

TestDir::TestDir(const QString& base)
    : dir_(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/velquin-test-XXXXXX")
                          : base + QStringLiteral("/velquin-test-XXXXXX")) {
}

namespace {
// Depth-first removal by bytes; links are removed, never followed.
void removeTree(const QByteArray& path) {
    if (const auto entries = velquin::readFolder(path)) {
        for (const velquin::DirEntry& e : *entries) {
            const QByteArray child = path + '/' + velquin::encodeLocal8(e.name);
            if (e.isDir && !e.isSymlink)
                removeTree(child);
            else
                ::unlink(child.constData());
        }
    }
    ::rmdir(path.constData());
}
} // namespace

TestDir::~TestDir() {
    if (dir_.isValid()) {
        removeTree(velquin::encodeLocal8(dir_.path()));
        dir_.setAutoRemove(false);
    }
}

QString TestDir::path(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + relative;
}

QString TestDir::file(const QString& relative, const QByteArray& content) {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
    return p;
}

QString TestDir::file(const QString& relative, const QByteArray& content, const QDateTime& modified) {
    const QString p = file(relative, content);
    setModified(p, modified);
    return p;
}

QString TestDir::folder(const QString& relative) {
    const QString p = path(relative);
    QDir().mkpath(p);
    return p;
}

std::optional<QByteArray> TestDir::read(const QString& relative) const {
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

bool TestDir::existsFile(const QString& relative) const {
    return QFileInfo(path(relative)).isFile();
}

bool TestDir::existsFolder(const QString& relative) const {
    return QFileInfo(path(relative)).isDir();
}

QStringList TestDir::entries(const QString& relative) const {
    return QDir(path(relative))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList TestDir::sortedEntries(const QString& relative) const {
    QStringList names = entries(relative);
    names.sort(Qt::CaseSensitive);
    return names;
}

void TestDir::setModified(const QString& absolutePath, const QDateTime& modified) {
    const qint64 ms = modified.toMSecsSinceEpoch();
    struct timespec times[2];
    times[0].tv_sec = ms / 1000;
    times[0].tv_nsec = (ms % 1000) * 1000000;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, velquin::encodeLocal8(absolutePath).constData(), times, 0);
}

QDateTime TestDir::modified(const QString& absolutePath) {
    return QFileInfo(absolutePath).lastModified();
}

std::optional<QByteArray> contentOf(const QString& absolutePath) {
    const int fd = ::open(encodeLocal8(absolutePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray data;
    char buf[4096];
    for (long n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        data.append(buf, n);
    ::close(fd);
    return data;
}

struct stat statOf(const QString& absolutePath) {
    struct stat st {};
    if (::lstat(encodeLocal8(absolutePath).constData(), &st) != 0)
        st.st_ino = 0;
    return st;
}

QString notTwoFileSystems(const TestDir& a, const TestDir& b) {
    if (!a.isValid() || !b.isValid())
        return QStringLiteral("a folder for the second file system cannot be made (is /dev/shm missing?)");
    if (statOf(a.path()).st_dev == statOf(b.path()).st_dev)
        return a.path() + QStringLiteral(" and ") + b.path() + QStringLiteral(" are on one file system");
    return QString();
}

} // namespace velquin::test
