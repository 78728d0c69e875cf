// Runs that write their journal as they go, then undo from that journal: everything is back as
// it was before the run, or, where that cannot be done safely, stays and is reported.

#include "engine/filerun.h"
#include "engine/journal.h"
#include "engine/undo.h"

#include "faults/ledger.h"
#include "platform/trash.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"
#include "ui/criteria/typecriterion.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;
using velquin::test::treeState;

namespace {

struct RunCase {
    const char* what;
    TransferMode mode;
    ClashPolicy policy;
    bool targetsExist; // an older a.txt is at its target already
    bool acrossDrives; // the sources on /dev/shm, the output on the disk
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.what;
}

// Sources in/, output out/, the journal and the home trash in folders of their own.
class RunThenUndo : public ::testing::TestWithParam<RunCase> {
protected:
    void SetUp() override {
        const RunCase& c = GetParam();
        sources.emplace(c.acrossDrives ? QStringLiteral("/dev/shm") : QString());
        ASSERT_TRUE(sources->isValid());
        const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
        for (const char* name : {"a.txt", "b.txt", "c.jpg"})
            job.Files.append(
                sources->file(QStringLiteral("in/") + QLatin1String(name), QByteArray("new ") + name));
        job.rule = std::make_shared<TypeRule>();
        output.folder(QStringLiteral("out"));
        if (c.targetsExist)
            output.file(QStringLiteral("out/.txt/a.txt"), "old a", old);
        host.outputText = output.path(QStringLiteral("out"));
        host.mode = c.mode;
        host.policy = c.policy;
        host.journal = state.path(QStringLiteral("files.journal"));
        host.keeper = &trash;
    }
    QMap<QString, QByteArray> everything() const {
        QMap<QString, QByteArray> all = treeState(sources->path(QStringLiteral("in")));
        all.insert(treeState(output.path(QStringLiteral("out"))));
        return all;
    }

    std::optional<TestDir> sources;
    TestDir output;
    TestDir state;
    TestDir trashHome;
    Trash trash{trashHome.path(QStringLiteral("Trash"))};
    FileOps fs;
    ScriptedHost host;
    FileSortJob job;
};

TEST_P(RunThenUndo, PutsEverythingBackAsItWas) {
    const QMap<QString, QByteArray> before = everything();
    ASSERT_EQ(runFileSort(job, host, fs), RunEnd::Completed);
    ASSERT_NE(everything(), before) << "the run did nothing";
    const Journal journal = loadJournal(host.journal);
    ASSERT_FALSE(journal.entries.empty());
    EXPECT_FALSE(journal.incomplete);
    const UndoResult result = runUndo(fs, trash, journal);
    EXPECT_TRUE(result.failures.empty()) << undoReport(result).details.toStdString();
    EXPECT_EQ(everything(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunThenUndo,
    ::testing::Values(
        RunCase{"copy", TransferMode::Copy, ClashPolicy::Skip, false, false},
        RunCase{"move", TransferMode::Move, ClashPolicy::Skip, false, false},
        RunCase{"move across drives", TransferMode::Move, ClashPolicy::Skip, false, true},
        RunCase{"copy over older targets", TransferMode::Copy, ClashPolicy::Overwrite, true, false},
        RunCase{"move over older targets", TransferMode::Move, ClashPolicy::Overwrite, true, false},
        RunCase{"move across drives over older targets", TransferMode::Move, ClashPolicy::ReplaceOlder, true,
                true},
        RunCase{"auto-numbered copies", TransferMode::Copy, ClashPolicy::AutoNumber, true, false},
        RunCase{"auto-numbered moves across drives", TransferMode::Move, ClashPolicy::AutoNumber, true,
                true}));

TEST(RunThenUndoRefusals, AChangedCopyAndATakenSourcePathStayAndAreReported) {
    TestDir d;
    FileOps fs;
    Trash trash(d.path(QStringLiteral("Trash")));
    ScriptedHost host;
    host.outputText = d.folder(QStringLiteral("out"));
    host.journal = d.path(QStringLiteral("state/files.journal"));
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = {d.file(QStringLiteral("in/a.txt"), "a"), d.file(QStringLiteral("in/b.jpg"), "b")};
    ASSERT_EQ(runFileSort(job, host, fs), RunEnd::Completed);
    d.file(QStringLiteral("out/.txt/a.txt"), "changed since the run");
    UndoResult result = runUndo(fs, trash, loadJournal(host.journal));
    EXPECT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(d.read(QStringLiteral("out/.txt/a.txt")), QByteArray("changed since the run"));
    EXPECT_FALSE(d.existsFile(QStringLiteral("out/.jpg/b.jpg")));

    host.mode = TransferMode::Move;
    ASSERT_EQ(runFileSort(job, host, fs), RunEnd::Completed);
    d.file(QStringLiteral("in/b.jpg"), "a new file at the old place");
    result = runUndo(fs, trash, loadJournal(host.journal));
    EXPECT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(d.read(QStringLiteral("out/.jpg/b.jpg")), QByteArray("b"));
    EXPECT_EQ(d.read(QStringLiteral("in/b.jpg")), QByteArray("a new file at the old place"));
}

} // namespace
