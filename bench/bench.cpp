#include "bench/bench.h"

#include "platform/names.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace velquin::bench {

std::vector<Measure>& registry() {
    static std::vector<Measure> measures;
    return measures;
}

Registration::Registration(const QString& name, std::function<void()> run) {
    registry().push_back({name, std::move(run)});
}

double timeIt(const std::function<void()>& fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e9;
}

double timeShell(const QString& command) {
    const QByteArray cmd = encodeLocal8(command);
    double seconds = 0;
    int rc = 0;
    seconds = timeIt([&] { rc = std::system(cmd.constData()); });
    if (rc != 0) {
        std::fprintf(stderr, "baseline command failed (%d): %s\n", rc, cmd.constData());
        std::exit(2);
    }
    return seconds;
}

void settle() {
    ::sync();
    // VELQUIN_BENCH_WARM=1: the files stay in the page cache, to time the calls rather than the disk.
    if (qEnvironmentVariableIntValue("VELQUIN_BENCH_WARM") == 1)
        return;
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    if (fd >= 0) {
        (void)!::write(fd, "3\n", 2);
        ::close(fd);
    }
}

void report(const QString& name, double velquin, double baseline) {
    std::printf("%s: velquin %.3f s, baseline %.3f s, ratio %.2f\n", name.toUtf8().constData(), velquin,
                baseline, baseline > 0 ? velquin / baseline : 0.0);
    std::fflush(stdout);
}

QString scratchFolder(const QString& name) {
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    dirs.push_back(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/velquin-bench-") +
                                                   name + QStringLiteral("-XXXXXX")));
    return dirs.back()->path();
}

QStringList makeFiles(const QString& folder, int count, int size, const std::function<QString(int)>& nameOf) {
    const QByteArray block(size, 'v');
    QStringList paths;
    paths.reserve(count);
    // Made once per folder, not per file: a trace of a whole measure then shows the run's own calls.
    QByteArray made;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QLatin1Char('/') + nameOf(i);
        paths.append(path);
        const QByteArray bytes = encodeLocal8(path);
        const qsizetype slash = bytes.lastIndexOf('/');
        if (bytes.left(slash) != made && QDir().mkpath(decodeLocal8(bytes.left(slash))))
            made = bytes.left(slash);
        const int fd = ::open(bytes.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            continue;
        (void)!::write(fd, block.constData(), size_t(block.size()));
        ::close(fd);
    }
    return paths;
}

double processorSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString typedName(int i) {
    return QStringLiteral("file%1.ext%2").arg(i).arg(i % 20);
}

} // namespace velquin::bench

int main(int argc, char** argv) {
    using namespace velquin::bench;
    // The window measures need widgets; everything runs offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted.append(QString::fromLocal8Bit(argv[i]));
    for (const Measure& m : registry()) {
        if (wanted.isEmpty() || wanted.contains(m.name))
            m.run();
    }
    return 0;
}
