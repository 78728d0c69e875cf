#pragma once

#include "engine/filerule.h"
#include "engine/runframe.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velquin {

class FileRunHost;
class RunActions;

// The options of one file run: the files, what the type filter's check needs, and the active
// criterion's rule over its page's values. Transfer mode, clash policy, type filter and picture
// types are not here: the run asks the host for them at every item.
struct FileSortJob {
    QStringList Files;            // ListBox1, in list order (the run keeps this copy)
    bool onlyListedTypes = false; // "只分拣这些类型文件：" is checked
    int listedTypes = 0;          // how many type patterns are listed
    std::shared_ptr<FileRule> rule;
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
    // The criterion's fixed folder, if it has one (made at the start, whether or not a file goes there).
    void PrepareCriterion(RunActions& actions);
    void prepare(RunActions& actions) override { PrepareCriterion(actions); }
    qsizetype itemCount() const override { return job_.Files.size(); }
    // One listed item: type filter and the criterion's rule. Items that are not sorted
    // (filtered out, not matched, dropped) are told to `actions`.
    RunFrame::Step sortOne(RunActions& actions, qsizetype index) override;

private:
    FileSortJob job_;
    FileRunHost& host_;
    QString output_; // the output folder, once checked
};

// The type filter of the criteria that use one: "*" + extension ("*" alone without one) against the patterns,
// letter case ignored, whole entry; Exclude drops a match, Include drops a miss.
bool passesTypeFilter(const TypeFilter& filter, const QString& extension);
// The picture types of the image criterion: some item contains "*" + the ASCII-upper-cased extension.
bool passesPictureTypes(const QStringList& checkedItems, const QString& extension);

} // namespace velquin
