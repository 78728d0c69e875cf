#pragma once

#include "engine/runactions.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QString>

#include <optional>

namespace velquin {

// Copies the folder `source` with everything in it into `destination` (joined as
// destination + separator + entry name), merging into folders that exist and applying `policy`
// to every file whose target exists; every file goes through `actions` as a Copy. Hidden entries
// are copied; each folder is listed fully before anything below it is copied; sub-folders are
// copied depth first where they come up in the listing. Symbolic links to folders are not
// followed: the link itself is made again (a listed `source` that is a link is followed). The
// copy never enters its own destination tree, never writes into a folder of the tree it is
// copying (a destination inside or above the source included), passes over broken links, and
// tells `actions` of folders it cannot list. `keepOut`, when given, is a folder the copy never
// enters: the run's output folder, which holds the copies made before. Ends early, between
// files, when `actions` is stopping.
void CopyFolderTree(RunActions& actions, const FileOps& fs, const QString& source, const QString& destination,
                    ClashPolicy policy, const QString& keepOut = QString());

// The number of entries directly in `folder` that are not folders, hidden ones included;
// 0 when the folder cannot be listed.
int CountFilesInFolder(const FileOps& fs, const QString& folder);
// The same, but nullopt when the folder cannot be listed.
std::optional<int> countFilesIfListable(const FileOps& fs, const QString& folder);

} // namespace velquin
