#include "ui/dlgpreview.h"

#include "engine/undo.h"
#include "shots.h"
#include "support/printers.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace velquin {
namespace {

PreviewRow row(const char* source, const char* target, const char* action, bool matched = true) {
    return {QString::fromUtf8(source), QString::fromUtf8(target), QString::fromUtf8(action), matched};
}

// Run order, with the unmatched items in between as the planner meets them.
std::vector<PreviewRow> sampleRows() {
    return {
        row("/in/a.txt", "/out/txt/a.txt", "复制"),
        row("/in/x.bin", "", "不匹配", false),
        row("/in/b.txt", "/out/txt/b.txt", "覆盖"),
        row("/in/y.bin", "", "不匹配", false),
        row("/in/c.txt", "/out/txt/c(1).txt", "自动编号为 c(1).txt"),
    };
}

// What the table shows, row by row: "source | target | action".
QStringList shown(const QTableView* grid, int role = Qt::DisplayRole) {
    QStringList lines;
    const QAbstractItemModel* m = grid->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data(role).toString();
        lines << cells.join(QStringLiteral(" | "));
    }
    return lines;
}

class PreviewTest : public ::testing::Test {
protected:
    QMainWindow owner;
    DlgPreview dialog{&owner, sampleRows(), PreviewCounts{3, 2, 2}, TransferMode::Copy};
};

TEST_F(PreviewTest, LooksAsDescribed) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("分拣预览"));
    EXPECT_EQ(dialog.objectName(), QStringLiteral("DlgPreview"));
    EXPECT_EQ(dialog.parentWidget(), &owner);
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.LblCount->text(), QStringLiteral("3 个文件将被复制, 2 个冲突, 2 个不匹配"));
    EXPECT_EQ(dialog.ChkShowUnmatched->text(), QStringLiteral("显示不匹配的项目"));
    EXPECT_TRUE(dialog.ChkShowUnmatched->isChecked());
    EXPECT_EQ(dialog.BtnStart->text(), QStringLiteral("开始处理"));
    EXPECT_EQ(dialog.BtnClose->text(), QStringLiteral("关闭"));
    for (const char* name : {"LblCount", "ChkShowUnmatched", "GridPreview", "BtnStart", "BtnClose"})
        EXPECT_NE(dialog.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    dialog.show();
    EXPECT_LT(dialog.minimumSize().width(), dialog.maximumSize().width());
    EXPECT_LT(dialog.minimumSize().height(), dialog.maximumSize().height());
}

TEST(PreviewCountLine, SaysCopyOrMove) {
    EXPECT_EQ(DlgPreview::countLine({12, 3, 0}, TransferMode::Copy),
              QStringLiteral("12 个文件将被复制, 3 个冲突, 0 个不匹配"));
    EXPECT_EQ(DlgPreview::countLine({1, 0, 7}, TransferMode::Move),
              QStringLiteral("1 个文件将被移动, 0 个冲突, 7 个不匹配"));
}

TEST_F(PreviewTest, ShowsTheTransfersInRunOrderAndTheUnmatchedGreyedAtTheEnd) {
    const QStringList expected = {
        QStringLiteral("/in/a.txt | /out/txt/a.txt | 复制"),
        QStringLiteral("/in/b.txt | /out/txt/b.txt | 覆盖"),
        QStringLiteral("/in/c.txt | /out/txt/c(1).txt | 自动编号为 c(1).txt"),
        QStringLiteral("/in/x.bin |  | 不匹配"),
        QStringLiteral("/in/y.bin |  | 不匹配"),
    };
    EXPECT_EQ(shown(dialog.GridPreview), expected);
    // Cells show paths shortened where the column is narrow; the tip holds them whole.
    EXPECT_EQ(shown(dialog.GridPreview, Qt::ToolTipRole), expected);
    const QAbstractItemModel* m = dialog.GridPreview->model();
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    for (int r = 0; r < m->rowCount(); ++r) {
        for (int c = 0; c < m->columnCount(); ++c) {
            const QVariant colour = m->index(r, c).data(Qt::ForegroundRole);
            if (r < 3)
                EXPECT_FALSE(colour.isValid()) << r << "," << c;
            else
                EXPECT_EQ(colour.value<QColor>(), grey) << r << "," << c;
        }
    }
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("源路径"));
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("目标路径"));
    EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), QStringLiteral("操作"));
}

TEST_F(PreviewTest, TheCheckBoxHidesAndShowsTheUnmatched) {
    dialog.show();
    const QStringList all = shown(dialog.GridPreview);
    QTest::mouseClick(dialog.ChkShowUnmatched, Qt::LeftButton);
    EXPECT_FALSE(dialog.ChkShowUnmatched->isChecked());
    EXPECT_EQ(shown(dialog.GridPreview), all.mid(0, 3));
    QTest::mouseClick(dialog.ChkShowUnmatched, Qt::LeftButton);
    EXPECT_EQ(shown(dialog.GridPreview), all);
}

TEST(PreviewRows, AllMatchedOrNoneTheCheckBoxStillWorks) {
    for (const bool matched : {true, false}) {
        std::vector<PreviewRow> rows(4, row("/in/a", "/out/a", matched ? "复制" : "不匹配", matched));
        DlgPreview dialog(nullptr, rows, {}, TransferMode::Copy);
        dialog.ChkShowUnmatched->setChecked(false);
        EXPECT_EQ(dialog.GridPreview->model()->rowCount(), matched ? 4 : 0);
        dialog.ChkShowUnmatched->setChecked(true);
        EXPECT_EQ(dialog.GridPreview->model()->rowCount(), 4);
    }
}

// exec() tells the caller what the user chose; Enter alone never starts the run.
TEST_F(PreviewTest, EachWayOutGivesItsResult) {
    struct Case {
        const char* what;
        std::function<void(DlgPreview&)> act;
        int result;
    };
    const Case cases[] = {
        {"开始处理", [](DlgPreview& d) { QTest::mouseClick(d.BtnStart, Qt::LeftButton); }, QDialog::Accepted},
        {"关闭", [](DlgPreview& d) { QTest::mouseClick(d.BtnClose, Qt::LeftButton); }, QDialog::Rejected},
        {"Escape", [](DlgPreview& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected},
        {"Enter", [](DlgPreview& d) { QTest::keyClick(d.GridPreview, Qt::Key_Return); }, QDialog::Rejected},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int thisRound = ++round;
        QTimer::singleShot(0, &dialog, [&] {
            c.act(dialog);
            // A way out that did nothing must fail the test, not hang it.
            QTimer::singleShot(2000, &dialog, [&, thisRound] {
                if (round == thisRound && dialog.isVisible())
                    dialog.done(-1);
            });
        });
        EXPECT_EQ(dialog.exec(), c.result);
    }
}

TEST(PreviewRows, NoWidgetPerRow) {
    std::vector<PreviewRow> rows(10000, row("/in/a", "/out/a", "复制"));
    DlgPreview dialog(nullptr, rows, {10000, 0, 0}, TransferMode::Copy);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.GridPreview->model()->rowCount(), 10000);
    EXPECT_LT(dialog.findChildren<QWidget*>().size(), 40);
}

} // namespace
} // namespace velquin

namespace velquin {
namespace {

// Pictures for the documentation, written only when VELQUIN_SHOTS names a folder: the preview
// of a batch with clashes inside it, and the question undo asks first.
TEST(Shots, PreviewAndUndoQuestion) {
    const QString shots = test::shotsFolder();
    if (shots.isEmpty())
        GTEST_SKIP() << "VELQUIN_SHOTS not set";
    std::vector<PreviewRow> rows = {
        row("/home/user/照片/2023/IMG_0001.jpg", "/home/user/整理/.jpg/IMG_0001.jpg", "复制"),
        row("/home/user/照片/2024/IMG_0001.jpg", "/home/user/整理/.jpg/IMG_0001_1.jpg",
            "自动编号为 IMG_0001_1.jpg"),
        row("/home/user/照片/2024/IMG_0002.jpg", "/home/user/整理/.jpg/IMG_0002.jpg", "复制"),
        row("/home/user/文档/报告.pdf", "/home/user/整理/.pdf/报告_1.pdf", "自动编号为 报告_1.pdf"),
        row("/home/user/文档/README", "", "不匹配", false),
    };
    DlgPreview preview(nullptr, rows, PreviewCounts{4, 2, 1}, TransferMode::Copy);
    preview.resize(900, 320);
    test::shoot(preview, shots, QStringLiteral("preview"));

    // The box's buttons in the program's language, as the program shows them.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    QMessageBox question(QMessageBox::Question, QStringLiteral("Velquin"), undoQuestion(UndoPlan{0, 4}),
                         QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    test::shoot(question, shots, QStringLiteral("undo-question"));
    QCoreApplication::removeTranslator(&qtTexts);
}

} // namespace
} // namespace velquin
