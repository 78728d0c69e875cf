// Runs on real drives mounted for the test: FAT and exFAT through FUSE (they fold letter case,
// give each spelling of a file its own inode number, refuse chmod or set-id bits), NTFS through
// FUSE, ext4 and tmpfs. Whatever the drive refuses, no file is lost, replaced by itself or left
// half-written, and the data arrives where the drive can hold it.

#include "ledger.h"
#include "sandbox.h"
#include "support/scriptedhost.h"

#include "engine/folderrun.h"
#include "engine/planner.h"
#include "engine/undo.h"
#include "platform/names.h"
#include "platform/timeres.h"
#include "platform/trash.h"
#include "support/faultcalls.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velquin::test {
namespace {

enum class Drive { Tmpfs, Ext4, ExFat, Fat, Ntfs, NtfsIgnoreCase };

const char* driveName(Drive drive) {
    static const char* const names[] = {"Tmpfs", "Ext4", "ExFat", "Fat", "Ntfs", "NtfsIgnoreCase"};
    return names[int(drive)];
}

bool foldsCase(Drive drive) {
    return drive == Drive::ExFat || drive == Drive::Fat || drive == Drive::NtfsIgnoreCase;
}

std::string driveCaseName(const ::testing::TestParamInfo<Drive>& info) {
    return driveName(info.param);
}

// A drive of the given kind mounted over a fresh folder for the length of one test.
class OnDrive : public ::testing::TestWithParam<Drive> {
protected:
    void SetUp() override {
        root_ = base_.folder(QStringLiteral("drive"));
        const Drive drive = GetParam();
        if (drive == Drive::Tmpfs) {
            tmpfs_.emplace(root_, 64 << 20);
            VELQUIN_SKIP_UNLESS_MOUNTED(*tmpfs_);
            return;
        }
        const ImageMount::Kind kinds[] = {ImageMount::Ext4, ImageMount::Ext4, ImageMount::ExFat,
                                          ImageMount::Fat,  ImageMount::Ntfs, ImageMount::NtfsIgnoreCase};
        image_.emplace(kinds[int(drive)], root_);
        VELQUIN_SKIP_UNLESS_MOUNTED(*image_);
    }
    void TearDown() override {
        image_.reset();
        tmpfs_.reset();
    }
    QString root(const QString& relative = QString()) const {
        return relative.isEmpty() ? root_ : root_ + QLatin1Char('/') + relative;
    }

    TestDir base_;
    QString root_;
    std::optional<TmpfsMount> tmpfs_;
    std::optional<ImageMount> image_;
};

// ---- one file under two spellings ----

class TwoSpellings : public OnDrive {};

// out/.jpg/photo.JPG is listed; sorting by type sends it to out/.JPG/photo.JPG, which on a drive
// that folds letter case is the file itself.
TEST_P(TwoSpellings, AFileIsNeverReplacedByItselfUnderAnotherSpelling) {
    const bool folds = foldsCase(GetParam());
    int run = 0;
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        for (ClashPolicy policy : {ClashPolicy::Skip, ClashPolicy::Overwrite, ClashPolicy::Ask,
                                   ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder}) {
            SCOPED_TRACE(testing::Message()
                         << (mode == TransferMode::Move ? "move" : "copy") << ", policy " << int(policy));
            // A driver that died (renaming a file onto itself can do that) ends the test here.
            ASSERT_TRUE(QFileInfo(root()).isDir()) << "the drive is gone";
            const QString out = root(QStringLiteral("run%1/out").arg(run++));
            Ledger ledger;
            const QString source =
                ledger.add(out + QStringLiteral("/.jpg/photo.JPG"), identifiedContent(run, 5000));
            const QString otherSpelling = out + QStringLiteral("/.JPG/photo.JPG");
            EXPECT_EQ(FileOps().mayBeSameFile(source, otherSpelling), folds);
            const QMap<QString, QByteArray> before = treeState(out);

            ScriptedHost host;
            host.outputText = out;
            host.mode = mode;
            host.policy = policy;
            host.answerYes = true;
            runFileSort(byTypeJob({source}), host, FileOps());
            EXPECT_TRUE(host.endedNormally());

            const Verdict verdict = ledger.verify({out});
            tally(QStringLiteral("4 one file under two spellings (%1)")
                      .arg(QLatin1String(driveName(GetParam()))),
                  verdict);
            EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
            // Auto-numbering finds the name taken and uses the next one; nothing else may change.
            if (folds && policy != ClashPolicy::AutoNumber) {
                EXPECT_EQ(treeState(out), before);
            }
        }
    }
}

// out/TRIP/Trip, the copy of an earlier keyword "TRIP", is listed again and sorted by the
// keyword "trip": on a drive that folds letter case its destination out/trip/Trip is itself.
TEST_P(TwoSpellings, AFolderIsNeverCopiedOntoItselfUnderAnotherSpelling) {
    const bool folds = foldsCase(GetParam());
    int run = 0;
    for (ClashPolicy policy : {ClashPolicy::Overwrite, ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder}) {
        SCOPED_TRACE(testing::Message() << "policy " << int(policy));
        ASSERT_TRUE(QFileInfo(root()).isDir()) << "the drive is gone";
        const QString out = root(QStringLiteral("folders%1/out").arg(run++));
        Ledger ledger;
        const QString listed = out + QStringLiteral("/TRIP/Trip");
        ledger.add(listed + QStringLiteral("/a.txt"), identifiedContent(100 + run, 3000));
        ledger.add(listed + QStringLiteral("/sub/b.txt"), identifiedContent(200 + run, 4000));
        const QMap<QString, QByteArray> before = treeState(out);
        ScriptedHost host;
        host.outputText = out;
        host.policy = policy;
        FolderSortJob job;
        job.Folders = {listed};
        job.fields.EdtKeys = QStringLiteral("trip");
        runFolderSort(job, host, FileOps());
        EXPECT_TRUE(host.endedNormally());
        const Verdict verdict = ledger.verify({out});
        tally(
            QStringLiteral("4 one folder under two spellings (%1)").arg(QLatin1String(driveName(GetParam()))),
            verdict);
        EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
        if (folds) {
            EXPECT_EQ(treeState(out), before);
        }
    }
}

// Report.txt and report.txt sorted into one folder: on a drive that folds letter case the second
// meets the first, in the preview as in the run.
TEST_P(TwoSpellings, ThePreviewMeetsTheFileTheRunWillMeet) {
    const bool folds = foldsCase(GetParam());
    const QString out = root(QStringLiteral("preview"));
    ASSERT_TRUE(FileOps().makePath(out).ok());
    const QStringList files{base_.file(QStringLiteral("x/Report.txt"), "first"),
                            base_.file(QStringLiteral("y/report.txt"), "second")};
    ScriptedHost host;
    host.outputText = out;
    const std::optional<Preview> preview = previewFileSort(byTypeJob(files), host, FileOps());
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->counts.transfers, folds ? 1 : 2);
    EXPECT_EQ(preview->counts.conflicts, folds ? 1 : 0);
    EXPECT_EQ(filesUnder(out), QStringList()) << "the preview wrote something";
    runFileSort(byTypeJob(files), host, FileOps());
    EXPECT_EQ(filesUnder(out).size(), folds ? 1 : 2);
    EXPECT_EQ(readRaw(encodeLocal8(out + QStringLiteral("/.txt/report.txt"))), folds ? "first" : "second");
}

INSTANTIATE_TEST_SUITE_P(Faults, TwoSpellings,
                         ::testing::Values(Drive::ExFat, Drive::Fat, Drive::Ntfs, Drive::NtfsIgnoreCase,
                                           Drive::Tmpfs),
                         driveCaseName);

// ---- a drive taken out between the run and its undo ----

class RemountedBetween : public OnDrive {};

// FAT and exFAT number their files afresh at each mount, so there undo knows the files a move
// put there by name, size and modification time; a file whose size changed since still stays.
TEST_P(RemountedBetween, UndoFindsTheRunsFilesOnTheDriveAgain) {
    TestDir sources;
    QStringList files;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        files.append(sources.file(QLatin1String(name), QByteArray(name).left(files.size() + 1)));
    ScriptedHost host;
    host.outputText = root(QStringLiteral("out"));
    host.mode = TransferMode::Move;
    host.journal = base_.path(QStringLiteral("state/files.journal"));
    runFileSort(byTypeJob(files), host, FileOps());
    ASSERT_TRUE(host.endedNormally());
    ASSERT_TRUE(image_->remount()) << image_->error().toStdString();
    const QString changed = host.outputText + QStringLiteral(".txt/c.txt");
    writeWhole(changed, "changed since the run");

    Trash trash(base_.path(QStringLiteral("Trash")));
    const UndoResult r = runUndo(FileOps(), trash, loadJournal(host.journal));
    ASSERT_EQ(r.failures.size(), 1u) << undoReport(r).details.toStdString();
    EXPECT_EQ(r.failures[0].target, changed);
    EXPECT_EQ(r.failures[0].reason, QStringLiteral("文件在分拣后已被改动"));
    EXPECT_EQ(QDir(host.outputText + QStringLiteral(".txt")).entryList(QDir::Files),
              QStringList{QStringLiteral("c.txt")});
    EXPECT_EQ(readRaw(encodeLocal8(files[1])), QByteArray("b."));
}

INSTANTIATE_TEST_SUITE_P(Faults, RemountedBetween, ::testing::Values(Drive::ExFat, Drive::Fat, Drive::Ext4),
                         driveCaseName);

// ---- refused permission bits and times, long names ----

class DriveRefusals : public OnDrive {};

// FAT through FUSE refuses chmod (ENOSYS), exFAT refuses set-id bits: the data still arrives,
// with its time where the drive keeps one, by copy and by move.
TEST_P(DriveRefusals, RefusedModeAndTimesStillLetTheDataArrive) {
    TestDir sources;
    Ledger ledger;
    QStringList files;
    for (int i = 0; i < 4; ++i) {
        files.append(
            ledger.add(sources.path(QStringLiteral("f%1.dat").arg(i)), identifiedContent(i, 70000 + i)));
        ASSERT_EQ(::chmod(encodeLocal8(files.back()).constData(), i % 2 ? 02755 : 0644), 0);
        TestDir::setModified(files.back(), QDateTime::fromSecsSinceEpoch(1600000000 + 10 * i));
    }
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        const QString out =
            root(mode == TransferMode::Copy ? QStringLiteral("copied") : QStringLiteral("moved"));
        ScriptedHost host;
        host.outputText = out;
        host.mode = mode;
        runFileSort(byTypeJob(files), host, FileOps());
        EXPECT_TRUE(host.endedNormally());
        for (int i = 0; i < files.size(); ++i) {
            const QString target = out + QStringLiteral("/.dat/f%1.dat").arg(i);
            EXPECT_EQ(readRaw(encodeLocal8(target)), identifiedContent(i, 70000 + i)) << target.toStdString();
            // fusefat keeps no times set through a descriptor; the others keep them (FAT and
            // exFAT to two seconds).
            if (GetParam() != Drive::Fat) {
                EXPECT_LE(qAbs(TestDir::modified(target).toSecsSinceEpoch() - (1600000000 + 10 * i)), 2);
            }
        }
    }
    const Verdict verdict = ledger.verify({sources.path(), root()});
    tally(QStringLiteral("9 drives that refuse chmod or times"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

// A 253-byte name (the last bytes of a UTF-8 character where a cut at 240 bytes falls) arrives
// new, over an old file of that name, and by a move across file systems.
class LongNames : public OnDrive {};

TEST_P(LongNames, ArriveThroughTheirTemporaries) {
    const QString name = QStringLiteral("x") + QString(126, QChar(0xE9)); // 1 + 126 * 2 bytes
    ASSERT_EQ(encodeLocal8(name).size(), 253);
    TestDir sources;
    const QByteArray content = identifiedContent(7, 9000);
    const QString source = sources.file(name, content);
    const QString folder = root(QStringLiteral("long"));
    ASSERT_TRUE(FileOps().makePath(folder).ok());
    const QString target = folder + QLatin1Char('/') + name;
    FileOps fs;
    EXPECT_EQ(fs.copyFile(source, target, FileOps::CopyMode::FailIfExists).error, 0);
    writeWhole(target, "old");
    EXPECT_EQ(fs.copyFile(source, target, FileOps::CopyMode::Replace).error, 0);
    EXPECT_EQ(readRaw(encodeLocal8(target)), content);
    ASSERT_TRUE(fs.removeFile(target).ok());
    EXPECT_EQ(fs.moveFile(source, target, FileOps::MoveMode::NoReplace).error, 0);
    EXPECT_EQ(readRaw(encodeLocal8(target)), content);
    EXPECT_FALSE(fs.exists(source));
    EXPECT_EQ(filesUnder(folder), QStringList{target});
}

INSTANTIATE_TEST_SUITE_P(Faults, DriveRefusals, ::testing::Values(Drive::ExFat, Drive::Fat, Drive::Ntfs),
                         driveCaseName);
// fusefat takes no name this long at all; the drives that do are tried.
INSTANTIATE_TEST_SUITE_P(Faults, LongNames, ::testing::Values(Drive::ExFat, Drive::Ntfs, Drive::Ext4),
                         driveCaseName);

// ---- modification times kept in whole seconds ----

class CoarseTimes : public OnDrive {};

// Sources here with times between whole seconds, their targets on the drive: a.txt's is its
// earlier copy, b.txt's was written after b.txt within the same second (two on FAT). Moving them
// again under ReplaceOlder replaces neither, in the preview as in the run.
TEST_P(CoarseTimes, ReplaceOlderLeavesEarlierCopiesAndNewerTargetsAlone) {
    const qint64 steps[] = {1, 1, 1000000000, 2000000000};
    const QString out = root(QStringLiteral("out"));
    ASSERT_TRUE(FileOps().makePath(out).ok());
    EXPECT_EQ(probeTimeStep(FileOps().calls(), encodeLocal8(out)), steps[int(GetParam())]);

    const QDateTime t(QDate(2021, 3, 4), QTime(10, 0, 1, 700), Qt::UTC);
    const QStringList files{base_.file(QStringLiteral("src/a.txt"), "a", t),
                            base_.file(QStringLiteral("src/b.txt"), "b", t.addMSecs(-400))};
    ScriptedHost host;
    host.outputText = out;
    host.policy = ClashPolicy::ReplaceOlder;
    runFileSort(byTypeJob({files[0]}), host, FileOps());
    const QString a = out + QStringLiteral("/.txt/a.txt");
    const QString b = out + QStringLiteral("/.txt/b.txt");
    writeWhole(b, "newer");
    // fusefat drops a time set through the copy's descriptor; set both as the drive keeps them.
    TestDir::setModified(a, t);
    TestDir::setModified(b, t);

    host.mode = TransferMode::Move;
    const std::optional<Preview> preview = previewFileSort(byTypeJob(files), host, FileOps());
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->counts.transfers, 0);
    runFileSort(byTypeJob(files), host, FileOps());
    EXPECT_TRUE(host.closingLine.isEmpty()) << host.closingLine.toStdString();
    EXPECT_EQ(readRaw(encodeLocal8(a)), "a");
    EXPECT_EQ(readRaw(encodeLocal8(b)), "newer");
    EXPECT_TRUE(QFileInfo::exists(files[0]) && QFileInfo::exists(files[1]));
}

INSTANTIATE_TEST_SUITE_P(Faults, CoarseTimes, ::testing::Values(Drive::Ext4, Drive::ExFat, Drive::Fat),
                         driveCaseName);

// ---- a source rewritten while it is moved ----

// Rewrites a file in place with other bytes of the same size and gives it its old modification
// time back: what a drive with coarse time stamps shows of a rewrite within the same second.
void rewriteKeepingTime(const QByteArray& path, const QByteArray& content) {
    struct stat st;
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, content.constData(), size_t(content.size()), 0), content.size());
    ::close(fd);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

bool leaseIsBreaking() {
    return readRaw("/proc/locks").value_or(QByteArray()).contains("BREAK");
}

class ChangingSource : public OnDrive {};

// The source is rewritten half-way through its copy to another file system, by another thread
// (which a read lease keeps waiting) or, where no lease is granted, at once. The move fails and
// keeps the source with its new content; the target keeps what it had.
TEST_P(ChangingSource, AMoveNeverRemovesASourceThatChangedDuringTheCopy) {
    constexpr int kSize = 4 << 20;
    for (bool leaseRefused : {false, true}) {
        for (FileOps::MoveMode mode : {FileOps::MoveMode::NoReplace, FileOps::MoveMode::Replace}) {
            SCOPED_TRACE(testing::Message()
                         << (leaseRefused ? "no lease" : "lease where granted") << ", mode " << int(mode));
            TestDir outputs;
            const QString source = root(QStringLiteral("photo.raw"));
            writeWhole(source, identifiedContent(1, kSize));
            const QByteArray rewritten = identifiedContent(2, kSize);
            const QString target = outputs.path(QStringLiteral("photo.raw"));
            if (mode == FileOps::MoveMode::Replace)
                writeWhole(target, "old target");

            auto calls = std::make_shared<FaultCalls>();
            calls->shortWrites(256 * 1024);
            if (leaseRefused)
                calls->failCall(FaultCalls::SetLease, 0, EAGAIN);
            std::atomic<bool> written{false};
            std::thread writer;
            int chunks = 0;
            calls->beforeEachCall([&](FaultCalls::Call call) {
                const bool data = call == FaultCalls::CopyFileRange || call == FaultCalls::Sendfile ||
                                  call == FaultCalls::Read;
                if (!data || ++chunks != 4)
                    return;
                writer = std::thread([&] {
                    rewriteKeepingTime(encodeLocal8(source), rewritten);
                    written = true;
                });
                // The writer is through, or waits for the lease to go.
                EXPECT_TRUE(waitUntil([&] { return written || leaseIsBreaking(); }, 20000));
            });
            const FsResult r = FileOps(calls).moveFile(source, target, mode);
            if (writer.joinable())
                writer.join();
            EXPECT_GE(chunks, 4) << "the copy was over before the rewrite";
            EXPECT_EQ(r.error, EBUSY);
            EXPECT_EQ(readRaw(encodeLocal8(source)), rewritten);
            const std::optional<QByteArray> now = readRaw(encodeLocal8(target));
            if (mode == FileOps::MoveMode::Replace) {
                EXPECT_EQ(now, QByteArray("old target"));
            } else {
                EXPECT_FALSE(now) << "the torn copy stayed";
            }
            EXPECT_EQ(filesUnder(outputs.path()),
                      mode == FileOps::MoveMode::Replace ? QStringList{target} : QStringList());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ChangingSource, ::testing::Values(Drive::ExFat, Drive::Ext4, Drive::Tmpfs),
                         driveCaseName);

} // namespace
} // namespace velquin::test
