#include "platform/trash.h"

#include "faults/sandbox.h"
#include "platform/names.h"
#include "support/faultcalls.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Readable failures: names as text, not as arrays of bytes.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace velquin;
using velquin::test::FaultCalls;
using velquin::test::TestDir;
using velquin::test::TmpfsMount;

namespace {

// Reads and writes through the exact bytes of a name, so raw names work too.
std::optional<QByteArray> contentOf(const QString& path) {
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray data;
    char buf[4096];
    long n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        data.append(buf, n);
    ::close(fd);
    return data;
}

QString writeFile(const QString& path, const QByteArray& content) {
    const int fd = ::open(encodeLocal8(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, content.constData(), size_t(content.size()));
        ::close(fd);
    }
    return path;
}

struct stat statOf(const QString& path) {
    struct stat st {};
    if (::lstat(encodeLocal8(path).constData(), &st) != 0)
        st.st_ino = 0;
    return st;
}

bool exists(const QString& path) {
    return statOf(path).st_ino != 0;
}

// Names in a folder, sorted, read with our own walker (QDir would skip raw names).
QStringList namesIn(const QString& folder) {
    QStringList names;
    if (auto entries = FileOps().listDir(folder))
        for (const DirEntry& e : *entries)
            names << e.name;
    names.sort();
    return names;
}

QString uid() {
    return QString::number(::getuid());
}

// A replace as the file layer does it once keep() has run: the new file renamed over the old.
void replaceWith(const QString& target, const QByteArray& content) {
    const QString fresh = writeFile(target + QStringLiteral(".new"), content);
    ASSERT_EQ(::rename(encodeLocal8(fresh).constData(), encodeLocal8(target).constData()), 0);
}

} // namespace

TEST(TrashHome, KeepsALinkAndANoteWithThePathAndTheTime) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("home/Trash")));
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const struct stat before = statOf(target);

    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, dir.path(QStringLiteral("home/Trash/files/a.txt")));
    // The target path never stands empty: the trash holds a second link to the same file.
    EXPECT_EQ(statOf(target).st_ino, before.st_ino);
    EXPECT_EQ(statOf(*kept).st_ino, before.st_ino);

    const std::optional<QByteArray> note =
        contentOf(dir.path(QStringLiteral("home/Trash/info/a.txt.trashinfo")));
    ASSERT_TRUE(note);
    const QRegularExpression shape(QStringLiteral(
        "^\\[Trash Info\\]\nPath=(.*)\nDeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n$"));
    const QRegularExpressionMatch m = shape.match(QString::fromUtf8(*note));
    ASSERT_TRUE(m.hasMatch()) << note->toStdString();
    EXPECT_EQ(m.captured(1), target);
    const QDateTime when = QDateTime::fromString(m.captured(2), Qt::ISODate);
    EXPECT_GE(when, start.addMSecs(-start.time().msec()));
    EXPECT_LE(when, QDateTime::currentDateTime());

    replaceWith(target, "new");
    EXPECT_EQ(contentOf(target), QByteArray("new"));
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
}

TEST(TrashHome, NotePathIsPercentEncodedBytesWithoutLinks) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    dir.folder(QStringLiteral("real"));
    ASSERT_EQ(::symlink("real", encodeLocal8(dir.path(QStringLiteral("via"))).constData()), 0);
    const QString rawName = decodeLocal8(QByteArray("a b%\xff\xe4\xb8\xad#.txt"));
    const QString target = writeFile(dir.path(QStringLiteral("via/")) + rawName, "x");

    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(encodeLocal8(*kept), encodeLocal8(dir.path(QStringLiteral("Trash/files/")) + rawName));
    const std::optional<QByteArray> note = contentOf(Trash::infoPathFor(*kept));
    ASSERT_TRUE(note);
    const QByteArray expected =
        "Path=" + encodeLocal8(dir.path(QStringLiteral("real/"))) + "a%20b%25%FF%E4%B8%AD%23.txt\n";
    EXPECT_TRUE(note->contains(expected)) << note->toStdString();
}

TEST(TrashHome, IsMadeWithItsFoldersWhenMissing) {
    TestDir dir;
    const QString home = dir.path(QStringLiteral("no/such/share/Trash"));
    Trash trash(home);
    const QString target = dir.file(QStringLiteral("a"), "x");
    ASSERT_TRUE(trash.keep(target));
    EXPECT_EQ(namesIn(home), (QStringList{QStringLiteral("files"), QStringLiteral("info")}));
    EXPECT_EQ(statOf(home).st_mode & 07777, 0700u);
    EXPECT_EQ(statOf(home + QStringLiteral("/files")).st_mode & 07777, 0700u);
}

// What a second file of the same name is called in the trash.
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
        const QString target =
            dir.file(QLatin1String(folder) + QLatin1Char('/') + QLatin1String(c.name), folder);
        const std::optional<QString> k = trash.keep(target);
        ASSERT_TRUE(k) << folder;
        kept << k->mid(k->lastIndexOf(QLatin1Char('/')) + 1);
        EXPECT_EQ(contentOf(*k), QByteArray(folder));
    }
    EXPECT_EQ(kept, (QStringList{QLatin1String(c.name), QLatin1String(c.second), QLatin1String(c.third)}));
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))).size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Names, TrashClash,
                         ::testing::Values(ClashCase{"a.txt", "a.2.txt", "a.3.txt"},
                                           ClashCase{"x.tar.gz", "x.tar.2.gz", "x.tar.3.gz"},
                                           ClashCase{".profile", ".profile.2", ".profile.3"},
                                           ClashCase{"notes", "notes.2", "notes.3"}));

TEST(TrashHome, NamesTakenBeforeThisRunAreLeftAlone) {
    TestDir dir;
    // A note from an earlier session, and a file some other program left without a note.
    dir.file(QStringLiteral("Trash/info/a.txt.trashinfo"), "[Trash Info]\nPath=/old/a.txt\n");
    dir.file(QStringLiteral("Trash/files/a.2.txt"), "orphan");
    Trash trash(dir.path(QStringLiteral("Trash")));
    const std::optional<QString> kept = trash.keep(dir.file(QStringLiteral("out/a.txt"), "mine"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, dir.path(QStringLiteral("Trash/files/a.3.txt")));
    EXPECT_EQ(dir.read(QStringLiteral("Trash/info/a.txt.trashinfo")),
              QByteArray("[Trash Info]\nPath=/old/a.txt\n"));
    EXPECT_EQ(dir.read(QStringLiteral("Trash/files/a.2.txt")), QByteArray("orphan"));
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))),
              (QStringList{QStringLiteral("a.3.txt.trashinfo"), QStringLiteral("a.txt.trashinfo")}));
}

TEST(TrashHome, LongNamesAreCutBetweenCharactersAndKeepTheirExtension) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    QString name;
    for (int i = 0; i < 80; ++i)
        name += QStringLiteral("文");
    name += QStringLiteral(".txt"); // 244 bytes: with ".trashinfo" over the limit of a name
    const std::optional<QString> kept = trash.keep(dir.file(name, "x"));
    ASSERT_TRUE(kept);
    const QByteArray keptName = encodeLocal8(kept->mid(kept->lastIndexOf(QLatin1Char('/')) + 1));
    EXPECT_LE(keptName.size() + 10, 245);
    EXPECT_TRUE(keptName.endsWith(".txt"));
    EXPECT_TRUE(QString::fromUtf8(keptName).startsWith(QStringLiteral("文文文")));
    EXPECT_FALSE(QString::fromUtf8(keptName).contains(QChar::ReplacementCharacter));
}

TEST(TrashHome, KeepingCostsAHandfulOfCallsOnceTheTrashIsKnown) {
    TestDir dir;
    auto calls = std::make_shared<FaultCalls>();
    Trash trash(dir.path(QStringLiteral("Trash")), calls);
    ASSERT_TRUE(trash.keep(dir.file(QStringLiteral("a"), "x")));
    const int mkdirs = calls->count(FaultCalls::Mkdir);
    const int opens = calls->count(FaultCalls::Openat) + calls->count(FaultCalls::Open);
    const int links = calls->count(FaultCalls::Link);
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(trash.keep(dir.file(QStringLiteral("b%1").arg(i), "x")));
    EXPECT_EQ(calls->count(FaultCalls::Mkdir), mkdirs);
    EXPECT_EQ(calls->count(FaultCalls::Openat) + calls->count(FaultCalls::Open), opens + 50);
    EXPECT_EQ(calls->count(FaultCalls::Link), links + 50);
}

TEST(TrashHome, WithoutHardLinksTheFileIsRenamedIntoTheTrashAndReleasedBack) {
    TestDir dir;
    auto calls = std::make_shared<FaultCalls>();
    calls->failCall(FaultCalls::Link, 0, EPERM); // as on FAT
    Trash trash(dir.path(QStringLiteral("Trash")), calls);
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const ino_t inode = statOf(target).st_ino;
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    EXPECT_FALSE(exists(target));
    EXPECT_EQ(statOf(*kept).st_ino, inode);
    EXPECT_TRUE(exists(Trash::infoPathFor(*kept)));

    trash.release(target, *kept);
    EXPECT_EQ(statOf(target).st_ino, inode);
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/files"))), QStringList());
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))), QStringList());
}

TEST(TrashHome, ReleaseDropsTheLinkAndTheNote) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    trash.release(target, *kept);
    EXPECT_EQ(contentOf(target), QByteArray("old"));
    EXPECT_EQ(statOf(target).st_nlink, 1u);
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/files"))), QStringList());
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))), QStringList());
}

TEST(TrashHome, ReleaseKeepsTheOnlyCopyOfTheOldContent) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    // The replace went through after all: the target holds another file now.
    replaceWith(target, "new");
    trash.release(target, *kept);
    EXPECT_EQ(contentOf(target), QByteArray("new"));
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
    EXPECT_TRUE(exists(Trash::infoPathFor(*kept)));
}

TEST(TrashHome, RestorePutsTheFileBackAndDropsItsNote) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    ASSERT_EQ(::unlink(encodeLocal8(target).constData()), 0);

    const FsResult r = trash.restore(*kept, target);
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(contentOf(target), QByteArray("old"));
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/files"))), QStringList());
    EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))), QStringList());
}

TEST(TrashHome, RestoreNeverReplacesWhatTookThePath) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(target);
    ASSERT_TRUE(kept);
    replaceWith(target, "new");

    const FsResult r = trash.restore(*kept, target);
    EXPECT_EQ(r.error, EEXIST);
    EXPECT_EQ(contentOf(target), QByteArray("new"));
    EXPECT_EQ(contentOf(*kept), QByteArray("old"));
    EXPECT_TRUE(exists(Trash::infoPathFor(*kept)));
}

TEST(TrashHome, NothingButFilesGoes) {
    TestDir dir;
    Trash trash(dir.path(QStringLiteral("Trash")));
    EXPECT_FALSE(trash.keep(dir.folder(QStringLiteral("folder"))));
    EXPECT_FALSE(trash.keep(dir.path(QStringLiteral("missing"))));
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("folder")));
}

// A trash that cannot be had leaves the target as it was and nothing in the trash.
TEST(TrashHome, NoTrashNoTrace) {
    struct Case {
        const char* what;
        std::function<void(FaultCalls&)> fault;
        bool homeUnderAFile;
    };
    const Case cases[] = {
        {"home trash under a file", nullptr, true},
        {"note cannot be made", [](FaultCalls& c) { c.failCall(FaultCalls::Openat, 0, EACCES); }, false},
        {"note cannot be written", [](FaultCalls& c) { c.failCall(FaultCalls::Write, 0, ENOSPC); }, false},
        {"link fails", [](FaultCalls& c) { c.failCall(FaultCalls::Link, 0, EIO); }, false},
        {"no link, no rename",
         [](FaultCalls& c) {
             c.failCall(FaultCalls::Link, 0, EPERM);
             c.failCall(FaultCalls::RenameNoReplace, 0, EACCES);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir dir;
        auto calls = std::make_shared<FaultCalls>();
        if (c.fault)
            c.fault(*calls);
        const QString blocker = dir.file(QStringLiteral("blocker"), "x");
        Trash trash(c.homeUnderAFile ? blocker + QStringLiteral("/Trash") : dir.path(QStringLiteral("Trash")),
                    calls);
        const QString target = dir.file(QStringLiteral("out/a.txt"), "old");
        EXPECT_FALSE(trash.keep(target));
        EXPECT_EQ(contentOf(target), QByteArray("old"));
        EXPECT_EQ(statOf(target).st_nlink, 1u);
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/files"))), QStringList());
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("Trash/info"))), QStringList());
    }
}

// The drive trash, on a tmpfs of its own mounted inside the test folder.
class TrashDrive : public ::testing::Test {
protected:
    void SetUp() override {
        top = dir.folder(QStringLiteral("drive"));
        mount = std::make_unique<TmpfsMount>(top, 4 << 20);
        if (!mount->mounted())
            GTEST_SKIP() << "no drive trash tests: " << mount->error().toStdString();
        home = dir.path(QStringLiteral("home/Trash"));
    }
    void TearDown() override { mount.reset(); }

    QString topPath(const QString& relative) const { return top + QLatin1Char('/') + relative; }
    QString target(const QString& relative, const QByteArray& content) {
        dir.folder(QStringLiteral("drive/") + relative.left(relative.lastIndexOf(QLatin1Char('/')) + 1));
        return writeFile(topPath(relative), content);
    }

    TestDir dir;
    QString top;
    QString home;
    std::unique_ptr<TmpfsMount> mount;
};

TEST_F(TrashDrive, UsesItsOwnTrashWithRelativePaths) {
    Trash trash(home);
    const QString file = target(QStringLiteral("sub/deeper/a.txt"), "old");
    const std::optional<QString> kept = trash.keep(file);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, topPath(QStringLiteral(".Trash-") + uid() + QStringLiteral("/files/a.txt")));
    EXPECT_EQ(statOf(topPath(QStringLiteral(".Trash-") + uid())).st_mode & 07777, 0700u);
    EXPECT_EQ(statOf(*kept).st_dev, statOf(file).st_dev);
    const std::optional<QByteArray> note = contentOf(Trash::infoPathFor(*kept));
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->startsWith("[Trash Info]\nPath=sub/deeper/a.txt\nDeletionDate="))
        << note->toStdString();
    EXPECT_FALSE(exists(home));

    replaceWith(file, "new");
    ASSERT_EQ(::unlink(encodeLocal8(file).constData()), 0);
    EXPECT_TRUE(trash.restore(*kept, file).ok());
    EXPECT_EQ(contentOf(file), QByteArray("old"));
}

TEST_F(TrashDrive, ASharedTrashCountsOnlyAsARealStickyFolder) {
    struct Case {
        const char* what;
        std::function<void(const QByteArray&)> make;
        bool shared;
    };
    const Case cases[] = {
        {"sticky folder",
         [](const QByteArray& p) {
             ::mkdir(p.constData(), 0777);
             ::chmod(p.constData(), 01777);
         },
         true},
        {"folder without the sticky bit", [](const QByteArray& p) { ::mkdir(p.constData(), 0777); }, false},
        {"link to a sticky folder",
         [](const QByteArray& p) {
             const QByteArray real = p + "-real";
             ::mkdir(real.constData(), 0777);
             ::chmod(real.constData(), 01777);
             (void)!::symlink(real.constData(), p.constData());
         },
         false},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString sub = QStringLiteral("case%1").arg(++round);
        // Each case on a drive of its own.
        const QString caseTop = dir.folder(QStringLiteral("drive/") + sub);
        TmpfsMount caseMount(caseTop, 1 << 20);
        ASSERT_TRUE(caseMount.mounted());
        c.make(encodeLocal8(caseTop + QStringLiteral("/.Trash")));
        Trash trash(home);
        const std::optional<QString> kept = trash.keep(writeFile(caseTop + QStringLiteral("/a.txt"), "x"));
        ASSERT_TRUE(kept);
        const QString expected =
            c.shared ? QStringLiteral("/.Trash/") + uid() : QStringLiteral("/.Trash-") + uid();
        EXPECT_EQ(*kept, caseTop + expected + QStringLiteral("/files/a.txt"));
    }
}

TEST_F(TrashDrive, ReachedThroughALinkTheNoteStillStartsAtTheTop) {
    Trash trash(home);
    target(QStringLiteral("photos/a.jpg"), "x");
    ASSERT_EQ(::symlink(encodeLocal8(topPath(QStringLiteral("photos"))).constData(),
                        encodeLocal8(dir.path(QStringLiteral("shortcut"))).constData()),
              0);
    const std::optional<QString> kept = trash.keep(dir.path(QStringLiteral("shortcut/a.jpg")));
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, topPath(QStringLiteral(".Trash-") + uid() + QStringLiteral("/files/a.jpg")));
    EXPECT_TRUE(contentOf(Trash::infoPathFor(*kept))->contains("\nPath=photos/a.jpg\n"));
}

TEST_F(TrashDrive, NoTrashOnTheDriveNoTrace) {
    // Something that is not a folder where the trash would go, and no shared trash.
    writeFile(topPath(QStringLiteral(".Trash-") + uid()), "in the way");
    Trash trash(home);
    const QString file = target(QStringLiteral("a.txt"), "old");
    EXPECT_FALSE(trash.keep(file));
    EXPECT_EQ(contentOf(file), QByteArray("old"));
    EXPECT_EQ(namesIn(top), (QStringList{QStringLiteral(".Trash-") + uid(), QStringLiteral("a.txt")}));
    EXPECT_FALSE(exists(home));
}

TEST_F(TrashDrive, ReadOnlyDriveNoTrace) {
    const QString file = target(QStringLiteral("a.txt"), "old");
    ASSERT_EQ(::mount(nullptr, encodeLocal8(top).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    Trash trash(home);
    EXPECT_FALSE(trash.keep(file));
    EXPECT_EQ(namesIn(top), QStringList{QStringLiteral("a.txt")});
}
