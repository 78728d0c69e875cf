#pragma once

#include "engine/types.h"
#include "platform/fileops.h"

#include <QString>

namespace velquin {

class RunHost;

// The target of a transfer: subFolder + separator + name, joined as texts (an empty sub-folder
// name gives a doubled separator, which the file system reads as one).
QString transferTarget(const QString& subFolder, const QString& name);

// False when the sub-folder name (keyword, name or name range) has a ".." component, which would
// lead out of the output folder; such a destination is never made or written to.
bool subFolderStaysInside(const QString& subFolderName);

// The clash question: "文件" + target + "已存在，是否覆盖？".
QString overwriteQuestionText(const QString& target);

// Copies source to target when the source is not older than the target (a time that cannot be
// read, and a missing target, count as 0): equal times replace. True when it copied.
bool CopyFileIfNewer(const FileOps& fs, const QString& source, const QString& target);

// Moves source onto target, replacing it, only when the source is strictly newer. True when it moved.
bool MoveFileIfNewer(const FileOps& fs, const QString& source, const QString& target);

// The first free name in `folder` for `name`: name, base_1.ext, base_2.ext, ... always built from
// `name` itself (a folder of that name does not count as taken).
QString freeName(const FileOps& fs, const QString& folder, const QString& name);

// Copies or moves `source` to transferTarget(subFolder, name) under the clash policy; silent.
// Ask puts host.askOverwrite only when the target exists as a file. AutoNumber takes the first
// free name and, should that name turn out taken by a file when the file is put in place, the
// next one. A source that is a folder is never transferred. Folder copies use it with Copy for
// every file of a tree.
void TransferFile(const FileOps& fs, RunHost& host, const QString& source, const QString& subFolder,
                  const QString& name, TransferMode mode, ClashPolicy policy);

} // namespace velquin
