// What the file window and the folder window share through SortWindow, checked once over both.
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"
#include "ui/accessible.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form6.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace velquin::test {
namespace {

using Kind = ScriptedDialogs::Kind;

template <class Window> class BothWindowKinds : public ::testing::Test {
public:
    TestDir dir;
    ScriptedDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
    std::unique_ptr<Window> w = std::make_unique<Window>(ctx);
};

using WindowKinds = ::testing::Types<TForm1, TForm6>;
TYPED_TEST_SUITE(BothWindowKinds, WindowKinds);

TYPED_TEST(BothWindowKinds, SharedControlsExistUnderTheirNames) {
    for (const char* name :
         {"RbForm1",     "RbForm6",   "ListBox1",     "PageControl1",     "TabSheet6",      "TabSheet1",
          "TabSheet2",   "TabSheet5", "EdtKeys",      "EdtPartNameBegin", "EdtPartNameEnd", "EdtFilter",
          "CmbFileDate", "DtDate",    "DtTime",       "EdtOutDir",        "Button3",        "RbOverwrite",
          "RbAsk",       "RbSkip",    "RbRename",     "RbEditFileTime",   "GroupBox2",      "RbMove",
          "RbCopy",      "GroupBox4", "ProgressBar1", "BtnCopy",          "BtnAout"})
        EXPECT_NE(this->w->template findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
}

TYPED_TEST(BothWindowKinds, CaptionsAndPresetsAtFirstStart) {
    auto& w = *this->w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Velquin"));
    EXPECT_EQ(w.BtnCopy->text(), QStringLiteral("开始处理"));
    EXPECT_EQ(w.BtnAout->text(), QStringLiteral("关于"));
    EXPECT_EQ(w.ProgressBar1->minimum(), 0);
    EXPECT_EQ(w.ProgressBar1->maximum(), 100);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);
    EXPECT_TRUE(w.RbSkip->isChecked());
    EXPECT_FALSE(w.RbOverwrite->isChecked());
    EXPECT_TRUE(w.RbCopy->isChecked());
    EXPECT_FALSE(w.RbMove->isChecked());
    EXPECT_TRUE(w.EdtKeys->text().isEmpty());
    EXPECT_FALSE(w.BtnStop->isEnabled());
    EXPECT_FALSE(w.BtnUndo->isEnabled());
    EXPECT_TRUE(this->dialogs.calls.isEmpty());
    // The keyword and output fields read the same in both windows.
    EXPECT_EQ(accessibleName(w.EdtKeys), QStringLiteral("请输入关键字（多个关键字以空格分隔）："));
    EXPECT_EQ(accessibleName(w.EdtOutDir), QStringLiteral("分拣结果输出到："));
}

TYPED_TEST(BothWindowKinds, OutputChooserAppendsOneSeparator) {
    struct Case {
        std::optional<QString> chosen;
        QString after;
    };
    const Case cases[] = {
        {QStringLiteral("/data/out"), QStringLiteral("/data/out/")},
        {QStringLiteral("/data/out/"), QStringLiteral("/data/out/")},
        {QStringLiteral("/"), QStringLiteral("/")},
        {std::nullopt, QStringLiteral("/keep/")},
    };
    for (const Case& c : cases) {
        this->w->EdtOutDir->setText(QStringLiteral("/keep/"));
        this->dialogs.clear();
        this->dialogs.folders = {c.chosen};
        this->w->Button3->click();
        EXPECT_EQ(this->w->EdtOutDir->text(), c.after)
            << c.chosen.value_or(QStringLiteral("(cancel)")).toStdString();
        ASSERT_EQ(this->dialogs.calls.size(), 1);
        EXPECT_EQ(this->dialogs.calls[0].kind, Kind::ChooseFolder);
        EXPECT_EQ(this->dialogs.calls[0].text, QStringLiteral("请选择文件夹"));
    }
}

TYPED_TEST(BothWindowKinds, ClashButtonsAreOneGroup) {
    auto& w = *this->w;
    QRadioButton* all[] = {w.RbOverwrite, w.RbAsk, w.RbSkip, w.RbRename, w.RbEditFileTime};
    for (QRadioButton* pick : all) {
        pick->click();
        for (QRadioButton* rb : all)
            EXPECT_EQ(rb->isChecked(), rb == pick) << rb->objectName().toStdString();
    }
}

TYPED_TEST(BothWindowKinds, AFailedSaveIsReportedAndTheWindowStillCloses) {
    // A settings path whose folder is a file: nothing can be written there.
    this->ctx.settingsPath = this->dir.file(QStringLiteral("blocker")) + QStringLiteral("/Velquin.ini");
    this->w->show();
    EXPECT_TRUE(this->w->close());
    EXPECT_FALSE(this->w->isVisible());
    ASSERT_EQ(this->dialogs.calls.size(), 1);
    EXPECT_EQ(this->dialogs.calls[0].kind, Kind::Error);
    EXPECT_EQ(this->dialogs.calls[0].text, QStringLiteral("Unable to write to ") + this->ctx.settingsPath);
}

} // namespace
} // namespace velquin::test
