#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    // Mounts it again read-only; false when that is refused.
    bool remountReadOnly();

private:
    QByteArray folder_;
    bool mounted_ = false;
    QString error_;
};

// Runs a program with its arguments, output discarded: its exit code, or -1 when it cannot start.
int runTool(const QStringList& arguments);

// A small file system made in an image file and mounted over `folder` for as long as the object
// lives (needs root; the FUSE kinds need /dev/fuse and their driver). Unmounted in the destructor,
// also when the test fails and also when the driver died. `error()` says why it is not there.
class ImageMount {
public:
    enum Kind {
        Ext4,
        BtrfsNoAcl, // btrfs mounted without ACLs: mode bits and attributes kept, ACLs refused
        Btrfs,
        Xfs,
        ExFat,          // through FUSE: folds letter case, inode numbers per spelling, no hard links
        Fat,            // through FUSE (fusefat): folds letter case, no chmod at all
        Ntfs,           // through FUSE (ntfs-3g): case-sensitive, hard links
        NtfsIgnoreCase, // through FUSE (lowntfs-3g -o ignore_case): folds letter case, one inode per file
    };
    ImageMount(Kind kind, const QString& folder, qint64 bytes = 32 << 20);
    ~ImageMount();
    ImageMount(const ImageMount&) = delete;
    ImageMount& operator=(const ImageMount&) = delete;
    bool mounted() const { return mounted_; }
    QString error() const { return error_; }
    // Mounts it again read-only (ext4, tmpfs-like kinds); false when that is refused.
    bool remountReadOnly();
    // Unmounts it and mounts the same image again, as a stick taken out and put back is.
    bool remount();
    static const char* name(Kind kind);

private:
    QByteArray folder_;
    QByteArray image_;
    Kind kind_ = Ext4;
    QStringList mount_; // the command that mounted it
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

} // namespace velquin::test
