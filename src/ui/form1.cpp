#include "ui/form1.h"

#include "engine/filerun.h"
#include "lists/eventpump.h"
#include "lists/filelist.h"
#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/windowsettings.h"
#include "ui/accessibility.h"
#include "ui/appcontext.h"
#include "ui/busycursor.h"
#include "ui/criteria/filecriteria.h"
#include "ui/form3.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"
#include "ui/illustrations.h"
#include "ui/offthread.h"
#include "ui/qtdialogs.h"
#include "ui/sourcelistview.h"
#include "ui/windowhost.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velquin {

namespace {

// A list shown in a fixed number of columns, filled row by row, as the pattern list is. Every
// column is as wide as the widest entry, and at least a sixth of the list, so no entry is cut.
class ColumnList : public QListWidget {
public:
    ColumnList(QWidget* parent, int columns) : QListWidget(parent), columns_(columns) {
        setFlow(QListView::LeftToRight);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
        const auto relayout = [this] { updateGrid(); };
        connect(model(), &QAbstractItemModel::rowsInserted, this, relayout);
        connect(model(), &QAbstractItemModel::rowsRemoved, this, relayout);
        connect(model(), &QAbstractItemModel::dataChanged, this, relayout);
        connect(model(), &QAbstractItemModel::modelReset, this, relayout);
    }
    // The model empties itself while the list is taken down, when there is no grid to update.
    ~ColumnList() override { disconnect(model(), nullptr, this, nullptr); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        updateGrid();
        QListWidget::resizeEvent(event);
    }
    void changeEvent(QEvent* event) override {
        QListWidget::changeEvent(event);
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            updateGrid();
    }

private:
    void updateGrid() {
        const QFontMetrics fm = fontMetrics();
        // The delegate keeps this much free on either side of a text before it elides it.
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        int widest = 0;
        for (int i = 0; i < count(); ++i)
            widest = qMax(widest, fm.horizontalAdvance(item(i)->text()));
        // The list lays its rows out in the room left beside a vertical scroll bar, shown or not.
        const int room = maximumViewportSize().width() -
                         style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
        const int sixth = (room - 1) / columns_;
        const QSize grid(qMax(sixth, widest + 2 * margin), fm.height() + 2);
        if (grid != gridSize())
            setGridSize(grid);
    }

    int columns_;
};

QStringList listEntries(const QListWidget* list) {
    QStringList out;
    out.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

} // namespace

// The file run's view of this window; the per-item options are read from the controls each time.
class TForm1::Host : public WindowRunHost<FileRunHost> {
public:
    explicit Host(TForm1& form, ReplaceKeeper* keeper = nullptr)
        : WindowRunHost<FileRunHost>(form.runControls(keeper)), form_(form) {}

    TransferMode transferMode() override { return form_.previewMode(); }

    TypeFilter typeFilter() override {
        TypeFilter filter;
        if (form_.ChkExclude->isChecked())
            filter.mode = TypeFilterMode::Exclude;
        else if (form_.ChkInclude->isChecked())
            filter.mode = TypeFilterMode::Include;
        if (filter.mode != TypeFilterMode::None)
            filter.patterns = listEntries(form_.ListBox2);
        return filter;
    }

    QStringList pictureTypes() override {
        QStringList checked;
        for (int i = 0; i < form_.ChkLstPic->count(); ++i) {
            if (form_.ChkLstPic->item(i)->checkState() == Qt::Checked)
                checked.append(form_.ChkLstPic->item(i)->text());
        }
        return checked;
    }

private:
    TForm1& form_;
};

TForm1::TForm1(AppContext& ctx, QWidget* parent)
    : SortWindow(ctx, parent, "Form1", new SourceListModel, ListKind::Files) {
    ctx.form1 = this;
    fileList = sourceList();
    buildTop(true, QStringLiteral("要分拣的文件"),
             {QStringLiteral("添加文件"), QStringLiteral("添加目录下文件"), QStringLiteral("移除文件"),
              QStringLiteral("清空列表"), QStringLiteral("导出列表"), QStringLiteral("导入列表")});
    buildPages();
    buildOptions();
    column_->addWidget(GroupBox5);
    buildBottom(QStringLiteral("移动式分拣(将文件从原目录移动到结果目录)"),
                QStringLiteral("复制式分拣(将文件复制到结果目录)"));

    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
    connect(ChkInclude, &QCheckBox::clicked, this, [this] { ChkIncludeClick(); });
    connect(ChkExclude, &QCheckBox::clicked, this, [this] { ChkExcludeClick(); });
    connect(BtnAddSuffix, &QPushButton::clicked, this, [this] { BtnAddSuffixClick(); });
    connect(BtnDelSuffix, &QPushButton::clicked, this, [this] { BtnDelSuffixClick(); });
    connect(ChkFileNamePart, &QCheckBox::clicked, this, [this] { ChkFileNamePartClick(); });
    connect(RbForm6, &QRadioButton::clicked, this, [this] { RbForm6Click(); });
    connect(BtnCopy, &QPushButton::clicked, this, [this] { BtnCopyClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });

    // As designed, or wider where the font needs it for every page's tab to show.
    const QMargins around = column_->contentsMargins();
    resize(qMax(830, PageControl1->tabBar()->sizeHint().width() + around.left() + around.right() + 8), 621);
    FormCreate();
}

TForm1::~TForm1() {
    if (ctx_.form1 == this)
        ctx_.form1 = nullptr;
}

void TForm1::buildPages() {
    QList<PageSlot> pageSlots;
    std::vector<QWidget*> sheets(fileCriteria().size());
    for (const FilePageMaker make : fileCriteria()) {
        pages_.push_back(make(*this));
        pageSlots.append({&sheets[pages_.size() - 1], pages_.back()->sheetName(), pages_.back()->caption()});
    }
    buildPageControl(pageSlots);
    for (std::size_t i = 0; i < pages_.size(); ++i)
        pages_[i]->build(sheets[i]);
    PageControl1->setCurrentIndex(kPresetFilePage);
}

void TForm1::buildOptions() {
    GroupBox5 = named(new QGroupBox(QStringLiteral("分拣选项"), this), "GroupBox5");
    lblOption = namedLabel(GroupBox5, "lblOption", QString());
    lblOption->setMinimumWidth(240);

    PnlOption = named(new QWidget(GroupBox5), "PnlOption");
    ChkInclude = named(new QCheckBox(QStringLiteral("只分拣这些类型文件："), PnlOption), "ChkInclude");
    ChkExclude = named(new QCheckBox(QStringLiteral("不分拣这些类型文件："), PnlOption), "ChkExclude");
    ListBox2 = named(new ColumnList(PnlOption, 6), "ListBox2");
    ListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
    nameAfterLabel(ListBox2, QStringLiteral("文件类型"));
    BtnAddSuffix = named(new QPushButton(QStringLiteral("添加"), PnlOption), "BtnAddSuffix");
    BtnDelSuffix = named(new QPushButton(QStringLiteral("删除"), PnlOption), "BtnDelSuffix");
    BtnAddSuffix->setEnabled(false);
    BtnDelSuffix->setEnabled(false);
    // Two small buttons stacked beside the list: each as tall as its caption inside the button's
    // frame needs, whatever the font and scale.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, BtnAddSuffix);
    for (QPushButton* b : {BtnAddSuffix, BtnDelSuffix}) {
        b->setFixedHeight(qMax(20, b->fontMetrics().height() + 2 * frame + 2));
        b->setFixedWidth(qMax(56, b->fontMetrics().horizontalAdvance(b->text()) + 16));
    }
    auto* checks = new QVBoxLayout;
    checks->setSpacing(0);
    checks->addWidget(ChkInclude);
    checks->addWidget(ChkExclude);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(BtnAddSuffix);
    buttons->addWidget(BtnDelSuffix);
    auto* filterRow = new QHBoxLayout(PnlOption);
    filterRow->setContentsMargins(0, 0, 0, 0);
    filterRow->setSpacing(6);
    filterRow->addLayout(checks);
    filterRow->addWidget(ListBox2, 1);
    filterRow->addLayout(buttons);

    PnlOption2 = named(new QWidget(GroupBox5), "PnlOption2");
    Label9 = namedLabel(PnlOption2, "Label9", QStringLiteral("图片文件类型包括："));
    ChkLstPic = named(new QListWidget(PnlOption2), "ChkLstPic");
    ChkLstPic->setFlow(QListView::LeftToRight);
    ChkLstPic->setWrapping(true);
    ChkLstPic->setResizeMode(QListView::Adjust);
    ChkLstPic->setSpacing(2);
    nameAfterLabel(ChkLstPic, Label9->text());
    for (const char* type : {"*.JPG;*.JPEG", "*.BMP", "*.GIF", "*.PNG", "*.TIF"}) {
        auto* item = new QListWidgetItem(QLatin1String(type), ChkLstPic);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    auto* picRow = new QHBoxLayout(PnlOption2);
    picRow->setContentsMargins(0, 0, 0, 0);
    picRow->setSpacing(6);
    picRow->addWidget(Label9);
    picRow->addWidget(ChkLstPic, 1);

    auto* row = new QHBoxLayout(GroupBox5);
    row->setContentsMargins(kGroupInset, 0, kGroupInset, 4);
    row->setSpacing(10);
    row->addWidget(lblOption);
    row->addWidget(PnlOption, 1);
    row->addWidget(PnlOption2, 1);
    // 64 pixels as designed, or what its title and the two stacked check boxes and buttons need in
    // a larger font; the lists take the height there is.
    for (QListWidget* list : {ListBox2, ChkLstPic}) {
        list->setMinimumHeight(0);
        list->setSizePolicy(list->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    }
    const int rows = qMax(ChkInclude->sizeHint().height() + ChkExclude->sizeHint().height(),
                          BtnAddSuffix->height() + buttons->spacing() + BtnDelSuffix->height());
    const QMargins around = GroupBox5->contentsMargins() + row->contentsMargins();
    GroupBox5->setFixedHeight(qMax(64, around.top() + rows + around.bottom()));
}

void TForm1::FormCreate() {
    ListBox1->enableFileDrops(&ctx_.fs);
    for (int i = 0; i < ChkLstPic->count(); ++i)
        ChkLstPic->item(i)->setCheckState(Qt::Checked);
    loadSettings();
    refreshUndo();
    finishCreate();
}

QString TForm1::optionLabelText(const QString& tabCaption) {
    return QStringLiteral("分拣方式：") + tabCaption;
}

void TForm1::PageControl1Change() {
    const int page = PageControl1->currentIndex();
    lblOption->setText(optionLabelText(PageControl1->tabText(page)));
    nameAfterLabel(lblOption, lblOption->text());
    // The panel out of view keeps its entries and checks; they apply again when it returns.
    const bool pictures = activePage().usesPictureTypes();
    PnlOption->setVisible(!pictures);
    PnlOption2->setVisible(pictures);
}

void TForm1::ChkIncludeClick() {
    if (ChkInclude->isChecked())
        ChkExclude->setChecked(false);
    const bool on = ChkInclude->isChecked() || ChkExclude->isChecked();
    BtnAddSuffix->setEnabled(on);
    BtnDelSuffix->setEnabled(on);
}

void TForm1::ChkExcludeClick() {
    if (ChkExclude->isChecked())
        ChkInclude->setChecked(false);
    const bool on = ChkInclude->isChecked() || ChkExclude->isChecked();
    BtnAddSuffix->setEnabled(on);
    BtnDelSuffix->setEnabled(on);
}

void TForm1::BtnAddSuffixClick() {
    if (ctx_.suffix)
        ctx_.suffix->exec();
}

void TForm1::BtnDelSuffixClick() {
    const QList<QListWidgetItem*> selected = ListBox2->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.constFirst();
}

void TForm1::ChkFileNamePartClick() {
    if (!ChkFileNamePart->isChecked()) {
        EdtPartNameBegin->clear();
        EdtPartNameEnd->clear();
        return;
    }
    const bool beginEmpty = EdtPartNameBegin->text().isEmpty();
    const bool endEmpty = EdtPartNameEnd->text().isEmpty();
    if (beginEmpty && endEmpty) {
        EdtPartNameBegin->setText(QStringLiteral("1"));
        EdtPartNameEnd->setFocus();
    } else if (beginEmpty) {
        EdtPartNameBegin->setFocus();
    } else if (endEmpty) {
        EdtPartNameEnd->setFocus();
    }
}

void TForm1::RbForm6Click() {
    switchToOther();
}

void TForm1::showFromSwitch() {
    show();
    RbForm1->setChecked(true);
}

const FilePage& TForm1::activePage() const {
    // The page control always has its pages, and one of them is current.
    return *pages_.at(std::size_t(qMax(0, PageControl1->currentIndex())));
}

FileSortJob TForm1::runJob() const {
    FileSortJob job;
    // The run sorts this copy, so entries added or removed while it lets events run change
    // nothing under it.
    job.Files = fileList->entries();
    job.onlyListedTypes = ChkInclude->isChecked();
    job.listedTypes = ListBox2->count();
    job.rule = activePage().rule();
    return job;
}

void TForm1::BtnCopyClick() {
    const FileSortJob job = runJob();
    runWithTrash([&](ReplaceKeeper* keeper) {
        Host host(*this, keeper);
        runOffThread(host, [&](FileRunHost& relay) { runFileSort(job, relay, ctx_.fs); });
    });
}

std::optional<Preview> TForm1::previewRun() {
    Host host(*this, previewKeeper());
    const FileSortJob job = runJob();
    std::optional<Preview> preview;
    runOffThread(
        host, [&](FileRunHost& relay) { preview = previewFileSort(job, relay, ctx_.fs); }, this);
    return preview;
}

TransferMode TForm1::previewMode() const {
    return RbMove->isChecked() ? TransferMode::Move : TransferMode::Copy;
}

void TForm1::Button1Click() {
    addChosenFiles(*fileList, ctx_.dialogs, this);
}

void TForm1::Button5Click() {
    if (!ctx_.form3 || ctx_.form3->exec() != QDialog::Accepted)
        return;
    runActivity([&] {
        EventPump pump = activityPump();
        addFolderFiles(*fileList, ctx_.form3->pick(), ctx_.dialogs, this, ctx_.fs, pump, &BusyCursor::set);
    });
}

QWidget* TForm1::ownField(FocusTarget target) {
    for (const auto& page : pages_) {
        if (QWidget* field = page->field(target))
            return field;
    }
    return nullptr;
}

SettingBindings TForm1::settingBindings() {
    // The option label and panels follow the loaded page before the panels are filled.
    SettingBindings own = {loadStep([this] { PageControl1Change(); }), binding(keys::SuffixFilter, ListBox2)};
    for (const auto& page : pages_) {
        SettingBindings more = page->bindings();
        own.insert(own.end(), more.begin(), more.end());
    }
    return withSharedBindings(keys::FilePage, std::move(own));
}

bool TForm1::EdtPicKeyPress(QChar key) {
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

bool TForm1::Edit1KeyPress(QChar key) {
    return EdtPicKeyPress(key) || key == QLatin1Char('.');
}

bool TForm1::EdtPartNameBeginKeyPress(QChar key) {
    return EdtPicKeyPress(key);
}

} // namespace velquin
