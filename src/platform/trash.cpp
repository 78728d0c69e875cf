#include "platform/trash.h"

#include "platform/bytepaths.h"
#include "platform/names.h"

#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
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
    QHash<QByteArray, int> nextNumber; // per name, the number to try first (1: the plain name)
};

namespace {

// Longest name kept before ".trashinfo" and a number are added, under the 255-byte limit.
constexpr qsizetype kMaxBaseName = 236;
constexpr qsizetype kMaxExtension = 16;

// A folder of our own: a real folder (not a link planted in its place), made when missing.
bool ensureFolder(SysCalls& calls, const QByteArray& path, bool mustBeOwn) {
    if (calls.mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (calls.lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return !mustBeOwn || st.st_uid == ::getuid();
}

// The home trash and the folders above it; they may all be missing on a new account.
bool ensurePath(SysCalls& calls, const QByteArray& path) {
    struct stat st;
    if (calls.stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const QByteArray parent = folderOf(path);
    if (parent != path && !ensurePath(calls, parent))
        return false;
    return ensureFolder(calls, path, false);
}

bool ensureHalves(SysCalls& calls, const QByteArray& root, bool mustBeOwn) {
    return ensureFolder(calls, root + "/files", mustBeOwn) && ensureFolder(calls, root + "/info", mustBeOwn);
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
      calls_(calls ? std::move(calls) : std::make_shared<SysCalls>()), fs_(calls_) {
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

Trash::Place* Trash::placeFor(quint64 device, const QByteArray& folder) {
    SysCalls& calls = *calls_;
    if (const auto found = places_.constFind(device); found != places_.constEnd())
        return found.value().get();
    if (!homeDevice_) {
        // The home trash may not exist yet: the drive it will be on is that of its nearest
        // existing parent.
        QByteArray probe = homeTrash_;
        struct stat st;
        while (calls.stat(probe.constData(), &st) != 0 && probe != folderOf(probe))
            probe = folderOf(probe);
        homeDevice_ = calls.stat(probe.constData(), &st) == 0 ? quint64(st.st_dev) : quint64(-1);
    }
    auto place = std::make_shared<Place>();
    if (device != *homeDevice_) {
        // The top of the drive: the highest folder on the way up that is still on it.
        QByteArray top = folder;
        for (;;) {
            const QByteArray parent = folderOf(top);
            struct stat st;
            if (parent == top || calls.stat(parent.constData(), &st) != 0 || quint64(st.st_dev) != device)
                break;
            top = parent;
        }
        place->top = top;
    }
    places_.insert(device, place);
    return place.get();
}

bool Trash::prepare(Place& place) {
    if (place.ready || place.failed)
        return place.ready;
    SysCalls& calls = *calls_;
    if (place.top.isEmpty()) {
        place.root = homeTrash_;
        place.ready = ensurePath(calls, place.root) && ensureHalves(calls, place.root, false);
    } else {
        const QByteArray uid = QByteArray::number(::getuid());
        // A shared trash counts only as a real folder with the sticky bit, so that no one else
        // can take or replace what lies in it.
        const QByteArray shared = joined(place.top, ".Trash");
        struct stat st;
        if (calls.lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
            place.root = shared + '/' + uid;
            place.ready = ensureFolder(calls, place.root, true) && ensureHalves(calls, place.root, true);
        }
        if (!place.ready) {
            place.root = joined(place.top, ".Trash-" + uid);
            place.ready = ensureFolder(calls, place.root, true) && ensureHalves(calls, place.root, true);
        }
    }
    place.files = place.root + "/files/";
    place.info = place.root + "/info/";
    place.failed = !place.ready;
    return place.ready;
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

std::optional<QString> Trash::keep(const QString& target) {
    SysCalls& calls = *calls_;
    const std::lock_guard lock(mutex_);
    const QByteArray path = encodeLocal8(target);
    struct stat st;
    if (calls.lstat(path.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    const QByteArray name = splitPath(path).name;
    if (name.isEmpty())
        return std::nullopt;
    // Notes hold the path without links in it, so that the drive trash's relative path starts
    // at the real top of the drive and a file manager puts the file back where it was.
    const QByteArray folder = canonicalFolder(folderOf(path));
    if (folder.isEmpty())
        return std::nullopt;
    Place* place = placeFor(quint64(st.st_dev), folder);
    if (!prepare(*place))
        return std::nullopt;
    const std::optional<QByteArray> kept = keepIn(*place, path, joined(folder, name), name);
    if (!kept)
        return std::nullopt;
    return decodeLocal8(*kept);
}

std::optional<QByteArray> Trash::keepIn(Place& place, const QByteArray& target, const QByteArray& original,
                                        const QByteArray& name) {
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
            return std::nullopt;
        }
        int err = writeAll(calls, fd, note.constData(), long(note.size()));
        if (calls.close(fd) != 0 && err == 0)
            err = errno;
        if (err != 0) {
            calls.unlink(info.constData());
            return std::nullopt;
        }
        const QByteArray kept = place.files + trashName;
        err = calls.link(target.constData(), kept.constData()) == 0 ? 0 : errno;
        if (noHardLinks(err))
            err = renameWithoutReplacing(calls, target, kept);
        if (err == 0) {
            next = number + 1;
            return kept;
        }
        calls.unlink(info.constData());
        // A file without a note (left by another program) holds this name.
        if (err != EEXIST)
            return std::nullopt;
        next = number + 1;
    }
    return std::nullopt;
}

void Trash::release(const QString& target, const QString& keptAs) {
    SysCalls& calls = *calls_;
    const QByteArray kept = encodeLocal8(keptAs);
    const QByteArray info = encodeLocal8(infoPathFor(keptAs));
    const QByteArray path = encodeLocal8(target);
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
