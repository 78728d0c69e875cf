#include "engine/folderrun.h"

#include "engine/foldertree.h"
#include "engine/rules.h"
#include "engine/runactions.h"
#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <cerrno>

namespace velquin {

namespace {

// The name of a listed folder. A trailing separator is looked past, so that "/data/Trip/" is
// sorted as "Trip" instead of pouring its contents into the sub-folder.
QString listedFolderName(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && endsWithSeparator(trimmed))
        trimmed.chop(1);
    return fileNameOf(trimmed);
}

} // namespace

FolderSortRun::FolderSortRun(FolderSortJob job, RunHost& host, const FileOps& fs)
    : job_(std::move(job)), host_(host), fs_(fs) {
}

RunEnd runFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs) {
    return FolderSortRun(job, host, fs).start(host, fs);
}

bool FolderSortRun::check() {
    if (job_.Folders.isEmpty()) {
        host_.information(QStringLiteral("没有需要分拣的文件夹（目录）!"));
        return false;
    }
    RunFrame frame(host_);
    const std::optional<QString> output = frame.checkOutputFolder();
    if (!output)
        return false;
    job_.OutputFolder = *output;

    const FolderSortJob::Fields& f = job_.fields;
    switch (job_.Criterion) {
    case FolderSortCriterion::ByKeyword:
        return frame.checkKeywords(f.EdtKeys, job_.Keywords);
    case FolderSortCriterion::ByName:
        return !job_.UseNameRange ||
               frame.checkNameRange(f.EdtPartNameBegin, f.EdtPartNameEnd, job_.RangeBegin, job_.RangeEnd);
    case FolderSortCriterion::ByFileCount: {
        const std::optional<qint32> count = parseInt32(f.EdtFileCount);
        if (!count) {
            host_.information(QStringLiteral("请输入整数!"));
            host_.focusField(FocusTarget::EdtFileCount);
            return false;
        }
        job_.FileCount = *count;
        return true;
    }
    case FolderSortCriterion::ByFolderDate:
        return true;
    }
    return true;
}

void FolderSortRun::prepare(RunActions& actions) {
    if (job_.Criterion == FolderSortCriterion::ByFolderDate)
        actions.makeFolder(job_.OutputFolder + dateFolderName(job_.fields.DtDate, false));
}

void FolderSortRun::copyInto(RunActions& actions, const QString& path, const QString& destination) {
    if (fs_.isDir(path))
        CopyFolderTree(actions, fs_, path, destination, host_.clashPolicy(), job_.OutputFolder);
    else // gone since it was listed: not sorted, and the closing box says so
        actions.unlistable(path, destination, fs_.exists(path) ? ENOTDIR : ENOENT);
}

RunFrame::Step FolderSortRun::sortOne(RunActions& actions, qsizetype index) {
    const QString& path = job_.Folders.at(index);
    const QString& out = job_.OutputFolder;
    const QString name = listedFolderName(path);
    const DiskView& disk = actions.view();
    // "/a/.." or "/a/." would land the copy beside the output folder or pour it out loose.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        actions.notMatched(path);
        return RunFrame::Step::Progress;
    }
    bool sorted = false;
    switch (job_.Criterion) {
    case FolderSortCriterion::ByKeyword:
        for (const QString& keyword : std::as_const(job_.Keywords)) {
            // A keyword such as ".." would lead out of the output folder, as in the file run.
            if (actions.stopping() || !keywordMatches(keyword, name) || !subFolderStaysInside(keyword))
                continue;
            const QString subFolder = out + keyword;
            if (!disk.isDir(subFolder))
                actions.makeFolder(subFolder);
            copyInto(actions, path, subFolder + pathSeparator() + name);
            sorted = true;
        }
        break;
    case FolderSortCriterion::ByName: {
        QString subName = name;
        if (job_.UseNameRange)
            subName = CopyNameRange(name, job_.RangeBegin, job_.RangeEnd);
        subName = applyNameFilter(subName, job_.FilterText);
        if (!subFolderStaysInside(subName))
            break;
        const QString subFolder = out + subName;
        if (!disk.isDir(subFolder)) {
            // Left out without its progress step, like a dropped item of the file run.
            if (job_.OnlyExistingTargets) {
                actions.notMatched(path);
                return RunFrame::Step::NoProgress;
            }
            actions.makeFolder(subFolder);
        }
        copyInto(actions, path, subFolder + pathSeparator() + name);
        sorted = true;
        break;
    }
    case FolderSortCriterion::ByFileCount: {
        // A folder that is missing or cannot be entered is passed over, whatever the count asked.
        const std::optional<int> count = countFilesIfListable(fs_, path);
        if (!count && !fs_.exists(path)) {
            actions.unlistable(path, out + pathSeparator() + name, ENOENT);
            sorted = true;
        } else if (count && *count == job_.FileCount) {
            if (!disk.isDir(out))
                actions.makeFolder(out);
            copyInto(actions, path, out + pathSeparator() + name);
            sorted = true;
        }
        break;
    }
    case FolderSortCriterion::ByFolderDate:
        break;
    }
    if (!sorted)
        actions.notMatched(path);
    return RunFrame::Step::Progress;
}

} // namespace velquin
