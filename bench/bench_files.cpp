#include "bench/bench.h"
#include "bench/quiethost.h"

#include "engine/filerun.h"
#include "engine/runhost.h"
#include "platform/fileops.h"
#include "platform/trash.h"
#include "ui/criteria/keywordcriterion.h"
#include "ui/criteria/typecriterion.h"

#include <QDir>

#include <cstdio>
#include <functional>

namespace velquin::bench {
namespace {

constexpr int kFiles = 20000;
constexpr int kFileSize = 4096;

QString keywordName(int i) {
    static const char* const words[] = {"alpha", "bravo", "charlie", "delta", "echo"};
    return QStringLiteral("%1_%2.dat").arg(QLatin1String(words[i % 5])).arg(i);
}

double runVelquin(const FileSortJob& job, const QString& output, TransferMode mode,
                  ClashPolicy policy = ClashPolicy::Skip, ReplaceKeeper* keeper = nullptr) {
    const FileOps fs;
    QuietFileHost host(output, mode);
    host.policy = policy;
    host.keeper = keeper;
    settle();
    double seconds = timeIt([&] {
        if (runFileSort(job, host, fs) != RunEnd::Completed) {
            std::fprintf(stderr, "the run did not complete\n");
            std::exit(2);
        }
    });
    return seconds;
}

void checkCount(const QString& folder, int expected) {
    int count = 0;
    for (const QFileInfo& sub : QDir(folder).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        count += int(QDir(sub.filePath()).entryList(QDir::Files | QDir::Hidden).size());
    if (count != expected) {
        std::fprintf(stderr, "%s holds %d files in its sub-folders, expected %d\n", qPrintable(folder), count,
                     expected);
        std::exit(2);
    }
}

QString quoted(const QString& path) {
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// A copy run of `job`'s kind into an empty output folder, against `cp -r` of the same source.
void copyMeasure(const QString& name, FileSortJob job, const std::function<QString(int)>& nameOf) {
    const QString scratch = scratchFolder(name);
    job.Files = makeFiles(scratch + QStringLiteral("/src"), kFiles, kFileSize, nameOf);
    QDir().mkpath(scratch + QStringLiteral("/out"));
    const double ours = runVelquin(job, scratch + QStringLiteral("/out"), TransferMode::Copy);
    checkCount(scratch + QStringLiteral("/out"), kFiles);
    settle();
    const double baseline = timeShell(QStringLiteral("cp -r ") + quoted(scratch + QStringLiteral("/src")) +
                                      QLatin1Char(' ') + quoted(scratch + QStringLiteral("/cp")));
    report(name, ours, baseline);
}

void sortTypeCopy() {
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    copyMeasure(QStringLiteral("sort_type_copy_20k"), job, typedName);
}

void sortTypeMove() {
    const QString scratch = scratchFolder(QStringLiteral("type-move"));
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = makeFiles(scratch + QStringLiteral("/src"), kFiles, kFileSize, typedName);
    makeFiles(scratch + QStringLiteral("/src2"), kFiles, kFileSize, typedName);
    QDir().mkpath(scratch + QStringLiteral("/out"));
    QDir().mkpath(scratch + QStringLiteral("/mv"));
    const double ours = runVelquin(job, scratch + QStringLiteral("/out"), TransferMode::Move);
    checkCount(scratch + QStringLiteral("/out"), kFiles);
    settle();
    const double baseline = timeShell(QStringLiteral("find ") + quoted(scratch + QStringLiteral("/src2")) +
                                      QStringLiteral(" -type f -exec mv -t ") +
                                      quoted(scratch + QStringLiteral("/mv")) + QStringLiteral(" {} +"));
    report(QStringLiteral("sort_type_move_20k"), ours, baseline);
}

void sortKeywordCopy() {
    FileSortJob job;
    job.rule = std::make_shared<KeywordRule>(QStringLiteral("alpha bravo charlie delta echo"));
    copyMeasure(QStringLiteral("sort_keyword_copy_20k"), job, keywordName);
}

// 20,000 files of one name auto-numbered into one folder, against 20,000 distinct names copied
// the same way: finding the free name must cost about the same whatever the number reached.
void autoNumber20k() {
    const QString scratch = scratchFolder(QStringLiteral("autonumber"));
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = makeFiles(scratch + QStringLiteral("/same"), kFiles, kFileSize,
                          [](int i) { return QStringLiteral("d%1/photo.jpg").arg(i); });
    QDir().mkpath(scratch + QStringLiteral("/out1"));
    const double numbered =
        runVelquin(job, scratch + QStringLiteral("/out1"), TransferMode::Copy, ClashPolicy::AutoNumber);
    checkCount(scratch + QStringLiteral("/out1"), kFiles);
    job.Files = makeFiles(scratch + QStringLiteral("/distinct"), kFiles, kFileSize,
                          [](int i) { return QStringLiteral("d%1/photo%1.jpg").arg(i); });
    QDir().mkpath(scratch + QStringLiteral("/out2"));
    const double distinct =
        runVelquin(job, scratch + QStringLiteral("/out2"), TransferMode::Copy, ClashPolicy::AutoNumber);
    checkCount(scratch + QStringLiteral("/out2"), kFiles);
    report(QStringLiteral("autonumber_20k"), numbered, distinct);
}

// 20,000 files replacing 20,000 existing targets with the replaced ones kept in the trash,
// against the same run that lets them go.
void sortTypeOverwrite20k() {
    const QString scratch = scratchFolder(QStringLiteral("overwrite"));
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = makeFiles(scratch + QStringLiteral("/src"), kFiles, kFileSize, typedName);
    const auto targets = [&](const QString& out) {
        makeFiles(out, kFiles, 512,
                  [](int i) { return QStringLiteral(".ext%2/file%1.ext%2").arg(i).arg(i % 20); });
    };
    targets(scratch + QStringLiteral("/out1"));
    targets(scratch + QStringLiteral("/out2"));
    Trash trash(scratch + QStringLiteral("/Trash"));
    const double kept = runVelquin(job, scratch + QStringLiteral("/out1"), TransferMode::Copy,
                                   ClashPolicy::Overwrite, &trash);
    checkCount(scratch + QStringLiteral("/out1"), kFiles);
    const double gone =
        runVelquin(job, scratch + QStringLiteral("/out2"), TransferMode::Copy, ClashPolicy::Overwrite);
    checkCount(scratch + QStringLiteral("/out2"), kFiles);
    const int inTrash = int(QDir(scratch + QStringLiteral("/Trash/files")).entryList(QDir::Files).size());
    if (inTrash != kFiles) {
        std::fprintf(stderr, "the trash holds %d files, expected %d\n", inTrash, kFiles);
        std::exit(2);
    }
    report(QStringLiteral("sort_type_overwrite_20k"), kept, gone);
}

const Registration overwrite(QStringLiteral("sort_type_overwrite_20k"), sortTypeOverwrite20k);
const Registration autoNumber(QStringLiteral("autonumber_20k"), autoNumber20k);
const Registration typeCopy(QStringLiteral("sort_type_copy_20k"), sortTypeCopy);
const Registration typeMove(QStringLiteral("sort_type_move_20k"), sortTypeMove);
const Registration keywordCopy(QStringLiteral("sort_keyword_copy_20k"), sortKeywordCopy);

} // namespace
} // namespace velquin::bench
