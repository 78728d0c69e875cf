#include "lists/folderwalk.h"

#include "lists/eventpump.h"
#include "lists/sourcelistmodel.h"
#include "platform/dirwalk.h"
#include "platform/names.h"
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
    Walk(SourceListModel& list, EventPump& pump) : list_(list), pump_(pump) {}

    // `levelsLeft` < 0 means no limit.
    void run(const QString& folder, int levelsLeft) {
        FileId id;
        const std::optional<std::vector<DirEntry>> entries = readFolder(encodeLocal8(folder), &id);
        if (entries) {
            for (const FileId& inside : path_) {
                if (inside == id)
                    return; // a folder mounted inside itself
            }
        }
        path_.push_back(id);
        const QString prefix = withTrailingSeparator(folder);
        QStringList files;
        QStringList subFolders;
        if (entries) {
            files.reserve(qsizetype(entries->size()));
            for (const DirEntry& entry : *entries) {
                switch (ClassifySearchEntry(entry)) {
                case SearchEntryKind::PlainFile:
                    files.append(prefix + entry.name);
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
        }
        list_.addUnique(files);
        pump_.step();
        for (const QString& sub : std::as_const(subFolders)) {
            if (pump_.stopped())
                break;
            run(sub, levelsLeft < 0 ? kAllLevels : levelsLeft - 1);
        }
        path_.pop_back();
    }

private:
    SourceListModel& list_;
    EventPump& pump_;
    std::vector<FileId> path_; // folders the walk is inside, outermost first
};

} // namespace

void IndexDisk(SourceListModel& list, const FileOps&, const QString& folder, EventPump& pump) {
    Walk(list, pump).run(folder, kAllLevels);
}

void IndexDisk2(SourceListModel& list, const FileOps&, const QString& folder, int depth, EventPump& pump) {
    if (depth < 0)
        return;
    Walk(list, pump).run(folder, depth);
}

void addFilesOfFolder(SourceListModel& list, const FileOps&, const QString& folder, EventPump& pump) {
    Walk(list, pump).run(folder, 0);
}

} // namespace velquin
