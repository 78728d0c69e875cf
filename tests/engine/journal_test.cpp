#include "engine/journal.h"

#include "faults/sandbox.h"
#include "platform/names.h"
#include "printers.h"
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

// Every kind, with names that need escaping or are not UTF-8 at all.
std::vector<JournalEntry> sampleEntries() {
    const QString raw = decodeLocal8(QByteArray("/in/\xb1\xa8\xb8\xe6.doc"));
    return {
        entry(JournalKind::Copy, QStringLiteral("/in/a.txt"), QStringLiteral("/out/txt/a.txt"), 1),
        entry(JournalKind::Move, raw, QStringLiteral("/out/doc/报告.doc"), 2),
        entry(JournalKind::ReplaceCopy, QStringLiteral("/in/tab\there"), QStringLiteral("/out/new\nline"), 3,
              QStringLiteral("/home/u/.local/share/Trash/files/new\nline")),
        entry(JournalKind::ReplaceMove, QStringLiteral("/in/back\\slash\\t"), QStringLiteral("/out/b"), 4),
        entry(JournalKind::NumberedCopy, QStringLiteral("/in/c\r"), QStringLiteral("/out/c(1)"), 5),
        entry(JournalKind::NumberedMove, QStringLiteral("/in/d"), QStringLiteral("/out/d(2)"), 6),
        entry(JournalKind::FolderCreated, QString(), QStringLiteral("/out/txt"), 7),
    };
}

} // namespace

TEST(Journal, EntriesReadBackExactlyAsWritten) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("state/Velquin/files.journal"));
    std::optional<JournalWriter> writer = JournalWriter::begin(path);
    ASSERT_TRUE(writer);
    const std::vector<JournalEntry> entries = sampleEntries();
    for (const JournalEntry& e : entries)
        ASSERT_TRUE(writer->append(e));
    // Read while the writer is still open: nothing waits in a buffer of the process.
    const std::vector<JournalEntry> back = readJournal(path);
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(back[i], entries[i]) << i;
    EXPECT_EQ(encodeLocal8(back[1].source), QByteArray("/in/\xb1\xa8\xb8\xe6.doc"));
    // One line per entry whatever the names hold.
    EXPECT_EQ(bytesOf(path).count('\n'), qsizetype(entries.size() + 1));
}

TEST(Journal, AKilledRunLeavesEveryEntryItWrote) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("files.journal"));
    const int status = velquin::test::runInChild([&] {
        std::optional<JournalWriter> writer = JournalWriter::begin(path);
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
        std::optional<JournalWriter> writer = JournalWriter::begin(path);
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
        std::optional<JournalWriter> writer = JournalWriter::begin(path);
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
    EXPECT_FALSE(journalExists(path));
    EXPECT_TRUE(readJournal(path).empty());
    {
        std::optional<JournalWriter> first = JournalWriter::begin(path);
        ASSERT_TRUE(first);
        ASSERT_TRUE(first->append(sampleEntries()[0]));
    }
    std::optional<JournalWriter> second = JournalWriter::begin(path);
    ASSERT_TRUE(second);
    EXPECT_TRUE(journalExists(path));
    EXPECT_TRUE(readJournal(path).empty());
    ASSERT_TRUE(second->append(sampleEntries()[1]));
    EXPECT_EQ(readJournal(path), std::vector<JournalEntry>{sampleEntries()[1]});
    EXPECT_EQ(dir.sortedEntries(), QStringList{QStringLiteral("files.journal")});
    removeJournal(path);
    EXPECT_FALSE(journalExists(path));
}

// A drive that cannot take a new file (no inodes left) still lets the old journal go.
TEST(Journal, AJournalThatCannotStartTakesTheOldOneWithIt) {
    TestDir dir;
    const QString folder = dir.folder(QStringLiteral("state"));
    TmpfsMount mount(folder, 1 << 20, 2);
    if (!mount.mounted())
        GTEST_SKIP() << mount.error().toStdString();
    const QString path = folder + QStringLiteral("/files.journal");
    {
        std::optional<JournalWriter> first = JournalWriter::begin(path);
        ASSERT_TRUE(first);
        ASSERT_TRUE(first->append(sampleEntries()[0]));
    }
    ASSERT_TRUE(journalExists(path));
    EXPECT_FALSE(JournalWriter::begin(path));
    EXPECT_FALSE(journalExists(path));
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("state")), QStringList());
}

// On a full drive an entry that does not fit leaves no half line that would spoil the next.
TEST(Journal, AnEntryThatDoesNotFitLeavesNothingOfItself) {
    TestDir dir;
    const QString folder = dir.folder(QStringLiteral("state"));
    TmpfsMount mount(folder, 4096);
    if (!mount.mounted())
        GTEST_SKIP() << mount.error().toStdString();
    const QString path = folder + QStringLiteral("/files.journal");
    std::optional<JournalWriter> writer = JournalWriter::begin(path);
    ASSERT_TRUE(writer);
    const JournalEntry small = sampleEntries()[0];
    JournalEntry huge = small;
    huge.source = QStringLiteral("/in/") + QString(6000, QLatin1Char('x'));
    ASSERT_TRUE(writer->append(small));
    EXPECT_FALSE(writer->append(huge));
    EXPECT_TRUE(writer->append(small));
    EXPECT_EQ(readJournal(path), (std::vector<JournalEntry>{small, small}));
}
