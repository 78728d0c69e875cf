// Source lists at scale: a folder walk into the real list and view, a million additions under
// the duplicate rule, and the import of a large list file.
#include "bench/bench.h"

#include "lists/eventpump.h"
#include "lists/folderwalk.h"
#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "platform/names.h"
#include "ui/sourcelistview.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <sys/resource.h>

namespace velquin::bench {
namespace {

// Resident memory of this process in MB.
double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// A tree of 1,000 folders three levels deep (10 x 10 x 10) with `perFolder` files in each.
QString makeTree(const QString& name, int perFolder) {
    const QString root = scratchFolder(name);
    makeFiles(root, 1000 * perFolder, 0, [perFolder](int i) {
        const int folder = i / perFolder;
        return QStringLiteral("d%1/e%2/f%3/file%4.jpg")
            .arg(folder / 100)
            .arg(folder / 10 % 10)
            .arg(folder % 10)
            .arg(i);
    });
    return root;
}

// Everything the window shows while it walks: the list model in a view, events let through.
struct ShownList {
    SourceListModel model;
    SourceListView view;
    ShownList() {
        view.setSourceModel(&model);
        view.resize(700, 170);
        view.show();
        QCoreApplication::processEvents();
    }
};

class OpenFileAnswer : public Dialogs {
public:
    explicit OpenFileAnswer(QString path) : path_(std::move(path)) {}
    void information(QObject*, const QString&) override {}
    void informationWithDetails(QObject*, const QString&, const QString&, const QString&) override {}
    bool question(QObject*, const QString&, bool) override { return false; }
    bool warningQuestion(QObject*, const QString&) override { return false; }
    void error(QObject*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    std::optional<QString> chooseFolder(QObject*, const QString&) override { return std::nullopt; }
    QStringList openFiles(QObject*, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFile(QObject*, const QString&, const QString&) override { return path_; }
    std::optional<QString> saveFile(QObject*, const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }

private:
    QString path_;
};

void walkAll100k() {
    const QString root = makeTree(QStringLiteral("walk"), 100);
    const QString quoted = QLatin1Char('\'') + root + QLatin1Char('\'');
    // Both runs start with the tree's folders in the cache.
    timeShell(QStringLiteral("find ") + quoted + QStringLiteral(" -type f > /dev/null"));
    const FileOps fs;
    ShownList list;
    EventPump pump([] { QCoreApplication::processEvents(); });
    const double cpuBefore = processorSeconds();
    const double velquin = timeIt([&] {
        IndexDisk(list.model, fs, root + QLatin1Char('/'), pump);
        QCoreApplication::processEvents();
    });
    const double cpu = processorSeconds() - cpuBefore;
    if (list.model.count() != 100000)
        std::fprintf(stderr, "walk_all_100k: listed %lld files\n",
                     static_cast<long long>(list.model.count()));
    const double childrenBefore = processorSeconds(RUSAGE_CHILDREN);
    const double baseline =
        timeShell(QStringLiteral("find ") + quoted + QStringLiteral(" -type f > /dev/null"));
    const double baselineCpu = processorSeconds(RUSAGE_CHILDREN) - childrenBefore;
    report(QStringLiteral("walk_all_100k"), velquin, baseline);
    std::printf("walk_all_100k: processor time velquin %.3f s, baseline %.3f s, ratio %.2f\n", cpu,
                baselineCpu, baselineCpu > 0 ? cpu / baselineCpu : 0.0);
}

void listAdd1m() {
    ShownList list;
    const double before = residentMb();
    const double cpuBefore = processorSeconds();
    const QString prefix = QStringLiteral("/home/user/photos/2023/album-");
    const double seconds = timeIt([&] {
        for (int i = 0; i < 1000000; ++i)
            list.model.addUnique(prefix + QString::number(i / 1000) + QStringLiteral("/IMG_") +
                                 QString::number(i) + QStringLiteral(".JPG"));
        if (list.model.addUnique(prefix + QStringLiteral("0/IMG_0.JPG")))
            std::fprintf(stderr, "list_add_1m: the duplicate was added\n");
        QCoreApplication::processEvents();
    });
    const double cpu = processorSeconds() - cpuBefore;
    std::printf("list_add_1m: velquin %.3f s, rss +%.0f MB (%lld entries, processor time %.3f s)\n", seconds,
                residentMb() - before, static_cast<long long>(list.model.count()), cpu);
    std::fflush(stdout);
}

void import200k() {
    const QString root = makeTree(QStringLiteral("import"), 200);
    const FileOps fs;
    QStringList files;
    {
        SourceListModel all;
        EventPump none;
        IndexDisk(all, fs, root, none);
        files = all.entries();
    }
    const QString lists = scratchFolder(QStringLiteral("import-lists"));
    const QString listPath = lists + QStringLiteral("/import-200k.lst");
    const QString plainPath = lists + QStringLiteral("/import-200k.txt");
    QByteArray plain;
    for (const QString& f : files)
        plain += encodeLocal8(f) + '\n';
    if (!writeFileReplacing(listPath, formatListFile(files)).ok() ||
        !writeFileReplacing(plainPath, plain).ok()) {
        std::fprintf(stderr, "import_200k: cannot write the list files\n");
        return;
    }
    const double baseline = timeShell(QStringLiteral("xargs -d '\\n' stat --printf='' < '") + plainPath +
                                      QStringLiteral("' > /dev/null"));
    ShownList list;
    OpenFileAnswer dialogs(listPath);
    const double cpuBefore = processorSeconds();
    const double velquin = timeIt([&] {
        importList(list.model, ListKind::Files, dialogs, nullptr, fs);
        QCoreApplication::processEvents();
    });
    const double cpu = processorSeconds() - cpuBefore;
    if (list.model.count() != files.size())
        std::fprintf(stderr, "import_200k: imported %lld of %lld\n",
                     static_cast<long long>(list.model.count()), static_cast<long long>(files.size()));
    std::printf(
        "import_200k: velquin %.3f s, stat baseline %.3f s, beyond stat %.3f s (processor time %.3f s)\n",
        velquin, baseline, velquin - baseline, cpu);
    std::fflush(stdout);
}

const Registration walk(QStringLiteral("walk_all_100k"), walkAll100k);
const Registration add(QStringLiteral("list_add_1m"), listAdd1m);
const Registration import(QStringLiteral("import_200k"), import200k);

} // namespace
} // namespace velquin::bench
