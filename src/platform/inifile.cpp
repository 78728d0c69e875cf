#include "platform/inifile.h"

#include "platform/names.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

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

int writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += n;
    }
    return 0;
}

// Makes the folder and its missing parents; new folders are private to the user, as a
// configuration folder should be.
int makeFolders(const QByteArray& folder) {
    struct stat st {};
    if (::stat(folder.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    for (qsizetype slash = folder.indexOf('/', 1);; slash = folder.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? folder : folder.left(slash);
        if (!part.isEmpty() && ::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    if (::stat(folder.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// The file a save replaces: the target of a link at the path, else the path itself.
QByteArray saveTarget(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.constData(), resolved))
            return QByteArray(resolved);
    }
    return path;
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

IniFile IniFile::load(const QString& path) {
    IniFile file;
    file.path_ = path;
    const QByteArray native = encodeLocal8(path);
    const int fd = native.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = native.isEmpty() ? ENOENT : errno;
        // No file there (or a parent that is no folder) is a file without lines.
        file.loadError_ = error == ENOENT || error == ENOTDIR ? 0 : error;
        return file;
    }
    QByteArray content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            file.loadError_ = errno;
            break;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
    }
    ::close(fd);
    if (file.loadError_ != 0)
        return file;

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
    bool inSection = false;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[size_t(i)];
        if (line.kind == Line::Section) {
            inSection = sameName(line.name, sectionBytes);
            if (inSection && found.sectionLine < 0)
                found.sectionLine = i;
            continue;
        }
        if (inSection && line.kind == Line::Key && sameName(line.name, keyBytes)) {
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
    QByteArray out;
    for (const Line& line : lines_)
        out += line.text + line.end;
    return out;
}

int IniFile::save() const {
    if (loadError_ != 0)
        return loadError_;
    const QByteArray native = encodeLocal8(path_);
    if (native.isEmpty())
        return ENOENT;
    const QByteArray target = saveTarget(native);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArrayLiteral(".")
                              : slash == 0 ? QByteArrayLiteral("/")
                                           : target.left(slash);
    const QByteArray name = target.mid(slash + 1);
    if (name.isEmpty())
        return EISDIR;
    if (const int error = makeFolders(folder))
        return error;

    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return EISDIR;

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary =
            folder + "/." + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;

    int error = writeAll(fd, bytes());
    if (error == 0 && replacing && ::fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    // The file replaces the only copy of the settings: make it durable before the rename.
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}

} // namespace velquin
