#include "engine/undo.h"

#include "engine/types.h"

#include "faults/ledger.h"
#include "faults/sandbox.h"
#include "platform/names.h"
#include "platform/trash.h"
#include "printers.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::TestDir;
using velquin::test::TmpfsMount;
using velquin::test::treeState;

namespace {

using State = QMap<QString, QByteArray>;

// A run done by hand: each transfer through FileOps, each entry appended as a run appends it.
struct RunByHand {
    RunByHand() : journalPath(stateDir.path(QStringLiteral("files.journal"))) {
        writer = JournalWriter::begin(journalPath);
        EXPECT_TRUE(writer);
    }

    QString in(const QString& name) const { return tree.path(QStringLiteral("in/") + name); }
    QString out(const QString& name) const { return tree.path(QStringLiteral("out/") + name); }
    QString source(const QString& name, const QByteArray& content) {
        return tree.file(QStringLiteral("in/") + name, content, QDateTime::currentDateTime().addDays(-3));
    }

    // The target's folder as a run makes it, with an entry for each level it made.
    void folderFor(const QString& target) {
        QStringList missing;
        for (QString f = target.left(target.lastIndexOf(QLatin1Char('/'))); !fs.isDir(f);
             f = f.left(f.lastIndexOf(QLatin1Char('/'))))
            missing.prepend(f);
        for (const QString& f : missing) {
            ASSERT_TRUE(fs.makePath(f).ok());
            record(JournalKind::FolderCreated, QString(), f);
        }
    }

    void record(JournalKind kind, const QString& from, const QString& to, const QString& kept = QString()) {
        const std::optional<FileStamp> made = fs.stamp(to);
        ASSERT_TRUE(made) << to.toStdString();
        ASSERT_TRUE(writer->append({kind, from, to, *made, kept}));
    }

    void copy(const QString& from, const QString& to, JournalKind kind = JournalKind::Copy) {
        folderFor(to);
        const FsResult r = fs.copyFile(from, to, FileOps::CopyMode::FailIfExists);
        ASSERT_TRUE(r.ok()) << r.error;
        record(kind, from, to);
    }

    void move(const QString& from, const QString& to, JournalKind kind = JournalKind::Move) {
        folderFor(to);
        const FsResult r = fs.moveFile(from, to, FileOps::MoveMode::NoReplace);
        ASSERT_TRUE(r.ok()) << r.error;
        record(kind, from, to);
    }

    // An Overwrite: the old target kept in the trash right before the new file takes its place.
    void overwrite(const QString& from, const QString& to, TransferMode mode) {
        const std::optional<QString> kept = trash.keep(to);
        ASSERT_TRUE(kept);
        const FsResult r = mode == TransferMode::Copy ? fs.copyFile(from, to, FileOps::CopyMode::Replace)
                                                      : fs.moveFile(from, to, FileOps::MoveMode::Replace);
        ASSERT_TRUE(r.ok()) << r.error;
        record(mode == TransferMode::Copy ? JournalKind::ReplaceCopy : JournalKind::ReplaceMove, from, to,
               *kept);
    }

    UndoResult undo() {
        const std::vector<JournalEntry> entries = readJournal(journalPath);
        return runUndo(fs, trash, entries);
    }

    State state() const { return treeState(tree.path()); }
    QStringList trashed() const {
        return trashDir.sortedEntries(QStringLiteral("Trash/files")) +
               trashDir.sortedEntries(QStringLiteral("Trash/info"));
    }

    TestDir tree;
    TestDir trashDir; // beside the tree, on the same drive
    TestDir stateDir;
    FileOps fs;
    Trash trash{trashDir.path(QStringLiteral("Trash"))};
    QString journalPath;
    std::optional<JournalWriter> writer;
};

class UndoTest : public ::testing::Test, public RunByHand {};

std::string describe(const std::vector<UndoFailure>& failures) {
    std::string text;
    for (const UndoFailure& f : failures)
        text += QString(f.path + QStringLiteral(" | ") + f.target + QStringLiteral(" | ") + f.reason)
                    .toStdString() +
                '\n';
    return text;
}

} // namespace

TEST_F(UndoTest, ACopyRunIsTakenBackToTheFolderBeforeIt) {
    source(QStringLiteral("a.txt"), "a");
    source(QStringLiteral("b.jpg"), "b");
    tree.file(QStringLiteral("out/txt/a.txt"), "there before");
    const State before = state();
    copy(in(QStringLiteral("b.jpg")), out(QStringLiteral("jpg/b.jpg")));
    copy(in(QStringLiteral("a.txt")), out(QStringLiteral("txt/a(1).txt")), JournalKind::NumberedCopy);
    copy(in(QStringLiteral("a.txt")), out(QStringLiteral("by-name/deep/a.txt")));
    ASSERT_NE(state(), before);

    const UndoPlan plan = planUndo(readJournal(journalPath));
    EXPECT_EQ(plan.remove, 3);
    EXPECT_EQ(plan.restore, 0);
    const UndoResult r = undo();
    EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
    EXPECT_EQ(r.removed, 3);
    EXPECT_EQ(r.foldersRemoved, 3); // jpg, by-name, by-name/deep; txt was there before
    EXPECT_EQ(state(), before);
}

TEST_F(UndoTest, AMoveRunPutsEveryFileBackWhereItWas) {
    source(QStringLiteral("a.txt"), "a");
    source(QStringLiteral("sub/b.txt"), "b");
    tree.file(QStringLiteral("out/txt/b.txt"), "taken name");
    const State before = state();
    const ino_t inode = fs.fileId(in(QStringLiteral("a.txt")))->inode;
    move(in(QStringLiteral("a.txt")), out(QStringLiteral("txt/a.txt")));
    move(in(QStringLiteral("sub/b.txt")), out(QStringLiteral("txt/b(1).txt")), JournalKind::NumberedMove);
    // The run emptied a source folder, and the user removed it since.
    ASSERT_TRUE(fs.removeEmptyFolder(in(QStringLiteral("sub"))).ok());

    EXPECT_EQ(planUndo(readJournal(journalPath)).restore, 2);
    const UndoResult r = undo();
    EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
    EXPECT_EQ(r.restored, 2);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(fs.fileId(in(QStringLiteral("a.txt")))->inode, inode);
}

TEST_F(UndoTest, AMoveAcrossDrivesComesBackAcrossThem) {
    TestDir otherDrive(QStringLiteral("/dev/shm"));
    if (!otherDrive.isValid() || fs.fileId(otherDrive.path())->device == fs.fileId(tree.path())->device)
        GTEST_SKIP() << "/dev/shm is not a drive of its own here";
    const QString from =
        otherDrive.file(QStringLiteral("a.txt"), "across", QDateTime::currentDateTime().addDays(-1));
    const State before = treeState(otherDrive.path());
    move(from, out(QStringLiteral("txt/a.txt")));

    const UndoResult r = undo();
    EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
    EXPECT_EQ(r.restored, 1);
    EXPECT_EQ(treeState(otherDrive.path()), before);
    EXPECT_FALSE(tree.existsFolder(QStringLiteral("out")));
}

TEST_F(UndoTest, AnOverwriteBringsTheOldFilesBackFromTheTrash) {
    for (const TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        SCOPED_TRACE(mode == TransferMode::Copy ? "copy" : "move");
        source(QStringLiteral("a.txt"), "new a");
        source(QStringLiteral("b.txt"), "new b");
        tree.file(QStringLiteral("out/txt/a.txt"), "old a");
        tree.file(QStringLiteral("out/txt/b.txt"), "old b");
        const State before = state();
        overwrite(in(QStringLiteral("a.txt")), out(QStringLiteral("txt/a.txt")), mode);
        overwrite(in(QStringLiteral("b.txt")), out(QStringLiteral("txt/b.txt")), mode);
        ASSERT_EQ(tree.read(QStringLiteral("out/txt/a.txt")), QByteArray("new a"));

        const UndoPlan plan = planUndo(readJournal(journalPath));
        EXPECT_EQ(plan.restore, mode == TransferMode::Copy ? 2 : 4);
        EXPECT_EQ(plan.remove, mode == TransferMode::Copy ? 2 : 0);
        const UndoResult r = undo();
        EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(trashed(), QStringList());

        writer = JournalWriter::begin(journalPath);
        ASSERT_TRUE(writer);
    }
}

// A run killed while it wrote its fourth entry: the fourth file had moved, its line is torn.
TEST_F(UndoTest, AJournalCutInItsLastLineIsUndoneUpToThere) {
    for (int i = 0; i < 4; ++i)
        source(QStringLiteral("f%1").arg(i), QByteArray::number(i));
    const State before = state();
    for (int i = 0; i < 3; ++i)
        move(in(QStringLiteral("f%1").arg(i)), out(QStringLiteral("x/f%1").arg(i)));
    const qint64 whole = QFileInfo(journalPath).size();
    move(in(QStringLiteral("f3")), out(QStringLiteral("x/f3")));
    const qint64 torn = whole + (QFileInfo(journalPath).size() - whole) / 2;
    ASSERT_EQ(::truncate(encodeLocal8(journalPath).constData(), torn), 0);

    const UndoResult r = undo();
    EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
    EXPECT_EQ(r.restored, 3);
    // Everything is where it was, except the one file the journal could not tell of, which
    // stays where the run put it (and so the folder that holds it).
    State expected = before;
    expected.remove(in(QStringLiteral("f3")));
    expected.insert(out(QString()).chopped(1), "dir");
    expected.insert(out(QStringLiteral("x")), "dir");
    expected.insert(out(QStringLiteral("x/f3")), "file:3");
    EXPECT_EQ(state(), expected);
}

// What was changed or taken since the run stays as it is, and says why.
TEST_F(UndoTest, WhatCannotBeUndoneSafelyStaysAndIsReported) {
    struct Case {
        const char* what;
        std::function<void(RunByHand&)> run;    // the run's one transfer
        std::function<void(RunByHand&)> tamper; // what happened since
        QString reason;
    };
    const QString changed = QStringLiteral("文件在分拣后已被改动");
    const QString taken = QStringLiteral("原位置已被另一个文件占用");
    const Case cases[] = {
        {"copy changed since",
         [](RunByHand& t) { t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { t.tree.file(QStringLiteral("out/a"), "edited"); }, changed},
        {"copy rewritten in place, same size",
         [](RunByHand& t) { t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { t.tree.file(QStringLiteral("out/a"), "B"); }, changed},
        {"copy whose source went",
         [](RunByHand& t) { t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { ASSERT_TRUE(t.fs.removeFile(t.in(QStringLiteral("a"))).ok()); },
         QStringLiteral("源文件已不在或已改动，复制出的文件予以保留")},
        {"moved file changed since",
         [](RunByHand& t) { t.move(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { t.tree.file(QStringLiteral("out/a"), "edited"); }, changed},
        {"moved file's old path taken",
         [](RunByHand& t) { t.move(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { t.tree.file(QStringLiteral("in/a"), "newcomer"); }, taken},
        {"moved file gone",
         [](RunByHand& t) { t.move(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) { ASSERT_TRUE(t.fs.removeFile(t.out(QStringLiteral("a"))).ok()); },
         QString::fromLocal8Bit(std::strerror(ENOENT))},
        {"overwriting copy changed since",
         [](RunByHand& t) {
             t.tree.file(QStringLiteral("out/a"), "old");
             t.overwrite(t.in(QStringLiteral("a")), t.out(QStringLiteral("a")), TransferMode::Copy);
         },
         [](RunByHand& t) { t.tree.file(QStringLiteral("out/a"), "edited"); }, changed},
        {"overwriting move, its old path taken",
         [](RunByHand& t) {
             t.tree.file(QStringLiteral("out/a"), "old");
             t.overwrite(t.in(QStringLiteral("a")), t.out(QStringLiteral("a")), TransferMode::Move);
         },
         [](RunByHand& t) { t.tree.file(QStringLiteral("in/a"), "newcomer"); }, taken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunByHand t;
        t.source(QStringLiteral("a"), "A");
        t.tree.folder(QStringLiteral("out")); // not the run's, so it stays whatever happens
        c.run(t);
        c.tamper(t);
        const State before = t.state();
        const QStringList trashedBefore = t.trashed();
        const UndoResult r = t.undo();
        EXPECT_EQ(t.state(), before);
        EXPECT_EQ(t.trashed(), trashedBefore);
        ASSERT_EQ(r.failures.size(), 1u) << describe(r.failures);
        EXPECT_EQ(r.failures[0].path, t.in(QStringLiteral("a")));
        EXPECT_EQ(r.failures[0].target, t.out(QStringLiteral("a")));
        EXPECT_EQ(r.failures[0].reason, c.reason);
    }
}

TEST_F(UndoTest, AnOldFileTakenFromTheTrashSinceIsReportedAndTheRestUndone) {
    source(QStringLiteral("a"), "new");
    tree.file(QStringLiteral("out/a"), "old");
    overwrite(in(QStringLiteral("a")), out(QStringLiteral("a")), TransferMode::Move);
    const QString kept = readJournal(journalPath).back().keptAs;
    ASSERT_TRUE(fs.removeFile(kept).ok()); // the user emptied the trash

    const UndoResult r = undo();
    EXPECT_EQ(tree.read(QStringLiteral("in/a")), QByteArray("new"));
    EXPECT_FALSE(tree.existsFile(QStringLiteral("out/a")));
    ASSERT_EQ(r.failures.size(), 1u) << describe(r.failures);
    EXPECT_EQ(r.failures[0].path, kept);
    EXPECT_EQ(r.failures[0].target, out(QStringLiteral("a")));
    EXPECT_EQ(r.failures[0].reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST_F(UndoTest, FilesOnADriveThatIsGoneStayInTheJournalsReport) {
    const QString drive = tree.folder(QStringLiteral("out/usb"));
    auto mount = std::make_unique<TmpfsMount>(drive, 1 << 20);
    if (!mount->mounted())
        GTEST_SKIP() << mount->error().toStdString();
    source(QStringLiteral("a"), "A");
    source(QStringLiteral("b"), "B");
    move(in(QStringLiteral("a")), out(QStringLiteral("usb/sorted/a")));
    move(in(QStringLiteral("b")), out(QStringLiteral("b")));
    mount.reset();

    const UndoResult r = undo();
    EXPECT_EQ(r.restored, 1);
    EXPECT_EQ(tree.read(QStringLiteral("in/b")), QByteArray("B"));
    ASSERT_EQ(r.failures.size(), 1u) << describe(r.failures);
    EXPECT_EQ(r.failures[0].target, out(QStringLiteral("usb/sorted/a")));
    EXPECT_EQ(r.failures[0].reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST_F(UndoTest, AStoppedUndoSaysHowMuchOfTheJournalIsLeft) {
    for (int i = 0; i < 5; ++i) {
        source(QStringLiteral("f%1").arg(i), "x");
        move(in(QStringLiteral("f%1").arg(i)), out(QStringLiteral("f%1").arg(i)));
    }
    const std::vector<JournalEntry> entries = readJournal(journalPath);
    ASSERT_EQ(entries.size(), 6u); // the folder "out" and five files
    std::vector<int> seen;
    const UndoResult r = runUndo(fs, trash, entries, [&](int done, int total) {
        EXPECT_EQ(total, 6);
        seen.push_back(done);
        return done < 2;
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.restored, 2);
    EXPECT_TRUE(tree.existsFile(QStringLiteral("in/f4")));
    EXPECT_TRUE(tree.existsFile(QStringLiteral("in/f3")));
    EXPECT_TRUE(tree.existsFile(QStringLiteral("out/f2")));
}

TEST(UndoTexts, QuestionAndClosingBox) {
    const auto e = [](JournalKind kind, const char* kept = "") {
        JournalEntry entry;
        entry.kind = kind;
        entry.target = QStringLiteral("/t");
        entry.keptAs = QLatin1String(kept);
        return entry;
    };
    const std::vector<JournalEntry> entries = {
        e(JournalKind::FolderCreated), e(JournalKind::Copy),
        e(JournalKind::NumberedCopy),  e(JournalKind::Move),
        e(JournalKind::NumberedMove),  e(JournalKind::ReplaceCopy, "/trash/files/a"),
        e(JournalKind::ReplaceCopy),   e(JournalKind::ReplaceMove, "/trash/files/b"),
        e(JournalKind::ReplaceMove),
    };
    const UndoPlan plan = planUndo(entries);
    EXPECT_EQ(plan.restore, 6);
    EXPECT_EQ(plan.remove, 4);
    EXPECT_EQ(undoQuestion(plan),
              QStringLiteral("撤销上次分拣：将恢复 6 个文件，删除 4 个复制出的文件。是否继续？"));
    EXPECT_TRUE(planUndo({e(JournalKind::FolderCreated)}).empty());

    UndoResult result;
    UndoReport report = undoReport(result);
    EXPECT_EQ(report.text, QStringLiteral("撤销完成！"));
    EXPECT_EQ(report.line, QString());
    EXPECT_EQ(report.details, QString());

    result.failures = {{QStringLiteral("/in/a"), QStringLiteral("/out/a"), QStringLiteral("原因一")},
                       {QStringLiteral("/out/d"), QString(), QStringLiteral("原因二")}};
    report = undoReport(result);
    EXPECT_EQ(report.text, QStringLiteral("撤销完成！"));
    EXPECT_EQ(report.line, QStringLiteral("有 2 个项目未能撤销。"));
    EXPECT_EQ(report.details, QStringLiteral("/in/a → /out/a：原因一\n/out/d：原因二"));
}

TEST_F(UndoTest, AFolderMadeAgainSinceTheRunIsNotTheRunsAndStays) {
    source(QStringLiteral("a"), "A");
    const QString users = tree.folder(QStringLiteral("users"));
    copy(in(QStringLiteral("a")), out(QStringLiteral("new/a")));
    ASSERT_TRUE(fs.removeFile(out(QStringLiteral("new/a"))).ok());
    ASSERT_TRUE(fs.removeEmptyFolder(out(QStringLiteral("new"))).ok());
    // An empty folder of the user's where the run's was.
    ASSERT_EQ(::rename(encodeLocal8(users).constData(), encodeLocal8(out(QStringLiteral("new"))).constData()),
              0);

    const UndoResult r = undo();
    EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
    EXPECT_EQ(r.foldersRemoved, 0);
    EXPECT_TRUE(tree.existsFolder(QStringLiteral("out/new")));
}
