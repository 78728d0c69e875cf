// Targets and sources that must not be touched: write-protected targets (mode bits, which bind
// root too here because the program honours them), sources that cannot be removed after a move
// has copied them, and what copies keep of a file besides its bytes: holes, ACLs, attributes.

#include "ledger.h"
#include "sandbox.h"
#include "support/scriptedhost.h"

#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/names.h"
#include "platform/text.h"
#include "settings/windowsettings.h"
#include "support/faultcalls.h"
#include "support/scripteddialogs.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velquin::test {
namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(encodeLocal8(path).constData(), &st);
    return st.st_mode & 07777;
}

// ---- write-protected targets ----

struct ProtectedCase {
    TransferMode mode;
    ClashPolicy policy;
    bool across;
};

void PrintTo(const ProtectedCase& c, std::ostream* os) {
    *os << (c.mode == TransferMode::Move ? "move" : "copy") << " policy " << int(c.policy)
        << (c.across ? " across file systems" : " within one");
}

class WriteProtectedTarget : public ::testing::TestWithParam<ProtectedCase> {};

TEST_P(WriteProtectedTarget, IsNeverReplaced) {
    const ProtectedCase c = GetParam();
    TestDir sources;
    TestDir outputBase(c.across ? QStringLiteral("/dev/shm") : QString());
    const QString output = outputBase.path(QStringLiteral("out"));
    Ledger ledger;
    const QString source = ledger.add(sources.path(QStringLiteral("a.txt")), identifiedContent(1, 3000));
    // Older than the source, so that replacing only older files would replace it too.
    const QString target = ledger.add(output + QStringLiteral("/.txt/a.txt"), identifiedContent(2, 100));
    TestDir::setModified(target, QDateTime::fromSecsSinceEpoch(1000000000));
    ASSERT_EQ(::chmod(encodeLocal8(target).constData(), 0444), 0);

    ScriptedHost host;
    host.outputText = output;
    host.mode = c.mode;
    host.policy = c.policy;
    host.answerYes = true;
    runFileSort(byTypeJob({source}), host, FileOps());
    EXPECT_TRUE(host.endedNormally());

    const Verdict verdict = ledger.verify({sources.path(), outputBase.path()});
    tally(QStringLiteral("10 write-protected targets"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
    EXPECT_EQ(readRaw(encodeLocal8(target)), identifiedContent(2, 100));
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_TRUE(QFileInfo::exists(source));
}

std::vector<ProtectedCase> protectedCases() {
    std::vector<ProtectedCase> cases;
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move})
        for (ClashPolicy policy : {ClashPolicy::Overwrite, ClashPolicy::Ask, ClashPolicy::ReplaceOlder})
            for (bool across : {false, true})
                cases.push_back({mode, policy, across});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteProtectedTarget, ::testing::ValuesIn(protectedCases()));

// The settings file and an exported list file over a write-protected file: the save is reported
// as failed and the file keeps its bytes.
TEST(WriteProtectedFiles, SettingsAndListFilesAreNotReplaced) {
    TestDir dir;
    const QByteArray oldSettings = "[Parameter]\r\nSameFile=3\r\n";
    const QString settings = dir.file(QStringLiteral("Velquin.ini"), oldSettings);
    const QByteArray oldList = "/a/b\r\n";
    const QString list = dir.file(QStringLiteral("file.lst"), oldList);
    for (const QString& path : {settings, list})
        ASSERT_EQ(::chmod(encodeLocal8(path).constData(), 0444), 0);

    SettingValues values;
    values.set(keys::EdtKeys, QStringLiteral("new"));
    EXPECT_EQ(saveSection(settings, kFileWindowSection, values),
              QStringLiteral("Unable to write to ") + settings);
    SourceListModel model;
    model.addUnique(QStringLiteral("/c/d"));
    ScriptedDialogs dialogs;
    dialogs.files.push_back(list);
    exportList(model, ListKind::Files, dialogs, nullptr);
    EXPECT_EQ(dialogs.texts(ScriptedDialogs::Kind::Error),
              QStringList{QStringLiteral("Cannot create file \"%1\". %2").arg(list, systemReason(EACCES))});

    EXPECT_EQ(readRaw(encodeLocal8(settings)), oldSettings);
    EXPECT_EQ(readRaw(encodeLocal8(list)), oldList);
    EXPECT_EQ(filesUnder(dir.path()), (QStringList{settings, list}));
}

// ---- moved, or neither ----

enum class Stuck {
    ReadOnlyMount,      // the source's file system is mounted read-only
    Immutable,          // chattr +i on the source
    FolderLocked,       // chattr +i on its folder
    UnlinkFails,        // the removal itself fails (the seam), after the target was replaced
    UnlinkFailsNoLinks, // the same where the target's drive has no hard links
};

void PrintTo(Stuck s, std::ostream* os) {
    static const char* const names[] = {"read-only mount", "immutable source", "locked folder",
                                        "unlink fails", "unlink fails, no hard links"};
    *os << names[int(s)];
}

class SourceThatCannotGo : public ::testing::TestWithParam<Stuck> {};

// A move with Replace across file systems whose source cannot be removed: the old target stays
// (or is put back), the source stays, nothing is left beside them.
TEST_P(SourceThatCannotGo, ReplacesNothing) {
    const Stuck stuck = GetParam();
    TestDir sourceBase;
    TestDir outputBase(QStringLiteral("/dev/shm"));
    const QString folder = sourceBase.folder(QStringLiteral("src"));
    std::optional<TmpfsMount> mount;
    if (stuck == Stuck::ReadOnlyMount) {
        mount.emplace(folder, 1 << 20);
        VELQUIN_SKIP_UNLESS_MOUNTED(*mount);
    }
    Ledger ledger;
    const QString source = ledger.add(folder + QStringLiteral("/a.txt"), identifiedContent(1, 50000));
    const QString target = ledger.add(outputBase.path(QStringLiteral("a.txt")), identifiedContent(2, 500));
    std::optional<ImmutableGuard> guard;
    auto calls = std::make_shared<FaultCalls>();
    switch (stuck) {
    case Stuck::ReadOnlyMount:
        ASSERT_TRUE(mount->remountReadOnly());
        break;
    case Stuck::Immutable:
    case Stuck::FolderLocked:
        guard.emplace(stuck == Stuck::Immutable ? source : folder);
        VELQUIN_SKIP_UNLESS_IMMUTABLE(*guard);
        break;
    case Stuck::UnlinkFailsNoLinks:
        calls->failCall(FaultCalls::Link, 0, EPERM);
        [[fallthrough]];
    case Stuck::UnlinkFails:
        calls->beforeEachCall([&](FaultCalls::Call call) {
            if (call == FaultCalls::Rename)
                calls->failCall(FaultCalls::Unlink, 1, EIO); // the first removal after the target is in place
        });
        break;
    }
    const FsResult r = FileOps(calls).moveFile(source, target, FileOps::MoveMode::Replace);
    guard.reset();
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.wrote);
    EXPECT_EQ(readRaw(encodeLocal8(source)), identifiedContent(1, 50000));
    EXPECT_EQ(readRaw(encodeLocal8(target)), identifiedContent(2, 500));
    const Verdict verdict = ledger.verify({sourceBase.path(), outputBase.path()});
    tally(QStringLiteral("11 moves whose source cannot go"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
    EXPECT_EQ(filesUnder(outputBase.path()), QStringList{target});
}

INSTANTIATE_TEST_SUITE_P(Faults, SourceThatCannotGo,
                         ::testing::Values(Stuck::ReadOnlyMount, Stuck::Immutable, Stuck::FolderLocked,
                                           Stuck::UnlinkFails, Stuck::UnlinkFailsNoLinks));

// ---- holes ----

// A 2 GiB disk image holding 1 MiB of data moves onto a 64 MiB drive and copies within the disk
// without taking more room than the source.
TEST(SparseFiles, KeepTheirHoles) {
    TestDir disk;
    const QString out = disk.folder(QStringLiteral("small"));
    TmpfsMount small(out, 64 << 20);
    VELQUIN_SKIP_UNLESS_MOUNTED(small);
    constexpr qint64 kSize = qint64(2) << 30;
    constexpr qint64 kAt = qint64(1) << 30;
    const QByteArray data = identifiedContent(3, 1 << 20);
    const QString image = disk.path(QStringLiteral("disk.img"));
    const auto makeImage = [&] {
        const int fd =
            ::open(encodeLocal8(image).constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        ASSERT_EQ(::pwrite(fd, data.constData(), size_t(data.size()), kAt), data.size());
        ::close(fd);
    };
    const auto check = [&](const QString& path) {
        SCOPED_TRACE(path.toStdString());
        struct stat st {};
        ASSERT_EQ(::stat(encodeLocal8(path).constData(), &st), 0);
        EXPECT_EQ(st.st_size, kSize);
        EXPECT_LE(qint64(st.st_blocks) * 512, 2 * data.size());
        const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        QByteArray back(data.size(), '\0');
        EXPECT_EQ(::pread(fd, back.data(), size_t(back.size()), kAt), back.size());
        EXPECT_EQ(back, data);
        QByteArray head(4096, 'x');
        EXPECT_EQ(::pread(fd, head.data(), size_t(head.size()), 0), head.size());
        EXPECT_EQ(head, QByteArray(4096, '\0'));
        ::close(fd);
    };
    makeImage();
    ASSERT_TRUE(FileOps()
                    .copyFile(image, disk.path(QStringLiteral("copy.img")), FileOps::CopyMode::FailIfExists)
                    .ok());
    check(disk.path(QStringLiteral("copy.img")));
    const FsResult moved =
        FileOps().moveFile(image, out + QStringLiteral("/disk.img"), FileOps::MoveMode::NoReplace);
    EXPECT_TRUE(moved.ok()) << moved.error;
    check(out + QStringLiteral("/disk.img"));
    EXPECT_FALSE(QFileInfo::exists(image));
}

// ---- ACLs, attributes, set-id bits ----

// An access ACL in its stored form: owner rw, owning group none, one named user rw, mask rw,
// others none (what `setfacl -m u:nobody:rw` makes of a private file).
QByteArray sharedAcl() {
    QByteArray acl;
    const auto u16 = [&acl](unsigned v) {
        acl += char(v & 0xFF);
        acl += char(v >> 8);
    };
    const auto entry = [&](unsigned tag, unsigned perm, unsigned id) {
        u16(tag);
        u16(perm);
        u16(id & 0xFFFF);
        u16(id >> 16);
    };
    u16(2);
    u16(0);
    entry(0x01, 6, 0xFFFFFFFF);
    entry(0x02, 6, kNobody);
    entry(0x04, 0, 0xFFFFFFFF);
    entry(0x10, 6, 0xFFFFFFFF);
    entry(0x20, 0, 0xFFFFFFFF);
    return acl;
}

std::optional<QByteArray> xattrOf(const QString& path, const char* name) {
    QByteArray value(4096, '\0');
    const ssize_t n = ::getxattr(encodeLocal8(path).constData(), name, value.data(), size_t(value.size()));
    if (n < 0)
        return std::nullopt;
    value.truncate(n);
    return value;
}

enum class MetaTarget { Tmpfs, BtrfsNoAcl, ExFat };

void PrintTo(MetaTarget t, std::ostream* os) {
    static const char* const names[] = {"tmpfs", "btrfs without ACLs", "exFAT"};
    *os << names[int(t)];
}

class CopiedMetadata : public ::testing::TestWithParam<MetaTarget> {};

// A private file shared with one user through an ACL, with an attribute of its own: copied and
// moved, it keeps the ACL and attribute where the target takes them, and where the ACL cannot be
// kept the owning group gains nothing (mode 600, not the 660 its mode bits show).
TEST_P(CopiedMetadata, AclsAndAttributesAreKeptWithoutWideningAccess) {
    const MetaTarget t = GetParam();
    TestDir sources;
    TestDir base;
    std::optional<ImageMount> mount;
    QString out = base.folder(QStringLiteral("out"));
    std::optional<TestDir> shm;
    if (t == MetaTarget::Tmpfs) {
        shm.emplace(QStringLiteral("/dev/shm"));
        out = shm->path();
    } else {
        mount.emplace(t == MetaTarget::ExFat ? ImageMount::ExFat : ImageMount::BtrfsNoAcl, out);
        VELQUIN_SKIP_UNLESS_MOUNTED(*mount);
    }
    const QByteArray acl = sharedAcl();
    FileOps fs;
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        const QString source =
            sources.file(QStringLiteral("private%1.txt").arg(move), identifiedContent(move, 4000));
        const QByteArray s = encodeLocal8(source);
        ASSERT_EQ(::chmod(s.constData(), 0600), 0);
        if (::setxattr(s.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) !=
                0 ||
            ::setxattr(s.constData(), "user.note", "kept", 4, 0) != 0)
            GTEST_SKIP() << "the temporary folder takes no ACLs or attributes";
        ASSERT_EQ(modeOf(source), 0660u);
        const QString target = out + QStringLiteral("/private%1.txt").arg(move);
        const FsResult r = move ? fs.moveFile(source, target, FileOps::MoveMode::NoReplace)
                                : fs.copyFile(source, target, FileOps::CopyMode::FailIfExists);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(readRaw(encodeLocal8(target)), identifiedContent(move, 4000));
        switch (t) {
        case MetaTarget::Tmpfs:
            EXPECT_EQ(xattrOf(target, "system.posix_acl_access"), acl);
            EXPECT_EQ(xattrOf(target, "user.note"), QByteArray("kept"));
            EXPECT_EQ(modeOf(target), 0660u);
            break;
        case MetaTarget::BtrfsNoAcl:
            EXPECT_FALSE(xattrOf(target, "system.posix_acl_access"));
            EXPECT_EQ(xattrOf(target, "user.note"), QByteArray("kept"));
            EXPECT_EQ(modeOf(target), 0600u);
            break;
        case MetaTarget::ExFat:
            break; // the drive has neither; the data arrived
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CopiedMetadata,
                         ::testing::Values(MetaTarget::Tmpfs, MetaTarget::BtrfsNoAcl, MetaTarget::ExFat));

// A set-user-ID program of another user copied by root is root's now: it must not run as root.
TEST(CopiedMetadata, SetIdBitsGoWhenTheOwnerChanges) {
    TestDir dir;
    for (const unsigned mode : {04755u, 02755u}) {
        const QString source = dir.file(QStringLiteral("prog%1").arg(mode), "#!/bin/sh\n");
        ASSERT_EQ(::chmod(encodeLocal8(source).constData(), mode), 0);
        if (::chown(encodeLocal8(source).constData(), kNobody, kNobody) != 0)
            GTEST_SKIP() << "cannot give a file away here";
        ASSERT_EQ(::chmod(encodeLocal8(source).constData(), mode), 0); // chown cleared the bits
        const QString target = dir.path(QStringLiteral("copy%1").arg(mode));
        ASSERT_TRUE(FileOps().copyFile(source, target, FileOps::CopyMode::FailIfExists).ok());
        EXPECT_EQ(modeOf(target), 0755u) << std::oct << mode;
    }
}

} // namespace
} // namespace velquin::test
