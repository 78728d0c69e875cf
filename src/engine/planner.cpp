#include "engine/planner.h"

#include "engine/filerun.h"
#include "engine/folderrun.h"
#include "engine/runhost.h"
#include "platform/paths.h"

#include <cerrno>

namespace velquin {

namespace {

// The folder part of a path without doubled or trailing separators; "" for a bare name.
QString parentOf(const QString& k) {
    qsizetype slash = k.size() - 1;
    while (slash >= 0 && !isPathSeparator(k.at(slash)))
        --slash;
    return slash < 0 ? QString() : slash == 0 ? k.left(1) : k.left(slash);
}

// One spelling per path: doubled and trailing separators dropped.
QString normalized(const QString& path) {
    QString k;
    k.reserve(path.size());
    for (const QChar c : path) {
        if (isPathSeparator(c) && !k.isEmpty() && isPathSeparator(k.back()))
            continue;
        k.append(c);
    }
    while (k.size() > 1 && isPathSeparator(k.back()))
        k.chop(1);
    return k;
}

} // namespace

QString PlannedDisk::key(const QString& path) const {
    const QString k = normalized(path);
    const QString parent = parentOf(k);
    if (parent.isEmpty())
        return k;
    const Drive drive = driveOf(parent);
    if (!drive.folds)
        return k;
    // The drive in front keeps a folded key from meeting the exact key of another drive.
    return QChar(1) + QString::number(drive.device) + QChar(1) + k.toCaseFolded();
}

QString PlannedDisk::existingFolder(const QString& path) const {
    QString folder = path;
    while (!folder.isEmpty() && !fs_.isDir(folder)) {
        const QString up = parentOf(folder);
        if (up == folder)
            break;
        folder = up;
    }
    return folder;
}

PlannedDisk::Drive PlannedDisk::driveOf(const QString& folder) const {
    if (const auto it = drives_.constFind(folder); it != drives_.constEnd())
        return *it;
    Drive drive;
    const QString existing = existingFolder(folder);
    if (const std::optional<FileId> id = existing.isEmpty() ? std::nullopt : fs_.fileId(existing)) {
        drive.device = id->device;
        drive.folds = fs_.foldsLetterCase(existing);
    }
    drives_.insert(folder, drive);
    return drive;
}

qint64 PlannedDisk::timeStep(const QString& path) const {
    // A planned file or folder will be on the drive of the nearest folder that is there now.
    if (fs_.exists(path))
        return steps_.of(path);
    const QString folder = existingFolder(path);
    return folder.isEmpty() ? 1 : steps_.of(folder);
}

bool PlannedDisk::isFile(const QString& path) const {
    const QString k = key(path);
    if (files_.contains(k))
        return true;
    return !gone_.contains(k) && fs_.isFile(path);
}

bool PlannedDisk::isDir(const QString& path) const {
    return folders_.contains(key(path)) || fs_.isDir(path);
}

bool PlannedDisk::exists(const QString& path) const {
    const QString k = key(path);
    if (files_.contains(k) || folders_.contains(k))
        return true;
    return !gone_.contains(k) && fs_.exists(path);
}

std::optional<FileTime> PlannedDisk::modificationTime(const QString& path) const {
    const QString k = key(path);
    if (const auto it = files_.constFind(k); it != files_.constEnd())
        return *it;
    if (gone_.contains(k))
        return std::nullopt;
    return fs_.modificationTimeOpened(path);
}

std::optional<qint64> PlannedDisk::openedFileSize(const QString& path) const {
    return gone_.contains(key(path)) ? std::nullopt : fs_.openedFileSize(path);
}

std::optional<FileTime> PlannedDisk::entryTime(const QString& path) const {
    return gone_.contains(key(path)) ? std::nullopt : fs_.entryTime(path);
}

void PlannedDisk::planFolder(const QString& path) {
    // The folder and every missing parent, as making it would.
    for (QString p = normalized(path); !p.isEmpty();) {
        const QString k = key(p);
        if (folders_.contains(k))
            break;
        folders_.insert(k);
        const QString up = parentOf(p);
        if (up.size() <= 1)
            break;
        p = up;
    }
}

void PlannedDisk::planFile(const QString& path, std::optional<FileTime> modified, const QString& origin) {
    const QString k = key(path);
    gone_.remove(k);
    files_.insert(k, modified);
    origins_.insert(k, origin);
}

void PlannedDisk::planRemoval(const QString& path) {
    const QString k = key(path);
    files_.remove(k);
    origins_.remove(k);
    gone_.insert(k);
}

bool PlannedDisk::sameContent(const QString& source, const QString& target) const {
    const QString k = key(target);
    if (gone_.contains(k))
        return false;
    if (const auto origin = origins_.constFind(k); origin != origins_.constEnd())
        return !origin->isEmpty() && fs_.sameContent(source, *origin).value_or(false);
    return fs_.sameContent(source, target).value_or(false);
}

bool transfers(TransferAction action) {
    switch (action) {
    case TransferAction::Copy:
    case TransferAction::Move:
    case TransferAction::Overwrite:
    case TransferAction::AutoNumber:
    case TransferAction::ReplaceOlder:
        return true;
    default:
        return false;
    }
}

bool isConflict(TransferAction action) {
    switch (action) {
    case TransferAction::Skip:
    case TransferAction::Overwrite:
    case TransferAction::Ask:
    case TransferAction::AutoNumber:
    case TransferAction::ReplaceOlder:
    case TransferAction::KeepNewer:
        return true;
    default:
        return false;
    }
}

namespace {

const QString kTakenInBatch = QStringLiteral("（列表中重名）");

} // namespace

QString actionWords(const TransferDecision& decision, bool inBatch) {
    if (inBatch && isConflict(decision.action)) {
        return decision.action == TransferAction::Skip ? QStringLiteral("跳过") + kTakenInBatch
                                                       : actionWords(decision) + kTakenInBatch;
    }
    switch (decision.action) {
    case TransferAction::Copy:
        return QStringLiteral("复制");
    case TransferAction::Move:
        return QStringLiteral("移动");
    case TransferAction::Skip:
        return QStringLiteral("跳过（已存在）");
    case TransferAction::Overwrite:
        return QStringLiteral("覆盖");
    case TransferAction::Ask:
        return QStringLiteral("询问");
    case TransferAction::AutoNumber:
        return QStringLiteral("自动编号为 ") + fileNameOf(decision.target);
    case TransferAction::ReplaceOlder:
        return QStringLiteral("替换旧文件");
    case TransferAction::KeepNewer:
        return QStringLiteral("保留较新的文件");
    case TransferAction::SourceMoved:
        return QStringLiteral("无文件可移动");
    case TransferAction::SourceMissing:
        return QStringLiteral("源文件不存在");
    }
    return QString();
}

TransferOutcome PlanActions::transfer(const QString& source, const QString& subFolder, const QString& name,
                                      TransferMode mode, ClashPolicy policy, QString* placedAt) {
    const TransferDecision d = decideTransfer(disk_, hints_, source, subFolder, name, mode, policy);
    const bool puts = transfers(d.action);
    const bool conflict = isConflict(d.action);
    // The name the clash is about: for auto-numbering the one the file was given at first.
    const QString taken = d.action == TransferAction::AutoNumber ? transferTarget(subFolder, name) : d.target;
    QString words = actionWords(d, conflict && disk_.planned(taken));
    const bool replaces = d.action == TransferAction::Overwrite || d.action == TransferAction::ReplaceOlder ||
                          d.action == TransferAction::Ask;
    // Only a file on the disk now can be asked about (ENOENT: the run puts it there first).
    if (replaces && keeper_ && disk_.isFile(d.target)) {
        const int err = keeper_->keepable(d.target);
        if (err != 0 && err != ENOENT)
            words += QStringLiteral("（无法放入回收站）");
    }
    if (const auto note = notes_.constFind(source); note != notes_.constEnd())
        words += QStringLiteral("（") + *note + QStringLiteral("）");
    preview_.rows.push_back(PreviewRow{source, d.target, words, true, conflict});
    preview_.counts.transfers += puts ? 1 : 0;
    if (conflict) {
        ++preview_.counts.conflicts;
        preview_.counts.policy = policy;
    }
    if (!puts)
        return TransferOutcome::Unchanged;
    // Copies keep their source's time, which a later ReplaceOlder compares with.
    disk_.planFile(d.target, disk_.modificationTime(source), source);
    if (placedAt)
        *placedAt = d.target;
    if (d.numbering)
        hints_.used(subFolder, name, d.number);
    if (mode == TransferMode::Move) {
        disk_.planRemoval(source);
        hints_.removed(source);
    }
    return TransferOutcome::Done;
}

void PlanActions::copyLink(const QString& source, const QString& target) {
    const bool taken = disk_.exists(target);
    const QString words = !taken                  ? QStringLiteral("复制")
                          : disk_.planned(target) ? QStringLiteral("跳过") + kTakenInBatch
                                                  : QStringLiteral("跳过（已存在）");
    preview_.rows.push_back(PreviewRow{source, target, words, true, taken});
    preview_.counts.conflicts += taken ? 1 : 0;
    if (!taken)
        disk_.planFile(target, std::nullopt);
}

void PlanActions::unlistable(const QString& source, const QString& target, int error) {
    preview_.rows.push_back(
        PreviewRow{source, target, QStringLiteral("无法读取（") + systemReason(error) + QStringLiteral("）"),
                   true, false});
}

void PlanActions::notMatched(const QString& source) {
    unmatched_.push_back(PreviewRow{source, QString(), QStringLiteral("不匹配"), false, false});
}

void PlanActions::alreadyThere(const QString& source, const QString& target) {
    preview_.rows.push_back(PreviewRow{source, target, QStringLiteral("内容相同，跳过"), true, false});
}

void PlanActions::describe(const QString& source, const QString& note) {
    notes_.insert(source, note);
}

Preview PlanActions::take() {
    Preview out = std::move(preview_);
    out.counts.unmatched = int(unmatched_.size());
    out.rows.insert(out.rows.end(), std::make_move_iterator(unmatched_.begin()),
                    std::make_move_iterator(unmatched_.end()));
    preview_ = Preview();
    unmatched_.clear();
    return out;
}

std::optional<Preview> previewOf(SortRun& run, const FileOps& fs, ReplaceKeeper* keeper) {
    if (!run.check())
        return std::nullopt;
    PlanActions actions(fs, keeper);
    run.prepare(actions);
    run.sortAll(actions);
    return actions.take();
}

std::optional<Preview> previewFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs) {
    FileSortRun run(job, host);
    return previewOf(run, fs, host.replaceKeeper());
}

std::optional<Preview> previewFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs) {
    FolderSortRun run(job, host, fs);
    return previewOf(run, fs, host.replaceKeeper());
}

} // namespace velquin
