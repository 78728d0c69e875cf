#pragma once

#include "engine/dosdatetime.h"
#include "engine/runframe.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace velquin {

class FileRunHost;
class RunActions;

// The options of one file run. The window fills what its controls say (the first block and the
// field texts); the run's checks and preparation fill the rest. Transfer mode, clash policy,
// type filter and picture types are not here: the run asks the host for them at every item.
struct FileSortJob {
    QStringList Files;                                  // ListBox1, in list order (the run keeps this copy)
    SortCriterion Criterion = SortCriterion::ByKeyword; // the active page of PageControl1
    bool UseNameRange = false;                          // ChkFileNamePart (criterion 1)
    QString FilterText;                                 // EdtFilter (criterion 1)
    bool OnlyExistingTargets = false;                   // ChkOnlyMatchDir (criterion 1)
    velquin::SizeTest SizeRelation = velquin::SizeTest::Greater; // CmbCondition (criterion 3)
    QDateTime DateLimit; // DtDate's date with DtTime's time (criterion 4)
    velquin::DateTest DateRelation = velquin::DateTest::Earlier;     // CmbFileDate (criterion 4)
    velquin::DateSource DateSource = velquin::DateSource::FromEntry; // RbModifyTime: FromHandle
    velquin::ImageSide ImageSide = velquin::ImageSide::Width;        // RbPicH: Height (criterion 5)
    velquin::ImageTest ImageRelation = velquin::ImageTest::AtLeast;  // CmbPic (criterion 5)

    // The texts of the fields the checks read, as typed, and what check 2 needs.
    struct Fields {
        bool ChkInclude = false;  // checked
        int ListBox2Count = 0;    // number of type patterns
        QString EdtKeys;          // criterion 0
        QString EdtPartNameBegin; // criterion 1 with the range
        QString EdtPartNameEnd;   // criterion 1 with the range
        QString EdtSize;          // criterion 3
        QString CmbCondition;     // criterion 3: the selected item's caption
        QString CmbUnit;          // criterion 3: the selected item's caption
        bool unitIsMB = false;    // criterion 3: CmbUnit's second item ("MB") is selected
        QString CmbPic;           // criterion 5: the selected item's caption
        QString EdtPic;           // criterion 5
    } fields;

    // Made by the run from the above once its checks have passed.
    QString OutputFolder;    // EdtOutDir, with its trailing separator
    QStringList Keywords;    // criterion 0
    int RangeBegin = 0;      // criterion 1 with the range, exchanged when reversed
    int RangeEnd = 0;        // criterion 1 with the range, at most 254
    qint64 SizeLimit = 0;    // criterion 3, bytes
    qint32 ImageLimit = 0;   // criterion 5, pixels
    QString FixedFolderName; // criteria 3, 4 and 5
};

// One press of the start button: checks the options (message and focus through the host on the
// first failure), prepares the criterion, locks the window, sorts every listed file, unlocks on
// every way out and closes with "分拣工作完成！" (or "分拣已停止！" when stopped), with what failed.
RunEnd runFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs);

// The same run's checks and rules, for a run or a preview: the checks make nothing but the
// output field's separator; every decision goes to the actions the run is given.
class FileSortRun : public SortRun {
public:
    FileSortRun(FileSortJob job, FileRunHost& host);
    bool check() override;
    // The fixed folder of criteria 3 to 5 (made at the start, whether or not a file goes there).
    void PrepareCriterion(RunActions& actions);
    void prepare(RunActions& actions) override { PrepareCriterion(actions); }
    qsizetype itemCount() const override { return job_.Files.size(); }
    // One listed item: type filter and the criterion's rule. Items that are not sorted
    // (filtered out, not matched, dropped) are told to `actions`.
    RunFrame::Step sortOne(RunActions& actions, qsizetype index) override;

private:
    enum class ItemOutcome { Sorted, NotMatched, Dropped };

    bool passesFilter(const QString& path);
    ItemOutcome SortItem(RunActions& actions, const QString& path);
    bool transferInto(RunActions& actions, const QString& path, const QString& subFolderName,
                      bool makeFolder);

    FileSortJob job_;
    FileRunHost& host_;
    DosDateTime dateThreshold_ = 0;
};

// Type filter of criteria 0 to 4: "*" + extension ("*" alone without one) against the patterns,
// letter case ignored, whole entry; Exclude drops a match, Include drops a miss.
bool passesTypeFilter(const TypeFilter& filter, const QString& extension);
// Picture types of criterion 5: some item contains "*" + the ASCII-upper-cased extension.
bool passesPictureTypes(const QStringList& checkedItems, const QString& extension);

// The size criterion's limit in bytes: value * 1024, once more for "MB", held at the 64-bit
// bounds instead of wrapping.
qint64 sizeLimitBytes(qint64 value, bool megabytes);

} // namespace velquin
