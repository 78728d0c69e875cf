#include "engine/foldertree.h"

#include "platform/names.h"
#include "support/faultcalls.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace velquin;
using velquin::test::FaultCalls;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;

namespace {

QDateTime at(int hour, int minute = 0) {
    return QDateTime(QDate(2024, 5, 1), QTime(hour, minute));
}

QStringList listingOrder(const FileOps& fs, const QString& folder) {
    QStringList names;
    for (const DirEntry& e : fs.listDir(folder).value_or(std::vector<DirEntry>{}))
        names.append(e.name);
    return names;
}

bool isSymlinkAt(const QString& path) {
    struct stat st;
    return ::lstat(encodeLocal8(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool anythingAt(const QString& path) {
    struct stat st;
    return ::lstat(encodeLocal8(path).constData(), &st) == 0;
}

// A tree copy as a folder run makes it, on the disk as it is; what failed.
QList<RunFailure> copyTree(const FileOps& fs, RunHost& host, const QString& source,
                           const QString& destination, ClashPolicy policy) {
    DiskActions actions(fs, host);
    CopyFolderTree(actions, fs, source, destination, policy);
    return actions.failures();
}

} // namespace

TEST(CopyFolderTree, CopiesEveryLevelWithHiddenEntriesAndEmptyFolders) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    d.file(QStringLiteral("A/B/C/f.txt"), "f");
    d.file(QStringLiteral("A/.hidden"), "h");
    d.file(QStringLiteral("A/.cfg/x"), "x");
    d.folder(QStringLiteral("A/Empty"));
    d.folder(QStringLiteral("Empty"));

    copyTree(fs, host, d.path(QStringLiteral("A")), d.path(QStringLiteral("X/A")), ClashPolicy::Skip);
    EXPECT_EQ(d.read(QStringLiteral("X/A/B/C/f.txt")), QByteArray("f"));
    EXPECT_EQ(d.read(QStringLiteral("X/A/.hidden")), QByteArray("h"));
    EXPECT_EQ(d.read(QStringLiteral("X/A/.cfg/x")), QByteArray("x"));
    EXPECT_TRUE(d.existsFolder(QStringLiteral("X/A/Empty")));
    EXPECT_EQ(d.entries(QStringLiteral("X/A")), d.entries(QStringLiteral("A")));

    copyTree(fs, host, d.path(QStringLiteral("Empty")), d.path(QStringLiteral("E")), ClashPolicy::Skip);
    EXPECT_TRUE(d.existsFolder(QStringLiteral("E")));
    EXPECT_TRUE(d.entries(QStringLiteral("E")).isEmpty());

    // A source written with its trailing separator gets no second one.
    copyTree(fs, host, d.path(QStringLiteral("A/")), d.path(QStringLiteral("Y")), ClashPolicy::Skip);
    EXPECT_EQ(d.read(QStringLiteral("Y/B/C/f.txt")), QByteArray("f"));
    EXPECT_TRUE(host.questions.isEmpty());
}

// The calls of a small tree copy do not creep up unseen: no look at a target that the naming
// link checks anyway, no seek, no ACL that the attribute list does not name, one mkdir per folder.
TEST(CopyFolderTree, ATreeOfSmallFilesTakesFewCallsPerFile) {
    TestDir d;
    for (int i = 0; i < 100; ++i)
        d.file(QStringLiteral("A/d%1/f%2.bin").arg(i % 4).arg(i), QByteArray(4096, 'v'));
    auto calls = std::make_shared<FaultCalls>();
    ScriptedHost host;
    copyTree(FileOps(calls), host, d.path(QStringLiteral("A")), d.path(QStringLiteral("X/A")),
             ClashPolicy::Skip);
    EXPECT_EQ(d.read(QStringLiteral("X/A/d3/f99.bin")), QByteArray(4096, 'v'));
    int total = 0;
    for (int call = 0; call < FaultCalls::CallCount; ++call)
        total += calls->count(FaultCalls::Call(call));
    EXPECT_LE(total, 19 * 100);
    EXPECT_EQ(calls->count(FaultCalls::Lstat) + calls->count(FaultCalls::Lseek) +
                  calls->count(FaultCalls::Fgetxattr),
              0);
    EXPECT_EQ(calls->count(FaultCalls::Mkdir), 4 + 3); // X/A is tried once before X is there
}

TEST(CopyFolderTree, SourceThatCannotBeListedCreatesNothing) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    d.file(QStringLiteral("plain.txt"), "p");
    copyTree(fs, host, d.path(QStringLiteral("missing")), d.path(QStringLiteral("X1")),
             ClashPolicy::Overwrite);
    copyTree(fs, host, d.path(QStringLiteral("plain.txt")), d.path(QStringLiteral("X2")),
             ClashPolicy::Overwrite);
    EXPECT_FALSE(anythingAt(d.path(QStringLiteral("X1"))));
    EXPECT_FALSE(anythingAt(d.path(QStringLiteral("X2"))));
}

TEST(CopyFolderTree, MergesIntoExistingFoldersUnderOverwriteAndSkip) {
    struct Case {
        ClashPolicy policy;
        const char* clashing; // content of a.txt afterwards
    };
    for (const Case& c : {Case{ClashPolicy::Overwrite, "new"}, Case{ClashPolicy::Skip, "old"}}) {
        SCOPED_TRACE(int(c.policy));
        TestDir d;
        FileOps fs;
        ScriptedHost host;
        d.file(QStringLiteral("S/a.txt"), "new");
        d.file(QStringLiteral("S/sub/b.txt"), "new");
        d.file(QStringLiteral("D/a.txt"), "old");
        d.file(QStringLiteral("D/only.txt"), "mine");
        d.file(QStringLiteral("D/sub/own.txt"), "mine");

        copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), c.policy);
        EXPECT_EQ(d.read(QStringLiteral("D/a.txt")), QByteArray(c.clashing));
        EXPECT_EQ(d.read(QStringLiteral("D/sub/b.txt")), QByteArray("new"));
        EXPECT_EQ(d.read(QStringLiteral("D/only.txt")), QByteArray("mine"));
        EXPECT_EQ(d.read(QStringLiteral("D/sub/own.txt")), QByteArray("mine"));
        EXPECT_EQ(d.read(QStringLiteral("S/a.txt")), QByteArray("new"));
    }
}

TEST(CopyFolderTree, AskPutsOneQuestionPerClashingFileInListingOrder) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    host.answers = {false, true};
    d.file(QStringLiteral("S/one.txt"), "new");
    d.file(QStringLiteral("S/two.txt"), "new");
    d.file(QStringLiteral("S/fresh.txt"), "new");
    d.file(QStringLiteral("S/clash.txt"), "new");
    d.file(QStringLiteral("D/one.txt"), "old");
    d.file(QStringLiteral("D/two.txt"), "old");
    d.folder(QStringLiteral("D/clash.txt")); // a folder bearing a file's name is no clash

    QStringList clashing;
    for (const QString& name : listingOrder(fs, d.path(QStringLiteral("S")))) {
        if (name == QLatin1String("one.txt") || name == QLatin1String("two.txt"))
            clashing.append(name);
    }
    ASSERT_EQ(clashing.size(), 2);

    copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), ClashPolicy::Ask);
    EXPECT_EQ(host.questions, (QStringList{d.path(QStringLiteral("D/")) + clashing[0],
                                           d.path(QStringLiteral("D/")) + clashing[1]}));
    EXPECT_EQ(d.read(QStringLiteral("D/") + clashing[0]), QByteArray("old")); // No
    EXPECT_EQ(d.read(QStringLiteral("D/") + clashing[1]), QByteArray("new")); // Yes
    EXPECT_EQ(d.read(QStringLiteral("D/fresh.txt")), QByteArray("new"));
    EXPECT_TRUE(d.existsFolder(QStringLiteral("D/clash.txt")));
}

TEST(CopyFolderTree, AutoNumberTakesTheFirstFreeNameBuiltFromTheEntry) {
    struct Case {
        const char* name;
        QStringList present;
        const char* expected;
    };
    const Case cases[] = {
        {"report.txt", {QStringLiteral("report.txt")}, "report_1.txt"},
        {"report.txt", {QStringLiteral("report.txt"), QStringLiteral("report_1.txt")}, "report_2.txt"},
        {"report.txt", {QStringLiteral("report_1.txt")}, "report.txt"},
        {"archive.tar.gz", {QStringLiteral("archive.tar.gz")}, "archive.tar_1.gz"},
        {"README", {QStringLiteral("README")}, "README_1"},
        {".profile", {QStringLiteral(".profile")}, "_1.profile"},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        SCOPED_TRACE(c.expected);
        TestDir d;
        FileOps fs;
        ScriptedHost host;
        d.file(QStringLiteral("S/") + name, "new");
        for (const QString& p : c.present)
            d.file(QStringLiteral("D/") + p, "old");

        copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), ClashPolicy::AutoNumber);
        EXPECT_EQ(d.read(QStringLiteral("D/") + QString::fromUtf8(c.expected)), QByteArray("new"));
        for (const QString& p : c.present) {
            if (p != QString::fromUtf8(c.expected)) {
                EXPECT_EQ(d.read(QStringLiteral("D/") + p), QByteArray("old")) << qPrintable(p);
            }
        }
        EXPECT_EQ(d.entries(QStringLiteral("D")).size(),
                  c.present.size() + (c.present.contains(QString::fromUtf8(c.expected)) ? 0 : 1));
    }

    // A folder holding the name does not count as taken: the copy onto it fails, nothing else.
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    d.file(QStringLiteral("S/report.txt"), "new");
    d.folder(QStringLiteral("D/report.txt"));
    copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), ClashPolicy::AutoNumber);
    EXPECT_EQ(d.entries(QStringLiteral("D")), QStringList{QStringLiteral("report.txt")});
    EXPECT_TRUE(d.existsFolder(QStringLiteral("D/report.txt")));
}

TEST(CopyFolderTree, ReplaceOlderKeepsOnlyANewerTarget) {
    struct Case {
        QDateTime source;
        const char* result;
    };
    for (const Case& c : {Case{at(10), "new"}, Case{at(9), "new"}, Case{at(8), "old"}}) {
        SCOPED_TRACE(qPrintable(c.source.toString()));
        TestDir d;
        FileOps fs;
        ScriptedHost host;
        d.file(QStringLiteral("S/sub/f.txt"), "new", c.source);
        d.file(QStringLiteral("S/added.txt"), "new", at(1));
        d.file(QStringLiteral("D/sub/f.txt"), "old", at(9));
        copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")),
                 ClashPolicy::ReplaceOlder);
        EXPECT_EQ(d.read(QStringLiteral("D/sub/f.txt")), QByteArray(c.result));
        EXPECT_EQ(d.read(QStringLiteral("D/added.txt")), QByteArray("new"));
    }
}

TEST(CountFilesInFolder, CountsEntriesDirectlyInsideThatAreNotFolders) {
    TestDir d;
    FileOps fs;
    d.file(QStringLiteral("mixed/a.txt"));
    d.file(QStringLiteral("mixed/.hidden"));
    d.file(QStringLiteral("mixed/b"));
    d.file(QStringLiteral("mixed/sub/deep1.txt"));
    d.file(QStringLiteral("mixed/sub/deep2.txt"));
    d.folder(QStringLiteral("mixed/.hiddendir"));
    d.folder(QStringLiteral("empty"));
    d.folder(QStringLiteral("onlyfolders/x/y"));
    d.folder(QStringLiteral("onlyfolders/z"));

    EXPECT_EQ(CountFilesInFolder(fs, d.path(QStringLiteral("mixed"))), 3);
    EXPECT_EQ(CountFilesInFolder(fs, d.path(QStringLiteral("empty"))), 0);
    EXPECT_EQ(CountFilesInFolder(fs, d.path(QStringLiteral("onlyfolders"))), 0);
    EXPECT_EQ(CountFilesInFolder(fs, d.path(QStringLiteral("missing"))), 0);
    EXPECT_EQ(countFilesIfListable(fs, d.path(QStringLiteral("missing"))), std::nullopt);
    EXPECT_EQ(countFilesIfListable(fs, d.path(QStringLiteral("empty"))), 0);
}

// The output folder inside the folder being copied: the copy must not copy itself.
TEST(CopyFolderTreeSafety, NeverEntersItsOwnDestinationTree) {
    for (const char* destination : {"Trip/out/Trip", "Trip/out/k/Trip", "Trip/Trip"}) {
        SCOPED_TRACE(destination);
        TestDir d;
        FileOps fs;
        ScriptedHost host;
        d.file(QStringLiteral("Trip/a.txt"), "a");
        d.file(QStringLiteral("Trip/sub/b.txt"), "b");
        d.folder(QStringLiteral("Trip/out"));

        copyTree(fs, host, d.path(QStringLiteral("Trip")), d.path(QString::fromUtf8(destination)),
                 ClashPolicy::AutoNumber);
        const QString dest = QString::fromUtf8(destination) + QLatin1Char('/');
        EXPECT_EQ(d.read(dest + QStringLiteral("a.txt")), QByteArray("a"));
        EXPECT_EQ(d.read(dest + QStringLiteral("sub/b.txt")), QByteArray("b"));
        // The copy of the destination inside the destination: the first step of an endless chain.
        EXPECT_FALSE(anythingAt(d.path(dest + QString::fromUtf8(destination).mid(5))));

        int copies = 0;
        QDirIterator it(d.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (it.fileName().startsWith(QLatin1String("a")))
                ++copies;
        }
        EXPECT_EQ(copies, 2); // the source file and its one copy
    }
}

TEST(CopyFolderTreeSafety, LinksToFoldersAreMadeAgainAndBrokenOnesPassedOver) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    d.file(QStringLiteral("ext/e.txt"), "e");
    d.file(QStringLiteral("A/f.txt"), "f");
    d.folder(QStringLiteral("A/sub"));
    ASSERT_TRUE(QFile::link(d.path(QStringLiteral("ext")), d.path(QStringLiteral("A/toExt"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), d.path(QStringLiteral("A/sub/slash"))));
    ASSERT_TRUE(QFile::link(d.path(QStringLiteral("nowhere")), d.path(QStringLiteral("A/dead"))));
    ASSERT_TRUE(QFile::link(d.path(QStringLiteral("A/f.txt")), d.path(QStringLiteral("A/lnk.txt"))));

    EXPECT_TRUE(copyTree(fs, host, d.path(QStringLiteral("A")), d.path(QStringLiteral("X")), ClashPolicy::Ask)
                    .isEmpty());
    // The links themselves, with the same text: the copy does not wander off through them.
    EXPECT_EQ(QFile::symLinkTarget(d.path(QStringLiteral("X/toExt"))), d.path(QStringLiteral("ext")));
    EXPECT_EQ(QFile::symLinkTarget(d.path(QStringLiteral("X/sub/slash"))), QStringLiteral("/"));
    EXPECT_EQ(d.read(QStringLiteral("X/lnk.txt")), QByteArray("f"));
    EXPECT_FALSE(isSymlinkAt(d.path(QStringLiteral("X/lnk.txt"))));
    EXPECT_FALSE(anythingAt(d.path(QStringLiteral("X/dead"))));
    EXPECT_TRUE(host.questions.isEmpty());
    // A listed link to a folder is followed.
    copyTree(fs, host, d.path(QStringLiteral("A/toExt")), d.path(QStringLiteral("Y")), ClashPolicy::Ask);
    EXPECT_EQ(d.read(QStringLiteral("Y/e.txt")), QByteArray("e"));
}

TEST(CopyFolderTreeSafety, CopiesKeepTimesAndModesAndNeverCopyAFolderOntoItself) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    const QDateTime stamp(QDate(2020, 1, 2), QTime(3, 4, 5));
    const QString source = d.file(QStringLiteral("A/f.txt"), "f", stamp);
    ASSERT_EQ(::chmod(encodeLocal8(source).constData(), 0640), 0);

    copyTree(fs, host, d.path(QStringLiteral("A")), d.path(QStringLiteral("X")), ClashPolicy::Skip);
    const QString copy = d.path(QStringLiteral("X/f.txt"));
    EXPECT_EQ(TestDir::modified(copy), stamp);
    struct stat st;
    ASSERT_EQ(::stat(encodeLocal8(copy).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Onto itself, by another spelling and through a link: not one file is added or changed.
    ASSERT_TRUE(QFile::link(d.path(QStringLiteral("A")), d.path(QStringLiteral("L"))));
    for (const QString& onto : {d.path(QStringLiteral("A/../A")), d.path(QStringLiteral("L"))}) {
        copyTree(fs, host, d.path(QStringLiteral("A")), onto, ClashPolicy::AutoNumber);
        EXPECT_EQ(d.entries(QStringLiteral("A")), QStringList{QStringLiteral("f.txt")});
        EXPECT_EQ(d.read(QStringLiteral("A/f.txt")), QByteArray("f"));
    }
}

TEST(CopyFolderTreeSafety, DeepTreeCopiesToTheBottom) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    QString relative = QStringLiteral("deep");
    for (int i = 0; i < 500; ++i)
        relative += QStringLiteral("/d");
    d.file(relative + QStringLiteral("/leaf.txt"), "leaf");

    copyTree(fs, host, d.path(QStringLiteral("deep")), d.path(QStringLiteral("X")), ClashPolicy::Skip);
    QString copied = relative;
    copied.replace(0, 4, QStringLiteral("X"));
    EXPECT_EQ(d.read(copied + QStringLiteral("/leaf.txt")), QByteArray("leaf"));
}

TEST(CopyFolderTreeSafety, AFileThatCannotBeCopiedIsPassedOverWithoutLeftovers) {
    TestDir d;
    auto calls = std::make_shared<test::FaultCalls>();
    FileOps fs(calls);
    ScriptedHost host;
    d.file(QStringLiteral("S/a.txt"), "a");
    calls->deny(d.file(QStringLiteral("S/locked.txt"), "l"));
    d.file(QStringLiteral("S/z/z.txt"), "z");
    copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), ClashPolicy::Overwrite);
    EXPECT_EQ(d.entries(QStringLiteral("D")), (QStringList{QStringLiteral("a.txt"), QStringLiteral("z")}));
    EXPECT_EQ(d.read(QStringLiteral("D/z/z.txt")), QByteArray("z"));
}

// A folder that exists but cannot be entered is passed over: nothing is made for it, it counts
// as no folder to count, and the rest of the tree is copied.
TEST(CopyFolderTree, AFolderThatCannotBeEnteredIsPassedOver) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    d.file(QStringLiteral("S/a.txt"), "a");
    d.file(QStringLiteral("S/closed/hidden.txt"), "h");
    d.file(QStringLiteral("S/open/b.txt"), "b");
    const QByteArray closed = encodeLocal8(d.path(QStringLiteral("S/closed")));
    ASSERT_EQ(::chmod(closed.constData(), 0), 0);

    copyTree(fs, host, d.path(QStringLiteral("S")), d.path(QStringLiteral("D")), ClashPolicy::Skip);
    copyTree(fs, host, d.path(QStringLiteral("S/closed")), d.path(QStringLiteral("E")), ClashPolicy::Skip);
    const std::optional<int> count = countFilesIfListable(fs, d.path(QStringLiteral("S/closed")));
    ::chmod(closed.constData(), 0755);

    EXPECT_EQ(d.entries(QStringLiteral("D")), (QStringList{QStringLiteral("a.txt"), QStringLiteral("open")}));
    EXPECT_EQ(d.read(QStringLiteral("D/open/b.txt")), QByteArray("b"));
    EXPECT_FALSE(anythingAt(d.path(QStringLiteral("E"))));
    EXPECT_EQ(count, std::nullopt);
}
