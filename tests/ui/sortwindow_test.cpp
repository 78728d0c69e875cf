// What the file window and the folder window share through SortWindow, checked once over both.
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"
#include "ui/accessible.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form6.h"
#include "ui/statusline.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
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

// The scale factor is read once per process: the other scales run this test again in a child.
TYPED_TEST(BothWindowKinds, TheProgressLineFitsUnderTheBarAtEveryScale) {
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) {
        const ::testing::TestInfo* self = ::testing::UnitTest::GetInstance()->current_test_info();
        for (const char* factor : {"1.5", "2"}) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(factor));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--gtest_filter=%1.%2")
                             .arg(QLatin1String(self->test_suite_name()), QLatin1String(self->name()))});
            ASSERT_TRUE(child.waitForFinished(120000)) << factor;
            EXPECT_EQ(child.exitCode(), 0) << factor << child.readAll().toStdString();
        }
    }
    auto& w = *this->w;
    w.show();
    const QString line = QStringLiteral("正在复制 IMG_0001_a_rather_long_name_from_a_camera.jpg\u3000"
                                        "12 / 200"
                                        "\u3000"
                                        "1.2 GB / 3.0 GB\u3000"
                                        "85.0 MB/s\u3000剩余约 21 秒");
    w.progressLine->setLine(line);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.progressLine->accessibleName(), QStringLiteral("分拣进度详情"));
    EXPECT_TRUE(w.GroupBox4->contentsRect().contains(w.progressLine->geometry()))
        << w.progressLine->geometry().bottom() << " " << w.GroupBox4->contentsRect().bottom();
    EXPECT_LE(w.progressLine->sizeHint().width(), w.GroupBox4->contentsRect().width());
    EXPECT_GE(w.progressLine->height(), w.progressLine->sizeHint().height());
    EXPECT_LE(w.progressLine->fontMetrics().horizontalAdvance(w.progressLine->text()),
              w.progressLine->contentsRect().width());
    // Too long for half the window: the name gives way, the counts and the time stay; with some
    // room more the name loses only its middle.
    const auto shown = [&] { return w.progressLine->text().toStdString(); };
    EXPECT_TRUE(w.progressLine->text().endsWith(QStringLiteral("剩余约 21 秒"))) << shown();
    EXPECT_TRUE(w.progressLine->text().contains(QStringLiteral("12 / 200"))) << shown();
    w.resize(1400, w.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.progressLine->text().startsWith(QStringLiteral("正在复制 IMG_0"))) << shown();
    EXPECT_TRUE(w.progressLine->text().contains(QStringLiteral("…"))) << shown();
    EXPECT_TRUE(w.progressLine->text().endsWith(QStringLiteral("剩余约 21 秒"))) << shown();
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
