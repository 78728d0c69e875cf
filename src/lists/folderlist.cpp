#include "lists/folderlist.h"

#include "lists/folderwalk.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "platform/paths.h"

namespace velquin {

void addChosenFolder(SourceListModel& list, Dialogs& dialogs, QObject* owner) {
    const std::optional<QString> chosen = dialogs.chooseFolder(owner, QStringLiteral("请选择文件夹"));
    if (!chosen || chosen->isEmpty())
        return;
    if (isFileSystemRoot(*chosen)) {
        dialogs.information(owner, QStringLiteral("不能对驱动器（磁盘）进行分拣！"));
        return;
    }
    list.addUnique(*chosen);
}

void addSubFolders(SourceListModel& list, Dialogs& dialogs, QObject* owner, const FileOps& fs,
                   EventPump& pump, const BusySwitch& busy) {
    const std::optional<QString> chosen =
        dialogs.chooseFolder(owner, QStringLiteral("请选择上级目录（文件夹）"));
    if (!chosen || chosen->isEmpty() || !fs.isDir(*chosen))
        return;
    const BusyScope busyCursor(busy);
    const QString prefix = withTrailingSeparator(*chosen);
    QStringList folders;
    pump.away([&] {
        const auto entries = fs.listDir(prefix);
        if (!entries)
            return;
        for (const DirEntry& entry : *entries) {
            if (pump.stopped())
                break;
            if (!entry.isHidden && ClassifySearchEntry(entry) == SearchEntryKind::SubFolder)
                folders.append(prefix + entry.name);
            pump.step();
        }
    });
    list.addUnique(folders);
}

} // namespace velquin
