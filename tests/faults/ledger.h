#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace velquin::test {

// Content that identifies its file: a header with the id, then bytes drawn from a generator
// seeded by it, so that a truncated or mixed-up copy never equals a whole one.
QByteArray identifiedContent(int id, int size);

// Writes a whole file (making missing parents), aborting the test program when it cannot.
void writeWhole(const QString& path, const QByteArray& content);

// A hidden temporary of a copy or save: ".velquin-" + twelve lower-case letters or digits.
bool looksLikeHiddenTemp(const QByteArray& name);

// What a check found under the folders it walked.
struct Verdict {
    int checked = 0;     // contents the ledger required
    QStringList lost;    // origins whose content was found whole nowhere
    QStringList partial; // visible files whose content is no recorded content (truncated, mixed)
    QStringList temps;   // hidden temporaries left behind
    QStringList twice;   // origins whose content was found more than once (a move that copied)
    bool clean() const { return lost.isEmpty() && partial.isEmpty() && temps.isEmpty(); }
    QString describe() const;
};

// The files a scenario wrote at its start, by content; afterwards every one of them must be
// found whole somewhere under the walked folders (links are not followed, so a link does not
// count as a copy of what it leads to).
class Ledger {
public:
    // Writes the file and requires its content to survive; returns the path.
    QString add(const QString& path, const QByteArray& content);
    // Requires a content without writing it.
    void require(const QString& origin, const QByteArray& content) { contents_.insert(content, origin); }
    // Stops requiring the content (the scenario removed that file on purpose).
    void release(const QByteArray& content) { contents_.remove(content); }
    int size() const { return int(contents_.size()); }

    // Walks `roots`; a file counts as partial when it is visible and its content is not one the
    // ledger holds or `alsoWhole` lists.
    Verdict verify(const QStringList& roots, const QList<QByteArray>& alsoWhole = {}) const;

private:
    QHash<QByteArray, QString> contents_;
};

// Adds a scenario's result to the table printed when the test program ends.
void tally(const QString& scenario, const Verdict& verdict);

// Everything under `root` by path: "dir", "link:" + where it leads, or "file:" + content.
// Links are not followed. Two equal states mean nothing was written, moved or removed.
QMap<QString, QByteArray> treeState(const QString& root);

// The content of a file named by bytes (links not followed), or nullopt.
std::optional<QByteArray> readRaw(const QByteArray& path);

// Empties a folder when it goes out of scope, names that are not valid UTF-8 included (which
// the temporary folder's own clean-up passes over), also when the test fails.
class RawTreeRemover {
public:
    explicit RawTreeRemover(const QString& root) : root_(root) {}
    ~RawTreeRemover();
    RawTreeRemover(const RawTreeRemover&) = delete;
    RawTreeRemover& operator=(const RawTreeRemover&) = delete;

private:
    QString root_;
};

// Every regular file under `root` (links not followed), as paths; hidden ones included.
QStringList filesUnder(const QString& root);

} // namespace velquin::test
