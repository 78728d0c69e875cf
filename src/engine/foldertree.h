#pragma once

#include "engine/types.h"
#include "platform/fileops.h"

#include <QString>

#include <optional>

namespace velquin {

class RunHost;

// Copies the folder `source` with everything in it into `destination` (joined as
// destination + separator + entry name), merging into folders that exist and applying `policy`
// to every file whose target exists. Hidden entries are copied; each folder is listed fully
// before anything below it is copied; sub-folders are copied depth first where they come up in
// the listing. Never enters its own destination tree, never follows a link back into a folder
// it is inside, passes over broken links and folders it cannot list. Silent apart from the
// host's clash question (policy Ask). Every file goes through TransferFile with Copy.
// `keepOut`, when given, is a folder the copy never enters: the run's output folder, which
// holds the copies made before (a second keyword's copy must not take in the first's).
void CopyFolderTree(const FileOps& fs, RunHost& host, const QString& source, const QString& destination,
                    ClashPolicy policy, const QString& keepOut = QString());

// The number of entries directly in `folder` that are not folders, hidden ones included;
// 0 when the folder cannot be listed.
int CountFilesInFolder(const FileOps& fs, const QString& folder);
// The same, but nullopt when the folder cannot be listed.
std::optional<int> countFilesIfListable(const FileOps& fs, const QString& folder);

} // namespace velquin
