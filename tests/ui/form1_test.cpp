#include "ui/form1_fixture.h"

#include "shots.h"
#include "ui/accessible.h"
#include "ui/illustrations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>

namespace velquin::test {
namespace {

using Kind = ScriptedDialogs::Kind;

TEST_F(Form1Test, EveryNamedControlShowsItsCaption) {
    // Those both windows have are checked over both; nullptr: a control without a caption.
    const std::pair<const char*, const char*> controls[] = {
        {"Panel9", nullptr},
        {"GroupBox1", "要分拣的文件"},
        {"Button1", "添加文件"},
        {"Button5", "添加目录下文件"},
        {"Button2", "移除文件"},
        {"Button6", "清空列表"},
        {"BtnSaveFileList", "导出列表"},
        {"BtnImpFileList", "导入列表"},
        {"TabSheet3", nullptr},
        {"TabSheet4", nullptr},
        {"Label10", "     按文件名匹配关键字分拣"},
        {"Image3", nullptr},
        {"EdtKeysLabel", "请输入关键字（多个关键字以空格分隔）："},
        {"Label4", "     按文件名称分拣"},
        {"Image2", nullptr},
        {"ChkFileNamePart", "只按文件名部分进行分拣，从："},
        {"Label11", "字符到："},
        {"Label12", "字符"},
        {"Image4", nullptr}, // its own drawing: checked below
        {"ChkOnlyMatchDir", "只分拣与输出文件夹下已存在目录的相匹配的文件项"},
        {"Label3", "     按文件类型分拣"},
        {"Image1", nullptr},
        {"Label5", "     按文件大小分拣"},
        {"Label6", "分拣出满足条件的文件："},
        {"CmbCondition", "大于|小于"},
        {"EdtSize", ""},
        {"CmbUnit", "KB|MB"},
        {"RbCreateTime", "文件创建时间"},
        {"RbModifyTime", "文件修改时间"},
        {"CmbFileDate", "早于|晚于"},
        {"Label7", "     按宽或高进行图像文件分拣"},
        {"RbPicW", "图片宽："},
        {"RbPicH", "图片高："},
        {"CmbPic", "大于等于|小于等于|等于"},
        {"EdtPic", ""},
        {"Label8", "像素"},
        {"GroupBox5", "分拣选项"},
        {"lblOption", nullptr},
        {"PnlOption", nullptr},
        {"ChkInclude", "只分拣这些类型文件："},
        {"ChkExclude", "不分拣这些类型文件："},
        {"ListBox2", nullptr},
        {"BtnAddSuffix", "添加"},
        {"BtnDelSuffix", "删除"},
        {"PnlOption2", nullptr},
        {"Label9", "图片文件类型包括："},
        {"ChkLstPic", nullptr},
        {"GroupBox3", "分拣结果"},
        {"Label1", nullptr},
        {"Label2", nullptr},
        {"Panel2", nullptr},
        {"Panel1", nullptr},
    };
    for (const auto& [name, caption] : controls) {
        const QWidget* control = form->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(control, nullptr) << name;
        if (caption) {
            EXPECT_EQ(captionOf(control), QString::fromUtf8(caption)) << name;
        }
    }
    EXPECT_EQ(form->Image4->text(), QStringLiteral("判断文件名时过滤以下字符（多个字符以*（星号）分隔）："));
}

TEST_F(Form1Test, TabCaptionsAndOptionLabelFollowThePage) {
    const QString captions[] = {QStringLiteral(" 按文件名匹配关键字分拣 "), QStringLiteral(" 按文件名分拣"),
                                QStringLiteral(" 按文件类型分拣"),          QStringLiteral(" 按文件大小分拣"),
                                QStringLiteral(" 按文件日期属性分拣"),      QStringLiteral(" 图像文件分拣")};
    form->show();
    for (int page : {5, 0, 1, 2, 3, 4, 5, 3}) {
        form->PageControl1->setCurrentIndex(page);
        EXPECT_EQ(form->PageControl1->tabText(page), captions[page]);
        EXPECT_EQ(form->lblOption->text(), QStringLiteral("分拣方式：") + captions[page]);
        // The image page shows the image types, every other page the type filter.
        EXPECT_EQ(form->PnlOption2->isVisible(), page == 5) << page;
        EXPECT_EQ(form->PnlOption->isVisible(), page != 5) << page;
    }
}

TEST_F(Form1Test, HiddenPanelKeepsItsState) {
    form->ChkInclude->click();
    form->ListBox2->addItem(QStringLiteral("*.txt"));
    form->ChkLstPic->item(1)->setCheckState(Qt::Unchecked);
    form->PageControl1->setCurrentIndex(5);
    form->PageControl1->setCurrentIndex(2);
    form->PageControl1->setCurrentIndex(5);
    EXPECT_TRUE(form->ChkInclude->isChecked());
    EXPECT_EQ(form->ListBox2->count(), 1);
    EXPECT_EQ(form->ChkLstPic->item(1)->checkState(), Qt::Unchecked);
}

TEST_F(Form1Test, PresetsAtCreation) {
    EXPECT_TRUE(form->RbForm1->isChecked());
    EXPECT_FALSE(form->RbForm6->isChecked());
    EXPECT_FALSE(form->ChkInclude->isChecked());
    EXPECT_FALSE(form->ChkExclude->isChecked());
    EXPECT_FALSE(form->BtnAddSuffix->isEnabled());
    EXPECT_FALSE(form->BtnDelSuffix->isEnabled());
    const QStringList types = {QStringLiteral("*.JPG;*.JPEG"), QStringLiteral("*.BMP"),
                               QStringLiteral("*.GIF"), QStringLiteral("*.PNG"), QStringLiteral("*.TIF")};
    ASSERT_EQ(form->ChkLstPic->count(), types.size());
    for (int i = 0; i < types.size(); ++i) {
        EXPECT_EQ(form->ChkLstPic->item(i)->text(), types[i]);
        EXPECT_EQ(form->ChkLstPic->item(i)->checkState(), Qt::Checked);
    }
}

TEST_F(Form1Test, IncludeAndExcludeAreNeverBothOn) {
    struct Step {
        QCheckBox* box;
        bool include, exclude, buttons;
    };
    const Step steps[] = {
        {form->ChkExclude, false, true, true},   {form->ChkInclude, true, false, true},
        {form->ChkInclude, false, false, false}, {form->ChkInclude, true, false, true},
        {form->ChkExclude, false, true, true},   {form->ChkExclude, false, false, false},
    };
    form->ListBox2->addItem(QStringLiteral("*.doc"));
    for (const Step& s : steps) {
        s.box->click();
        EXPECT_EQ(form->ChkInclude->isChecked(), s.include);
        EXPECT_EQ(form->ChkExclude->isChecked(), s.exclude);
        EXPECT_EQ(form->BtnAddSuffix->isEnabled(), s.buttons);
        EXPECT_EQ(form->BtnDelSuffix->isEnabled(), s.buttons);
    }
    // Switching the filter off keeps the patterns.
    EXPECT_EQ(form->ListBox2->count(), 1);
}

TEST_F(Form1Test, DeleteRemovesOnlyTheSelectedPattern) {
    form->ChkExclude->click();
    form->ListBox2->addItems({QStringLiteral("*.a"), QStringLiteral("*.b"), QStringLiteral("*.c")});
    form->ListBox2->clearSelection();
    form->BtnDelSuffix->click();
    EXPECT_EQ(form->ListBox2->count(), 3);
    form->ListBox2->item(1)->setSelected(true);
    form->BtnDelSuffix->click();
    ASSERT_EQ(form->ListBox2->count(), 2);
    EXPECT_EQ(form->ListBox2->item(0)->text(), QStringLiteral("*.a"));
    EXPECT_EQ(form->ListBox2->item(1)->text(), QStringLiteral("*.c"));
    EXPECT_TRUE(dialogs.calls.isEmpty());
}

TEST_F(Form1Test, RangeCheckBoxFillsAndClears) {
    struct Case {
        const char* begin;
        const char* end;
        const char* beginAfter;
        QLineEdit* TForm1::*focus; // nullptr: focus stays where it was
    };
    const Case cases[] = {
        {"", "", "1", &TForm1::EdtPartNameEnd},
        {"", "7", "", &TForm1::EdtPartNameBegin},
        {"3", "", "3", &TForm1::EdtPartNameEnd},
        {"3", "7", "3", nullptr},
    };
    for (const Case& c : cases) {
        form->ChkFileNamePart->setChecked(false);
        form->EdtPartNameBegin->setText(QLatin1String(c.begin));
        form->EdtPartNameEnd->setText(QLatin1String(c.end));
        form->EdtKeys->setFocus();
        form->ChkFileNamePart->click();
        EXPECT_TRUE(form->ChkFileNamePart->isChecked());
        EXPECT_EQ(form->EdtPartNameBegin->text(), QLatin1String(c.beginAfter)) << c.begin << "|" << c.end;
        EXPECT_EQ(form->EdtPartNameEnd->text(), QLatin1String(c.end));
        if (c.focus) {
            EXPECT_EQ(form->focusWidget(), form.get()->*c.focus) << c.begin << "|" << c.end;
        }
        // Unchecking empties both fields.
        form->ChkFileNamePart->click();
        EXPECT_TRUE(form->EdtPartNameBegin->text().isEmpty());
        EXPECT_TRUE(form->EdtPartNameEnd->text().isEmpty());
    }
}

TEST_F(Form1Test, KeyFiltersLetOnlyTheirCharactersThrough) {
    struct Case {
        QLineEdit* TForm1::*field;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {&TForm1::EdtSize, "12.5a", "12.5"},         {&TForm1::EdtPic, "12.5a", "125"},
        {&TForm1::EdtPartNameBegin, "12.5a", "125"}, {&TForm1::EdtPartNameEnd, "12.5a", "125"},
        {&TForm1::EdtSize, "-+ x,9", "9"},           {&TForm1::EdtKeys, "12.5a", "12.5a"},
        {&TForm1::EdtFilter, "a*b", "a*b"},
    };
    for (const Case& c : cases) {
        QLineEdit* field = form.get()->*c.field;
        field->clear();
        QTest::keyClicks(field, QLatin1String(c.typed));
        EXPECT_EQ(field->text(), QLatin1String(c.shown))
            << field->objectName().toStdString() << " " << c.typed;
    }
}

TEST_F(Form1Test, KeyFilterKeepsEditingKeysAndDropsControlCharacters) {
    QLineEdit* field = form->EdtPic;
    QTest::keyClicks(field, QStringLiteral("123"));
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("12"));
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClicks(field, QStringLiteral("9"));
    EXPECT_EQ(field->text(), QStringLiteral("92"));
    // Ctrl+V would paste unfiltered text; Ctrl+A, Ctrl+X: nothing happens either.
    QApplication::clipboard()->setText(QStringLiteral("x7"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("92"));
    // A non-Latin character (as an input method would deliver it) is no digit either.
    for (const QString& c : {QStringLiteral("５"), QStringLiteral("七")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, c);
        QApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(field->text(), QStringLiteral("92"));
    EXPECT_FALSE(field->testAttribute(Qt::WA_InputMethodEnabled));
}

} // namespace
} // namespace velquin::test

namespace velquin::test {
namespace {

// The room the list's delegate needs around a text so that it draws it without "…".
int wholeTextWidth(const QListWidget* list, const QString& text) {
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    return list->fontMetrics().horizontalAdvance(text) + 2 * margin;
}

TEST_F(Form1Test, RestoredPatternsAreShownWhole) {
    dir.file(QStringLiteral("Velquin.ini"), "[Parameter]\r\nSuffixFilter=*.txt|*.jpeg|*.html|*.mp3|\r\n");
    open();
    form->show();
    QApplication::processEvents();
    QListWidget* list = form->ListBox2;
    ASSERT_EQ(list->count(), 4);
    for (int i = 0; i < list->count(); ++i) {
        const QRect cell = list->visualItemRect(list->item(i));
        EXPECT_GE(cell.width(), wholeTextWidth(list, list->item(i)->text())) << i;
        EXPECT_EQ(cell.top(), list->visualItemRect(list->item(0)).top()) << "one row: " << i;
    }
}

TEST_F(Form1Test, PatternListHoldsSixColumnsAndWidensForALongEntry) {
    form->show();
    QListWidget* list = form->ListBox2;
    list->addItems({QStringLiteral("*.a"), QStringLiteral("*.b"), QStringLiteral("*.c"),
                    QStringLiteral("*.d"), QStringLiteral("*.e"), QStringLiteral("*.f"),
                    QStringLiteral("*.g")});
    QApplication::processEvents();
    const int firstRow = list->visualItemRect(list->item(0)).top();
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(list->visualItemRect(list->item(i)).top(), firstRow) << i;
    EXPECT_GT(list->visualItemRect(list->item(6)).top(), firstRow) << "the seventh starts a new row";

    list->insertItem(1, QStringLiteral("*.a_very_long_extension_name"));
    QApplication::processEvents();
    for (int i = 0; i < list->count(); ++i) {
        const QRect cell = list->visualItemRect(list->item(i));
        EXPECT_GE(cell.width(), wholeTextWidth(list, list->item(i)->text())) << i;
        if (i > 0 && cell.top() == list->visualItemRect(list->item(i - 1)).top()) {
            EXPECT_GT(cell.left(), list->visualItemRect(list->item(i - 1)).right()) << "overlaps: " << i;
        }
    }
}

} // namespace
} // namespace velquin::test

namespace velquin::test {
namespace {

TEST_F(Form1Test, AScreenReadersToggleRunsTheBoxesHandlersAndCodeRunsNone) {
    form->show();
    toggleByScreenReader(form->ChkInclude);
    toggleByScreenReader(form->ChkExclude);
    EXPECT_FALSE(form->ChkInclude->isChecked());
    EXPECT_TRUE(form->ChkExclude->isChecked());
    EXPECT_TRUE(form->BtnAddSuffix->isEnabled());
    EXPECT_TRUE(form->BtnDelSuffix->isEnabled());
    toggleByScreenReader(form->ChkExclude);
    EXPECT_FALSE(form->BtnAddSuffix->isEnabled());

    toggleByScreenReader(form->ChkFileNamePart);
    EXPECT_EQ(form->EdtPartNameBegin->text(), QStringLiteral("1"));
    toggleByScreenReader(form->ChkFileNamePart);
    EXPECT_TRUE(form->EdtPartNameBegin->text().isEmpty());

    // A state set from code (as the settings load does) runs no handler.
    form->ChkInclude->setChecked(true);
    EXPECT_FALSE(form->BtnAddSuffix->isEnabled());
    form->ChkFileNamePart->setChecked(true);
    EXPECT_TRUE(form->EdtPartNameBegin->text().isEmpty());
}

TEST_F(Form1Test, FieldsAreNamedByTheirLabels) {
    const std::pair<QWidget*, QString> fields[] = {
        {form->EdtPartNameBegin, QStringLiteral("只按文件名部分进行分拣，从：")},
        {form->EdtPartNameEnd, QStringLiteral("字符到：")},
        {form->EdtFilter, QStringLiteral("判断文件名时过滤以下字符（多个字符以*（星号）分隔）：")},
        {form->EdtSize, QStringLiteral("分拣出满足条件的文件：")},
        {form->EdtPic, QStringLiteral("图片宽：")},
        {suffix->Edit1, QStringLiteral("输入文件扩展名如:*.txt")},
    };
    for (const auto& [field, name] : fields)
        EXPECT_EQ(accessibleName(field), name) << field->objectName().toStdString();
    // The image threshold is named by the side it compares.
    form->RbPicH->click();
    EXPECT_EQ(accessibleName(form->EdtPic), QStringLiteral("图片高："));
}

TEST_F(Form1Test, AScreenReaderIsToldWhatEachControlIs) {
    using A = QAccessible;
    expectSpoken(form.get(), {
                                 {"", "文件分拣 - Velquin", A::Window},
                                 {"ListBox1", "要分拣的文件", A::List},
                                 {"ListBox2", "文件类型", A::List},
                                 {"ChkLstPic", "图片文件类型包括：", A::List},
                                 {"CmbCondition", "分拣出满足条件的文件：", A::ComboBox, "大于"},
                                 {"CmbUnit", "大小单位", A::ComboBox, "KB"},
                                 {"CmbFileDate", "文件创建时间", A::ComboBox, "早于"},
                                 {"CmbPic", "图片宽：", A::ComboBox, "大于等于"},
                                 {"DtDate", "日期", A::SpinBox},
                                 {"DtTime", "时间", A::SpinBox, "00:00:00"},
                                 {"Label10", "按文件名匹配关键字分拣", A::StaticText},
                                 {"Panel1", "操作按钮", A::Border},
                             });
    // Each criterion's panel is read under its tab's caption.
    for (int i = 0; i < form->PageControl1->count(); ++i)
        EXPECT_EQ(accessibleName(form->PageControl1->widget(i)->findChild<QFrame*>()),
                  form->PageControl1->tabText(i).trimmed());
    // The drop-downs next to a choice of side or stamp follow it.
    form->RbPicH->click();
    form->RbModifyTime->click();
    EXPECT_EQ(accessibleName(form->CmbPic), QStringLiteral("图片高："));
    EXPECT_EQ(accessibleName(form->CmbFileDate), QStringLiteral("文件修改时间"));
    // A date or time tells the range it takes.
    EXPECT_EQ(form->DtTime->accessibleDescription(), QStringLiteral("可选范围：00:00:00 至 23:59:59"));
    EXPECT_TRUE(form->DtDate->accessibleDescription().contains(QStringLiteral("9999")));
}

TEST_F(Form1Test, TabEntersARadioGroupAtItsCheckedButton) {
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(form->RbSkip->isChecked());
    form->Button3->setFocus();
    QTest::keyClick(form->Button3, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->RbSkip);
    QTest::keyClick(form->RbSkip, Qt::Key_Space);
    EXPECT_TRUE(form->RbSkip->isChecked());
    // Out of the group, into the transfer modes at the checked copy mode.
    QTest::keyClick(form->RbSkip, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->RbCopy);
    QTest::keyClick(form->RbCopy, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->RbSkip);
    // An arrow key moves the choice; Tab then enters at the new one.
    QTest::keyClick(form->RbSkip, Qt::Key_Right);
    EXPECT_TRUE(form->RbRename->isChecked());
    form->Button3->setFocus();
    QTest::keyClick(form->Button3, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->RbRename);
}

} // namespace
} // namespace velquin::test

namespace velquin::test {
namespace {

// How many pixels of `area` (in `page`) stand out from the panel's background, which the pixel
// near the page's bottom right corner shows.
int pixelsStandingOut(const QImage& shot, const QRect& area) {
    const QColor background = shot.pixelColor(shot.width() - 8, shot.height() - 8);
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qAbs(shot.pixelColor(x, y).lightnessF() - background.lightnessF()) > 0.4)
                ++count;
        }
    }
    return count;
}

class Form1DarkTest : public Form1Test {
public:
    void SetUp() override {
        saved_ = QApplication::palette();
        QApplication::setPalette(darkPalette());
        Form1Test::SetUp();
    }
    void TearDown() override { QApplication::setPalette(saved_); }

private:
    QPalette saved_;
};

TEST_F(Form1DarkTest, EveryPageReadsInADarkTheme) {
    form->show();
    struct Caption {
        int page;
        QWidget* widget;
    };
    const Caption captions[] = {
        {0, form->Label10},         {0, form->findChild<QWidget*>(QStringLiteral("EdtKeysLabel"))},
        {0, form->Image3},          {1, form->Image4},
        {1, form->ChkOnlyMatchDir}, {3, form->Label6},
        {4, form->RbCreateTime},    {5, form->RbPicW},
        {5, form->Label7},          {6, form->findChild<QWidget*>(QStringLiteral("ChkTakenSidecars"))}};
    for (const Caption& c : captions) {
        ASSERT_NE(c.widget, nullptr);
        form->PageControl1->setCurrentIndex(c.page);
        QApplication::processEvents();
        QWidget* page = form->PageControl1->currentWidget();
        const QImage shot = page->grab().toImage();
        // The caption's text, right of any check mark or radio indicator.
        QRect area(c.widget->mapTo(page, QPoint()), c.widget->size());
        if (qobject_cast<QAbstractButton*>(c.widget))
            area.setLeft(area.left() + 24);
        EXPECT_GT(pixelsStandingOut(shot, area), 20) << c.widget->objectName().toStdString();
    }
}

} // namespace
} // namespace velquin::test

namespace velquin::test {
namespace {

TEST_F(Form1Test, TheTypeFilterButtonsAreWholeAndApart) {
    form->show();
    QApplication::processEvents();
    QPushButton* add = form->BtnAddSuffix;
    QPushButton* del = form->BtnDelSuffix;
    const QRect addArea(add->mapTo(form->GroupBox5, QPoint()), add->size());
    const QRect delArea(del->mapTo(form->GroupBox5, QPoint()), del->size());
    EXPECT_FALSE(addArea.intersects(delArea));
    EXPECT_GT(delArea.top(), addArea.bottom());
    for (QPushButton* b : {add, del}) {
        const QRect area(b->mapTo(form->GroupBox5, QPoint()), b->size());
        EXPECT_TRUE(form->GroupBox5->contentsRect().contains(area)) << b->objectName().toStdString();
        // Room for the caption inside the button's frame.
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        EXPECT_GE(b->height(), b->fontMetrics().height() + 2 * frame) << b->objectName().toStdString();
    }
}

} // namespace
} // namespace velquin::test
