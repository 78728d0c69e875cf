#include "ui/form1_fixture.h"

#include "engine/filerun.h"
#include "lists/sourcelistmodel.h"
#include "platform/text.h"
#include "settings/windowsettings.h"
#include "ui/dlgpreview.h"
#include "ui/form6.h"
#include "ui/sourcelistview.h"
#include "ui/statusline.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QTimer>

#include <cerrno>
#include <functional>

namespace velquin::test {
namespace {

using Kind = ScriptedDialogs::Kind;

const QString kDone = QStringLiteral("分拣工作完成！");

class Form1RunTest : public Form1Test {
public:
    void SetUp() override {
        Form1Test::SetUp();
        ASSERT_TRUE(dir.isValid());
        out = dir.folder(QStringLiteral("out")) + QLatin1Char('/');
        form->EdtOutDir->setText(out);
    }

    // A source file, added to the window's list.
    QString add(const QString& relative, const QByteArray& content = "x") {
        const QString path = dir.file(QStringLiteral("src/") + relative, content);
        form->fileList->addAll({path});
        return path;
    }

    void start() {
        dialogs.clear();
        form->BtnCopy->click();
    }

    // Everything a locked window shows, as one text, so a failure names what differs.
    QString lockState() const {
        return QStringLiteral("copy=%1 pages=%2 choose=%3 readOnly=%4 busy=%5")
            .arg(form->BtnCopy->isEnabled())
            .arg(form->PageControl1->isEnabled())
            .arg(form->Button3->isEnabled())
            .arg(form->EdtOutDir->isReadOnly())
            .arg(QApplication::overrideCursor() != nullptr);
    }
    const QString unlocked = QStringLiteral("copy=1 pages=1 choose=1 readOnly=0 busy=0");
    const QString locked = QStringLiteral("copy=0 pages=0 choose=0 readOnly=1 busy=1");

    QString out;
};

TEST_F(Form1RunTest, EachCriterionSortsFromTheStartButton) {
    struct Case {
        const char* name;
        std::function<void(Form1RunTest&)> setUp;
        QStringList expected; // relative to the output folder
        QStringList absent;
    };
    const QDate limitDate(2020, 1, 1);
    const Case cases[] = {
        {"keyword",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(0);
             t.form->EdtKeys->setText(QStringLiteral(" cat 狗 "));
             t.add(QStringLiteral("black cat.jpg"));
             t.add(QStringLiteral("小狗.txt"));
             t.add(QStringLiteral("bird.txt"));
         },
         {QStringLiteral("cat/black cat.jpg"), QStringLiteral("狗/小狗.txt")},
         {QStringLiteral("bird.txt")}},
        {"name with range and filter",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(1);
             t.form->ChkFileNamePart->click(); // begin "1"
             t.form->EdtPartNameEnd->setText(QStringLiteral("7"));
             t.form->EdtFilter->setText(QStringLiteral("IMG_"));
             t.add(QStringLiteral("IMG_201301_a.jpg"));
             t.add(QStringLiteral("IMG_201302_b.png"));
         },
         {QStringLiteral("201/IMG_201301_a.jpg"), QStringLiteral("201/IMG_201302_b.png")},
         {}},
        {"type",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(2);
             t.add(QStringLiteral("a.JPG"));
             t.add(QStringLiteral("b.txt"));
             t.add(QStringLiteral("README"));
         },
         {QStringLiteral(".JPG/a.JPG"), QStringLiteral(".txt/b.txt"), QStringLiteral("README")},
         {}},
        {"size, megabytes ignored for small files",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(3);
             t.form->CmbCondition->setCurrentIndex(0);
             t.form->EdtSize->setText(QStringLiteral("1"));
             t.form->CmbUnit->setCurrentIndex(0);
             t.add(QStringLiteral("big.bin"), QByteArray(2048, 'b'));
             t.add(QStringLiteral("small.bin"), QByteArray(10, 's'));
         },
         {QStringLiteral("大于1KB/big.bin")},
         {QStringLiteral("大于1KB/small.bin")}},
        {"date, modification time earlier than the limit",
         [limitDate](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(4);
             t.form->RbModifyTime->setChecked(true);
             t.form->CmbFileDate->setCurrentIndex(0);
             t.form->DtDate->setDate(limitDate);
             t.form->DtTime->setTime(QTime(0, 0));
             TestDir::setModified(t.add(QStringLiteral("old.txt")),
                                  QDateTime(QDate(2019, 6, 1), QTime(12, 0)));
             TestDir::setModified(t.add(QStringLiteral("new.txt")),
                                  QDateTime(QDate(2021, 6, 1), QTime(12, 0)));
         },
         {dateFolderName(limitDate, true) + QStringLiteral("/old.txt")},
         {dateFolderName(limitDate, true) + QStringLiteral("/new.txt")}},
        {"image width at least",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(5);
             t.form->RbPicW->setChecked(true);
             t.form->CmbPic->setCurrentIndex(0);
             t.form->EdtPic->setText(QStringLiteral("40"));
             for (const auto& [name, width] : {std::pair{"wide.png", 64}, std::pair{"narrow.png", 16}}) {
                 QImage image(width, 8, QImage::Format_RGB32);
                 image.fill(Qt::green);
                 const QString path = t.dir.file(QStringLiteral("src/") + QLatin1String(name));
                 ASSERT_TRUE(image.save(path, "PNG"));
                 t.form->fileList->addAll({path});
             }
             // Not an image type of the list: never looked at.
             t.add(QStringLiteral("wide.txt"));
         },
         {QStringLiteral("大于等于40/wide.png")},
         {QStringLiteral("大于等于40/narrow.png"), QStringLiteral("大于等于40/wide.txt")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->fileList->clear();
        const QString sub = dir.folder(QLatin1String(c.name));
        out = sub + QLatin1Char('/');
        form->EdtOutDir->setText(out);
        c.setUp(*this);
        start();
        EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{kDone});
        for (const QString& e : c.expected)
            EXPECT_TRUE(QFileInfo(out + e).isFile()) << e.toStdString();
        for (const QString& e : c.absent)
            EXPECT_FALSE(QFileInfo(out + e).exists()) << e.toStdString();
        EXPECT_EQ(lockState(), unlocked);
        EXPECT_EQ(form->ProgressBar1->value(), 0);
    }
}

TEST_F(Form1RunTest, MoveModeAndTypeFilterAreReadFromTheWindow) {
    form->PageControl1->setCurrentIndex(2);
    form->RbMove->setChecked(true);
    form->ChkExclude->click();
    form->ListBox2->addItem(QStringLiteral("*.TXT"));
    const QString jpg = add(QStringLiteral("a.jpg"));
    const QString txt = add(QStringLiteral("b.txt"));
    start();
    EXPECT_TRUE(QFileInfo(out + QStringLiteral(".jpg/a.jpg")).isFile());
    EXPECT_FALSE(QFileInfo::exists(jpg));
    EXPECT_TRUE(QFileInfo::exists(txt));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral(".txt")));
    // Moved entries stay listed.
    EXPECT_EQ(form->fileList->count(), 2);
}

// The run goes on in a worker; what the user sets while it goes counts from the next item.
TEST_F(Form1RunTest, OptionsChangedDuringTheRunApplyFromTheNextItem) {
    form->PageControl1->setCurrentIndex(2);
    form->RbAsk->click();
    const QString a = add(QStringLiteral("a.txt"));
    const QString b = add(QStringLiteral("b.txt"));
    const QString c = add(QStringLiteral("c.jpg"));
    dir.file(QStringLiteral("out/.txt/a.txt"), "old");
    dialogs.answers = {true};
    dialogs.whileQuestion = [&] {
        form->RbMove->setChecked(true);
        form->ChkExclude->click();
        form->ListBox2->addItem(QStringLiteral("*.jpg"));
    };
    start();
    EXPECT_TRUE(QFileInfo::exists(a)) << "the item asked about was copied";
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/a.txt")), QByteArray("x"));
    EXPECT_FALSE(QFileInfo::exists(b)) << "the next one was moved";
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/.txt/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(c));
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out/.jpg"))) << "the filter counts from the next item";
}

TEST_F(Form1RunTest, ClashQuestionBelongsToTheApplication) {
    form->PageControl1->setCurrentIndex(2);
    form->RbAsk->click();
    add(QStringLiteral("a.txt"), "new");
    const QString target = dir.file(QStringLiteral("out/.txt/a.txt"), "old");
    dialogs.answers.push_back(true);
    start();
    ASSERT_EQ(dialogs.texts(Kind::Question),
              QStringList{QStringLiteral("文件") + target + QStringLiteral("已存在，是否覆盖？")});
    EXPECT_EQ(dialogs.calls[0].owner, nullptr);
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/a.txt")), QByteArray("new"));
}

// Where no trash can keep what a run replaces, the window asks once, No the default; No keeps
// every old target and the closing box counts those items with the reason.
TEST_F(Form1RunTest, TrashQuestionComesOnceAndNoKeepsTheOldTargets) {
    form->PageControl1->setCurrentIndex(2);
    form->RbOverwrite->click();
    for (const char* name : {"a.txt", "b.txt"}) {
        add(QLatin1String(name), "new");
        dir.file(QStringLiteral("out/.txt/") + QLatin1String(name), "old");
    }
    ctx.trashFolder = dir.file(QStringLiteral("blocker"), "x") + QStringLiteral("/Trash");
    start();
    const QString reason = systemReason(ENOTDIR);
    ASSERT_EQ(dialogs.texts(Kind::Question), QStringList{QStringLiteral("无法将被替换的文件放入回收站：") +
                                                         reason + QStringLiteral("。是否仍然替换？")});
    EXPECT_FALSE(dialogs.calls[0].yesIsDefault);
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/b.txt")), QByteArray("old"));
    EXPECT_EQ(dialogs.calls.back().line, QStringLiteral("有 2 个项目未能分拣。"));
    EXPECT_TRUE(
        dialogs.calls.back().details.contains(QStringLiteral("无法将被替换的文件放入回收站：") + reason));
}

// Records the pointer shown while the clash question is up.
class CursorWatchingDialogs : public ScriptedDialogs {
public:
    bool question(QObject* owner, const QString& text, bool yesIsDefault) override {
        const QCursor* cursor = QApplication::overrideCursor();
        shapes.append(cursor ? int(cursor->shape()) : -1);
        return ScriptedDialogs::question(owner, text, yesIsDefault);
    }
    QList<int> shapes;
};

// The busy pointer stays held while the question is up; the boxes themselves show the normal
// one over it (QtDialogs).
TEST(Form1Cursor, TheRunHoldsTheBusyPointerThroughItsStepsAndTheClashQuestion) {
    TestDir dir;
    CursorWatchingDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
    TForm1 form(ctx);
    form.PageControl1->setCurrentIndex(2);
    form.RbAsk->click();
    form.EdtOutDir->setText(dir.folder(QStringLiteral("out")));
    form.fileList->addAll({dir.file(QStringLiteral("src/a.txt")), dir.file(QStringLiteral("src/b.txt"))});
    dir.file(QStringLiteral("out/.txt/a.txt"));
    dir.file(QStringLiteral("out/.txt/b.txt"));
    QList<int> busyAtSteps;
    QObject::connect(form.ProgressBar1, &QProgressBar::valueChanged, &form, [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        busyAtSteps.append(cursor ? int(cursor->shape()) : -1);
    });
    form.BtnCopy->click();
    EXPECT_EQ(dialogs.shapes, (QList<int>{Qt::WaitCursor, Qt::WaitCursor}));
    // The bar moves to 50 and 100 under the busy cursor, and back to 0 after the unlock.
    EXPECT_EQ(busyAtSteps, (QList<int>{Qt::WaitCursor, Qt::WaitCursor, -1}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Form1RunTest, ProgressStepsForFourFilesAndTheLockWhileRunning) {
    form->PageControl1->setCurrentIndex(2);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        add(QLatin1String(name));
    // Away from 0, so the first step is seen too.
    form->ProgressBar1->setValue(5);
    QList<int> values;
    QStringList states;
    QStringList lines;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int v) {
        values.append(v);
        states.append(lockState());
        lines.append(form->progressLine->line());
    });
    start();
    EXPECT_EQ(values, (QList<int>{0, 25, 50, 75, 100, 0}));
    // The line under the bar names the first file at once and is empty once the run is over.
    EXPECT_EQ(lines.first(), QStringLiteral("正在复制 a.txt\u3000"
                                            "0 / 4"));
    EXPECT_EQ(lines.last(), QString());
    EXPECT_EQ(form->progressLine->text(), QString());
    // Locked at every step; unlocked before the closing message sets the bar back to 0.
    EXPECT_EQ(states, (QStringList{locked, locked, locked, locked, locked, unlocked}));
    EXPECT_EQ(lockState(), unlocked);
}

TEST_F(Form1RunTest, StopEndsTheRunAfterTheFileInFlightAndUnlocksTheWindow) {
    form->PageControl1->setCurrentIndex(2);
    form->RbAsk->click();
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        add(QLatin1String(name));
    dir.file(QStringLiteral("out/.txt/b.txt"), "old");
    EXPECT_FALSE(form->BtnStop->isEnabled());
    bool enabledDuring = false;
    // Pressed while b's question stands: the copy of b stops before it begins and leaves the
    // old file; c and d are not reached.
    dialogs.answers = {true};
    dialogs.whileQuestion = [&] {
        enabledDuring = form->BtnStop->isEnabled();
        form->BtnStop->click();
    };
    bool enabledInBox = true;
    dialogs.whileDetailsBox = [&] { enabledInBox = form->BtnStop->isEnabled(); };
    start();
    EXPECT_TRUE(enabledDuring);
    EXPECT_FALSE(enabledInBox);
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("out/.txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/b.txt")), QByteArray("old"));
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("分拣已停止！")});
    EXPECT_EQ(dialogs.calls.last().owner, form.get());
    EXPECT_FALSE(form->BtnStop->isEnabled());
    EXPECT_EQ(lockState(), unlocked);
}

TEST_F(Form1RunTest, ClosingDuringARunStopsItSavesAndEndsWithoutABox) {
    form->PageControl1->setCurrentIndex(2);
    form->RbAsk->setChecked(true);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        add(QLatin1String(name));
        dir.file(QStringLiteral("out/.txt/") + QLatin1String(name), "old");
    }
    dialogs.answers = {true, true, true};
    form->show();
    QTimer::singleShot(0, form.get(), [&] { start(); });
    // Inside the run, while the first question stands.
    dialogs.whileQuestion = [&] { form->close(); };
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    // After the close no more questions were put. Each one answered before it was carried out;
    // the copy in flight when the close came may have been cut short, and then left the old file.
    const qsizetype asked = dialogs.texts(Kind::Question).size();
    EXPECT_TRUE(asked >= 1 && asked < 3) << asked;
    EXPECT_TRUE(dialogs.texts(Kind::Information).isEmpty());
    const char* names[] = {"a.txt", "b.txt", "c.txt"};
    for (qsizetype i = 0; i < 3; ++i) {
        const QByteArray now =
            dir.read(QStringLiteral("out/.txt/") + QLatin1String(names[i])).value_or("(missing)");
        if (i == asked - 1)
            EXPECT_TRUE(now == "x" || now == "old") << now.constData();
        else
            EXPECT_EQ(now, QByteArray(i < asked ? "x" : "old"));
    }
    EXPECT_TRUE(QFileInfo::exists(ctx.settingsPath));
}

TEST_F(Form1RunTest, TheClosingBoxCountsAndListsTheFailures) {
    form->PageControl1->setCurrentIndex(2);
    const QString a = add(QStringLiteral("a.txt"));
    add(QStringLiteral("b.jpg"));
    dir.file(QStringLiteral("out/.txt"), "a file where the folder would go");
    start();
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_EQ(dialogs.calls[0].text, kDone);
    EXPECT_EQ(dialogs.calls[0].line, QStringLiteral("有 1 个项目未能分拣。"));
    EXPECT_TRUE(dialogs.calls[0].details.startsWith(a + QStringLiteral(" → ")));
}

TEST_F(Form1RunTest, PreviewStartsTheRunAndUndoTakesItBack) {
    ctx.journalFolder = dir.path(QStringLiteral("state"));
    form->PageControl1->setCurrentIndex(2);
    form->RbRename->setChecked(true);
    add(QStringLiteral("x/a.txt"), "1");
    add(QStringLiteral("y/a.txt"), "2");
    EXPECT_FALSE(form->BtnUndo->isEnabled());
    QStringList shown;
    // The dialog stands once the preview's planning, off the window's thread, is over.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, form.get(), [&] {
        auto* dialog = form->findChild<DlgPreview*>(QStringLiteral("DlgPreview"));
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        const QAbstractItemModel* rows = dialog->GridPreview->model();
        for (int r = 0; r < rows->rowCount(); ++r)
            shown.append(rows->index(r, 2).data().toString());
        shown.append(dialog->LblCount->text());
        dialog->BtnStart->click();
    });
    poll.start(1);
    dialogs.clear();
    form->BtnPreview->click();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("复制"), QStringLiteral("自动编号为 a_1.txt（列表中重名）"),
                                  QStringLiteral("2 个文件将被复制，1 个冲突将自动编号，0 个不匹配")}));
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{kDone});
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("out/.txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("a_1.txt")}));

    ASSERT_TRUE(form->BtnUndo->isEnabled());
    dialogs.clear();
    dialogs.answers = {true};
    form->BtnUndo->click();
    ASSERT_EQ(dialogs.calls.size(), 2);
    EXPECT_EQ(dialogs.calls[0].kind, Kind::Question);
    EXPECT_FALSE(dialogs.calls[0].yesIsDefault);
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("撤销上次分拣：将恢复 0 个文件，删除 2 个复制出的文件。是否继续？"));
    EXPECT_TRUE(dialogs.calls[0].details.startsWith(QStringLiteral("删除 ") +
                                                    dir.path(QStringLiteral("out/.txt/a_1.txt\n删除 "))));
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("撤销完成！"));
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out/.txt")));
    EXPECT_FALSE(form->BtnUndo->isEnabled());
}

TEST_F(Form1RunTest, EditingTheListDuringTheRunChangesNothingUnderIt) {
    form->PageControl1->setCurrentIndex(2);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        add(QLatin1String(name));
    bool edited = false;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int v) {
        if (v == 25 && !edited) {
            edited = true;
            // The list buttons stay usable while the run lets events through.
            form->Button6->click();
            dialogs.fileLists.push_back({dir.file(QStringLiteral("src/late.doc"))});
            form->Button1->click();
        }
    });
    start();
    EXPECT_TRUE(edited);
    EXPECT_EQ(dir.entries(QStringLiteral("out/.txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt"),
                           QStringLiteral("d.txt")}));
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out/.doc")));
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{kDone});
    EXPECT_EQ(form->fileList->entries(), QStringList{dir.path(QStringLiteral("src/late.doc"))});
}

TEST_F(Form1RunTest, FailedChecksShowTheirMessageFocusTheFieldAndLockNothing) {
    struct Case {
        const char* name;
        std::function<void(Form1RunTest&)> setUp;
        QString message;
        QWidget* (*focus)(TForm1&); // nullptr: not checked
    };
    const Case cases[] = {
        {"empty list", [](Form1RunTest& t) { t.form->fileList->clear(); },
         QStringLiteral("没有需要分拣的文件!"), nullptr},
        {"include without patterns",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(2);
             t.form->ChkInclude->click();
         },
         QStringLiteral("如果选择了只分拣某些文件类型，则类型不应当为空！"), nullptr},
        {"no keywords",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(0);
             t.form->EdtKeys->setText(QStringLiteral("   "));
         },
         QStringLiteral("请输入匹配关键字!"), [](TForm1& f) -> QWidget* { return f.EdtKeys; }},
        {"range end not a number",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(1);
             t.form->ChkFileNamePart->click();
         },
         QStringLiteral("请输入整数序号!"), [](TForm1& f) -> QWidget* { return f.EdtPartNameEnd; }},
        {"size with a point",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(3);
             t.form->EdtSize->setText(QStringLiteral("12.5"));
         },
         QStringLiteral("请输入正确的文件大小!"), [](TForm1& f) -> QWidget* { return f.EdtSize; }},
        {"no pixel limit",
         [](Form1RunTest& t) {
             t.form->PageControl1->setCurrentIndex(5);
             t.form->EdtPic->clear();
         },
         QStringLiteral("请输入正确的图片宽高!"), [](TForm1& f) -> QWidget* { return f.EdtPic; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        form->EdtOutDir->setText(out);
        add(QStringLiteral("a.txt"));
        c.setUp(*this);
        form->BtnAout->setFocus();
        start();
        EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{c.message});
        EXPECT_EQ(dialogs.calls.value(0).owner, form.get());
        if (c.focus) {
            EXPECT_EQ(form->focusWidget(), c.focus(*form));
        }
        EXPECT_EQ(lockState(), unlocked);
        EXPECT_TRUE(dir.entries(QStringLiteral("out")).isEmpty());
    }
}

TEST_F(Form1RunTest, BlankOutputFolderOpensTheChooserAndDoesNotRun) {
    form->PageControl1->setCurrentIndex(2);
    add(QStringLiteral("a.txt"));
    form->EdtOutDir->setText(QStringLiteral("  "));
    dialogs.folders.push_back(dir.path(QStringLiteral("out")));
    start();
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("请选择分拣结果输出目录！")});
    EXPECT_EQ(dialogs.texts(Kind::ChooseFolder), QStringList{QStringLiteral("请选择文件夹")});
    EXPECT_EQ(form->EdtOutDir->text(), out);
    EXPECT_TRUE(dir.entries(QStringLiteral("out")).isEmpty());
}

TEST_F(Form1RunTest, OutputFieldGainsItsSeparatorEvenWhenALaterCheckFails) {
    form->PageControl1->setCurrentIndex(0);
    add(QStringLiteral("a.txt"));
    form->EdtOutDir->setText(dir.path(QStringLiteral("out")));
    start();
    EXPECT_EQ(dialogs.texts(Kind::Information), QStringList{QStringLiteral("请输入匹配关键字!")});
    EXPECT_EQ(form->EdtOutDir->text(), out);
}

TEST_F(Form1RunTest, ListButtonsFillEmptyExportAndImportTheList) {
    const QString a = dir.file(QStringLiteral("src/a.txt"));
    const QString b = dir.file(QStringLiteral("src/b.txt"));
    dialogs.fileLists.push_back({a, b, a});
    form->Button1->click();
    EXPECT_EQ(form->fileList->entries(), (QStringList{a, b}));
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_EQ(dialogs.calls[0].kind, Kind::OpenFiles);
    EXPECT_EQ(dialogs.calls[0].owner, form.get());

    const QString listFile = dir.path(QStringLiteral("files.lst"));
    dialogs.files.push_back(listFile);
    form->BtnSaveFileList->click();
    EXPECT_EQ(dir.read(QStringLiteral("files.lst")),
              (a + QStringLiteral("\r\n") + b + QStringLiteral("\r\n")).toUtf8());

    // Remove does nothing without a selection, then removes the selected entry.
    form->ListBox1->clearSelection();
    form->Button2->click();
    EXPECT_EQ(form->fileList->count(), 2);
    form->ListBox1->setCurrentIndex(form->fileList->index(0));
    form->Button2->click();
    EXPECT_EQ(form->fileList->entries(), QStringList{b});

    form->Button6->click();
    EXPECT_TRUE(form->fileList->isEmpty());
    dialogs.files.push_back(listFile);
    form->BtnImpFileList->click();
    EXPECT_EQ(form->fileList->entries(), (QStringList{a, b}));
    EXPECT_TRUE(form->ListBox1->acceptDrops());
}

TEST_F(Form1RunTest, SwitchingToTheFolderWindowAndBackKeepsEverything) {
    TForm6 form6(ctx);
    SortWindow::pair(*form, form6);
    form->PageControl1->setCurrentIndex(3);
    form->EdtSize->setText(QStringLiteral("42"));
    add(QStringLiteral("a.txt"));
    form->show();

    form->RbForm6->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form6.isVisible());
    EXPECT_TRUE(form6.RbForm6->isChecked());

    form6.RbForm1->click();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form6.isVisible());
    EXPECT_TRUE(form->RbForm1->isChecked());
    EXPECT_FALSE(form->RbForm6->isChecked());
    EXPECT_EQ(form->PageControl1->currentIndex(), 3);
    EXPECT_EQ(form->EdtSize->text(), QStringLiteral("42"));
    EXPECT_EQ(form->fileList->count(), 1);
    EXPECT_EQ(form->EdtOutDir->text(), out);
}

// ---- settings ----

TEST_F(Form1Test, FirstStartWithoutSettings) {
    ASSERT_FALSE(QFileInfo::exists(ctx.settingsPath));
    EXPECT_EQ(form->lblOption->text(), QStringLiteral("分拣方式： 按文件名匹配关键字分拣 "));
    EXPECT_FALSE(form->PnlOption->isHidden());
    EXPECT_TRUE(form->PnlOption2->isHidden());
    EXPECT_EQ(form->EdtOutDir->text(), defaultOutputFolder());
    EXPECT_TRUE(form->EdtOutDir->text().endsWith(QLatin1Char('/')));
    EXPECT_TRUE(form->RbPicW->isChecked());
    EXPECT_TRUE(form->RbCreateTime->isChecked());
    EXPECT_EQ(form->DtDate->date(), QDate(2013, 5, 6));
    EXPECT_EQ(form->DtTime->time(), QTime(0, 0, 0));
    for (QComboBox* c : {form->CmbCondition, form->CmbUnit, form->CmbFileDate, form->CmbPic})
        EXPECT_EQ(c->currentIndex(), 0);
    for (QLineEdit* e : {form->EdtFilter, form->EdtSize, form->EdtPic})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_EQ(form->ListBox2->count(), 0);
}

TEST_F(Form1Test, ClosingSavesAndTheNextStartRestoresEveryOption) {
    const QString outDir = dir.folder(QStringLiteral("result")) + QLatin1Char('/');
    form->EdtFilter->setText(QStringLiteral(" IMG_*_a "));
    form->RbEditFileTime->click();
    form->EdtOutDir->setText(outDir);
    form->PageControl1->setCurrentIndex(5);
    form->RbPicH->setChecked(true);
    form->CmbPic->setCurrentIndex(2);
    form->EdtPic->setText(QStringLiteral("800"));
    form->CmbCondition->setCurrentIndex(1);
    form->CmbUnit->setCurrentIndex(1);
    form->EdtSize->setText(QStringLiteral("12"));
    form->EdtKeys->setText(QStringLiteral("  red 蓝  "));
    form->ListBox2->addItems({QStringLiteral("*.txt"), QStringLiteral("*.中文")});
    form->DtDate->setDate(QDate(2021, 12, 31));
    form->DtTime->setTime(QTime(23, 59, 58));
    form->RbModifyTime->setChecked(true);
    form->CmbFileDate->setCurrentIndex(1);
    // Not kept between starts.
    form->RbMove->setChecked(true);
    form->ChkInclude->click();
    form->ChkOnlyMatchDir->setChecked(true);
    form->ChkLstPic->item(0)->setCheckState(Qt::Unchecked);
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(dialogs.calls.isEmpty());
    ASSERT_TRUE(QFileInfo::exists(ctx.settingsPath));

    open();
    EXPECT_EQ(form->EdtFilter->text(), QStringLiteral(" IMG_*_a ").trimmed()); // the reader trims values
    EXPECT_TRUE(form->RbEditFileTime->isChecked());
    EXPECT_EQ(form->EdtOutDir->text(), outDir);
    EXPECT_EQ(form->PageControl1->currentIndex(), 5);
    EXPECT_EQ(form->lblOption->text(), QStringLiteral("分拣方式： 图像文件分拣"));
    EXPECT_TRUE(form->PnlOption->isHidden());
    EXPECT_FALSE(form->PnlOption2->isHidden());
    EXPECT_TRUE(form->RbPicH->isChecked());
    EXPECT_EQ(form->CmbPic->currentIndex(), 2);
    EXPECT_EQ(form->EdtPic->text(), QStringLiteral("800"));
    EXPECT_EQ(form->CmbCondition->currentIndex(), 1);
    EXPECT_EQ(form->CmbUnit->currentIndex(), 1);
    EXPECT_EQ(form->EdtSize->text(), QStringLiteral("12"));
    EXPECT_EQ(form->EdtKeys->text(), QStringLiteral("red 蓝"));
    ASSERT_EQ(form->ListBox2->count(), 2);
    EXPECT_EQ(form->ListBox2->item(1)->text(), QStringLiteral("*.中文"));
    EXPECT_EQ(form->DtDate->date(), QDate(2021, 12, 31));
    EXPECT_EQ(form->DtTime->time(), QTime(23, 59, 58));
    EXPECT_TRUE(form->RbModifyTime->isChecked());
    EXPECT_EQ(form->CmbFileDate->currentIndex(), 1);
    EXPECT_TRUE(form->RbCopy->isChecked());
    EXPECT_FALSE(form->ChkInclude->isChecked());
    EXPECT_FALSE(form->BtnAddSuffix->isEnabled());
    EXPECT_FALSE(form->ChkOnlyMatchDir->isChecked());
    EXPECT_EQ(form->ChkLstPic->item(0)->checkState(), Qt::Checked);
}

// The date-taken page is stored as page 6 with keys of its own, after the others.
TEST_F(Form1Test, TheDateTakenPageAndItsOptionsAreRestored) {
    const auto pattern = [this] { return form->findChild<QComboBox*>(QStringLiteral("CmbTakenPattern")); };
    const auto sidecars = [this] { return form->findChild<QCheckBox*>(QStringLiteral("ChkTakenSidecars")); };
    ASSERT_EQ(form->PageControl1->count(), 7);
    EXPECT_EQ(form->PageControl1->widget(6)->objectName(), QStringLiteral("TabSheet7"));
    EXPECT_EQ(pattern()->currentText(), QStringLiteral("年/月"));
    form->PageControl1->setCurrentIndex(6);
    pattern()->setCurrentIndex(4);
    sidecars()->setChecked(false);
    EXPECT_TRUE(form->close());
    open();
    EXPECT_EQ(form->PageControl1->currentIndex(), 6);
    EXPECT_EQ(form->lblOption->text(), QStringLiteral("分拣方式： 按拍摄日期分拣"));
    EXPECT_EQ(pattern()->currentIndex(), 4);
    EXPECT_FALSE(sidecars()->isChecked());
}

TEST_F(Form1Test, AStoredPageOutOfRangeLeavesTheNamePage) {
    form->PageControl1->setCurrentIndex(3);
    form->close();
    QFile file(ctx.settingsPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("Page=3", "Page=7");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    open();
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);
    EXPECT_EQ(form->lblOption->text(), QStringLiteral("分拣方式： 按文件名分拣"));
    EXPECT_FALSE(form->PnlOption->isHidden());
}

// Choices with no button checked and a drop-down with no item selected save as they always have.
TEST_F(Form1Test, UncheckedChoicesAndAnIndexOutsideTheList) {
    dir.file(QStringLiteral("Velquin.ini"), "[Parameter]\r\nSameFile=4\r\nCmbUnit=9\r\n");
    open();
    EXPECT_EQ(form->CmbUnit->currentIndex(), -1);
    form->result.clashGroup->setExclusive(false);
    for (QRadioButton* rb : {form->RbEditFileTime, form->RbPicW, form->RbCreateTime}) {
        rb->setAutoExclusive(false);
        rb->setChecked(false);
    }
    form->close();
    const QByteArray saved = *dir.read(QStringLiteral("Velquin.ini"));
    for (const char* line : {"\nSameFile=4\r", "\nPicSize=1\r", "\nFileAttr=1\r", "\nCmbUnit=-1\r"})
        EXPECT_TRUE(saved.contains(line)) << line << saved.constData();
}

} // namespace
} // namespace velquin::test
