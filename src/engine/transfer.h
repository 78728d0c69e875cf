#pragma once

#include "engine/types.h"
#include "platform/fileops.h"

#include <QString>

namespace velquin {

class RunHost;

// Copies source to target when the source is not older than the target (a time that cannot be
// read, and a missing target, count as 0): equal times replace. True when it copied.
bool CopyFileIfNewer(const FileOps& fs, const QString& source, const QString& target);

// Moves source onto target, replacing it, only when the source is strictly newer. True when it moved.
bool MoveFileIfNewer(const FileOps& fs, const QString& source, const QString& target);

// The first free name in `folder` for `name`: name, base_1.ext, base_2.ext, ... (a folder of
// that name does not count as taken).
QString freeName(const FileOps& fs, const QString& folder, const QString& name);

// Copies or moves `source` to subFolder + separator + name under the clash policy; silent.
void TransferFile(const FileOps& fs, RunHost& host, const QString& source, const QString& subFolder,
                  const QString& name, TransferMode mode, ClashPolicy policy);

} // namespace velquin
