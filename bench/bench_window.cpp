#include "bench/bench.h"
#include "bench/quiethost.h"

#include "engine/filerun.h"
#include "engine/runhost.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "ui/appcontext.h"
#include "ui/criteria/typecriterion.h"
#include "ui/form1.h"
#include "ui/form6.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace velquin::bench {
namespace {

constexpr int kFiles = 20000;
constexpr int kFileSize = 4096;

// Answers every box at once and remembers the messages, so the run is timed without a person.
class AnsweringDialogs : public Dialogs {
public:
    QStringList messages;
    void information(QObject*, const QString& text) override { messages.append(text); }
    void informationWithDetails(QObject*, const QString& text, const QString&, const QString&) override {
        messages.append(text);
    }
    bool question(QObject*, const QString&, bool) override { return false; }
    bool warningQuestion(QObject*, const QString&) override { return false; }
    void error(QObject*, const QString& text) override { messages.append(text); }
    std::optional<QString> chooseFolder(QObject*, const QString&) override { return std::nullopt; }
    QStringList openFiles(QObject*, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFile(QObject*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> saveFile(QObject*, const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
};

void checkCount(const QString& folder) {
    int count = 0;
    for (const QFileInfo& sub : QDir(folder).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        count += int(QDir(sub.filePath()).entryList(QDir::Files | QDir::Hidden).size());
    if (count != kFiles) {
        std::fprintf(stderr, "%s holds %d files, expected %d\n", qPrintable(folder), count, kFiles);
        std::exit(2);
    }
}

// The file window, shown offscreen, set to copy `files` into `out` by type, skipping clashes.
struct TypeCopyWindow {
    TypeCopyWindow(const FileOps& fs, const QString& scratch, const QString& out, const QStringList& files)
        : ctx{dialogs, fs, scratch + QStringLiteral("/Velquin.ini")}, form(ctx) {
        form.PageControl1->setCurrentWidget(form.TabSheet2);
        form.RbCopy->setChecked(true);
        form.RbSkip->setChecked(true);
        form.EdtOutDir->setText(out);
        form.fileList->addAll(files);
        form.show();
        QApplication::processEvents();
    }
    AnsweringDialogs dialogs;
    AppContext ctx;
    TForm1 form;
};

// The file window, shown offscreen, sorting 20,000 files by type with copy from its start
// button to its closing message; against the engine's run of the same files without a window.
void windowRun20k() {
    const QString scratch = scratchFolder(QStringLiteral("window"));
    const QStringList windowFiles =
        makeFiles(scratch + QStringLiteral("/src1"), kFiles, kFileSize, typedName);
    const QStringList engineFiles =
        makeFiles(scratch + QStringLiteral("/src2"), kFiles, kFileSize, typedName);
    QDir().mkpath(scratch + QStringLiteral("/out1"));
    QDir().mkpath(scratch + QStringLiteral("/out2"));
    const FileOps fs;
    TypeCopyWindow shown(fs, scratch, scratch + QStringLiteral("/out1/"), windowFiles);
    AnsweringDialogs& dialogs = shown.dialogs;
    TForm1& form = shown.form;

    // The engine first: a later run never finds the caches warmer than an earlier one did.
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = engineFiles;
    QuietFileHost host(scratch + QStringLiteral("/out2"), TransferMode::Copy);
    settle();
    double cpuStart = processorSeconds();
    const double engine = timeIt([&] { runFileSort(job, host, fs); });
    const double engineCpu = processorSeconds() - cpuStart;
    checkCount(scratch + QStringLiteral("/out2"));
    settle();
    cpuStart = processorSeconds();
    const double window = timeIt([&] { form.BtnCopy->click(); });
    const double windowCpu = processorSeconds() - cpuStart;
    if (dialogs.messages != QStringList{QStringLiteral("分拣工作完成！")}) {
        std::fprintf(stderr, "the window run did not complete: %s\n",
                     qPrintable(dialogs.messages.join(u'|')));
        std::exit(2);
    }
    checkCount(scratch + QStringLiteral("/out1"));

    report(QStringLiteral("window_run_20k"), window, engine);
    // On a busy machine the wall-clock ratio wanders; the processor time shows what the window
    // itself adds.
    report(QStringLiteral("window_run_20k_cpu"), windowCpu, engineCpu);
}

// Writes `bytes` of data that no file system can compress or leave as holes.
void writeRealData(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 done = 0; done < bytes; done += block.size()) {
        for (qsizetype i = 0; i + 8 <= block.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(block.data() + i, &x, 8);
        }
        file.write(block.constData(), qMin<qint64>(block.size(), bytes - done));
    }
}

// The longest the window went without answering while `start` ran: the longest time between
// two runs of a 5 ms timer, the time after the last one included.
void reportStall(const QString& name, AnsweringDialogs& dialogs, const std::function<void()>& start) {
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTick.elapsed());
        sinceTick.restart();
        ++ticks;
    });
    settle();
    tick.start();
    sinceTick.start();
    const double seconds = timeIt(start);
    longest = qMax(longest, sinceTick.elapsed());
    tick.stop();
    if (dialogs.messages != QStringList{QStringLiteral("分拣工作完成！")}) {
        std::fprintf(stderr, "%s: the run did not complete: %s\n", qPrintable(name),
                     qPrintable(dialogs.messages.join(u'|')));
        std::exit(2);
    }
    std::printf("%s: longest gap %lld ms over a run of %.2f s (%d timer runs)\n", qPrintable(name),
                static_cast<long long>(longest), seconds, ticks);
    std::fflush(stdout);
}

// The folder window copying the folder `album` into `out` by keyword, from its start button.
void stallFolderCopy(const QString& name, const QString& album, const QString& out) {
    const FileOps fs;
    AnsweringDialogs dialogs;
    AppContext ctx{dialogs, fs, scratchFolder(QStringLiteral("config")) + QStringLiteral("/Velquin.ini")};
    TForm6 form(ctx);
    form.PageControl1->setCurrentIndex(int(FolderSortCriterion::ByKeyword));
    form.EdtKeys->setText(QStringLiteral("album"));
    form.EdtOutDir->setText(out + QLatin1Char('/'));
    form.folders()->addAll({album});
    form.show();
    QApplication::processEvents();
    reportStall(name, dialogs, [&] { form.BtnCopy->click(); });
}

// An album of `small` files of 4 KB in folders of 100 and `big` files of `megabytes` each.
QString makeAlbum(const QString& scratch, int small, int big, qint64 megabytes) {
    const QString album = scratch + QStringLiteral("/src/Album");
    QDir().mkpath(album);
    makeFiles(album, small, 4096,
              [](int i) { return QStringLiteral("part%1/photo%2.jpg").arg(i / 100).arg(i); });
    for (int i = 1; i <= big; ++i)
        writeRealData(album + QStringLiteral("/big%1.bin").arg(i), megabytes << 20);
    return album;
}

// 2,000 small files and two files of 512 MB, read cold where the page cache can be dropped.
void stallFolderRun() {
    const QString scratch = scratchFolder(QStringLiteral("stall"));
    stallFolderCopy(QStringLiteral("stall_folder_run"), makeAlbum(scratch, 2000, 2, 512),
                    scratch + QStringLiteral("/out"));
}

// Three big files read cold, as after plugging in a drive: VELQUIN_BENCH_BIG_MB each (1600).
void stallFolderRunCold() {
    const QString scratch = scratchFolder(QStringLiteral("stall-cold"));
    const qint64 mb = qEnvironmentVariableIsSet("VELQUIN_BENCH_BIG_MB")
                          ? qEnvironmentVariableIntValue("VELQUIN_BENCH_BIG_MB")
                          : 1600;
    stallFolderCopy(QStringLiteral("stall_folder_run_cold"), makeAlbum(scratch, 0, 3, mb),
                    scratch + QStringLiteral("/out"));
}

// The file window sorting 20,000 small files by type, read cold.
void stallFileRun() {
    const QString scratch = scratchFolder(QStringLiteral("stall-files"));
    const QStringList files = makeFiles(scratch + QStringLiteral("/src"), kFiles, kFileSize, typedName);
    const FileOps fs;
    TypeCopyWindow window(fs, scratch, scratch + QStringLiteral("/out/"), files);
    reportStall(QStringLiteral("stall_file_run_20k"), window.dialogs, [&] { window.form.BtnCopy->click(); });
}

// Runs a shell command; false (with a note) where it fails.
bool shell(const QString& command) {
    if (std::system(command.toLocal8Bit().constData()) == 0)
        return true;
    std::printf("  (%s failed)\n", qPrintable(command));
    return false;
}

// The output on a FUSE exFAT image (a 3 GB loop device), as a camera card or stick is.
void stallExfat() {
    const QString scratch = scratchFolder(QStringLiteral("stall-exfat"));
    const QString album = makeAlbum(scratch, 2000, 2, 256);
    const QString image = scratch + QStringLiteral("/card.img");
    const QString mount = scratch + QStringLiteral("/card");
    QDir().mkpath(mount);
    if (::geteuid() != 0 ||
        !shell(QStringLiteral("truncate -s 3G '%1' && mkfs.exfat -q '%1' >/dev/null 2>&1 || mkfs.exfat '%1' "
                              ">/dev/null && losetup -f --show '%1' > '%1.dev' && mount.exfat-fuse \"$(cat "
                              "'%1.dev')\" '%2' 2>/dev/null")
                   .arg(image, mount))) {
        std::printf("stall_folder_run_exfat: skipped (needs root, exfat-fuse and a loop device)\n");
        return;
    }
    stallFolderCopy(QStringLiteral("stall_folder_run_exfat"), album, mount);
    shell(QStringLiteral("umount '%1'; losetup -d \"$(cat '%2.dev')\"").arg(mount, image));
}

// The output on a drive whose every write takes 5 ms and every close of a written file 300 ms
// (velquin_slowdrive, a FUSE drive over a folder of the disk).
void stallSlowDrive() {
    const QString scratch = scratchFolder(QStringLiteral("stall-slow"));
    const QString album = makeAlbum(scratch, 20, 1, 64);
    const QString backing = scratch + QStringLiteral("/backing");
    const QString mount = scratch + QStringLiteral("/slow");
    QDir().mkpath(backing);
    QDir().mkpath(mount);
    const QString driver = QCoreApplication::applicationDirPath() + QStringLiteral("/velquin_slowdrive");
    if (!QFile::exists(driver) || !shell(QStringLiteral("'%1' '%2' '%3'").arg(driver, backing, mount))) {
        std::printf(
            "stall_folder_run_slow_drive: skipped (velquin_slowdrive needs libfuse3-dev and /dev/fuse)\n");
        return;
    }
    stallFolderCopy(QStringLiteral("stall_folder_run_slow_drive"), album, mount);
    shell(QStringLiteral("fusermount3 -u '%1' || umount '%1'").arg(mount));
}

const Registration registration(QStringLiteral("window_run_20k"), windowRun20k);
const Registration stall(QStringLiteral("stall_folder_run"), stallFolderRun);
const Registration stallCold(QStringLiteral("stall_folder_run_cold"), stallFolderRunCold);
const Registration stallFiles(QStringLiteral("stall_file_run_20k"), stallFileRun);
const Registration stallCard(QStringLiteral("stall_folder_run_exfat"), stallExfat);
const Registration stallSlow(QStringLiteral("stall_folder_run_slow_drive"), stallSlowDrive);

} // namespace
} // namespace velquin::bench
