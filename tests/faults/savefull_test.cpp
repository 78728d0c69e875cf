// Saving the settings or exporting a list onto a file system without room: the old file stays
// as it was, the failure is reported, and no temporary is left beside it.

#include "ledger.h"
#include "sandbox.h"

#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/names.h"
#include "settings/windowsettings.h"
#include "support/printers.h"
#include "support/scripteddialogs.h"
#include "support/skip.h"
#include "support/testdir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace velquin::test {
namespace {

enum class Room { Tmpfs, FileSizeLimit };
enum class Saved { Settings, List };

struct SaveCase {
    Room room;
    Saved saved;
};

std::string caseName(const ::testing::TestParamInfo<SaveCase>& info) {
    return std::string(info.param.room == Room::Tmpfs ? "Tmpfs" : "FileSizeLimit") +
           (info.param.saved == Saved::Settings ? "Settings" : "List");
}

// Fills the file system of `folder` to the last byte with one file.
void fillUp(const QString& folder) {
    const int fd = ::open(encodeLocal8(folder + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const QByteArray block(4096, 'z');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    char one = 'z';
    while (::write(fd, &one, 1) > 0) {
    }
    ::close(fd);
}

class SaveWithoutRoom : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveWithoutRoom, TheOldFileStaysAndTheFailureIsReported) {
    const SaveCase c = GetParam();
    TestDir dir;
    const QString folder = dir.folder(QStringLiteral("room"));
    std::optional<TmpfsMount> mount;
    if (c.room == Room::Tmpfs) {
        mount.emplace(folder, 64 * 1024);
        VELQUIN_SKIP_UNLESS_MOUNTED(*mount) << "; the file-size limit case covers this";
    }
    const QString path =
        folder + (c.saved == Saved::Settings ? QStringLiteral("/Velquin.ini") : QStringLiteral("/file.lst"));
    const QByteArray old = c.saved == Saved::Settings
                               ? QByteArray("[Parameter]\r\nEdtKeys=old\r\nSameFile=3\r\n")
                               : QByteArray("/old/one\r\n/old/two\r\n");
    writeWhole(path, old);
    if (c.room == Room::Tmpfs)
        fillUp(folder);
    if (HasFatalFailure())
        return;
    const QStringList before = filesUnder(folder);

    // Far more than the room left, far more than the size limit.
    const auto save = [&]() -> QString {
        if (c.saved == Saved::Settings) {
            SettingValues values;
            values.set(keys::EdtKeys, QString(20000, u'k'));
            values.set(keys::Filter, QString(20000, u'f'));
            return saveSection(path, kFileWindowSection, values);
        }
        SourceListModel list;
        for (int i = 0; i < 2000; ++i)
            list.addUnique(QStringLiteral("/some/long/folder/name/for/the/list/entry-%1.jpg").arg(i));
        ScriptedDialogs dialogs;
        dialogs.files.push_back(path);
        exportList(list, ListKind::Files, dialogs, nullptr);
        return dialogs.texts(ScriptedDialogs::Kind::Error).join(u'\n');
    };

    if (c.room == Room::FileSizeLimit) {
        const int code = runInChild([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1024, 1024};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 2;
            return save().isEmpty() ? 3 : 0;
        });
        EXPECT_EQ(code, 0) << "the failed save was not reported";
    } else {
        EXPECT_FALSE(save().isEmpty()) << "the failed save was not reported";
    }

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    EXPECT_EQ(filesUnder(folder), before) << "something was left beside the file";
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveWithoutRoom,
                         ::testing::Values(SaveCase{Room::Tmpfs, Saved::Settings},
                                           SaveCase{Room::Tmpfs, Saved::List},
                                           SaveCase{Room::FileSizeLimit, Saved::Settings},
                                           SaveCase{Room::FileSizeLimit, Saved::List}),
                         caseName);

} // namespace
} // namespace velquin::test
