#include "engine/undo.h"

#include "engine/transfer.h"
#include "platform/names.h"
#include "platform/trash.h"

#include <QDir>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/statfs.h>

namespace velquin {

namespace {

// FAT keeps modification times in steps of two seconds, so a copy there may differ from its
// source by that much, and a file read back after a remount from what the run saw.
constexpr qint64 kTimeSlackNs = qint64(2) * 1000 * 1000 * 1000;

// Drives whose inode numbers (and device numbers) are made up afresh at each mount.
constexpr unsigned long kFuseMagic = 0x65735546;
constexpr unsigned long kMsdosMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011BAB0;

QString changedReason() {
    return QStringLiteral("文件在分拣后已被改动");
}

QString takenReason() {
    return QStringLiteral("原位置已被另一个文件占用");
}

QString sourceGoneReason() {
    return QStringLiteral("源文件已不在或已改动，复制出的文件予以保留");
}

QString oldGoneReason() {
    return QStringLiteral("被替换的旧文件当时未能保留，无法恢复");
}

QString outsideReason() {
    return QStringLiteral("不在上次分拣的输出目录中，不予处理");
}

QString sameAsSourceReason() {
    return QStringLiteral("复制出的文件就是源文件本身，不予删除");
}

QString notKeptReason() {
    return QStringLiteral("回收站中的文件不是分拣时保留的旧文件，不予恢复");
}

bool isCopy(JournalKind kind) {
    return kind == JournalKind::Copy || kind == JournalKind::NumberedCopy || kind == JournalKind::ReplaceCopy;
}

bool isMove(JournalKind kind) {
    return kind == JournalKind::Move || kind == JournalKind::NumberedMove || kind == JournalKind::ReplaceMove;
}

bool isReplace(JournalKind kind) {
    return kind == JournalKind::ReplaceCopy || kind == JournalKind::ReplaceMove;
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

qint64 nanoseconds(const FileTime& t) {
    return t.seconds * 1000000000 + t.nanoseconds;
}

bool closeInTime(const FileTime& a, const FileTime& b) {
    return std::llabs(nanoseconds(a) - nanoseconds(b)) <= kTimeSlackNs;
}

// False for a drive that numbers its files afresh at each mount: there a file is known by its
// name, size and modification time alone.
bool keepsInodes(const QString& path) {
    struct statfs fs;
    if (::statfs(encodeLocal8(folderOf(path)).constData(), &fs) != 0)
        return true;
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type != kFuseMagic && type != kMsdosMagic && type != kExfatMagic;
}

// A path of the form <trash>/files/<name> whose <trash>/info/<name>.trashinfo exists, with
// "files" a real folder: what Trash::keep hands out and nothing else.
bool inTrashFiles(const FileOps& fs, const QString& keptAs) {
    const qsizetype slash = keptAs.lastIndexOf(QLatin1Char('/'));
    const QString name = keptAs.mid(slash + 1);
    const QString files = keptAs.left(slash);
    if (slash < 0 || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        !files.endsWith(QLatin1String("/files")) || files.size() <= 6)
        return false;
    const std::optional<ObjectStamp> folder = objectStamp(fs, files);
    const std::optional<ObjectStamp> info =
        objectStamp(fs, files.chopped(5) + QStringLiteral("info/") + name + QStringLiteral(".trashinfo"));
    return folder && folder->type == ObjectStamp::Type::Folder && info &&
           info->type == ObjectStamp::Type::File;
}

enum class Fate {
    Done,    // undone, or nothing was left to undo
    Stays,   // not undone now; a later undo may get past what stopped it
    Refused, // never to be undone: not the run's own, or changed since
};

class Undoer {
public:
    Undoer(const FileOps& fs, Trash& trash, UndoResult& result, const QString& output)
        : fs_(fs), trash_(trash), result_(result), output_(output) {}

    Fate undo(const JournalEntry& e) {
        if (!liesIn(e.target, output_, e.kind == JournalKind::FolderCreated)) {
            fail(e, outsideReason());
            return Fate::Refused;
        }
        if (e.kind == JournalKind::FolderCreated)
            return removeFolder(e);
        Fate fate = e.kind == JournalKind::Link ? removeLink(e)
                    : isCopy(e.kind)            ? removeCopy(e)
                                                : moveBack(e);
        if (isReplace(e.kind) && fate == Fate::Done)
            fate = bringBackOld(e);
        if (fate == Fate::Stays)
            staying_.append(e.target);
        return fate;
    }

private:
    // What a file put back from the trash was when the run kept it, and what it is now: an
    // earlier entry whose file it is finds it with a new change time, and that is no change.
    struct PutBack {
        FileStamp recorded;
        ObjectStamp now;
    };

    void fail(const JournalEntry& e, const QString& reason) {
        result_.failures.push_back({e.source, e.target, reason});
    }

    // True when `now` is the object the run left at the entry's target.
    bool isMade(const JournalEntry& e, const ObjectStamp& now) const {
        if (!keepsInodes(e.target))
            return now.stamp.size == e.made.size && closeInTime(now.stamp.modified, e.made.modified);
        if (now.stamp.id.inode != e.made.id.inode || now.stamp.size != e.made.size ||
            now.stamp.modified != e.made.modified)
            return false;
        // A drive attached again may get another device number; inode and change time, to the
        // nanosecond, at the same path tell the file apart well enough without it.
        if (e.madeChanged == FileTime() ? now.stamp.id.device == e.made.id.device
                                        : now.changed == e.madeChanged)
            return true;
        const auto back = putBack_.constFind(e.target);
        return back != putBack_.cend() && back->recorded == e.made && back->now.stamp.id == now.stamp.id &&
               back->now.changed == now.changed;
    }

    // The copy at the target goes when it is still the file the run made, its source still
    // holds the same content and is not that very file.
    Fate removeCopy(const JournalEntry& e) {
        const std::optional<ObjectStamp> now = objectStamp(fs_, e.target);
        if (!now) {
            // Gone already (deleted by the user, or by an earlier undo that did not finish):
            // nothing to delete. A vanished folder above it is another matter: the drive may
            // simply be gone.
            if (!fs_.isDir(folderOf(e.target))) {
                fail(e, systemReason(ENOENT));
                return Fate::Stays;
            }
            return Fate::Done;
        }
        if (now->type != ObjectStamp::Type::File || !isMade(e, *now)) {
            fail(e, changedReason());
            return Fate::Refused;
        }
        // A source turned into a link to the copy, or a hard link of it: the copy is the only
        // one left.
        if (fs_.mayBeSameFile(e.source, e.target)) {
            fail(e, sameAsSourceReason());
            return Fate::Refused;
        }
        // Where the source went or changed since, the copy may be the only one left of what
        // was copied: it stays.
        const std::optional<FileStamp> source = fs_.stamp(e.source);
        if (!source || source->size != e.made.size || !closeInTime(source->modified, e.made.modified)) {
            fail(e, sourceGoneReason());
            return Fate::Stays;
        }
        const FsResult removed = fs_.removeFile(e.target);
        if (!removed.ok()) {
            fail(e, systemReason(removed.error));
            return Fate::Stays;
        }
        ++result_.removed;
        return Fate::Done;
    }

    // The moved file goes back to its source.
    Fate moveBack(const JournalEntry& e) {
        const std::optional<ObjectStamp> now = objectStamp(fs_, e.target);
        if (!now) {
            const bool folderThere = fs_.isDir(folderOf(e.target));
            // An earlier undo that did not finish may have put it back already.
            const std::optional<FileStamp> back = fs_.stamp(e.source);
            if (folderThere && back && back->size == e.made.size &&
                closeInTime(back->modified, e.made.modified))
                return Fate::Done;
            fail(e, systemReason(ENOENT));
            return folderThere ? Fate::Refused : Fate::Stays;
        }
        if (now->type != ObjectStamp::Type::File || !isMade(e, *now)) {
            fail(e, changedReason());
            return Fate::Refused;
        }
        if (fs_.exists(e.source)) {
            fail(e, takenReason());
            return Fate::Stays;
        }
        // The source's folder may have gone since; it held the file before the run.
        const QString sourceFolder = folderOf(e.source);
        if (!fs_.isDir(sourceFolder)) {
            const FsResult made = fs_.makePath(sourceFolder);
            if (!made.ok()) {
                fail(e, systemReason(made.error));
                return Fate::Stays;
            }
        }
        const FsResult moved = fs_.moveFile(e.target, e.source, FileOps::MoveMode::NoReplace);
        if (!moved.ok()) {
            fail(e, moved.error == EEXIST ? takenReason() : systemReason(moved.error));
            return Fate::Stays;
        }
        ++result_.restored;
        return Fate::Done;
    }

    // True when the file at keptAs is the old target as the run found it: the same file where
    // it stayed on its drive, a copy with its size and time where the trash is on another.
    bool isKept(const JournalEntry& e, const ObjectStamp& now) const {
        if (e.kept == FileStamp())
            return false;
        if (!keepsInodes(e.keptAs))
            return now.stamp.size == e.kept.size && closeInTime(now.stamp.modified, e.kept.modified);
        if (now.stamp.id.device == e.kept.id.device && now.stamp.id.inode != e.kept.id.inode)
            return false;
        return now.stamp.size == e.kept.size && now.stamp.modified == e.kept.modified;
    }

    Fate bringBackOld(const JournalEntry& e) {
        const auto failOld = [&](const QString& reason, Fate fate) {
            result_.failures.push_back({e.keptAs.isEmpty() ? e.target : e.keptAs,
                                        e.keptAs.isEmpty() ? QString() : e.target, reason});
            return fate;
        };
        if (e.keptAs.isEmpty())
            return failOld(oldGoneReason(), Fate::Refused);
        const std::optional<ObjectStamp> kept = objectStamp(fs_, e.keptAs);
        if (!kept) {
            // With the trash's folder there the user emptied it; without, its drive is away.
            const bool trashThere = fs_.isDir(folderOf(e.keptAs));
            return failOld(systemReason(ENOENT), trashThere ? Fate::Refused : Fate::Stays);
        }
        if (kept->type != ObjectStamp::Type::File || !inTrashFiles(fs_, e.keptAs) || !isKept(e, *kept))
            return failOld(notKeptReason(), Fate::Refused);
        const FsResult restored = trash_.restore(e.keptAs, e.target);
        if (!restored.ok())
            return failOld(restored.error == EEXIST ? takenReason() : systemReason(restored.error),
                           Fate::Stays);
        if (const std::optional<ObjectStamp> now = objectStamp(fs_, e.target))
            putBack_.insert(e.target, PutBack{e.kept, *now});
        ++result_.restored;
        return Fate::Done;
    }

    // A link a tree copy made goes while it is that link and says what it said.
    Fate removeLink(const JournalEntry& e) {
        const std::optional<ObjectStamp> now = objectStamp(fs_, e.target);
        if (!now) {
            if (fs_.isDir(folderOf(e.target)))
                return Fate::Done;
            fail(e, systemReason(ENOENT));
            return Fate::Stays;
        }
        const bool same = !keepsInodes(e.target) || now->stamp.id.inode == e.made.id.inode;
        if (now->type != ObjectStamp::Type::Link || !same || linkText(e.target) != e.linkText) {
            fail(e, changedReason());
            return Fate::Refused;
        }
        const FsResult removed = fs_.removeFile(e.target);
        if (!removed.ok()) {
            fail(e, systemReason(removed.error));
            return Fate::Stays;
        }
        ++result_.removed;
        return Fate::Done;
    }

    // True when an entry left for a later undo lies in the folder: the folder goes after it.
    bool holdsStaying(const QString& folder) const {
        const QString inside = folder + QLatin1Char('/');
        return std::any_of(staying_.cbegin(), staying_.cend(),
                           [&](const QString& target) { return target.startsWith(inside); });
    }

    // A folder the run made goes when it is that same folder and empty; one that holds
    // anything (files put there since, or what could not be undone) stays without a word.
    Fate removeFolder(const JournalEntry& e) {
        const Fate later = holdsStaying(e.target) ? Fate::Stays : Fate::Done;
        const std::optional<ObjectStamp> now = objectStamp(fs_, e.target);
        if (!now)
            return later;
        if (now->type != ObjectStamp::Type::Folder ||
            (keepsInodes(e.target) && now->stamp.id.inode != e.made.id.inode))
            return Fate::Done;
        const FsResult removed = fs_.removeEmptyFolder(e.target);
        if (removed.ok()) {
            ++result_.foldersRemoved;
            return Fate::Done;
        }
        // fusefat says EPERM where a folder is not empty.
        if (removed.error == ENOTEMPTY || removed.error == EEXIST ||
            !QDir(e.target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            return later;
        result_.failures.push_back({e.target, QString(), systemReason(removed.error)});
        return Fate::Stays;
    }

    const FileOps& fs_;
    Trash& trash_;
    UndoResult& result_;
    const QString output_;
    QHash<QString, PutBack> putBack_;
    QStringList staying_; // targets of the entries that stay
};

QString escapedForLine(const QString& path) {
    // A name with a line break would read as two steps.
    QString text = path;
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return text;
}

} // namespace

UndoPlan planUndo(const std::vector<JournalEntry>& entries) {
    UndoPlan plan;
    for (const JournalEntry& e : entries) {
        if (isCopy(e.kind) || e.kind == JournalKind::Link)
            ++plan.remove;
        else if (isMove(e.kind))
            ++plan.restore;
        if (isReplace(e.kind) && !e.keptAs.isEmpty())
            ++plan.restore;
    }
    return plan;
}

QString undoQuestion(const UndoPlan& plan) {
    return QStringLiteral("撤销上次分拣：将恢复 %1 个文件，删除 %2 个复制出的文件。是否继续？")
        .arg(plan.restore)
        .arg(plan.remove);
}

QString undoDetails(const std::vector<JournalEntry>& entries) {
    QStringList lines;
    qsizetype more = 0;
    const auto add = [&](const QString& line) {
        if (lines.size() < kUndoDetailLines)
            lines.append(line);
        else
            ++more;
    };
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const JournalEntry& e = *it;
        const QString target = escapedForLine(e.target);
        if (e.kind == JournalKind::FolderCreated)
            add(QStringLiteral("删除空文件夹 ") + target);
        else if (e.kind == JournalKind::Link)
            add(QStringLiteral("删除链接 ") + target);
        else if (isCopy(e.kind))
            add(QStringLiteral("删除 ") + target);
        else
            add(QStringLiteral("移回 ") + target + QStringLiteral(" → ") + escapedForLine(e.source));
        if (isReplace(e.kind) && !e.keptAs.isEmpty())
            add(QStringLiteral("从回收站恢复 ") + target);
    }
    if (more > 0)
        lines.append(QStringLiteral("……另有 %1 项").arg(more));
    return lines.join(QLatin1Char('\n'));
}

QString journalProblemText(Journal::Problem problem) {
    switch (problem) {
    case Journal::Problem::None:
        break;
    case Journal::Problem::OldFormat:
        return QStringLiteral("上次分拣的撤销记录来自旧版本，无法撤销。");
    case Journal::Problem::TooLarge:
        return QStringLiteral("上次分拣的撤销记录过大，无法撤销。");
    }
    return QString();
}

UndoResult runUndo(const FileOps& fs, Trash& trash, const Journal& journal, const UndoStep& step) {
    UndoResult result;
    result.incomplete = journal.incomplete;
    Undoer undoer(fs, trash, result, journal.outputFolder);
    const std::vector<JournalEntry>& entries = journal.entries;
    const int total = int(entries.size());
    for (int i = total - 1; i >= 0; --i) {
        if (step && !step(total - 1 - i, total)) {
            result.stopped = true;
            result.left = i + 1;
            break;
        }
        if (undoer.undo(entries[size_t(i)]) == Fate::Stays)
            result.kept.push_back(i);
    }
    std::reverse(result.kept.begin(), result.kept.end());
    return result;
}

UndoReport undoReport(const UndoResult& result) {
    UndoReport report;
    report.text = result.stopped ? QStringLiteral("撤销已停止！") : QStringLiteral("撤销完成！");
    QStringList lines;
    if (!result.failures.empty())
        lines << QStringLiteral("有 %1 个项目未能撤销。").arg(result.failures.size());
    if (result.stopped && result.left > 0)
        lines << QStringLiteral("还有 %1 个项目尚未撤销。").arg(result.left);
    if (result.incomplete)
        lines << QStringLiteral("撤销记录不完整，其余项目无法撤销。");
    report.line = lines.join(QLatin1Char('\n'));
    QStringList details;
    for (const UndoFailure& f : result.failures) {
        const QString where = f.target.isEmpty() ? f.path : f.path + QStringLiteral(" → ") + f.target;
        details << where + QStringLiteral("：") + f.reason;
    }
    report.details = details.join(QLatin1Char('\n'));
    return report;
}

void settleJournal(const QString& path, const Journal& journal, const UndoResult& result) {
    const std::vector<JournalEntry>& entries = journal.entries;
    std::vector<int> rest;
    for (int i = 0; i < result.left && i < int(entries.size()); ++i)
        rest.push_back(i);
    rest.insert(rest.end(), result.kept.begin(), result.kept.end());
    // Folders alone are not worth a journal: they go when emptied, and nothing else is left.
    const bool files = std::any_of(rest.begin(), rest.end(), [&](int i) {
        return entries[size_t(i)].kind != JournalKind::FolderCreated;
    });
    if (!files) {
        removeJournal(path);
        return;
    }
    std::optional<JournalWriter> writer = JournalWriter::begin(path, journal.outputFolder);
    if (!writer)
        return; // the old journal stays whole: a later undo finds what is done already
    for (const int i : rest)
        writer->append(entries[size_t(i)]);
    if (!journal.incomplete)
        writer->finish();
}

} // namespace velquin
