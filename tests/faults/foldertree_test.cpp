// Folder runs over awkward trees: the output folder inside a listed folder, links that lead
// back up the tree, folders that turn unreadable while the run goes on, single files that
// cannot be read or written. The run ends, copies each file at most once, and loses nothing.

#include "ledger.h"
#include "sandbox.h"
#include "support/scriptedhost.h"

#include "engine/foldertree.h"
#include "engine/undo.h"
#include "platform/names.h"
#include "platform/trash.h"
#include "support/faultcalls.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::test {
namespace {

constexpr int kDeadlineMs = 30000;

// Runs the folder run in a child so that a copy that never ends fails the test instead of
// hanging it; the child's exit code says whether the run closed normally.
void runFoldersInChild(const FolderSortJob& job, const QString& output,
                       const std::function<bool()>& before = {}, std::shared_ptr<SysCalls> calls = nullptr,
                       ClashPolicy policy = ClashPolicy::Skip,
                       std::function<void(ScriptedHost&)> setUp = {}) {
    ChildProcess child([&] {
        if (before && !before())
            return kNoNobody;
        ScriptedHost host;
        host.outputText = output;
        host.policy = policy;
        if (setUp)
            setUp(host);
        runFolderSort(job, host, FileOps(calls));
        return host.endedNormally() ? 0 : 3;
    });
    const bool ended = waitUntil([&] { return !child.running(); }, kDeadlineMs);
    if (!ended)
        child.kill(SIGKILL);
    ASSERT_TRUE(ended) << "the folder run did not end";
    const int code = child.wait();
    VELQUIN_SKIP_IF_NO_NOBODY(code);
    ASSERT_EQ(code, 0) << "the folder run did not close normally";
}

void symlinkTo(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(encodeLocal8(target).constData(), encodeLocal8(link).constData()), 0);
}

// A small tree below `root`: three files at three depths.
void fillTree(Ledger& ledger, const QString& root, int id) {
    ledger.add(root + QStringLiteral("/a.txt"), identifiedContent(id, 700));
    ledger.add(root + QStringLiteral("/sub/b.txt"), identifiedContent(id + 1, 800));
    ledger.add(root + QStringLiteral("/sub/deep/c.txt"), identifiedContent(id + 2, 900));
}

// Every file of the source tree exists with its content at the same place below `copy`.
void expectCopied(const QString& source, const QString& copy) {
    for (const QString& file : filesUnder(source)) {
        const QString copyPath = copy + file.mid(source.size());
        QFile original(file);
        QFile copied(copyPath);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copied.open(QIODevice::ReadOnly)) << "missing " << copyPath.toStdString();
        EXPECT_EQ(copied.readAll(), original.readAll()) << copyPath.toStdString();
    }
}

TEST(FolderRunFaults, ACopyNeverCopiesItsOwnCopy) {
    // Listed folder and output folder inside one another, or one and the same.
    struct Overlap {
        const char* listed;
        const char* output;
        FolderSortCriterion criterion;
        const char* copy; // where the listed folder's copy lands
        const char* left; // the output folder inside the listed one: not copied, "" for none
    };
    const Overlap overlaps[] = {
        {"L", "L/out", FolderSortCriterion::ByName, "L/out/L/L", ""},
        {"L", "L/out", FolderSortCriterion::ByFileCount, "L/out/L", ""},
        {"L", "L", FolderSortCriterion::ByName, "L/L/L", ""},
        {"L", "L", FolderSortCriterion::ByFileCount, "L/L", ""},
        {"O/L", "O", FolderSortCriterion::ByName, "O/L/L", ""},
        {"L", "L/sub/deep", FolderSortCriterion::ByName, "L/sub/deep/L/L", "/sub/deep"},
    };
    for (const Overlap& o : overlaps) {
        SCOPED_TRACE(testing::Message() << o.listed << " into " << o.output << " by " << int(o.criterion));
        TestDir dir;
        Ledger ledger;
        const QString listed = dir.path(QLatin1String(o.listed));
        fillTree(ledger, listed, 10);
        const QMap<QString, QByteArray> original = treeState(listed);
        FolderSortJob job = folderByNameJob({listed});
        job.Criterion = o.criterion;
        job.fields.EdtFileCount = QStringLiteral("1");
        runFoldersInChild(job, dir.path(QLatin1String(o.output)));
        if (HasFatalFailure() || IsSkipped())
            return;

        // Each original file once more at its place in the copy, and nothing else anywhere; the
        // output folder is never copied (it would take in the copies), the folders around it are.
        const QString copy = dir.path(QLatin1String(o.copy));
        int copies = 0;
        for (auto it = original.cbegin(); it != original.cend(); ++it) {
            const QString relative = it.key().mid(listed.size());
            if (!it.value().startsWith("file:") || (*o.left && relative.startsWith(QLatin1String(o.left))))
                continue;
            ++copies;
            QFile copied(copy + relative);
            EXPECT_TRUE(copied.open(QIODevice::ReadOnly) && "file:" + copied.readAll() == it.value())
                << copied.fileName().toStdString();
        }
        EXPECT_EQ(filesUnder(dir.path()).size(), 3 + copies)
            << filesUnder(dir.path()).join(u' ').toStdString();
        const Verdict verdict = ledger.verify({dir.path()});
        tally(QStringLiteral("5 folder run: output and listed folder overlap"), verdict);
        EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
    }
}

TEST(FolderRunFaults, AFolderCopiedIntoTheFolderAboveItNeverWritesOverItself) {
    // out/T/T holds T/ and report.txt; by file count its copy goes to out/T, the folder holding
    // it, so the copy of its own sub-folder T would land on the listed folder itself.
    TestDir dir;
    Ledger ledger;
    const QString listed = dir.path(QStringLiteral("out/T/T"));
    ledger.add(listed + QStringLiteral("/report.txt"), identifiedContent(1, 500));
    ledger.add(listed + QStringLiteral("/T/report.txt"), identifiedContent(2, 600));
    const QMap<QString, QByteArray> before = treeState(listed);
    FolderSortJob job = folderByNameJob({listed});
    job.Criterion = FolderSortCriterion::ByFileCount;
    job.fields.EdtFileCount = QStringLiteral("1");
    runFoldersInChild(job, dir.path(QStringLiteral("out")), {}, nullptr, ClashPolicy::Overwrite);
    if (HasFatalFailure() || IsSkipped())
        return;
    EXPECT_EQ(treeState(listed), before);
    EXPECT_EQ(dir.read(QStringLiteral("out/T/report.txt")), identifiedContent(1, 500));
    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("5 folder run: copied into the folder above it"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

// With two keywords the listed folder is copied twice into its own output folder: the second
// copy must not take in the first one (it lies in the source, under the output folder), and a
// second run must not take in the first run's copies.
TEST(FolderRunFaults, ASecondCopyDoesNotTakeInTheFirst) {
    TestDir dir;
    Ledger ledger;
    const QString listed = dir.path(QStringLiteral("kl"));
    fillTree(ledger, listed, 30);
    FolderSortJob job = folderByNameJob({listed});
    job.Criterion = FolderSortCriterion::ByKeyword;
    job.fields.EdtKeys = QStringLiteral("k l");
    // Twice: a second run finds the first run's copies in the source and must not take them in.
    for (int run = 0; run < 2; ++run) {
        runFoldersInChild(job, listed + QStringLiteral("/out"));
        if (HasFatalFailure() || IsSkipped())
            return;
    }

    for (const QString& keyword : {QStringLiteral("k"), QStringLiteral("l")})
        expectCopied(listed + QStringLiteral("/sub"),
                     listed + QStringLiteral("/out/") + keyword + QStringLiteral("/kl/sub"));
    EXPECT_EQ(filesUnder(listed + QStringLiteral("/out")).size(), 6)
        << filesUnder(listed + QStringLiteral("/out")).join(u' ').toStdString();
    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("5 folder run: output and listed folder overlap"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

TEST(FolderRunFaults, LinksBackUpTheTreeAreNotFollowedAround) {
    TestDir dir;
    Ledger ledger;
    const QString listed = dir.path(QStringLiteral("L"));
    fillTree(ledger, listed, 20);
    ledger.add(dir.path(QStringLiteral("elsewhere/x.txt")), identifiedContent(23, 600));
    symlinkTo(listed, listed + QStringLiteral("/sub/loop"));             // absolute, to the top
    symlinkTo(QStringLiteral(".."), listed + QStringLiteral("/sub/up")); // relative, one up
    symlinkTo(QStringLiteral("."), listed + QStringLiteral("/self"));    // itself
    symlinkTo(QStringLiteral("../.."), listed + QStringLiteral("/sub/deep/back"));
    symlinkTo(dir.path(QStringLiteral("elsewhere")), listed + QStringLiteral("/ext")); // no cycle
    const QMap<QString, QByteArray> before = treeState(listed);

    const QString output = dir.path(QStringLiteral("out"));
    runFoldersInChild(folderByNameJob({listed}), output);
    if (HasFatalFailure() || IsSkipped())
        return;

    const QString copy = output + QStringLiteral("/L/L");
    expectCopied(listed + QStringLiteral("/sub"), copy + QStringLiteral("/sub"));
    // The link to a folder outside is made again, not followed.
    EXPECT_EQ(QFile::symLinkTarget(copy + QStringLiteral("/ext")), dir.path(QStringLiteral("elsewhere")));
    EXPECT_EQ(filesUnder(output).size(), 3) << filesUnder(output).join(u' ').toStdString();
    EXPECT_EQ(treeState(listed), before);
    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("5 folder run: links back up the tree"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

// A tree copy's links are undone like its files; one changed since is not the run's and stays.
TEST(FolderRunFaults, ATreeCopyWithLinksIsUndoneAndALinkChangedSinceStays) {
    TestDir dir;
    const QString listed = dir.path(QStringLiteral("L"));
    dir.file(QStringLiteral("L/sub/a.txt"), "a");
    symlinkTo(dir.folder(QStringLiteral("elsewhere")), listed + QStringLiteral("/ext"));
    symlinkTo(QStringLiteral("sub"), listed + QStringLiteral("/near"));
    ScriptedHost host;
    host.outputText = dir.path(QStringLiteral("out"));
    host.journal = dir.path(QStringLiteral("state/folders.journal"));
    runFolderSort(folderByNameJob({listed}), host, FileOps());
    ASSERT_TRUE(host.endedNormally());
    const QString copy = dir.path(QStringLiteral("out/L/L"));
    ASSERT_EQ(::unlink(encodeLocal8(copy + QStringLiteral("/near")).constData()), 0);
    symlinkTo(QStringLiteral("../../../elsewhere"), copy + QStringLiteral("/near"));

    Trash trash(dir.path(QStringLiteral("Trash")));
    const UndoResult r = runUndo(FileOps(), trash, loadJournal(host.journal));
    ASSERT_EQ(r.failures.size(), 1u) << undoReport(r).details.toStdString();
    EXPECT_EQ(r.failures[0].target, copy + QStringLiteral("/near"));
    EXPECT_EQ(r.removed, 2); // the file and the link to elsewhere
    EXPECT_EQ(treeState(dir.path(QStringLiteral("out/L/L"))),
              (QMap<QString, QByteArray>{{copy + QStringLiteral("/near"), "link:../../../elsewhere"}}));
}

TEST(FolderRunFaults, FoldersTurningUnreadableDuringTheRunArePassedOver) {
    TestDir dir;
    Ledger ledger;
    QStringList folders;
    for (int f = 0; f < 4; ++f) {
        const QString folder = dir.path(QStringLiteral("src/%1").arg(QChar(u'A' + f)));
        folders.append(folder);
        for (int i = 0; i < 4; ++i) {
            ledger.add(folder + QStringLiteral("/f%1.txt").arg(i), identifiedContent(100 * f + i, 500 + i));
            ledger.add(folder + QStringLiteral("/s%1/g.txt").arg(i),
                       identifiedContent(100 * f + 10 + i, 400));
        }
    }
    const QString output = dir.path(QStringLiteral("out"));
    giveToNobody(dir.path());

    // As nobody, so that mode 000 counts: A's sub-folders turn unreadable as A's first file is
    // copied (A itself is listed by then), and B turns unreadable after A is done.
    const QByteArray aPath = encodeLocal8(folders.at(0));
    const QByteArray bPath = encodeLocal8(folders.at(1));
    auto calls = std::make_shared<FaultCalls>();
    bool lockedA = false;
    calls->beforeEachCall([&](FaultCalls::Call call) {
        if (call != FaultCalls::Open || lockedA)
            return;
        lockedA = true;
        for (int i = 0; i < 4; ++i)
            ::chmod(QByteArray(aPath + "/s" + QByteArray::number(i)).constData(), 0);
    });
    runFoldersInChild(folderByNameJob(folders), output, becomeNobody, calls, ClashPolicy::Skip,
                      [&](ScriptedHost& host) {
                          host.betweenItems = [&](int done) {
                              if (done == 1)
                                  ::chmod(bPath.constData(), 0);
                          };
                      });
    if (HasFatalFailure() || IsSkipped())
        return;

    expectCopied(folders.at(2), output + QStringLiteral("/C/C"));
    expectCopied(folders.at(3), output + QStringLiteral("/D/D"));
    EXPECT_TRUE(filesUnder(output + QStringLiteral("/B")).isEmpty());
    const int fromA = int(filesUnder(output + QStringLiteral("/A")).size());
    EXPECT_GE(fromA, 1);
    EXPECT_LT(fromA, 8) << "no folder of A turned unreadable in time";
    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("5 folder run: folders turn unreadable"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

TEST(FolderRunFaults, FilesThatCannotBeReadOrWrittenLeaveNothingBehind) {
    TestDir dir;
    Ledger ledger;
    const QString listed = dir.path(QStringLiteral("T"));
    for (int i = 0; i < 6; ++i) {
        ledger.add(listed + QStringLiteral("/f%1.txt").arg(i), identifiedContent(200 + i, 3000));
        ledger.add(listed + QStringLiteral("/locked/g%1.txt").arg(i), identifiedContent(210 + i, 3000));
    }
    const QString output = dir.path(QStringLiteral("out"));
    // One destination folder exists already and takes nothing (immutable); two files cannot be
    // opened.
    const QString lockedCopy = dir.folder(QStringLiteral("out/T/T/locked"));
    const ImmutableGuard guard(lockedCopy);
    VELQUIN_SKIP_UNLESS_IMMUTABLE(guard);
    auto calls = std::make_shared<FaultCalls>();
    calls->deny(listed + QStringLiteral("/f1.txt"));
    calls->deny(listed + QStringLiteral("/f4.txt"));

    ScriptedHost host;
    host.outputText = output;
    host.policy = ClashPolicy::AutoNumber;
    runFolderSort(folderByNameJob({listed}), host, FileOps(calls));
    EXPECT_TRUE(host.endedNormally());

    EXPECT_EQ(filesUnder(output).size(), 4) << filesUnder(output).join(u' ').toStdString();
    EXPECT_TRUE(filesUnder(lockedCopy).isEmpty());
    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("5 folder run: unreadable and unwritable files"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

} // namespace
} // namespace velquin::test
