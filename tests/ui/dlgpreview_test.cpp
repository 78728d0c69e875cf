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

#include <cmath>
#include <tuple>

namespace velquin {
namespace {

PreviewRow row(const char* source, const char* target, const char* action, bool matched = true,
               bool conflict = false) {
    return {QString::fromUtf8(source), QString::fromUtf8(target), QString::fromUtf8(action), matched,
            conflict};
}

// Run order, with the unmatched items in between as the planner meets them.
std::vector<PreviewRow> sampleRows() {
    return {
        row("/in/a.txt", "/out/txt/a.txt", "复制"),
        row("/in/x.bin", "", "不匹配", false),
        row("/in/b.txt", "/out/txt/b.txt", "覆盖", true, true),
        row("/in/y.bin", "", "不匹配", false),
        row("/in/c.txt", "/out/txt/c(1).txt", "自动编号为 c(1).txt", true, true),
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
    DlgPreview dialog{&owner, sampleRows(), PreviewCounts{3, 2, 2, ClashPolicy::Overwrite},
                      TransferMode::Copy};
};

TEST_F(PreviewTest, LooksAsDescribed) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("分拣预览"));
    EXPECT_EQ(dialog.objectName(), QStringLiteral("DlgPreview"));
    EXPECT_EQ(dialog.parentWidget(), &owner);
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.LblCount->text(), QStringLiteral("3 个文件将被复制，2 个冲突将被覆盖，2 个不匹配"));
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

TEST(PreviewCountLine, SaysCopyOrMoveAndWhatTheClashPolicyDoes) {
    const std::pair<ClashPolicy, const char*> fates[] = {{ClashPolicy::Skip, "将被跳过"},
                                                         {ClashPolicy::Overwrite, "将被覆盖"},
                                                         {ClashPolicy::Ask, "将逐个询问"},
                                                         {ClashPolicy::AutoNumber, "将自动编号"},
                                                         {ClashPolicy::ReplaceOlder, "将只替换旧文件"}};
    for (const auto& [policy, fate] : fates)
        EXPECT_EQ(DlgPreview::countLine({12, 3, 0, policy}, TransferMode::Copy),
                  QStringLiteral("12 个文件将被复制，3 个冲突") + QString::fromUtf8(fate) +
                      QStringLiteral("，0 个不匹配"));
    EXPECT_EQ(DlgPreview::countLine({1, 0, 7, ClashPolicy::Overwrite}, TransferMode::Move),
              QStringLiteral("1 个文件将被移动，0 个冲突，7 个不匹配"));
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
        {"Enter on 开始处理",
         [](DlgPreview& d) {
             d.BtnStart->setFocus();
             QTest::keyClick(d.BtnStart, Qt::Key_Return);
         },
         QDialog::Accepted},
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

// Tab and Ctrl+Tab leave the table for the buttons, and Shift+Tab comes back.
TEST_F(PreviewTest, TabLeavesTheTable) {
    dialog.show();
    const std::tuple<QWidget*, Qt::KeyboardModifiers, QWidget*> steps[] = {
        {dialog.GridPreview, Qt::NoModifier, dialog.BtnStart},
        {dialog.GridPreview, Qt::ControlModifier, dialog.BtnStart},
        {dialog.BtnStart, Qt::ShiftModifier, dialog.GridPreview}};
    for (const auto& [from, modifiers, to] : steps) {
        from->setFocus();
        QTest::keyClick(from, Qt::Key_Tab, modifiers);
        EXPECT_EQ(dialog.focusWidget(), to) << from->objectName().toStdString() << " " << int(modifiers);
    }
}

double contrast(const QColor& a, const QColor& b) {
    const auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    const auto lum = [&](const QColor& c) {
        return 0.05 + 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    return std::max(lum(a), lum(b)) / std::min(lum(a), lum(b));
}

// Clash rows stand out in bold and colour, unmatched rows stay behind; both read at 3:1 on either
// row colour, in a light and in a dark theme.
TEST(PreviewRows, ClashesStandOutAndUnmatchedStayBehindReadably) {
    const QPalette light = QApplication::palette();
    for (const QPalette& palette : {light, test::darkPalette()}) {
        QApplication::setPalette(palette);
        DlgPreview dialog(nullptr, sampleRows(), {}, TransferMode::Copy);
        const QAbstractItemModel* m = dialog.GridPreview->model();
        const auto colour = [&](int r) { return m->index(r, 1).data(Qt::ForegroundRole).value<QColor>(); };
        for (const QPalette::ColorRole role : {QPalette::Base, QPalette::AlternateBase}) {
            const QColor back = dialog.GridPreview->palette().color(role);
            EXPECT_GE(contrast(colour(1), back), 3.0); // a clash
            EXPECT_GE(contrast(colour(3), back), 3.0); // unmatched
            EXPECT_LT(contrast(colour(3), back), 0.6 * contrast(palette.color(QPalette::Text), back));
        }
        EXPECT_NE(colour(1).hue(), -1) << "a clash is told by more than lightness";
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(m->index(r, 0).data(Qt::FontRole).value<QFont>().bold(), r == 1 || r == 2) << r;
    }
    QApplication::setPalette(light);
}

// A shortened path keeps the folder a file lands in and its name; the start gives way.
TEST(PreviewRows, ShortenedPathsKeepTheirTail) {
    const QFontMetrics fm(QApplication::font());
    const QString path = QStringLiteral("/home/user/照片/2024/五月/整理/.jpg/IMG_0001.jpg");
    const int tailWidth = fm.horizontalAdvance(QStringLiteral("…/.jpg/IMG_0001.jpg"));
    // Width, the end kept, whether the start is kept too.
    const std::tuple<int, QString, bool> cases[] = {
        {fm.horizontalAdvance(path), path, true},
        {tailWidth + fm.horizontalAdvance(QStringLiteral("/home/user")),
         QStringLiteral("…/.jpg/IMG_0001.jpg"), true},
        {tailWidth - 1, QStringLiteral("01.jpg"), false}};
    for (const auto& [width, end, start] : cases) {
        const QString shown = DlgPreview::elidePath(path, fm, width);
        EXPECT_LE(fm.horizontalAdvance(shown), width) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(end)) << shown.toStdString();
        EXPECT_EQ(shown.startsWith(QStringLiteral("/home")), start) << shown.toStdString();
    }
}

TEST_F(PreviewTest, WideningTheDialogWidensThePathColumns) {
    dialog.show();
    const QHeaderView* columns = dialog.GridPreview->horizontalHeader();
    const int source = columns->sectionSize(0), action = columns->sectionSize(2);
    dialog.resize(dialog.width() + 300, dialog.height());
    QApplication::processEvents();
    EXPECT_GE(columns->sectionSize(0), source + 140);
    EXPECT_EQ(columns->sectionSize(2), action);
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
    const std::vector<PreviewRow> rows = {
        row("/home/user/照片/2023/IMG_0001.jpg", "/home/user/整理/.jpg/IMG_0001.jpg", "复制"),
        row("/home/user/照片/2024/IMG_0001.jpg", "/home/user/整理/.jpg/IMG_0001_1.jpg",
            "自动编号为 IMG_0001_1.jpg（列表中重名）", true, true),
        row("/home/user/照片/2024/IMG_0002.jpg", "/home/user/整理/.jpg/IMG_0002.jpg", "复制"),
        row("/home/user/文档/报告.pdf", "/home/user/整理/.pdf/报告_1.pdf", "自动编号为 报告_1.pdf", true,
            true),
        row("/home/user/文档/README", "", "不匹配", false),
    };
    // In the theme of the desktop, and in a dark one.
    const QPalette light = QApplication::palette();
    for (const auto& [palette, name] :
         {std::pair{light, "preview"}, std::pair{test::darkPalette(), "preview-dark"}}) {
        QApplication::setPalette(palette);
        DlgPreview preview(nullptr, rows, PreviewCounts{4, 2, 1, ClashPolicy::AutoNumber},
                           TransferMode::Copy);
        preview.resize(680, 240);
        test::shoot(preview, shots, QLatin1String(name));
    }
    QApplication::setPalette(light);

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
