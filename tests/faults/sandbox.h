#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <functional>

namespace velquin::test {

// Runs `body` in a forked child and waits for it: its exit code, or 128 + the signal that ended
// it. The child leaves with _exit, so nothing of the test program's own shutdown runs there.
int runInChild(const std::function<int()>& body);

// Forks a child that runs `body`; the caller waits for it or kills it (ChildProcess::kill).
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool running();
    void kill(int signal);
    // Exit code, or 128 + signal.
    int wait();

private:
    int pid_ = -1;
    int status_ = -1;
};

// Polls `done` until it holds or `timeoutMs` passes; true when it held. The checked wait for
// conditions outside any event loop (another process's progress on disk).
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// A small tmpfs mounted over `folder` for as long as the object lives (needs the right to
// mount: root, or a user and mount namespace of one's own). `error()` says why it is not there.
class TmpfsMount {
public:
    // `inodes`: how many files and folders it may hold (0: the default, plenty).
    TmpfsMount(const QString& folder, qint64 bytes, int inodes = 0);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    QString error() const { return error_; }

private:
    QByteArray folder_;
    bool mounted_ = false;
    QString error_;
};

// Sets the immutable flag of a file or folder on ext4 (no change, no removal, no rename, even
// for root) and clears it again when the object dies, also when the test fails.
class ImmutableGuard {
public:
    explicit ImmutableGuard(const QString& path);
    ~ImmutableGuard();
    ImmutableGuard(const ImmutableGuard&) = delete;
    ImmutableGuard& operator=(const ImmutableGuard&) = delete;
    bool set() const { return set_; }
    QString error() const { return error_; }

private:
    QByteArray path_;
    bool set_ = false;
    QString error_;
};

// The user id of "nobody", whom a child becomes so that permission bits count again.
inline constexpr unsigned kNobody = 65534;
// In a child: drops to nobody for good; false when that is not allowed.
bool becomeNobody();
// Gives `path` and everything below it to nobody and opens the folders to all (0777).
void giveToNobody(const QString& path);

// The real system calls, except that opening one of the denied paths fails with EACCES: a
// file that cannot be read, in a process for which permission bits do not count.
class DenyingCalls : public SysCalls {
public:
    void deny(const QString& path);
    int open(const char* path, int flags, unsigned mode) override;

private:
    QSet<QByteArray> denied_;
};

} // namespace velquin::test
