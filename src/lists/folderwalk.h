#pragma once

#include "platform/fileops.h"

#include <QString>

namespace velquin {

class EventPump;
class SourceListModel;

// What one entry of a folder listing is.
enum class SearchEntryKind { PlainFile = 0, SubFolder = 1, DotEntry = 2 };

// "." and ".." are dot entries whatever they are; otherwise a folder (or a link to one) is a
// sub-folder and anything else a plain file.
SearchEntryKind ClassifySearchEntry(const DirEntry& entry);

// The walks that fill the file list. Each folder's files are appended (under the duplicate rule,
// in listing order, hidden ones included) before its sub-folders are entered; each entry is the
// folder path, one separator and the name. A folder that cannot be listed adds nothing and the
// walk goes on. Links to folders inside the tree are passed over (the folder the walk starts
// from is followed when it is a link), and a folder mounted inside itself is entered once.
// `pump` runs after every folder; when it says stop, the walk ends keeping what it added.

// Adds the files of `folder` and of every folder below it.
void IndexDisk(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump);
// Adds the files of `folder` (level 0) and of the folders down to `depth` levels below it;
// a negative depth adds nothing.
void IndexDisk2(SourceListModel& list, const FileOps& fs, const QString& folder, int depth, EventPump& pump);
// Adds the files of `folder` alone, none of its sub-folders.
void addFilesOfFolder(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump);

} // namespace velquin
