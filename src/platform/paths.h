#pragma once

#include <QString>

namespace velquin {

// Path pieces. The name of a path is the text after its last separator; the extension is the
// text of the name from its last "." to the end, dot included, empty when the name has no ".";
// the base name is the name without the extension.
QChar pathSeparator();
bool isPathSeparator(QChar c);
QString fileNameOf(const QString& path);
QString extensionOf(const QString& path);
QString baseNameOf(const QString& path);
bool endsWithSeparator(const QString& path);
// The path with one separator appended unless it already ends in one.
QString withTrailingSeparator(const QString& path);
// True for the root of a file system ("/"), the one folder that may not be sorted.
bool isFileSystemRoot(const QString& path);

} // namespace velquin
