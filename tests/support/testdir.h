#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>

namespace velquin::test {

// A temporary folder that makes fixture files with given content and times, and reads them back.
class TestDir {
public:
    // `base` chooses the file system (for example "/dev/shm"); default: the system temp folder.
    explicit TestDir(const QString& base = QString());
    // Removes the folder, names that are not valid UTF-8 included (QDir skips those).
    ~TestDir();
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    bool isValid() const { return dir_.isValid(); }
    // Absolute path of `relative` inside the folder ("" for the folder itself), no trailing "/".
    QString path(const QString& relative = QString()) const;

    // Writes a file (making missing parents); returns its absolute path.
    QString file(const QString& relative, const QByteArray& content = QByteArray());
    // The same, with the modification time set.
    QString file(const QString& relative, const QByteArray& content, const QDateTime& modified);
    // Makes a folder (with parents); returns its absolute path.
    QString folder(const QString& relative);

    // Content of a file, or nullopt when it cannot be read.
    std::optional<QByteArray> read(const QString& relative) const;
    bool existsFile(const QString& relative) const;
    bool existsFolder(const QString& relative) const;
    // Names in a folder, sorted, hidden ones included.
    QStringList entries(const QString& relative = QString()) const;
    // The same names in code-point order, so expectations do not depend on the collation.
    QStringList sortedEntries(const QString& relative = QString()) const;

    static void setModified(const QString& absolutePath, const QDateTime& modified);
    static QDateTime modified(const QString& absolutePath);

private:
    QTemporaryDir dir_;
};

// The content of the file at an absolute path, read through the exact bytes of its name (so
// names that are not UTF-8 work too); nullopt when it cannot be opened.
std::optional<QByteArray> contentOf(const QString& absolutePath);
// lstat of the path; st_ino is 0 when there is nothing there.
struct stat statOf(const QString& absolutePath);
// Why `a` and `b` cannot stand for two drives, "" when they can; a test of what crosses file
// systems skips with it.
QString notTwoFileSystems(const TestDir& a, const TestDir& b);

} // namespace velquin::test
