#include "platform/fileops.h"
#include "platform/names.h"
#include "support/faultcalls.h"
#include "support/printers.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::contentOf;
using velquin::test::FaultCalls;
using velquin::test::statOf;
using velquin::test::TestDir;

namespace {

using Mode = FileOps::CopyMode;
using MoveMode = FileOps::MoveMode;

// Names in a folder, sorted, read with our own walker (QDir would skip names that are not UTF-8).
QStringList namesIn(const QString& folder) {
    QStringList names;
    if (auto entries = FileOps().listDir(folder))
        for (const DirEntry& e : *entries)
            names << e.name;
    names.sort();
    return names;
}

void setTimes(const QString& path, qint64 seconds, long nanoseconds) {
    const struct timespec t[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, encodeLocal8(path).constData(), t, AT_SYMLINK_NOFOLLOW), 0);
}

QByteArray sampleData(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return data;
}

} // namespace

TEST(FileOpsQueries, KindsOfPathsAndTheirIdentity) {
    TestDir dir;
    const QString file = dir.file(QStringLiteral("f.txt"), "x");
    const QString folder = dir.folder(QStringLiteral("d"));
    ASSERT_EQ(::symlink("d", encodeLocal8(dir.path(QStringLiteral("toDir"))).constData()), 0);
    ASSERT_EQ(::symlink("f.txt", encodeLocal8(dir.path(QStringLiteral("toFile"))).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", encodeLocal8(dir.path(QStringLiteral("broken"))).constData()), 0);
    FileOps ops;
    struct Case {
        const char* name;
        bool isDir, isFile, exists;
    } cases[] = {{"f.txt", false, true, true},   {"d", true, false, true},
                 {"toDir", true, false, true},   {"toFile", false, true, true},
                 {"broken", false, false, true}, {"missing", false, false, false}};
    for (const Case& c : cases) {
        const QString p = dir.path(QString::fromUtf8(c.name));
        EXPECT_EQ(ops.isDir(p), c.isDir) << c.name;
        EXPECT_EQ(ops.isFile(p), c.isFile) << c.name;
        EXPECT_EQ(ops.exists(p), c.exists) << c.name;
    }
    EXPECT_EQ(ops.fileId(dir.path(QStringLiteral("toFile"))), ops.fileId(file));
    EXPECT_EQ(ops.fileId(dir.path(QStringLiteral("toDir"))), ops.fileId(folder));
    EXPECT_NE(ops.fileId(file), ops.fileId(folder));
    EXPECT_FALSE(ops.fileId(dir.path(QStringLiteral("broken"))));
}

TEST(FileOpsQueries, MakePathCreatesParentsAndRefusesFiles) {
    TestDir dir;
    FileOps ops;
    EXPECT_TRUE(ops.makePath(dir.path(QStringLiteral("a/b//c/"))).ok());
    EXPECT_TRUE(ops.isDir(dir.path(QStringLiteral("a/b/c"))));
    EXPECT_TRUE(ops.makePath(dir.path(QStringLiteral("a/b"))).ok()); // already there
    dir.file(QStringLiteral("plain"), "x");
    EXPECT_EQ(ops.makePath(dir.path(QStringLiteral("plain/sub"))).error, ENOTDIR);
    EXPECT_FALSE(ops.makePath(QString()).ok());
}

TEST(FileOpsQueries, ListDirKeepsEveryNameAndKind) {
    TestDir dir;
    const QString odd = decodeLocal8(QByteArray("\xD6\xD0\xCE\xC4.jpg")); // GBK bytes, not UTF-8
    dir.folder(QStringLiteral("sub"));
    dir.file(QStringLiteral(".hidden"), "h");
    dir.file(QStringLiteral("plain.txt"), "p");
    const int fd = ::open(encodeLocal8(dir.path(odd)).constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::symlink("sub", encodeLocal8(dir.path(QStringLiteral("linkDir"))).constData()), 0);
    ASSERT_EQ(::symlink("plain.txt", encodeLocal8(dir.path(QStringLiteral("linkFile"))).constData()), 0);

    const auto entries = FileOps().listDir(dir.path());
    ASSERT_TRUE(entries);
    struct Seen {
        bool isDir, isSymlink, isHidden;
        bool operator==(const Seen&) const = default;
    };
    std::map<QString, Seen> seen;
    for (const DirEntry& e : *entries)
        seen[e.name] = {e.isDir, e.isSymlink, e.isHidden};
    const std::map<QString, Seen> expected = {
        {QStringLiteral("sub"), {true, false, false}},
        {QStringLiteral(".hidden"), {false, false, true}},
        {QStringLiteral("plain.txt"), {false, false, false}},
        {odd, {false, false, false}},
        {QStringLiteral("linkDir"), {true, true, false}},
        {QStringLiteral("linkFile"), {false, true, false}},
    };
    EXPECT_TRUE(seen == expected);
    EXPECT_FALSE(FileOps().listDir(dir.path(QStringLiteral("missing"))));
    EXPECT_FALSE(FileOps().listDir(dir.path(QStringLiteral("plain.txt"))));
    // A listing that fails part-way is no listing, not a shorter one, and its stream is released.
    for (const FaultCalls::Call call : {FaultCalls::Open, FaultCalls::Fdopendir, FaultCalls::Readdir}) {
        auto calls = std::make_shared<FaultCalls>();
        calls->failCall(call, call == FaultCalls::Readdir ? 3 : 1, EIO);
        EXPECT_FALSE(FileOps(calls).listDir(dir.path())) << call;
        EXPECT_EQ(calls->count(FaultCalls::Closedir), call == FaultCalls::Readdir ? 1 : 0) << call;
    }
    ::unlink(encodeLocal8(dir.path(odd)).constData()); // QTemporaryDir cannot see it to remove it
}

TEST(FileOpsQueries, TimesAndSizesOfFilesOnly) {
    TestDir dir;
    const QString file = dir.file(QStringLiteral("f.bin"), sampleData(1234));
    setTimes(file, 1700000000, 123456789);
    const QString folder = dir.folder(QStringLiteral("d"));
    const QString missing = dir.path(QStringLiteral("missing"));
    const QString fifo = dir.path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(encodeLocal8(fifo).constData(), 0644), 0);
    FileOps ops;

    EXPECT_EQ(ops.openedFileSize(file), 1234);
    EXPECT_EQ(ops.modificationTimeOpened(file), (FileTime{1700000000, 123456789}));
    const auto entry = ops.entryTime(file);
    ASSERT_TRUE(entry);
    // Birth time where the file system records it (just now), else the modification time.
    struct statx sx;
    ASSERT_EQ(::statx(AT_FDCWD, encodeLocal8(file).constData(), 0, STATX_BTIME, &sx), 0);
    if (sx.stx_mask & STATX_BTIME) {
        EXPECT_EQ(entry, (FileTime{sx.stx_btime.tv_sec, static_cast<qint32>(sx.stx_btime.tv_nsec)}));
    } else {
        EXPECT_EQ(entry, (FileTime{1700000000, 123456789}));
    }
    for (const QString& p : {folder, missing}) {
        EXPECT_FALSE(ops.openedFileSize(p));
        EXPECT_FALSE(ops.modificationTimeOpened(p));
        EXPECT_FALSE(ops.entryTime(p));
    }
    // A FIFO with no writer must not block the probe.
    EXPECT_EQ(ops.openedFileSize(fifo), 0);
    EXPECT_TRUE(ops.modificationTimeOpened(fifo));
}

TEST(FileOpsQueries, SameContentComparesSizeThenEveryByte) {
    TestDir dir;
    // Larger than one comparison buffer, so that a difference in a later chunk counts.
    const QByteArray data = sampleData(3 << 20);
    QByteArray late = data;
    late[late.size() - 1] = char(late.back() ^ 1);
    const QString a = dir.file(QStringLiteral("a"), data);
    const QString fifo = dir.path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(encodeLocal8(fifo).constData(), 0644), 0);
    FileOps ops;
    EXPECT_EQ(ops.sameContent(a, dir.file(QStringLiteral("b"), data)), true);
    EXPECT_EQ(ops.sameContent(a, dir.file(QStringLiteral("c"), late)), false);
    EXPECT_EQ(ops.sameContent(a, dir.file(QStringLiteral("d"), data + 'x')), false);
    EXPECT_EQ(ops.sameContent(dir.file(QStringLiteral("e")), dir.file(QStringLiteral("f"))), true);
    int error = 0;
    EXPECT_FALSE(ops.sameContent(a, dir.path(QStringLiteral("missing")), &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(ops.sameContent(fifo, a, &error));
    EXPECT_EQ(error, EINVAL);
    auto calls = std::make_shared<FaultCalls>();
    calls->failCall(FaultCalls::Pread, 2, EIO);
    EXPECT_FALSE(FileOps(calls).sameContent(a, dir.path(QStringLiteral("b")), &error));
    EXPECT_EQ(error, EIO);
}

TEST(FileOpsCopy, ModesAgainstExistingAndMissingTargets) {
    struct Case {
        Mode mode;
        bool targetExists;
        int error;
        const char* content;
    } cases[] = {{Mode::FailIfExists, false, 0, "new"},
                 {Mode::FailIfExists, true, EEXIST, "old"},
                 {Mode::Replace, false, 0, "new"},
                 {Mode::Replace, true, 0, "new"}};
    for (const Case& c : cases) {
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.txt"), "new");
        if (c.targetExists)
            dir.file(QStringLiteral("out/t.txt"), "old");
        else
            dir.folder(QStringLiteral("out"));
        const FsResult r = FileOps().copyFile(src, dir.path(QStringLiteral("out/t.txt")), c.mode);
        EXPECT_EQ(r.error, c.error) << int(c.mode) << c.targetExists;
        EXPECT_EQ(contentOf(dir.path(QStringLiteral("out/t.txt"))), QByteArray(c.content));
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("out"))), QStringList{QStringLiteral("t.txt")});
        EXPECT_EQ(contentOf(src), QByteArray("new"));
    }
}

TEST(FileOpsCopy, KeepsContentTimeAndModeAndIsNotALink) {
    TestDir dir;
    const QByteArray data = sampleData(3 * 1024 * 1024 + 17);
    const QString src = dir.file(QStringLiteral("big.bin"), data);
    ASSERT_EQ(::chmod(encodeLocal8(src).constData(), 0741), 0);
    setTimes(src, 1600000000, 987654321);
    const QString empty = dir.file(QStringLiteral("empty"), QByteArray());
    FileOps ops;
    for (Mode mode : {Mode::FailIfExists, Mode::Replace}) {
        const QString dst = dir.path(QStringLiteral("copy%1.bin").arg(int(mode)));
        ASSERT_TRUE(ops.copyFile(src, dst, mode).ok());
        EXPECT_EQ(contentOf(dst), data);
        const struct stat a = statOf(src), b = statOf(dst);
        EXPECT_EQ(b.st_mode & 07777, 0741u);
        EXPECT_EQ(b.st_mtim.tv_sec, 1600000000);
        EXPECT_EQ(b.st_mtim.tv_nsec, a.st_mtim.tv_nsec); // as fine as the file system keeps it
        EXPECT_NE(b.st_ino, a.st_ino);
        EXPECT_EQ(b.st_nlink, 1u);
    }
    EXPECT_TRUE(ops.copyFile(empty, dir.path(QStringLiteral("empty2")), Mode::FailIfExists).ok());
    EXPECT_EQ(contentOf(dir.path(QStringLiteral("empty2"))), QByteArray());
}

TEST(FileOpsCopy, RefusesWhatIsNotAFileCopy) {
    TestDir dir;
    const QString src = dir.file(QStringLiteral("s.txt"), "data");
    const QString folder = dir.folder(QStringLiteral("folder"));
    dir.file(QStringLiteral("folder/inside"), "keep");
    ASSERT_EQ(::symlink("nowhere", encodeLocal8(dir.path(QStringLiteral("dangling"))).constData()), 0);
    FileOps ops;
    struct Case {
        QString source, target;
        Mode mode;
        int error;
    } cases[] = {
        {dir.path(QStringLiteral("missing")), dir.path(QStringLiteral("t1")), Mode::Replace, ENOENT},
        {folder, dir.path(QStringLiteral("t2")), Mode::Replace, EISDIR},
        {src, folder, Mode::Replace, EISDIR},
        {src, folder, Mode::FailIfExists, EEXIST},
        {src, dir.path(QStringLiteral("dangling")), Mode::FailIfExists, EEXIST},
        {src, dir.path(QStringLiteral("nofolder/t3")), Mode::Replace, ENOENT},
    };
    for (const Case& c : cases) {
        const FsResult r = ops.copyFile(c.source, c.target, c.mode);
        EXPECT_EQ(r.error, c.error) << qPrintable(c.source) << " -> " << qPrintable(c.target);
    }
    EXPECT_EQ(namesIn(dir.path()),
              (QStringList{QStringLiteral("dangling"), QStringLiteral("folder"), QStringLiteral("s.txt")}));
    EXPECT_EQ(namesIn(folder), QStringList{QStringLiteral("inside")});
    EXPECT_EQ(contentOf(src), QByteArray("data"));
}

// Every way of naming the same file as its own target: nothing may be truncated or removed.
TEST(FileOpsSameFile, CopyAndMoveOntoItselfLeaveItWhole) {
    TestDir dir;
    const QString file = dir.file(QStringLiteral("sub/a.txt"), "precious");
    ASSERT_EQ(::link(encodeLocal8(file).constData(),
                     encodeLocal8(dir.path(QStringLiteral("sub/hard"))).constData()),
              0);
    ASSERT_EQ(::symlink("a.txt", encodeLocal8(dir.path(QStringLiteral("sub/soft"))).constData()), 0);
    const QStringList targets = {file, dir.path(QStringLiteral("sub/./a.txt")),
                                 dir.path(QStringLiteral("sub//a.txt")), dir.path(QStringLiteral("sub/hard")),
                                 dir.path(QStringLiteral("sub/soft"))};
    FileOps ops;
    for (const QString& target : targets) {
        EXPECT_TRUE(ops.copyFile(file, target, Mode::Replace).ok()) << qPrintable(target);
        EXPECT_EQ(ops.copyFile(file, target, Mode::FailIfExists).error, EEXIST) << qPrintable(target);
        EXPECT_TRUE(ops.copyFile(target, file, Mode::Replace).ok()) << qPrintable(target);
        EXPECT_TRUE(ops.moveFile(file, target, MoveMode::Replace).ok()) << qPrintable(target);
        EXPECT_EQ(ops.moveFile(file, target, MoveMode::NoReplace).error, EEXIST) << qPrintable(target);
        EXPECT_TRUE(ops.moveFile(target, file, MoveMode::Replace).ok()) << qPrintable(target);
        EXPECT_EQ(contentOf(file), QByteArray("precious"));
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("sub"))),
                  (QStringList{QStringLiteral("a.txt"), QStringLiteral("hard"), QStringLiteral("soft")}));
        EXPECT_EQ(statOf(file).st_nlink, 2u);
    }
}

// A copy that fails at any step leaves no file (and no temporary) at the target, the source
// as it was, and an old target whole. Run once with unnamed temporaries and once with the
// hidden named ones used where the file system refuses those.
TEST(FileOpsCopy, FailureAtAnyStepLeavesNothingBehind) {
    struct Fault {
        const char* what;
        FaultCalls::Call call; // CallCount: run out of space instead
        int error;
    } faults[] = {{"no space half-way", FaultCalls::CallCount, ENOSPC},
                  {"write error", FaultCalls::Write, EIO},
                  {"read error", FaultCalls::Read, EIO},
                  {"lseek", FaultCalls::Lseek, EIO},
                  {"linkat", FaultCalls::Linkat, EIO},
                  {"rename", FaultCalls::Rename, EIO},
                  {"close", FaultCalls::Close, EIO}};
    const QByteArray data = sampleData(200000);
    for (bool unnamed : {true, false}) {
        for (const Fault& f : faults) {
            for (Mode mode : {Mode::FailIfExists, Mode::Replace}) {
                SCOPED_TRACE(QStringLiteral("%1, mode %2, %3")
                                 .arg(QString::fromUtf8(f.what))
                                 .arg(int(mode))
                                 .arg(unnamed ? QStringLiteral("O_TMPFILE") : QStringLiteral("hidden temp"))
                                 .toStdString());
                TestDir dir;
                const QString src = dir.file(QStringLiteral("src/s.bin"), data);
                // Only a source with holes is sought through.
                const QByteArray expected =
                    data + QByteArray(f.call == FaultCalls::Lseek ? 1 << 20 : 0, '\0');
                ASSERT_EQ(::truncate(encodeLocal8(src).constData(), expected.size()), 0);
                const bool replacing = mode == Mode::Replace;
                if (replacing)
                    dir.file(QStringLiteral("out/t.bin"), "old target");
                else
                    dir.folder(QStringLiteral("out"));
                auto calls = std::make_shared<FaultCalls>();
                if (!unnamed)
                    calls->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
                // Reads and writes only happen on the plain path: force it for those faults.
                if (f.call == FaultCalls::Read || f.call == FaultCalls::Write) {
                    calls->failCall(FaultCalls::CopyFileRange, 0, EXDEV);
                    calls->failCall(FaultCalls::Sendfile, 0, EINVAL);
                }
                if (f.call == FaultCalls::CallCount)
                    calls->spaceFor(70000);
                else if (f.call == FaultCalls::Close)
                    calls->failCall(f.call, 0, f.error);
                else
                    calls->failCall(f.call, f.call == FaultCalls::Read ? 2 : 1, f.error);
                const FsResult r = FileOps(calls).copyFile(src, dir.path(QStringLiteral("out/t.bin")), mode);
                const bool stepReached = (f.call != FaultCalls::Linkat || !replacing || unnamed) &&
                                         (f.call != FaultCalls::Rename || replacing) &&
                                         (f.call != FaultCalls::Close || !unnamed);
                if (!stepReached) {
                    EXPECT_TRUE(r.ok());
                    continue;
                }
                EXPECT_EQ(r.error, f.error);
                EXPECT_EQ(namesIn(dir.path(QStringLiteral("out"))),
                          replacing ? QStringList{QStringLiteral("t.bin")} : QStringList());
                if (replacing) {
                    EXPECT_EQ(contentOf(dir.path(QStringLiteral("out/t.bin"))), QByteArray("old target"));
                }
                EXPECT_EQ(contentOf(src), expected);
            }
        }
    }
}

// Targets that refuse permission bits or times (FAT through FUSE gives ENOSYS, exFAT refuses set-id
// bits) still get the data; a refused chmod leaves the copy private, never wider than the source.
TEST(FileOpsCopy, RefusedModeOrTimesStillCopyTheData) {
    struct Refusal {
        const char* what;
        FaultCalls::Call call;
        int error;
        unsigned sourceMode;
        unsigned expectedMode;
    } refusals[] = {{"chmod not implemented", FaultCalls::Fchmod, ENOSYS, 0644, 0600},
                    {"chmod refused", FaultCalls::Fchmod, EPERM, 0755, 0600},
                    {"set-id bits refused", FaultCalls::Fchmod, EPERM, 02755, 0755},
                    {"times not implemented", FaultCalls::Futimens, ENOSYS, 0640, 0640},
                    {"attributes refused", FaultCalls::Flistxattr, EOPNOTSUPP, 0640, 0640}};
    const QByteArray data = sampleData(100000);
    for (const Refusal& r : refusals) {
        for (Mode mode : {Mode::FailIfExists, Mode::Replace}) {
            SCOPED_TRACE(testing::Message() << r.what << ", mode " << int(mode));
            TestDir dir;
            const QString src = dir.file(QStringLiteral("s.bin"), data);
            ASSERT_EQ(::chmod(encodeLocal8(src).constData(), r.sourceMode), 0);
            if (mode == Mode::Replace)
                dir.file(QStringLiteral("t.bin"), "old");
            auto calls = std::make_shared<FaultCalls>();
            // The first attempt only: a retry without set-id bits is allowed to succeed.
            calls->failCall(r.call, r.sourceMode & 07000 ? 1 : 0, r.error);
            const FsResult result = FileOps(calls).copyFile(src, dir.path(QStringLiteral("t.bin")), mode);
            EXPECT_TRUE(result.ok()) << result.error;
            EXPECT_EQ(contentOf(dir.path(QStringLiteral("t.bin"))), data);
            EXPECT_EQ(statOf(dir.path(QStringLiteral("t.bin"))).st_mode & 07777, r.expectedMode);
            EXPECT_EQ(namesIn(dir.path()), (QStringList{QStringLiteral("s.bin"), QStringLiteral("t.bin")}));
        }
    }
}

TEST(FileOpsCopy, EveryWayOfCopyingGivesTheSameBytes) {
    struct Way {
        const char* what;
        bool noRange, noSendfile;
        unsigned long chunk;
    } ways[] = {{"copy_file_range", false, false, 0},
                {"sendfile", true, false, 0},
                {"read/write", true, true, 0},
                {"short in-kernel copies", false, false, 4093},
                {"short writes", true, true, 1000}};
    const QByteArray data = sampleData(300001);
    for (const Way& w : ways) {
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.bin"), data);
        auto calls = std::make_shared<FaultCalls>();
        if (w.noRange)
            calls->failCall(FaultCalls::CopyFileRange, 0, EXDEV);
        if (w.noSendfile)
            calls->failCall(FaultCalls::Sendfile, 0, EINVAL);
        calls->shortWrites(w.chunk);
        EXPECT_TRUE(FileOps(calls).copyFile(src, dir.path(QStringLiteral("t.bin")), Mode::FailIfExists).ok())
            << w.what;
        EXPECT_EQ(contentOf(dir.path(QStringLiteral("t.bin"))), data) << w.what;
    }
}

// Files whose recorded size is 0 although they hold data are copied to their real end.
TEST(FileOpsCopy, RecordedSizeIsNotTrusted) {
    const QString source = QStringLiteral("/proc/version");
    const auto expected = contentOf(source);
    if (!expected || expected->isEmpty() || statOf(source).st_size != 0)
        GTEST_SKIP() << "no /proc/version with a recorded size of 0";
    TestDir dir;
    ASSERT_TRUE(FileOps().copyFile(source, dir.path(QStringLiteral("v")), Mode::FailIfExists).ok());
    EXPECT_EQ(contentOf(dir.path(QStringLiteral("v"))), expected);
}

// A file system with neither O_TMPFILE, hard links nor RENAME_NOREPLACE still gets copies that
// do not replace a target, also one that appears while the data is being written.
TEST(FileOpsCopy, WithoutLinksOrNoReplaceRenameStillNeverReplaces) {
    for (bool appears : {false, true}) {
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.txt"), "new");
        auto calls = std::make_shared<FaultCalls>();
        calls->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
        calls->failCall(FaultCalls::Linkat, 0, EPERM);
        calls->failCall(FaultCalls::RenameNoReplace, 0, EINVAL);
        calls->beforeEachCall([&](FaultCalls::Call call) {
            if (appears && call == FaultCalls::Linkat)
                dir.file(QStringLiteral("t.txt"), "old");
        });
        const FsResult r =
            FileOps(calls).copyFile(src, dir.path(QStringLiteral("t.txt")), Mode::FailIfExists);
        EXPECT_EQ(r.error, appears ? EEXIST : 0);
        EXPECT_EQ(contentOf(dir.path(QStringLiteral("t.txt"))), QByteArray(appears ? "old" : "new"));
        EXPECT_EQ(namesIn(dir.path()), (QStringList{QStringLiteral("s.txt"), QStringLiteral("t.txt")}));
    }
}

TEST(FileOpsNames, UnusualNamesCopyAndMove) {
    const QString names[] = {
        decodeLocal8(QByteArray("\xD6\xD0\xCE\xC4\xFF.jpg")),
        QString(255, QLatin1Char('n')),
        QString::fromUtf8("照片 二〇二四.jpg"),
        QStringLiteral("back\\slash:colon.txt"),
    };
    for (const QString& name : names) {
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.txt"), "content");
        FileOps ops;
        ASSERT_TRUE(ops.makePath(dir.path(QStringLiteral("c"))).ok());
        ASSERT_TRUE(ops.makePath(dir.path(QStringLiteral("m"))).ok());
        // One long name still leaves room for a hidden temporary beside it.
        auto hidden = std::make_shared<FaultCalls>();
        hidden->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
        EXPECT_TRUE(ops.copyFile(src, dir.path(QStringLiteral("c/") + name), Mode::FailIfExists).ok());
        EXPECT_TRUE(FileOps(hidden).copyFile(src, dir.path(QStringLiteral("c/") + name), Mode::Replace).ok());
        EXPECT_TRUE(ops.moveFile(dir.path(QStringLiteral("c/") + name), dir.path(QStringLiteral("m/") + name),
                                 MoveMode::NoReplace)
                        .ok());
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("c"))), QStringList());
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("m"))), QStringList{name});
        EXPECT_EQ(contentOf(dir.path(QStringLiteral("m/") + name)), QByteArray("content"));
        ::unlink(encodeLocal8(dir.path(QStringLiteral("m/") + name)).constData());
    }
}

TEST(FileOpsMove, WithinOneFileSystem) {
    struct Case {
        MoveMode mode;
        bool targetExists;
        bool noRenameFlag; // the file system answers RENAME_NOREPLACE with EINVAL
        int error;
    } cases[] = {{MoveMode::NoReplace, false, false, 0}, {MoveMode::NoReplace, true, false, EEXIST},
                 {MoveMode::NoReplace, false, true, 0},  {MoveMode::NoReplace, true, true, EEXIST},
                 {MoveMode::Replace, false, false, 0},   {MoveMode::Replace, true, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << c.targetExists << c.noRenameFlag);
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.txt"), "moved");
        const ino_t inode = statOf(src).st_ino;
        if (c.targetExists)
            dir.file(QStringLiteral("t.txt"), "there");
        auto calls = std::make_shared<FaultCalls>();
        if (c.noRenameFlag)
            calls->failCall(FaultCalls::RenameNoReplace, 0, EINVAL);
        const QString dst = dir.path(QStringLiteral("t.txt"));
        const FsResult r = FileOps(calls).moveFile(src, dst, c.mode);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.wrote, c.error == 0);
        EXPECT_EQ(r.replaced, c.error == 0 && c.targetExists);
        if (c.error == 0) {
            EXPECT_EQ(r.made, FileOps().stamp(dst));
            EXPECT_EQ(namesIn(dir.path()), QStringList{QStringLiteral("t.txt")});
            EXPECT_EQ(statOf(dst).st_ino, inode); // renamed, not copied
            EXPECT_EQ(statOf(dst).st_nlink, 1u);
        } else {
            EXPECT_EQ(contentOf(src), QByteArray("moved"));
            EXPECT_EQ(contentOf(dst), QByteArray("there"));
        }
        if (c.noRenameFlag && !c.targetExists) {
            EXPECT_EQ(calls->count(FaultCalls::Link), 1);
        }
    }
}

TEST(FileOpsMove, AcrossFileSystemsKeepsEverythingAndRemovesTheSource) {
    TestDir shm(QStringLiteral("/dev/shm"));
    TestDir disk;
    VELQUIN_SKIP_UNLESS_TWO_FILE_SYSTEMS(shm, disk);
    const QByteArray data = sampleData(123457);
    for (MoveMode mode : {MoveMode::NoReplace, MoveMode::Replace}) {
        const QString src = shm.file(QStringLiteral("s%1.bin").arg(int(mode)), data);
        ASSERT_EQ(::chmod(encodeLocal8(src).constData(), 0604), 0);
        setTimes(src, 1500000000, 111222333);
        const QString dst = disk.path(QStringLiteral("t%1.bin").arg(int(mode)));
        if (mode == MoveMode::Replace)
            disk.file(QStringLiteral("t%1.bin").arg(int(mode)), "old");
        EXPECT_TRUE(FileOps().moveFile(src, dst, mode).ok());
        EXPECT_FALSE(FileOps().exists(src));
        EXPECT_EQ(contentOf(dst), data);
        const struct stat st = statOf(dst);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 111222333);
    }
    // A target in the way stays, and so does the source; a failed copy keeps the source.
    const QString src = shm.file(QStringLiteral("again.bin"), data);
    disk.file(QStringLiteral("again.bin"), "in the way");
    EXPECT_EQ(FileOps().moveFile(src, disk.path(QStringLiteral("again.bin")), MoveMode::NoReplace).error,
              EEXIST);
    auto full = std::make_shared<FaultCalls>();
    full->spaceFor(1000);
    EXPECT_EQ(FileOps(full).moveFile(src, disk.path(QStringLiteral("other.bin")), MoveMode::NoReplace).error,
              ENOSPC);
    EXPECT_EQ(contentOf(src), data);
    EXPECT_EQ(contentOf(disk.path(QStringLiteral("again.bin"))), QByteArray("in the way"));
    EXPECT_FALSE(FileOps().exists(disk.path(QStringLiteral("other.bin"))));
    // A failed replace across file systems keeps the old target and the source.
    full->spaceFor(1000);
    EXPECT_EQ(FileOps(full).moveFile(src, disk.path(QStringLiteral("again.bin")), MoveMode::Replace).error,
              ENOSPC);
    EXPECT_EQ(contentOf(src), data);
    EXPECT_EQ(contentOf(disk.path(QStringLiteral("again.bin"))), QByteArray("in the way"));
    EXPECT_EQ(namesIn(disk.path()),
              (QStringList{QStringLiteral("again.bin"), QStringLiteral("t0.bin"), QStringLiteral("t1.bin")}));
}

TEST(FileOpsMove, AcrossFileSystemsASourceChangedDuringTheCopyStays) {
    TestDir shm(QStringLiteral("/dev/shm"));
    TestDir disk;
    VELQUIN_SKIP_UNLESS_TWO_FILE_SYSTEMS(shm, disk);
    const QString src = shm.file(QStringLiteral("live.log"), sampleData(5000));
    auto calls = std::make_shared<FaultCalls>();
    // The writer below runs on the copying thread, which a read lease would keep waiting for the
    // lease to be broken; without one the copy is compared with the source (the lease itself is
    // proved with a writer of its own in the fault suite).
    calls->failCall(FaultCalls::SetLease, 0, EAGAIN);
    bool appended = false;
    calls->beforeEachCall([&](FaultCalls::Call call) {
        if (call == FaultCalls::CopyFileRange && !appended) {
            appended = true;
            const int fd = ::open(encodeLocal8(src).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
            ASSERT_EQ(::write(fd, "late line", 9), 9);
            ::close(fd);
            setTimes(src, 1700000001, 5);
        }
    });
    const FsResult r =
        FileOps(calls).moveFile(src, disk.path(QStringLiteral("live.log")), MoveMode::NoReplace);
    EXPECT_EQ(r.error, EBUSY);
    EXPECT_EQ(contentOf(src), sampleData(5000) + "late line");
    EXPECT_EQ(namesIn(disk.path()), QStringList()); // the copy it made is taken back
}

// Where the unnamed file cannot be given a name (no /proc, a file system refusing the link),
// the copy is made again through a hidden temporary and nothing is left twice.
TEST(FileOpsCopy, UnnamedFileThatCannotBeNamedFallsBackToHiddenTemporary) {
    for (Mode mode : {Mode::FailIfExists, Mode::Replace}) {
        TestDir dir;
        const QString src = dir.file(QStringLiteral("s.bin"), sampleData(70000));
        if (mode == Mode::Replace)
            dir.file(QStringLiteral("out/t.bin"), "old");
        else
            dir.folder(QStringLiteral("out"));
        auto calls = std::make_shared<FaultCalls>();
        calls->failCall(FaultCalls::Linkat, 1, EPERM);
        EXPECT_TRUE(FileOps(calls).copyFile(src, dir.path(QStringLiteral("out/t.bin")), mode).ok());
        EXPECT_EQ(calls->count(FaultCalls::Openat), 2); // O_TMPFILE, then the hidden name
        EXPECT_EQ(contentOf(dir.path(QStringLiteral("out/t.bin"))), sampleData(70000));
        EXPECT_EQ(namesIn(dir.path(QStringLiteral("out"))), QStringList{QStringLiteral("t.bin")});
    }
}

namespace {

// Keeps an old target as a hard link in a trash folder and records every call.
class LinkingKeeper : public ReplaceKeeper {
public:
    explicit LinkingKeeper(QString trash, int refuse = 0) : trash_(std::move(trash)), refuse_(refuse) {}
    KeptFile keep(const QString& target) override {
        calls.append(QStringLiteral("keep ") + target);
        if (refuse_)
            return KeptFile{QString(), EACCES};
        const QString kept = trash_ + QStringLiteral("/kept%1").arg(calls.size());
        if (::link(encodeLocal8(target).constData(), encodeLocal8(kept).constData()) != 0)
            return KeptFile{QString(), errno};
        return KeptFile{kept, 0};
    }
    bool replaceUnkept(const QString&, int error) override { return error == EACCES && refuse_ < 2; }
    void release(const QString& target, const QString& keptAs) override {
        calls.append(QStringLiteral("release ") + target);
        ::unlink(encodeLocal8(keptAs).constData());
    }
    QStringList calls;

private:
    QString trash_;
    int refuse_;
};

// Answers every chunk, and stops the copy at chunk `stopAt` (0: never).
class CountingProgress : public CopyProgress {
public:
    explicit CountingProgress(int stopAt = 0) : stopAt_(stopAt) {}
    bool copied(qint64 done, qint64 total) override {
        seen.push_back({done, total});
        return stopAt_ == 0 || int(seen.size()) < stopAt_;
    }
    std::vector<std::pair<qint64, qint64>> seen;

private:
    int stopAt_;
};

bool haveShm() {
    TestDir shm(QStringLiteral("/dev/shm"));
    TestDir disk;
    return shm.isValid() && statOf(shm.path()).st_dev != statOf(disk.path()).st_dev;
}

} // namespace

// The keeper hears of an old regular target right before it is replaced, and gets it back when the
// replace did not happen; new targets and refused replaces never reach it.
TEST(FileOpsHooks, TheKeeperIsAskedRightBeforeATargetIsReplaced) {
    enum class Op { Copy, CopyHidden, MoveWithin, MoveAcross };
    struct Case {
        const char* what;
        Op op;
        bool targetExists;
        bool renameFails;  // for a move across file systems: the removal of the source fails
        int keeperRefuses; // 1 cannot keep, 2 cannot keep and forbids the replace
        bool writeProtected;
        QStringList calls; // "keep" / "release", the target appended
        int error;
    } cases[] = {
        {"copy over a file", Op::Copy, true, false, false, false, {QStringLiteral("keep")}, 0},
        {"copy through a hidden temporary",
         Op::CopyHidden,
         true,
         false,
         false,
         false,
         {QStringLiteral("keep")},
         0},
        {"move within", Op::MoveWithin, true, false, false, false, {QStringLiteral("keep")}, 0},
        {"move across", Op::MoveAcross, true, false, false, false, {QStringLiteral("keep")}, 0},
        {"copy to a new name", Op::Copy, false, false, false, false, {}, 0},
        {"move to a new name", Op::MoveWithin, false, false, false, false, {}, 0},
        {"a keeper that cannot keep", Op::Copy, true, false, 1, false, {QStringLiteral("keep")}, 0},
        {"a move across, forbidden", Op::MoveAcross, true, false, 2, false, {QStringLiteral("keep")}, EACCES},
        {"the rename fails",
         Op::Copy,
         true,
         true,
         false,
         false,
         {QStringLiteral("keep"), QStringLiteral("release")},
         EIO},
        {"the rename of a move fails",
         Op::MoveWithin,
         true,
         true,
         false,
         false,
         {QStringLiteral("keep"), QStringLiteral("release")},
         EIO},
        {"a move across whose source cannot be removed",
         Op::MoveAcross,
         true,
         true,
         false,
         false,
         {QStringLiteral("keep"), QStringLiteral("release")},
         EIO},
        {"a write-protected target", Op::Copy, true, false, false, true, {}, EACCES},
        {"a write-protected target of a move", Op::MoveAcross, true, false, false, true, {}, EACCES},
    };
    const bool shm = haveShm();
    for (const Case& c : cases) {
        if (c.op == Op::MoveAcross && !shm)
            continue;
        SCOPED_TRACE(c.what);
        TestDir dir;
        TestDir other(c.op == Op::MoveAcross ? QStringLiteral("/dev/shm") : QString());
        const QString trash = dir.folder(QStringLiteral("trash"));
        const QString src = other.file(QStringLiteral("s.txt"), "new content");
        const QString target = dir.path(QStringLiteral("t.txt"));
        if (c.targetExists)
            dir.file(QStringLiteral("t.txt"), "old content");
        if (c.writeProtected) {
            ASSERT_EQ(::chmod(encodeLocal8(target).constData(), 0444), 0);
        }
        auto calls = std::make_shared<FaultCalls>();
        if (c.op == Op::CopyHidden)
            calls->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
        if (c.renameFails && c.op != Op::MoveAcross)
            calls->failCall(FaultCalls::Rename, 1, EIO);
        if (c.renameFails && c.op == Op::MoveAcross) {
            calls->beforeEachCall([&](FaultCalls::Call call) {
                if (call == FaultCalls::Rename)
                    calls->failCall(FaultCalls::Unlink, 1, EIO); // the next removal: the source's
            });
        }
        LinkingKeeper keeper(trash, c.keeperRefuses);
        const TransferHooks hooks{nullptr, &keeper};
        const FileOps ops(calls);
        const FsResult r = c.op == Op::Copy || c.op == Op::CopyHidden
                               ? ops.copyFile(src, target, Mode::Replace, hooks)
                               : ops.moveFile(src, target, MoveMode::Replace, hooks);
        EXPECT_EQ(r.error, c.error);
        QStringList expected;
        for (const QString& call : c.calls)
            expected.append(call + QLatin1Char(' ') + target);
        EXPECT_EQ(keeper.calls, expected);
        const bool kept = c.error == 0 && c.targetExists && !c.keeperRefuses;
        EXPECT_EQ(r.wrote, c.error == 0);
        EXPECT_EQ(r.replaced, c.error == 0 && c.targetExists);
        EXPECT_EQ(r.keptAs, kept ? trash + QStringLiteral("/kept1") : QString());
        EXPECT_EQ(namesIn(trash), kept ? QStringList{QStringLiteral("kept1")} : QStringList());
        if (kept) {
            EXPECT_EQ(contentOf(r.keptAs), QByteArray("old content"));
        }
        EXPECT_EQ(contentOf(target), c.error == 0     ? QByteArray("new content")
                                     : c.targetExists ? QByteArray("old content")
                                                      : std::optional<QByteArray>());
        if (r.wrote) {
            EXPECT_EQ(r.made, FileOps().stamp(target));
        }
        EXPECT_EQ(contentOf(src).has_value(), c.error != 0 || c.op == Op::Copy || c.op == Op::CopyHidden);
    }
}

// A big copy tells its progress chunk by chunk up to the whole size; stopped at any chunk it
// fails with ECANCELED and leaves nothing of itself: no target, no temporary, an old target and
// a moved source as they were.
TEST(FileOpsHooks, ProgressIsToldBetweenChunksAndCanStopTheCopy) {
    const QByteArray data = sampleData(6 * 1024 * 1024 + 5);
    const bool shm = haveShm();
    for (bool move : {false, true}) {
        if (move && !shm)
            continue;
        for (bool unnamed : {true, false}) {
            for (int stopAt : {0, 1, 3}) {
                for (bool oldTarget : {false, true}) {
                    SCOPED_TRACE(testing::Message()
                                 << (move ? "move" : "copy") << (unnamed ? " unnamed" : " hidden")
                                 << " stop at " << stopAt << (oldTarget ? " over a file" : ""));
                    TestDir dir;
                    TestDir from(move ? QStringLiteral("/dev/shm") : QString());
                    const QString src = from.file(QStringLiteral("s.bin"), data);
                    const QString target = dir.path(QStringLiteral("out/t.bin"));
                    dir.folder(QStringLiteral("out"));
                    if (oldTarget)
                        dir.file(QStringLiteral("out/t.bin"), "old");
                    auto calls = std::make_shared<FaultCalls>();
                    if (!unnamed)
                        calls->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
                    calls->shortWrites(512 * 1024); // many chunks, whatever the disk's speed
                    CountingProgress progress(stopAt);
                    const TransferHooks hooks{&progress, nullptr};
                    const FileOps ops(calls);
                    const FsResult r = move ? ops.moveFile(src, target, MoveMode::Replace, hooks)
                                            : ops.copyFile(src, target, Mode::Replace, hooks);
                    if (stopAt == 0) {
                        EXPECT_TRUE(r.ok()) << r.error;
                        ASSERT_GE(progress.seen.size(), 12u);
                        for (size_t i = 1; i < progress.seen.size(); ++i)
                            EXPECT_LE(progress.seen[i - 1].first, progress.seen[i].first);
                        EXPECT_EQ(progress.seen.back(),
                                  std::make_pair(qint64(data.size()), qint64(data.size())));
                        EXPECT_EQ(contentOf(target), data);
                        continue;
                    }
                    EXPECT_EQ(r.error, ECANCELED);
                    EXPECT_FALSE(r.wrote);
                    EXPECT_EQ(progress.seen.size(), size_t(stopAt));
                    EXPECT_EQ(namesIn(dir.path(QStringLiteral("out"))),
                              oldTarget ? QStringList{QStringLiteral("t.bin")} : QStringList());
                    EXPECT_EQ(contentOf(target), oldTarget ? std::optional<QByteArray>("old") : std::nullopt);
                    EXPECT_EQ(contentOf(src), data);
                }
            }
        }
    }
}

TEST(FileOpsQueries, MakePathTellsWhichFoldersItMade) {
    TestDir dir;
    dir.folder(QStringLiteral("a"));
    FileOps ops;
    QStringList created;
    ASSERT_TRUE(ops.makePath(dir.path(QStringLiteral("a/b/c/")), &created).ok());
    EXPECT_EQ(created, (QStringList{dir.path(QStringLiteral("a/b")), dir.path(QStringLiteral("a/b/c"))}));
    created.clear();
    ASSERT_TRUE(ops.makePath(dir.path(QStringLiteral("a/b/c")), &created).ok());
    EXPECT_EQ(created, QStringList());
    dir.file(QStringLiteral("f"), "x");
    EXPECT_EQ(ops.makePath(dir.path(QStringLiteral("f/g")), &created).error, ENOTDIR);
    EXPECT_EQ(created, QStringList());
}

// Two spellings that differ in letter case are two files on a drive that keeps case apart; the
// same file under other names is one.
TEST(FileOpsQueries, MayBeSameFileOnACaseSensitiveDrive) {
    TestDir dir;
    const QString lower = dir.file(QStringLiteral("d/photo.jpg"), "one");
    const QString upper = dir.file(QStringLiteral("D/PHOTO.JPG"), "two");
    ASSERT_EQ(
        ::link(encodeLocal8(lower).constData(), encodeLocal8(dir.path(QStringLiteral("hard"))).constData()),
        0);
    ASSERT_EQ(::symlink("d", encodeLocal8(dir.path(QStringLiteral("linked"))).constData()), 0);
    FileOps ops;
    EXPECT_FALSE(ops.mayBeSameFile(lower, upper));
    EXPECT_FALSE(ops.mayBeSameFile(lower, dir.path(QStringLiteral("d/PHOTO.jpg")))); // missing
    EXPECT_TRUE(ops.mayBeSameFile(lower, dir.path(QStringLiteral("hard"))));
    EXPECT_TRUE(ops.mayBeSameFile(lower, dir.path(QStringLiteral("linked/photo.jpg"))));
    EXPECT_TRUE(ops.mayBeSameFile(lower, dir.path(QStringLiteral("d/../d/photo.jpg"))));
}

// Writing a whole file (settings, list files) fails at any step without touching the old file or
// leaving a temporary, through the unnamed and the hidden named temporary alike.
TEST(FileOpsWrite, FailureAtAnyStepLeavesTheOldFile) {
    struct Fault {
        FaultCalls::Call call;
        int error;
    } faults[] = {{FaultCalls::Openat, EIO},  {FaultCalls::Write, ENOSPC}, {FaultCalls::Fsync, EIO},
                  {FaultCalls::Linkat, EIO},  {FaultCalls::Rename, EIO},   {FaultCalls::Lstat, EIO},
                  {FaultCalls::Stat, EACCES}, {FaultCalls::Close, EIO}};
    for (bool unnamed : {true, false}) {
        for (const Fault& f : faults) {
            SCOPED_TRACE(testing::Message() << "call " << f.call << (unnamed ? " unnamed" : " hidden"));
            TestDir dir;
            const QString path = dir.file(QStringLiteral("Velquin.ini"), "old");
            auto calls = std::make_shared<FaultCalls>();
            if (!unnamed)
                calls->failCall(FaultCalls::Openat, 1, EOPNOTSUPP);
            // The unnamed file is closed only after it has its name: there a close error is too late.
            const bool reached =
                !(unnamed && f.call == FaultCalls::Close) &&
                !(!unnamed && (f.call == FaultCalls::Linkat || f.call == FaultCalls::Openat));
            calls->failCall(f.call, f.call == FaultCalls::Close ? 0 : 1, f.error);
            FileOps::WriteOptions durable;
            durable.durable = true;
            const FsResult r = FileOps(calls).writeFile(path, "new content", durable);
            if (!reached)
                continue;
            EXPECT_EQ(r.error, f.error);
            EXPECT_EQ(contentOf(path), QByteArray("old"));
            EXPECT_EQ(namesIn(dir.path()), QStringList{QStringLiteral("Velquin.ini")});
        }
    }
    // Without a fault it writes, keeps the mode and follows a link.
    TestDir dir;
    const QString real = dir.file(QStringLiteral("real.lst"), "old");
    ASSERT_EQ(::chmod(encodeLocal8(real).constData(), 0640), 0);
    ASSERT_EQ(::symlink("real.lst", encodeLocal8(dir.path(QStringLiteral("link.lst"))).constData()), 0);
    EXPECT_TRUE(FileOps().writeFile(dir.path(QStringLiteral("link.lst")), "new").ok());
    EXPECT_EQ(contentOf(real), QByteArray("new"));
    EXPECT_EQ(statOf(real).st_mode & 07777, 0640u);
    EXPECT_TRUE(S_ISLNK(statOf(dir.path(QStringLiteral("link.lst"))).st_mode));
}
