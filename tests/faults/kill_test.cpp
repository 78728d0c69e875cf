// A move of 5,000 files from tmpfs to disk is killed with SIGKILL part-way: every file still
// exists whole at least once, no visible file is partial, and running the list again finishes
// the job without loss.

#include "ledger.h"
#include "sandbox.h"
#include "support/scriptedhost.h"

#include "engine/journal.h"
#include "engine/undo.h"
#include "platform/trash.h"
#include "support/faultcalls.h"
#include "support/testdir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>

namespace velquin::test {
namespace {

struct KillCase {
    int killAfter; // files at the target when the kill comes
    bool hiddenTemporaries;
    bool replacing = false; // every target exists with an older content; the run overwrites
};

std::string caseName(const ::testing::TestParamInfo<KillCase>& info) {
    return "After" + std::to_string(info.param.killAfter) +
           (info.param.hiddenTemporaries ? "Hidden" : "Unnamed") + (info.param.replacing ? "Replacing" : "");
}

constexpr int kFiles = 5000;

int countEntries(const QString& folder) {
    return int(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size());
}

class KilledMove : public ::testing::TestWithParam<KillCase> {};

TEST_P(KilledMove, EveryFileSurvivesWholeAtLeastOnce) {
    const KillCase c = GetParam();
    TestDir sources(QStringLiteral("/dev/shm"));
    TestDir outputBase;
    const QString output = outputBase.folder(QStringLiteral("out"));
    const QString landing = output + QStringLiteral("/.bin");

    Ledger ledger;
    QStringList files;
    QList<QByteArray> olds;
    files.reserve(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("f%1.bin").arg(i);
        files.append(ledger.add(sources.path(QStringLiteral("d%1/").arg(i / 500) + name),
                                identifiedContent(i, 1000 + (i * 37) % 7000)));
        if (c.replacing) {
            olds.append(identifiedContent(100000 + i, 300));
            writeWhole(landing + QLatin1Char('/') + name, olds.back());
        }
    }
    const ClashPolicy policy = c.replacing ? ClashPolicy::Overwrite : ClashPolicy::Skip;
    const auto movedSoFar = [&] {
        int left = 0;
        for (int d = 0; d < kFiles / 500; ++d)
            left += countEntries(sources.path(QStringLiteral("d%1").arg(d)));
        return kFiles - left;
    };

    const auto moveAll = [&](const FileOps& fs, ClashPolicy policy) {
        ScriptedHost host;
        host.outputText = output;
        host.mode = TransferMode::Move;
        host.policy = policy;
        runFileSort(byTypeJob(files), host, fs);
        return host.endedNormally();
    };

    ChildProcess child([&] {
        std::shared_ptr<FaultCalls> calls; // the real calls
        if (c.hiddenTemporaries) {
            calls = std::make_shared<FaultCalls>();
            calls->refuseUnnamedTemporaries();
        }
        const FileOps fs(calls);
        return moveAll(fs, policy) ? 0 : 3;
    });
    ASSERT_TRUE(waitUntil([&] { return movedSoFar() >= c.killAfter || !child.running(); }, 60000))
        << "the moving child made no progress";
    child.kill(SIGKILL);
    const int code = child.wait();
    ASSERT_EQ(code, 128 + SIGKILL) << "the child was not killed part-way";

    // An old target may still be there (not yet replaced) or gone (replaced): never partial.
    const Verdict killed = ledger.verify({sources.path(), output}, olds);
    tally(QStringLiteral("3 move killed part-way (after the kill)"), killed);
    EXPECT_TRUE(killed.lost.isEmpty()) << killed.describe().toStdString();
    EXPECT_TRUE(killed.partial.isEmpty()) << killed.describe().toStdString();
    // The one file in flight may exist twice. A hidden temporary may remain where unnamed
    // temporaries are not used, and where a target is replaced: an unnamed file cannot be linked
    // over an existing name, so it gets a hidden one first and is renamed over the target; and
    // a replacing move across drives holds the old target under a hidden name of its own until
    // the source is gone, so that it can put it back, which makes two.
    EXPECT_LE(killed.twice.size(), 1) << killed.describe().toStdString();
    EXPECT_LE(killed.temps.size(), c.replacing ? 2 : 1) << killed.describe().toStdString();
    if (!c.hiddenTemporaries && !c.replacing) {
        EXPECT_TRUE(killed.temps.isEmpty()) << killed.describe().toStdString();
    }
    const int landed = movedSoFar();
    EXPECT_GE(landed, c.killAfter);
    EXPECT_LT(landed, kFiles);
    std::printf("[ killed ] after %d files: %d landed, %d twice, %d hidden temporaries left\n", c.killAfter,
                landed, int(killed.twice.size()), int(killed.temps.size()));

    // Starting the same list again finishes the job: what is still at its source moves, what
    // was already moved is passed over, a file in both places keeps both.
    EXPECT_TRUE(moveAll(FileOps(), policy));
    const Verdict resumed = ledger.verify({sources.path(), output}, olds);
    tally(QStringLiteral("3 move killed part-way (run again)"), resumed);
    EXPECT_TRUE(resumed.lost.isEmpty() && resumed.partial.isEmpty()) << resumed.describe().toStdString();
    EXPECT_EQ(countEntries(landing) - int(resumed.temps.size()), kFiles);
    if (c.replacing) {
        EXPECT_EQ(movedSoFar(), kFiles) << "an overwriting run again leaves nothing behind";
    }
}

// The journal of a killed move is true up to the file in flight: undo from it puts every file
// that moved back at its source, and nothing is lost or half-written.
TEST(KilledMoveUndone, EveryMovedFileGoesBackFromTheJournal) {
    constexpr int kCount = 400;
    TestDir sources(QStringLiteral("/dev/shm"));
    TestDir outputBase;
    TestDir state;
    const QString output = outputBase.folder(QStringLiteral("out"));
    const QString journal = state.path(QStringLiteral("files.journal"));
    Ledger ledger;
    QStringList files;
    for (int i = 0; i < kCount; ++i)
        files.append(ledger.add(sources.path(QStringLiteral("f%1.bin").arg(i)), identifiedContent(i, 20000)));
    ChildProcess child([&] {
        ScriptedHost host;
        host.outputText = output;
        host.mode = TransferMode::Move;
        host.journal = journal;
        runFileSort(byTypeJob(files), host, FileOps());
        return 0;
    });
    ASSERT_TRUE(waitUntil(
        [&] { return countEntries(output + QStringLiteral("/.bin")) >= 50 || !child.running(); }, 60000));
    child.kill(SIGKILL);
    ASSERT_EQ(child.wait(), 128 + SIGKILL) << "the child was not killed part-way";

    const Journal read = loadJournal(journal);
    ASSERT_GE(read.entries.size(), 49u); // the folder, and every file but the one in flight
    EXPECT_TRUE(read.incomplete) << "the file in flight may have moved unrecorded";
    Trash trash(state.path(QStringLiteral("Trash")));
    const UndoResult result = runUndo(FileOps(), trash, read);
    EXPECT_TRUE(result.failures.empty()) << undoReport(result).details.toStdString();
    // Every file is back but at most the one in flight: its move may have ended before its entry
    // was written, and then it is still in the output (the ledger below finds it whole there).
    const int stayed = countEntries(output + QStringLiteral("/.bin"));
    EXPECT_LE(stayed, 1);
    qsizetype back = 0;
    for (const QString& f : files)
        back += QFileInfo::exists(f) ? 1 : 0;
    EXPECT_GE(back, files.size() - stayed);
    const Verdict verdict = ledger.verify({sources.path(), output});
    tally(QStringLiteral("3 move killed part-way, then undone"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, KilledMove,
                         ::testing::Values(KillCase{300, false}, KillCase{2000, false}, KillCase{1500, true},
                                           KillCase{1200, false, true}),
                         caseName);

} // namespace
} // namespace velquin::test
