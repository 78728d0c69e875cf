#include "ui/form3.h"

#include "ui/accessibility.h"
#include "ui/placement.h"
#include "ui/windowparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>
#include <QWindow>

#include <algorithm>

namespace velquin {

namespace {

QDir::Filters folderFilter(bool hideHidden) {
    const QDir::Filters base = QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot;
    return hideHidden ? base : base | QDir::Hidden;
}

// The folder shown selected at the first opening: the user's desktop, else the home folder.
QString startFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QDir::homePath();
}

} // namespace

TForm3::TForm3(std::function<QWidget*()> mainWindow, QWidget* parent)
    : QDialog(parent), mainWindow_(std::move(mainWindow)) {
    installAccessibleViews();
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("选择要添加的目录（文件夹）"));
    setModal(true);

    folders_ = new QFileSystemModel(this);
    folders_->setReadOnly(true);
    folders_->setFilter(folderFilter(true));
    folders_->setRootPath(QStringLiteral("/"));

    ShellTreeView1 = named(new QTreeView(this), "ShellTreeView1");
    ShellTreeView1->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column)
        ShellTreeView1->hideColumn(column);
    ShellTreeView1->setHeaderHidden(true);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView1->setUniformRowHeights(true);

    ChkOtHidden = named(new QCheckBox(QStringLiteral("不显示隐藏的文件夹"), this), "ChkOtHidden");
    ChkOtHidden->setChecked(true);
    CheckBox1 =
        named(new QCheckBox(QStringLiteral("添加包括选定文件夹下的所有子文件夹中的文件"), this), "CheckBox1");
    CheckBox2 = named(new QCheckBox(QStringLiteral("添加包括选定文件夹下"), this), "CheckBox2");
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    ComboBox1->setEditText(QStringLiteral("1"));
    ComboBox1->setEnabled(false);
    ComboBox1->setAccessibleName(CheckBox2->text());
    installKeyFilter(ComboBox1, &TForm3::ComboBox1KeyPress);
    Label1 = named(new QLabel(QStringLiteral("级子目录中所有文件"), this), "Label1");

    BitBtn1 = named(new QPushButton(QStringLiteral("确定"), this), "BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = named(new QPushButton(QStringLiteral("取消"), this), "BitBtn2");

    placeControls();

    connect(CheckBox1, &QCheckBox::clicked, this, &TForm3::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TForm3::CheckBox2Click);
    connect(ChkOtHidden, &QCheckBox::clicked, this, &TForm3::ChkOtHiddenClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    selectFolder(startFolder());
}

void TForm3::placeControls() {
    // The designed places (409 by 416), moved right and down, and the box made larger, only where
    // the font needs more room for a caption or a control.
    const auto height = [](int designed, std::initializer_list<QWidget*> row) {
        for (QWidget* w : row)
            designed = qMax(designed, w->sizeHint().height());
        return designed;
    };
    const int rowHeight = height(21, {ChkOtHidden, CheckBox1, CheckBox2, Label1});
    // A line of text with the frame around it; a style's own hint would make them taller than
    // designed in every font.
    const int comboHeight = qMax(25, ComboBox1->fontMetrics().height() + 8);
    const int buttonHeight = qMax(25, BitBtn1->fontMetrics().height() + 8);
    const int downWidth = qMax(143, CheckBox2->sizeHint().width());
    const int comboWidth = qMax(50, ComboBox1->minimumSizeHint().width());
    const int labelLeft = downWidth + comboWidth + 7;
    const int labelWidth = qMax(409 - labelLeft, Label1->sizeHint().width());
    const int width = std::max(
        {409, labelLeft + labelWidth, ChkOtHidden->sizeHint().width(), CheckBox1->sizeHint().width()});
    int top = 305 + 7;
    ShellTreeView1->setGeometry(0, 0, width, 305);
    ChkOtHidden->setGeometry(0, top, width, rowHeight);
    top += rowHeight + 5;
    CheckBox1->setGeometry(0, top, width, rowHeight);
    top += rowHeight + 4;
    CheckBox2->setGeometry(0, top, downWidth, rowHeight);
    ComboBox1->setGeometry(downWidth, top + (rowHeight - comboHeight) / 2 - 3, comboWidth, comboHeight);
    Label1->setGeometry(labelLeft, top, labelWidth, rowHeight);
    top += rowHeight + 5;
    const int okWidth = qMax(75, BitBtn1->fontMetrics().horizontalAdvance(BitBtn1->text()) + 24);
    const int cancelWidth = qMax(75, BitBtn2->fontMetrics().horizontalAdvance(BitBtn2->text()) + 24);
    const int shift = (width - 409) / 2;
    BitBtn1->setGeometry(shift + 128, top, okWidth, buttonHeight);
    BitBtn2->setGeometry(shift + 128 + okWidth + 21, top, cancelWidth, buttonHeight);
    setFixedSize(width, top + buttonHeight + 2);
}

QString TForm3::selectedPath() const {
    const QModelIndexList selected = ShellTreeView1->selectionModel()->selectedRows();
    return selected.isEmpty() ? QString() : folders_->filePath(selected.first());
}

FolderPick TForm3::pick() const {
    return FolderPick{selectedPath(), CheckBox1->isChecked(), CheckBox2->isChecked(),
                      ComboBox1->currentText()};
}

void TForm3::selectFolder(const QString& path) {
    const QModelIndex index = folders_->index(path);
    if (!index.isValid())
        return;
    ShellTreeView1->setCurrentIndex(index);
    ShellTreeView1->scrollTo(index);
}

void TForm3::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        QWidget* anchor = mainWindow_ ? mainWindow_() : nullptr;
        if (anchor && anchor->isVisible()) {
            if (QWindow* handle = windowHandle())
                handle->setTransientParent(anchor->windowHandle());
        }
        centreWindow(this, centringArea(this, anchor), anchor);
    }
    QDialog::showEvent(event);
    // The tree has no size before it is first shown, so the selection is scrolled to here.
    if (!shownOnce_) {
        shownOnce_ = true;
        ShellTreeView1->scrollTo(ShellTreeView1->currentIndex());
    }
}

void TForm3::CheckBox1Click() {
    if (CheckBox1->isChecked()) {
        CheckBox2->setChecked(false);
        ComboBox1->setEnabled(false);
    }
}

void TForm3::CheckBox2Click() {
    if (CheckBox2->isChecked())
        CheckBox1->setChecked(false);
    ComboBox1->setEnabled(CheckBox2->isChecked());
}

void TForm3::ChkOtHiddenClick() {
    folders_->setFilter(folderFilter(ChkOtHidden->isChecked()));
    // The tree starts again from its root, which is left expanded and selected; the earlier
    // expansion and selection go, so OK never acts on a folder that has just been left out.
    ShellTreeView1->collapseAll();
    const QModelIndex root = folders_->index(folders_->rootPath());
    ShellTreeView1->expand(root);
    ShellTreeView1->setCurrentIndex(root);
    ShellTreeView1->scrollToTop();
}

bool TForm3::ComboBox1KeyPress(QChar key) {
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

} // namespace velquin
