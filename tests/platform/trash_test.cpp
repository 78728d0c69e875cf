#include "platform/trash.h"

#include "faults/sandbox.h"
#include "platform/names.h"
#include "support/faultcalls.h"
#include "support/printers.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::contentOf;
using velquin::test::FaultCalls;
using velquin::test::statOf;
using velquin::test::TestDir;
using velquin::test::TmpfsMount;

namespace {

QString nameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

const QString kUid = QString::number(::getuid());

// A replace as the file layer does it once keep() has run: the new file renamed over the old.
void replaceWith(TestDir& dir, const QString& target, const QByteArray& content) {
    ASSERT_EQ(::rename(encodeLocal8(dir.file(QStringLiteral("new"), content)).constData(),
                       encodeLocal8(target).constData()),
              0);
}

} // namespace

// One file kept in a home trash that did not exist before.
class TrashKept : public ::testing::Test {
protected:
    void SetUp() override {
        kept = trash.keep(target);
        ASSERT_TRUE(kept);
    }
    bool trashEmpty() const {
        return dir.sortedEntries(QStringLiteral("share/Trash/files")).isEmpty() &&
               dir.sortedEntries(QStringLiteral("share/Trash/info")).isEmpty();
    }

    TestDir dir;
    const QString home = dir.path(QStringLiteral("share/Trash"));
    Trash trash{home};
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const ino_t inode = statOf(target).st_ino;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    std::optional<QString> kept;
};

TEST_F(TrashKept, AsALinkWithANoteOfThePathAndTheTime) {
    EXPECT_EQ(*kept, home + QStringLiteral("/files/a.txt"));
    EXPECT_EQ(statOf(home).st_mode & 07777, 0700u);
    // The target path never stands empty: the trash holds a second link to the same file.
    EXPECT_EQ(statOf(target).st_ino, inode);
    EXPECT_EQ(statOf(*kept).st_ino, inode);

    const QRegularExpression shape(QStringLiteral(
        "^\\[Trash Info\\]\nPath=(.*)\nDeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n$"));
    const QRegularExpressionMatch m = shape.match(
        QString::fromUtf8(contentOf(home + QStringLiteral("/info/a.txt.trashinfo")).value_or("")));
    ASSERT_TRUE(m.hasMatch());
    EXPECT_EQ(m.captured(1), target);
    const QDateTime when = QDateTime::fromString(m.captured(2), Qt::ISODate);
    EXPECT_GE(when, start.addMSecs(-start.time().msec()));
    EXPECT_LE(when, QDateTime::currentDateTime());
}

TEST_F(TrashKept, ReleaseDropsTheLinkAndTheNote) {
    trash.release(target, *kept);
    EXPECT_EQ(statOf(target).st_nlink, 1u);
    EXPECT_TRUE(trashEmpty());
}

TEST_F(TrashKept, ReleaseKeepsTheOnlyCopyOfTheOldContent) {
    replaceWith(dir, target, "new"); // the replace went through after all
    trash.release(target, *kept);
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
    EXPECT_NE(statOf(Trash::infoPathFor(*kept)).st_ino, 0u);
}

TEST_F(TrashKept, RestorePutsTheFileBackAndDropsItsNote) {
    ASSERT_EQ(::unlink(encodeLocal8(target).constData()), 0);
    EXPECT_TRUE(trash.restore(*kept, target).ok());
    EXPECT_EQ(statOf(target).st_ino, inode);
    EXPECT_TRUE(trashEmpty());
}

TEST_F(TrashKept, RestoreNeverReplacesWhatTookThePath) {
    replaceWith(dir, target, "new");
    EXPECT_EQ(trash.restore(*kept, target).error, EEXIST);
    EXPECT_EQ(contentOf(target), QByteArray("new"));
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
    EXPECT_NE(statOf(Trash::infoPathFor(*kept)).st_ino, 0u);
}

TEST(TrashHome, NotePathIsPercentEncodedBytesWithoutLinks) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    dir.folder(QStringLiteral("real"));
    ASSERT_EQ(::symlink("real", encodeLocal8(dir.path(QStringLiteral("via"))).constData()), 0);
    const QByteArray raw("a b%\xff\xe4\xb8\xad#.txt");
    const QString target = dir.path(QStringLiteral("via/")) + decodeLocal8(raw);
    ::close(::open(encodeLocal8(target).constData(), O_WRONLY | O_CREAT, 0644));

    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(encodeLocal8(*kept), encodeLocal8(dir.path(QStringLiteral("Trash/files/"))) + raw);
    const QByteArray path = encodeLocal8(dir.path(QStringLiteral("real/"))) + "a%20b%25%FF%E4%B8%AD%23.txt";
    EXPECT_TRUE(
        contentOf(Trash::infoPathFor(*kept)).value_or("").contains(QByteArray("\nPath=" + path + '\n')));
}

struct ClashCase {
    const char* name;
    const char* second;
    const char* third;
};

void PrintTo(const ClashCase& c, std::ostream* os) {
    *os << c.name;
}

class TrashClash : public ::testing::TestWithParam<ClashCase> {};

TEST_P(TrashClash, LaterFilesOfOneNameGetNumbers) {
    const ClashCase& c = GetParam();
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    QStringList kept;
    for (const char* folder : {"1", "2", "3"}) {
        const std::optional<QString> k =
            trash.keep(dir.file(QLatin1String(folder) + QLatin1Char('/') + QLatin1String(c.name), folder));
        ASSERT_TRUE(k);
        EXPECT_EQ(contentOf(*k), QByteArray(folder));
        kept << nameOf(*k);
    }
    EXPECT_EQ(kept, (QStringList{QLatin1String(c.name), QLatin1String(c.second), QLatin1String(c.third)}));
}

INSTANTIATE_TEST_SUITE_P(Names, TrashClash,
                         ::testing::Values(ClashCase{"a.txt", "a.2.txt", "a.3.txt"},
                                           ClashCase{"x.tar.gz", "x.tar.2.gz", "x.tar.3.gz"},
                                           ClashCase{".profile", ".profile.2", ".profile.3"},
                                           ClashCase{"notes", "notes.2", "notes.3"}));

TEST(TrashHome, NamesTakenBeforeThisRunAreLeftAlone) {
    TestDir dir;
    // A note from an earlier session, and a file some other program left without a note.
    dir.file(QStringLiteral("Trash/info/a.txt.trashinfo"), "earlier");
    dir.file(QStringLiteral("Trash/files/a.2.txt"), "orphan");
    Trash trash(dir.path(QStringLiteral("Trash")));
    const std::optional<QString> kept = trash.keep(dir.file(QStringLiteral("out/a.txt"), "mine"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(nameOf(*kept), QStringLiteral("a.3.txt"));
    EXPECT_EQ(dir.read(QStringLiteral("Trash/info/a.txt.trashinfo")), QByteArray("earlier"));
    EXPECT_EQ(dir.read(QStringLiteral("Trash/files/a.2.txt")), QByteArray("orphan"));
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("Trash/info")),
              (QStringList{QStringLiteral("a.3.txt.trashinfo"), QStringLiteral("a.txt.trashinfo")}));
}

TEST(TrashHome, LongNamesAreCutBetweenCharactersAndKeepTheirExtension) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    // 244 bytes: with ".trashinfo" over the limit of a name.
    const std::optional<QString> kept =
        trash.keep(dir.file(QString(80, u'文') + QStringLiteral(".txt"), "x"));
    ASSERT_TRUE(kept);
    const QByteArray name = encodeLocal8(nameOf(*kept));
    EXPECT_LE(name.size() + 10, 245);
    EXPECT_TRUE(name.endsWith(".txt"));
    EXPECT_FALSE(QString::fromUtf8(name).contains(QChar::ReplacementCharacter));
}

TEST(TrashHome, KeepingCostsAHandfulOfCallsOnceTheTrashIsKnown) {
    TestDir dir;
    auto calls = std::make_shared<FaultCalls>();
    Trash trash(dir.path(QStringLiteral("Trash")), calls);
    ASSERT_TRUE(trash.keep(dir.file(QStringLiteral("a"), "x")));
    const int mkdirs = calls->count(FaultCalls::Mkdir);
    const int opens = calls->count(FaultCalls::Openat) + calls->count(FaultCalls::Open);
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(trash.keep(dir.file(QStringLiteral("b%1").arg(i), "x")));
    EXPECT_EQ(calls->count(FaultCalls::Mkdir), mkdirs);
    EXPECT_EQ(calls->count(FaultCalls::Openat) + calls->count(FaultCalls::Open), opens + 50);
}

TEST(TrashHome, WithoutHardLinksTheFileIsRenamedInAndReleasedBack) {
    TestDir dir;
    auto calls = std::make_shared<FaultCalls>();
    calls->failCall(FaultCalls::Link, 0, EPERM); // as on FAT
    Trash trash(dir.path(QStringLiteral("Trash")), calls);
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const ino_t inode = statOf(target).st_ino;
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(statOf(target).st_ino, 0u);
    EXPECT_EQ(statOf(*kept).st_ino, inode);

    trash.release(target, *kept);
    EXPECT_EQ(statOf(target).st_ino, inode);
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("Trash/files")) +
                  dir.sortedEntries(QStringLiteral("Trash/info")),
              QStringList());
}

// A trash that cannot be had leaves the target as it was and nothing in the trash.
TEST(TrashHome, NoTrashNoTrace) {
    const std::pair<const char*, std::function<void(FaultCalls&)>> cases[] = {
        {"home trash under a file", nullptr},
        {"note cannot be made", [](FaultCalls& c) { c.failCall(FaultCalls::Openat, 0, EACCES); }},
        {"note cannot be written", [](FaultCalls& c) { c.failCall(FaultCalls::Write, 0, ENOSPC); }},
        {"link fails", [](FaultCalls& c) { c.failCall(FaultCalls::Link, 0, EIO); }},
        {"no link, no rename",
         [](FaultCalls& c) {
             c.failCall(FaultCalls::Link, 0, EPERM);
             c.failCall(FaultCalls::RenameNoReplace, 0, EACCES);
         }},
    };
    for (const auto& [what, fault] : cases) {
        SCOPED_TRACE(what);
        TestDir dir;
        auto calls = std::make_shared<FaultCalls>();
        if (fault)
            fault(*calls);
        const QString home = fault ? dir.path(QStringLiteral("Trash"))
                                   : dir.file(QStringLiteral("blocker"), "x") + QStringLiteral("/Trash");
        Trash trash(home, calls);
        const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
        EXPECT_FALSE(trash.keep(target));
        EXPECT_EQ(statOf(target).st_nlink, 1u);
        EXPECT_EQ(dir.sortedEntries(QStringLiteral("Trash/files")) +
                      dir.sortedEntries(QStringLiteral("Trash/info")),
                  QStringList());
    }
}

// The drive trash, on a tmpfs of its own mounted inside the test folder.
class TrashDrive : public ::testing::Test {
protected:
    void SetUp() override { VELQUIN_SKIP_UNLESS_MOUNTED(mount); }

    TestDir dir;
    const QString top = dir.folder(QStringLiteral("drive"));
    const QString home = dir.path(QStringLiteral("home/Trash"));
    TmpfsMount mount{top, 4 << 20};
};

TEST_F(TrashDrive, UsesItsOwnTrashWithPathsFromItsTop) {
    Trash trash(home);
    const QString target = dir.file(QStringLiteral("drive/sub/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, top + QStringLiteral("/.Trash-") + kUid + QStringLiteral("/files/a.txt"));
    EXPECT_EQ(statOf(top + QStringLiteral("/.Trash-") + kUid).st_mode & 07777, 0700u);
    EXPECT_TRUE(
        contentOf(Trash::infoPathFor(*kept)).value_or("").startsWith("[Trash Info]\nPath=sub/a.txt\n"));
    EXPECT_EQ(statOf(home).st_ino, 0u);
    // Reached through a link from another drive, the path still starts at the drive's top.
    ASSERT_EQ(::symlink(encodeLocal8(top + QStringLiteral("/sub")).constData(),
                        encodeLocal8(dir.path(QStringLiteral("shortcut"))).constData()),
              0);
    const std::optional<QString> linked = trash.keep(dir.file(QStringLiteral("shortcut/b.txt"), "b"));
    ASSERT_TRUE(linked);
    EXPECT_TRUE(contentOf(Trash::infoPathFor(*linked)).value_or("").contains("\nPath=sub/b.txt\n"));
}

TEST_F(TrashDrive, ASharedTrashCountsOnlyAsARealStickyFolder) {
    const auto sticky = [](const QByteArray& p) {
        ::mkdir(p.constData(), 0777);
        ::chmod(p.constData(), 01777);
    };
    const std::tuple<const char*, std::function<void(const QByteArray&)>, bool> cases[] = {
        {"sticky folder", sticky, true},
        {"folder without the sticky bit", [](const QByteArray& p) { ::mkdir(p.constData(), 0777); }, false},
        {"link to a sticky folder",
         [&](const QByteArray& p) {
             sticky(p + "-real");
             (void)!::symlink(QByteArray(p + "-real").constData(), p.constData());
         },
         false},
    };
    int round = 0;
    for (const auto& [what, make, shared] : cases) {
        SCOPED_TRACE(what);
        const QString caseTop = dir.folder(QStringLiteral("drive/%1").arg(++round));
        TmpfsMount caseMount(caseTop, 1 << 20); // each case on a drive of its own
        ASSERT_TRUE(caseMount.mounted());
        make(encodeLocal8(caseTop + QStringLiteral("/.Trash")));
        const std::optional<QString> kept =
            Trash(home).keep(dir.file(QStringLiteral("drive/%1/a").arg(round)));
        ASSERT_TRUE(kept);
        EXPECT_EQ(*kept, caseTop + (shared ? QStringLiteral("/.Trash/") : QStringLiteral("/.Trash-")) + kUid +
                             QStringLiteral("/files/a"));
    }
}

// A drive whose trash cannot be had (a file planted where it goes, a read-only drive): the home
// trash takes a copy, its note with the whole path, and the release drops it again. Without a
// home trash either, nothing is left anywhere and the drive's reason is told.
TEST_F(TrashDrive, WithoutItsTrashTheHomeTrashTakesACopy) {
    const QString target = dir.file(QStringLiteral("drive/a.txt"), "old");
    const QString blocked = dir.file(QStringLiteral("blocker"), "x") + QStringLiteral("/Trash");
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only drive" : "a file where the trash would go");
        if (readOnly) {
            ASSERT_EQ(::unlink(encodeLocal8(top + QStringLiteral("/.Trash-") + kUid).constData()), 0);
            ASSERT_EQ(
                ::mount(nullptr, encodeLocal8(top).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        } else {
            dir.file(QStringLiteral("drive/.Trash-") + kUid, "in the way");
        }
        Trash trash(home);
        EXPECT_EQ(trash.keepable(target), 0);
        const KeptFile kept = trash.keep(target);
        ASSERT_TRUE(kept) << kept.error;
        EXPECT_EQ(*kept, home + QStringLiteral("/files/a.txt"));
        EXPECT_EQ(contentOf(*kept), QByteArray("old"));
        EXPECT_TRUE(contentOf(Trash::infoPathFor(*kept))
                        .value_or("")
                        .contains(QByteArray("\nPath=" + encodeLocal8(target) + '\n')));
        trash.release(target, *kept);
        EXPECT_EQ(contentOf(target), QByteArray("old"));
        EXPECT_EQ(dir.sortedEntries(QStringLiteral("home/Trash/files")) +
                      dir.sortedEntries(QStringLiteral("home/Trash/info")),
                  QStringList());
        if (!readOnly) {
            // Undo brings it back across the drives.
            const std::optional<QString> again = trash.keep(target);
            ASSERT_EQ(::unlink(encodeLocal8(target).constData()), 0);
            EXPECT_TRUE(trash.restore(*again, target).ok());
            EXPECT_EQ(contentOf(target), QByteArray("old"));
        }

        Trash none(blocked);
        const int reason = readOnly ? EROFS : ENOTDIR;
        EXPECT_EQ(none.keepable(target), reason);
        EXPECT_EQ(none.keep(target).error, reason);
        EXPECT_EQ(statOf(target).st_nlink, 1u);
        EXPECT_EQ(dir.sortedEntries(QStringLiteral("drive")).size(), readOnly ? 1 : 2);
    }
}

// A btrfs subvolume has a device number of its own but no mount: its files go to the trash at
// the top of the mount, where file managers look, with their paths from there.
TEST(TrashSubvolume, KeptAtTheTopOfTheMount) {
    TestDir dir;
    const QString top = dir.folder(QStringLiteral("btrfs"));
    test::ImageMount mount(test::ImageMount::Btrfs, top);
    VELQUIN_SKIP_UNLESS_MOUNTED(mount);
    if (test::runTool({QStringLiteral("btrfs"), QStringLiteral("subvolume"), QStringLiteral("create"),
                       top + QStringLiteral("/sub")}) != 0)
        GTEST_SKIP() << "cannot make a btrfs subvolume here";
    const QString target = dir.file(QStringLiteral("btrfs/sub/a.txt"), "old");
    ASSERT_NE(statOf(target).st_dev, statOf(top).st_dev);
    Trash trash(dir.path(QStringLiteral("home/Trash")));
    const KeptFile kept = trash.keep(target);
    ASSERT_TRUE(kept) << kept.error;
    EXPECT_EQ(*kept, top + QStringLiteral("/.Trash-") + kUid + QStringLiteral("/files/a.txt"));
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
    EXPECT_TRUE(contentOf(Trash::infoPathFor(*kept)).value_or("").contains("\nPath=sub/a.txt\n"));
}
