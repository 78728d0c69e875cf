#include "engine/folderrun.h"

#include "engine/foldertree.h"
#include "engine/rules.h"
#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/localdate.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace velquin {

namespace {

// Unlocks the window on every way out of a run, early returns and exceptions included.
class RunLock {
public:
    explicit RunLock(RunHost& host) : host_(host) { host_.setLocked(true); }
    ~RunLock() { host_.setLocked(false); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    RunHost& host_;
};

// What the checks prepared for the loop.
struct Prepared {
    QString outputFolder; // ends in the separator
    FolderSortCriterion criterion = FolderSortCriterion::ByKeyword;
    QStringList keywords;
    int rangeBegin = 0;
    int rangeCount = 0;
    int fileCount = 0;
};

// The name of a listed folder. A trailing separator is looked past, so that "/data/Trip/" is
// sorted as "Trip" instead of pouring its contents into the sub-folder.
QString listedFolderName(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && endsWithSeparator(trimmed))
        trimmed.chop(1);
    return fileNameOf(trimmed);
}

// Steps 1 to 4: nullopt after a failed check, with its message shown and its focus given.
std::optional<Prepared> checkJob(const FolderSortJob& job, RunHost& host) {
    if (job.folders.isEmpty()) {
        host.information(QStringLiteral("没有需要分拣的文件夹（目录）!"));
        return std::nullopt;
    }
    QString output = host.outputFolderText();
    if (trimBlanks(output).isEmpty()) {
        host.information(QStringLiteral("请选择分拣结果输出目录！"));
        host.chooseOutputFolder();
        return std::nullopt;
    }
    // The field keeps the separator even when a later check fails.
    if (!endsWithSeparator(output)) {
        output = withTrailingSeparator(output);
        host.setOutputFolderText(output);
    }

    Prepared prepared;
    prepared.outputFolder = output;
    prepared.criterion = static_cast<FolderSortCriterion>(job.criterion);
    switch (prepared.criterion) {
    case FolderSortCriterion::ByKeyword:
        if (trimBlanks(job.keysText).isEmpty()) {
            host.information(QStringLiteral("请输入匹配关键字!"));
            host.focusField(FocusTarget::EdtKeys);
            return std::nullopt;
        }
        prepared.keywords = buildKeywordList(job.keysText);
        break;
    case FolderSortCriterion::ByName:
        if (job.useNameRange) {
            const std::optional<qint32> begin = parseInt32(job.rangeBeginText);
            if (!begin) {
                host.information(QStringLiteral("请输入整数序号!"));
                host.focusField(FocusTarget::EdtPartNameBegin);
                return std::nullopt;
            }
            const std::optional<qint32> end = parseInt32(job.rangeEndText);
            if (!end) {
                host.information(QStringLiteral("请输入整数序号!"));
                host.focusField(FocusTarget::EdtPartNameEnd);
                return std::nullopt;
            }
            qint64 first = *begin;
            qint64 last = *end;
            if (last < first)
                std::swap(first, last);
            last = std::min<qint64>(last, 254);
            prepared.rangeBegin = int(first);
            // Wide arithmetic: a begin near the lowest integer must not wrap the count.
            prepared.rangeCount = int(std::clamp<qint64>(last - first + 1, INT_MIN, INT_MAX));
        }
        break;
    case FolderSortCriterion::ByFileCount: {
        const std::optional<qint32> count = parseInt32(job.fileCountText);
        if (!count) {
            host.information(QStringLiteral("请输入整数!"));
            host.focusField(FocusTarget::EdtFileCount);
            return std::nullopt;
        }
        prepared.fileCount = *count;
        break;
    }
    case FolderSortCriterion::ByFolderDate:
        break;
    }
    return prepared;
}

enum class Step { Progress, NoProgress };

Step sortFolder(const FolderSortJob& job, const Prepared& prepared, const QString& path, RunHost& host,
                const FileOps& fs) {
    const QString& out = prepared.outputFolder;
    const QString name = listedFolderName(path);
    // "/a/.." or "/a/." would land the copy beside the output folder or pour it out loose.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return Step::Progress;
    switch (prepared.criterion) {
    case FolderSortCriterion::ByKeyword:
        for (const QString& keyword : prepared.keywords) {
            // A keyword such as ".." would lead out of the output folder, as in the file run.
            if (!keywordMatches(keyword, name) || !subFolderStaysInside(keyword))
                continue;
            const QString subFolder = out + keyword;
            if (!fs.isDir(subFolder))
                fs.makePath(subFolder);
            if (fs.isDir(path))
                CopyFolderTree(fs, host, path, subFolder + pathSeparator() + name, host.clashPolicy(), out);
        }
        break;
    case FolderSortCriterion::ByName: {
        QString subName = name;
        if (job.useNameRange)
            subName = CopyByChars(name, prepared.rangeBegin, prepared.rangeCount);
        subName = applyNameFilter(subName, job.filterText);
        if (!subFolderStaysInside(subName))
            break;
        const QString subFolder = out + subName;
        if (!fs.isDir(subFolder)) {
            // Left out without its progress step, like a dropped item of the file run.
            if (job.onlyExistingTargets)
                return Step::NoProgress;
            fs.makePath(subFolder);
        }
        if (fs.isDir(path))
            CopyFolderTree(fs, host, path, subFolder + pathSeparator() + name, host.clashPolicy(), out);
        break;
    }
    case FolderSortCriterion::ByFileCount: {
        // A folder that is missing or cannot be entered is passed over, whatever the count asked.
        const std::optional<int> count = countFilesIfListable(fs, path);
        if (count && *count == prepared.fileCount) {
            if (!fs.isDir(out))
                fs.makePath(out);
            if (fs.isDir(path))
                CopyFolderTree(fs, host, path, out + pathSeparator() + name, host.clashPolicy(), out);
        }
        break;
    }
    case FolderSortCriterion::ByFolderDate:
        break;
    }
    return Step::Progress;
}

int progressAfter(qsizetype index, qsizetype total) {
    return int(qint64(index) * 100 / qint64(total));
}

} // namespace

QString folderDateName(const QDate& date) {
    QString text = shortDateText(date);
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QLatin1Char('\\'), QLatin1Char('-'));
    return text;
}

void runFolderSort(const FolderSortJob& job, RunHost& host, const FileOps& fs) {
    const std::optional<Prepared> prepared = checkJob(job, host);
    if (!prepared)
        return;
    const qsizetype total = job.folders.size();
    if (prepared->criterion == FolderSortCriterion::ByFolderDate)
        fs.makePath(prepared->outputFolder + folderDateName(job.folderDate));
    {
        RunLock lock(host);
        for (qsizetype i = 0; i < total; ++i) {
            if (sortFolder(job, *prepared, job.folders.at(i), host, fs) == Step::Progress)
                host.setProgress(progressAfter(i, total));
        }
        host.setProgress(100);
    }
    host.information(QStringLiteral("分拣工作完成！"));
    host.setProgress(0);
}

} // namespace velquin
