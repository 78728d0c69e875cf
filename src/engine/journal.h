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
    Link,          // a symbolic link a tree copy made again at target
};

struct JournalEntry {
    JournalKind kind = JournalKind::Copy;
    QString source;
    QString target;
    FileStamp made;       // the file (or folder, or link itself) the run left at target
    FileTime madeChanged; // its change time; zero where it could not be had
    QString keptAs;       // replaces: where the old content of target went; "" when it is gone
    FileStamp kept;       // replaces: the old target as the run found it, when kept
    QString linkText;     // links: what the link made says
    bool operator==(const JournalEntry&) const = default;
};

// A journal as read back: the output folder its run sorted into (with its trailing separator),
// its entries, and whether it holds every transfer of its run.
struct Journal {
    enum class Problem {
        None,
        OldFormat, // written by an earlier version, without what undo must check
        TooLarge,  // larger than any run writes: not read at all
    };
    Problem problem = Problem::None;
    QString outputFolder;
    std::vector<JournalEntry> entries;
    // An entry could not be written, or the run never ended its journal (killed, or the drive
    // full): transfers may have happened that the journal does not name.
    bool incomplete = false;
};

// Larger than the journal of any run (about a million transfers at a few hundred bytes each);
// read in full, a larger one would hold gigabytes of entries in memory.
inline constexpr qint64 kMaxJournalBytes = qint64(256) << 20;

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
    // Starts a new journal at `path` (its folder is made when missing) for a run into
    // `outputFolder`. It takes the last one's place only once its first line is written; when it
    // cannot be started the last one stays as it was and nullopt is returned.
    static std::optional<JournalWriter> begin(const QString& path, const QString& outputFolder);

    JournalWriter(JournalWriter&& other) noexcept;
    JournalWriter& operator=(JournalWriter&& other) noexcept;
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    ~JournalWriter();

    // Records one transfer; false when it could not be written (a full disk). After a failure
    // the journal stays incomplete, whatever is appended later.
    bool append(const JournalEntry& entry);
    // Marks the journal as holding every transfer of its run; false (and nothing written) when
    // an append failed before, or when the mark cannot be written.
    bool finish();
    // A transfer the run made that cannot be recorded: the journal is incomplete.
    void skipped() { lost_ = true; }

private:
    explicit JournalWriter(int fd) : fd_(fd) {}
    int fd_ = -1;
    bool lost_ = false;
};

// The journal at `path` with its entries in the order the run made them, `most` of them at the
// most. A torn last line, and any line that does not read as an entry, is left out; no entries
// when there is no journal (or something other than a regular file is at the path). Linear in
// the size of the file; one larger than kMaxJournalBytes is refused unread, and one is read only
// up to a line longer than any entry (then it counts as incomplete).
Journal loadJournal(const QString& path, size_t most = SIZE_MAX);
// loadJournal's entries alone (none for a journal with a problem).
std::vector<JournalEntry> readJournal(const QString& path, size_t most = SIZE_MAX);

// The object at a path itself (a link is not followed), as a journal records and undo checks it.
struct ObjectStamp {
    FileStamp stamp;
    FileTime changed;
    enum class Type { File, Folder, Link, Other } type = Type::Other;
};
std::optional<ObjectStamp> objectStamp(const FileOps& fs, const QString& path);
// What the symbolic link at `path` says; nullopt when there is no link there.
std::optional<QString> linkText(const QString& path);

// True when `path` lies inside `folder` (a path ending in the separator), told from the text
// alone: below the folder no empty name and no "." or "..". With `orIs`, the folder itself
// (with or without its separator) counts too.
bool liesIn(const QString& path, const QString& folder, bool orIs = false);
void removeJournal(const QString& path);

} // namespace velquin
