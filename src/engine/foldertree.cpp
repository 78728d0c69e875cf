#include "engine/foldertree.h"

#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/paths.h"

#include <unordered_set>
#include <vector>

namespace velquin {

namespace {

struct FileIdHash {
    size_t operator()(const FileId& id) const noexcept {
        return std::hash<quint64>()(id.inode) ^ (std::hash<quint64>()(id.device) << 1);
    }
};

// One folder being copied: its listing, taken in full before anything below it is entered.
struct Frame {
    QString source; // ends in the separator
    QString destination;
    std::vector<DirEntry> entries;
    size_t next = 0;
    FileId id;
};

class TreeCopy {
public:
    TreeCopy(const FileOps& fs, RunHost& host, ClashPolicy policy) : fs_(fs), host_(host), policy_(policy) {}

    void run(const QString& source, const QString& destination, const QString& keepOut) {
        if (!enter(source, destination))
            return;
        if (!keepOut.isEmpty()) {
            if (const std::optional<FileId> id = fs_.fileId(keepOut))
                written_.insert(*id);
        }
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.next == top.entries.size()) {
                stack_.pop_back();
                continue;
            }
            const DirEntry entry = top.entries[top.next++];
            const QString sourcePath = top.source + entry.name;
            const QString targetFolder = top.destination;
            if (entry.isDir) {
                // May grow the stack: `top` is not used after this.
                enter(sourcePath, targetFolder + pathSeparator() + entry.name);
            } else if (!entry.isSymlink || fs_.isFile(sourcePath)) {
                TransferFile(fs_, host_, sourcePath, targetFolder, entry.name, TransferMode::Copy, policy_);
            }
        }
    }

private:
    // Lists `source`, makes `destination` and pushes the pair, or passes the folder over (false)
    // when it cannot be listed or entering it would loop.
    bool enter(const QString& source, const QString& destination) {
        const std::optional<FileId> sourceId = fs_.fileId(source);
        if (!sourceId)
            return false;
        // A folder this copy writes into is part of its own destination tree (the output folder
        // lies inside the folder being sorted): entering it would copy the copy without end.
        if (written_.contains(*sourceId))
            return false;
        for (const Frame& frame : stack_) {
            if (frame.id == *sourceId)
                return false; // a link back to a folder the copy is inside
        }
        std::optional<std::vector<DirEntry>> entries = fs_.listDir(source);
        if (!entries)
            return false;
        if (!fs_.isDir(destination))
            fs_.makePath(destination);
        if (const std::optional<FileId> destinationId = fs_.fileId(destination)) {
            // A folder copied onto itself has nothing to gain and, auto-numbered, would fill
            // the source with duplicates.
            if (*destinationId == *sourceId)
                return false;
            written_.insert(*destinationId);
        }
        stack_.push_back(
            Frame{withTrailingSeparator(source), destination, std::move(*entries), 0, *sourceId});
        return true;
    }

    const FileOps& fs_;
    RunHost& host_;
    const ClashPolicy policy_;
    std::vector<Frame> stack_;
    std::unordered_set<FileId, FileIdHash> written_;
};

} // namespace

void CopyFolderTree(const FileOps& fs, RunHost& host, const QString& source, const QString& destination,
                    ClashPolicy policy, const QString& keepOut) {
    TreeCopy(fs, host, policy).run(source, destination, keepOut);
}

std::optional<int> countFilesIfListable(const FileOps& fs, const QString& folder) {
    const std::optional<std::vector<DirEntry>> entries = fs.listDir(folder);
    if (!entries)
        return std::nullopt;
    int count = 0;
    for (const DirEntry& entry : *entries) {
        if (!entry.isDir)
            ++count;
    }
    return count;
}

int CountFilesInFolder(const FileOps& fs, const QString& folder) {
    return countFilesIfListable(fs, folder).value_or(0);
}

} // namespace velquin
