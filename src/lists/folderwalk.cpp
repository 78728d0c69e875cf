#include "lists/folderwalk.h"

#include "lists/eventpump.h"
#include "lists/sourcelistmodel.h"
#include "platform/paths.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace velquin {

SearchEntryKind ClassifySearchEntry(const DirEntry& entry) {
    if (entry.name == QLatin1String(".") || entry.name == QLatin1String(".."))
        return SearchEntryKind::DotEntry;
    return entry.isDir ? SearchEntryKind::SubFolder : SearchEntryKind::PlainFile;
}

namespace {

constexpr int kAllLevels = -1;

class Walk {
public:
    Walk(SourceListModel& list, const FileOps& fs, EventPump& pump) : list_(list), fs_(fs), pump_(pump) {}

    // The whole walk; `levels` < 0 means no limit.
    void walk(const QString& folder, int levels) {
        pump_.away([&] {
            run(folder, levels);
            flush();
        });
    }

private:
    // `levelsLeft` < 0 means no limit.
    void run(const QString& folder, int levelsLeft) {
        FileId id;
        const std::optional<std::vector<DirEntry>> entries = fs_.listDir(folder, &id);
        if (!entries || std::find(path_.begin(), path_.end(), id) != path_.end())
            return; // a folder that cannot be listed, or one mounted inside itself
        path_.push_back(id);
        const QString prefix = withTrailingSeparator(folder);
        QStringList subFolders;
        for (const DirEntry& entry : *entries) {
            switch (ClassifySearchEntry(entry)) {
            case SearchEntryKind::PlainFile:
                pending_.append(prefix + entry.name);
                ++found_;
                break;
            case SearchEntryKind::SubFolder:
                // A link to a folder is passed over, as find does: a link to "/" or to a
                // folder above would otherwise take the walk through the whole machine.
                if (levelsLeft != 0 && !entry.isSymlink)
                    subFolders.append(prefix + entry.name);
                break;
            case SearchEntryKind::DotEntry:
                break;
            }
        }
        // The list takes what was found in batches, as the window is about to repaint: one
        // insertion per folder would make the view lay itself out a thousand times.
        if (pump_.due()) {
            flush();
            pump_.listing(folder, found_);
            pump_.runNow();
        }
        for (const QString& sub : std::as_const(subFolders)) {
            if (pump_.stopped())
                break;
            run(sub, levelsLeft < 0 ? kAllLevels : levelsLeft - 1);
        }
        path_.pop_back();
    }

    // Hands what the walk found so far to the list.
    void flush() {
        pump_.onWindow([this] { list_.addUnique(pending_); });
        pending_.clear();
    }

    SourceListModel& list_;
    const FileOps& fs_;
    EventPump& pump_;
    QStringList pending_;
    qsizetype found_ = 0;
    std::vector<FileId> path_; // folders the walk is inside, outermost first
};

} // namespace

void IndexDisk(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump) {
    Walk(list, fs, pump).walk(folder, kAllLevels);
}

void IndexDisk2(SourceListModel& list, const FileOps& fs, const QString& folder, int depth, EventPump& pump) {
    if (depth < 0)
        return;
    Walk(list, fs, pump).walk(folder, depth);
}

void addFilesOfFolder(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump) {
    Walk(list, fs, pump).walk(folder, 0);
}

} // namespace velquin
