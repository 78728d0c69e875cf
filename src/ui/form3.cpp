#include "ui/form3.h"

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

namespace velquin {

namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

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

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("选择要添加的目录（文件夹）"));
    setFixedSize(409, 416);
    setModal(true);

    folders_ = new QFileSystemModel(this);
    folders_->setReadOnly(true);
    folders_->setFilter(folderFilter(true));
    folders_->setRootPath(QStringLiteral("/"));

    ShellTreeView1 = named(new QTreeView(this), "ShellTreeView1");
    ShellTreeView1->setGeometry(0, 0, 409, 305);
    ShellTreeView1->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column)
        ShellTreeView1->hideColumn(column);
    ShellTreeView1->setHeaderHidden(true);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView1->setUniformRowHeights(true);

    ChkOtHidden = named(new QCheckBox(QStringLiteral("不显示隐藏的文件夹"), this), "ChkOtHidden");
    ChkOtHidden->setGeometry(0, 312, 409, 21);
    ChkOtHidden->setChecked(true);
    CheckBox1 =
        named(new QCheckBox(QStringLiteral("添加包括选定文件夹下的所有子文件夹中的文件"), this), "CheckBox1");
    CheckBox1->setGeometry(0, 338, 409, 21);
    CheckBox2 = named(new QCheckBox(QStringLiteral("添加包括选定文件夹下"), this), "CheckBox2");
    CheckBox2->setGeometry(0, 363, 143, 21);
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    ComboBox1->setGeometry(143, 358, 50, 25);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    ComboBox1->setEditText(QStringLiteral("1"));
    ComboBox1->setEnabled(false);
    ComboBox1->lineEdit()->installEventFilter(this);
    Label1 = named(new QLabel(QStringLiteral("级子目录中所有文件"), this), "Label1");
    Label1->setGeometry(200, 363, 209, 21);

    BitBtn1 = named(new QPushButton(QStringLiteral("确定"), this), "BitBtn1");
    BitBtn1->setGeometry(128, 389, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = named(new QPushButton(QStringLiteral("取消"), this), "BitBtn2");
    BitBtn2->setGeometry(224, 389, 75, 25);

    connect(CheckBox1, &QCheckBox::toggled, this, &TForm3::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm3::CheckBox2Click);
    connect(ChkOtHidden, &QCheckBox::toggled, this, &TForm3::ChkOtHiddenClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    selectFolder(startFolder());
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
    QDialog::showEvent(event);
    // The tree has no size before it is first shown, so the selection is scrolled to here.
    if (!shownOnce_) {
        shownOnce_ = true;
        ShellTreeView1->scrollTo(ShellTreeView1->currentIndex());
    }
}

void TForm3::CheckBox1Click() {
    if (CheckBox1->isChecked())
        CheckBox2->setChecked(false);
}

void TForm3::CheckBox2Click() {
    if (CheckBox2->isChecked())
        CheckBox1->setChecked(false);
    ComboBox1->setEnabled(CheckBox2->isChecked());
}

void TForm3::ChkOtHiddenClick() {
    const QString selected = selectedPath();
    folders_->setFilter(folderFilter(ChkOtHidden->isChecked()));
    // Keep the choice where the folder is still shown; a hidden one that was just left out of
    // the tree cannot stay selected.
    if (!selected.isEmpty() && selectedPath().isEmpty())
        selectFolder(selected);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1->lineEdit() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Typed characters other than digits and backspace are dropped; keys that type nothing
        // (arrows, Delete), the dialog's keys (Enter, Esc, Tab) and shortcuts (copy, paste,
        // undo) keep working.
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return false;
        default:
            break;
        }
        if (text.isEmpty() || (key->modifiers() & Qt::ControlModifier))
            return false;
        if (text.size() == 1 && (text.at(0).isDigit() || text.at(0) == QLatin1Char('\b')) &&
            text.at(0).unicode() < 0x80)
            return false;
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace velquin
