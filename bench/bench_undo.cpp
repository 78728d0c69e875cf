#include "bench/bench.h"

#include "bench/quiethost.h"
#include "engine/filerun.h"
#include "engine/planner.h"
#include "engine/preview.h"
#include "platform/fileops.h"
#include "platform/trash.h"
#include "ui/dlgpreview.h"

#include <QApplication>
#include <QDir>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace velquin::bench {
namespace {

constexpr int kFiles = 20000;
constexpr int kFileSize = 4096;
constexpr int kRows = 100000;

QString typedName(int i) {
    return QStringLiteral("file%1.ext%2").arg(i).arg(i % 20);
}

// Where a run by type puts file i: one sub-folder per extension.
QString targetOf(const QString& out, int i) {
    return out + QStringLiteral("/ext%1/").arg(i % 20) + typedName(i);
}

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(2);
}

// Overwrites existing targets [from, to) with their sources, as an Overwrite run does; with a
// trash, each old target is kept there first.
// Processor seconds (user and system) this process has used so far.
double processorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Spent {
    double wall = 0;
    double processor = 0;
};

void replaceRange(const QStringList& sources, const QString& out, int from, int to, Trash* trash,
                  Spent& spent) {
    const FileOps fs;
    const double start = processorSeconds();
    spent.wall += timeIt([&] {
        for (int i = from; i < to; ++i) {
            const QString target = targetOf(out, i);
            if (trash && !trash->keep(target))
                fail("a target could not be kept in the trash");
            if (!fs.copyFile(sources.at(i), target, FileOps::CopyMode::Replace).ok())
                fail("a replace failed");
        }
    });
    spent.processor += processorSeconds() - start;
}

// 20,000 replaced targets kept in the trash, against the same replaces dropping them. The two
// take turns in slices, so that what else the machine does falls on both alike.
void replaceWithTrash() {
    constexpr int kSlice = 2000;
    const QString scratch = scratchFolder(QStringLiteral("trash"));
    const QStringList withSources =
        makeFiles(scratch + QStringLiteral("/src1"), kFiles, kFileSize, typedName);
    const QStringList withoutSources =
        makeFiles(scratch + QStringLiteral("/src2"), kFiles, kFileSize, typedName);
    for (const QString& out : {QStringLiteral("/out1"), QStringLiteral("/out2")})
        makeFiles(scratch + out, kFiles, kFileSize, [&](int i) { return targetOf(QString(), i).mid(1); });
    // The home trash of the measure, on the drive of the files, never the user's own.
    Trash trash(scratch + QStringLiteral("/Trash"));
    settle();
    Spent kept;
    Spent dropped;
    for (int from = 0; from < kFiles; from += kSlice) {
        replaceRange(withSources, scratch + QStringLiteral("/out1"), from, from + kSlice, &trash, kept);
        replaceRange(withoutSources, scratch + QStringLiteral("/out2"), from, from + kSlice, nullptr,
                     dropped);
    }
    if (QDir(scratch + QStringLiteral("/Trash/files")).entryList(QDir::Files).size() != kFiles)
        fail("the trash does not hold every replaced file");
    report(QStringLiteral("replace_trash_20k"), kept.wall, dropped.wall);
    // The wall clock wanders on a busy machine; the processor time shows what the trash adds.
    report(QStringLiteral("replace_trash_20k_cpu"), kept.processor, dropped.processor);
}

// The preview of a file run over 100,000 listed files, from the checks to the dialog's first
// painted frame: every decision planned against the disk and the earlier rows (two files in
// three share a name with another, so their rows are auto-numbered), then shown; the baseline is
// the two seconds it may take.
void preview100k() {
    const QString scratch = scratchFolder(QStringLiteral("preview"));
    FileSortJob job;
    job.Criterion = SortCriterion::ByType;
    job.Files = makeFiles(scratch + QStringLiteral("/src"), kRows, 0, [](int i) {
        return QStringLiteral("d%1/IMG_%2.jpg")
            .arg(i % 3)
            .arg(i / 3 * 3 + (i % 3 == 2 ? 1 : 0), 6, 10, QLatin1Char('0'));
    });
    QDir().mkpath(scratch + QStringLiteral("/out"));
    QuietFileHost host(scratch + QStringLiteral("/out"), TransferMode::Copy);
    host.policy = ClashPolicy::AutoNumber;
    const FileOps fs;
    std::optional<Preview> preview;
    const double seconds = timeIt([&] {
        preview = previewFileSort(job, host, fs);
        if (!preview)
            fail("the preview's checks failed");
        DlgPreview dialog(nullptr, std::move(preview->rows), preview->counts, TransferMode::Copy);
        dialog.show();
        QApplication::processEvents();
        if (dialog.GridPreview->model()->rowCount() != kRows)
            fail("the preview does not show every row");
    });
    report(QStringLiteral("preview_100k"), seconds, 2.0);
}

const Registration trashRegistration(QStringLiteral("replace_trash_20k"), replaceWithTrash);
const Registration previewRegistration(QStringLiteral("preview_100k"), preview100k);

} // namespace
} // namespace velquin::bench
