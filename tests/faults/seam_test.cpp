// Every file-system call a transfer makes, failing once or always, with the errors that real
// file systems give: whatever fails, no file is lost, no target is left partial, and no
// temporary stays behind.

#include "ledger.h"
#include "support/scriptedhost.h"

#include "support/faultcalls.h"
#include "support/testdir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace velquin::test {
namespace {

using Call = FaultCalls::Call;

const char* callName(Call call) {
    static const char* const names[] = {
        "Open",      "Openat",   "Close",    "Read",       "Write",     "CopyFileRange",
        "Sendfile",  "Fstat",    "Fchmod",   "Futimens",   "Linkat",    "RenameNoReplace",
        "Rename",    "Link",     "Unlink",   "Mkdir",      "Rmdir",     "Lstat",
        "Stat",      "Statx",    "Lseek",    "Pread",      "Access",    "Fsync",
        "Ftruncate", "SetLease", "GetLease", "Flistxattr", "Fgetxattr", "Fsetxattr",
        "Fdopendir", "Readdir",  "Closedir", "Fstatat",    "Readlink",  "Symlink"};
    static_assert(sizeof names / sizeof *names == FaultCalls::CallCount);
    return names[call];
}

enum class Way { Copy, CopyHidden, MoveWithin, MoveAcross, MoveAcrossHidden };

struct SeamCase {
    Call call;
    Way way;
    bool oldTargets; // targets exist with older content and are overwritten
};

std::string caseName(const ::testing::TestParamInfo<SeamCase>& info) {
    static const char* const ways[] = {"Copy", "CopyHidden", "MoveWithin", "MoveAcross", "MoveAcrossHidden"};
    return std::string(callName(info.param.call)) + ways[int(info.param.way)] +
           (info.param.oldTargets ? "Overwrite" : "AutoNumber");
}

constexpr int kFiles = 3;

class FailingCall : public ::testing::TestWithParam<SeamCase> {};

TEST_P(FailingCall, NothingIsLostWhicheverCallFails) {
    const SeamCase c = GetParam();
    int faultsStruck = 0;
    // The first, the second and every call of the kind; errors a disk, a network file system
    // or a quota give.
    const bool hidden = c.way == Way::CopyHidden || c.way == Way::MoveAcrossHidden;
    const bool across = c.way == Way::MoveAcross || c.way == Way::MoveAcrossHidden;
    const bool moving = c.way == Way::MoveWithin || across;
    for (const int nth : {1, 2, 0}) {
        for (const int error : {EIO, EPERM}) {
            SCOPED_TRACE(testing::Message() << "call " << nth << ", errno " << error);
            TestDir sources;
            TestDir outputBase(across ? QStringLiteral("/dev/shm") : QString());
            const QString output = outputBase.path(QStringLiteral("out"));
            Ledger ledger;
            QStringList files;
            QList<QByteArray> olds;
            for (int i = 0; i < kFiles; ++i) {
                const QString name = QStringLiteral("f%1.dat").arg(i);
                files.append(ledger.add(sources.path(name), identifiedContent(i, 40000 + i)));
                olds.append(identifiedContent(500 + i, 100));
                if (c.oldTargets)
                    writeWhole(output + QStringLiteral("/.dat/") + name, olds.back());
            }

            auto calls = std::make_shared<FaultCalls>();
            if (hidden)
                calls->refuseUnnamedTemporaries();
            // The plainer ways of copying run only where the in-kernel ones are refused.
            if (c.call == FaultCalls::Sendfile || c.call == FaultCalls::Read || c.call == FaultCalls::Write)
                calls->failCall(FaultCalls::CopyFileRange, 0, EXDEV);
            if (c.call == FaultCalls::Read || c.call == FaultCalls::Write)
                calls->failCall(FaultCalls::Sendfile, 0, EINVAL);
            // A file system without RENAME_NOREPLACE (FUSE): moves link and unlink instead.
            if (c.call == FaultCalls::Link || (c.call == FaultCalls::Unlink && c.way == Way::MoveWithin))
                calls->failCall(FaultCalls::RenameNoReplace, 0, EINVAL);
            calls->failCall(c.call, nth, error);
            ScriptedHost host;
            host.outputText = output;
            host.mode = moving ? TransferMode::Move : TransferMode::Copy;
            host.policy = c.oldTargets ? ClashPolicy::Overwrite : ClashPolicy::AutoNumber;
            runFileSort(byTypeJob(files), host, FileOps(calls));
            EXPECT_TRUE(host.endedNormally());
            faultsStruck += calls->count(c.call) >= qMax(nth, 1);

            const Verdict verdict = ledger.verify({sources.path(), outputBase.path()}, olds);
            tally(QStringLiteral("8 each system call failing"), verdict);
            EXPECT_TRUE(verdict.lost.isEmpty() && verdict.partial.isEmpty())
                << verdict.describe().toStdString();
            // The hidden temporary is unlinked once the target has its name, and a move across
            // file systems keeps the old target under a hidden second name until the source is
            // gone; when that unlink fails, the whole file stays under its hidden name. Nothing
            // else may remain.
            if (!((hidden || (across && c.oldTargets)) && c.call == FaultCalls::Unlink)) {
                EXPECT_TRUE(verdict.temps.isEmpty()) << verdict.describe().toStdString();
            }
            // Each target holds the old or the new content, whole, or nothing at all.
            for (int i = 0; i < kFiles; ++i) {
                const auto now = outputBase.read(QStringLiteral("out/.dat/f%1.dat").arg(i));
                EXPECT_TRUE(!now || *now == olds.at(i) || *now == identifiedContent(i, 40000 + i)) << i;
            }
        }
    }
    EXPECT_GT(faultsStruck, 0) << callName(c.call) << " was never called: the case proves nothing";
}

// Whether a way of transferring makes the call at all (a rename within a file system copies
// nothing; only replacing renames over a target; only a new target needs its folder made).
bool reaches(Call call, Way way, bool oldTargets) {
    const bool moving = way == Way::MoveWithin || way == Way::MoveAcross || way == Way::MoveAcrossHidden;
    const bool hidden = way == Way::CopyHidden || way == Way::MoveAcrossHidden;
    switch (call) {
    case FaultCalls::Mkdir:
        return !oldTargets;
    case FaultCalls::RenameNoReplace:
    case FaultCalls::Link:
        return moving && !oldTargets;
    case FaultCalls::Rename:
        return oldTargets;
    case FaultCalls::Linkat:
        return way != Way::MoveWithin && !(hidden && oldTargets);
    // A copy that may not replace leaves a clash to its naming link, without a look beforehand.
    case FaultCalls::Lstat:
        return moving || oldTargets;
    case FaultCalls::Stat:
        return true;
    case FaultCalls::Statx:
    case FaultCalls::Access:
    case FaultCalls::SetLease:
    case FaultCalls::GetLease:
        return way == Way::MoveAcross || way == Way::MoveAcrossHidden;
    // Only for sources with holes, with extended attributes, settings, folders, or a source
    // without a lease: the fault suite's own tables make those.
    case FaultCalls::Rmdir:
    case FaultCalls::Lseek:
    case FaultCalls::Fgetxattr:
    case FaultCalls::Pread:
    case FaultCalls::Fsync:
    case FaultCalls::Ftruncate:
    case FaultCalls::Fsetxattr:
    case FaultCalls::Fdopendir:
    case FaultCalls::Readdir:
    case FaultCalls::Closedir:
    case FaultCalls::Fstatat:
    case FaultCalls::Readlink:
    case FaultCalls::Symlink:
        return false;
    case FaultCalls::Unlink:
        return way == Way::MoveAcross || way == Way::MoveAcrossHidden ||
               (way == Way::CopyHidden && !oldTargets) || (way == Way::MoveWithin && !oldTargets);
    default:
        return way != Way::MoveWithin;
    }
}

std::vector<SeamCase> allCases() {
    std::vector<SeamCase> cases;
    for (int call = 0; call < FaultCalls::CallCount; ++call)
        for (Way way : {Way::Copy, Way::CopyHidden, Way::MoveWithin, Way::MoveAcross, Way::MoveAcrossHidden})
            for (bool old : {false, true})
                if (reaches(Call(call), way, old))
                    cases.push_back({Call(call), way, old});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingCall, ::testing::ValuesIn(allCases()), caseName);

} // namespace
} // namespace velquin::test
