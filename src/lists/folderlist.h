#pragma once

#include "lists/eventpump.h"

class QObject;

namespace velquin {

class Dialogs;
class FileOps;
class SourceListModel;

// The operations of the folder window's list buttons. `owner` is the window the boxes belong to.

// Lets the user choose one folder and adds it under the duplicate rule; the root of the file
// system is refused with a message.
void addChosenFolder(SourceListModel& list, Dialogs& dialogs, QObject* owner);

// Lets the user choose a parent folder and adds its visible (not hidden) sub-folders, first
// level only, in listing order, under the duplicate rule. The busy cursor is shown meanwhile.
void addSubFolders(SourceListModel& list, Dialogs& dialogs, QObject* owner, const FileOps& fs,
                   EventPump& pump, const BusySwitch& busy = {});

} // namespace velquin
