#include "engine/filerun.h"

#include "engine/rules.h"
#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/imageprobe.h"
#include "platform/localdate.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <limits>

namespace velquin {

namespace {

constexpr int kRangeEndCap = 254;

// Unlocks the window on every way out of the loop, an exception included.
class LockGuard {
public:
    explicit LockGuard(RunHost& host) : host_(host) { host_.setLocked(true); }
    ~LockGuard() { unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    void unlock() {
        if (locked_) {
            locked_ = false;
            host_.setLocked(false);
        }
    }

private:
    RunHost& host_;
    bool locked_ = true;
};

QString starred(const QString& extension) {
    return QLatin1Char('*') + extension;
}

} // namespace

bool passesTypeFilter(const TypeFilter& filter, const QString& extension) {
    if (filter.mode == TypeFilterMode::None)
        return true;
    const QString key = starred(extension);
    bool listed = false;
    for (const QString& pattern : filter.patterns) {
        if (pattern.compare(key, Qt::CaseInsensitive) == 0) {
            listed = true;
            break;
        }
    }
    return filter.mode == TypeFilterMode::Exclude ? !listed : listed;
}

bool passesPictureTypes(const QStringList& checkedItems, const QString& extension) {
    const QString key = starred(asciiUpper(extension));
    for (const QString& item : checkedItems) {
        if (item.contains(key, Qt::CaseSensitive))
            return true;
    }
    return false;
}

qint64 sizeLimitBytes(qint64 value, int unitIndex) {
    const qint64 factor = unitIndex == 1 ? 1024 * 1024 : 1024;
    qint64 result = 0;
    if (__builtin_mul_overflow(value, factor, &result))
        return value < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return result;
}

QString dateFolderName(const QDate& date) {
    QString name = shortDateText(date);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.replace(QLatin1Char('\\'), QLatin1Char('-'));
    return name;
}

FileSortRun::FileSortRun(FileSortJob job, FileRunHost& host, const FileOps& fs)
    : job_(std::move(job)), host_(host), fs_(fs) {
}

FileRunOutcome runFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs) {
    return FileSortRun(job, host, fs).run();
}

FileRunOutcome FileSortRun::run() {
    if (!checkOptions())
        return FileRunOutcome::CheckFailed;

    LockGuard lock(host_);
    const qint64 count = job_.files.size();
    for (qint64 i = 0; i < count; ++i) {
        const QString& path = job_.files.at(i);
        if (!passesFilter(path))
            continue;
        if (SortItem(path) == ItemOutcome::Dropped)
            continue;
        host_.setProgress(int(i * 100 / count));
    }
    host_.setProgress(100);
    lock.unlock();
    host_.information(QString::fromUtf8("分拣工作完成！"));
    host_.setProgress(0);
    return FileRunOutcome::Completed;
}

bool FileSortRun::checkOptions() {
    const auto fail = [this](const char* message, FocusTarget focus) {
        host_.information(QString::fromUtf8(message));
        if (focus != FocusTarget::None)
            host_.focusField(focus);
        return false;
    };

    if (job_.files.isEmpty())
        return fail("没有需要分拣的文件!", FocusTarget::None);
    if (job_.criterion != SortCriterion::ByImageSize && job_.includeChecked && job_.typePatternCount == 0)
        return fail("如果选择了只分拣某些文件类型，则类型不应当为空！", FocusTarget::None);

    QString output = host_.outputFolderText();
    if (trimBlanks(output).isEmpty()) {
        host_.information(QString::fromUtf8("请选择分拣结果输出目录！"));
        host_.chooseOutputFolder();
        return false;
    }
    if (!endsWithSeparator(output)) {
        output += pathSeparator();
        host_.setOutputFolderText(output);
    }
    outputFolder_ = output;

    switch (job_.criterion) {
    case SortCriterion::ByKeyword:
        if (trimBlanks(job_.keysText).isEmpty())
            return fail("请输入匹配关键字!", FocusTarget::EdtKeys);
        break;
    case SortCriterion::ByName:
        if (job_.useNameRange) {
            const auto begin = parseInt32(job_.rangeBeginText);
            if (!begin)
                return fail("请输入整数序号!", FocusTarget::EdtPartNameBegin);
            const auto end = parseInt32(job_.rangeEndText);
            if (!end)
                return fail("请输入整数序号!", FocusTarget::EdtPartNameEnd);
            rangeBegin_ = *begin;
            rangeEnd_ = *end;
            if (rangeEnd_ < rangeBegin_)
                std::swap(rangeBegin_, rangeEnd_);
            if (rangeEnd_ > kRangeEndCap)
                rangeEnd_ = kRangeEndCap;
        }
        break;
    case SortCriterion::ByType:
    case SortCriterion::ByDate:
        break;
    case SortCriterion::BySize: {
        const auto value = trimBlanks(job_.sizeText).isEmpty() ? std::nullopt : parseInt64(job_.sizeText);
        if (!value)
            return fail("请输入正确的文件大小!", FocusTarget::EdtSize);
        sizeLimit_ = sizeLimitBytes(*value, job_.sizeUnitIndex);
        break;
    }
    case SortCriterion::ByImageSize: {
        const auto value =
            trimBlanks(job_.imageLimitText).isEmpty() ? std::nullopt : parseInt32(job_.imageLimitText);
        if (!value)
            return fail("请输入正确的图片宽高!", FocusTarget::EdtPic);
        imageLimit_ = *value;
        break;
    }
    }
    PrepareCriterion();
    return true;
}

void FileSortRun::PrepareCriterion() {
    switch (job_.criterion) {
    case SortCriterion::ByKeyword:
        keywords_ = buildKeywordList(job_.keysText);
        return;
    case SortCriterion::ByName:
    case SortCriterion::ByType:
        return;
    case SortCriterion::BySize:
        fixedFolderName_ = job_.sizeConditionText + job_.sizeText + job_.sizeUnitText;
        break;
    case SortCriterion::ByDate:
        fixedFolderName_ = dateFolderName(job_.date);
        dateThreshold_ = toDosDateTime(job_.date, job_.time);
        break;
    case SortCriterion::ByImageSize:
        fixedFolderName_ = job_.imageRelationText + job_.imageLimitText;
        break;
    }
    const QString folder = outputFolder_ + fixedFolderName_;
    if (subFolderStaysInside(fixedFolderName_) && !fs_.isDir(folder))
        fs_.makePath(folder);
}

bool FileSortRun::passesFilter(const QString& path) {
    const QString extension = extensionOf(path);
    if (job_.criterion == SortCriterion::ByImageSize)
        return passesPictureTypes(host_.pictureTypes(), extension);
    return passesTypeFilter(host_.typeFilter(), extension);
}

bool FileSortRun::transferInto(const QString& path, const QString& subFolderName, bool makeFolder) {
    if (!subFolderStaysInside(subFolderName))
        return false;
    const QString subFolder = outputFolder_ + subFolderName;
    if (makeFolder && !fs_.isDir(subFolder))
        fs_.makePath(subFolder);
    TransferFile(fs_, host_, path, subFolder, fileNameOf(path), host_.transferMode(), host_.clashPolicy());
    return true;
}

FileSortRun::ItemOutcome FileSortRun::SortItem(const QString& path) {
    switch (job_.criterion) {
    case SortCriterion::ByKeyword: {
        const QString base = baseNameOf(path);
        bool sorted = false;
        for (const QString& keyword : std::as_const(keywords_)) {
            if (keywordMatches(keyword, base))
                sorted = transferInto(path, keyword, true) || sorted;
        }
        return sorted ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByName: {
        QString name = baseNameOf(path);
        if (job_.useNameRange) {
            const qint64 count = qint64(rangeEnd_) - rangeBegin_ + 1;
            name = CopyByChars(name, rangeBegin_, int(qMin<qint64>(count, std::numeric_limits<int>::max())));
        }
        name = applyNameFilter(name, job_.filterText);
        if (!subFolderStaysInside(name))
            return ItemOutcome::NotMatched;
        if (job_.onlyExistingTargets && !fs_.isDir(outputFolder_ + name))
            return ItemOutcome::Dropped;
        return transferInto(path, name, true) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByType:
        return transferInto(path, extensionOf(path), true) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    case SortCriterion::BySize: {
        const auto size = fs_.openedFileSize(path);
        if (!size)
            return ItemOutcome::Dropped;
        const bool match = job_.sizeConditionIndex == 0 ? *size > sizeLimit_ : *size < sizeLimit_;
        if (!match)
            return ItemOutcome::NotMatched;
        return transferInto(path, fixedFolderName_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByDate: {
        const auto time = job_.dateSource == DateSource::FromHandle ? fs_.modificationTimeOpened(path)
                                                                    : fs_.entryTime(path);
        const DosDateTime stamp = time ? toDosDateTime(*time) : kUnreadableDosDateTime;
        const bool match = job_.dateRelationIndex == 0 ? stamp < dateThreshold_ : stamp > dateThreshold_;
        if (!match)
            return ItemOutcome::NotMatched;
        return transferInto(path, fixedFolderName_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByImageSize: {
        const ImageDimensionKind kind = job_.imageSide == ImageSide::Height ? 0 : 1;
        const qint64 dimension = qint64(GetImageDimension(path, kind) & 0xFFFFFFFFu);
        if (dimension == 0)
            return ItemOutcome::Dropped;
        bool match = false;
        switch (job_.imageRelationIndex) {
        case 0:
            match = dimension >= imageLimit_;
            break;
        case 1:
            match = dimension <= imageLimit_;
            break;
        case 2:
            match = dimension == imageLimit_;
            break;
        default:
            break;
        }
        if (!match)
            return ItemOutcome::NotMatched;
        return transferInto(path, fixedFolderName_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    }
    return ItemOutcome::NotMatched;
}

} // namespace velquin
