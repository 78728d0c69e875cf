#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace velquin::bench {

// A measure registers itself with a static Registration in its own source file.
struct Measure {
    QString name;
    std::function<void()> run; // prints its own result line(s)
};

struct Registration {
    Registration(const QString& name, std::function<void()> run);
};

// Seconds taken by fn.
double timeIt(const std::function<void()>& fn);
// Seconds taken by a shell command (run with /bin/sh -c); fails the bench when it fails.
double timeShell(const QString& command);
// Drops the page cache where allowed, so runs start alike; silently nothing otherwise, and
// nothing but a sync when VELQUIN_BENCH_WARM=1 asks for warm runs.
void settle();
// The line every measure prints: "NAME: velquin X s, baseline Y s, ratio R".
void report(const QString& name, double velquin, double baseline);
// A scratch folder on the file system of the system temp folder, removed at exit.
QString scratchFolder(const QString& name);
// Writes `count` files of `size` bytes named by nameOf(i) under folder (made as needed) and
// returns their paths in that order, as a source list would hold them.
QStringList makeFiles(const QString& folder, int count, int size, const std::function<QString(int)>& nameOf);

// Processor seconds (user and system) used so far by this process (RUSAGE_SELF) or by its
// finished children (RUSAGE_CHILDREN): work, as against waiting on a busy machine.
double processorSeconds(int who = 0);
// "file<i>.ext<i % 20>": 20 extensions, so that a run by type makes 20 folders.
QString typedName(int i);

} // namespace velquin::bench
