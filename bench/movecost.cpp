// What checking a moved source costs: one big file moved across file systems (tmpfs to the disk of
// the temp folder, or the two folders given) with the read lease that is used where the kernel
// grants one, with the byte-for-byte comparison used where it does not, and by mv(1).
//
//   velquin_movecost [MiB] [from-folder] [to-folder]     (defaults: 1024, /dev/shm, the temp folder)
//
// Moving onto tmpfs (velquin_movecost 1024 /tmp /dev/shm) leaves out the disk's write-back, which
// otherwise dominates and varies from round to round.

#include "platform/fileops.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 5;

using velquin::FileOps;
using velquin::SysCalls;

// The real calls, except that no lease is ever granted.
class NoLeaseCalls : public SysCalls {
public:
    int setLease(int fd, int type) override {
        if (type == F_UNLCK)
            return SysCalls::setLease(fd, type);
        errno = EAGAIN;
        return -1;
    }
};

void makeFile(const QString& path, qint64 mib) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    QByteArray block(1 << 20, '\0');
    for (qint64 i = 0; i < mib; ++i) {
        for (int j = 0; j < block.size(); j += 4096)
            block[j] = char(i + j);
        if (fd < 0 || ::write(fd, block.constData(), size_t(block.size())) != block.size()) {
            std::perror("writing the source");
            std::exit(2);
        }
    }
    ::close(fd);
}

double seconds(const std::function<void()>& fn) {
    ::sync();
    QElapsedTimer timer;
    timer.start();
    fn();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    QTemporaryDir from((argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/dev/shm")) +
                       QStringLiteral("/velquin-movecost-XXXXXX"));
    QTemporaryDir to((argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath()) +
                     QStringLiteral("/velquin-movecost-XXXXXX"));
    if (!from.isValid() || !to.isValid()) {
        std::fprintf(stderr, "no scratch folders\n");
        return 2;
    }
    struct Way {
        const char* name;
        std::function<bool(const QString&, const QString&)> move;
    } ways[] = {
        {"velquin, read lease",
         [](const QString& s, const QString& t) {
             return FileOps().moveFile(s, t, FileOps::MoveMode::NoReplace).ok();
         }},
        {"velquin, content compared",
         [](const QString& s, const QString& t) {
             return FileOps(std::make_shared<NoLeaseCalls>())
                 .moveFile(s, t, FileOps::MoveMode::NoReplace)
                 .ok();
         }},
        {"mv",
         [](const QString& s, const QString& t) {
             const QByteArray command = "mv '" + QFile::encodeName(s) + "' '" + QFile::encodeName(t) + "'";
             return std::system(command.constData()) == 0;
         }},
    };
    std::printf("moving %lld MiB from %s to %s, median of %d rounds\n", mib, qPrintable(from.path()),
                qPrintable(to.path()), kRounds);
    std::vector<std::vector<double>> times(std::size(ways));
    for (int round = 0; round < kRounds; ++round) {
        for (size_t w = 0; w < std::size(ways); ++w) {
            const QString source = from.path() + QStringLiteral("/big.bin");
            const QString target = to.path() + QStringLiteral("/big.bin");
            makeFile(source, mib);
            bool ok = false;
            times[w].push_back(seconds([&] { ok = ways[w].move(source, target); }));
            if (!ok || QFile::exists(source)) {
                std::fprintf(stderr, "%s did not move the file\n", ways[w].name);
                return 2;
            }
            QFile::remove(target);
        }
    }
    for (size_t w = 0; w < std::size(ways); ++w) {
        std::vector<double>& t = times[w];
        std::sort(t.begin(), t.end());
        const double median = t[t.size() / 2];
        std::printf("%-28s %7.3f s  %7.1f MiB/s  (fastest %.3f s, slowest %.3f s)\n", ways[w].name, median,
                    double(mib) / median, t.front(), t.back());
    }
    return 0;
}
