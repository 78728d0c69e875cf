#include "ui/form1_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace velquin::test {
namespace {

using Kind = ScriptedDialogs::Kind;

QStringList entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

class SuffixTest : public Form1Test {
protected:
    // Opens the dialog (not modally, so the test can drive it), types `text` and presses the button.
    void add(const QString& text) {
        suffix->show();
        suffix->Edit1->setText(text);
        suffix->Button1->click();
    }
};

TEST_F(SuffixTest, LooksAsDescribed) {
    EXPECT_EQ(suffix->windowTitle(), QStringLiteral("添加文件类型"));
    EXPECT_EQ(suffix->Label1->text(), QStringLiteral("输入文件扩展名如:*.txt"));
    EXPECT_EQ(suffix->Edit1->text(), QStringLiteral("*."));
    EXPECT_EQ(suffix->Button1->text(), QStringLiteral("添加"));
    EXPECT_TRUE(suffix->Button1->isDefault());
    EXPECT_TRUE(suffix->Edit1->inputMethodHints() & Qt::ImhLatinOnly);
    EXPECT_EQ(ctx.suffix, suffix.get());
    suffix->show();
    EXPECT_EQ(suffix->minimumSize(), suffix->maximumSize());
    EXPECT_EQ(suffix->size(), QSize(178, 57));
    // Everything in it is whole.
    for (QWidget* w : {static_cast<QWidget*>(suffix->Label1), static_cast<QWidget*>(suffix->Edit1),
                       static_cast<QWidget*>(suffix->Button1)}) {
        EXPECT_TRUE(suffix->rect().contains(w->geometry())) << w->objectName().toStdString();
        EXPECT_GE(w->height(), w->minimumSizeHint().height()) << w->objectName().toStdString();
    }
    EXPECT_GE(suffix->Label1->width(), suffix->Label1->sizeHint().width());
}

TEST_F(SuffixTest, ShowsCentredOnTheFileWindow) {
    form->show();
    form->move(120, 80);
    suffix->show();
    const QPoint offset = suffix->frameGeometry().center() - form->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

TEST_F(SuffixTest, RefusedPatternsKeepTheDialogOpen) {
    const QString refused[] = {QStringLiteral("*."),  QStringLiteral("*.|"),  QStringLiteral(".txt"),
                               QStringLiteral("txt"), QStringLiteral("*txt"), QStringLiteral("   "),
                               QStringLiteral("|*.|")};
    for (const QString& text : refused) {
        dialogs.clear();
        add(text);
        EXPECT_TRUE(suffix->isVisible()) << text.toStdString();
        EXPECT_EQ(suffix->Edit1->text(), text);
        ASSERT_EQ(dialogs.calls.size(), 1);
        EXPECT_EQ(dialogs.calls[0].kind, Kind::Information);
        EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("输入文件扩展名如:*.txt !"));
        // Owned by the application, not by the dialog.
        EXPECT_EQ(dialogs.calls[0].owner, nullptr);
    }
    EXPECT_EQ(form->ListBox2->count(), 0);
}

TEST_F(SuffixTest, AcceptedPatternsAreTrimmedAndAddedOnce) {
    struct Case {
        QString typed;
        QStringList listAfter;
    };
    const Case cases[] = {
        {QStringLiteral("  *.Txt  "), {QStringLiteral("*.Txt")}},
        {QStringLiteral("*.TXT"), {QStringLiteral("*.Txt")}},
        {QStringLiteral("*.t|xt"), {QStringLiteral("*.Txt")}},
        {QStringLiteral("*.d|oc"), {QStringLiteral("*.Txt"), QStringLiteral("*.doc")}},
        {QStringLiteral("\t*.tar.gz\n"),
         {QStringLiteral("*.Txt"), QStringLiteral("*.doc"), QStringLiteral("*.tar.gz")}},
        {QStringLiteral("*.*"),
         {QStringLiteral("*.Txt"), QStringLiteral("*.doc"), QStringLiteral("*.tar.gz"),
          QStringLiteral("*.*")}},
    };
    for (const Case& c : cases) {
        dialogs.clear();
        add(c.typed);
        EXPECT_FALSE(suffix->isVisible()) << c.typed.toStdString();
        EXPECT_EQ(entries(form->ListBox2), c.listAfter) << c.typed.toStdString();
        EXPECT_TRUE(dialogs.calls.isEmpty());
        // The next opening shows what was typed last.
        EXPECT_EQ(suffix->Edit1->text(), c.typed);
    }
}

TEST_F(SuffixTest, EnterPressesTheButton) {
    suffix->show();
    suffix->Edit1->setText(QStringLiteral("*.jpg"));
    QTest::keyClick(suffix->Edit1, Qt::Key_Return);
    EXPECT_EQ(entries(form->ListBox2), QStringList{QStringLiteral("*.jpg")});
    EXPECT_FALSE(suffix->isVisible());

    suffix->show();
    suffix->Edit1->setText(QStringLiteral("*."));
    QTest::keyClick(suffix->Edit1, Qt::Key_Enter);
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("输入文件扩展名如:*.txt !")});
    EXPECT_TRUE(suffix->isVisible());
}

TEST_F(SuffixTest, ClosingAddsNothing) {
    suffix->show();
    suffix->Edit1->setText(QStringLiteral("*.png"));
    suffix->close();
    EXPECT_EQ(form->ListBox2->count(), 0);
    EXPECT_EQ(suffix->Edit1->text(), QStringLiteral("*.png"));
}

TEST_F(SuffixTest, AddButtonOpensTheDialogModally) {
    form->ChkInclude->click();
    // The modal loop runs until the dialog is answered: answer from inside it.
    QTimer::singleShot(0, suffix.get(), [this] {
        EXPECT_TRUE(suffix->isModal());
        suffix->Edit1->setText(QStringLiteral("*.mp3"));
        suffix->Button1->click();
    });
    form->BtnAddSuffix->click();
    EXPECT_EQ(entries(form->ListBox2), QStringList{QStringLiteral("*.mp3")});
}

} // namespace
} // namespace velquin::test
