#pragma once

#include <QByteArray>
#include <QString>

namespace velquin::test {

// Makes an empty file whose path is given as raw bytes (names that are no valid UTF-8).
bool makeRawFile(const QByteArray& path);
// Makes a symbolic link at `link` that leads to `target`.
bool makeSymlink(const QString& target, const QString& link);

} // namespace velquin::test
