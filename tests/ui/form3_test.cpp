#include "ui/form3.h"

#include "support/testdir.h"
#include "ui/accessible.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <gtest/gtest.h>

namespace velquin {
namespace {

TEST(TForm3, ControlsCarryTheirNamesAndPresets) {
    TForm3 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("选择要添加的目录（文件夹）"));
    EXPECT_EQ(form.size(), QSize(409, 416));
    struct Check {
        const char* name;
        const char* text;
        bool checked;
    };
    for (const Check& c : {Check{"ChkOtHidden", "不显示隐藏的文件夹", true},
                           Check{"CheckBox1", "添加包括选定文件夹下的所有子文件夹中的文件", false},
                           Check{"CheckBox2", "添加包括选定文件夹下", false}}) {
        auto* box = form.findChild<QCheckBox*>(QLatin1String(c.name));
        ASSERT_NE(box, nullptr) << c.name;
        EXPECT_EQ(box->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(box->isChecked(), c.checked) << c.name;
    }
    auto* combo = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), QStringLiteral("1"));
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), QStringLiteral("3"));
    EXPECT_TRUE(combo->isEditable());
    EXPECT_FALSE(combo->isEnabled());
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
              QStringLiteral("级子目录中所有文件"));
    auto* ok = form.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    auto* cancel = form.findChild<QPushButton*>(QStringLiteral("BitBtn2"));
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    ASSERT_NE(form.findChild<QTreeView*>(QStringLiteral("ShellTreeView1")), nullptr);
}

TEST(TForm3, AtFirstTheDesktopOrElseTheHomeFolderIsSelected) {
    TForm3 form;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString expected = QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
    EXPECT_EQ(form.selectedPath(), expected);
    const FolderPick pick = form.pick();
    EXPECT_EQ(pick.path, expected);
    EXPECT_FALSE(pick.allLevels);
    EXPECT_FALSE(pick.downToLevels);
    EXPECT_EQ(pick.depthText, QStringLiteral("1"));
}

TEST(TForm3, TheTwoModesExcludeEachOtherAndTheDepthFollowsTheSecond) {
    TForm3 form;
    form.show();
    QCheckBox* all = form.CheckBox1;
    QCheckBox* down = form.CheckBox2;
    QTest::mouseClick(down, Qt::LeftButton, {}, QPoint(5, down->height() / 2));
    EXPECT_TRUE(down->isChecked());
    EXPECT_TRUE(form.ComboBox1->isEnabled());
    QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(5, all->height() / 2));
    EXPECT_TRUE(all->isChecked());
    EXPECT_FALSE(down->isChecked());
    EXPECT_FALSE(form.ComboBox1->isEnabled());
    QTest::mouseClick(down, Qt::LeftButton, {}, QPoint(5, down->height() / 2));
    EXPECT_FALSE(all->isChecked());
    EXPECT_TRUE(form.ComboBox1->isEnabled());
    form.ComboBox1->setEditText(QStringLiteral("2"));
    down->setFocus();
    QTest::keyClick(down, Qt::Key_Space);
    EXPECT_FALSE(down->isChecked());
    EXPECT_FALSE(form.ComboBox1->isEnabled());
    EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("2")) << "the text stays";
    EXPECT_FALSE(all->isChecked());
}

TEST(TForm3, TheModesFollowAScreenReadersToggleButNotStatesSetFromCode) {
    TForm3 form;
    form.show();
    test::toggleByScreenReader(form.CheckBox2);
    EXPECT_TRUE(form.CheckBox2->isChecked());
    EXPECT_TRUE(form.ComboBox1->isEnabled());
    test::toggleByScreenReader(form.CheckBox1);
    EXPECT_TRUE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_FALSE(form.ComboBox1->isEnabled());
    // Code that sets a state runs no handler.
    form.CheckBox2->setChecked(true);
    EXPECT_TRUE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.ComboBox1->isEnabled());
}

TEST(TForm3, OnlyDigitsAndBackspaceCanBeTypedIntoTheDepth) {
    TForm3 form;
    form.show();
    form.CheckBox2->click();
    QComboBox* depth = form.ComboBox1;
    depth->setFocus();
    depth->lineEdit()->end(false);
    // Typed into the box, as the keyboard does, and straight into its text field.
    QTest::keyClicks(depth, QStringLiteral("a-7 x9."));
    EXPECT_EQ(depth->currentText(), QStringLiteral("179"));
    QTest::keyClicks(depth->lineEdit(), QStringLiteral("-b"));
    EXPECT_EQ(depth->currentText(), QStringLiteral("179"));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(depth, Qt::Key_Backspace);
    EXPECT_EQ(depth->currentText(), QString());
    QTest::keyClicks(depth, QStringLiteral("12"));
    EXPECT_EQ(form.pick().depthText, QStringLiteral("12"));
    EXPECT_TRUE(TForm3::ComboBox1KeyPress(QLatin1Char('7')));
    EXPECT_FALSE(TForm3::ComboBox1KeyPress(QLatin1Char('-')));
}

TEST(TForm3, EnterAcceptsAndEscapeCancels) {
    TForm3 form;
    form.show();
    QSignalSpy accepted(&form, &QDialog::accepted);
    QSignalSpy rejected(&form, &QDialog::rejected);
    form.CheckBox2->click();
    form.ComboBox1->setFocus();
    QTest::keyClick(form.ComboBox1, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_TRUE(form.CheckBox2->isChecked()) << "the choices stay for the next opening";
}

TEST(TForm3, HiddenFoldersAppearOnlyWhileAllowed) {
    test::TestDir dir;
    dir.folder(QStringLiteral("top/Shown"));
    dir.folder(QStringLiteral("top/.Hidden"));
    dir.file(QStringLiteral("top/file.txt"));
    TForm3 form;
    form.show();
    auto* model = qobject_cast<QFileSystemModel*>(form.ShellTreeView1->model());
    ASSERT_NE(model, nullptr);
    const QModelIndex top = model->index(dir.path(QStringLiteral("top")));
    ASSERT_TRUE(top.isValid());
    form.ShellTreeView1->scrollTo(top);
    form.ShellTreeView1->expand(top);
    if (model->canFetchMore(top))
        model->fetchMore(top);
    auto names = [&] {
        QStringList out;
        const QModelIndex parent = model->index(dir.path(QStringLiteral("top")));
        for (int row = 0; row < model->rowCount(parent); ++row)
            out.append(model->index(row, 0, parent).data().toString());
        out.sort();
        return out;
    };
    // The tree reads folders on a thread of its own: wait for what it shows.
    const QStringList shown{QStringLiteral("Shown")};
    const QStringList all{QStringLiteral(".Hidden"), QStringLiteral("Shown")};
    EXPECT_TRUE(QTest::qWaitFor([&] { return names() == shown; })) << names().join(u',').toStdString();
    form.ChkOtHidden->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return names() == all; })) << names().join(u',').toStdString();
    form.ShellTreeView1->setCurrentIndex(model->index(dir.path(QStringLiteral("top/.Hidden"))));
    form.ChkOtHidden->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return names() == shown; })) << names().join(u',').toStdString();
}

TEST(TForm3, ChangingTheHiddenSettingRebuildsTheTreeWithItsRootSelected) {
    test::TestDir dir;
    dir.folder(QStringLiteral("top/Shown"));
    TForm3 form;
    form.show();
    auto* model = qobject_cast<QFileSystemModel*>(form.ShellTreeView1->model());
    ASSERT_NE(model, nullptr);
    const QModelIndex top = model->index(dir.path(QStringLiteral("top")));
    form.ShellTreeView1->expand(top);
    form.ShellTreeView1->setCurrentIndex(model->index(dir.path(QStringLiteral("top/Shown"))));
    ASSERT_EQ(form.selectedPath(), dir.path(QStringLiteral("top/Shown")));
    for (int i = 0; i < 2; ++i) {
        form.ChkOtHidden->click();
        const QModelIndex root = model->index(QStringLiteral("/"));
        EXPECT_EQ(form.selectedPath(), QStringLiteral("/")) << i;
        EXPECT_TRUE(form.ShellTreeView1->isExpanded(root)) << i;
        EXPECT_FALSE(form.ShellTreeView1->isExpanded(model->index(dir.path(QStringLiteral("top"))))) << i;
        EXPECT_EQ(form.pick().path, QStringLiteral("/")) << i;
    }
}

} // namespace
} // namespace velquin

namespace velquin {
namespace {

TEST(TForm3, OpensCentredOnTheFileWindowAndModalToIt) {
    QWidget main;
    main.setGeometry(10, 20, 600, 500);
    main.show();
    TForm3 form([&main] { return &main; });
    form.show();
    const QPoint offset = form.frameGeometry().center() - main.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    ASSERT_NE(form.windowHandle(), nullptr);
    EXPECT_EQ(form.windowHandle()->transientParent(), main.windowHandle());
}

} // namespace
} // namespace velquin
