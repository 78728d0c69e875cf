#pragma once

#include "engine/journal.h"

#include <QString>

#include <functional>
#include <vector>

namespace velquin {

class Trash;

// What undoing a journal would do, for the question asked first.
struct UndoPlan {
    int restore = 0; // files moved back, or brought back from the trash
    int remove = 0;  // copies the run made, deleted
    bool empty() const { return restore == 0 && remove == 0; }
};

UndoPlan planUndo(const std::vector<JournalEntry>& entries);
// "撤销上次分拣：将恢复 N 个文件，删除 M 个复制出的文件。是否继续？"
QString undoQuestion(const UndoPlan& plan);
// The question's details: one line per step in the order undo takes them ("删除 path",
// "移回 target → source", "从回收站恢复 path", "删除链接 path", "删除空文件夹 path"), at most
// kUndoDetailLines of them and then how many more there are.
inline constexpr int kUndoDetailLines = 1000;
QString undoDetails(const std::vector<JournalEntry>& entries);
// What the undo button says of a journal it will not act on; "" for Journal::Problem::None.
QString journalProblemText(Journal::Problem problem);

// One step that was not undone: the item's path (the source it would go back to, or the
// folder), where it lies now, and why it stayed.
struct UndoFailure {
    QString path;
    QString target;
    QString reason;
};

struct UndoResult {
    int restored = 0;
    int removed = 0;
    int foldersRemoved = 0;
    // Entries not yet undone when the undo was stopped: the first `left` of the journal.
    int left = 0;
    bool stopped = false;
    // The journal did not name every transfer of its run: those it did not name stay as they are.
    bool incomplete = false;
    std::vector<UndoFailure> failures;
    // The entries, by index, that failed in a way a later undo may get past (a drive that is
    // not there, a source path taken, the system refusing): they stay in the journal.
    std::vector<int> kept;
};

// Told before each entry how far the undo got (entries done, of all); returning false stops it.
using UndoStep = std::function<bool(int done, int total)>;

// Undoes a journal from its last entry to its first, acting only on what is provably the run's
// own: paths inside the journal's output folder, and there the object the run left (device,
// inode, size, modification and change time; on drives that do not keep inode numbers across
// mounts, size and modification time at the drive's two-second resolution). A moved file goes
// back to its source (never over anything there; across drives a copy and then removal); a
// copy is deleted only while its source is still there and is another file; a replaced file
// comes back from the trash when it lies in a trash's "files" folder with its note and is the
// file the run kept; links the run made go while they say what they said; the folders the run
// made go when they are empty. Whatever cannot be undone that safely stays as it is and is
// listed in the failures.
UndoResult runUndo(const FileOps& fs, Trash& trash, const Journal& journal, const UndoStep& step = {});

// What is left of the journal at `path` once an undo of `journal` ended: the entries a stopped
// undo did not reach and those kept for a later undo, still marked incomplete where the
// journal was; the journal is removed when none is left.
void settleJournal(const QString& path, const Journal& journal, const UndoResult& result);

// The closing box: "撤销完成！" ("撤销已停止！" when stopped), and the lines "有 N 个项目未能撤销。"
// when anything failed, "还有 N 个项目尚未撤销。" when stopped before the journal's start, and
// "撤销记录不完整，其余项目无法撤销。" for an incomplete journal; one line of details per
// failure ("path → target：reason").
struct UndoReport {
    QString text;
    QString line;
    QString details;
};
UndoReport undoReport(const UndoResult& result);

} // namespace velquin
