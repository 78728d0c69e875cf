#include "platform/inifile.h"

#include "platform/fileops.h"
#include "platform/names.h"

#include <cerrno>

namespace velquin {

namespace {

const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

QByteArray trimmed(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

qsizetype firstNonBlank(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    return i;
}

// The name of a "[Section]" line, or nullopt for any other line.
std::optional<QByteArray> sectionNameOf(const QByteArray& line) {
    const qsizetype open = firstNonBlank(line);
    if (open >= line.size() || line.at(open) != '[')
        return std::nullopt;
    const qsizetype close = line.lastIndexOf(']');
    if (close < open)
        return std::nullopt;
    return trimmed(line.mid(open + 1, close - open - 1));
}

// The key of a "Key=Value" line, or nullopt for a comment, a line without "=" or a blank key.
std::optional<QByteArray> keyNameOf(const QByteArray& line) {
    const qsizetype start = firstNonBlank(line);
    if (start >= line.size() || line.at(start) == ';' || line.at(start) == '[')
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    QByteArray key = trimmed(line.left(eq));
    if (key.isEmpty())
        return std::nullopt;
    return key;
}

// Names compare as bytes with the ASCII letters folded: the names the program uses are ASCII, and
// folding nothing else keeps multi-byte characters from matching by accident.
bool sameName(const QByteArray& stored, const QByteArray& wanted) {
    if (stored.size() != wanted.size())
        return false;
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c; };
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (fold(stored.at(i)) != fold(wanted.at(i)))
            return false;
    }
    return true;
}

bool hasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a multi-byte character, so that the
// cut value still decodes to the characters it began with.
QByteArray cutAtCharBoundary(const QByteArray& text, qsizetype limit) {
    if (text.size() <= limit)
        return text;
    qsizetype cut = limit;
    // Back up over the continuation bytes at the cut to the lead byte of their character.
    qsizetype lead = cut;
    while (lead > 0 && cut - lead < 3 && (static_cast<unsigned char>(text.at(lead)) & 0xC0) == 0x80)
        --lead;
    if (lead < cut) {
        const unsigned char b = static_cast<unsigned char>(text.at(lead));
        const int length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (length > 0 && lead + length > cut)
            cut = lead;
    }
    return text.left(cut);
}

} // namespace

IniFile::Line::Line(QByteArray lineText, QByteArray lineEnd)
    : text(std::move(lineText)), end(std::move(lineEnd)), kind(Other) {
    if (auto section = sectionNameOf(text)) {
        kind = Section;
        name = std::move(*section);
    } else if (auto key = keyNameOf(text)) {
        kind = Key;
        name = std::move(*key);
    }
}

IniFile IniFile::load(const QString& path, const FileOps& fs) {
    IniFile file;
    file.path_ = path;
    int error = 0;
    std::optional<QByteArray> read = path.isEmpty() ? std::nullopt : fs.readFile(path, &error);
    if (!read) {
        // No file there (or a parent that is no folder) is a file without lines; anything else
        // that cannot be read (a FIFO, a folder, no permission) is remembered so it is not replaced.
        file.loadError_ = path.isEmpty() || error == ENOENT || error == ENOTDIR ? 0 : error;
        return file;
    }
    QByteArray content = std::move(*read);
    // A byte-order mark would make the first line a line of its own; it stays on writing.
    if (content.startsWith(kByteOrderMark)) {
        file.byteOrderMark_ = true;
        content.remove(0, 3);
    }

    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype newline = content.indexOf('\n', start);
        if (newline < 0) {
            file.lines_.emplace_back(content.mid(start), QByteArray());
            break;
        }
        const bool crlf = newline > start && content.at(newline - 1) == '\r';
        file.lines_.emplace_back(content.mid(start, newline - start - (crlf ? 1 : 0)),
                                 crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n"));
        start = newline + 1;
    }
    return file;
}

IniFile::Found IniFile::find(const QString& section, const QString& key) const {
    const QByteArray sectionBytes = trimmed(encodeLocal8(section));
    const QByteArray keyBytes = trimmed(encodeLocal8(key));
    Found found;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[size_t(i)];
        if (line.kind == Line::Section) {
            // The first section of the name holds every key of it; later ones are never read.
            if (found.sectionLine >= 0)
                return found;
            if (sameName(line.name, sectionBytes))
                found.sectionLine = i;
            continue;
        }
        if (found.sectionLine >= 0 && line.kind == Line::Key && sameName(line.name, keyBytes)) {
            found.keyLine = i;
            return found;
        }
    }
    return found;
}

qsizetype IniFile::sectionEnd(qsizetype headerLine) const {
    qsizetype next = headerLine + 1;
    while (next < qsizetype(lines_.size()) && lines_[size_t(next)].kind != Line::Section)
        ++next;
    // Blank lines before the next section stay after the new key.
    while (next > headerLine + 1 && trimmed(lines_[size_t(next - 1)].text).isEmpty())
        --next;
    return next;
}

void IniFile::insertLine(qsizetype at, const QByteArray& text) {
    // The line before may be the last one of a file without a final line end.
    if (at > 0 && lines_[size_t(at - 1)].end.isEmpty())
        lines_[size_t(at - 1)].end = QByteArrayLiteral("\r\n");
    lines_.insert(lines_.begin() + at, Line(text, QByteArrayLiteral("\r\n")));
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const Found found = find(section, key);
    if (found.keyLine < 0)
        return std::nullopt;
    const QByteArray& text = lines_[size_t(found.keyLine)].text;
    QByteArray value = trimmed(text.mid(text.indexOf('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return decodeLocal8(cutAtCharBoundary(value, kMaxValueBytes));
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        section.contains(QLatin1Char(']')) || key.contains(QLatin1Char('=')))
        return false;
    const QByteArray keyBytes = trimmed(encodeLocal8(key));
    if (keyBytes.isEmpty() || keyBytes.front() == ';' || keyBytes.front() == '[')
        return false;
    const QByteArray valueBytes = encodeLocal8(value);

    const Found found = find(section, key);
    if (found.keyLine >= 0) {
        Line& line = lines_[size_t(found.keyLine)];
        // The key keeps the spelling the file gave it.
        line = Line(line.name + '=' + valueBytes, QByteArrayLiteral("\r\n"));
        return true;
    }
    if (found.sectionLine >= 0) {
        insertLine(sectionEnd(found.sectionLine), keyBytes + '=' + valueBytes);
        return true;
    }
    insertLine(qsizetype(lines_.size()), '[' + encodeLocal8(section) + ']');
    insertLine(qsizetype(lines_.size()), keyBytes + '=' + valueBytes);
    return true;
}

QByteArray IniFile::bytes() const {
    QByteArray out = byteOrderMark_ ? kByteOrderMark : QByteArray();
    for (const Line& line : lines_)
        out += line.text + line.end;
    return out;
}

IniFile IniFile::load(const QString& path) {
    return load(path, FileOps());
}

int IniFile::save() const {
    return save(FileOps());
}

int IniFile::save(const FileOps& fs) const {
    if (loadError_ != 0)
        return loadError_;
    if (path_.isEmpty())
        return ENOENT;
    // The file replaces the only copy of the settings: it is made durable before the rename. New
    // folders are private to the user, as a configuration folder should be.
    FileOps::WriteOptions options;
    options.durable = true;
    options.parentsMode = 0700;
    return fs.writeFile(path_, bytes(), options).error;
}

} // namespace velquin
