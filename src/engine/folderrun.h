#pragma once

#include "engine/types.h"
#include "platform/fileops.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace velquin {

class RunHost;

// What the folder window's controls hold when its start button is pressed. The output folder
// and the clash policy are not here: the run reads them from the host (the policy anew for
// every folder it copies).
struct FolderSortJob {
    QStringList folders;              // ListBox1's entries; a copy, so the list may change
    int criterion = 0;                // PageControl1's active page (FolderSortCriterion)
    QString keysText;                 // EdtKeys, as typed (criterion 0)
    bool useNameRange = false;        // ChkFileNamePart (criterion 1)
    QString rangeBeginText;           // EdtPartNameBegin, as typed (criterion 1 with the range)
    QString rangeEndText;             // EdtPartNameEnd, as typed (criterion 1 with the range)
    QString filterText;               // EdtFilter (criterion 1)
    bool onlyExistingTargets = false; // ChkOnlyMatchDir (criterion 1)
    QString fileCountText;            // EdtFileCount, as typed (criterion 2)
    QDate folderDate;                 // DtDate: names the date page's folder (criterion 3)
};

// The folder run behind TForm6.BtnCopyClick: checks the job (message and focus on the first
// failure, nothing locked or created), then locks the window, copies every folder the criterion
// selects with CopyFolderTree, steps the progress bar, unlocks on every way out and reports
// completion. Folders are always copied, never moved.
void runFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs);

// The name of the folder the date page makes: the short date with every separator character
// replaced by "-", so that the date names one folder instead of nesting several.
QString folderDateName(const QDate& date);

} // namespace velquin
