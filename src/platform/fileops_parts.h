#pragma once

#include "platform/bytepaths.h"
#include "platform/fileops.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace velquin {

// The pieces the file operations are made of, shared between their files. Not for use outside
// platform/. Every call goes through the `SysCalls` seam.

// ---- small shared pieces (fileops_parts.cpp) ----

bool sameTime(const struct timespec& a, const struct timespec& b);

inline FsResult failure(int error, const QString& path) {
    return FsResult::failed(error, path);
}

FileStamp stampOf(const struct stat& st);

// A descriptor opened through the seam, closed on every way out without touching errno.
class Descriptor {
public:
    Descriptor(SysCalls& calls, int fd) : calls_(calls), fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    // Closes now; the close's own error (0 for none), which some file systems use to report
    // a write that did not reach the disk.
    int reset() {
        if (fd_ < 0)
            return 0;
        const int saved = errno;
        const int r = calls_.close(fd_);
        const int err = r < 0 ? errno : 0;
        fd_ = -1;
        errno = saved;
        return err;
    }

private:
    SysCalls& calls_;
    int fd_;
};

// A hidden name for a temporary that no one else is likely to pick. It never derives from the
// target's name: short, plain ASCII in one letter case, so every file system takes it, those that
// refuse broken UTF-8 or long names and those that fold letter case alike.
QByteArray temporaryName();

// ---- the data (filedata.cpp) ----

// Copies the data of `in` to `out` in chunks, telling `progress` after each and asking `check`
// (may the copy go on?) between them. Holes of a sparse source stay holes.
// 0, or the errno that ended the copy (ECANCELED when `progress` stopped it).
int copyData(SysCalls& calls, int in, int out, const struct stat& source, CopyProgress* progress,
             const std::function<int()>& check);

// 0 when `out` holds exactly what `in` holds now, EBUSY when not, else the errno of a read.
int sameContent(SysCalls& calls, int in, int out, qint64 size, CopyProgress* progress);

// ---- metadata (filemeta.cpp) ----

// Sets bits that the file system may refuse in part: set-id and sticky bits are dropped before the
// plain ones are given up. Best effort, as the copy's data counts more than its bits.
void setMode(SysCalls& calls, int out, unsigned mode);

// Mode bits, ACL, user attributes and times of `source` onto the new file, never granting more
// than the source did; what the target refuses is left as the temporary had it (private).
void copyMetadata(SysCalls& calls, int in, int out, const struct stat& source);

// ---- the same file and letter case (samefile.cpp) ----

// `name` with the case of its ASCII letters swapped.
QByteArray caseSwapped(QByteArray name);

// The answer found for the device before, if any.
std::optional<bool> knownFolding(dev_t device);

// Whether names on the device compare with letter case folded, found by trying it: `name` (an
// entry of `folder`) looked up with its letters' case swapped, else a new file with a lower-case
// name looked up in upper case, else any entry of the folder. One answer per device.
bool foldsCase(SysCalls& calls, dev_t device, const QByteArray& folder, const QByteArray& name);

// True when `a` and `b` (with what stat gave for them) may be one file: the same device and
// inode, or one path once links are resolved and letter case folded, on a drive that folds it
// (whose drivers may give the two spellings different inode numbers).
bool mayBeOne(SysCalls& calls, const QByteArray& a, const struct stat& sa, const QByteArray& b,
              const struct stat& sb);

// ---- putting a finished temporary in place (placing.cpp) ----

// What putting a file in place did.
struct Placed {
    struct stat made {};
    bool wrote = false;
    bool replaced = false;
    QString keptAs;
    QByteArray backup;          // the old target's second name, while a put-back may be needed
    bool backupRenamed = false; // the old target itself was renamed there (no hard links)
};

// Returned by PlaceJob::run when an unnamed file was complete but could not be named.
constexpr int kNamingRefused = -1;

// Hands the old regular file at `target` to the keeper: 0 when the replace may go on (kept, or
// the keeper lets it go unkept), else the errno for which the keeper refused it.
int keepOld(ReplaceKeeper* keeper, const QString& target, std::optional<QString>& kept);

// Writes a new file into a temporary in the target's folder and puts it in place: through a
// link that never replaces, or a rename over the old target once the new content is complete.
struct PlaceJob {
    SysCalls& calls;
    int dir;
    const QByteArray& target;
    const PathParts& parts;
    bool replace;
    unsigned createMode;
    // Writes the content into the descriptor; then checks it before it is put in place.
    std::function<int(int)> fill;
    std::function<int(int)> verify;
    ReplaceKeeper* keeper = nullptr;
    bool keepBackup = false; // the old target is kept aside until the caller says it may go
    Placed& placed;

    // 0, an errno, or kNamingRefused. `unnamed`: try O_TMPFILE first.
    int run(bool unnamed);

    int complete(Descriptor& out);

    int linkUnnamed(const Descriptor& out, const QByteArray& linkName);

    static bool namingRefused(int err);

    int nameUnnamed(Descriptor& out);

    // Renames the complete temporary over the target. An old regular file there is checked for
    // write protection and handed to the keeper right before it goes, and kept aside under a
    // second name when the caller may still need it back.
    int replaceWith(const QByteArray& tempPath);

    // A second name for the old target: a hard link, or where there are none the file itself.
    int setAside();

    void putBackAside();

    int runHidden();
};

// What the file now placed comes to, for the caller.
FsResult resultOf(const Placed& placed);

// ---- opening and copying a source (fileops.cpp) ----

// A source opened for copying, with what fstat said of it when it was opened.
struct OpenSource {
    explicit OpenSource(SysCalls& calls) : fd(calls, -1) {}
    Descriptor fd;
    struct stat st {};
    bool leased = false;
};

// Opens a regular file for reading without blocking on anything that is not one.
int openSource(SysCalls& calls, const QByteArray& source, OpenSource& opened);

// How a copy is made: see FileOps::copyFile; moves across file systems add the checks.
struct CopyRequest {
    bool replace = false;
    const TransferHooks* hooks = nullptr;
    bool verifySource = false; // a move: the source must be unchanged by the time it is named
    bool keepBackup = false;
};

// Copies the opened source into a new file at `target`. Fills `placed`.
int copyOpened(SysCalls& calls, OpenSource& source, const QByteArray& target, const CopyRequest& request,
               Placed& placed);

// ---- a move across file systems (crossmove.cpp) ----

// The rest of a move that a rename could not do because `from` (lstat gave `sl`, a regular file
// or a link to one) and `to` are on different file systems: the source is copied as copyFile
// copies, checked to be still the file copied, then removed; else the target is put back.
FsResult moveAcrossDevices(SysCalls& calls, const QString& source, const QString& target,
                           const QByteArray& from, const QByteArray& to, const struct stat& sl, bool replace,
                           const TransferHooks& hooks);

} // namespace velquin
