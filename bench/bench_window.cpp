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
#include <cstring>
#include <sys/resource.h>

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

    AnsweringDialogs dialogs;
    AppContext ctx{dialogs, fs, scratch + QStringLiteral("/Velquin.ini")};
    TForm1 form(ctx);
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    form.RbCopy->setChecked(true);
    form.RbSkip->setChecked(true);
    form.EdtOutDir->setText(scratch + QStringLiteral("/out1/"));
    form.fileList->addAll(windowFiles);
    form.show();
    QApplication::processEvents();

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

// The folder window copying a tree of 2,000 small files and two files of 512 MB from its start
// button: the longest time between two runs of a 5 ms timer, that is, the longest the window
// went without answering.
void stallFolderRun() {
    const QString scratch = scratchFolder(QStringLiteral("stall"));
    const QString album = scratch + QStringLiteral("/src/Album");
    makeFiles(album, 2000, 4096,
              [](int i) { return QStringLiteral("part%1/photo%2.jpg").arg(i / 100).arg(i); });
    writeRealData(album + QStringLiteral("/big1.bin"), qint64(512) << 20);
    writeRealData(album + QStringLiteral("/big2.bin"), qint64(512) << 20);
    const FileOps fs;
    AnsweringDialogs dialogs;
    AppContext ctx{dialogs, fs, scratch + QStringLiteral("/Velquin.ini")};
    TForm6 form(ctx);
    form.PageControl1->setCurrentIndex(int(FolderSortCriterion::ByKeyword));
    form.EdtKeys->setText(QStringLiteral("album"));
    form.EdtOutDir->setText(scratch + QStringLiteral("/out/"));
    form.folders()->addAll({album});
    form.show();
    QApplication::processEvents();

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
    const double seconds = timeIt([&] { form.BtnCopy->click(); });
    tick.stop();
    if (dialogs.messages != QStringList{QStringLiteral("分拣工作完成！")}) {
        std::fprintf(stderr, "the folder run did not complete: %s\n",
                     qPrintable(dialogs.messages.join(u'|')));
        std::exit(2);
    }
    std::printf("stall_folder_run: longest gap %lld ms over a run of %.2f s (%d timer runs)\n",
                static_cast<long long>(longest), seconds, ticks);
    std::fflush(stdout);
}

const Registration registration(QStringLiteral("window_run_20k"), windowRun20k);
const Registration stall(QStringLiteral("stall_folder_run"), stallFolderRun);

} // namespace
} // namespace velquin::bench
