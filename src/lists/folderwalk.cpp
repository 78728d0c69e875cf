#include "lists/folderwalk.h"

#include "lists/eventpump.h"
#include "lists/sourcelistmodel.h"
#include "platform/paths.h"

#include <QStringList>

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

    // `levelsLeft` < 0 means no limit.
    void run(const QString& folder, int levelsLeft) {
        const std::optional<FileId> id = fs_.fileId(folder);
        if (id) {
            for (const FileId& inside : path_) {
                if (inside == *id)
                    return; // a link back into a folder being walked
            }
            path_.push_back(*id);
        }
        const QString prefix = withTrailingSeparator(folder);
        QStringList files;
        QStringList subFolders;
        if (const auto entries = fs_.listDir(folder)) {
            files.reserve(qsizetype(entries->size()));
            for (const DirEntry& entry : *entries) {
                switch (ClassifySearchEntry(entry)) {
                case SearchEntryKind::PlainFile:
                    files.append(prefix + entry.name);
                    break;
                case SearchEntryKind::SubFolder:
                    if (levelsLeft != 0)
                        subFolders.append(prefix + entry.name);
                    break;
                case SearchEntryKind::DotEntry:
                    break;
                }
                pump_.step();
            }
        }
        list_.addUnique(files);
        for (const QString& sub : subFolders)
            run(sub, levelsLeft < 0 ? kAllLevels : levelsLeft - 1);
        if (id)
            path_.pop_back();
    }

private:
    SourceListModel& list_;
    const FileOps& fs_;
    EventPump& pump_;
    std::vector<FileId> path_; // folders the walk is inside, outermost first
};

} // namespace

void IndexDisk(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump) {
    Walk(list, fs, pump).run(folder, kAllLevels);
}

void IndexDisk2(SourceListModel& list, const FileOps& fs, const QString& folder, int depth, EventPump& pump) {
    if (depth < 0)
        return;
    Walk(list, fs, pump).run(folder, depth);
}

void addFilesOfFolder(SourceListModel& list, const FileOps& fs, const QString& folder, EventPump& pump) {
    Walk(list, fs, pump).run(folder, 0);
}

} // namespace velquin
