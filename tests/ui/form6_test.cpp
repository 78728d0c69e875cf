#include "shots.h"
#include "ui/accessible.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/sourcelistview.h"

#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/faultcalls.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace velquin {
namespace {

using test::ScriptedDialogs;
using Kind = ScriptedDialogs::Kind;

class FolderWindow : public ::testing::Test {
protected:
    test::TestDir dir;
    ScriptedDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("config/Velquin.ini"))};

    void SetUp() override { dir.folder(QStringLiteral("config")); }

    std::unique_ptr<TForm6> makeWindow() { return std::make_unique<TForm6>(ctx); }
    QByteArray settingsBytes() const {
        return dir.read(QStringLiteral("config/Velquin.ini")).value_or(QByteArray());
    }
    void writeSettings(const QByteArray& bytes) { dir.file(QStringLiteral("config/Velquin.ini"), bytes); }
};

TEST_F(FolderWindow, BandsCaptionsAndPresets) {
    auto w = makeWindow();
    EXPECT_EQ(ctx.form6, w.get());
    const std::pair<const char*, const char*> captions[] = {
        {"GroupBox1", "要分拣的文件夹（目录）"},
        {"Button1", "添加文件夹"},
        {"Button5", "添加目录下级目录"},
        {"Button2", "移除文件夹"},
        {"Button6", "清空列表"},
        {"BtnSaveFileList", "导出列表"},
        {"BtnImpFileList", "导入列表"},
        {"Label10", "     按文件名匹配关键字分拣  "},
        {"Label4", "     按文件名称分拣 "},
        {"Label3", "    按目录下文件数分拣"},
        {"LabelKeys", "请输入关键字（多个关键字以空格分隔）：               "},
        {"ChkFileNamePart", "只按目录名部分进行分拣，从："},
        {"ChkOnlyMatchDir", "只分拣与输出文件夹下已存在目录的相匹配的目录项"},
        {"EdtFileCount", "3"},
        {"GroupBox3", "分拣结果"},
    };
    for (const auto& [name, caption] : captions) {
        const QWidget* control = w->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(velquin::test::captionOf(control), QString::fromUtf8(caption)) << name;
    }

    ASSERT_EQ(w->PageControl1->count(), 4);
    const QStringList tabs = {w->PageControl1->tabText(0), w->PageControl1->tabText(1),
                              w->PageControl1->tabText(2), w->PageControl1->tabText(3)};
    EXPECT_EQ(tabs,
              (QStringList{QStringLiteral(" 按目录名匹配关键字分拣 "), QStringLiteral(" 按目录名分拣"),
                           QStringLiteral(" 按目录下文件数分拣"), QStringLiteral(" 按目录日期属性分拣")}));
    EXPECT_EQ(w->PageControl1->widget(3), w->TabSheet5);
    EXPECT_EQ(w->CmbFileDate->count(), 2);
    EXPECT_EQ(w->CmbFileDate->currentText(), QStringLiteral("早于"));
    EXPECT_EQ(w->DtDate->date(), QDate(2013, 5, 6));
}

TEST_F(FolderWindow, DatePageIsNeverOfferedAsATab) {
    auto w = makeWindow();
    w->show();
    EXPECT_FALSE(w->PageControl1->isTabVisible(3));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(w->PageControl1->isTabVisible(i)) << i;
    // Walking the tabs by keyboard never lands on it either.
    w->PageControl1->setCurrentIndex(2);
    QTest::keyClick(w->PageControl1->tabBar(), Qt::Key_Right);
    EXPECT_NE(w->PageControl1->currentIndex(), 3);
    w->PageControl1->setCurrentIndex(2);
    QTest::keyClick(w->PageControl1, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_NE(w->PageControl1->currentIndex(), 3);
    // Made active from a stored index, its controls are usable.
    w->PageControl1->setCurrentIndex(3);
    EXPECT_TRUE(w->DtDate->isEnabled());
}

// To a screen reader the date page's tab is as hidden as on screen: not shown, not enabled, and
// pressing it opens nothing; the offered tabs open their pages.
TEST_F(FolderWindow, AScreenReaderIsNotOfferedTheDatePage) {
    auto w = makeWindow();
    w->show();
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(w->PageControl1->tabBar());
    EXPECT_EQ(tabs->role(), QAccessible::PageTabList);
    for (int i = 0; i < 4; ++i) {
        QAccessibleInterface* tab = tabs->child(i);
        ASSERT_EQ(tab->role(), QAccessible::PageTab);
        EXPECT_EQ(tab->text(QAccessible::Name), w->PageControl1->tabText(i).trimmed()) << i;
        const bool offered = i != 3;
        EXPECT_EQ(tab->state().invisible || tab->state().disabled, !offered) << i;
        EXPECT_EQ(tab->actionInterface()->actionNames().isEmpty(), !offered) << i;
        tab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(w->PageControl1->currentIndex(), offered ? i : 2) << i;
    }
}

TEST_F(FolderWindow, AScreenReaderIsToldWhatEachControlIs) {
    auto w = makeWindow();
    using A = QAccessible;
    test::expectSpoken(w.get(), {
                                    {"", "文件夹（目录）分拣 - Velquin", A::Window},
                                    {"ListBox1", "要分拣的文件夹（目录）", A::List},
                                    {"CmbFileDate", "文件夹创建时间：", A::ComboBox, "早于"},
                                    {"DtDate", "日期", A::SpinBox},
                                    {"DtTime", "时间", A::SpinBox, "00:00:00"},
                                    {"LabelKeys", "请输入关键字（多个关键字以空格分隔）：", A::StaticText},
                                    {"Panel1", "操作按钮", A::Border},
                                });
}

TEST_F(FolderWindow, AStoredDatePageLeavesTheTabBarClean) {
    writeSettings("[Parameter2]\r\nPage=3\r\n");
    auto w = makeWindow();
    w->show();
    ASSERT_EQ(w->PageControl1->currentIndex(), 3);
    QTabBar* tabs = w->PageControl1->tabBar();
    // The first tab reads as it does with any other page current that is not its neighbour.
    const QRect first = tabs->tabRect(0).adjusted(0, 0, -4, 0).united(QRect(0, 0, 1, 1));
    const QImage withDatePage = tabs->grab(first).toImage();
    w->PageControl1->setCurrentIndex(2);
    const QImage withCountPage = tabs->grab(first).toImage();
    EXPECT_EQ(withDatePage, withCountPage);
}

TEST_F(FolderWindow, OnlyTheCopyModeIsOfferedAndChecked) {
    auto w = makeWindow();
    w->show();
    EXPECT_TRUE(w->RbCopy->isVisible());
    EXPECT_FALSE(w->RbMove->isVisible());
    EXPECT_EQ(w->RbCopy->text(), QStringLiteral("复制式分拣(将文件夹复制到分拣目录)"));
    EXPECT_EQ(w->RbMove->text(), QStringLiteral("移动式分拣(将文件夹从原目录移动到分拣目录)"));
}

TEST_F(FolderWindow, SelectingMoveAsksTheWarningQuestion) {
    const QString question =
        QStringLiteral("错误移动系统目录可能导致电脑系统崩溃，请谨慎选择此选项!\n\n\t仍然要选择此选项吗？");
    for (bool yes : {false, true}) {
        auto w = makeWindow();
        dialogs.calls.clear();
        dialogs.answers = {yes};
        w->RbMove->click();
        ASSERT_EQ(dialogs.calls.size(), 1);
        EXPECT_EQ(dialogs.calls[0].kind, Kind::WarningQuestion);
        EXPECT_EQ(dialogs.calls[0].text, question);
        EXPECT_EQ(dialogs.calls[0].owner, w.get());
        EXPECT_EQ(w->RbCopy->isChecked(), !yes);
        EXPECT_EQ(w->RbMove->isChecked(), yes);
    }
}

TEST_F(FolderWindow, FileCountTakesOnlyTypedDigits) {
    auto w = makeWindow();
    w->show();
    QLineEdit* field = w->EdtFileCount;
    field->clear();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("1a2"));
    EXPECT_EQ(field->text(), QStringLiteral("12"));
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("1"));

    QGuiApplication::clipboard()->setText(QStringLiteral("99"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("1"));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("1"));

    // The context menu's paste is not filtered; the run catches what it lets in.
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    field->end(false);
    field->paste();
    EXPECT_EQ(field->text(), QStringLiteral("1x"));
    w->folders()->addUnique(dir.folder(QStringLiteral("src/Trip")));
    w->EdtOutDir->setText(dir.path(QStringLiteral("out")));
    w->PageControl1->setCurrentIndex(2);
    dialogs.calls.clear();
    QTest::mouseClick(w->BtnCopy, Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("请输入整数!")});
    EXPECT_EQ(w->focusWidget(), field);
}

TEST_F(FolderWindow, RangeFieldsAreNotFiltered) {
    auto w = makeWindow();
    w->show();
    w->EdtPartNameBegin->setFocus();
    QTest::keyClicks(w->EdtPartNameBegin, QStringLiteral("1a"));
    EXPECT_EQ(w->EdtPartNameBegin->text(), QStringLiteral("1a"));
}

TEST_F(FolderWindow, StoredOptionsAreLoaded) {
    const QString out = dir.folder(QStringLiteral("stored out"));
    writeSettings("[Parameter2]\r\nFilter=(1)*(2)\r\nSameFile=3\r\nOutDir=" + out.toUtf8() +
                  "\r\nPage=1\r\nEdtKeys=red blue\r\nCmbFileDate=1\r\n");
    auto w = makeWindow();
    EXPECT_EQ(w->EdtFilter->text(), QStringLiteral("(1)*(2)"));
    EXPECT_TRUE(w->RbRename->isChecked());
    EXPECT_EQ(w->EdtOutDir->text(), out);
    EXPECT_EQ(w->PageControl1->currentIndex(), 1);
    EXPECT_EQ(w->EdtKeys->text(), QStringLiteral("red blue"));
    EXPECT_EQ(w->CmbFileDate->currentIndex(), 1);
}

TEST_F(FolderWindow, StoredPageOutsideTheWindowKeepsTheFormsPage) {
    struct Case {
        QByteArray stored;
        int page;
    };
    for (const Case& c : {Case{"9", 2}, Case{"-1", 2}, Case{"3", 3}, Case{"0x1", 1}}) {
        writeSettings("[Parameter2]\r\nPage=" + c.stored + "\r\n");
        auto w = makeWindow();
        EXPECT_EQ(w->PageControl1->currentIndex(), c.page) << c.stored.constData();
        EXPECT_FALSE(w->PageControl1->isTabVisible(3));
    }
}

TEST_F(FolderWindow, ClosingSavesOnlyItsOwnSection) {
    const QByteArray fileSection = "[Parameter]\r\nFilter=keep me\r\nPage=4\r\n";
    writeSettings(fileSection);
    auto w = makeWindow();
    w->show();
    w->EdtKeys->setText(QStringLiteral("  trip  "));
    w->RbAsk->setChecked(true);
    w->PageControl1->setCurrentIndex(1);
    w->close();
    EXPECT_FALSE(w->isVisible());
    const QByteArray bytes = settingsBytes();
    EXPECT_TRUE(bytes.startsWith(fileSection)) << bytes.constData();
    EXPECT_TRUE(bytes.contains("[Parameter2]\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nSameFile=2\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nPage=1\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nEdtKeys=trip\r\n"));
    EXPECT_TRUE(dialogs.calls.isEmpty());

    // What it saved comes back at the next start.
    auto again = makeWindow();
    EXPECT_TRUE(again->RbAsk->isChecked());
    EXPECT_EQ(again->PageControl1->currentIndex(), 1);
    EXPECT_EQ(again->EdtKeys->text(), QStringLiteral("trip"));
}

TEST_F(FolderWindow, ListButtonsFillEmptyExportAndImportTheFolderList) {
    const QString a = dir.folder(QStringLiteral("src/A"));
    const QString b = dir.folder(QStringLiteral("src/B"));
    dir.folder(QStringLiteral("src/.hidden"));
    dir.file(QStringLiteral("src/f.txt"));
    auto w = makeWindow();
    w->show();

    dialogs.folders = {a, dir.path(QStringLiteral("src"))};
    w->Button1->click();
    EXPECT_EQ(w->folders()->entries(), QStringList{a});
    w->Button5->click(); // A is listed already; the hidden folder and the file are not offered
    EXPECT_EQ(w->folders()->entries(), (QStringList{a, b}));
    EXPECT_EQ(dialogs.texts(Kind::ChooseFolder),
              (QStringList{QStringLiteral("请选择文件夹"), QStringLiteral("请选择上级目录（文件夹）")}));

    const QString listFile = dir.path(QStringLiteral("folders"));
    dialogs.files = {listFile, listFile};
    w->BtnSaveFileList->click();
    EXPECT_EQ(dir.read(QStringLiteral("folders")),
              (a + QStringLiteral("\r\n") + b + QStringLiteral("\r\n")).toUtf8());
    EXPECT_TRUE(dialogs.calls.last().extra.endsWith(QStringLiteral("|dir.lst")));

    w->ListBox1->setCurrentIndex(w->ListBox1->model()->index(0, 0));
    w->Button2->click();
    EXPECT_EQ(w->folders()->entries(), QStringList{b});
    w->Button6->click();
    EXPECT_TRUE(w->folders()->isEmpty());
    w->BtnImpFileList->click();
    EXPECT_EQ(w->folders()->entries(), (QStringList{a, b}));
    EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
}

TEST_F(FolderWindow, ClosingEndsTheProgram) {
    auto w = makeWindow();
    w->show();
    QTimer::singleShot(0, w.get(), [&w] { w->close(); });
    // Should the window fail to end the program, this ends the loop with another code.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(FolderWindow, AboutButtonOpensTheAboutBoxModally) {
    TfrmAbout about;
    about.setServerForTests(QUrl(QStringLiteral("http://127.0.0.1:1")));
    ctx.about = &about;
    auto w = makeWindow();
    w->show();
    bool wasModal = false;
    QTimer::singleShot(0, &about, [&] {
        wasModal = about.isVisible() && QApplication::activeModalWidget() == &about;
        QTest::keyClick(&about, Qt::Key_Escape);
    });
    QTest::mouseClick(w->BtnAout, Qt::LeftButton);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(about.isVisible());
    ctx.about = nullptr;
}

// A folder run started from the start button, one per criterion, checked on disk.
class FolderRunFromWindow : public FolderWindow {
protected:
    void SetUp() override {
        FolderWindow::SetUp();
        dir.file(QStringLiteral("src/云南游记/a.jpg"), "a");
        dir.file(QStringLiteral("src/云南游记/b.jpg"), "b");
        dir.file(QStringLiteral("src/西藏游记/c.txt"), "c");
        dir.file(QStringLiteral("src/西藏游记/deep/d.txt"), "d");
        dir.file(QStringLiteral("src/A1/x.txt"), "x");
        dir.file(QStringLiteral("src/A2/y.txt"), "y");
        dir.folder(QStringLiteral("src/B1"));
        w = makeWindow();
        w->show();
        for (const char* name : {"云南游记", "西藏游记", "A1", "A2", "B1"})
            w->folders()->addUnique(dir.path(QStringLiteral("src/") + QString::fromUtf8(name)));
        w->EdtOutDir->setText(dir.path(QStringLiteral("out")));
        dialogs.calls.clear();
    }
    void start() { QTest::mouseClick(w->BtnCopy, Qt::LeftButton); }
    void expectFinishedAndUnlocked() {
        EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣工作完成！")});
        EXPECT_TRUE(w->BtnCopy->isEnabled());
        EXPECT_TRUE(w->PageControl1->isEnabled());
        EXPECT_TRUE(w->Button3->isEnabled());
        EXPECT_FALSE(w->EdtOutDir->isReadOnly());
        EXPECT_EQ(w->ProgressBar1->value(), 0);
        EXPECT_EQ(w->EdtOutDir->text(), dir.path(QStringLiteral("out/")));
        // Folders are copied, never moved.
        EXPECT_TRUE(dir.existsFile(QStringLiteral("src/云南游记/a.jpg")));
        EXPECT_EQ(w->folders()->count(), 5);
    }
    std::unique_ptr<TForm6> w;
};

// A folder holding one file big enough that copying it takes several event intervals.
class LongCopy : public FolderWindow {
protected:
    void SetUp() override {
        FolderWindow::SetUp();
        QByteArray block(1 << 20, Qt::Uninitialized);
        quint32 x = 2463534242u;
        for (qsizetype i = 0; i + 4 <= block.size(); i += 4) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            std::memcpy(block.data() + i, &x, 4);
        }
        big = dir.file(QStringLiteral("src/Album/big.bin"), block.repeated(kMegabytes));
        w = makeWindow();
        w->PageControl1->setCurrentIndex(int(FolderSortCriterion::ByName));
        w->EdtOutDir->setText(dir.path(QStringLiteral("out")));
        w->folders()->addUnique(dir.path(QStringLiteral("src/Album")));
        w->show();
    }
    // The copy's target, which appears only once the copy is whole.
    bool copied() const { return dir.existsFile(QStringLiteral("out/Album/Album/big.bin")); }
    static constexpr int kMegabytes = 96;
    QString big;
    std::unique_ptr<TForm6> w;
};

TEST_F(LongCopy, TheWindowAnswersWhileOneBigFileIsCopied) {
    bool answeredDuringTheCopy = false;
    QTimer::singleShot(0, w.get(), [&] { answeredDuringTheCopy = w->BtnStop->isEnabled() && !copied(); });
    w->BtnCopy->click();
    EXPECT_TRUE(answeredDuringTheCopy);
    EXPECT_TRUE(copied());
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣工作完成！")});
}

// The longest the window went without answering: the gap between two runs of a 5 ms timer.
class GapGauge {
public:
    GapGauge() {
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            longest_ = qMax(longest_, since_.restart());
            ++ticks;
        });
        tick_.start(5);
        since_.start();
    }
    // Up to now, the time since the last run included.
    qint64 longest() const { return qMax(longest_, since_.elapsed()); }
    int ticks = 0;

private:
    qint64 longest_ = 0;
    QTimer tick_;
    QElapsedTimer since_;
};

// A drive whose calls take their time, as a cold disk's reads or a slow stick's closes do: the
// run or the listing waits for them in its worker, the window goes on answering, and a stop
// pressed meanwhile ends the run once the call in flight is back.
TEST_F(LongCopy, TheWindowAnswersAndStopsWhileTheDriveTakesItsTime) {
    using Call = test::FaultCalls::Call;
    struct Case {
        const char* name;
        QList<Call> slow;
        int ms;
        bool stop;    // pressed after 300 ms
        bool listing; // "添加目录下级目录" lists src instead of a run
    };
    const Case cases[] = {
        {"cold reads", {Call::Read, Call::CopyFileRange, Call::Sendfile}, 150, true, false},
        {"slow writes and closes", {Call::Write, Call::Close, Call::Fsync}, 120, false, false},
        {"slow listing", {Call::Fdopendir, Call::Readdir}, 150, false, true},
    };
    const QString other = dir.folder(QStringLiteral("src/Other"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path(QStringLiteral("out"))).removeRecursively();
        auto calls = std::make_shared<test::FaultCalls>();
        calls->beforeEachCall([&c](Call call) {
            if (c.slow.contains(call))
                std::this_thread::sleep_for(std::chrono::milliseconds(c.ms));
        });
        FileOps slowFs(calls);
        AppContext slowCtx{dialogs, slowFs, ctx.settingsPath};
        TForm6 window(slowCtx);
        window.PageControl1->setCurrentIndex(int(FolderSortCriterion::ByName));
        window.EdtOutDir->setText(dir.path(QStringLiteral("out")));
        window.folders()->addUnique(dir.path(QStringLiteral("src/Album")));
        window.show();
        dialogs.clear();
        QElapsedTimer sinceStop;
        if (c.stop)
            QTimer::singleShot(300, &window, [&] {
                sinceStop.start();
                window.BtnStop->click();
            });
        dialogs.folders = {dir.path(QStringLiteral("src"))};
        const GapGauge gauge;
        (c.listing ? window.Button5 : window.BtnCopy)->click();
        EXPECT_LT(gauge.longest(), 100) << gauge.ticks << " timer runs";
        if (c.listing) {
            EXPECT_EQ(window.folders()->entries(),
                      (QStringList{dir.path(QStringLiteral("src/Album")), other}));
        } else if (c.stop) {
            EXPECT_LT(sinceStop.elapsed(), c.ms + 150);
            EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣已停止！")});
            EXPECT_TRUE(dir.entries(QStringLiteral("out/Album/Album")).isEmpty()) << "a temporary was left";
        } else {
            EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣工作完成！")});
            EXPECT_TRUE(copied());
        }
    }
}

TEST_F(LongCopy, AStopInTheMiddleOfABigFileLeavesNothingOfIt) {
    QTimer::singleShot(0, w.get(), [&] { w->BtnStop->click(); });
    w->BtnCopy->click();
    EXPECT_FALSE(copied());
    EXPECT_TRUE(dir.entries(QStringLiteral("out/Album/Album")).isEmpty()) << "a temporary was left";
    EXPECT_EQ(dir.read(QStringLiteral("src/Album/big.bin")).value_or(QByteArray()).size(), kMegabytes << 20);
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣已停止！")});
    EXPECT_TRUE(w->BtnCopy->isEnabled());
}

TEST_F(FolderRunFromWindow, ByKeyword) {
    w->PageControl1->setCurrentIndex(0);
    w->EdtKeys->setText(QStringLiteral("游记 A"));
    start();
    expectFinishedAndUnlocked();
    EXPECT_EQ(dir.read(QStringLiteral("out/游记/云南游记/a.jpg")), QByteArray("a"));
    EXPECT_EQ(dir.read(QStringLiteral("out/游记/西藏游记/deep/d.txt")), QByteArray("d"));
    EXPECT_EQ(dir.entries(QStringLiteral("out/A")),
              (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
    EXPECT_EQ(dir.entries(QStringLiteral("out")), (QStringList{QStringLiteral("A"), QStringLiteral("游记")}));
}

TEST_F(FolderRunFromWindow, ByNameRange) {
    w->PageControl1->setCurrentIndex(1);
    w->ChkFileNamePart->setChecked(true);
    w->EdtPartNameBegin->setText(QStringLiteral("1"));
    w->EdtPartNameEnd->setText(QStringLiteral("1"));
    start();
    expectFinishedAndUnlocked();
    EXPECT_EQ(dir.read(QStringLiteral("out/A/A1/x.txt")), QByteArray("x"));
    EXPECT_EQ(dir.read(QStringLiteral("out/A/A2/y.txt")), QByteArray("y"));
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("out/B/B1")));
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("out/云/云南游记")));
}

TEST_F(FolderRunFromWindow, ByFileCount) {
    w->PageControl1->setCurrentIndex(2);
    w->EdtFileCount->setText(QStringLiteral("1"));
    start();
    expectFinishedAndUnlocked();
    // 西藏游记 holds one file directly (the one in deep/ does not count), A1 and A2 one each.
    EXPECT_EQ(dir.entries(QStringLiteral("out")),
              (QStringList{QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("西藏游记")}));
    EXPECT_EQ(dir.read(QStringLiteral("out/西藏游记/deep/d.txt")), QByteArray("d"));
}

TEST_F(FolderRunFromWindow, ClashPolicyOfTheWindowIsUsed) {
    w->PageControl1->setCurrentIndex(0);
    w->EdtKeys->setText(QStringLiteral("A1"));
    w->RbRename->setChecked(true);
    start();
    expectFinishedAndUnlocked();
    EXPECT_EQ(dir.read(QStringLiteral("out/A1/A1/x.txt")), QByteArray("x"));
    dialogs.calls.clear();
    start();
    EXPECT_EQ(dir.read(QStringLiteral("out/A1/A1/x.txt")), QByteArray("x"));
    EXPECT_EQ(dir.read(QStringLiteral("out/A1/A1/x_1.txt")), QByteArray("x"));
}

TEST_F(FolderRunFromWindow, EmptyListIsRefusedBeforeAnythingIsLocked) {
    w->Button6->click();
    start();
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("没有需要分拣的文件夹（目录）!")});
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out")));
    EXPECT_TRUE(w->BtnCopy->isEnabled());
}

// Both main windows: the switch and the sections they save.
class BothWindows : public FolderWindow {
protected:
    void SetUp() override {
        FolderWindow::SetUp();
        form1 = std::make_unique<TForm1>(ctx);
        form6 = std::make_unique<TForm6>(ctx);
        SortWindow::pair(*form1, *form6);
        form1->show();
    }
    void TearDown() override {
        form6.reset();
        form1.reset();
    }
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm6> form6;
};

TEST_F(BothWindows, SwitchingKeepsEachWindowsState) {
    QTest::mouseClick(form1->RbForm6, Qt::LeftButton);
    ASSERT_TRUE(form6->isVisible());
    EXPECT_FALSE(form1->isVisible());
    EXPECT_TRUE(form6->RbForm6->isChecked());

    const QString folder = dir.folder(QStringLiteral("src/Trip"));
    form6->folders()->addUnique(folder);
    form6->PageControl1->setCurrentIndex(1);
    form6->EdtFilter->setText(QStringLiteral("(1)"));
    form6->EdtFileCount->setText(QStringLiteral("7"));
    form6->RbEditFileTime->setChecked(true);

    QTest::mouseClick(form6->RbForm1, Qt::LeftButton);
    ASSERT_TRUE(form1->isVisible());
    EXPECT_FALSE(form6->isVisible());
    EXPECT_TRUE(form1->RbForm1->isChecked());
    EXPECT_FALSE(form1->RbForm6->isChecked());

    QTest::mouseClick(form1->RbForm6, Qt::LeftButton);
    ASSERT_TRUE(form6->isVisible());
    EXPECT_TRUE(form6->RbForm6->isChecked());
    EXPECT_FALSE(form6->RbForm1->isChecked());
    EXPECT_EQ(form6->folders()->entries(), QStringList{folder});
    EXPECT_EQ(form6->PageControl1->currentIndex(), 1);
    EXPECT_EQ(form6->EdtFilter->text(), QStringLiteral("(1)"));
    EXPECT_EQ(form6->EdtFileCount->text(), QStringLiteral("7"));
    EXPECT_TRUE(form6->RbEditFileTime->isChecked());
    EXPECT_TRUE(dialogs.calls.isEmpty());
}

TEST_F(BothWindows, AFileRunInsideAFolderRunLeavesBothWhole) {
    for (const char* name : {"A", "B"}) {
        dir.file(QStringLiteral("folders/%1/f.txt").arg(QLatin1String(name)), "f");
        form6->folders()->addUnique(dir.path(QStringLiteral("folders/") + QLatin1String(name)));
    }
    form6->PageControl1->setCurrentIndex(int(FolderSortCriterion::ByName));
    form6->EdtOutDir->setText(dir.path(QStringLiteral("out6")));
    form1->PageControl1->setCurrentWidget(form1->TabSheet2);
    form1->EdtOutDir->setText(dir.path(QStringLiteral("out1")));
    form1->fileList->addAll(
        {dir.file(QStringLiteral("files/a.txt"), "a"), dir.file(QStringLiteral("files/b.txt"), "b")});
    bool stopEnabledInFileWindow = false;
    // At the first pending-event run inside the folder run, the file run starts and ends there.
    QTimer::singleShot(0, form1.get(), [&] {
        stopEnabledInFileWindow = form1->BtnStop->isEnabled();
        form1->BtnCopy->click();
    });
    form6->BtnCopy->click();
    EXPECT_FALSE(stopEnabledInFileWindow);
    EXPECT_EQ(dialogs.texts(Kind::Information),
              (QStringList{QStringLiteral("分拣工作完成！"), QStringLiteral("分拣工作完成！")}));
    EXPECT_EQ(dir.read(QStringLiteral("out6/A/A/f.txt")), QByteArray("f"));
    EXPECT_EQ(dir.read(QStringLiteral("out6/B/B/f.txt")), QByteArray("f"));
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("out1/.txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_FALSE(form1->BtnStop->isEnabled());
    EXPECT_FALSE(form6->BtnStop->isEnabled());
}

TEST_F(BothWindows, AScreenReaderSwitchesTheWindowsWithTheSwitchButtons) {
    test::toggleByScreenReader(form1->RbForm6);
    ASSERT_TRUE(form6->isVisible());
    EXPECT_FALSE(form1->isVisible());
    EXPECT_TRUE(form6->RbForm6->isChecked());
    test::toggleByScreenReader(form6->RbForm1);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_FALSE(form6->isVisible());
    EXPECT_TRUE(form1->RbForm1->isChecked());
}

TEST_F(FolderWindow, FieldsAreNamedByTheirLabels) {
    auto w = makeWindow();
    EXPECT_EQ(test::accessibleName(w->EdtPartNameBegin), QStringLiteral("只按目录名部分进行分拣，从："));
    EXPECT_EQ(test::accessibleName(w->EdtFileCount),
              QStringLiteral("分拣出目录（文件夹）下文件数（不包括子目录下文件）等于"));
}

TEST_F(BothWindows, EachWindowSavesOnlyItsOwnSection) {
    // Closing the folder window writes Parameter2 alone.
    QTest::mouseClick(form1->RbForm6, Qt::LeftButton);
    form1->EdtKeys->setText(QStringLiteral("changed in the file window"));
    form6->EdtKeys->setText(QStringLiteral("folder keys"));
    form6->close();
    const QByteArray afterFolderClose = settingsBytes();
    EXPECT_TRUE(afterFolderClose.startsWith("[Parameter2]\r\n")) << afterFolderClose.constData();
    EXPECT_FALSE(afterFolderClose.contains("[Parameter]"));
    EXPECT_FALSE(afterFolderClose.contains("changed in the file window"));

    // Closing the file window writes Parameter and leaves Parameter2's bytes as they were.
    form6->EdtKeys->setText(QStringLiteral("changed later"));
    form1->show();
    form1->close();
    const QByteArray afterFileClose = settingsBytes();
    EXPECT_TRUE(afterFileClose.startsWith(afterFolderClose)) << afterFileClose.constData();
    EXPECT_TRUE(afterFileClose.contains("[Parameter]\r\n"));
    EXPECT_FALSE(afterFileClose.contains("changed later"));
}

} // namespace
} // namespace velquin

namespace velquin {
namespace {

// Pictures for looking at the layout: written only when VELQUIN_SHOTS names a folder.
TEST(Shots, FolderWindowPagesAndAboutBox) {
    const QString shots = test::shotsFolder();
    if (shots.isEmpty())
        GTEST_SKIP() << "VELQUIN_SHOTS not set";
    test::TestDir dir;
    test::ScriptedDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
    TForm6 form(ctx);
    for (const char* name : {"/home/user/照片/云南游记", "/home/user/照片/西藏游记", "/home/user/文档/A1"})
        form.folders()->addUnique(QString::fromUtf8(name));
    form.EdtOutDir->setText(QStringLiteral("/home/user/分拣结果/"));
    test::shootPages(form, form.PageControl1, {0, 1, 2}, shots, QStringLiteral("form6"));
    TfrmAbout about;
    about.setServerForTests(QUrl(QStringLiteral("http://127.0.0.1:1")));
    test::shoot(about, shots, QStringLiteral("about"));
}

} // namespace
} // namespace velquin
