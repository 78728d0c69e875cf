#include "engine/folderrun.h"

#include "engine/transfer.h"
#include "platform/localdate.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace velquin;
using velquin::test::FolderSandbox;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;

namespace {

const QString kDone = QStringLiteral("分拣工作完成！");

// A fixture folder holding one file, so that a copy of it is easy to find.
QString makeFolder(TestDir& d, const QString& relative, const QByteArray& content = "f") {
    d.file(relative + QStringLiteral("/f.txt"), content);
    return d.path(relative);
}

// Every test starts with its output folder "out" in a fresh sandbox.
class FolderRun : public ::testing::Test, protected FolderSandbox {
protected:
    void SetUp() override { host.outputText = d.path(QStringLiteral("out")); }
};

} // namespace

TEST(FolderRunChecks, FirstFailureShowsItsMessageAndFocusAndLocksNothing) {
    struct Case {
        const char* label;
        std::function<void(FolderSortJob&, ScriptedHost&)> setup;
        QString message;
        FocusTarget focus;
        bool chooser;
    };
    const Case cases[] = {
        {"empty list", [](FolderSortJob& j, ScriptedHost&) { j.Folders.clear(); },
         QStringLiteral("没有需要分拣的文件夹（目录）!"), FocusTarget::None, false},
        {"blank output", [](FolderSortJob&, ScriptedHost& h) { h.outputText = QStringLiteral(" \t "); },
         QStringLiteral("请选择分拣结果输出目录！"), FocusTarget::None, true},
        {"blank keys", [](FolderSortJob& j, ScriptedHost&) { j.fields.EdtKeys = QStringLiteral("   "); },
         QStringLiteral("请输入匹配关键字!"), FocusTarget::EdtKeys, false},
        {"range begin",
         [](FolderSortJob& j, ScriptedHost&) {
             j.Criterion = FolderSortCriterion(1);
             j.fields.EdtPartNameBegin = QStringLiteral("x");
         },
         QStringLiteral("请输入整数序号!"), FocusTarget::EdtPartNameBegin, false},
        {"range end",
         [](FolderSortJob& j, ScriptedHost&) {
             j.Criterion = FolderSortCriterion(1);
             j.fields.EdtPartNameEnd = QStringLiteral("1.5");
         },
         QStringLiteral("请输入整数序号!"), FocusTarget::EdtPartNameEnd, false},
        {"file count",
         [](FolderSortJob& j, ScriptedHost&) {
             j.Criterion = FolderSortCriterion(2);
             j.fields.EdtFileCount = QStringLiteral("3 ");
         },
         QStringLiteral("请输入整数!"), FocusTarget::EdtFileCount, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDir d;
        FileOps fs;
        ScriptedHost host;
        host.outputText = d.path(QStringLiteral("out"));
        FolderSortJob job;
        job.Folders = {makeFolder(d, QStringLiteral("Trip"))};
        job.fields.EdtKeys = QStringLiteral("Trip");
        job.UseNameRange = true;
        job.fields.EdtPartNameBegin = QStringLiteral("1");
        job.fields.EdtPartNameEnd = QStringLiteral("2");
        job.fields.EdtFileCount = QStringLiteral("1");
        c.setup(job, host);

        runFolderSort(job, host, fs);
        EXPECT_EQ(host.messages, QStringList{c.message});
        EXPECT_EQ(host.focus, c.focus == FocusTarget::None ? std::vector<FocusTarget>{}
                                                           : std::vector<FocusTarget>{c.focus});
        EXPECT_EQ(host.chooserCalls, c.chooser ? 1 : 0);
        EXPECT_TRUE(host.lockCalls.empty());
        EXPECT_TRUE(host.progress.empty());
        EXPECT_FALSE(d.existsFolder(QStringLiteral("out")));
        // The separator stays appended once the output check has passed, whatever fails later.
        if (!job.Folders.isEmpty() && !c.chooser) {
            EXPECT_EQ(host.outputText, d.path(QStringLiteral("out/")));
        }
    }
}

TEST(FolderRunChecks, RangeTextsAreNotCheckedWithoutTheRange) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    host.outputText = d.path(QStringLiteral("out/"));
    FolderSortJob job;
    job.Folders = {makeFolder(d, QStringLiteral("Trip"))};
    job.Criterion = FolderSortCriterion(1);
    job.fields.EdtPartNameBegin = QStringLiteral("x");
    job.fields.EdtPartNameEnd = QStringLiteral("y");
    runFolderSort(job, host, fs);
    EXPECT_EQ(host.messages, QStringList{kDone});
    EXPECT_EQ(host.outputText, d.path(QStringLiteral("out/"))); // no second separator
    EXPECT_EQ(d.read(QStringLiteral("out/Trip/Trip/f.txt")), QByteArray("f"));
}

TEST_F(FolderRun, KeywordsCopyIntoEveryMatchingKeywordFolder) {
    FolderSortJob job;
    job.Folders = {makeFolder(d, QStringLiteral("src/PhotoTrip")), makeFolder(d, QStringLiteral("src/Other")),
                   makeFolder(d, QStringLiteral("src/xABCx")), d.path(QStringLiteral("src/abcMissing"))};
    job.fields.EdtKeys = QStringLiteral("  photo  trip abc ");
    runFolderSort(job, host, fs);

    EXPECT_EQ(d.read(QStringLiteral("out/photo/PhotoTrip/f.txt")), QByteArray("f"));
    EXPECT_EQ(d.read(QStringLiteral("out/trip/PhotoTrip/f.txt")), QByteArray("f"));
    EXPECT_EQ(d.read(QStringLiteral("out/abc/xABCx/f.txt")), QByteArray("f"));
    // A missing listed folder still gets its keyword folder, and nothing in it.
    EXPECT_FALSE(d.existsFolder(QStringLiteral("out/abc/abcMissing")));
    EXPECT_EQ(d.entries(QStringLiteral("out")),
              (QStringList{QStringLiteral("abc"), QStringLiteral("photo"), QStringLiteral("trip")}));
    EXPECT_EQ(host.messages, QStringList{kDone});
}

TEST_F(FolderRun, ADuplicateKeywordCopiesTwiceAndTheSecondPassMeetsThePolicy) {
    host.policy = ClashPolicy::AutoNumber;
    FolderSortJob job;
    job.Folders = {makeFolder(d, QStringLiteral("Trip"))};
    job.fields.EdtKeys = QStringLiteral("trip trip");
    runFolderSort(job, host, fs);
    EXPECT_EQ(d.entries(QStringLiteral("out/trip/Trip")),
              (QStringList{QStringLiteral("f.txt"), QStringLiteral("f_1.txt")}));
    EXPECT_EQ(host.policyReads, 2);
}

TEST_F(FolderRun, NameCriterionNamesTheSubFolderFromRangeAndFilter) {
    struct Case {
        const char* folder;
        bool range;
        const char* begin;
        const char* end;
        const char* filter;
        const char* sub; // "" lands in the output folder itself
    };
    const Case cases[] = {
        {"Trip", false, "", "", "", "Trip"},           {"Trip(1)", false, "", "", "(1)*(2)", "Trip"},
        {"Trip(2)", false, "", "", "(1)*(2)", "Trip"}, {"banana", false, "", "", "a*", "bnn"},
        {"旅行2020", true, "1", "2", "", "旅行"},      {"abcdefg", true, "5", "2", "", "bcde"},
        {"abcdefg", true, "0", "2", "", "abc"},        {"abcdefg", true, "3", "300", "", "cdefg"},
        {"abcdefg", true, "300", "400", "", ""},       {"Trip", true, "10", "12", "", ""},
        {"a.b.c", false, "", "", "", "a.b.c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        SCOPED_TRACE(c.begin);
        FolderSandbox box;
        auto& [d, fs, host] = box;
        host.outputText = d.path(QStringLiteral("out"));
        const QString name = QString::fromUtf8(c.folder);
        FolderSortJob job;
        job.Criterion = FolderSortCriterion(1);
        job.Folders = {makeFolder(d, QStringLiteral("src/") + name)};
        job.UseNameRange = c.range;
        job.fields.EdtPartNameBegin = QString::fromUtf8(c.begin);
        job.fields.EdtPartNameEnd = QString::fromUtf8(c.end);
        job.FilterText = QString::fromUtf8(c.filter);
        runFolderSort(job, host, fs);
        const QString sub = QString::fromUtf8(c.sub);
        const QString landed = sub.isEmpty()
                                   ? QString(QStringLiteral("out/") + name)
                                   : QString(QStringLiteral("out/") + sub + QLatin1Char('/') + name);
        EXPECT_EQ(d.read(landed + QStringLiteral("/f.txt")), QByteArray("f"));
        EXPECT_EQ(host.messages, QStringList{kDone});
    }
}

TEST_F(FolderRun, OnlyExistingTargetsLeavesOutFoldersWithoutTheirSubFolder) {
    d.folder(QStringLiteral("out/Beach"));
    FolderSortJob job;
    job.Criterion = FolderSortCriterion(1);
    job.OnlyExistingTargets = true;
    job.Folders = {makeFolder(d, QStringLiteral("src/Trip")), makeFolder(d, QStringLiteral("src/Beach"))};
    runFolderSort(job, host, fs);
    EXPECT_FALSE(d.existsFolder(QStringLiteral("out/Trip")));
    EXPECT_EQ(d.read(QStringLiteral("out/Beach/Beach/f.txt")), QByteArray("f"));
    // A left-out folder takes no progress step.
    EXPECT_EQ(host.progress, (std::vector<int>{50, 100, 0}));
}

TEST_F(FolderRun, FileCountSortsOnlyFoldersHoldingExactlyThatManyFiles) {
    for (const char* f : {"three/a", "three/b", "three/c", "three/sub/x", "three/sub/y", "hidden/a",
                          "hidden/.b", "hidden/.c", "two/a", "two/b"})
        d.file(QStringLiteral("src/") + QString::fromUtf8(f), "f");
    d.folder(QStringLiteral("src/empty"));
    d.folder(QStringLiteral("src/onlyfolders/x"));
    d.file(QStringLiteral("out/three/own.txt"), "mine");

    const QStringList all = {
        d.path(QStringLiteral("src/three")),       d.path(QStringLiteral("src/hidden/")),
        d.path(QStringLiteral("src/two")),         d.path(QStringLiteral("src/empty")),
        d.path(QStringLiteral("src/onlyfolders")), d.path(QStringLiteral("src/missing"))};
    FolderSortJob job;
    job.Criterion = FolderSortCriterion(2);
    job.Folders = all;
    job.fields.EdtFileCount = QStringLiteral("3");
    runFolderSort(job, host, fs);
    EXPECT_EQ(d.entries(QStringLiteral("out")),
              (QStringList{QStringLiteral("hidden"), QStringLiteral("three")}));
    EXPECT_EQ(d.entries(QStringLiteral("out/three")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("own.txt"), QStringLiteral("sub")}));
    EXPECT_EQ(d.entries(QStringLiteral("out/hidden")).size(), 3);

    ScriptedHost zeroHost;
    zeroHost.outputText = d.path(QStringLiteral("zero"));
    job.fields.EdtFileCount = QStringLiteral("0");
    runFolderSort(job, zeroHost, fs);
    // The missing folder cannot be counted and is passed over, with its progress step.
    EXPECT_EQ(d.entries(QStringLiteral("zero")),
              (QStringList{QStringLiteral("empty"), QStringLiteral("onlyfolders")}));
    EXPECT_TRUE(d.existsFolder(QStringLiteral("zero/onlyfolders/x")));
    EXPECT_EQ(zeroHost.progress, (std::vector<int>{0, 16, 33, 50, 66, 83, 100, 0}));
}

TEST_F(FolderRun, TheAskQuestionShowsTheTargetAsJoined) {
    host.outputText = d.path(QStringLiteral("out/"));
    host.policy = ClashPolicy::Ask;
    host.answers = {true};
    d.file(QStringLiteral("out/Trip/f.txt"), "old");
    FolderSortJob job;
    job.Criterion = FolderSortCriterion(2);
    job.fields.EdtFileCount = QStringLiteral("1");
    job.Folders = {makeFolder(d, QStringLiteral("src/Trip"), "new")};
    runFolderSort(job, host, fs);
    EXPECT_EQ(host.questions, QStringList{d.path(QStringLiteral("out//Trip/f.txt"))});
    EXPECT_EQ(d.read(QStringLiteral("out/Trip/f.txt")), QByteArray("new"));
}

TEST_F(FolderRun, ThePolicyIsReadAnewForEveryFolderCopied) {
    host.policy = ClashPolicy::Skip;
    host.onPolicyRead = [this](int reads) {
        if (reads == 1)
            host.policy = ClashPolicy::Overwrite;
    };
    d.file(QStringLiteral("out/Trip/Trip1/f.txt"), "old");
    d.file(QStringLiteral("out/Trip/Trip2/f.txt"), "old");
    FolderSortJob job;
    job.fields.EdtKeys = QStringLiteral("Trip");
    job.Folders = {makeFolder(d, QStringLiteral("src/Trip1"), "new"),
                   makeFolder(d, QStringLiteral("src/Trip2"), "new")};
    runFolderSort(job, host, fs);
    EXPECT_EQ(d.read(QStringLiteral("out/Trip/Trip1/f.txt")), QByteArray("old"));
    EXPECT_EQ(d.read(QStringLiteral("out/Trip/Trip2/f.txt")), QByteArray("new"));
}

TEST_F(FolderRun, ProgressStepsLockAndCompletionComeInOrder) {
    FolderSortJob job;
    for (int i = 0; i < 4; ++i)
        job.Folders.append(makeFolder(d, QStringLiteral("src/F") + QString::number(i)));
    job.fields.EdtKeys = QStringLiteral("nomatch");
    runFolderSort(job, host, fs);
    EXPECT_EQ(host.events, (QStringList{QStringLiteral("lock"), QStringLiteral("progress 0"),
                                        QStringLiteral("progress 25"), QStringLiteral("progress 50"),
                                        QStringLiteral("progress 75"), QStringLiteral("progress 100"),
                                        QStringLiteral("unlock"), QStringLiteral("message ") + kDone,
                                        QStringLiteral("progress 0")}));
}

TEST_F(FolderRun, TheHiddenDatePageMakesOneDateFolderAndSortsNothing) {
    FolderSortJob job;
    job.Criterion = FolderSortCriterion(3);
    job.fields.DtDate = QDate(2013, 5, 6);
    job.Folders = {makeFolder(d, QStringLiteral("src/A")), makeFolder(d, QStringLiteral("src/B"))};
    job.fields.EdtKeys = QString(); // no check applies to this page
    runFolderSort(job, host, fs);

    // The short date as it stands: a date written with "/" makes nested folders.
    const QString expected = shortDateText(job.fields.DtDate);
    EXPECT_EQ(dateFolderName(job.fields.DtDate, false), expected);
    EXPECT_EQ(d.entries(QStringLiteral("out")), QStringList{expected.section(QLatin1Char('/'), 0, 0)});
    EXPECT_TRUE(d.existsFolder(QStringLiteral("out/") + expected));
    EXPECT_TRUE(d.entries(QStringLiteral("out/") + expected).isEmpty());
    EXPECT_EQ(host.progress, (std::vector<int>{0, 50, 100, 0}));
    EXPECT_EQ(host.messages, QStringList{kDone});
}

TEST_F(FolderRun, OutputFolderInsideTheListedFolderEnds) {
    d.file(QStringLiteral("Trip/a.txt"), "a");
    d.file(QStringLiteral("Trip/sub/b.txt"), "b");
    host.outputText = d.path(QStringLiteral("Trip/out"));
    FolderSortJob job;
    job.Criterion = FolderSortCriterion(2);
    job.fields.EdtFileCount = QStringLiteral("1");
    job.Folders = {d.path(QStringLiteral("Trip"))};
    runFolderSort(job, host, fs);
    EXPECT_EQ(d.read(QStringLiteral("Trip/out/Trip/a.txt")), QByteArray("a"));
    EXPECT_EQ(d.read(QStringLiteral("Trip/out/Trip/sub/b.txt")), QByteArray("b"));
    EXPECT_FALSE(d.existsFolder(QStringLiteral("Trip/out/Trip/out/Trip")));
    EXPECT_EQ(host.messages, QStringList{kDone});
}

TEST_F(FolderRun, NothingLandsOutsideTheOutputFolder) {
    host.outputText = d.path(QStringLiteral("work/out"));
    FolderSortJob job;
    job.Folders = {makeFolder(d, QStringLiteral("src/a..b")), d.path(QStringLiteral("src/a..b/.."))};
    job.fields.EdtKeys = QStringLiteral(".. a");
    runFolderSort(job, host, fs);
    EXPECT_EQ(d.entries(QStringLiteral("work")), QStringList{QStringLiteral("out")});
    EXPECT_EQ(d.entries(QStringLiteral("work/out")), QStringList{QStringLiteral("a")});
    EXPECT_EQ(d.entries(QStringLiteral("work/out/a")), QStringList{QStringLiteral("a..b")});

    ScriptedHost nameHost;
    nameHost.outputText = d.path(QStringLiteral("work/byname"));
    job.Criterion = FolderSortCriterion(1);
    job.FilterText = QStringLiteral("a*b");
    runFolderSort(job, nameHost, fs);
    EXPECT_EQ(d.entries(QStringLiteral("work")), QStringList{QStringLiteral("out")});
    EXPECT_EQ(nameHost.progress, (std::vector<int>{0, 50, 100, 0}));
}

TEST_F(FolderRun, AStopEndsTheRunBetweenTheFilesOfATree) {
    FolderSortJob job;
    job.Criterion = FolderSortCriterion::ByName;
    for (const char* name : {"A", "B"}) {
        for (int i = 0; i < 3; ++i)
            d.file(QStringLiteral("src/%1/f%2.txt").arg(QLatin1String(name)).arg(i), "x");
        job.Folders.append(d.path(QStringLiteral("src/") + QLatin1String(name)));
    }
    // The policy is read once per folder copied: the stop comes right after folder A.
    host.onPolicyRead = [this](int reads) {
        if (reads == 1)
            host.stop = [] { return true; };
    };
    EXPECT_EQ(runFolderSort(job, host, fs), RunEnd::Stopped);
    EXPECT_EQ(d.entries(QStringLiteral("out/A/A")).size(), 3);
    EXPECT_FALSE(d.existsFolder(QStringLiteral("out/B/B")));
    EXPECT_EQ(host.messages, QStringList{QStringLiteral("分拣已停止！")});
    // B, cut short before its first file, is not counted.
    EXPECT_EQ(host.closingLine, QStringLiteral("已分拣 1 个，共 2 个。"));
    EXPECT_EQ(host.lockCalls, (std::vector<bool>{true, false}));
}

TEST_F(FolderRun, FilesThatCannotBeCopiedAreCountedAndListed) {
    d.file(QStringLiteral("src/Trip/a.txt"), "a");
    d.file(QStringLiteral("src/Trip/sub/b.txt"), "b");
    d.file(QStringLiteral("src/Trip/sub/c.txt"), "c");
    // A file where the copy's sub-folder would go: neither file of sub can land.
    d.file(QStringLiteral("out/Trip/Trip/sub"), "in the way");
    FolderSortJob job;
    job.Criterion = FolderSortCriterion::ByName;
    // A listed folder that is gone counts like a file that cannot be copied.
    job.Folders = {d.path(QStringLiteral("src/Trip")), d.path(QStringLiteral("src/Gone"))};
    EXPECT_EQ(runFolderSort(job, host, fs), RunEnd::Completed);
    EXPECT_EQ(d.read(QStringLiteral("out/Trip/Trip/a.txt")), QByteArray("a"));
    EXPECT_EQ(host.messages, QStringList{kDone});
    EXPECT_EQ(host.closingLine, QStringLiteral("有 3 个项目未能分拣。"));
    EXPECT_TRUE(host.closingDetails.contains(d.path(QStringLiteral("src/Gone")) + QStringLiteral(" → ")));
    EXPECT_TRUE(host.closingDetails.endsWith(systemReason(ENOENT))) << host.closingDetails.toStdString();
    EXPECT_TRUE(host.closingDetails.contains(d.path(QStringLiteral("src/Trip/sub/b.txt"))));
    EXPECT_TRUE(host.closingDetails.contains(d.path(QStringLiteral("out/Trip/Trip/sub/c.txt"))));
}
