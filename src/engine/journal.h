#pragma once

#include "platform/fileops.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velquin {

// What one transfer of a run did.
enum class JournalKind {
    Copy,          // copied to a free name
    Move,          // moved to a free name
    ReplaceCopy,   // copied over an existing file
    ReplaceMove,   // moved over an existing file
    NumberedCopy,  // copied under an auto-numbered name
    NumberedMove,  // moved under an auto-numbered name
    FolderCreated, // a folder the run made (target; no source)
};

struct JournalEntry {
    JournalKind kind = JournalKind::Copy;
    QString source;
    QString target;
    FileStamp made; // the file (or folder) the run left at target
    QString keptAs; // replaces: where the old content of target went; "" when it is gone
    bool operator==(const JournalEntry&) const = default;
};

// The journals of the two windows, in journalFolder().
inline constexpr char kFilesJournal[] = "files.journal";
inline constexpr char kFoldersJournal[] = "folders.journal";

// $XDG_STATE_HOME/Velquin, or ~/.local/state/Velquin where that is not set to an absolute path;
// under ~/.qttest in Qt's test mode, so that no test touches a real user's journal.
QString journalFolder();

// Appends a run's entries to its journal as they happen: each append is one write(2) straight
// to the file, so after a crash or a kill the journal holds every transfer finished before it.
class JournalWriter {
public:
    // Starts a new journal at `path` (its folder is made when missing), in place of the last
    // one, which goes even when the new one cannot be started: an older run must never be
    // undone as if it were the last. nullopt when the journal cannot be written.
    static std::optional<JournalWriter> begin(const QString& path);

    JournalWriter(JournalWriter&& other) noexcept;
    JournalWriter& operator=(JournalWriter&& other) noexcept;
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    ~JournalWriter();

    // Records one transfer; false when it could not be written (a full disk).
    bool append(const JournalEntry& entry);

private:
    explicit JournalWriter(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The entries of a journal in the order the run made them, `most` of them at the most. A torn
// last line, and any line that does not read as an entry, is left out; an empty list when there
// is no journal (or something other than a regular file is at the path).
std::vector<JournalEntry> readJournal(const QString& path, size_t most = SIZE_MAX);
bool journalExists(const QString& path);
void removeJournal(const QString& path);

} // namespace velquin
