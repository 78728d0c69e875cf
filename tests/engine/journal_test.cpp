#include "engine/journal.h"

#include "faults/sandbox.h"
#include "platform/names.h"
#include "support/printers.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace velquin {
void PrintTo(const JournalEntry& e, std::ostream* os) {
    *os << int(e.kind) << ' ' << encodeLocal8(e.source).toStdString() << " -> "
        << encodeLocal8(e.target).toStdString() << " kept " << encodeLocal8(e.keptAs).toStdString() << " ino "
        << e.made.id.inode;
}
} // namespace velquin

using namespace velquin;
using velquin::test::TestDir;
using velquin::test::TmpfsMount;

namespace {

const QString kOut = QStringLiteral("/out/");

QByteArray bytesOf(const QString& path) {
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_CLOEXEC);
    QByteArray data;
    char buf[4096];
    long n;
    while (fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0)
        data.append(buf, n);
    if (fd >= 0)
        ::close(fd);
    return data;
}

void cutTo(const QString& path, qint64 size) {
    ASSERT_EQ(::truncate(encodeLocal8(path).constData(), size), 0);
}

JournalEntry entry(JournalKind kind, const QString& source, const QString& target, quint64 inode,
                   const QString& kept = QString()) {
    JournalEntry e;
    e.kind = kind;
    e.source = source;
    e.target = target;
    e.made = FileStamp{FileId{0xFE01, inode}, qint64(inode) * 1000,
                       FileTime{1700000000 + qint64(inode), 123456789}};
    e.keptAs = kept;
    return e;
}

// Every kind, with names that need escaping or are not UTF-8 at all, and what some kinds carry.
std::vector<JournalEntry> sampleEntries() {
    const QString raw = decodeLocal8(QByteArray("/in/\xb1\xa8\xb8\xe6.doc"));
    std::vector<JournalEntry> entries{
        entry(JournalKind::Copy, QStringLiteral("/in/a.txt"), QStringLiteral("/out/txt/a.txt"), 1),
        entry(JournalKind::Move, raw, QStringLiteral("/out/doc/报告.doc"), 2),
        entry(JournalKind::ReplaceCopy, QStringLiteral("/in/tab\there"), QStringLiteral("/out/new\nline"), 3,
              QStringLiteral("/home/u/.local/share/Trash/files/new\nline")),
        entry(JournalKind::ReplaceMove, QStringLiteral("/in/back\\slash\\t"), QStringLiteral("/out/b"), 4),
        entry(JournalKind::NumberedCopy, QStringLiteral("/in/c\r"), QStringLiteral("/out/c(1)"), 5),
        entry(JournalKind::NumberedMove, QStringLiteral("/in/d"), QStringLiteral("/out/d(2)"), 6),
        entry(JournalKind::FolderCreated, QString(), QStringLiteral("/out/txt"), 7),
        entry(JournalKind::Link, QStringLiteral("/in/l"), QStringLiteral("/out/l"), 8),
    };
    entries[2].madeChanged = FileTime{1700000100, 5};
    entries[2].kept = FileStamp{FileId{0xFE02, 99}, 12, FileTime{1600000000, 7}};
    entries[7].linkText = QStringLiteral("../a\ttab");
    return entries;
}

} // namespace

TEST(Journal, EntriesReadBackExactlyAsWritten) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("state/Velquin/files.journal"));
    std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut + QStringLiteral("a\tb/"));
    ASSERT_TRUE(writer);
    const std::vector<JournalEntry> entries = sampleEntries();
    for (const JournalEntry& e : entries)
        ASSERT_TRUE(writer->append(e));
    // Read while the writer is still open: nothing waits in a buffer of the process.
    const Journal open = loadJournal(path);
    const std::vector<JournalEntry>& back = open.entries;
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(back[i], entries[i]) << i;
    EXPECT_EQ(encodeLocal8(back[1].source), QByteArray("/in/\xb1\xa8\xb8\xe6.doc"));
    EXPECT_EQ(open.outputFolder, kOut + QStringLiteral("a\tb/"));
    EXPECT_TRUE(open.incomplete) << "not yet ended";
    ASSERT_TRUE(writer->finish());
    EXPECT_FALSE(loadJournal(path).incomplete);
    // One line per entry whatever the names hold, and the header and end lines.
    EXPECT_EQ(bytesOf(path).count('\n'), qsizetype(entries.size() + 2));
}

TEST(Journal, AKilledRunLeavesEveryEntryItWrote) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("files.journal"));
    const int status = velquin::test::runInChild([&] {
        std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut);
        if (!writer)
            return 1;
        for (const JournalEntry& e : sampleEntries())
            writer->append(e);
        ::raise(SIGKILL);
        return 0;
    });
    EXPECT_EQ(status, 128 + SIGKILL);
    EXPECT_EQ(readJournal(path), sampleEntries());
}

TEST(Journal, ALineCutAnywhereIsLeftOutAndTheRestStands) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("files.journal"));
    const std::vector<JournalEntry> entries = sampleEntries();
    {
        std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut);
        ASSERT_TRUE(writer);
        for (const JournalEntry& e : entries)
            ASSERT_TRUE(writer->append(e));
    }
    const QByteArray whole = bytesOf(path);
    const qsizetype lastStart = whole.lastIndexOf('\n', whole.size() - 2) + 1;
    const std::vector<JournalEntry> allButLast(entries.begin(), entries.end() - 1);
    for (qsizetype size = whole.size() - 1; size >= lastStart; --size) {
        cutTo(path, size);
        EXPECT_EQ(readJournal(path), allButLast) << "cut at " << size;
    }
    // Cut inside the first line, nothing is a journal.
    cutTo(path, 5);
    EXPECT_TRUE(readJournal(path).empty());
}

TEST(Journal, LinesThatDoNotReadAsEntriesAreLeftOut) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("files.journal"));
    {
        std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->append(sampleEntries()[0]));
    }
    const QByteArray good = bytesOf(path);
    const QByteArray bad[] = {
        "copy\t/a\t/b\t1\t2\t3\t4\t5\n",          // a field short
        "copy\t/a\t/b\t1\t2\t3\t4\t5\t\textra\n", // one too many
        "teleport\t/a\t/b\t1\t2\t3\t4\t5\t\n",    // no such kind
        "copy\t/a\t/b\t1\tx\t3\t4\t5\t\n",        // not a number
        "copy\t/a\\q\t/b\t1\t2\t3\t4\t5\t\n",     // no such escape
        "copy\t/a\t\t1\t2\t3\t4\t5\t\n",          // no target
        QByteArray("\0\0\0\0\0\0\0\0\n", 9),      // a block that never got its data
    };
    for (const QByteArray& line : bad) {
        const int fd = ::open(encodeLocal8(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const QByteArray content = good + line + good.mid(good.indexOf('\n') + 1);
        ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
        ::close(fd);
        EXPECT_EQ(readJournal(path), (std::vector<JournalEntry>{sampleEntries()[0], sampleEntries()[0]}))
            << line.toStdString();
    }
}

TEST(Journal, ANewRunReplacesTheLastOnesJournal) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("files.journal"));
    EXPECT_TRUE(readJournal(path).empty());
    {
        std::optional<JournalWriter> first = JournalWriter::begin(path, kOut);
        ASSERT_TRUE(first);
        ASSERT_TRUE(first->append(sampleEntries()[0]));
    }
    std::optional<JournalWriter> second = JournalWriter::begin(path, kOut);
    ASSERT_TRUE(second);
    EXPECT_TRUE(readJournal(path).empty());
    ASSERT_TRUE(second->append(sampleEntries()[1]));
    EXPECT_EQ(readJournal(path), std::vector<JournalEntry>{sampleEntries()[1]});
    EXPECT_EQ(dir.sortedEntries(), QStringList{QStringLiteral("files.journal")});
    removeJournal(path);
    EXPECT_FALSE(dir.existsFile(QStringLiteral("files.journal")));
}

// A drive that cannot take a new file (no inodes left) leaves the old journal as it was: the
// run says it cannot be undone, and the old entries are still checked one by one.
TEST(Journal, AJournalThatCannotStartLeavesTheOldOneAlone) {
    TestDir dir;
    const QString folder = dir.folder(QStringLiteral("state"));
    TmpfsMount mount(folder, 1 << 20, 2);
    VELQUIN_SKIP_UNLESS_MOUNTED(mount);
    const QString path = folder + QStringLiteral("/files.journal");
    {
        std::optional<JournalWriter> first = JournalWriter::begin(path, kOut);
        ASSERT_TRUE(first);
        ASSERT_TRUE(first->append(sampleEntries()[0]));
    }
    const QByteArray old = bytesOf(path);
    EXPECT_FALSE(JournalWriter::begin(path, kOut));
    EXPECT_EQ(bytesOf(path), old);
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("state")), QStringList{QStringLiteral("files.journal")});
}

// On a full drive an entry that does not fit leaves no half line that would spoil the next.
TEST(Journal, AnEntryThatDoesNotFitLeavesNothingOfItself) {
    TestDir dir;
    const QString folder = dir.folder(QStringLiteral("state"));
    TmpfsMount mount(folder, 4096);
    VELQUIN_SKIP_UNLESS_MOUNTED(mount);
    const QString path = folder + QStringLiteral("/files.journal");
    std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut);
    ASSERT_TRUE(writer);
    const JournalEntry small = sampleEntries()[0];
    JournalEntry huge = small;
    huge.source = QStringLiteral("/in/") + QString(6000, QLatin1Char('x'));
    ASSERT_TRUE(writer->append(small));
    EXPECT_FALSE(writer->append(huge));
    EXPECT_TRUE(writer->append(small));
    EXPECT_EQ(readJournal(path), (std::vector<JournalEntry>{small, small}));
    EXPECT_FALSE(writer->finish()) << "room again at the end does not make it whole";
    EXPECT_TRUE(loadJournal(path).incomplete);
}

TEST(Journal, JournalsUndoCannotTrustAreRefusedOrReadAsIncomplete) {
    TestDir dir;
    const QString path =
        dir.file(QStringLiteral("files.journal"), "velquin-journal 1\ncopy\t/a\t/b\t1\t2\t3\t4\t5\t\n");
    EXPECT_EQ(loadJournal(path).problem, Journal::Problem::OldFormat);
    // Larger than any run writes: refused from its size alone (the file is all holes).
    {
        std::optional<JournalWriter> writer = JournalWriter::begin(path, kOut);
        ASSERT_TRUE(writer && writer->append(sampleEntries()[0]));
    }
    cutTo(path, kMaxJournalBytes + 1);
    const Journal large = loadJournal(path);
    EXPECT_EQ(large.problem, Journal::Problem::TooLarge);
    // A line longer than any entry, as damage may leave: read up to there.
    cutTo(path, kMaxJournalBytes / 8);
    const Journal torn = loadJournal(path);
    EXPECT_EQ(torn.entries, std::vector<JournalEntry>{sampleEntries()[0]});
    EXPECT_TRUE(torn.incomplete);
}
