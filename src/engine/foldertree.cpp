#include "engine/foldertree.h"

#include "engine/transfer.h"
#include "platform/paths.h"

#include <cerrno>
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
    TreeCopy(RunActions& actions, const FileOps& fs, ClashPolicy policy)
        : actions_(actions), fs_(fs), policy_(policy) {}

    void run(const QString& source, const QString& destination, const QString& keepOut) {
        rootSource_ = source;
        if (actions_.stopping() || !enter(source, destination))
            return;
        if (!keepOut.isEmpty()) {
            if (const std::optional<FileId> id = fs_.fileId(keepOut))
                written_.insert(*id);
        }
        while (!stack_.empty() && !actions_.stopping()) {
            Frame& top = stack_.back();
            if (top.next == top.entries.size()) {
                stack_.pop_back();
                continue;
            }
            const DirEntry entry = top.entries[top.next++];
            const QString sourcePath = top.source + entry.name;
            const QString target = top.destination + pathSeparator() + entry.name;
            if (entry.isSymlink && entry.isDir) {
                actions_.copyLink(sourcePath, target);
            } else if (entry.isDir) {
                // May grow the stack: `top` is not used after this.
                enter(sourcePath, target);
            } else if (!entry.isSymlink || fs_.isFile(sourcePath)) {
                const auto [from, to] = currentPart();
                actions_.itemPart(from, to);
                actions_.transfer(sourcePath, top.destination, entry.name, TransferMode::Copy, policy_);
            }
        }
    }

private:
    // The share of the whole tree taken by the entry being handled: each folder on the path
    // divides its parent's share among its entries, so the bar moves by files without a walk
    // of the tree beforehand.
    std::pair<double, double> currentPart() const {
        double from = 0;
        double share = 1;
        for (const Frame& frame : stack_) {
            const double size = double(qMax<size_t>(frame.entries.size(), 1));
            from += share * double(frame.next > 0 ? frame.next - 1 : 0) / size;
            share /= size;
        }
        return {from, from + share};
    }

    // True when writing into `destination` would write into the tree being copied: the folder
    // being copied or one of those holding it (the copy then overwrites its own sources).
    bool insideSource(const QString& destination, const FileId& destinationId, const FileId& sourceId) const {
        if (destinationId == sourceId)
            return true;
        for (const Frame& frame : stack_) {
            if (frame.id == destinationId)
                return true;
        }
        // One folder under two spellings on a drive that folds letter case has two inode numbers.
        return fs_.mayBeSameFile(destination, rootSource_);
    }

    // Lists `source`, makes `destination` and pushes the pair, or passes the folder over (false)
    // when it cannot be listed or entering it would loop or write into the source.
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
        if (!entries) {
            const int error = errno;
            actions_.unlistable(source, destination, error != 0 ? error : EIO);
            return false;
        }
        if (const std::optional<FileId> destinationId = fs_.fileId(destination)) {
            if (insideSource(destination, *destinationId, *sourceId))
                return false;
        }
        if (!actions_.view().isDir(destination))
            actions_.makeFolder(destination);
        if (const std::optional<FileId> destinationId = fs_.fileId(destination))
            written_.insert(*destinationId);
        stack_.push_back(
            Frame{withTrailingSeparator(source), destination, std::move(*entries), 0, *sourceId});
        return true;
    }

    RunActions& actions_;
    const FileOps& fs_;
    const ClashPolicy policy_;
    QString rootSource_;
    std::vector<Frame> stack_;
    std::unordered_set<FileId, FileIdHash> written_;
};

} // namespace

void CopyFolderTree(RunActions& actions, const FileOps& fs, const QString& source, const QString& destination,
                    ClashPolicy policy, const QString& keepOut) {
    TreeCopy(actions, fs, policy).run(source, destination, keepOut);
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
