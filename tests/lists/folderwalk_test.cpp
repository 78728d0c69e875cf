#include "lists/eventpump.h"
#include "lists/fixtures.h"
#include "lists/folderwalk.h"
#include "lists/sourcelistmodel.h"
#include "platform/names.h"
#include "support/testdir.h"

#include <QSet>

#include <gtest/gtest.h>

namespace velquin {
namespace {

using test::TestDir;

// root/ f1.txt .h1.txt
//   sub/ f2.txt  sub/deep/ f4.txt  sub/deep/deeper/ f5.txt
//   .hsub/ f3.txt
//   empty/
class FolderWalk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* f : {"root/f1.txt", "root/.h1.txt", "root/sub/f2.txt", "root/.hsub/f3.txt",
                              "root/sub/deep/f4.txt", "root/sub/deep/deeper/f5.txt"})
            dir.file(QString::fromUtf8(f), "x");
        dir.folder(QStringLiteral("root/empty"));
    }

    // The entries relative to the fixture folder, in list order.
    QStringList relative() const {
        QStringList out;
        const QString prefix = dir.path() + QLatin1Char('/');
        for (const QString& e : model.entries())
            out.append(e.startsWith(prefix) ? e.mid(prefix.size()) : QStringLiteral("!") + e);
        return out;
    }
    static QSet<QString> setOf(std::initializer_list<const char*> names) {
        QSet<QString> out;
        for (const char* n : names)
            out.insert(QString::fromUtf8(n));
        return out;
    }
    QSet<QString> relativeSet() const {
        const QStringList r = relative();
        EXPECT_EQ(QSet<QString>(r.begin(), r.end()).size(), r.size()) << "no entry twice";
        return QSet<QString>(r.begin(), r.end());
    }

    TestDir dir;
    FileOps fs;
    SourceListModel model;
    EventPump pump;
};

TEST_F(FolderWalk, DepthDecidesWhichLevelsAreAdded) {
    const auto level0 = setOf({"root/f1.txt", "root/.h1.txt"});
    const auto level1 = setOf({"root/sub/f2.txt", "root/.hsub/f3.txt"});
    const auto level2 = setOf({"root/sub/deep/f4.txt"});
    const auto level3 = setOf({"root/sub/deep/deeper/f5.txt"});
    struct Case {
        int depth;
        QSet<QString> expected;
    };
    const Case cases[] = {{-1, {}},
                          {0, level0},
                          {1, level0 + level1},
                          {2, level0 + level1 + level2},
                          {3, level0 + level1 + level2 + level3},
                          {50, level0 + level1 + level2 + level3}};
    for (const Case& c : cases) {
        model.clear();
        IndexDisk2(model, fs, dir.path(QStringLiteral("root/")), c.depth, pump);
        EXPECT_EQ(relativeSet(), c.expected) << "depth " << c.depth;
    }

    model.clear();
    IndexDisk(model, fs, dir.path(QStringLiteral("root/")), pump);
    EXPECT_EQ(relativeSet(), level0 + level1 + level2 + level3);

    model.clear();
    addFilesOfFolder(model, fs, dir.path(QStringLiteral("root")), pump);
    EXPECT_EQ(relativeSet(), level0);
}

TEST_F(FolderWalk, FilesOfAFolderComeBeforeThoseBelowIt) {
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), pump);
    const QStringList r = relative();
    ASSERT_EQ(r.size(), 6);
    auto at = [&](const char* name) { return r.indexOf(QString::fromUtf8(name)); };
    EXPECT_LT(at("root/f1.txt"), at("root/sub/f2.txt"));
    EXPECT_LT(at("root/.h1.txt"), at("root/.hsub/f3.txt"));
    EXPECT_LT(at("root/sub/f2.txt"), at("root/sub/deep/f4.txt"));
    EXPECT_LT(at("root/sub/deep/f4.txt"), at("root/sub/deep/deeper/f5.txt"));
    // Each sub-folder tree is finished before the next sub-folder is entered.
    const bool subFirst = at("root/sub/f2.txt") < at("root/.hsub/f3.txt");
    if (subFirst)
        EXPECT_LT(at("root/sub/deep/deeper/f5.txt"), at("root/.hsub/f3.txt"));
    else
        EXPECT_GT(at("root/sub/f2.txt"), at("root/.hsub/f3.txt"));
}

TEST_F(FolderWalk, PathsHaveExactlyOneSeparatorAndNoDotEntries) {
    for (const QString& start : {dir.path(QStringLiteral("root")), dir.path(QStringLiteral("root/"))}) {
        model.clear();
        IndexDisk(model, fs, start, pump);
        for (const QString& e : model.entries()) {
            EXPECT_FALSE(e.contains(QStringLiteral("//"))) << e.toStdString();
            EXPECT_FALSE(e.endsWith(QStringLiteral("/.")) || e.endsWith(QStringLiteral("/..")))
                << e.toStdString();
            EXPECT_FALSE(e.contains(QStringLiteral("/./")) || e.contains(QStringLiteral("/../")));
        }
        EXPECT_EQ(model.count(), 6);
    }
    // The root already ends in its separator: its files are "/name".
    model.clear();
    addFilesOfFolder(model, fs, QStringLiteral("/"), pump);
    for (const QString& e : model.entries())
        EXPECT_EQ(e.lastIndexOf(QLatin1Char('/')), 0) << e.toStdString();
}

TEST_F(FolderWalk, AddingTheSameFolderTwiceAddsNothing) {
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), pump);
    const QStringList first = model.entries();
    IndexDisk(model, fs, dir.path(QStringLiteral("root/")), pump);
    IndexDisk2(model, fs, dir.path(QStringLiteral("root")), 1, pump);
    EXPECT_EQ(model.entries(), first);
}

TEST_F(FolderWalk, LinksToFoldersArePassedOverButAChosenLinkIsFollowed) {
    ASSERT_TRUE(test::makeSymlink(QStringLiteral("/"), dir.path(QStringLiteral("root/sub/slash"))));
    ASSERT_TRUE(test::makeSymlink(QStringLiteral("."), dir.path(QStringLiteral("root/self"))));
    ASSERT_TRUE(test::makeSymlink(QStringLiteral("sub/deep"), dir.path(QStringLiteral("root/deeplink"))));
    ASSERT_TRUE(test::makeSymlink(QStringLiteral("f1.txt"), dir.path(QStringLiteral("root/f1link"))));
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), pump);
    EXPECT_EQ(relativeSet(),
              setOf({"root/f1.txt", "root/.h1.txt", "root/f1link", "root/sub/f2.txt", "root/.hsub/f3.txt",
                     "root/sub/deep/f4.txt", "root/sub/deep/deeper/f5.txt"}));
    model.clear();
    IndexDisk(model, fs, dir.path(QStringLiteral("root/deeplink")), pump);
    EXPECT_EQ(relativeSet(), setOf({"root/deeplink/f4.txt", "root/deeplink/deeper/f5.txt"}));
}

TEST_F(FolderWalk, AStopEndsTheWalkKeepingWhatItAdded) {
    int steps = 0;
    EventPump stopping([] {}, 0, [&steps] { return ++steps > 1; });
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), stopping);
    // The first folder's files are in; the walk went no deeper.
    EXPECT_EQ(relativeSet(), setOf({"root/f1.txt", "root/.h1.txt"}));
}

TEST_F(FolderWalk, MissingOrUnlistableFoldersAddNothingAndTheWalkGoesOn) {
    IndexDisk(model, fs, dir.path(QStringLiteral("nothing-here")), pump);
    IndexDisk2(model, fs, dir.path(QStringLiteral("root/f1.txt")), 3, pump);
    EXPECT_EQ(model.count(), 0);
    ASSERT_TRUE(test::makeSymlink(QStringLiteral("gone"), dir.path(QStringLiteral("root/broken"))));
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), pump);
    // A broken link is no folder: it is listed like any other non-folder entry.
    EXPECT_TRUE(relativeSet().contains(QStringLiteral("root/broken")));
    EXPECT_EQ(model.count(), 7);
}

TEST_F(FolderWalk, NamesThatAreNoValidUtf8AreListedByteForByte) {
    const QByteArray raw = encodeLocal8(dir.path(QStringLiteral("root/"))) + QByteArray("caf\xe9-\xff.txt");
    const test::RawFile rawFile(raw);
    ASSERT_TRUE(rawFile.made());
    addFilesOfFolder(model, fs, dir.path(QStringLiteral("root")), pump);
    QList<QByteArray> encoded;
    for (const QString& e : model.entries())
        encoded.append(encodeLocal8(e));
    EXPECT_TRUE(encoded.contains(raw));
    EXPECT_EQ(model.count(), 3);
}

// Before each event run the window learns the folder being listed and the files found so far.
TEST_F(FolderWalk, PendingEventsRunWhileWalkingAndTellWhereItIs) {
    int runs = 0;
    EventPump everyEntry([&] { ++runs; }, 0);
    QList<std::pair<QString, qsizetype>> told;
    everyEntry.setListing([&](const QString& folder, qsizetype found) { told.append({folder, found}); });
    IndexDisk(model, fs, dir.path(QStringLiteral("root")), everyEntry);
    EXPECT_GE(runs, 6);
    ASSERT_FALSE(told.isEmpty());
    EXPECT_EQ(told.first(), std::make_pair(dir.path(QStringLiteral("root")), qsizetype(2)));
    EXPECT_EQ(told.last().second, model.count());
}

TEST(ClassifySearchEntry, DotEntriesFoldersAndFiles) {
    struct Case {
        const char* name;
        bool isDir;
        SearchEntryKind kind;
    };
    const Case cases[] = {
        {".", true, SearchEntryKind::DotEntry},     {"..", true, SearchEntryKind::DotEntry},
        {".", false, SearchEntryKind::DotEntry},    {"a", true, SearchEntryKind::SubFolder},
        {".git", true, SearchEntryKind::SubFolder}, {"a.txt", false, SearchEntryKind::PlainFile},
        {"...", false, SearchEntryKind::PlainFile}};
    for (const Case& c : cases) {
        DirEntry e;
        e.name = QString::fromUtf8(c.name);
        e.isDir = c.isDir;
        EXPECT_EQ(ClassifySearchEntry(e), c.kind) << c.name;
    }
}

TEST(EventPumpThrottle, RunsAtMostOncePerInterval) {
    int runs = 0;
    EventPump pump([&] { ++runs; }, 60 * 1000);
    for (int i = 0; i < 1000; ++i)
        pump.step();
    EXPECT_EQ(runs, 0);
    pump.runNow();
    EXPECT_EQ(runs, 1);
}

} // namespace
} // namespace velquin
