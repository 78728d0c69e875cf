#include "engine/journal.h"

#include "platform/names.h"

#include <QByteArrayList>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

// The journal is text, one line per transfer, fields separated by tabs:
//   kind, source, target, the made file's device, inode, size, modified seconds and nanoseconds,
//   changed seconds and nanoseconds, kept as, the kept file's device, inode, size, modified
//   seconds and nanoseconds, link text
// Paths are the exact bytes of the names with "\\", tab, newline and carriage return written
// as "\\\\", "\\t", "\\n" and "\\r", so that any name survives and a line ends only at its end.
// The first line names the format and the output folder of the run; a line counts only once its
// newline is written. A run that wrote every entry ends its journal with the line "end": a
// journal without it (a full drive, a kill) may be missing transfers, and says so.

namespace {

constexpr char kFormatOne[] = "velquin-journal 1";
constexpr char kHeader[] = "velquin-journal 2\t";
constexpr char kEnd[] = "end";
constexpr int kFields = 17;
constexpr qsizetype kMaxLineBytes = qsizetype(1) << 20;

struct KindName {
    JournalKind kind;
    const char* name;
};

constexpr std::array<KindName, 8> kKindNames{{
    {JournalKind::Copy, "copy"},
    {JournalKind::Move, "move"},
    {JournalKind::ReplaceCopy, "replace-copy"},
    {JournalKind::ReplaceMove, "replace-move"},
    {JournalKind::NumberedCopy, "numbered-copy"},
    {JournalKind::NumberedMove, "numbered-move"},
    {JournalKind::FolderCreated, "folder"},
    {JournalKind::Link, "link"},
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

// Reads the numbers of a stamp from five fields starting at `at`; false when one is not a number.
bool readStamp(const QByteArrayList& fields, int at, FileStamp& stamp) {
    bool ok[5] = {};
    stamp.id.device = fields.at(at).toULongLong(&ok[0]);
    stamp.id.inode = fields.at(at + 1).toULongLong(&ok[1]);
    stamp.size = fields.at(at + 2).toLongLong(&ok[2]);
    stamp.modified.seconds = fields.at(at + 3).toLongLong(&ok[3]);
    stamp.modified.nanoseconds = fields.at(at + 4).toInt(&ok[4]);
    return ok[0] && ok[1] && ok[2] && ok[3] && ok[4];
}

QByteArray stampFields(const FileStamp& stamp) {
    const QByteArray tab("\t");
    return QByteArray::number(stamp.id.device) + tab + QByteArray::number(stamp.id.inode) + tab +
           QByteArray::number(stamp.size) + tab + QByteArray::number(stamp.modified.seconds) + tab +
           QByteArray::number(stamp.modified.nanoseconds);
}

std::optional<JournalEntry> parsed(const QByteArray& line) {
    const QByteArrayList fields = line.split('\t');
    if (fields.size() != kFields)
        return std::nullopt;
    JournalEntry entry;
    const std::optional<JournalKind> kind = kindOf(fields.at(0));
    const std::optional<QString> source = unescaped(fields.at(1));
    const std::optional<QString> target = unescaped(fields.at(2));
    const std::optional<QString> kept = unescaped(fields.at(10));
    const std::optional<QString> link = unescaped(fields.at(16));
    bool ok[2] = {};
    entry.madeChanged.seconds = fields.at(8).toLongLong(&ok[0]);
    entry.madeChanged.nanoseconds = fields.at(9).toInt(&ok[1]);
    if (!kind || !source || !target || !kept || !link || target->isEmpty() || !ok[0] || !ok[1] ||
        !readStamp(fields, 3, entry.made) || !readStamp(fields, 11, entry.kept))
        return std::nullopt;
    entry.kind = *kind;
    entry.source = *source;
    entry.target = *target;
    entry.keptAs = *kept;
    entry.linkText = *link;
    return entry;
}

QByteArray line(const JournalEntry& e) {
    const QByteArray tab("\t");
    return kindName(e.kind) + tab + escaped(e.source) + tab + escaped(e.target) + tab + stampFields(e.made) +
           tab + QByteArray::number(e.madeChanged.seconds) + tab +
           QByteArray::number(e.madeChanged.nanoseconds) + tab + escaped(e.keptAs) + tab +
           stampFields(e.kept) + tab + escaped(e.linkText) + '\n';
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

std::optional<JournalWriter> JournalWriter::begin(const QString& path, const QString& outputFolder) {
    const QByteArray target = encodeLocal8(path);
    const QByteArray folder = folderOf(target);
    // The new journal is complete with its first line before it takes the old one's place, and
    // one that cannot be started leaves the old one alone: the run's closing box says that it
    // cannot be undone, and the old journal's entries are still checked one by one if undone.
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
    if (fd >= 0 && writeAll(fd, QByteArray(kHeader) + escaped(outputFolder) + '\n') &&
        ::rename(temporary.constData(), target.constData()) == 0)
        return JournalWriter(fd);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.constData());
    }
    return std::nullopt;
}

JournalWriter::JournalWriter(JournalWriter&& other) noexcept : fd_(other.fd_), lost_(other.lost_) {
    other.fd_ = -1;
}

JournalWriter& JournalWriter::operator=(JournalWriter&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        lost_ = other.lost_;
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
    lost_ = true;
    return false;
}

bool JournalWriter::finish() {
    if (fd_ < 0 || lost_)
        return false;
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (writeAll(fd_, QByteArray(kEnd) + '\n'))
        return true;
    if (end >= 0)
        (void)!::ftruncate(fd_, end);
    lost_ = true;
    return false;
}

Journal loadJournal(const QString& path, size_t most) {
    Journal journal;
    // Only a regular file is read: nothing at the journal's path may hold the window up.
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return journal;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return journal;
    }
    if (st.st_size > kMaxJournalBytes) {
        ::close(fd);
        journal.problem = Journal::Problem::TooLarge;
        return journal;
    }
    // Read and taken apart chunk by chunk, so that a look for the first entry reads little.
    // Each byte is searched for a line end once, also in a journal without any (as a crash may
    // leave one), and the buffer grows by doubling and drops what was read only once that is
    // most of it, so that reading stays linear in the size of the file.
    constexpr qsizetype kChunk = 64 * 1024;
    QByteArray data;
    bool header = false;
    bool ended = false;
    bool atEnd = false;
    bool damaged = false;
    qsizetype start = 0;   // where the next line begins
    qsizetype scanned = 0; // from here on not yet searched for a line end
    while (journal.entries.size() < most) {
        if (start >= kChunk && start * 2 >= data.size()) {
            std::memmove(data.data(), data.constData() + start, size_t(data.size() - start));
            data.truncate(data.size() - start);
            scanned -= start;
            start = 0;
        }
        const qsizetype have = data.size();
        if (data.capacity() < have + kChunk)
            data.reserve(qMax(2 * data.capacity(), have + kChunk));
        data.resize(have + kChunk);
        const ssize_t n = ::read(fd, data.data() + have, size_t(kChunk));
        data.resize(have + qMax<ssize_t>(n, 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            atEnd = n == 0;
            break;
        }
        for (qsizetype end; journal.entries.size() < most && (end = data.indexOf('\n', scanned)) >= 0;
             start = scanned = end + 1) {
            const QByteArray text = data.mid(start, end - start);
            if (!header) {
                if (text == kFormatOne) {
                    journal.problem = Journal::Problem::OldFormat;
                } else if (std::optional<QString> output;
                           text.startsWith(kHeader) &&
                           (output = unescaped(text.mid(qsizetype(sizeof kHeader - 1))))) {
                    journal.outputFolder = *output;
                    header = true;
                    continue;
                }
                ::close(fd);
                return journal;
            }
            if (text == kEnd)
                ended = true;
            else if (std::optional<JournalEntry> entry = parsed(text))
                journal.entries.push_back(std::move(*entry));
        }
        scanned = data.size();
        // No entry is that long (its paths are at most PATH_MAX each): what follows is damage,
        // and the journal is read up to it, also by the undo button's quick look.
        if (scanned - start > kMaxLineBytes) {
            damaged = true;
            break;
        }
    }
    ::close(fd);
    if (!header)
        return Journal();
    // Only a journal read to its end can tell that it is whole.
    journal.incomplete = damaged || (atEnd && !ended);
    return journal;
}

std::vector<JournalEntry> readJournal(const QString& path, size_t most) {
    Journal journal = loadJournal(path, most);
    return journal.problem == Journal::Problem::None ? std::move(journal.entries)
                                                     : std::vector<JournalEntry>();
}

void removeJournal(const QString& path) {
    ::unlink(encodeLocal8(path).constData());
}

std::optional<ObjectStamp> objectStamp(const FileOps& fs, const QString& path) {
    struct stat st;
    if (fs.calls().lstat(encodeLocal8(path).constData(), &st) != 0)
        return std::nullopt;
    ObjectStamp o;
    o.stamp = FileStamp{FileId{quint64(st.st_dev), quint64(st.st_ino)}, qint64(st.st_size),
                        FileTime{qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)}};
    o.changed = FileTime{qint64(st.st_ctim.tv_sec), qint32(st.st_ctim.tv_nsec)};
    o.type = S_ISREG(st.st_mode)   ? ObjectStamp::Type::File
             : S_ISDIR(st.st_mode) ? ObjectStamp::Type::Folder
             : S_ISLNK(st.st_mode) ? ObjectStamp::Type::Link
                                   : ObjectStamp::Type::Other;
    return o;
}

std::optional<QString> linkText(const QString& path) {
    QByteArray text(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlink(encodeLocal8(path).constData(), text.data(), size_t(text.size()));
    if (n < 0 || n >= text.size())
        return std::nullopt;
    text.truncate(n);
    return decodeLocal8(text);
}

bool liesIn(const QString& path, const QString& folder, bool orIs) {
    const QChar slash = QLatin1Char('/');
    if (!folder.endsWith(slash) || folder.size() < 2)
        return false;
    if (orIs && (path == folder || path == folder.chopped(1)))
        return true;
    if (!path.startsWith(folder) || path.size() == folder.size())
        return false;
    const QStringList names = path.mid(folder.size()).split(slash);
    for (const QString& name : names) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            return false;
    }
    return true;
}

} // namespace velquin
