#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QObject;

namespace velquin {

class Dialogs;
class SourceListModel;

// Which window a list belongs to: it decides the default file name and the existence test.
enum class ListKind { Files, Folders };

// A list file: one entry per line in the local 8-bit encoding, CR LF after every line.
QByteArray formatListFile(const QStringList& entries);
// The lines of a list file: a line ends at CR LF, lone CR or lone LF, a last line without an
// end counts, the text ends at the first zero byte; lines are not trimmed.
QStringList parseListFile(const QByteArray& bytes);

// Writes `bytes` as the whole content of `path`: into a new file beside it, then renamed over
// it, so an existing file is replaced only by a complete one. A link at `path` is written through;
// a file whose owner has no write permission is not replaced (EACCES). See FileOps::writeFile.
FsResult writeFileReplacing(const QString& path, const QByteArray& bytes, const FileOps& fs = FileOps());
// The whole content of a regular file, or the errno of opening or reading it (EINVAL for a FIFO or
// device, which is never opened, so that nothing blocks).
std::optional<QByteArray> readWholeFile(const QString& path, int* error = nullptr,
                                        const FileOps& fs = FileOps());

// Export: saves the list to a file the user chooses ("file.lst" or "dir.lst" preset); an empty
// list is refused with a message; a file that cannot be written is reported in the error box.
void exportList(const SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner);
// Import: adds the lines of a file the user chooses that pass the window's existence test
// (an existing file that is no folder, or an existing folder) under the duplicate rule.
void importList(SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner, const FileOps& fs);

} // namespace velquin
