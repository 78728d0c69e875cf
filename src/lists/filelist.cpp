#include "lists/filelist.h"

#include "lists/folderwalk.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace velquin {

void addChosenFiles(SourceListModel& list, Dialogs& dialogs, QObject* owner) {
    const QStringList chosen = dialogs.openFiles(owner, QStringLiteral("*.*"), QStringLiteral("*.*"));
    if (!chosen.isEmpty())
        list.addUnique(chosen);
}

void addFolderFiles(SourceListModel& list, const FolderPick& pick, Dialogs& dialogs, QObject* owner,
                    const FileOps& fs, EventPump& pump, const BusySwitch& busy) {
    if (pick.path.isEmpty() || !fs.isDir(pick.path))
        return;
    const BusyScope busyCursor(busy);
    const QString folder = withTrailingSeparator(pick.path);
    if (pick.allLevels) {
        IndexDisk(list, fs, folder, pump);
    } else if (pick.downToLevels) {
        const std::optional<qint32> depth = parseInt32(pick.depthText);
        if (!depth) {
            dialogs.error(owner, QStringLiteral("'%1' is not a valid integer value").arg(pick.depthText));
            return;
        }
        IndexDisk2(list, fs, folder, *depth, pump);
    } else {
        addFilesOfFolder(list, fs, folder, pump);
    }
}

qsizetype AddDroppedFiles(SourceListModel& list, const QStringList& paths, const FileOps& fs) {
    QStringList files;
    for (const QString& path : paths) {
        if (!path.isEmpty() && fs.isFile(path))
            files.append(path);
    }
    list.addAll(files);
    return files.size();
}

} // namespace velquin
