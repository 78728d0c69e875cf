#pragma once

#include "platform/fileops.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace velquin {

// The desktop trash that file managers show: a file put there keeps a note of its original
// path and of when it went, so that it can be restored from the trash window or by undo.
//
// A file on the device of the home trash goes to the home trash ($XDG_DATA_HOME/Trash); a file
// on any other drive goes to that drive's own trash at the top of its mount: $top/.Trash/$uid
// when $top/.Trash is a real folder with the sticky bit, else $top/.Trash-$uid. Files never
// cross a drive on their way to the trash.
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

    // Puts the regular file (or link) `target` into the trash and returns its path in the
    // trash's "files" folder. The note in "info" is written first, under a name reserved with
    // O_EXCL (a number is added on a clash: "a.txt", "a.2.txt", "a.3.txt"); then the file gets a
    // hard link in "files", so the target path keeps its file until the replace renames the new
    // one over it. Where the drive has no hard links, the file is renamed into the trash and the
    // target path stands empty. nullopt when no trash can be had for it; nothing is left behind.
    std::optional<QString> keep(const QString& target) override;
    // Takes back what keep() did when the replace did not happen: the hard link and the note
    // go, or a file renamed into the trash is renamed back (never over a file that took its
    // place meanwhile: then it stays in the trash, note and all).
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
    Place* placeFor(quint64 device, const QByteArray& folder);
    bool prepare(Place& place);
    QByteArray canonicalFolder(const QByteArray& folder);
    QByteArray deletionDate();
    std::optional<QByteArray> keepIn(Place& place, const QByteArray& target, const QByteArray& original,
                                     const QByteArray& name);

    QByteArray homeTrash_;
    std::shared_ptr<SysCalls> calls_;
    FileOps fs_;
    std::mutex mutex_;
    std::optional<quint64> homeDevice_;
    QHash<quint64, std::shared_ptr<Place>> places_;
    QHash<QByteArray, QByteArray> canonical_;
    qint64 dateSecond_ = -1;
    QByteArray date_;
};

} // namespace velquin
