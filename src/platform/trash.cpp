#include "platform/trash.h"

#include "platform/bytepaths.h"
#include "platform/names.h"

#include <QFile>
#include <QList>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace velquin {

// One trash folder with the folders of its two halves, as found or made at its first use.
struct Trash::Place {
    QByteArray top;  // the drive's top folder, to which notes are relative; empty for the home trash
    QByteArray root; // the trash folder itself
    QByteArray files;
    QByteArray info;
    bool ready = false;
    bool failed = false;
    int error = 0;                     // why it could not be had, once failed
    QHash<QByteArray, int> nextNumber; // per name, the number to try first (1: the plain name)
};

namespace {

// Longest name kept before ".trashinfo" and a number are added, under the 255-byte limit.
constexpr qsizetype kMaxBaseName = 236;
constexpr qsizetype kMaxExtension = 16;

// A folder of our own: a real folder (not a link planted in its place), made when missing.
// 0, or the errno that stands in the way.
int ensureFolder(SysCalls& calls, const QByteArray& path, bool mustBeOwn) {
    if (calls.mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat st;
    if (calls.lstat(path.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return !mustBeOwn || st.st_uid == ::getuid() ? 0 : EPERM;
}

// The home trash and the folders above it; they may all be missing on a new account.
int ensurePath(SysCalls& calls, const QByteArray& path) {
    struct stat st;
    if (calls.stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const QByteArray parent = folderOf(path);
    if (parent != path) {
        if (const int err = ensurePath(calls, parent))
            return err;
    }
    return ensureFolder(calls, path, false);
}

int ensureHalves(SysCalls& calls, const QByteArray& root, bool mustBeOwn) {
    if (const int err = ensureFolder(calls, root + "/files", mustBeOwn))
        return err;
    return ensureFolder(calls, root + "/info", mustBeOwn);
}

// What making `path` with ensureFolder would meet, without making it: 0 when it is there as
// it must be or its nearest existing parent takes new folders.
int folderObstacle(const QByteArray& path, bool mustBeOwn) {
    struct stat st;
    if (::lstat(path.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        return !mustBeOwn || st.st_uid == ::getuid() ? 0 : EPERM;
    }
    if (errno != ENOENT)
        return errno;
    const QByteArray parent = folderOf(path);
    if (parent == path)
        return ENOENT;
    if (::stat(parent.constData(), &st) != 0)
        return errno == ENOENT ? folderObstacle(parent, false) : errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return ::access(parent.constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

// ENOSPC when the drive of `path` (or of its nearest existing parent) has fewer than `bytes`
// free for us, else 0.
int spaceObstacle(QByteArray path, qint64 bytes) {
    struct statvfs vs;
    while (::statvfs(path.constData(), &vs) != 0) {
        const QByteArray parent = folderOf(path);
        if (parent == path)
            return 0;
        path = parent;
    }
    const qint64 block = qint64(vs.f_frsize ? vs.f_frsize : vs.f_bsize);
    return qint64(vs.f_bavail) * block >= bytes ? 0 : ENOSPC;
}

// The mount points of this process's mount table, as the bytes of their paths.
QList<QByteArray> readMountPoints() {
    QList<QByteArray> points;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return points;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || !fields.at(4).startsWith('/'))
            continue;
        // Blanks, tabs, new lines and backslashes in a path stand as octal escapes.
        const QByteArray& raw = fields.at(4);
        QByteArray point;
        point.reserve(raw.size());
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw.at(i) == '\\' && i + 3 < raw.size() && raw.mid(i + 1, 3).toInt(nullptr, 8) > 0) {
                point.append(char(raw.mid(i + 1, 3).toInt(nullptr, 8)));
                i += 3;
            } else {
                point.append(raw.at(i));
            }
        }
        points.append(point);
    }
    return points;
}

// The longest of the mount points that `path` (links resolved) lies in; empty when none does.
QByteArray mountTopOf(const QList<QByteArray>& points, const QByteArray& path) {
    QByteArray best;
    for (const QByteArray& point : points) {
        const bool inside =
            point == "/" || path == point || (path.startsWith(point) && path.at(point.size()) == '/');
        if (inside && point.size() > best.size())
            best = point;
    }
    return best;
}

// A name short enough for the trash, cut between characters and keeping a short extension.
QByteArray baseName(const QByteArray& name) {
    if (name.size() <= kMaxBaseName)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray extension = dot > 0 && name.size() - dot <= kMaxExtension ? name.mid(dot) : QByteArray();
    qsizetype cut = kMaxBaseName - extension.size();
    while (cut > 0 && (static_cast<unsigned char>(name.at(cut)) & 0xC0) == 0x80)
        --cut;
    return name.left(cut) + extension;
}

// "a.txt", "a.2.txt", "a.3.txt"; ".profile", ".profile.2"; "notes", "notes.2".
QByteArray numbered(const QByteArray& base, int number) {
    if (number <= 1)
        return base;
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray suffix = '.' + QByteArray::number(number);
    if (dot <= 0)
        return base + suffix;
    return base.left(dot) + suffix + base.mid(dot);
}

} // namespace

Trash::Trash(const QString& homeTrash, std::shared_ptr<SysCalls> calls)
    : homeTrash_(encodeLocal8(homeTrash.isEmpty() ? defaultHomeTrash() : homeTrash)),
      calls_(calls ? std::move(calls) : std::make_shared<SysCalls>()), fs_(calls_),
      home_(std::make_unique<Place>()) {
    while (homeTrash_.size() > 1 && homeTrash_.endsWith('/'))
        homeTrash_.chop(1);
}

Trash::~Trash() = default;

QString Trash::defaultHomeTrash() {
    // The generic data location is $XDG_DATA_HOME or ~/.local/share, and a folder of its own
    // when tests run in Qt's test mode, so no test reaches a real user's trash.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
}

QString Trash::infoPathFor(const QString& keptAs) {
    const qsizetype slash = keptAs.lastIndexOf(QLatin1Char('/'));
    const QString folder = keptAs.left(slash);
    if (slash < 0 || !folder.endsWith(QLatin1String("/files")))
        return QString();
    return folder.chopped(5) + QStringLiteral("info/") + keptAs.mid(slash + 1) + QStringLiteral(".trashinfo");
}

QByteArray Trash::canonicalFolder(const QByteArray& folder) {
    const auto found = canonical_.constFind(folder);
    if (found != canonical_.constEnd())
        return found.value();
    const QByteArray result = resolved(folder);
    if (result.isEmpty())
        return result;
    if (canonical_.size() > 4096)
        canonical_.clear();
    canonical_.insert(folder, result);
    return result;
}

QByteArray Trash::topOf(quint64 device, const QByteArray& folder) {
    SysCalls& calls = *calls_;
    if (!mountPoints_)
        mountPoints_ = readMountPoints();
    // A btrfs subvolume has a device number of its own without a mount of its own: its trash
    // is at the top of the mount, where file managers look for it.
    QByteArray top = mountTopOf(*mountPoints_, folder);
    if (!top.isEmpty())
        return top;
    // Without a mount table: the highest folder on the way up that is still on the drive.
    top = folder;
    for (;;) {
        const QByteArray parent = folderOf(top);
        struct stat st;
        if (parent == top || calls.stat(parent.constData(), &st) != 0 || quint64(st.st_dev) != device)
            return top;
        top = parent;
    }
}

Trash::Place* Trash::placeFor(quint64 device, const QByteArray& folder) {
    SysCalls& calls = *calls_;
    if (!homeDevice_) {
        // The home trash may not exist yet: the drive it will be on is that of its nearest
        // existing parent.
        QByteArray probe = homeTrash_;
        struct stat st;
        while (calls.stat(probe.constData(), &st) != 0 && probe != folderOf(probe))
            probe = folderOf(probe);
        homeDevice_ = calls.stat(probe.constData(), &st) == 0 ? quint64(st.st_dev) : quint64(-1);
    }
    if (device == *homeDevice_)
        return home_.get();
    auto& top = tops_[folder];
    if (top.isEmpty()) {
        if (tops_.size() > 4096) {
            tops_.clear();
            return placeFor(device, folder);
        }
        top = topOf(device, folder);
    }
    auto& place = places_[top];
    if (!place) {
        place = std::make_shared<Place>();
        place->top = top;
    }
    return place.get();
}

bool Trash::prepare(Place& place) {
    if (place.ready || place.failed)
        return place.ready;
    SysCalls& calls = *calls_;
    int err = 0;
    if (place.top.isEmpty()) {
        place.root = homeTrash_;
        err = ensurePath(calls, place.root);
        if (err == 0)
            err = ensureHalves(calls, place.root, false);
    } else {
        const QByteArray uid = QByteArray::number(::getuid());
        // A shared trash counts only as a real folder with the sticky bit, so that no one else
        // can take or replace what lies in it.
        const QByteArray shared = joined(place.top, ".Trash");
        struct stat st;
        err = ENOENT;
        if (calls.lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
            place.root = shared + '/' + uid;
            err = ensureFolder(calls, place.root, true);
            if (err == 0)
                err = ensureHalves(calls, place.root, true);
        }
        if (err != 0) {
            place.root = joined(place.top, ".Trash-" + uid);
            err = ensureFolder(calls, place.root, true);
            if (err == 0)
                err = ensureHalves(calls, place.root, true);
        }
    }
    place.files = place.root + "/files/";
    place.info = place.root + "/info/";
    place.ready = err == 0;
    place.failed = !place.ready;
    place.error = err;
    return place.ready;
}

int Trash::obstacle(const Place& place, const struct stat& st, bool copy) const {
    if (place.failed)
        return place.error;
    QByteArray root = place.root;
    if (!place.ready) {
        const QByteArray uid = QByteArray::number(::getuid());
        root = place.top.isEmpty() ? homeTrash_ : joined(place.top, ".Trash-" + uid);
        struct stat shared;
        const QByteArray sharedRoot = joined(place.top, ".Trash/" + uid);
        if (!place.top.isEmpty() && ::lstat(joined(place.top, ".Trash").constData(), &shared) == 0 &&
            S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) && folderObstacle(sharedRoot, true) == 0)
            root = sharedRoot;
        const bool own = !place.top.isEmpty();
        for (const QByteArray& folder : {root, QByteArray(root + "/files"), QByteArray(root + "/info")}) {
            if (const int err = folderObstacle(folder, own))
                return err;
        }
    }
    // The note takes a block; a copy takes the file's blocks as well.
    constexpr qint64 note = 4096;
    return spaceObstacle(root, copy ? note + qint64(st.st_blocks) * 512 : note);
}

QByteArray Trash::deletionDate() {
    const time_t now = ::time(nullptr);
    if (now != dateSecond_) {
        struct tm local {};
        ::localtime_r(&now, &local);
        char text[32];
        const size_t size = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        date_ = QByteArray(text, qsizetype(size));
        dateSecond_ = now;
    }
    return date_;
}

KeptFile Trash::keep(const QString& target) {
    SysCalls& calls = *calls_;
    const std::lock_guard lock(mutex_);
    const QByteArray path = encodeLocal8(target);
    struct stat st;
    if (calls.lstat(path.constData(), &st) != 0)
        return KeptFile{QString(), errno};
    if (S_ISDIR(st.st_mode))
        return KeptFile{QString(), EISDIR};
    const QByteArray name = splitPath(path).name;
    if (name.isEmpty())
        return KeptFile{QString(), EINVAL};
    // Notes hold the path without links in it, so that the drive trash's relative path starts
    // at the real top of the drive and a file manager puts the file back where it was.
    const QByteArray folder = canonicalFolder(folderOf(path));
    if (folder.isEmpty())
        return KeptFile{QString(), ENOENT};
    const QByteArray original = joined(folder, name);
    Place* place = placeFor(quint64(st.st_dev), folder);
    QByteArray kept;
    int err = prepare(*place) ? keepIn(*place, path, original, name, false, kept) : place->error;
    if (err == 0)
        return KeptFile{decodeLocal8(kept), 0};
    // A drive without a trash we may have (its top not ours to write, a full drive, something
    // else where the trash goes): the home trash takes a copy, dearer but kept all the same.
    if (place != home_.get() && prepare(*home_) && keepIn(*home_, path, original, name, true, kept) == 0)
        return KeptFile{decodeLocal8(kept), 0};
    return KeptFile{QString(), err};
}

int Trash::keepable(const QString& target) {
    const std::lock_guard lock(mutex_);
    const QByteArray path = encodeLocal8(target);
    struct stat st;
    if (calls_->lstat(path.constData(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    const QByteArray folder = canonicalFolder(folderOf(path));
    if (folder.isEmpty())
        return ENOENT;
    const Place* place = placeFor(quint64(st.st_dev), folder);
    const int err = obstacle(*place, st, false);
    if (err == 0 || place == home_.get() || obstacle(*home_, st, true) != 0)
        return err;
    return 0;
}

int Trash::keepIn(Place& place, const QByteArray& target, const QByteArray& original, const QByteArray& name,
                  bool copy, QByteArray& kept) {
    SysCalls& calls = *calls_;
    QByteArray notePath = original;
    if (!place.top.isEmpty())
        notePath = original.mid(place.top == "/" ? 1 : place.top.size() + 1);
    const QByteArray note =
        "[Trash Info]\nPath=" + notePath.toPercentEncoding("/") + "\nDeletionDate=" + deletionDate() + '\n';
    const QByteArray base = baseName(name);
    int& next = place.nextNumber[base];
    if (next < 1)
        next = 1;
    bool remade = false;
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const int number = next;
        const QByteArray trashName = numbered(base, number);
        const QByteArray info = place.info + trashName + ".trashinfo";
        // The note is made first and with O_EXCL: it is what reserves the name in the trash.
        const int fd =
            calls.openat(AT_FDCWD, info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int err = errno;
            if (err == EEXIST) {
                next = number + 1;
                continue;
            }
            // The trash was emptied folders and all while we ran: make it again, once.
            if (err == ENOENT && !remade) {
                remade = true;
                place.ready = false;
                if (prepare(place))
                    continue;
            }
            return err;
        }
        int err = writeAll(calls, fd, note.constData(), long(note.size()));
        if (calls.close(fd) != 0 && err == 0)
            err = errno;
        if (err != 0) {
            calls.unlink(info.constData());
            return err;
        }
        kept = place.files + trashName;
        if (!copy) {
            err = calls.link(target.constData(), kept.constData()) == 0 ? 0 : errno;
            if (noHardLinks(err))
                err = renameWithoutReplacing(calls, target, kept);
        }
        // Hard links and renames do not cross from one btrfs subvolume to another on one drive;
        // a copy does, and it shares the data blocks where the drive can.
        if (copy || err == EXDEV) {
            err =
                fs_.copyFile(decodeLocal8(target), decodeLocal8(kept), FileOps::CopyMode::FailIfExists).error;
            if (err == 0)
                copies_.insert(kept);
        }
        if (err == 0) {
            next = number + 1;
            return 0;
        }
        calls.unlink(info.constData());
        // A file without a note (left by another program) holds this name.
        if (err != EEXIST)
            return err;
        next = number + 1;
    }
    return EEXIST;
}

void Trash::release(const QString& target, const QString& keptAs) {
    SysCalls& calls = *calls_;
    const QByteArray kept = encodeLocal8(keptAs);
    const QByteArray info = encodeLocal8(infoPathFor(keptAs));
    const QByteArray path = encodeLocal8(target);
    {
        const std::lock_guard lock(mutex_);
        // A copy is ours to drop while the target still holds the old content; with nothing
        // at the target any more it is the only copy left, and it stays.
        if (copies_.remove(kept)) {
            struct stat ts;
            if (calls.lstat(path.constData(), &ts) == 0 && calls.unlink(kept.constData()) == 0 &&
                !info.isEmpty())
                calls.unlink(info.constData());
            return;
        }
    }
    struct stat ks;
    if (calls.lstat(kept.constData(), &ks) != 0) {
        if (!info.isEmpty())
            calls.unlink(info.constData());
        return;
    }
    struct stat ts;
    if (calls.lstat(path.constData(), &ts) == 0) {
        // A second link to the target's own file goes; any other file at the target means the
        // trash holds the only copy of the old content now, and it stays there.
        if (!sameObject(ks, ts) || calls.unlink(kept.constData()) != 0)
            return;
    } else if (errno != ENOENT || renameWithoutReplacing(calls, kept, path) != 0) {
        return;
    }
    if (!info.isEmpty())
        calls.unlink(info.constData());
}

FsResult Trash::restore(const QString& keptAs, const QString& originalPath) {
    FsResult result = fs_.moveFile(keptAs, originalPath, FileOps::MoveMode::NoReplace);
    if (result.ok()) {
        const QString info = infoPathFor(keptAs);
        if (!info.isEmpty())
            calls_->unlink(encodeLocal8(info).constData());
    }
    return result;
}

} // namespace velquin
