#include "ui/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
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
                box->windowModality()};
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
