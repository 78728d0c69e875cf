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
    const struct {
        PreviewCounts counts;
        TransferMode mode;
        const char* line;
    } cases[] = {
        {{12, 3, 0, ClashPolicy::Skip},
         TransferMode::Copy,
         "12 个文件将被复制，3 个冲突将被跳过，0 个不匹配"},
        {{1, 1, 7, ClashPolicy::Overwrite},
         TransferMode::Move,
         "1 个文件将被移动，1 个冲突将被覆盖，7 个不匹配"},
        {{2, 2, 0, ClashPolicy::Ask}, TransferMode::Copy, "2 个文件将被复制，2 个冲突将逐个询问，0 个不匹配"},
        {{4, 2, 1, ClashPolicy::AutoNumber},
         TransferMode::Copy,
         "4 个文件将被复制，2 个冲突将自动编号，1 个不匹配"},
        {{0, 5, 0, ClashPolicy::ReplaceOlder},
         TransferMode::Move,
         "0 个文件将被移动，5 个冲突将只替换旧文件，0 个不匹配"},
        // No conflicts: nothing to say of the policy.
        {{3, 0, 0, ClashPolicy::Overwrite}, TransferMode::Copy, "3 个文件将被复制，0 个冲突，0 个不匹配"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DlgPreview::countLine(c.counts, c.mode), QString::fromUtf8(c.line));
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
        {"Tab to 开始处理, Enter",
         [](DlgPreview& d) {
             d.GridPreview->setFocus();
             QTest::keyClick(d.GridPreview, Qt::Key_Tab);
             QTest::keyClick(d.focusWidget(), Qt::Key_Return);
         },
         QDialog::Accepted},
        {"Enter on 关闭",
         [](DlgPreview& d) {
             d.BtnClose->setFocus();
             QTest::keyClick(d.BtnClose, Qt::Key_Return);
         },
         QDialog::Rejected},
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

// Tab and Ctrl+Tab leave the table for the buttons, and come back with Shift.
TEST_F(PreviewTest, TabLeavesTheTable) {
    dialog.show();
    const struct {
        const char* what;
        QWidget* from;
        Qt::KeyboardModifiers modifiers;
        QWidget* to;
    } steps[] = {
        {"Tab", dialog.GridPreview, Qt::NoModifier, dialog.BtnStart},
        {"Tab", dialog.BtnStart, Qt::NoModifier, dialog.BtnClose},
        {"Shift+Tab", dialog.BtnStart, Qt::ShiftModifier, dialog.GridPreview},
        {"Ctrl+Tab", dialog.GridPreview, Qt::ControlModifier, dialog.BtnStart},
        {"Ctrl+Shift+Tab", dialog.GridPreview, Qt::ControlModifier | Qt::ShiftModifier,
         dialog.ChkShowUnmatched},
    };
    for (const auto& step : steps) {
        step.from->setFocus();
        QTest::keyClick(step.from, Qt::Key_Tab, step.modifiers);
        EXPECT_EQ(dialog.focusWidget(), step.to)
            << step.what << " from " << step.from->objectName().toStdString();
    }
}

// The contrast of two colours as accessibility guidelines measure it.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto lin = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Clash rows stand out and unmatched rows stay behind, both readable at 3:1 on either row
// colour, in a light and in a dark theme.
TEST(PreviewRows, ClashesStandOutAndUnmatchedStayBehindReadably) {
    const QPalette light = QApplication::palette();
    for (const QPalette& palette : {light, test::darkPalette()}) {
        QApplication::setPalette(palette);
        DlgPreview dialog(nullptr, sampleRows(), {}, TransferMode::Copy);
        const QPalette shown = dialog.GridPreview->palette();
        const QColor text = shown.color(QPalette::Text);
        const QAbstractItemModel* m = dialog.GridPreview->model();
        const auto colour = [&](int r) { return m->index(r, 1).data(Qt::ForegroundRole).value<QColor>(); };
        const auto bold = [&](int r) { return m->index(r, 0).data(Qt::FontRole).value<QFont>().bold(); };
        for (const QColor rowColour : {shown.color(QPalette::Base), shown.color(QPalette::AlternateBase)}) {
            SCOPED_TRACE(rowColour.name().toStdString());
            // Rows 1 and 2 are clashes, 3 and 4 match no rule.
            EXPECT_GE(contrast(colour(1), rowColour), 3.0);
            EXPECT_GE(contrast(colour(3), rowColour), 3.0);
            EXPECT_LT(contrast(colour(3), rowColour), contrast(text, rowColour) * 0.6)
                << "not behind the others";
        }
        EXPECT_FALSE(m->index(0, 1).data(Qt::ForegroundRole).isValid());
        EXPECT_EQ(colour(2), colour(1));
        EXPECT_NE(colour(1).hue(), -1) << "a clash is told by more than lightness";
        EXPECT_TRUE(bold(1) && bold(2));
        EXPECT_FALSE(bold(0) || bold(3));
    }
    QApplication::setPalette(light);
}

// A shortened path keeps the folder a file lands in and its name; the start gives way.
TEST(PreviewRows, ShortenedPathsKeepTheirTail) {
    const QFontMetrics fm(QApplication::font());
    const QString path = QStringLiteral("/home/user/照片/2024/五月/整理/.jpg/IMG_0001.jpg");
    const QString tail = QStringLiteral("/.jpg/IMG_0001.jpg");
    const QString dots(QChar(0x2026));
    const int tailWidth = fm.horizontalAdvance(dots + tail);
    const struct {
        int width;
        const char* keeps; // the end the shortened path keeps
        bool keepsStart;   // whether it keeps the path's first characters too
    } cases[] = {
        {fm.horizontalAdvance(path), "/home/user/照片/2024/五月/整理/.jpg/IMG_0001.jpg", true},
        {tailWidth + fm.horizontalAdvance(QStringLiteral("/home/user")), "/.jpg/IMG_0001.jpg", true},
        {tailWidth, "/.jpg/IMG_0001.jpg", false},
        {fm.horizontalAdvance(dots + QStringLiteral("0001.jpg")), "0001.jpg", false},
    };
    for (const auto& c : cases) {
        const QString shown = DlgPreview::elidePath(path, fm, c.width);
        SCOPED_TRACE(shown.toStdString());
        EXPECT_LE(fm.horizontalAdvance(shown), c.width);
        EXPECT_TRUE(shown.endsWith(QString::fromUtf8(c.keeps)));
        EXPECT_EQ(shown.startsWith(QStringLiteral("/home")), c.keepsStart);
        EXPECT_EQ(shown.contains(dots), shown != path);
    }
}

TEST_F(PreviewTest, WideningTheDialogWidensThePathColumns) {
    dialog.show();
    QApplication::processEvents();
    const QHeaderView* columns = dialog.GridPreview->horizontalHeader();
    const int source = columns->sectionSize(0), target = columns->sectionSize(1),
              action = columns->sectionSize(2);
    dialog.resize(dialog.width() + 300, dialog.height());
    QApplication::processEvents();
    EXPECT_GE(columns->sectionSize(0), source + 140);
    EXPECT_GE(columns->sectionSize(1), target + 140);
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
        preview.GridPreview->selectRow(0);
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
