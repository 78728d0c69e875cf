#include "ui/qtdialogs.h"

#include "support/testdir.h"
#include "ui/accessible.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace velquin {
namespace {

// Runs `inspect` on the modal widget the next call opens, then lets it answer.
void whenModal(std::function<void(QWidget*)> inspect) {
    QTimer::singleShot(0, qApp, [inspect = std::move(inspect)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        inspect(modal);
    });
}

struct BoxSeen {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget* parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    int width = 0;
};

// Records the box and presses `press` on it.
void watchBox(BoxSeen& seen, QMessageBox::StandardButton press) {
    whenModal([&seen, press](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen = {box->icon(),
                box->windowTitle(),
                box->text(),
                box->standardButtons(),
                box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton,
                box->parentWidget(),
                box->windowModality(),
                box->width()};
        box->button(press)->click();
    });
}

TEST(QtDialogs, BoxesHaveTheirIconButtonsDefaultAndOwner) {
    QtDialogs dialogs;
    QWidget window;
    window.show();
    BoxSeen seen;

    watchBox(seen, QMessageBox::Ok);
    dialogs.information(&window, QStringLiteral("完成"));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.title, QStringLiteral("Velquin"));
    EXPECT_EQ(seen.text, QStringLiteral("完成"));
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.parent, &window);
    // A short text still leaves the caption room beside a title bar's buttons.
    const QFontMetrics fm(window.font());
    EXPECT_GE(seen.width, fm.horizontalAdvance(seen.title) + 8 * fm.height());

    watchBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.question(nullptr, QStringLiteral("覆盖？"), true));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
    // No owner: the box belongs to the application.
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);

    watchBox(seen, QMessageBox::No);
    EXPECT_FALSE(dialogs.question(&window, QStringLiteral("覆盖？"), false));
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    watchBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.warningQuestion(&window, QStringLiteral("移动？")));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    watchBox(seen, QMessageBox::Ok);
    dialogs.error(nullptr, QStringLiteral("Unable to write to /x"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.title, QStringLiteral("Velquin"));
}

TEST(QtDialogs, AClosingBoxWithFailuresWarnsResizesAndLetsTheDetailsBeCopied) {
    QtDialogs dialogs;
    const QString details =
        QStringLiteral("/s/a.txt → /o/a.txt：磁盘空间不足\n/s/b.txt → /o/b.txt：没有权限");
    whenModal([&](QWidget* modal) {
        auto* icon = modal->findChild<QLabel*>(QStringLiteral("icon"));
        auto* view = modal->findChild<QPlainTextEdit*>();
        ASSERT_TRUE(icon && view);
        const QIcon warning = modal->style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, modal);
        EXPECT_EQ(icon->pixmap().toImage(), warning.pixmap(icon->pixmap().size()).toImage());
        EXPECT_TRUE(view->isReadOnly());
        EXPECT_EQ(velquin::test::accessibleName(view), QStringLiteral("详细信息"));
        const int width = view->width();
        EXPECT_GE(width, view->fontMetrics().averageCharWidth() * 70);
        modal->resize(modal->size() + QSize(200, 150));
        EXPECT_EQ(view->width(), width + 200);
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), details);
        qobject_cast<QDialog*>(modal)->accept();
    });
    dialogs.informationWithDetails(nullptr, QStringLiteral("分拣工作完成！"),
                                   QStringLiteral("有 2 个项目未能分拣。"), details);
    // Nothing failed: the information box as ever.
    BoxSeen seen;
    watchBox(seen, QMessageBox::Ok);
    dialogs.informationWithDetails(nullptr, QStringLiteral("分拣已停止！"),
                                   QStringLiteral("已分拣 1 个，共 4 个。"), QString());
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST(QtDialogs, SaveChooserPresetsTheNameAndAsksNothing) {
    QtDialogs dialogs;
    whenModal([](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(chooser->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_TRUE(chooser->defaultSuffix().isEmpty());
        EXPECT_TRUE(chooser->selectedFiles().value(0).endsWith(QStringLiteral("/file.lst")));
        chooser->reject();
    });
    EXPECT_EQ(dialogs.saveFile(nullptr, QStringLiteral("*.lst"), QStringLiteral("*.lst"),
                               QStringLiteral("file.lst")),
              std::nullopt);
}

TEST(QtDialogs, OpenChooserWantsAnExistingFile) {
    QtDialogs dialogs;
    whenModal([](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptOpen);
        chooser->reject();
    });
    EXPECT_EQ(dialogs.openFile(nullptr, QStringLiteral("*.lst"), QStringLiteral("*.lst")), std::nullopt);
}

} // namespace
} // namespace velquin

namespace velquin {
namespace {

int pointerShape() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

TEST(QtDialogs, BoxesAndChoosersShowTheNormalPointerOverTheBusyOne) {
    QtDialogs dialogs;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QList<int> seen;
    whenModal([&seen](QWidget* modal) {
        seen.append(pointerShape());
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    dialogs.error(nullptr, QStringLiteral("'a' is not a valid integer value"));
    whenModal([&seen](QWidget* modal) {
        seen.append(pointerShape());
        qobject_cast<QDialog*>(modal)->reject();
    });
    dialogs.openFile(nullptr, QStringLiteral("*.lst"), QStringLiteral("*.lst"));
    seen.append(pointerShape());
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(seen, (QList<int>{Qt::ArrowCursor, Qt::ArrowCursor, Qt::WaitCursor}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// What the chooser's type list shows, and the names it lists from `folder` once `listed` are read.
struct ChooserSeen {
    QString type;
    QStringList names;
    QString objectName;
    QString startFolder;
};

void watchChooser(ChooserSeen& seen, const QString& folder, int listed) {
    whenModal([&seen, folder, listed](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        seen.objectName = chooser->objectName();
        seen.startFolder = chooser->directory().absolutePath();
        auto* types = chooser->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        seen.type = types->currentText();
        chooser->setDirectory(folder);
        auto* view = chooser->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_NE(view, nullptr);
        const auto names = [view] {
            QStringList out;
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                out.append(view->model()->index(row, 0, view->rootIndex()).data().toString());
            out.sort();
            return out;
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return names().size() >= listed; }, 5000)) << names().size();
        seen.names = names();
        chooser->reject();
    });
}

TEST(QtDialogs, ChoosersShowTheirTypeOnceAndStarAllMeansEveryFile) {
    test::TestDir dir;
    dir.file(QStringLiteral("README"));
    dir.file(QStringLiteral("Makefile"));
    dir.file(QStringLiteral("a.txt"));
    dir.file(QStringLiteral("list.lst"));
    QtDialogs dialogs;
    QWidget window;
    ChooserSeen seen;

    watchChooser(seen, dir.path(), 4);
    EXPECT_TRUE(dialogs.openFiles(&window, QStringLiteral("*.*"), QStringLiteral("*.*")).isEmpty());
    EXPECT_EQ(seen.objectName, QStringLiteral("OpenDialog1"));
    EXPECT_EQ(seen.type, QStringLiteral("*.*"));
    EXPECT_EQ(seen.names, (QStringList{QStringLiteral("Makefile"), QStringLiteral("README"),
                                       QStringLiteral("a.txt"), QStringLiteral("list.lst")}));

    watchChooser(seen, dir.path(), 1);
    dialogs.saveFile(&window, QStringLiteral("列表文件(*.lst)"), QStringLiteral("*.lst"),
                     QStringLiteral("file.lst"));
    EXPECT_EQ(seen.objectName, QStringLiteral("SaveDialog1"));
    EXPECT_EQ(seen.type, QStringLiteral("列表文件(*.lst)"));

    watchChooser(seen, dir.path(), 1);
    dialogs.openFile(&window, QStringLiteral("*.lst"), QStringLiteral("*.lst"));
    EXPECT_EQ(seen.objectName, QStringLiteral("OpenDialog2"));
    EXPECT_EQ(seen.type, QStringLiteral("*.lst"));
}

TEST(QtDialogs, AKeptChooserOpensWithAnEmptyNameAndNoCompletions) {
    test::TestDir dir;
    dir.file(QStringLiteral("alpha.lst"));
    QtDialogs dialogs;
    QWidget window;
    QLineEdit* name = nullptr;
    QStringList names;
    for (int use = 0; use < 2; ++use) {
        whenModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            chooser->setDirectory(dir.path());
            name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            names.append(name->text());
            QTest::keyClicks(name, QStringLiteral("al"));
            QTest::qWait(200);
            chooser->reject();
        });
        dialogs.openFile(&window, QStringLiteral("*.lst"), QStringLiteral("*.lst"));
        ASSERT_NE(name, nullptr);
        EXPECT_FALSE(name->completer() && name->completer()->popup()->isVisible()) << use;
    }
    EXPECT_EQ(names, (QStringList{QString(), QString()}));
}

TEST(QtDialogs, AWindowsChoosersStartOnTheDesktopAndReopenWhereTheyWereLeft) {
    test::TestDir dir;
    dir.file(QStringLiteral("a"));
    dir.file(QStringLiteral("b"));
    dir.file(QStringLiteral("c"));
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString start = QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
    QtDialogs dialogs;
    QWidget window;
    ChooserSeen seen;
    watchChooser(seen, dir.path(), 3);
    dialogs.openFiles(&window, QStringLiteral("*.*"), QStringLiteral("*.*"));
    EXPECT_EQ(seen.startFolder, QDir(start).absolutePath());
    ASSERT_NE(window.findChild<QFileDialog*>(QStringLiteral("OpenDialog1")), nullptr);
    watchChooser(seen, dir.path(), 3);
    dialogs.openFiles(&window, QStringLiteral("*.*"), QStringLiteral("*.*"));
    EXPECT_EQ(seen.startFolder, QDir(dir.path()).absolutePath());
    // Another window's chooser, and a chooser without a window, start on the desktop again.
    QWidget other;
    watchChooser(seen, dir.path(), 3);
    dialogs.openFiles(&other, QStringLiteral("*.*"), QStringLiteral("*.*"));
    EXPECT_EQ(seen.startFolder, QDir(start).absolutePath());
}

} // namespace
} // namespace velquin
