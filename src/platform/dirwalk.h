#pragma once

#include "platform/fileops.h"

#include <QByteArray>

#include <optional>
#include <vector>

namespace velquin {

// Reads the folder named by `path` (bytes as the file system has them) in the order the file
// system gives, "." and ".." left out. Every name is kept, valid UTF-8 or not; entries whose
// type the folder does not record, and links, are looked at with stat. nullopt when the folder
// cannot be opened or read. `id`, when given, receives the folder's own identity.
// Every call goes through `calls`; the first form uses the real ones.
std::optional<std::vector<DirEntry>> readFolder(const QByteArray& path, FileId* id = nullptr);
std::optional<std::vector<DirEntry>> readFolder(SysCalls& calls, const QByteArray& path,
                                                FileId* id = nullptr);

} // namespace velquin
