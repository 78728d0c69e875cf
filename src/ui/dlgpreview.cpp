#include "ui/dlgpreview.h"

#include "platform/paths.h"
#include "ui/accessibility.h"
#include "ui/appstyle.h"
#include "ui/windowparts.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>

namespace velquin {

namespace {

// The contrast of text in `colour` against the table's rows, the alternate ones included.
double contrastOnRows(const QColor& colour, const QPalette& palette) {
    return std::min(contrastRatio(colour, palette.color(QPalette::Base)),
                    contrastRatio(colour, palette.color(QPalette::AlternateBase)));
}

// The text of the rows that match no rule: the text colour mixed into the base colour, no more of
// it than reading at 3:1 on every row needs, so they stay plainly behind the others.
QColor secondaryText(const QPalette& palette) {
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    for (int share = 30; share < 100; share += 5) {
        const QColor mixed = mixedColour(base, text, share / 100.0);
        if (contrastOnRows(mixed, palette) >= 3.1)
            return mixed;
    }
    return text;
}

// The text of clash rows: a warm orange, darkened on a light base and lightened on a dark one
// until it reads at 4.5:1 on every row.
QColor clashText(const QPalette& palette) {
    const bool dark = palette.color(QPalette::Base).lightnessF() < 0.5;
    for (int lightness = 128; lightness >= 0 && lightness <= 255; lightness += dark ? 8 : -8) {
        const QColor orange = QColor::fromHsl(22, 230, lightness);
        if (contrastOnRows(orange, palette) >= 4.5)
            return orange;
    }
    return palette.color(QPalette::Text);
}

// Draws a path cell with DlgPreview::elidePath.
class PathDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QWidget* view = option->widget;
        const QStyle* style = view ? view->style() : QApplication::style();
        // The style keeps this much free on either side of the text.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int width =
            style->subElementRect(QStyle::SE_ItemViewItemText, option, view).width() - 2 * margin;
        option->text = DlgPreview::elidePath(option->text, option->fontMetrics, width);
        option->textElideMode = Qt::ElideLeft;
    }
};

} // namespace

// The rows behind the table: the matched ones in run order, then the unmatched ones, which
// the check box takes out of the view and puts back without touching the others.
class PreviewModel : public QAbstractTableModel {
public:
    enum Column { Source, Target, Action, ColumnCount };

    PreviewModel(std::vector<PreviewRow> rows, const QPalette& palette, QObject* parent)
        : QAbstractTableModel(parent), rows_(std::move(rows)), grey_(secondaryText(palette)),
          clash_(clashText(palette)) {
        const auto firstUnmatched =
            std::stable_partition(rows_.begin(), rows_.end(), [](const PreviewRow& r) { return r.matched; });
        matched_ = int(firstUnmatched - rows_.begin());
        bold_.setBold(true);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : (showUnmatched_ ? int(rows_.size()) : matched_);
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount())
            return QVariant();
        const PreviewRow& row = rows_[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: // the whole text where the cell shows it shortened
            return index.column() == Source ? row.source : index.column() == Target ? row.target : row.action;
        case Qt::ForegroundRole:
            return !row.matched ? QVariant(grey_) : row.conflict ? QVariant(clash_) : QVariant();
        case Qt::FontRole:
            return row.conflict ? QVariant(bold_) : QVariant();
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QVariant();
        switch (section) {
        case Source:
            return QStringLiteral("源路径");
        case Target:
            return QStringLiteral("目标路径");
        case Action:
            return QStringLiteral("操作");
        default:
            return QVariant();
        }
    }

    void setShowUnmatched(bool show) {
        const int total = int(rows_.size());
        if (show == showUnmatched_ || total == matched_) {
            showUnmatched_ = show;
            return;
        }
        if (show)
            beginInsertRows(QModelIndex(), matched_, total - 1);
        else
            beginRemoveRows(QModelIndex(), matched_, total - 1);
        showUnmatched_ = show;
        if (show)
            endInsertRows();
        else
            endRemoveRows();
    }

private:
    std::vector<PreviewRow> rows_;
    int matched_ = 0;
    bool showUnmatched_ = true;
    QColor grey_;
    QColor clash_;
    QFont bold_;
};

QString DlgPreview::countLine(const PreviewCounts& counts, TransferMode mode) {
    const QString verb = mode == TransferMode::Move ? QStringLiteral("移动") : QStringLiteral("复制");
    QString fate;
    if (counts.conflicts > 0) {
        switch (counts.policy) {
        case ClashPolicy::Skip:
            fate = QStringLiteral("将被跳过");
            break;
        case ClashPolicy::Overwrite:
            fate = QStringLiteral("将被覆盖");
            break;
        case ClashPolicy::Ask:
            fate = QStringLiteral("将逐个询问");
            break;
        case ClashPolicy::AutoNumber:
            fate = QStringLiteral("将自动编号");
            break;
        case ClashPolicy::ReplaceOlder:
            fate = QStringLiteral("将只替换旧文件");
            break;
        }
    }
    return QStringLiteral("%1 个文件将被%2，%3 个冲突%4，%5 个不匹配")
        .arg(counts.transfers)
        .arg(verb)
        .arg(counts.conflicts)
        .arg(fate)
        .arg(counts.unmatched);
}

QString DlgPreview::elidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    // The last two components, from the separator before the folder.
    qsizetype tail = path.size();
    for (int components = 0; components < 2 && tail > 0; ++components) {
        qsizetype i = tail - 1;
        while (i > 0 && !isPathSeparator(path.at(i)))
            --i;
        tail = i;
    }
    const QString ellipsis(QChar(0x2026));
    const QString end = path.mid(tail);
    if (tail <= 0 || metrics.horizontalAdvance(ellipsis + end) > width)
        return metrics.elidedText(path, Qt::ElideLeft, width);
    return metrics.elidedText(path.left(tail), Qt::ElideRight, width - metrics.horizontalAdvance(end)) + end;
}

DlgPreview::DlgPreview(QWidget* owner, std::vector<PreviewRow> rows, const PreviewCounts& counts,
                       TransferMode mode)
    : QDialog(owner) {
    setObjectName(QStringLiteral("DlgPreview"));
    setWindowTitle(QStringLiteral("分拣预览"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setModal(true);
    setSizeGripEnabled(true);

    LblCount = named(new QLabel(countLine(counts, mode), this), "LblCount");
    ChkShowUnmatched = named(new QCheckBox(QStringLiteral("显示不匹配的项目"), this), "ChkShowUnmatched");
    ChkShowUnmatched->setChecked(true);

    GridPreview = named(new QTableView(this), "GridPreview");
    model_ = new PreviewModel(std::move(rows), GridPreview->palette(), this);
    GridPreview->setModel(model_);
    nameAfterLabel(GridPreview, windowTitle());
    GridPreview->setAccessibleDescription(LblCount->text());
    GridPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes on to the buttons; the arrow keys move between the rows.
    GridPreview->setTabKeyNavigation(false);
    GridPreview->installEventFilter(this);
    GridPreview->setWordWrap(false);
    GridPreview->setShowGrid(false);
    GridPreview->setAlternatingRowColors(true);
    // What the user checks is the folder a file lands in and its name: paths give way at their
    // start. The action keeps its words' start.
    GridPreview->setTextElideMode(Qt::ElideRight);
    for (const int column : {PreviewModel::Source, PreviewModel::Target})
        GridPreview->setItemDelegateForColumn(column, new PathDelegate(GridPreview));
    // Fixed row heights and widths set by hand: nothing is measured row by row, so a hundred
    // thousand rows open as fast as ten.
    const QFontMetrics fm = GridPreview->fontMetrics();
    QHeaderView* rowsHeader = GridPreview->verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(fm.height() + 6);
    // The two path columns share what the action leaves of the width, however wide the dialog.
    QHeaderView* columns = GridPreview->horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(PreviewModel::Source, QHeaderView::Stretch);
    columns->setSectionResizeMode(PreviewModel::Target, QHeaderView::Stretch);
    columns->setSectionResizeMode(PreviewModel::Action, QHeaderView::Interactive);
    const int actionWidth = std::max(fm.averageCharWidth() * 28,
                                     fm.horizontalAdvance(QStringLiteral("覆盖（无法放入回收站）")) + 16);
    columns->resizeSection(PreviewModel::Action, actionWidth);
    const int pathWidth = fm.averageCharWidth() * 48;

    BtnStart = named(new QPushButton(QStringLiteral("开始处理"), this), "BtnStart");
    BtnClose = named(new QPushButton(QStringLiteral("关闭"), this), "BtnClose");
    // Enter presses the button that has the focus, and "关闭" from anywhere else, so Enter
    // starts a run only from "开始处理" itself.
    BtnStart->setAutoDefault(true);
    BtnClose->setAutoDefault(true);
    BtnClose->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(LblCount, 1);
    top->addWidget(ChkShowUnmatched);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnStart);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(top);
    layout->addWidget(GridPreview, 1);
    layout->addLayout(buttons);
    resize(pathWidth * 2 + actionWidth + 40, 520);
    GridPreview->setFocus();

    connect(ChkShowUnmatched, &QCheckBox::toggled, this, [this](bool on) { model_->setShowUnmatched(on); });
    connect(BtnStart, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

DlgPreview::~DlgPreview() = default;

bool DlgPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GridPreview && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && (key->modifiers() & Qt::ControlModifier)) {
            const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            focusNextPrevChild(!back);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velquin
