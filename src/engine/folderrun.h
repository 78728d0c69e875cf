#pragma once

#include "engine/runframe.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace velquin {

class RunActions;
class RunHost;

// The options of one folder run. The window fills what its controls say (the first block and
// the field texts); the run's checks fill the rest. The clash policy is not here: the run reads
// it from the host anew for every folder it copies.
struct FolderSortJob {
    QStringList Folders; // ListBox1's entries; a copy, so the list may change meanwhile
    FolderSortCriterion Criterion = FolderSortCriterion::ByKeyword; // the active page of PageControl1
    bool UseNameRange = false;                                      // ChkFileNamePart (criterion 1)
    QString FilterText;                                             // EdtFilter (criterion 1)
    bool OnlyExistingTargets = false;                               // ChkOnlyMatchDir (criterion 1)

    // The texts of the fields the checks read, as typed, and the date page's date.
    struct Fields {
        QString EdtKeys;          // criterion 0
        QString EdtPartNameBegin; // criterion 1 with the range
        QString EdtPartNameEnd;   // criterion 1 with the range
        QString EdtFileCount;     // criterion 2
        QDate DtDate;             // names the date page's folder (criterion 3)
    } fields;

    // Made by the run from the above once its checks have passed.
    QString OutputFolder; // EdtOutDir, with its trailing separator
    QStringList Keywords; // criterion 0
    int RangeBegin = 0;   // criterion 1 with the range
    int RangeEnd = 0;     // criterion 1 with the range, at most 254
    int FileCount = 0;    // criterion 2
};

// The folder run behind TForm6.BtnCopyClick: checks the job (message and focus on the first
// failure, nothing locked or created), then locks the window, copies every folder the criterion
// selects with CopyFolderTree, steps the progress bar, unlocks on every way out and reports
// completion (or the stop) with what failed. Folders are always copied, never moved.
RunEnd runFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs);

// The same run's checks and rules, for a run or a preview.
class FolderSortRun : public SortRun {
public:
    FolderSortRun(FolderSortJob job, RunHost& host, const FileOps& fs);
    bool check() override;
    // The date page's folder, made before the loop.
    void prepare(RunActions& actions) override;
    qsizetype itemCount() const override { return job_.Folders.size(); }
    RunFrame::Step sortOne(RunActions& actions, qsizetype index) override;

private:
    void copyInto(RunActions& actions, const QString& path, const QString& destination);

    FolderSortJob job_;
    RunHost& host_;
    const FileOps& fs_;
};

} // namespace velquin
