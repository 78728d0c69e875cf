#pragma once

#include "platform/fileops.h"

#include <QString>

namespace velquin {

// Makes at `target` a symbolic link with the same text as the link `source` (so a relative link
// keeps pointing where it pointed, relative to its new place). Fails with EEXIST when anything
// is at `target`, and leaves it alone.
// Every call goes through `calls`; the first form uses the real ones.
FsResult copySymlink(const QString& source, const QString& target);
FsResult copySymlink(SysCalls& calls, const QString& source, const QString& target);

} // namespace velquin
