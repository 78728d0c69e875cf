#pragma once

#include "engine/types.h"
#include "platform/fileops.h"
#include "platform/text.h"
#include "platform/timeres.h"

#include <QHash>
#include <QString>

#include <optional>
#include <set>

namespace velquin {

class RunHost;

// The target of a transfer: subFolder + separator + name, joined as texts (an empty sub-folder
// name gives a doubled separator, which the file system reads as one).
QString transferTarget(const QString& subFolder, const QString& name);

// False when the sub-folder name (keyword, name or name range) has a ".." component, which would
// lead out of the output folder; such a destination is never made or written to.
bool subFolderStaysInside(const QString& subFolderName);

// The clash question for `target`: "文件" + target + "已存在，是否覆盖？".
QString overwriteQuestionText(const QString& target);

// What the disk looks like to a decision: the disk itself, or the disk as it will be once the
// transfers a preview has planned so far are done.
class DiskView {
public:
    virtual ~DiskView();
    // An existing object that is not a folder (links followed).
    virtual bool isFile(const QString& path) const = 0;
    virtual bool isDir(const QString& path) const = 0;
    // The last-modification time read from the opened file; nullopt when it cannot be read.
    virtual std::optional<FileTime> modificationTime(const QString& path) const = 0;
    // The size and the entry's time stamp of a listed file (see FileOps); sources are read as
    // they are on the disk.
    virtual std::optional<qint64> openedFileSize(const QString& path) const = 0;
    virtual std::optional<FileTime> entryTime(const QString& path) const = 0;
    // True when an earlier transfer of this run moved the file away from `path`.
    virtual bool movedAway(const QString& path) const = 0;
    // The step in nanoseconds in which the drive that holds (or will hold) `path` keeps
    // modification times (see probeTimeStep).
    virtual qint64 timeStep(const QString& path) const = 0;
    // Whether the file at `target` holds what `source` holds (same size, then same bytes); false
    // when either cannot be read.
    virtual bool sameContent(const QString& source, const QString& target) const = 0;
};

// The disk as it is, remembering which sources the run has moved away.
class DiskAsItIs : public DiskView {
public:
    explicit DiskAsItIs(const FileOps& fs) : fs_(fs), steps_(fs) {}
    bool isFile(const QString& path) const override { return fs_.isFile(path); }
    bool isDir(const QString& path) const override { return fs_.isDir(path); }
    std::optional<FileTime> modificationTime(const QString& path) const override;
    std::optional<qint64> openedFileSize(const QString& path) const override {
        return fs_.openedFileSize(path);
    }
    std::optional<FileTime> entryTime(const QString& path) const override { return fs_.entryTime(path); }
    bool movedAway(const QString& path) const override { return moved_.contains(path); }
    void noteMoved(const QString& path) { moved_.insert(path, true); }
    bool sameContent(const QString& source, const QString& target) const override {
        return fs_.sameContent(source, target).value_or(false);
    }
    qint64 timeStep(const QString& path) const override { return steps_.of(path); }

private:
    const FileOps& fs_;
    TimeSteps steps_;
    QHash<QString, bool> moved_;
};

// The number auto-numbering last used, per folder and name, so that the next free name is
// looked for from there rather than from 1: a folder receiving thousands of files of one name
// costs a few look-ups per file instead of one per number. The hint is trusted only while the
// file it names is still there, and numbers below it that the run itself freed (by moving a
// numbered file away) are remembered, so that the first free name is still the one taken.
class NameHints {
public:
    int last(const QString& folder, const QString& name) const;
    void used(const QString& folder, const QString& name, int number);
    // The run moved the file at `path` away; a numbered name there becomes a candidate again.
    void removed(const QString& path);
    // The numbers below the hint the run freed for `name` in `folder`, lowest first.
    std::set<int> freed(const QString& folder, const QString& name) const;

private:
    QHash<QString, int> last_;
    QHash<QString, std::set<int>> freed_;
};

// base + "_" + n + extension, from the name's own base and extension. When that would pass the
// file system's 255-byte limit for a name, the base is shortened at a character boundary until
// the numbered name fits.
QString numberedName(const QString& name, int n);

// The first free name in `folder` for `name`: name, base_1.ext, base_2.ext, ... always built from
// `name` itself (a folder of that name does not count as taken). `number` receives the number
// of the name found (0: the name itself).
QString freeName(const DiskView& disk, const NameHints& hints, const QString& folder, const QString& name,
                 int* number = nullptr);

// ReplaceOlder's rule for a copy: true when the copy goes ahead, replacing the target, because
// the source is not older than it (equal times replace). A time that cannot be read, and a
// target that is not a file, count as older than any real time. Times are those read from the
// opened files, both rounded down to the coarser step of the two drives.
bool CopyFileIfNewer(const DiskView& disk, const QString& source, const QString& target);
// The same for a move, which goes ahead only when the source is strictly newer.
bool MoveFileIfNewer(const DiskView& disk, const QString& source, const QString& target);

// What a run will do with one file at one target, decided before anything is written.
enum class TransferAction {
    Copy,          // nothing at the target: the file is copied there
    Move,          // nothing at the target: the file is moved there
    Skip,          // a file at the target, policy Skip: both stay as they are
    Overwrite,     // a file at the target, policy Overwrite: it is replaced
    Ask,           // a file at the target, policy Ask: the question decides
    AutoNumber,    // a file at the target: the file goes to the free numbered name instead
    ReplaceOlder,  // ReplaceOlder and the target is older (for a copy: or as old): it is replaced
    KeepNewer,     // ReplaceOlder and the target is newer (for a move: or as new): both stay
    SourceMoved,   // an earlier transfer of this run moved the source away: nothing to do
    SourceMissing, // the source is not there (or is a folder): the transfer fails
};

struct TransferDecision {
    TransferAction action = TransferAction::Copy;
    QString target;           // where the file goes (for AutoNumber: the free name)
    bool replace = false;     // whether putting the file there replaces what it finds
    int number = 0;           // AutoNumber: the number in the free name
    bool numbering = false;   // policy AutoNumber: a name found taken when placing moves on a number
    bool sourceMoved = false; // Ask about a source an earlier transfer of this run moved away
};

// The one place where a transfer is decided: for the run, which then carries it out, and for
// the preview, which lists it. Follows the transfer table: Ask is decided only when a file is
// at the target (even with the source gone, as the question is put then too); ReplaceOlder
// follows CopyFileIfNewer and MoveFileIfNewer.
TransferDecision decideTransfer(const DiskView& disk, const NameHints& hints, const QString& source,
                                const QString& subFolder, const QString& name, TransferMode mode,
                                ClashPolicy policy);

// How a transfer ended.
enum class TransferOutcome {
    Done,      // the file is at its target (copied, moved or replacing the old one)
    Unchanged, // nothing needed doing: a clash the policy leaves alone, the answer No, the
               // same file already there, or a source this run had moved away already
    Stopped,   // the user stopped the run during the copy; nothing of it is left
    Failed,    // the file system refused; `fs` says why
};

struct TransferResult {
    QString source;
    TransferDecision decision;
    TransferOutcome outcome = TransferOutcome::Unchanged;
    FsResult fs; // of putting the file in place (error, what it left at the target)
};

// Whether a transfer counts among the run's failures: what the file system refused, and a source
// that is not there (also one met under Ask, whatever the answer) unless this run moved it away.
// A clash the policy leaves alone (Skip, the answer No, a newer target kept) is not a failure.
bool countsAsFailure(const TransferResult& result);

// What the transfers of one run hand on to the next: the disk as they have left it (the sources
// moved away) and the numbers auto-numbering has used.
struct TransferState {
    explicit TransferState(const FileOps& fs) : disk(fs) {}
    DiskAsItIs disk;
    NameHints hints;
};

// Decides (decideTransfer) and carries out one transfer of `source` to
// transferTarget(subFolder, name) under the clash policy: asks the host for Ask, puts the file
// in place through `fs` with `hooks`, and for AutoNumber goes on to the next number when the
// free name turns out taken (a race, a spelling the drive folds together, a dangling link)
// instead of failing. A source that is a folder is never transferred. `state` carries what a
// run's earlier transfers left; without it the transfer stands alone on the disk as it is.
TransferResult TransferFile(const FileOps& fs, RunHost& host, const QString& source, const QString& subFolder,
                            const QString& name, TransferMode mode, ClashPolicy policy,
                            TransferState* state = nullptr, const TransferHooks& hooks = {});

} // namespace velquin
