#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

struct stat;

namespace velquin {

// The desktop trash that file managers show: a file put there keeps a note of its original
// path and of when it went, so that it can be restored from the trash window or by undo.
//
// A file on the device of the home trash goes to the home trash ($XDG_DATA_HOME/Trash); a file
// on any other drive goes to that drive's own trash at the top of its mount (the longest mount
// point its real path lies in): $top/.Trash/$uid when $top/.Trash is a real folder with the
// sticky bit, else $top/.Trash-$uid. Where the drive's trash cannot be had or cannot take the
// file (a top folder we may not write in, a full drive, a file in the trash's place), the home
// trash takes a copy of it.
//
// One object remembers the trash folders it found (and those it could not have) for its
// lifetime, so that keeping a file costs a handful of system calls: make one for each run.
// Safe to call from several threads.
class Trash : public ReplaceKeeper {
public:
    // `homeTrash`: the folder of the home trash; empty: the user's (defaultHomeTrash()).
    // `calls`: the system calls that change anything (tests inject faults through them).
    explicit Trash(const QString& homeTrash = QString(), std::shared_ptr<SysCalls> calls = nullptr);
    ~Trash() override;
    Trash(const Trash&) = delete;
    Trash& operator=(const Trash&) = delete;

    // Puts the regular file (or link) `target` into the trash and says where it is in the
    // trash's "files" folder. The note in "info" is written first, under a name reserved with
    // O_EXCL (a number is added on a clash: "a.txt", "a.2.txt", "a.3.txt"); then the file gets a
    // hard link in "files", so the target path keeps its file until the replace renames the new
    // one over it. Where the drive has no hard links, the file is renamed into the trash and the
    // target path stands empty; where a link cannot reach the trash (another subvolume) or the
    // home trash stands in for the drive's, the trash gets a copy. When no trash can keep it:
    // the errno that stood in the way of the drive's own trash, and nothing is left behind.
    KeptFile keep(const QString& target) override;
    // 0 when keep() could keep `target` as things stand, else the errno it would meet. Makes no
    // trash folder: one that is missing counts when it could be made.
    int keepable(const QString& target) override;
    // Takes back what keep() did when the replace did not happen: the hard link or the copy and
    // the note go, or a file renamed into the trash is renamed back (never over a file that took
    // its place meanwhile: then it stays in the trash, note and all; so does a copy once nothing
    // is at the target).
    void release(const QString& target, const QString& keptAs) override;
    // Moves a kept file back to `originalPath`, never over anything there (EEXIST), across
    // drives where it must; its note goes once it is back.
    FsResult restore(const QString& keptAs, const QString& originalPath);

    // $XDG_DATA_HOME/Trash, or ~/.local/share/Trash where that is not set to an absolute path.
    static QString defaultHomeTrash();
    // The note that belongs to a kept file: ".../info/NAME.trashinfo" for ".../files/NAME".
    static QString infoPathFor(const QString& keptAs);

private:
    struct Place;
    QByteArray topOf(quint64 device, const QByteArray& folder);
    Place* placeFor(quint64 device, const QByteArray& folder);
    bool prepare(Place& place);
    // What keeping a file like `st` in the place would meet (`copy`: as a copy), changing nothing.
    int obstacle(const Place& place, const struct ::stat& st, bool copy) const;
    QByteArray canonicalFolder(const QByteArray& folder);
    QByteArray deletionDate();
    // 0 with `kept` set, or the errno.
    int keepIn(Place& place, const QByteArray& target, const QByteArray& original, const QByteArray& name,
               bool copy, QByteArray& kept);

    QByteArray homeTrash_;
    std::shared_ptr<SysCalls> calls_;
    FileOps fs_;
    std::mutex mutex_;
    std::optional<quint64> homeDevice_;
    std::unique_ptr<Place> home_;
    std::optional<QList<QByteArray>> mountPoints_;
    QHash<QByteArray, QByteArray> tops_;               // folder -> top of its mount
    QHash<QByteArray, std::shared_ptr<Place>> places_; // per top of a mount
    QSet<QByteArray> copies_;                          // kept files that are copies, not the file itself
    QHash<QByteArray, QByteArray> canonical_;
    qint64 dateSecond_ = -1;
    QByteArray date_;
};

} // namespace velquin
