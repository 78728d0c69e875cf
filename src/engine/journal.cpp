#include "engine/journal.h"

#include "platform/names.h"

#include <QByteArrayList>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

// The journal is text, one line per transfer, fields separated by tabs:
//   kind, source, target, device, inode, size, modified seconds, modified nanoseconds, kept as
// Paths are the exact bytes of the names with "\\", tab, newline and carriage return written
// as "\\\\", "\\t", "\\n" and "\\r", so that any name survives and a line ends only at its end.
// The first line names the format; a line counts only once its newline is written.

namespace {

constexpr char kHeader[] = "velquin-journal 1\n";
constexpr int kFields = 9;

struct KindName {
    JournalKind kind;
    const char* name;
};

constexpr std::array<KindName, 7> kKindNames{{
    {JournalKind::Copy, "copy"},
    {JournalKind::Move, "move"},
    {JournalKind::ReplaceCopy, "replace-copy"},
    {JournalKind::ReplaceMove, "replace-move"},
    {JournalKind::NumberedCopy, "numbered-copy"},
    {JournalKind::NumberedMove, "numbered-move"},
    {JournalKind::FolderCreated, "folder"},
}};

QByteArray kindName(JournalKind kind) {
    for (const KindName& k : kKindNames) {
        if (k.kind == kind)
            return QByteArray(k.name);
    }
    return QByteArray();
}

std::optional<JournalKind> kindOf(const QByteArray& name) {
    for (const KindName& k : kKindNames) {
        if (name == k.name)
            return k.kind;
    }
    return std::nullopt;
}

QByteArray escaped(const QString& path) {
    const QByteArray bytes = encodeLocal8(path);
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (const char ch : bytes) {
        switch (ch) {
        case '\\':
            out.append("\\\\");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            out.append(ch);
        }
    }
    return out;
}

std::optional<QString> unescaped(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char ch = field.at(i);
        if (ch != '\\') {
            out.append(ch);
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field.at(i)) {
        case '\\':
            out.append('\\');
            break;
        case 't':
            out.append('\t');
            break;
        case 'n':
            out.append('\n');
            break;
        case 'r':
            out.append('\r');
            break;
        default:
            return std::nullopt;
        }
    }
    return decodeLocal8(out);
}

std::optional<JournalEntry> parsed(const QByteArray& line) {
    const QByteArrayList fields = line.split('\t');
    if (fields.size() != kFields)
        return std::nullopt;
    JournalEntry entry;
    const std::optional<JournalKind> kind = kindOf(fields.at(0));
    const std::optional<QString> source = unescaped(fields.at(1));
    const std::optional<QString> target = unescaped(fields.at(2));
    const std::optional<QString> kept = unescaped(fields.at(8));
    bool ok[5] = {};
    entry.made.id.device = fields.at(3).toULongLong(&ok[0]);
    entry.made.id.inode = fields.at(4).toULongLong(&ok[1]);
    entry.made.size = fields.at(5).toLongLong(&ok[2]);
    entry.made.modified.seconds = fields.at(6).toLongLong(&ok[3]);
    entry.made.modified.nanoseconds = fields.at(7).toInt(&ok[4]);
    if (!kind || !source || !target || !kept || target->isEmpty())
        return std::nullopt;
    for (const bool good : ok) {
        if (!good)
            return std::nullopt;
    }
    entry.kind = *kind;
    entry.source = *source;
    entry.target = *target;
    entry.keptAs = *kept;
    return entry;
}

QByteArray line(const JournalEntry& e) {
    const QByteArray tab("\t");
    return kindName(e.kind) + tab + escaped(e.source) + tab + escaped(e.target) + tab +
           QByteArray::number(e.made.id.device) + tab + QByteArray::number(e.made.id.inode) + tab +
           QByteArray::number(e.made.size) + tab + QByteArray::number(e.made.modified.seconds) + tab +
           QByteArray::number(e.made.modified.nanoseconds) + tab + escaped(e.keptAs) + '\n';
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

} // namespace

QString journalFolder() {
    if (QStandardPaths::isTestModeEnabled())
        return QDir::homePath() + QStringLiteral("/.qttest/state/Velquin");
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = !state.isEmpty() && QDir::isAbsolutePath(state)
                             ? state
                             : QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Velquin");
}

std::optional<JournalWriter> JournalWriter::begin(const QString& path) {
    const QByteArray target = encodeLocal8(path);
    const QByteArray folder = folderOf(target);
    // The new journal is complete with its first line before it takes the old one's place.
    int fd = -1;
    QByteArray temporary;
    if (FileOps().makePath(decodeLocal8(folder)).ok()) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd >= 0 && writeAll(fd, QByteArray(kHeader)) &&
        ::rename(temporary.constData(), target.constData()) == 0)
        return JournalWriter(fd);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.constData());
    }
    ::unlink(target.constData());
    return std::nullopt;
}

JournalWriter::JournalWriter(JournalWriter&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

JournalWriter& JournalWriter::operator=(JournalWriter&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

JournalWriter::~JournalWriter() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool JournalWriter::append(const JournalEntry& entry) {
    if (fd_ < 0)
        return false;
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (writeAll(fd_, line(entry)))
        return true;
    // Half a line would run into the next entry: cut it off again, so that later entries
    // still read.
    if (end >= 0)
        (void)!::ftruncate(fd_, end);
    return false;
}

std::vector<JournalEntry> readJournal(const QString& path, size_t most) {
    std::vector<JournalEntry> entries;
    // Only a regular file is read: nothing at the journal's path may hold the window up.
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return entries;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return entries;
    }
    // Read and taken apart chunk by chunk, so that a look for the first entry reads little.
    QByteArray data;
    qsizetype start = -1; // where the next line begins, once the header was seen
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buffer, n);
        if (start < 0) {
            if (data.size() < qsizetype(sizeof kHeader - 1))
                continue;
            if (!data.startsWith(kHeader))
                break;
            start = qsizetype(sizeof kHeader - 1);
        }
        // A line without its newline waits for the next chunk; at the end it was torn by a crash.
        for (qsizetype end; entries.size() < most && (end = data.indexOf('\n', start)) >= 0;
             start = end + 1) {
            if (std::optional<JournalEntry> entry = parsed(data.mid(start, end - start)))
                entries.push_back(std::move(*entry));
        }
        if (entries.size() >= most)
            break;
        data.remove(0, start);
        start = 0;
    }
    ::close(fd);
    return entries;
}

bool journalExists(const QString& path) {
    struct stat st;
    return ::stat(encodeLocal8(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

void removeJournal(const QString& path) {
    ::unlink(encodeLocal8(path).constData());
}

} // namespace velquin
