#include "engine/undo.h"

#include "engine/types.h"

#include "faults/ledger.h"
#include "faults/sandbox.h"
#include "platform/names.h"
#include "platform/text.h"
#include "platform/trash.h"
#include "support/printers.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
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
    RunByHand() : journalPath(stateDir.path(QStringLiteral("files.journal"))) { restart(); }
    void restart() {
        writer = JournalWriter::begin(journalPath, out(QString()));
        ASSERT_TRUE(writer);
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

    void record(JournalKind kind, const QString& from, const QString& to, const QString& kept = QString(),
                const FileStamp& old = FileStamp()) {
        const std::optional<ObjectStamp> made = objectStamp(fs, to);
        ASSERT_TRUE(made) << to.toStdString();
        ASSERT_TRUE(writer->append({kind, from, to, made->stamp, made->changed, kept, old, QString()}));
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
        const std::optional<ObjectStamp> old = objectStamp(fs, to);
        ASSERT_TRUE(old);
        const std::optional<QString> kept = trash.keep(to);
        ASSERT_TRUE(kept);
        const FsResult r = mode == TransferMode::Copy ? fs.copyFile(from, to, FileOps::CopyMode::Replace)
                                                      : fs.moveFile(from, to, FileOps::MoveMode::Replace);
        ASSERT_TRUE(r.ok()) << r.error;
        record(mode == TransferMode::Copy ? JournalKind::ReplaceCopy : JournalKind::ReplaceMove, from, to,
               *kept, old->stamp);
    }

    UndoResult undo() { return runUndo(fs, trash, loadJournal(journalPath)); }

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
    VELQUIN_SKIP_UNLESS_TWO_FILE_SYSTEMS(otherDrive, tree);
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
        // The second replace keeps the first one's file, which changes its change time.
        overwrite(in(QStringLiteral("b.txt")), out(QStringLiteral("txt/a.txt")), mode);
        ASSERT_EQ(tree.read(QStringLiteral("out/txt/a.txt")), QByteArray("new b"));

        const UndoPlan plan = planUndo(readJournal(journalPath));
        EXPECT_EQ(plan.restore, mode == TransferMode::Copy ? 2 : 4);
        EXPECT_EQ(plan.remove, mode == TransferMode::Copy ? 2 : 0);
        const UndoResult r = undo();
        EXPECT_TRUE(r.failures.empty()) << describe(r.failures);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(trashed(), QStringList());

        restart();
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
        {"copy rewritten, its time set back: the change time tells",
         [](RunByHand& t) { t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a"))); },
         [](RunByHand& t) {
             t.tree.file(QStringLiteral("out/a"), "B", TestDir::modified(t.in(QStringLiteral("a"))));
         },
         changed},
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
         systemReason(ENOENT)},
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
    EXPECT_EQ(r.failures[0].reason, systemReason(ENOENT));
}

TEST_F(UndoTest, FilesOnADriveThatIsGoneStayInTheJournalsReport) {
    const QString drive = tree.folder(QStringLiteral("out/usb"));
    auto mount = std::make_unique<TmpfsMount>(drive, 1 << 20);
    VELQUIN_SKIP_UNLESS_MOUNTED(*mount);
    source(QStringLiteral("a"), "A");
    source(QStringLiteral("b"), "B");
    move(in(QStringLiteral("a")), out(QStringLiteral("usb/sorted/a")));
    move(in(QStringLiteral("b")), out(QStringLiteral("b")));
    mount.reset();

    const Journal journal = loadJournal(journalPath);
    const UndoResult r = runUndo(fs, trash, journal);
    EXPECT_EQ(r.restored, 1);
    EXPECT_EQ(tree.read(QStringLiteral("in/b")), QByteArray("B"));
    ASSERT_EQ(r.failures.size(), 1u) << describe(r.failures);
    EXPECT_EQ(r.failures[0].target, out(QStringLiteral("usb/sorted/a")));
    EXPECT_EQ(r.failures[0].reason, systemReason(ENOENT));
    // What is on the drive stays in the journal for an undo once it is back; the rest is done.
    settleJournal(journalPath, journal, r);
    const Journal rest = loadJournal(journalPath);
    ASSERT_EQ(rest.entries.size(), 2u); // the folder made on the drive, and the file
    EXPECT_EQ(rest.entries[1].target, out(QStringLiteral("usb/sorted/a")));
}

TEST_F(UndoTest, AStoppedUndoSaysHowMuchOfTheJournalIsLeft) {
    for (int i = 0; i < 5; ++i) {
        source(QStringLiteral("f%1").arg(i), "x");
        move(in(QStringLiteral("f%1").arg(i)), out(QStringLiteral("f%1").arg(i)));
    }
    const Journal journal = loadJournal(journalPath);
    ASSERT_EQ(journal.entries.size(), 6u); // the folder "out" and five files
    std::vector<int> seen;
    const UndoResult r = runUndo(fs, trash, journal, [&](int done, int total) {
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

    result.stopped = true;
    result.left = 3;
    result.incomplete = true;
    report = undoReport(result);
    EXPECT_EQ(report.text, QStringLiteral("撤销已停止！"));
    EXPECT_EQ(report.line, QStringLiteral("有 2 个项目未能撤销。\n还有 3 个项目尚未撤销。\n"
                                          "撤销记录不完整，其余项目无法撤销。"));

    std::vector<JournalEntry> steps = {e(JournalKind::FolderCreated), e(JournalKind::Copy),
                                       e(JournalKind::ReplaceMove, "/trash/files/b"), e(JournalKind::Link)};
    EXPECT_EQ(undoDetails(steps), QStringLiteral("删除链接 /t\n移回 /t → \n从回收站恢复 /t\n删除 /t\n"
                                                 "删除空文件夹 /t"));
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

// Journals written by hand to name what no run made: undo leaves every file outside the run's
// output folder (the sources and the files in/victim) and the trash byte for byte, and says why.
TEST(UndoHostileJournals, TouchNothingThatIsNotTheRunsOwn) {
    // An entry with the stamps of what is on disk now, so that only the other checks can stop it.
    const auto entry = [](RunByHand& t, JournalKind kind, const QString& from, const char* to,
                          const QString& kept = QString()) {
        JournalEntry e{kind, from, t.tree.path(QLatin1String(to)), {}, {}, kept, {}, {}};
        if (const std::optional<ObjectStamp> made = objectStamp(t.fs, e.target))
            e = {kind, from, e.target, made->stamp, made->changed, kept, {}, {}};
        if (const std::optional<ObjectStamp> old = objectStamp(t.fs, kept))
            e.kept = old->stamp;
        return std::vector{e};
    };
    // The run's copy of in/a, its source then made a link to it.
    const auto relinked = [](RunByHand& t, int (*link)(const char*, const char*), const char* to) {
        t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a")));
        EXPECT_EQ(::unlink(encodeLocal8(t.in(QStringLiteral("a"))).constData()), 0);
        EXPECT_EQ(link(to, encodeLocal8(t.in(QStringLiteral("a"))).constData()), 0);
        return readJournal(t.journalPath);
    };
    const QString outside = QStringLiteral("不在上次分拣的输出目录中，不予处理");
    const QString itself = QStringLiteral("复制出的文件就是源文件本身，不予删除");
    const QString notKept = QStringLiteral("回收站中的文件不是分拣时保留的旧文件，不予恢复");
    const struct {
        const char* what;
        std::function<std::vector<JournalEntry>(RunByHand&)> journal;
        QString reason;
    } cases[] = {
        {"a copy naming one file outside as source and target",
         [&](RunByHand& t) {
             return entry(t, JournalKind::Copy, t.tree.path(QStringLiteral("in/victim/v")), "in/victim/v");
         },
         outside},
        {"a copy inside the output naming one file as source and target",
         [&](RunByHand& t) {
             return entry(t, JournalKind::Copy, t.tree.file(QStringLiteral("out/x"), "only"), "out/x");
         },
         itself},
        {"a source made a link to its copy", [&](RunByHand& t) { return relinked(t, ::symlink, "../out/a"); },
         itself},
        {"a source made a hard link of its copy (which changes the copy's change time)",
         [&](RunByHand& t) {
             return relinked(t, ::link, encodeLocal8(t.out(QStringLiteral("a"))).constData());
         },
         QStringLiteral("文件在分拣后已被改动")},
        {"a copy whose target climbs out of the output",
         [&](RunByHand& t) {
             const QString twin = t.tree.file(QStringLiteral("in/twin"), "precious",
                                              TestDir::modified(t.tree.path(QStringLiteral("in/victim/v"))));
             return entry(t, JournalKind::Copy, twin, "out/../in/victim/v");
         },
         outside},
        {"replaces whose kept files are any file, or one in a folder named files without its note",
         [&](RunByHand& t) {
             t.copy(t.in(QStringLiteral("a")), t.out(QStringLiteral("a")));
             std::vector<JournalEntry> j =
                 entry(t, JournalKind::ReplaceCopy, t.in(QStringLiteral("a")), "out/a",
                       t.tree.file(QStringLiteral("in/victim/files/a"), "precious"));
             j.push_back(entry(t, JournalKind::ReplaceCopy, t.in(QStringLiteral("a")), "out/a",
                               t.tree.path(QStringLiteral("in/victim/v")))[0]);
             return j;
         },
         notKept},
        {"an unrelated file trashed later under the kept file's name",
         [&](RunByHand& t) {
             t.tree.file(QStringLiteral("out/a"), "old");
             t.overwrite(t.in(QStringLiteral("a")), t.out(QStringLiteral("a")), TransferMode::Copy);
             const JournalEntry e = readJournal(t.journalPath).back();
             EXPECT_TRUE(t.fs.removeFile(e.keptAs).ok());
             test::writeWhole(e.keptAs, "unrelated");
             return std::vector{e};
         },
         notKept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunByHand t;
        t.source(QStringLiteral("a"), "A");
        t.tree.file(QStringLiteral("in/victim/v"), "precious");
        t.tree.folder(QStringLiteral("out"));
        const Journal journal{Journal::Problem::None, t.out(QString()), c.journal(t), false};
        const State before = treeState(t.tree.path(QStringLiteral("in")));
        const QStringList trashed = t.trashed();
        const UndoResult r = runUndo(t.fs, t.trash, journal);
        EXPECT_EQ(treeState(t.tree.path(QStringLiteral("in"))), before);
        EXPECT_EQ(t.trashed(), trashed);
        ASSERT_FALSE(r.failures.empty());
        EXPECT_EQ(r.failures.back().reason, c.reason) << describe(r.failures);
        EXPECT_TRUE(r.kept.empty()) << "a refusal is final";
    }
}
