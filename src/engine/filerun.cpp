#include "engine/filerun.h"

#include "engine/runactions.h"
#include "engine/runhost.h"
#include "engine/transfer.h"
#include "platform/paths.h"
#include "platform/text.h"

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

FileRule::~FileRule() = default;

const DiskView& FileItem::disk() const {
    return actions_.view();
}

bool FileItem::stopping() const {
    return actions_.stopping();
}

bool FileItem::sortInto(const QString& subFolder, bool makeFolder) {
    return sortAs(path_, subFolder, fileNameOf(path_), makeFolder);
}

bool FileItem::sortAs(const QString& path, const QString& subFolder, const QString& name, bool makeFolder,
                      QString* placedAt) {
    if (!subFolderStaysInside(subFolder))
        return false;
    const QString folder = output_ + subFolder;
    if (makeFolder && !actions_.view().isDir(folder))
        actions_.makeFolder(folder);
    actions_.transfer(path, folder, name, host_.transferMode(), host_.clashPolicy(), placedAt);
    return true;
}

void FileItem::alreadyThere(const QString& path, const QString& target) {
    actions_.alreadyThere(path, target);
}

void FileItem::describe(const QString& path, const QString& note) {
    actions_.describe(path, note);
}

bool FileItem::takesPart(const QString& path) {
    const QString extension = extensionOf(path);
    if (!rule_.filtersByType())
        return passesPictureTypes(host_.pictureTypes(), extension);
    return passesTypeFilter(host_.typeFilter(), extension);
}

void FileItem::notSorted(const QString& path) {
    actions_.notMatched(path);
}

FileSortRun::FileSortRun(FileSortJob job, FileRunHost& host) : job_(std::move(job)), host_(host) {
}

RunEnd runFileSort(const FileSortJob& job, FileRunHost& host, const FileOps& fs) {
    return FileSortRun(job, host).start(host, fs);
}

bool FileSortRun::check() {
    RunFrame frame(host_);
    if (job_.Files.isEmpty())
        return frame.fail(QStringLiteral("没有需要分拣的文件!"));
    if (job_.rule->filtersByType() && job_.onlyListedTypes && job_.listedTypes == 0)
        return frame.fail(QStringLiteral("如果选择了只分拣某些文件类型，则类型不应当为空！"));
    const std::optional<QString> output = frame.checkOutputFolder();
    if (!output)
        return false;
    output_ = *output;
    return job_.rule->check(frame);
}

void FileSortRun::PrepareCriterion(RunActions& actions) {
    job_.rule->prepareItems(job_.Files);
    const QString name = job_.rule->fixedFolder();
    if (name.isEmpty())
        return;
    const QString folder = output_ + name;
    if (subFolderStaysInside(name) && !actions.view().isDir(folder))
        actions.makeFolder(folder);
}

RunFrame::Step FileSortRun::sortOne(RunActions& actions, qsizetype index) {
    const QString& path = job_.Files.at(index);
    FileItem item(actions, host_, *job_.rule, index, path, output_);
    if (!item.takesPart(path)) {
        actions.notMatched(path);
        return RunFrame::Step::NoProgress;
    }
    const ItemOutcome outcome = job_.rule->sort(item);
    if (outcome != ItemOutcome::Sorted)
        actions.notMatched(path);
    return outcome == ItemOutcome::Dropped ? RunFrame::Step::NoProgress : RunFrame::Step::Progress;
}

} // namespace velquin
