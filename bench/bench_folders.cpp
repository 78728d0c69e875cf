#include "bench/bench.h"
#include "bench/quiethost.h"

#include "engine/folderrun.h"
#include "engine/runhost.h"
#include "platform/fileops.h"

#include <QStringList>

namespace velquin::bench {

namespace {

// Ten folders of 1,000 files of 4 KiB each, spread over ten sub-folders, all matching one
// keyword, copied into an empty output folder; against cp -r of the same folders.
void folderCopy10k() {
    const QString root = scratchFolder(QStringLiteral("folders"));
    QStringList folders;
    for (int f = 0; f < 10; ++f) {
        const QString folder = root + QStringLiteral("/src/Album") + QString::number(f);
        makeFiles(folder, 1000, 4096,
                  [](int i) { return QStringLiteral("part%1/photo%2.jpg").arg(i / 100).arg(i); });
        folders.append(folder);
    }

    FileOps fs;
    QuietHost host;
    host.output = root + QStringLiteral("/out");
    FolderSortJob job;
    job.Folders = folders;
    job.Criterion = FolderSortCriterion::ByKeyword;
    job.fields.EdtKeys = QStringLiteral("album");

    settle();
    const double velquin = timeIt([&] { runFolderSort(job, host, fs); });
    settle();
    const QString baselineOut = root + QStringLiteral("/baseline/album");
    const double baseline = timeShell(QStringLiteral("mkdir -p '") + baselineOut +
                                      QStringLiteral("' && cp -r '") + folders.join(QStringLiteral("' '")) +
                                      QStringLiteral("' '") + baselineOut + QStringLiteral("/'"));
    report(QStringLiteral("folder_copy_10k"), velquin, baseline);
}

const Registration registration(QStringLiteral("folder_copy_10k"), folderCopy10k);

} // namespace

} // namespace velquin::bench
