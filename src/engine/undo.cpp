#include "engine/undo.h"

#include "platform/trash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velquin {

namespace {

// FAT keeps modification times in steps of two seconds, so a copy there may differ from its
// source by that much.
constexpr qint64 kTimeSlack = 2;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

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

class Undoer {
public:
    Undoer(const FileOps& fs, Trash& trash, UndoResult& result) : fs_(fs), trash_(trash), result_(result) {}

    void undo(const JournalEntry& e) {
        if (e.kind == JournalKind::FolderCreated) {
            removeFolder(e);
            return;
        }
        const bool targetFree = isCopy(e.kind) ? removeCopy(e) : moveBack(e);
        if (isReplace(e.kind) && targetFree)
            bringBackOld(e);
    }

private:
    void fail(const JournalEntry& e, const QString& reason) {
        result_.failures.push_back({e.source, e.target, reason});
    }

    // The copy at the target goes when it is still the file the run made and its source still
    // holds the same content; true when the target is free afterwards.
    bool removeCopy(const JournalEntry& e) {
        const std::optional<FileStamp> now = fs_.stamp(e.target);
        if (!now) {
            // Something that cannot be followed (a broken link) is not the file the run made.
            if (fs_.exists(e.target)) {
                fail(e, changedReason());
                return false;
            }
            // Gone already (deleted by the user): nothing to delete. A vanished folder above
            // it is another matter: the drive may simply be gone.
            if (!fs_.isDir(folderOf(e.target))) {
                fail(e, systemReason(ENOENT));
                return false;
            }
            return true;
        }
        if (*now != e.made) {
            fail(e, changedReason());
            return false;
        }
        // Where the source went or changed since, the copy may be the only one left of what
        // was copied: it stays.
        const std::optional<FileStamp> source = fs_.stamp(e.source);
        if (!source || source->size != e.made.size ||
            std::llabs(source->modified.seconds - e.made.modified.seconds) > kTimeSlack) {
            fail(e, sourceGoneReason());
            return false;
        }
        const FsResult removed = fs_.removeFile(e.target);
        if (!removed.ok()) {
            fail(e, systemReason(removed.error));
            return false;
        }
        ++result_.removed;
        return true;
    }

    // The moved file goes back to its source; true when the target is free afterwards.
    bool moveBack(const JournalEntry& e) {
        const std::optional<FileStamp> now = fs_.stamp(e.target);
        if (!now) {
            const bool taken = fs_.exists(e.target);
            fail(e, taken ? changedReason() : systemReason(ENOENT));
            return !taken && fs_.isDir(folderOf(e.target));
        }
        if (*now != e.made) {
            fail(e, changedReason());
            return false;
        }
        if (fs_.exists(e.source)) {
            fail(e, takenReason());
            return false;
        }
        // The source's folder may have gone since; it held the file before the run.
        const QString sourceFolder = folderOf(e.source);
        if (!fs_.isDir(sourceFolder)) {
            const FsResult made = fs_.makePath(sourceFolder);
            if (!made.ok()) {
                fail(e, systemReason(made.error));
                return false;
            }
        }
        const FsResult moved = fs_.moveFile(e.target, e.source, FileOps::MoveMode::NoReplace);
        if (!moved.ok()) {
            fail(e, moved.error == EEXIST ? takenReason() : systemReason(moved.error));
            return false;
        }
        ++result_.restored;
        return true;
    }

    void bringBackOld(const JournalEntry& e) {
        if (e.keptAs.isEmpty()) {
            result_.failures.push_back({e.target, QString(), oldGoneReason()});
            return;
        }
        const FsResult restored = trash_.restore(e.keptAs, e.target);
        if (!restored.ok()) {
            result_.failures.push_back(
                {e.keptAs, e.target,
                 restored.error == EEXIST ? takenReason() : systemReason(restored.error)});
            return;
        }
        ++result_.restored;
    }

    // A folder the run made goes when it is that same folder and empty; one that holds
    // anything (files put there since, or what could not be undone) stays without a word.
    void removeFolder(const JournalEntry& e) {
        const std::optional<FileId> id = fs_.fileId(e.target);
        if (!id || *id != e.made.id || !fs_.isDir(e.target))
            return;
        const FsResult removed = fs_.removeEmptyFolder(e.target);
        if (removed.ok()) {
            ++result_.foldersRemoved;
            return;
        }
        if (removed.error != ENOTEMPTY && removed.error != EEXIST)
            result_.failures.push_back({e.target, QString(), systemReason(removed.error)});
    }

    const FileOps& fs_;
    Trash& trash_;
    UndoResult& result_;
};

} // namespace

UndoPlan planUndo(const std::vector<JournalEntry>& entries) {
    UndoPlan plan;
    for (const JournalEntry& e : entries) {
        if (isCopy(e.kind))
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

UndoResult runUndo(const FileOps& fs, Trash& trash, const std::vector<JournalEntry>& entries,
                   const UndoStep& step) {
    UndoResult result;
    Undoer undoer(fs, trash, result);
    const int total = int(entries.size());
    for (int i = total - 1; i >= 0; --i) {
        if (step && !step(total - 1 - i, total)) {
            result.stopped = true;
            result.left = i + 1;
            break;
        }
        undoer.undo(entries[size_t(i)]);
    }
    return result;
}

UndoReport undoReport(const UndoResult& result) {
    UndoReport report;
    report.text = QStringLiteral("撤销完成！");
    if (result.failures.empty())
        return report;
    report.line = QStringLiteral("有 %1 个项目未能撤销。").arg(result.failures.size());
    QStringList lines;
    for (const UndoFailure& f : result.failures) {
        const QString where = f.target.isEmpty() ? f.path : f.path + QStringLiteral(" → ") + f.target;
        lines << where + QStringLiteral("：") + f.reason;
    }
    report.details = lines.join(QLatin1Char('\n'));
    return report;
}

void settleJournal(const QString& path, const std::vector<JournalEntry>& entries, const UndoResult& result) {
    if (!result.stopped || result.left <= 0) {
        removeJournal(path);
        return;
    }
    if (std::optional<JournalWriter> rest = JournalWriter::begin(path)) {
        for (int i = 0; i < result.left && i < int(entries.size()); ++i)
            rest->append(entries[size_t(i)]);
    }
}

} // namespace velquin
