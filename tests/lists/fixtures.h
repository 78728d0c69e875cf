#pragma once

#include <QByteArray>
#include <QString>

namespace velquin::test {

// An empty file whose path is given as raw bytes (names that are no valid UTF-8), removed again
// when it goes: the temporary folders cannot remove names they cannot list.
class RawFile {
public:
    explicit RawFile(const QByteArray& path);
    ~RawFile();
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    bool made() const { return made_; }

private:
    QByteArray path_;
    bool made_ = false;
};
// Makes a symbolic link at `link` that leads to `target`.
bool makeSymlink(const QString& target, const QString& link);

} // namespace velquin::test
