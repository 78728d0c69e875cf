#include "lists/eventpump.h"
#include "lists/filelist.h"
#include "lists/folderlist.h"
#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QObject>

#include <gtest/gtest.h>

namespace velquin {
namespace {

using test::ScriptedDialogs;
using test::TestDir;
using Kind = ScriptedDialogs::Kind;

class ListButtons : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dir.file(QStringLiteral("p/f.txt"));
        dir.file(QStringLiteral("p/.hidden.txt"));
        dir.file(QStringLiteral("p/A/a.txt"));
        dir.file(QStringLiteral("p/B/b.txt"));
        dir.file(QStringLiteral("p/B/C/c.txt"));
        dir.folder(QStringLiteral("p/.H"));
    }
    BusySwitch recordBusy() {
        return [this](bool on) { busy.append(on); };
    }

    TestDir dir;
    FileOps fs;
    SourceListModel model;
    ScriptedDialogs dialogs;
    EventPump pump;
    QObject owner;
    QList<bool> busy;
};

TEST_F(ListButtons, FolderFilesInEachModeWithTheBusyCursorAround) {
    struct Case {
        bool all, down;
        const char* depth;
        int count;
    };
    const Case cases[] = {{false, false, "", 2}, {false, true, "0", 2}, {false, true, "1", 4},
                          {false, true, "7", 5}, {true, false, "", 5},  {false, true, "-1", 0}};
    for (const Case& c : cases) {
        model.clear();
        busy.clear();
        const FolderPick pick{dir.path(QStringLiteral("p")), c.all, c.down, QString::fromUtf8(c.depth)};
        addFolderFiles(model, pick, dialogs, &owner, fs, pump, recordBusy());
        EXPECT_EQ(model.count(), c.count) << c.all << c.down << c.depth;
        EXPECT_EQ(busy, QList<bool>({true, false}));
    }
    EXPECT_TRUE(dialogs.calls.isEmpty());
}

TEST_F(ListButtons, DepthThatIsNoIntegerIsReportedAndAddsNothing) {
    model.addUnique(QStringLiteral("/kept"));
    for (const char* text : {"", "x", "1.5", "2 "}) {
        dialogs.clear();
        busy.clear();
        const FolderPick pick{dir.path(QStringLiteral("p")), false, true, QString::fromUtf8(text)};
        addFolderFiles(model, pick, dialogs, &owner, fs, pump, recordBusy());
        ASSERT_EQ(dialogs.calls.size(), 1);
        EXPECT_EQ(dialogs.calls[0].kind, Kind::Error);
        EXPECT_EQ(dialogs.calls[0].owner, &owner);
        EXPECT_EQ(dialogs.calls[0].text,
                  QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(text)));
        EXPECT_EQ(model.entries(), QStringList{QStringLiteral("/kept")});
        EXPECT_EQ(busy, QList<bool>({true, false})) << "the normal cursor comes back";
    }
}

TEST_F(ListButtons, PickThatIsNoFolderDoesNothing) {
    for (const QString& path :
         {QString(), dir.path(QStringLiteral("p/f.txt")), dir.path(QStringLiteral("none"))}) {
        addFolderFiles(model, FolderPick{path, true, false, {}}, dialogs, &owner, fs, pump, recordBusy());
        addFolderFiles(model, FolderPick{path, false, true, QString()}, dialogs, &owner, fs, pump,
                       recordBusy());
    }
    EXPECT_EQ(model.count(), 0);
    EXPECT_TRUE(busy.isEmpty());
    EXPECT_TRUE(dialogs.calls.isEmpty());
}

TEST_F(ListButtons, ChosenFilesAreAddedUntestedUnderTheDuplicateRule) {
    model.addUnique(QStringLiteral("/x/a.txt"));
    dialogs.fileLists.push_back(
        {QStringLiteral("/x/b.txt"), QStringLiteral("/x/a.txt"), QStringLiteral("/nowhere/c")});
    addChosenFiles(model, dialogs, &owner);
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_EQ(dialogs.calls[0].kind, Kind::OpenFiles);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("*.*"));
    EXPECT_EQ(dialogs.calls[0].extra, QStringLiteral("*.*"));
    EXPECT_EQ(model.entries(), QStringList({QStringLiteral("/x/a.txt"), QStringLiteral("/x/b.txt"),
                                            QStringLiteral("/nowhere/c")}));
    addChosenFiles(model, dialogs, &owner); // cancelled
    EXPECT_EQ(model.count(), 3);
}

TEST_F(ListButtons, DropsAddExistingFilesOnlyAndSkipTheDuplicateTest) {
    const QString file = dir.path(QStringLiteral("p/f.txt"));
    model.addUnique(file);
    const qsizetype added = AddDroppedFiles(
        model, {file, dir.path(QStringLiteral("p/A")), dir.path(QStringLiteral("gone.txt")), QString(), file},
        fs);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(model.entries(), QStringList({file, file, file}));
}

TEST_F(ListButtons, ChosenFolderRootRefusedOthersAddedOnce) {
    dialogs.folders = {QStringLiteral("/"), dir.path(QStringLiteral("p/A")), dir.path(QStringLiteral("p/A")),
                       std::nullopt};
    for (int i = 0; i < 4; ++i)
        addChosenFolder(model, dialogs, &owner);
    EXPECT_EQ(dialogs.texts(Kind::ChooseFolder), QStringList(4, QStringLiteral("请选择文件夹")));
    EXPECT_EQ(dialogs.texts(Kind::Information),
              QStringList{QStringLiteral("不能对驱动器（磁盘）进行分拣！")});
    EXPECT_EQ(dialogs.calls[1].owner, &owner);
    EXPECT_EQ(model.entries(), QStringList{dir.path(QStringLiteral("p/A"))});
}

TEST_F(ListButtons, SubFoldersAreTheVisibleFirstLevelOnly) {
    model.addUnique(dir.path(QStringLiteral("p/B")));
    dialogs.folders = {dir.path(QStringLiteral("p")), dir.path(QStringLiteral("p/"))};
    addSubFolders(model, dialogs, &owner, fs, pump, recordBusy());
    EXPECT_EQ(dialogs.texts(Kind::ChooseFolder), QStringList{QStringLiteral("请选择上级目录（文件夹）")});
    EXPECT_EQ(model.entries(),
              QStringList({dir.path(QStringLiteral("p/B")), dir.path(QStringLiteral("p/A"))}));
    EXPECT_EQ(busy, QList<bool>({true, false}));
    addSubFolders(model, dialogs, &owner, fs, pump, recordBusy()); // with a final separator: same paths
    EXPECT_EQ(model.count(), 2);
}

TEST_F(ListButtons, SubFoldersOfNothingUsableDoNothing) {
    dialogs.folders = {std::nullopt, dir.path(QStringLiteral("p/f.txt")), dir.path(QStringLiteral("p/A"))};
    for (int i = 0; i < 3; ++i)
        addSubFolders(model, dialogs, &owner, fs, pump, recordBusy());
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(busy, QList<bool>({true, false})) << "only the existing folder shows the busy cursor";
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList());
}

} // namespace
} // namespace velquin
