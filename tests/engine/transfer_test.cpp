#include "engine/transfer.h"

#include "engine/planner.h"
#include "engine/runactions.h"
#include "engine/runframe.h"

#include "platform/names.h"
#include "platform/paths.h"
#include "support/printers.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velquin;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;

namespace {

const QDateTime kOld = QDateTime(QDate(2020, 1, 1), QTime(9, 0), Qt::UTC);
const QDateTime kNew = QDateTime(QDate(2020, 1, 1), QTime(10, 0), Qt::UTC);

const char* policyName(ClashPolicy p) {
    switch (p) {
    case ClashPolicy::Skip:
        return "Skip";
    case ClashPolicy::Overwrite:
        return "Overwrite";
    case ClashPolicy::Ask:
        return "Ask";
    case ClashPolicy::AutoNumber:
        return "AutoNumber";
    case ClashPolicy::ReplaceOlder:
        return "ReplaceOlder";
    }
    return "?";
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        out = dir.folder(QStringLiteral("out"));
    }
    void transfer(const QString& source, TransferMode mode, ClashPolicy policy,
                  const QString& name = QString()) {
        TransferFile(fs, host, source, out, name.isEmpty() ? source.section(QLatin1Char('/'), -1) : name,
                     mode, policy);
    }
    QByteArray content(const QString& relative) const { return dir.read(relative).value_or("<missing>"); }

    TestDir dir;
    FileOps fs;
    ScriptedHost host;
    QString out;
};

} // namespace

// Every policy in both modes with a clashing target (the source newer than the target).
TEST_F(Transfer, PolicyTableWithExistingTarget) {
    struct Case {
        ClashPolicy policy;
        TransferMode mode;
        const char* target;   // content of out/a.txt afterwards
        const char* numbered; // content of out/a_1.txt afterwards
        bool sourceStays;
        bool asks;
    };
    const Case cases[] = {
        {ClashPolicy::Skip, TransferMode::Copy, "old", "<missing>", true, false},
        {ClashPolicy::Skip, TransferMode::Move, "old", "<missing>", true, false},
        {ClashPolicy::Overwrite, TransferMode::Copy, "new", "<missing>", true, false},
        {ClashPolicy::Overwrite, TransferMode::Move, "new", "<missing>", false, false},
        {ClashPolicy::Ask, TransferMode::Copy, "new", "<missing>", true, true},
        {ClashPolicy::Ask, TransferMode::Move, "new", "<missing>", false, true},
        {ClashPolicy::AutoNumber, TransferMode::Copy, "old", "new", true, false},
        {ClashPolicy::AutoNumber, TransferMode::Move, "old", "new", false, false},
        {ClashPolicy::ReplaceOlder, TransferMode::Copy, "new", "<missing>", true, false},
        {ClashPolicy::ReplaceOlder, TransferMode::Move, "new", "<missing>", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << policyName(c.policy) << (c.mode == TransferMode::Move ? " Move" : " Copy"));
        TestDir d;
        const QString source = d.file(QStringLiteral("src/a.txt"), "new", kNew);
        const QString target = d.file(QStringLiteral("out/a.txt"), "old", kOld);
        ScriptedHost h;
        h.answers = {true};
        TransferFile(fs, h, source, d.path(QStringLiteral("out")), QStringLiteral("a.txt"), c.mode, c.policy);
        EXPECT_EQ(d.read(QStringLiteral("out/a.txt")).value_or("<missing>"), QByteArray(c.target));
        EXPECT_EQ(d.read(QStringLiteral("out/a_1.txt")).value_or("<missing>"), QByteArray(c.numbered));
        EXPECT_EQ(d.existsFile(QStringLiteral("src/a.txt")), c.sourceStays);
        EXPECT_EQ(h.questions, c.asks ? QStringList{target} : QStringList{});
        if (QByteArray(c.target) == "new") {
            EXPECT_EQ(TestDir::modified(target), kNew) << "a copy keeps the source's time";
        }
    }
}

TEST_F(Transfer, EveryPolicyCreatesAMissingTargetWithoutAsking) {
    for (ClashPolicy policy : {ClashPolicy::Skip, ClashPolicy::Overwrite, ClashPolicy::Ask,
                               ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
            SCOPED_TRACE(testing::Message()
                         << policyName(policy) << (mode == TransferMode::Move ? " Move" : " Copy"));
            TestDir d;
            const QString source = d.file(QStringLiteral("src/a.txt"), "data", kOld);
            ScriptedHost h;
            TransferFile(fs, h, source, d.folder(QStringLiteral("out")), QStringLiteral("a.txt"), mode,
                         policy);
            EXPECT_EQ(d.read(QStringLiteral("out/a.txt")).value_or("<missing>"), QByteArray("data"));
            EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{QStringLiteral("a.txt")});
            EXPECT_EQ(d.existsFile(QStringLiteral("src/a.txt")), mode == TransferMode::Copy);
            EXPECT_TRUE(h.questions.isEmpty());
        }
    }
}

TEST_F(Transfer, AskNoKeepsBothAndShowsTheFullTarget) {
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        const QString source = dir.file(QStringLiteral("src/a.jpg"), "new", kNew);
        const QString target = dir.file(QStringLiteral("out/cat/a.jpg"), "old", kOld);
        host.questions.clear();
        host.answers = {false};
        TransferFile(fs, host, source, dir.path(QStringLiteral("out/cat")), QStringLiteral("a.jpg"), mode,
                     ClashPolicy::Ask);
        EXPECT_EQ(content(QStringLiteral("out/cat/a.jpg")), "old");
        EXPECT_EQ(content(QStringLiteral("src/a.jpg")), "new");
        ASSERT_EQ(host.questions.size(), 1);
        EXPECT_EQ(host.questions.front(), target);
    }
}

// The question is put for a source that is gone; whatever the answer, a source that is simply
// not there is a failure, one that an earlier transfer of the run moved away is not.
TEST_F(Transfer, AskAboutAMissingSourceFailsUnlessTheRunMovedItAway) {
    dir.file(QStringLiteral("out/a.txt"), "old");
    for (const bool yes : {true, false}) {
        host.answers = {yes};
        const TransferResult r = TransferFile(fs, host, dir.path(QStringLiteral("src/a.txt")), out,
                                              QStringLiteral("a.txt"), TransferMode::Copy, ClashPolicy::Ask);
        EXPECT_TRUE(countsAsFailure(r)) << yes;
        EXPECT_EQ(r.fs.error, ENOENT);
    }
    EXPECT_EQ(host.questions.size(), 2);
    const QString moved = dir.file(QStringLiteral("src/a.txt"), "new");
    DiskActions run(fs, host);
    host.answers = {true};
    run.transfer(moved, dir.folder(QStringLiteral("out/first")), QStringLiteral("a.txt"), TransferMode::Move,
                 ClashPolicy::Ask);
    EXPECT_EQ(run.transfer(moved, out, QStringLiteral("a.txt"), TransferMode::Move, ClashPolicy::Ask),
              TransferOutcome::Unchanged);
    EXPECT_EQ(host.questions.size(), 3);
    EXPECT_TRUE(run.failures().isEmpty());
    EXPECT_EQ(content(QStringLiteral("out/a.txt")), "old");
}

TEST_F(Transfer, TargetWithEmptySubFolderNameKeepsTheDoubledSeparator) {
    EXPECT_EQ(transferTarget(QStringLiteral("/out/"), QStringLiteral("a.jpg")),
              QStringLiteral("/out//a.jpg"));
    dir.file(QStringLiteral("out/a.jpg"), "old");
    const QString source = dir.file(QStringLiteral("src/a.jpg"), "new");
    host.answers = {true};
    TransferFile(fs, host, source, out + QLatin1Char('/'), QStringLiteral("a.jpg"), TransferMode::Copy,
                 ClashPolicy::Ask);
    EXPECT_EQ(host.questions, QStringList{out + QStringLiteral("//a.jpg")});
    EXPECT_EQ(content(QStringLiteral("out/a.jpg")), "new");
}

TEST_F(Transfer, AutoNumberTakesTheFirstFreeNameFromTheFilesOwnName) {
    struct Case {
        const char* name;
        std::vector<const char*> present;
        const char* expected;
    };
    const Case cases[] = {
        {"a.jpg", {"a.jpg", "a_1.jpg"}, "a_2.jpg"},
        {"a.jpg", {"a.jpg", "a_2.jpg"}, "a_1.jpg"},
        {"a.jpg", {"a_1.jpg"}, "a.jpg"},
        {"notes", {"notes"}, "notes_1"},
        {".profile", {".profile"}, "_1.profile"},
        {"archive.tar.gz", {"archive.tar.gz"}, "archive.tar_1.gz"},
        {"a_1.jpg", {"a_1.jpg"}, "a_1_1.jpg"},
        {"照片.JPG", {"照片.JPG", "照片_1.JPG"}, "照片_2.JPG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir d;
        for (const char* p : c.present)
            d.file(QStringLiteral("out/") + QString::fromUtf8(p), "old");
        const QString name = QString::fromUtf8(c.name);
        const QString source = d.file(QStringLiteral("src/") + name, "new");
        EXPECT_EQ(freeName(DiskAsItIs(fs), NameHints(), d.path(QStringLiteral("out")), name),
                  QString::fromUtf8(c.expected));
        TransferFile(fs, host, source, d.path(QStringLiteral("out")), name, TransferMode::Copy,
                     ClashPolicy::AutoNumber);
        EXPECT_EQ(d.read(QStringLiteral("out/") + QString::fromUtf8(c.expected)).value_or(""),
                  QByteArray("new"));
        for (const char* p : c.present)
            EXPECT_EQ(d.read(QStringLiteral("out/") + QString::fromUtf8(p)).value_or(""), QByteArray("old"));
    }
}

// A run that itself moves a numbered file away frees its number; the next file takes it, in
// the run and in the preview alike, and the one after goes on above the highest number.
TEST_F(Transfer, AutoNumberTakesANumberTheRunFreedBelowItsLastOne) {
    for (const bool planned : {false, true}) {
        SCOPED_TRACE(planned ? "preview" : "run");
        TestDir d;
        d.file(QStringLiteral("out/cat/a.jpg"), "old");
        const QString numbered = d.file(QStringLiteral("out/cat/a_1.jpg"), "old 1");
        const QString cat = d.path(QStringLiteral("out/cat"));
        DiskActions run(fs, host);
        PlanActions preview(fs);
        RunActions& actions = planned ? static_cast<RunActions&>(preview) : run;
        const auto send = [&](const QString& source, const QString& folder, const QString& name) {
            actions.transfer(source, folder, name, TransferMode::Move, ClashPolicy::AutoNumber);
        };
        send(d.file(QStringLiteral("src/1/a.jpg"), "1"), cat, QStringLiteral("a.jpg"));
        send(numbered, d.folder(QStringLiteral("out/dog")), QStringLiteral("a_1.jpg"));
        send(d.file(QStringLiteral("src/2/a.jpg"), "2"), cat + QLatin1Char('/'), QStringLiteral("a.jpg"));
        send(d.file(QStringLiteral("src/3/a.jpg"), "3"), cat, QStringLiteral("a.jpg"));
        QStringList targets;
        if (planned) {
            for (const PreviewRow& row : preview.take().rows)
                targets.append(fileNameOf(row.target));
        } else {
            for (const TransferResult& r : run.results())
                targets.append(fileNameOf(r.decision.target));
            EXPECT_EQ(d.read(QStringLiteral("out/cat/a_1.jpg")), QByteArray("2"));
        }
        EXPECT_EQ(targets, (QStringList{QStringLiteral("a_2.jpg"), QStringLiteral("a_1.jpg"),
                                        QStringLiteral("a_1.jpg"), QStringLiteral("a_3.jpg")}));
    }
}

TEST_F(Transfer, AutoNumberShortensALongNameAtACharacterUntilTheNumberFits) {
    // 84 three-byte characters and ".jp": 255 bytes, the longest name there is.
    const QString name = QString(84, QChar(0x6587)) + QStringLiteral(".jp");
    ASSERT_EQ(encodeLocal8(name).size(), 255);
    dir.file(QStringLiteral("out/") + name, "old");
    const QString source = dir.file(QStringLiteral("src/") + name, "new");
    TransferFile(fs, host, source, out, name, TransferMode::Copy, ClashPolicy::AutoNumber);
    const QString numbered = QString(83, QChar(0x6587)) + QStringLiteral("_1.jp");
    EXPECT_EQ(content(QStringLiteral("out/") + numbered), "new");
    EXPECT_EQ(numberedName(name, 1), numbered);
}

TEST_F(Transfer, AutoNumberOntoAFolderOfThatNameFailsWithoutLosingAnything) {
    dir.folder(QStringLiteral("out/a.jpg"));
    const QString source = dir.file(QStringLiteral("src/a.jpg"), "new");
    EXPECT_EQ(freeName(DiskAsItIs(fs), NameHints(), out, QStringLiteral("a.jpg")), QStringLiteral("a.jpg"));
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        TransferFile(fs, host, source, out, QStringLiteral("a.jpg"), mode, ClashPolicy::AutoNumber);
        TransferFile(fs, host, source, out, QStringLiteral("a.jpg"), mode, ClashPolicy::Ask);
        TransferFile(fs, host, source, out, QStringLiteral("a.jpg"), mode, ClashPolicy::Overwrite);
        TransferFile(fs, host, source, out, QStringLiteral("a.jpg"), mode, ClashPolicy::ReplaceOlder);
    }
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("out")), QStringList{QStringLiteral("a.jpg")});
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("out/a.jpg")));
    EXPECT_TRUE(dir.sortedEntries(QStringLiteral("out/a.jpg")).isEmpty());
    EXPECT_EQ(content(QStringLiteral("src/a.jpg")), "new");
}

TEST_F(Transfer, ReplaceOlderComparesTimesExactly) {
    struct Case {
        QDateTime source;
        QDateTime target; // invalid: no target
        bool copies;
        bool moves;
    };
    const Case cases[] = {
        {kNew, kOld, true, true},
        {kOld, kOld, true, false}, // equal: the copy replaces, the move does not
        {kOld, kNew, false, false},
        {kOld, QDateTime(), true, true},
        {kOld, kOld.addMSecs(1), false, false},
        // A missing target is older than any real time, the epoch and before included.
        {QDateTime::fromSecsSinceEpoch(0), QDateTime(), true, true},
        {QDateTime::fromSecsSinceEpoch(-86400), QDateTime(), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.isValid() ? c.target.toString(Qt::ISODateWithMs).toStdString()
                                        : std::string("none"));
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
            TestDir d;
            const QString source = d.file(QStringLiteral("src/a.txt"), "new", c.source);
            const QString into = d.folder(QStringLiteral("out"));
            if (c.target.isValid())
                d.file(QStringLiteral("out/a.txt"), "old", c.target);
            const bool done =
                TransferFile(fs, host, source, into, QStringLiteral("a.txt"), mode, ClashPolicy::ReplaceOlder)
                    .outcome == TransferOutcome::Done;
            const bool expected = mode == TransferMode::Copy ? c.copies : c.moves;
            EXPECT_EQ(done, expected);
            EXPECT_EQ(d.read(QStringLiteral("out/a.txt")).value_or("<missing>"),
                      QByteArray(expected ? "new" : "old"));
            EXPECT_EQ(d.existsFile(QStringLiteral("src/a.txt")), mode == TransferMode::Copy || !expected);
        }
    }
}

// A source that is the target itself, however reached, stays whole under every policy.
TEST_F(Transfer, SourceOntoItselfStaysWhole) {
    const QString source = dir.file(QStringLiteral("out/a.txt"), "keep", kOld);
    for (ClashPolicy policy :
         {ClashPolicy::Skip, ClashPolicy::Overwrite, ClashPolicy::Ask, ClashPolicy::ReplaceOlder}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
            SCOPED_TRACE(testing::Message()
                         << policyName(policy) << (mode == TransferMode::Move ? " Move" : " Copy"));
            host.answers = {true};
            TransferFile(fs, host, source, out, QStringLiteral("a.txt"), mode, policy);
            TransferFile(fs, host, source, out + QLatin1Char('/'), QStringLiteral("a.txt"), mode, policy);
            EXPECT_EQ(content(QStringLiteral("out/a.txt")), "keep");
            EXPECT_EQ(dir.sortedEntries(QStringLiteral("out")), QStringList{QStringLiteral("a.txt")});
        }
    }
    // Through a symbolic link to the same file.
    ASSERT_EQ(::symlink("a.txt", encodeLocal8(dir.path(QStringLiteral("out/link.txt"))).constData()), 0);
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        TransferFile(fs, host, dir.path(QStringLiteral("out/link.txt")), out, QStringLiteral("a.txt"), mode,
                     ClashPolicy::Overwrite);
        EXPECT_EQ(content(QStringLiteral("out/a.txt")), "keep");
    }
}

TEST_F(Transfer, BadSourcesAndTargetsLoseNothing) {
    // A missing source: nothing appears, an existing target stays.
    dir.file(QStringLiteral("out/a.txt"), "old", kOld);
    for (ClashPolicy policy :
         {ClashPolicy::Skip, ClashPolicy::Overwrite, ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move})
            TransferFile(fs, host, dir.path(QStringLiteral("src/a.txt")), out, QStringLiteral("a.txt"), mode,
                         policy);
    }
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("out")), QStringList{QStringLiteral("a.txt")});
    EXPECT_EQ(content(QStringLiteral("out/a.txt")), "old");

    // A source that is a folder is never moved or copied, whatever the policy.
    dir.file(QStringLiteral("album/inside.jpg"), "photo");
    for (ClashPolicy policy : {ClashPolicy::Skip, ClashPolicy::Overwrite, ClashPolicy::Ask,
                               ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move})
            TransferFile(fs, host, dir.path(QStringLiteral("album")), out, QStringLiteral("album"), mode,
                         policy);
    }
    EXPECT_EQ(content(QStringLiteral("album/inside.jpg")), "photo");
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out/album")));

    // An empty file is a file like any other.
    const QString empty = dir.file(QStringLiteral("src/empty"), "");
    TransferFile(fs, host, empty, out, QStringLiteral("empty"), TransferMode::Move, ClashPolicy::Skip);
    EXPECT_EQ(dir.read(QStringLiteral("out/empty")), QByteArray(""));

    // A broken link at the target's name is neither followed nor replaced by a no-replace transfer.
    const QByteArray linkPath = encodeLocal8(dir.path(QStringLiteral("out/b.txt")));
    ASSERT_EQ(::symlink("nowhere", linkPath.constData()), 0);
    const QString b = dir.file(QStringLiteral("src/b.txt"), "b");
    for (ClashPolicy policy : {ClashPolicy::Skip, ClashPolicy::Ask}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move})
            TransferFile(fs, host, b, out, QStringLiteral("b.txt"), mode, policy);
    }
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(content(QStringLiteral("src/b.txt")), "b");
    // Auto-numbering takes the name as taken and goes on to the next number.
    EXPECT_EQ(
        TransferFile(fs, host, b, out, QStringLiteral("b.txt"), TransferMode::Move, ClashPolicy::AutoNumber)
            .outcome,
        TransferOutcome::Done);
    EXPECT_EQ(content(QStringLiteral("out/b_1.txt")), "b");
    EXPECT_FALSE(dir.existsFile(QStringLiteral("nowhere")));
    EXPECT_FALSE(dir.existsFile(QStringLiteral("out/nowhere")));
}

TEST(SubFolderName, DotDotNeverLeadsOut) {
    const std::pair<const char*, bool> cases[] = {
        {"", true},           {"cat", true},   {"a/b", true},  {"/etc", true},      {".", true},
        {"...", true},        {"..a", true},   {"a..", true},  {"..", false},       {"../x", false},
        {"a/../../x", false}, {"a/..", false}, {"/..", false}, {"a//..//b", false},
    };
    for (const auto& [name, inside] : cases)
        EXPECT_EQ(subFolderStaysInside(QString::fromUtf8(name)), inside) << name;
}

namespace {

// Another program takes the target's name (a file, or a folder) between the free-name search
// and the moment the file is put in place.
class RacingCalls : public SysCalls {
public:
    bool asFolder = false;
    int armed = 1;

    int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) override {
        intrude(newdirfd, newpath);
        return SysCalls::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
    }
    int renameNoReplace(const char* from, const char* to) override {
        intrude(AT_FDCWD, to);
        return SysCalls::renameNoReplace(from, to);
    }

private:
    void intrude(int dirfd, const char* path) {
        if (armed == 0)
            return;
        --armed;
        if (asFolder) {
            ::mkdirat(dirfd, path, 0755);
            return;
        }
        const int fd = ::openat(dirfd, path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            (void)!::write(fd, "intruder", 8);
            ::close(fd);
        }
    }
};

} // namespace

TEST_F(Transfer, AutoNumberGoesOnWhenTheFreeNameIsTakenMeanwhile) {
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        SCOPED_TRACE(mode == TransferMode::Move ? "Move" : "Copy");
        TestDir d;
        auto calls = std::make_shared<RacingCalls>();
        calls->armed = 2; // the first two names tried are taken just in time
        const FileOps racing(calls);
        d.file(QStringLiteral("out/a.jpg"), "old");
        const QString source = d.file(QStringLiteral("src/a.jpg"), "mine");
        TransferFile(racing, host, source, d.path(QStringLiteral("out")), QStringLiteral("a.jpg"), mode,
                     ClashPolicy::AutoNumber);
        EXPECT_EQ(d.read(QStringLiteral("out/a.jpg")), QByteArray("old"));
        EXPECT_EQ(d.read(QStringLiteral("out/a_1.jpg")), QByteArray("intruder"));
        EXPECT_EQ(d.read(QStringLiteral("out/a_2.jpg")), QByteArray("intruder"));
        EXPECT_EQ(d.read(QStringLiteral("out/a_3.jpg")), QByteArray("mine"));
        EXPECT_EQ(d.existsFile(QStringLiteral("src/a.jpg")), mode == TransferMode::Copy);
    }
}

TEST_F(Transfer, AutoNumberStopsWhenAFolderTakesTheNameMeanwhile) {
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        TestDir d;
        auto calls = std::make_shared<RacingCalls>();
        calls->asFolder = true;
        const FileOps racing(calls);
        const QString source = d.file(QStringLiteral("src/a.jpg"), "mine");
        d.folder(QStringLiteral("out"));
        TransferFile(racing, host, source, d.path(QStringLiteral("out")), QStringLiteral("a.jpg"), mode,
                     ClashPolicy::AutoNumber);
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{QStringLiteral("a.jpg")});
        EXPECT_TRUE(d.existsFolder(QStringLiteral("out/a.jpg")));
        EXPECT_EQ(d.read(QStringLiteral("src/a.jpg")), QByteArray("mine"));
    }
}

// One big file among small ones, on a clock that makes every item a long one: the bar only ever
// moves forward through the run, the big file's bytes take it from the value after the item
// before it towards the value after it, and the line under it names the files and ends empty.
TEST_F(Transfer, TheBarNeverStepsBackAcrossABigFile) {
    QStringList sources;
    for (int i = 0; i < 5; ++i)
        sources.append(
            dir.file(QStringLiteral("src/%1.bin").arg(i), i == 2 ? QByteArray(24 << 20, 'x') : "s"));
    qint64 now = 0;
    DiskActions actions(fs, host, [&] { return now += 100; });
    RunFrame(host).run(sources.size(), actions, [&](qsizetype i) {
        actions.transfer(sources[i], out, fileNameOf(sources[i]), TransferMode::Copy, ClashPolicy::Skip);
        return RunFrame::Step::Progress;
    });
    ASSERT_TRUE(host.endedNormally());
    const std::vector<int> run(host.bar.begin(), host.bar.end() - 1); // the last 0 is after the box
    EXPECT_TRUE(std::is_sorted(run.begin(), run.end())) << ::testing::PrintToString(host.bar);
    // Inside the big file (item 2) the bar goes from 20 towards 40, not into the next item's span.
    EXPECT_NE(std::find_if(run.begin(), run.end(), [](int v) { return v > 20 && v < 40; }), run.end());
    EXPECT_EQ(host.progress, (std::vector<int>{0, 20, 40, 60, 80, 100, 0}));
    ASSERT_FALSE(host.lines.isEmpty());
    EXPECT_TRUE(host.lines.filter(QStringLiteral("正在复制 2.bin")).size() >= 1)
        << host.lines.join(u'\n').toStdString();
    EXPECT_EQ(host.lines.back(), QString());
}
