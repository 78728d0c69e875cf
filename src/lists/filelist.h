#pragma once

#include "lists/eventpump.h"

#include <QString>
#include <QStringList>

class QObject;

namespace velquin {

class Dialogs;
class FileOps;
class SourceListModel;

// What the folder picker hands over after it was closed with OK.
struct FolderPick {
    QString path;              // the selected folder; empty when the selection is no folder
    bool allLevels = false;    // every folder below it
    bool downToLevels = false; // the folders down to depthText levels below it
    QString depthText;
};

// The operations of the file window's list buttons. `owner` is the window the boxes belong to.

// Lets the user choose files (several, not tested for existence) and adds them under the
// duplicate rule.
void addChosenFiles(SourceListModel& list, Dialogs& dialogs, QObject* owner);

// Adds the files of the picked folder in the picked mode. Nothing happens unless the path names
// an existing folder. A depth text that is no integer is reported in the error box and adds
// nothing. The busy cursor is shown while the folder is walked and restored on every way out.
void addFolderFiles(SourceListModel& list, const FolderPick& pick, Dialogs& dialogs, QObject* owner,
                    const FileOps& fs, EventPump& pump, const BusySwitch& busy = {});

// Adds the dropped paths that name existing files (folders and missing paths are skipped),
// without the duplicate test. Returns how many were added.
qsizetype AddDroppedFiles(SourceListModel& list, const QStringList& paths, const FileOps& fs);

} // namespace velquin
