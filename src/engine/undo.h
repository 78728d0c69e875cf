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
    std::vector<UndoFailure> failures;
};

// Told before each entry how far the undo got (entries done, of all); returning false stops it.
using UndoStep = std::function<bool(int done, int total)>;

// Undoes a journal from its last entry to its first. A moved file goes back to its source
// (never over anything there; across drives a copy and then removal); a copy is deleted only
// while it is still the file the run made, unchanged, and its source is still there; a
// replaced file comes back from the trash once the new file has left its place; the folders
// the run made go when they are empty. Whatever cannot be undone that safely stays as it is
// and is listed in the failures. The caller removes the journal afterwards.
UndoResult runUndo(const FileOps& fs, Trash& trash, const std::vector<JournalEntry>& entries,
                   const UndoStep& step = {});

// What is left of the journal at `path` once an undo of `entries` ended: the entries a stopped
// undo did not reach, or nothing (the journal is removed).
void settleJournal(const QString& path, const std::vector<JournalEntry>& entries, const UndoResult& result);

// The closing box: "撤销完成！", and when anything failed the line "有 N 个项目未能撤销。"
// with one line of details per failure ("path -> target: reason").
struct UndoReport {
    QString text;
    QString line;
    QString details;
};
UndoReport undoReport(const UndoResult& result);

} // namespace velquin
