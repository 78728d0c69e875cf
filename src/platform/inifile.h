#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace velquin {

class FileOps;

// An INI file read and written by the private-profile rules: a "[Section]" line starts a
// section, "Key=Value" lines follow; section and key names match with their ASCII letters folded
// to one case; the first section of a name holds all its keys (a key found only in a later
// section of that name is absent) and the first key of a name wins; ";" starts a comment line.
// A UTF-8 byte-order mark at the start is passed over and written back.
// Bytes are converted with decodeLocal8 and encodeLocal8. Everything is done on a copy in
// memory; save() puts it in place in one rename, and every line that was not set is written back
// exactly as it was read.
class IniFile {
public:
    // The longest value a read returns, in bytes of the file.
    static constexpr qsizetype kMaxValueBytes = 2047;

    // Reads the file. A missing file (or a parent that is no folder) is an empty file; a file that
    // exists but cannot be read is an empty file too, and remembers the error so that save() will
    // not replace it. Only a regular file is opened: a FIFO or device there is such a file.
    static IniFile load(const QString& path);
    static IniFile load(const QString& path, const FileOps& fs);

    const QString& path() const { return path_; }
    // errno of the read, 0 when the file was read or does not exist.
    int loadError() const { return loadError_; }

    // The value without blanks (and control characters) at either end and without one pair of
    // enclosing double or single quotes, cut to at most kMaxValueBytes bytes at a character
    // boundary. nullopt when the section or the key is missing; an empty value is "", not nullopt.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Sets a value in memory. An existing key keeps its place (its line is rewritten); a new key
    // goes after the last non-blank line of its section; a new section goes at the end of the
    // file. Refuses (false, nothing changed) a value or name with a line break, which the file
    // cannot hold, a key name that contains "=" or is blank, and a section name with "]".
    bool setValue(const QString& section, const QString& key, const QString& value);

    // The file's content as save() writes it.
    QByteArray bytes() const;

    // Writes the content to a new file in the same folder (made with its missing parents) and
    // renames it over the path, so the path holds either the old or the whole new file. A link at
    // the path is followed and its target replaced; the old file's permission bits are kept.
    // Returns 0 or the errno of the step that failed; a file that could not be read is not replaced,
    // nor one whose owner has no write permission (EACCES).
    int save() const;
    int save(const FileOps& fs) const;

private:
    struct Line {
        enum Kind { Other, Section, Key };
        Line(QByteArray text, QByteArray end);
        QByteArray text; // without its line end
        QByteArray end;  // "\r\n", "\n" or "" (the last line of a file without a final line end)
        Kind kind;       // parsed once, so look-ups in a large file only compare names
        QByteArray name; // of the section or key, trimmed
    };
    struct Found {
        qsizetype sectionLine = -1; // header of the first section of that name
        qsizetype keyLine = -1;     // the first line of that key in that section
    };

    Found find(const QString& section, const QString& key) const;
    qsizetype sectionEnd(qsizetype headerLine) const;
    void insertLine(qsizetype at, const QByteArray& text);

    QString path_;
    int loadError_ = 0;
    bool byteOrderMark_ = false;
    std::vector<Line> lines_;
};

} // namespace velquin
