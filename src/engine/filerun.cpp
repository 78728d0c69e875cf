#include "engine/filerun.h"

#include "engine/rules.h"
#include "engine/runactions.h"
#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/imageprobe.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <limits>

namespace velquin {

namespace {

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

qint64 sizeLimitBytes(qint64 value, bool megabytes) {
    const qint64 factor = megabytes ? 1024 * 1024 : 1024;
    qint64 result = 0;
    if (__builtin_mul_overflow(value, factor, &result))
        return value < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return result;
}

FileSortRun::FileSortRun(FileSortJob job, FileRunHost& host) : job_(std::move(job)), host_(host) {
}

RunEnd runFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs) {
    return FileSortRun(job, host).start(host, fs);
}

bool FileSortRun::check() {
    const auto fail = [this](const char* message, FocusTarget focus) {
        host_.information(QString::fromUtf8(message));
        if (focus != FocusTarget::None)
            host_.focusField(focus);
        return false;
    };
    const FileSortJob::Fields& f = job_.fields;

    if (job_.Files.isEmpty())
        return fail("没有需要分拣的文件!", FocusTarget::None);
    if (job_.Criterion != SortCriterion::ByImageSize && f.ChkInclude && f.ListBox2Count == 0)
        return fail("如果选择了只分拣某些文件类型，则类型不应当为空！", FocusTarget::None);

    RunFrame frame(host_);
    const std::optional<QString> output = frame.checkOutputFolder();
    if (!output)
        return false;
    job_.OutputFolder = *output;

    switch (job_.Criterion) {
    case SortCriterion::ByKeyword:
        return frame.checkKeywords(f.EdtKeys, job_.Keywords);
    case SortCriterion::ByName:
        return !job_.UseNameRange ||
               frame.checkNameRange(f.EdtPartNameBegin, f.EdtPartNameEnd, job_.RangeBegin, job_.RangeEnd);
    case SortCriterion::ByType:
        return true;
    case SortCriterion::BySize: {
        const auto value = trimBlanks(f.EdtSize).isEmpty() ? std::nullopt : parseInt64(f.EdtSize);
        if (!value)
            return fail("请输入正确的文件大小!", FocusTarget::EdtSize);
        job_.SizeLimit = sizeLimitBytes(*value, f.unitIsMB);
        job_.FixedFolderName = f.CmbCondition + f.EdtSize + f.CmbUnit;
        return true;
    }
    case SortCriterion::ByDate:
        job_.FixedFolderName = dateFolderName(job_.DateLimit.date(), true);
        dateThreshold_ = toDosDateTime(job_.DateLimit.date(), job_.DateLimit.time());
        return true;
    case SortCriterion::ByImageSize: {
        const auto value = trimBlanks(f.EdtPic).isEmpty() ? std::nullopt : parseInt32(f.EdtPic);
        if (!value)
            return fail("请输入正确的图片宽高!", FocusTarget::EdtPic);
        job_.ImageLimit = *value;
        job_.FixedFolderName = f.CmbPic + f.EdtPic;
        return true;
    }
    }
    return true;
}

void FileSortRun::PrepareCriterion(RunActions& actions) {
    if (job_.Criterion != SortCriterion::BySize && job_.Criterion != SortCriterion::ByDate &&
        job_.Criterion != SortCriterion::ByImageSize)
        return;
    const QString folder = job_.OutputFolder + job_.FixedFolderName;
    if (subFolderStaysInside(job_.FixedFolderName) && !actions.view().isDir(folder))
        actions.makeFolder(folder);
}

RunFrame::Step FileSortRun::sortOne(RunActions& actions, qsizetype index) {
    const QString& path = job_.Files.at(index);
    if (!passesFilter(path)) {
        actions.notMatched(path);
        return RunFrame::Step::NoProgress;
    }
    const ItemOutcome outcome = SortItem(actions, path);
    if (outcome != ItemOutcome::Sorted)
        actions.notMatched(path);
    return outcome == ItemOutcome::Dropped ? RunFrame::Step::NoProgress : RunFrame::Step::Progress;
}

bool FileSortRun::passesFilter(const QString& path) {
    const QString extension = extensionOf(path);
    if (job_.Criterion == SortCriterion::ByImageSize)
        return passesPictureTypes(host_.pictureTypes(), extension);
    return passesTypeFilter(host_.typeFilter(), extension);
}

bool FileSortRun::transferInto(RunActions& actions, const QString& path, const QString& subFolderName,
                               bool makeFolder) {
    if (!subFolderStaysInside(subFolderName))
        return false;
    const QString subFolder = job_.OutputFolder + subFolderName;
    if (makeFolder && !actions.view().isDir(subFolder))
        actions.makeFolder(subFolder);
    actions.transfer(path, subFolder, fileNameOf(path), host_.transferMode(), host_.clashPolicy());
    return true;
}

FileSortRun::ItemOutcome FileSortRun::SortItem(RunActions& actions, const QString& path) {
    const DiskView& disk = actions.view();
    const auto sortedInto = [&](const QString& name, bool makeFolder) {
        return transferInto(actions, path, name, makeFolder) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    };
    switch (job_.Criterion) {
    case SortCriterion::ByKeyword: {
        const QString base = baseNameOf(path);
        bool sorted = false;
        for (const QString& keyword : std::as_const(job_.Keywords)) {
            if (actions.stopping())
                break;
            if (keywordMatches(keyword, base))
                sorted = transferInto(actions, path, keyword, true) || sorted;
        }
        return sorted ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByName: {
        QString name = baseNameOf(path);
        if (job_.UseNameRange)
            name = CopyNameRange(name, job_.RangeBegin, job_.RangeEnd);
        name = applyNameFilter(name, job_.FilterText);
        if (!subFolderStaysInside(name))
            return ItemOutcome::NotMatched;
        if (job_.OnlyExistingTargets && !disk.isDir(job_.OutputFolder + name))
            return ItemOutcome::Dropped;
        return sortedInto(name, true);
    }
    case SortCriterion::ByType:
        return sortedInto(extensionOf(path), true);
    case SortCriterion::BySize: {
        const auto size = disk.openedFileSize(path);
        if (!size)
            return ItemOutcome::Dropped;
        const bool match =
            job_.SizeRelation == SizeTest::Greater ? *size > job_.SizeLimit : *size < job_.SizeLimit;
        return match ? sortedInto(job_.FixedFolderName, false) : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByDate: {
        const auto time =
            job_.DateSource == DateSource::FromHandle ? disk.modificationTime(path) : disk.entryTime(path);
        const DosDateTime stamp = time ? toDosDateTime(*time) : kUnreadableDosDateTime;
        const qint64 order = dosTimeOrder(stamp);
        const qint64 threshold = dosTimeOrder(dateThreshold_);
        const bool match = job_.DateRelation == DateTest::Earlier ? order < threshold : order > threshold;
        return match ? sortedInto(job_.FixedFolderName, false) : ItemOutcome::NotMatched;
    }
    case SortCriterion::ByImageSize: {
        const ImageDimensionKind kind = job_.ImageSide == ImageSide::Height ? 0 : 1;
        const qint64 dimension = qint64(GetImageDimension(path, kind) & 0xFFFFFFFFu);
        if (dimension == 0)
            return ItemOutcome::Dropped;
        bool match = false;
        switch (job_.ImageRelation) {
        case ImageTest::AtLeast:
            match = dimension >= job_.ImageLimit;
            break;
        case ImageTest::AtMost:
            match = dimension <= job_.ImageLimit;
            break;
        case ImageTest::Exactly:
            match = dimension == job_.ImageLimit;
            break;
        case ImageTest::None:
            break;
        }
        return match ? sortedInto(job_.FixedFolderName, false) : ItemOutcome::NotMatched;
    }
    }
    return ItemOutcome::NotMatched;
}

} // namespace velquin
