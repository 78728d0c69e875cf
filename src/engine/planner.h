#pragma once

#include "engine/preview.h"
#include "engine/runactions.h"
#include "engine/transfer.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace velquin {

class FileRunHost;
class RunHost;
class SortRun;
struct FileSortJob;
struct FolderSortJob;

// What a run would do, before it does it.
struct Preview {
    std::vector<PreviewRow> rows; // the transfers in run order, then the items not sorted
    PreviewCounts counts;         // files that would be copied or moved, clashes, items not sorted
};

// The disk as it will be once the transfers planned so far are done: planned copies are there
// (with their source's time), moved sources are gone, planned folders exist. On a drive that
// folds letter case, names that differ only in case are one name, as the run will find them.
class PlannedDisk : public DiskView {
public:
    explicit PlannedDisk(const FileOps& fs) : fs_(fs), steps_(fs) {}
    bool isFile(const QString& path) const override;
    bool isDir(const QString& path) const override;
    // Anything at the path, a broken link included.
    bool exists(const QString& path) const;
    std::optional<FileTime> modificationTime(const QString& path) const override;
    std::optional<qint64> openedFileSize(const QString& path) const override;
    std::optional<FileTime> entryTime(const QString& path) const override;
    bool movedAway(const QString& path) const override { return gone_.contains(key(path)); }
    // Whether a planned transfer puts a file at the path (which the disk may hold already).
    bool planned(const QString& path) const { return files_.contains(key(path)); }
    qint64 timeStep(const QString& path) const override;
    // A planned file holds what its source holds now.
    bool sameContent(const QString& source, const QString& target) const override;

    void planFolder(const QString& path);
    // `origin`: the file whose content the planned one gets ("" for none, such as a link).
    void planFile(const QString& path, std::optional<FileTime> modified, const QString& origin = QString());
    void planRemoval(const QString& path);

private:
    // How the drive a folder is (or will be) on compares names.
    struct Drive {
        quint64 device = 0;
        bool folds = false;
    };
    // One spelling per path, doubled and trailing separators dropped; on a drive that folds
    // letter case, folded and marked with the drive.
    QString key(const QString& path) const;
    // The folder itself where it exists, else its nearest existing parent.
    QString existingFolder(const QString& path) const;
    Drive driveOf(const QString& folder) const;

    const FileOps& fs_;
    TimeSteps steps_;
    mutable QHash<QString, Drive> drives_; // by folder, as the paths give it
    QHash<QString, std::optional<FileTime>> files_;
    QHash<QString, QString> origins_; // planned files by key: whose content they get
    QSet<QString> gone_;
    QSet<QString> folders_;
};

// Writes a run's decisions down as preview rows instead of carrying them out. With a keeper,
// a replace of a file on the disk that the keeper could not keep says so after its words:
// "覆盖（无法放入回收站）".
class PlanActions : public RunActions {
public:
    explicit PlanActions(const FileOps& fs, ReplaceKeeper* keeper = nullptr) : disk_(fs), keeper_(keeper) {}

    const DiskView& view() const override { return disk_; }
    void makeFolder(const QString& path) override { disk_.planFolder(path); }
    TransferOutcome transfer(const QString& source, const QString& subFolder, const QString& name,
                             TransferMode mode, ClashPolicy policy, QString* placedAt = nullptr) override;
    void copyLink(const QString& source, const QString& target) override;
    void unlistable(const QString& source, const QString& target, int error) override;
    void notMatched(const QString& source) override;
    void alreadyThere(const QString& source, const QString& target) override;
    void describe(const QString& source, const QString& note) override;

    // The rows so far, the items not sorted at the end.
    Preview take();

private:
    PlannedDisk disk_;
    ReplaceKeeper* keeper_;
    NameHints hints_;
    Preview preview_;
    QHash<QString, QString> notes_; // by source, for its rows
    std::vector<PreviewRow> unmatched_;
};

// The words the preview shows for a decision: "复制", "移动", "跳过（已存在）", "覆盖", "询问",
// "自动编号为 <name>", "替换旧文件", "保留较新的文件", and for a source already moved away or
// missing "无文件可移动" and "源文件不存在". `inBatch`: the name is taken by a file an earlier
// transfer of the same run puts there, not by one on the disk: "跳过（列表中重名）", and the
// others followed by "（列表中重名）".
QString actionWords(const TransferDecision& decision, bool inBatch = false);
// True for the decisions that put a file at its target.
bool transfers(TransferAction action);
// True for the decisions taken because a file is already at the target.
bool isConflict(TransferAction action);

// The previews of the two runs: the same checks as the start buttons (messages, focus, the
// output field's separator), then every decision the run would take, with the options as the
// host gives them now; nothing is made or transferred. nullopt when a check failed. `keeper`
// (for the two runs: the host's) is asked whether the old targets of replaces could be kept.
std::optional<Preview> previewOf(SortRun& run, const FileOps& fs, ReplaceKeeper* keeper = nullptr);
std::optional<Preview> previewFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs);
std::optional<Preview> previewFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs);

} // namespace velquin
