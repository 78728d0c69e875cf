// Sources change between the start of a run and their turn: removed, replaced by a folder, made
// unreadable, made immovable. Each is passed over or handled whole; nothing else is disturbed.

#include "ledger.h"
#include "sandbox.h"
#include "support/faultcalls.h"
#include "support/scriptedhost.h"

#include "platform/names.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::test {
namespace {

enum class Change {
    Removed,
    ReplacedByFolder,
    DeniedOpen,   // open fails with EACCES through the seam
    Mode000,      // mode 000 in a run as nobody
    Immutable,    // chattr +i: no rename, no removal, even for root
    FolderLocked, // chattr +i on the folder that holds the source
};
enum class Layout { SameFileSystem, AcrossFileSystems };

struct ChangeCase {
    Change change;
    Layout layout;
    TransferMode mode;
};

std::string caseName(const ::testing::TestParamInfo<ChangeCase>& info) {
    static const char* const changes[] = {"Removed", "ReplacedByFolder", "DeniedOpen",
                                          "Mode000", "Immutable",        "FolderLocked"};
    const ChangeCase& c = info.param;
    return std::string(changes[int(c.change)]) + (c.layout == Layout::SameFileSystem ? "Same" : "Across") +
           (c.mode == TransferMode::Move ? "Move" : "Copy");
}

constexpr int kFiles = 12;

class SourcesChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(SourcesChange, ChangedSourcesArePassedOverAndNothingIsLost) {
    const ChangeCase c = GetParam();
    // Sources on ext4 (the immutable flag needs it); the output on the same disk or on tmpfs.
    TestDir sources;
    TestDir outputBase(c.layout == Layout::AcrossFileSystems ? QStringLiteral("/dev/shm") : QString());
    const QString output = outputBase.folder(QStringLiteral("out"));

    Ledger ledger;
    QStringList files;
    std::vector<QByteArray> contents;
    for (int i = 0; i < kFiles; ++i) {
        contents.push_back(identifiedContent(i, 2000 + i));
        files.append(ledger.add(sources.path(QStringLiteral("s%1/f%1.txt").arg(i)), contents.back()));
    }

    auto denying = std::make_shared<FaultCalls>();
    std::vector<std::unique_ptr<ImmutableGuard>> guards; // dies first: flags cleared before removal
    QStringList refused;
    QStringList changed;

    // Every odd item changes just before its turn.
    const auto change = [&](int next) {
        if (next >= kFiles || next % 2 == 0)
            return;
        const QString path = files.at(next);
        changed.append(path);
        switch (c.change) {
        case Change::Removed:
            ::unlink(encodeLocal8(path).constData());
            ledger.release(contents.at(next));
            break;
        case Change::ReplacedByFolder:
            ::unlink(encodeLocal8(path).constData());
            ledger.release(contents.at(next));
            ledger.add(path + QStringLiteral("/inside.txt"), identifiedContent(1000 + next, 500));
            break;
        case Change::DeniedOpen:
            denying->deny(path);
            break;
        case Change::Mode000:
            ::chmod(encodeLocal8(path).constData(), 0);
            break;
        case Change::Immutable:
        case Change::FolderLocked: {
            const QString target =
                c.change == Change::Immutable ? path : sources.path(QStringLiteral("s%1").arg(next));
            guards.push_back(std::make_unique<ImmutableGuard>(target));
            if (!guards.back()->set())
                refused.append(guards.back()->error());
            break;
        }
        }
    };
    const auto runAll = [&] {
        ScriptedHost host;
        host.outputText = output;
        host.mode = c.mode;
        host.betweenItems = change;
        runFileSort(byTypeJob(files), host, FileOps(denying));
        return host.endedNormally();
    };

    if (c.change == Change::Mode000) {
        giveToNobody(sources.path());
        giveToNobody(outputBase.path());
        const int code = runInChild([&] {
            if (!becomeNobody())
                return kNoNobody;
            return runAll() ? 0 : 3;
        });
        VELQUIN_SKIP_IF_NO_NOBODY(code) << "; DeniedOpen covers unreadable sources";
        ASSERT_EQ(code, 0) << "the run as nobody did not end normally";
        for (int i = 1; i < kFiles; i += 2)
            changed.append(files.at(i)); // the child's list is gone with it
    } else {
        EXPECT_TRUE(runAll());
    }
    if (!refused.isEmpty())
        GTEST_SKIP() << "the immutable flag is not available here: " << refused.first().toStdString();
    guards.clear();

    const Verdict verdict = ledger.verify({sources.path(), output});
    tally(QStringLiteral("2 sources changed during a run"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
    if (c.mode == TransferMode::Move) {
        EXPECT_TRUE(verdict.twice.isEmpty()) << verdict.describe().toStdString();
    }

    // The unchanged files went as asked.
    for (int i = 0; i < kFiles; i += 2) {
        EXPECT_EQ(outputBase.read(QStringLiteral("out/.txt/f%1.txt").arg(i)), contents.at(std::size_t(i)));
        EXPECT_EQ(QFileInfo::exists(files.at(i)), c.mode == TransferMode::Copy) << files.at(i).toStdString();
    }
    // The changed ones: a file that is gone or a folder is not transferred; an unreadable one
    // cannot be copied, though a rename within the file system needs no reading; an immutable
    // one is copied but never moved.
    EXPECT_EQ(changed.size(), kFiles / 2);
    const bool moved = c.mode == TransferMode::Move;
    bool arrives = false;
    switch (c.change) {
    case Change::Removed:
    case Change::ReplacedByFolder:
        break;
    case Change::DeniedOpen:
    case Change::Mode000:
        arrives = moved && c.layout == Layout::SameFileSystem;
        break;
    case Change::Immutable:
    case Change::FolderLocked:
        arrives = !moved;
        break;
    }
    for (int i = 1; i < kFiles; i += 2) {
        const QString name = QStringLiteral("f%1.txt").arg(i);
        EXPECT_EQ(QFileInfo::exists(output + QStringLiteral("/.txt/") + name), arrives) << name.toStdString();
        if (c.change == Change::ReplacedByFolder) {
            EXPECT_TRUE(QFileInfo(files.at(i)).isDir()) << name.toStdString();
        }
    }
}

std::vector<ChangeCase> allCases() {
    std::vector<ChangeCase> cases;
    for (Change change : {Change::Removed, Change::ReplacedByFolder, Change::DeniedOpen, Change::Mode000,
                          Change::Immutable, Change::FolderLocked})
        for (Layout layout : {Layout::SameFileSystem, Layout::AcrossFileSystems})
            for (TransferMode mode : {TransferMode::Copy, TransferMode::Move})
                cases.push_back({change, layout, mode});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, SourcesChange, ::testing::ValuesIn(allCases()), caseName);

} // namespace
} // namespace velquin::test
