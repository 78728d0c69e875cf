#include "headlesshost.h"

namespace velquin::test {

void HeadlessHost::setProgress(int position) {
    progress.push_back(position);
    // The item steps come before the closing 100 and the 0 after the message.
    if (position == 100 || !messages.isEmpty())
        return;
    ++itemSteps_;
    if (betweenItems)
        betweenItems(itemSteps_);
}

bool HeadlessHost::askOverwrite(const QString& target) {
    if (onAsk)
        onAsk(target);
    return answerYes;
}

bool HeadlessHost::endedNormally() const {
    return !locked_ && messages == QStringList{QString::fromUtf8("分拣工作完成！")} && progress.size() >= 2 &&
           progress.back() == 0 && progress.at(progress.size() - 2) == 100;
}

FileSortJob byTypeJob(const QStringList& files) {
    FileSortJob job;
    job.Files = files;
    job.Criterion = SortCriterion::ByType;
    return job;
}

FileSortJob byNameJob(const QStringList& files) {
    FileSortJob job;
    job.Files = files;
    job.Criterion = SortCriterion::ByName;
    return job;
}

FolderSortJob folderByNameJob(const QStringList& folders) {
    FolderSortJob job;
    job.Folders = folders;
    job.Criterion = FolderSortCriterion::ByName;
    return job;
}

} // namespace velquin::test
