#include "ui/dlgpreview.h"

#include "ui/windowparts.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace velquin {

// The rows behind the table: the matched ones in run order, then the unmatched ones, which
// the check box takes out of the view and puts back without touching the others.
class PreviewModel : public QAbstractTableModel {
public:
    enum Column { Source, Target, Action, ColumnCount };

    PreviewModel(std::vector<PreviewRow> rows, QObject* parent)
        : QAbstractTableModel(parent), rows_(std::move(rows)),
          grey_(QApplication::palette().color(QPalette::Disabled, QPalette::Text)) {
        const auto firstUnmatched =
            std::stable_partition(rows_.begin(), rows_.end(), [](const PreviewRow& r) { return r.matched; });
        matched_ = int(firstUnmatched - rows_.begin());
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
            return row.matched ? QVariant() : QVariant(grey_);
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
};

QString DlgPreview::countLine(const PreviewCounts& counts, TransferMode mode) {
    const QString verb = mode == TransferMode::Move ? QStringLiteral("移动") : QStringLiteral("复制");
    return QStringLiteral("%1 个文件将被%2, %3 个冲突, %4 个不匹配")
        .arg(counts.transfers)
        .arg(verb)
        .arg(counts.conflicts)
        .arg(counts.unmatched);
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

    model_ = new PreviewModel(std::move(rows), this);
    GridPreview = named(new QTableView(this), "GridPreview");
    GridPreview->setModel(model_);
    GridPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridPreview->setWordWrap(false);
    GridPreview->setShowGrid(false);
    GridPreview->setAlternatingRowColors(true);
    // The middle of a path is what matters least: the drive and the name both stay in sight.
    GridPreview->setTextElideMode(Qt::ElideMiddle);
    // Fixed row heights and widths set by hand: nothing is measured row by row, so a hundred
    // thousand rows open as fast as ten.
    QHeaderView* rowsHeader = GridPreview->verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(GridPreview->fontMetrics().height() + 6);
    QHeaderView* columns = GridPreview->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    columns->setHighlightSections(false);
    const int pathWidth = GridPreview->fontMetrics().averageCharWidth() * 48;
    columns->resizeSection(PreviewModel::Source, pathWidth);
    columns->resizeSection(PreviewModel::Target, pathWidth);

    BtnStart = named(new QPushButton(QStringLiteral("开始处理"), this), "BtnStart");
    BtnClose = named(new QPushButton(QStringLiteral("关闭"), this), "BtnClose");
    // Enter must not start a run by accident.
    BtnStart->setAutoDefault(false);
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
    resize(pathWidth * 2 + GridPreview->fontMetrics().averageCharWidth() * 28 + 40, 520);

    connect(ChkShowUnmatched, &QCheckBox::toggled, this, [this](bool on) { model_->setShowUnmatched(on); });
    connect(BtnStart, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

DlgPreview::~DlgPreview() = default;

} // namespace velquin
