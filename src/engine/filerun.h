#pragma once

#include "engine/dosdatetime.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

namespace velquin {

class FileRunHost;

// What the file window's controls hold when "开始处理" is pressed. Texts are the controls' texts
// as typed; the run checks and reads them itself. Transfer mode, clash policy, type filter and
// picture types are not here: the run asks the host for them again at every item.
struct FileSortJob {
    QStringList files; // ListBox1: all entries in list order (the run keeps this copy)
    SortCriterion criterion = SortCriterion::ByKeyword; // PageControl1: index of the active page
    bool includeChecked = false;                        // ChkInclude is checked (check 2 only)
    int typePatternCount = 0;                           // ListBox2: number of entries (check 2 only)

    QString keysText;                 // EdtKeys: text as typed (criterion 0)
    bool useNameRange = false;        // ChkFileNamePart is checked (criterion 1)
    QString rangeBeginText;           // EdtPartNameBegin: text (criterion 1)
    QString rangeEndText;             // EdtPartNameEnd: text (criterion 1)
    QString filterText;               // EdtFilter: text (criterion 1)
    bool onlyExistingTargets = false; // ChkOnlyMatchDir is checked (criterion 1)

    QString sizeText;           // EdtSize: text as typed (criterion 3)
    int sizeConditionIndex = 0; // CmbCondition: ItemIndex, 0 "大于", 1 "小于", -1 none (criterion 3)
    QString sizeConditionText;  // CmbCondition: its text, the selected item's caption (criterion 3)
    int sizeUnitIndex = 0;      // CmbUnit: ItemIndex, 0 "KB", 1 "MB" (criterion 3)
    QString sizeUnitText;       // CmbUnit: its text (criterion 3)

    QDate date;                // DtDate: the date (criterion 4)
    QTime time;                // DtTime: the time of day (criterion 4)
    int dateRelationIndex = 0; // CmbFileDate: ItemIndex, 0 "早于", other later (criterion 4)
    DateSource dateSource = DateSource::FromEntry; // FromHandle when RbModifyTime is checked (criterion 4)

    ImageSide imageSide = ImageSide::Width; // Height when RbPicH is checked (criterion 5)
    int imageRelationIndex =
        0; // CmbPic: ItemIndex, 0 "大于等于", 1 "小于等于", 2 "等于", -1 none (criterion 5)
    QString imageRelationText; // CmbPic: its text, the selected item's caption (criterion 5)
    QString imageLimitText;    // EdtPic: text as typed (criterion 5)
};

enum class FileRunOutcome { CheckFailed, Completed };

// One press of the start button: checks the options (message and focus through the host on the
// first failure), prepares the criterion, locks the window, sorts every listed file, unlocks on
// every way out and closes with "分拣工作完成！".
class FileSortRun {
public:
    FileSortRun(FileSortJob job, FileRunHost& host, const FileOps& fs);
    FileRunOutcome run();

private:
    enum class ItemOutcome { Sorted, NotMatched, Dropped };

    bool checkOptions();
    void PrepareCriterion();
    bool passesFilter(const QString& path);
    ItemOutcome SortItem(const QString& path);
    bool transferInto(const QString& path, const QString& subFolderName, bool makeFolder);

    FileSortJob job_;
    FileRunHost& host_;
    const FileOps& fs_;

    QString outputFolder_;
    QStringList keywords_;
    int rangeBegin_ = 0;
    int rangeEnd_ = 0;
    qint64 sizeLimit_ = 0;
    qint32 imageLimit_ = 0;
    DosDateTime dateThreshold_ = 0;
    QString fixedFolderName_;
};

// Convenience: FileSortRun(job, host, fs).run().
FileRunOutcome runFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs);

// Type filter of criteria 0 to 4: "*" + extension ("*" alone without one) against the patterns,
// letter case ignored, whole entry; Exclude drops a match, Include drops a miss.
bool passesTypeFilter(const TypeFilter& filter, const QString& extension);
// Picture types of criterion 5: some item contains "*" + the ASCII-upper-cased extension.
bool passesPictureTypes(const QStringList& checkedItems, const QString& extension);

// The size criterion's limit in bytes: value * 1024, once more for "MB" (unit index 1),
// held at the 64-bit bounds instead of wrapping.
qint64 sizeLimitBytes(qint64 value, int unitIndex);

// The date folder's name: the short date text with "/" and then "\" replaced by "-".
QString dateFolderName(const QDate& date);

} // namespace velquin
