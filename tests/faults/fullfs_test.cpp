// The output folder's file system fills up during a run: files that fit arrive whole, the rest
// stay at their sources, and nothing half-written is left at the target.

#include "ledger.h"
#include "sandbox.h"
#include "support/scriptedhost.h"

#include "engine/runframe.h"
#include "engine/transfer.h"
#include "engine/undo.h"
#include "platform/names.h"
#include "platform/trash.h"
#include "support/faultcalls.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace velquin::test {
namespace {

// How the space runs out.
enum class Filler {
    Tmpfs,         // a 1 MB tmpfs mounted as the output folder
    FileSizeLimit, // RLIMIT_FSIZE in a child: EFBIG for every byte beyond the limit
    Seam,          // the system-call seam reports ENOSPC once 1 MB has been written
    TmpfsInodes,   // a tmpfs with room for bytes but for a dozen files and folders only
};
enum class RunKind { Copy, Move, Folder };

struct FillCase {
    Filler filler;
    RunKind run;
};

std::string caseName(const ::testing::TestParamInfo<FillCase>& info) {
    static const char* const fillers[] = {"Tmpfs", "FileSizeLimit", "Seam", "TmpfsInodes"};
    static const char* const runs[] = {"Copy", "Move", "Folder"};
    return std::string(fillers[int(info.param.filler)]) + runs[int(info.param.run)];
}

constexpr qint64 kSpace = 1024 * 1024;
constexpr rlim_t kFileSizeLimit = 64 * 1024;

class FullFileSystem : public ::testing::TestWithParam<FillCase> {
protected:
    // Runs the case under the clash policy; with `oldTargets` every target exists beforehand
    // with an older content and the run replaces it (Overwrite).
    void fill(bool oldTargets);
};

void FullFileSystem::fill(bool oldTargets) {
    const FillCase c = GetParam();
    // Sources on disk, output elsewhere, so that moves copy and the output alone runs full.
    TestDir sources;
    const bool mounted = c.filler == Filler::Tmpfs || c.filler == Filler::TmpfsInodes;
    TestDir outputBase(mounted ? QString() : QStringLiteral("/dev/shm"));
    const QString output = outputBase.folder(QStringLiteral("out"));
    std::optional<TmpfsMount> mount;
    if (mounted) {
        if (c.filler == Filler::Tmpfs)
            mount.emplace(output, kSpace);
        else
            mount.emplace(output, 64 * kSpace, 12);
        VELQUIN_SKIP_UNLESS_MOUNTED(*mount) << "; the file-size limit case covers this";
    }

    // Big files that stop fitting after a few (1 MB holds six), small ones that all fit in what
    // the big ones leave, whichever order they come in. A folder run copies the tree T.
    Ledger ledger;
    QStringList files;
    QStringList targets;
    QList<QByteArray> olds;
    QStringList small;
    for (int i = 0; i < 24; ++i) {
        const int size = i % 2 == 0 ? 150 * 1024 : 3 * 1024 + i;
        const QString name = QStringLiteral("f%1.dat").arg(i, 2, 10, QLatin1Char('0'));
        const QString folder = QStringLiteral("s%1/").arg(i % 3);
        files.append(
            ledger.add(sources.path(QStringLiteral("T/") + folder + name), identifiedContent(i, size)));
        targets.append(
            output +
            (c.run == RunKind::Folder ? QStringLiteral("/T/T/") + folder : QStringLiteral("/.dat/")) + name);
        olds.append(identifiedContent(1000 + i, 1024));
        if (oldTargets)
            writeWhole(targets.back(), olds.back());
        if (i % 2 == 1)
            small.append(name);
    }

    QString closingLine = QStringLiteral("<in a child>");
    const auto runAll = [&](const FileOps& fs) {
        ScriptedHost host;
        host.outputText = output;
        host.mode = c.run == RunKind::Move ? TransferMode::Move : TransferMode::Copy;
        host.policy = oldTargets ? ClashPolicy::Overwrite : ClashPolicy::AutoNumber;
        if (c.run == RunKind::Folder)
            runFolderSort(folderByNameJob({sources.path(QStringLiteral("T"))}), host, fs);
        else
            runFileSort(byTypeJob(files), host, fs);
        closingLine = host.closingLine;
        return host.endedNormally();
    };

    if (c.filler == Filler::FileSizeLimit) {
        const int code = runInChild([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{kFileSizeLimit, kFileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 2;
            return runAll(FileOps()) ? 0 : 3;
        });
        ASSERT_EQ(code, 0) << "the run in the limited child did not end normally";
    } else if (c.filler == Filler::Seam) {
        auto calls = std::make_shared<FaultCalls>();
        calls->spaceFor(kSpace);
        EXPECT_TRUE(runAll(FileOps(calls)));
    } else {
        EXPECT_TRUE(runAll(FileOps()));
    }

    // Old targets that were replaced are gone by request; one that was not is whole.
    const Verdict verdict = ledger.verify({sources.path(), output}, olds);
    tally(oldTargets ? QStringLiteral("1 full output file system, replacing")
                     : QStringLiteral("1 full output file system"),
          verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();

    // The fault must really have struck: some files arrived, some did not, and (where a failed
    // copy gives its space back, which neither the seam's count nor a lack of inodes does)
    // every small one did.
    int arrived = 0;
    for (int i = 0; i < files.size(); ++i) {
        QFile target(targets.at(i));
        const QByteArray now = target.open(QIODevice::ReadOnly) ? target.readAll() : QByteArray();
        const bool isNew = now == identifiedContent(i, i % 2 == 0 ? 150 * 1024 : 3 * 1024 + i);
        arrived += isNew;
        if (oldTargets) {
            EXPECT_TRUE(isNew || now == olds.at(i)) << "target " << i << " is neither old nor new";
        } else {
            EXPECT_TRUE(isNew || !target.exists()) << "target " << i << " is not whole";
        }
        if ((c.filler == Filler::Tmpfs || c.filler == Filler::FileSizeLimit) && i % 2 == 1) {
            EXPECT_TRUE(isNew) << targets.at(i).toStdString() << " did not arrive";
        }
        if (c.run == RunKind::Move) {
            EXPECT_NE(isNew, QFileInfo::exists(files.at(i))) << "moved and kept, or neither: " << i;
        } else {
            EXPECT_TRUE(QFileInfo::exists(files.at(i))) << "a copy removed source " << i;
        }
    }
    EXPECT_GT(arrived, 1);
    EXPECT_LT(arrived, files.size());
    // The closing box tells how many did not arrive.
    if (c.filler != Filler::FileSizeLimit) {
        EXPECT_EQ(closingLine, failureLine(files.size() - arrived));
    }
}

TEST_P(FullFileSystem, FilesThatFitArriveWholeTheRestStay) {
    fill(false);
}

// Old targets take an inode each already; a lack of inodes is a lack of new files only.
class FullFileSystemReplacing : public FullFileSystem {};

TEST_P(FullFileSystemReplacing, ReplacedTargetsStayWholeWhenTheNewCopyDoesNotFit) {
    fill(true);
}

std::vector<FillCase> fillCases(bool withInodes) {
    std::vector<FillCase> cases;
    for (Filler filler : {Filler::Tmpfs, Filler::FileSizeLimit, Filler::Seam, Filler::TmpfsInodes})
        for (RunKind run : {RunKind::Copy, RunKind::Move, RunKind::Folder})
            if (withInodes || filler != Filler::TmpfsInodes)
                cases.push_back({filler, run});
    return cases;
}

// The journal's drive fills up: the run goes on and says it cannot be wholly undone, undo takes
// back what the journal holds and says the rest is unknown, and the next journal cannot start.
TEST(FullJournalDrive, TheRunGoesOnAndItsUndoSaysWhatIsUnknown) {
    TestDir base;
    const QString state = base.folder(QStringLiteral("state"));
    TmpfsMount mount(state, 4096);
    VELQUIN_SKIP_UNLESS_MOUNTED(mount);
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files.append(base.file(QStringLiteral("in/%1.txt").arg(i, 100, 10, QLatin1Char('0')), "x"));
    ScriptedHost host;
    host.outputText = base.folder(QStringLiteral("out"));
    host.journal = state + QStringLiteral("/files.journal");
    ASSERT_EQ(runFileSort(byTypeJob(files), host, FileOps()), RunEnd::Completed);
    EXPECT_EQ(host.closingLine, journalLostLine());

    const Journal journal = loadJournal(host.journal);
    ASSERT_TRUE(journal.incomplete);
    Trash trash(base.path(QStringLiteral("Trash")));
    const UndoResult result = runUndo(FileOps(), trash, journal);
    EXPECT_TRUE(result.failures.empty()) << undoReport(result).details.toStdString();
    EXPECT_EQ(undoReport(result).line, QStringLiteral("撤销记录不完整，其余项目无法撤销。"));
    EXPECT_EQ(base.entries(QStringLiteral("out/.txt")).size(), files.size() - result.removed);
    EXPECT_EQ(result.removed, int(journal.entries.size()) - 1); // all but the folder's entry

    // No room even to start the next run's journal: the last one stays as it was.
    const std::optional<QByteArray> last = readRaw(encodeLocal8(host.journal));
    ASSERT_EQ(runFileSort(byTypeJob({files[0]}), host, FileOps()), RunEnd::Completed);
    EXPECT_EQ(host.closingLine, journalLostLine());
    EXPECT_EQ(readRaw(encodeLocal8(host.journal)), last);
}

INSTANTIATE_TEST_SUITE_P(Faults, FullFileSystem, ::testing::ValuesIn(fillCases(true)), caseName);
INSTANTIATE_TEST_SUITE_P(Faults, FullFileSystemReplacing, ::testing::ValuesIn(fillCases(false)), caseName);

} // namespace
} // namespace velquin::test

namespace velquin::test {
namespace {

struct UnkeptCase {
    const char* what;
    bool nobody;    // true: the run is nobody's and the drive's top root's; false: the drive is full
    bool homeTrash; // a home trash the run may use, on another drive
    bool answer;    // to the question, where it is asked
};

// Replaces whose old target the drive's trash cannot keep: the home trash gets a copy; without
// one the run asks once, and No leaves every old target and its source as they were.
TEST(UnkeptReplace, GoesToTheHomeTrashElseTheRunAsksOnce) {
    const UnkeptCase cases[] = {{"full drive, home trash", false, true, false},
                                {"foreign top, home trash", true, true, false},
                                {"foreign top, no trash, No", true, false, false},
                                {"foreign top, no trash, Yes", true, false, true}};
    for (const UnkeptCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir dir;
        if (c.nobody)
            giveToNobody(dir.path());
        const QString drive = dir.folder(QStringLiteral("drive"));
        TmpfsMount mount(drive, 256 * 1024);
        VELQUIN_SKIP_UNLESS_MOUNTED(mount);
        ASSERT_EQ(::chmod(encodeLocal8(drive).constData(), 0755), 0);
        // Sources beside the output on the drive: a move is a rename, which needs no space.
        QStringList files;
        for (const int n : {0, 1}) {
            files << dir.file(QStringLiteral("drive/src/f%1.dat").arg(n), "new " + QByteArray::number(n));
            dir.file(QStringLiteral("drive/out/.dat/f%1.dat").arg(n), "old " + QByteArray::number(n));
        }
        giveToNobody(drive + QStringLiteral("/src"));
        giveToNobody(drive + QStringLiteral("/out"));
        if (!c.nobody) // to the last block
            runTool({QStringLiteral("dd"), QStringLiteral("if=/dev/zero"),
                     QStringLiteral("of=") + drive + QStringLiteral("/filler")});
        // Nobody may not make a home trash in a folder of root's.
        const QString home =
            c.homeTrash ? dir.path(QStringLiteral("home")) : dir.folder(QStringLiteral("roots"));
        const int code = runInChild([&] {
            if (c.nobody && !becomeNobody())
                return kNoNobody;
            Trash trash(home + QStringLiteral("/Trash"));
            ScriptedHost host;
            host.outputText = drive + QStringLiteral("/out");
            host.mode = TransferMode::Move;
            host.policy = ClashPolicy::Overwrite;
            host.keeper = &trash;
            host.answerUnkept = c.answer;
            runFileSort(byTypeJob(files), host, FileOps());
            const bool lineRight = host.closingLine == (c.homeTrash || c.answer ? QString() : failureLine(2));
            return int(host.unkeptReasons.size()) * 10 + (lineRight ? 0 : 1) +
                   (host.unkeptReasons.value(0, systemReason(EACCES)) == systemReason(EACCES) ? 0 : 2);
        });
        VELQUIN_SKIP_IF_NO_NOBODY(code);
        EXPECT_EQ(code, c.homeTrash ? 0 : 10) << "questions * 10 + 1 wrong closing line + 2 wrong reason";
        const bool replaced = c.homeTrash || c.answer;
        for (const int n : {0, 1}) {
            EXPECT_EQ(dir.read(QStringLiteral("drive/out/.dat/f%1.dat").arg(n)),
                      QByteArray((replaced ? "new " : "old ") + QByteArray::number(n)));
            EXPECT_EQ(dir.existsFile(QStringLiteral("drive/src/f%1.dat").arg(n)), !replaced);
            // The first replace frees the old target's blocks: a later note may fit on the drive.
            if (c.homeTrash && (c.nobody || n == 0)) {
                EXPECT_EQ(dir.read(QStringLiteral("home/Trash/files/f%1.dat").arg(n)),
                          "old " + QByteArray::number(n));
            }
        }
    }
}

} // namespace
} // namespace velquin::test
