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
#include "ui/form3.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"
#include "ui/illustrations.h"
#include "ui/qtdialogs.h"
#include "ui/sourcelistview.h"
#include "ui/windowhost.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
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
#include <QTimeEdit>
#include <QVBoxLayout>

namespace velquin {

namespace {

// A page title: indented by five blanks, as every page heading is.
QLabel* title(QWidget* parent, const char* name, const QString& text) {
    return pageHeading(parent, name, QStringLiteral("     ") + text);
}

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* c = named(new QComboBox(parent), name);
    c->addItems(items);
    c->setCurrentIndex(0);
    return c;
}

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

    resize(830, 621);
    FormCreate();
}

TForm1::~TForm1() {
    if (ctx_.form1 == this)
        ctx_.form1 = nullptr;
}

void TForm1::buildPages() {
    buildPageControl({{&TabSheet6, "TabSheet6", QStringLiteral(" 按文件名匹配关键字分拣 ")},
                      {&TabSheet1, "TabSheet1", QStringLiteral(" 按文件名分拣")},
                      {&TabSheet2, "TabSheet2", QStringLiteral(" 按文件类型分拣")},
                      {&TabSheet3, "TabSheet3", QStringLiteral(" 按文件大小分拣")},
                      {&TabSheet5, "TabSheet5", QStringLiteral(" 按文件日期属性分拣")},
                      {&TabSheet4, "TabSheet4", QStringLiteral(" 图像文件分拣")}});
    // The page a stored value out of range leaves active.
    PageControl1->setCurrentIndex(int(SortCriterion::ByName));

    buildKeywordPage(QStringLiteral("     按文件名匹配关键字分拣"), &keywordIllustration, "EdtKeysLabel",
                     QStringLiteral("请输入关键字（多个关键字以空格分隔）："));
    buildNamePage(QStringLiteral("     按文件名称分拣"), &nameIllustration,
                  QStringLiteral("只按文件名部分进行分拣，从："),
                  QStringLiteral("只分拣与输出文件夹下已存在目录的相匹配的文件项"));
    // Page 2: the type; the filter of the options group is all it needs.
    {
        QFrame* p = whitePanel(TabSheet2);
        Label3 = title(p, "Label3", QStringLiteral("按文件类型分拣"));
        Image1 = named(typeIllustration(p), "Image1");
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(6, 4, 12, 4);
        grid->addWidget(Label3, 0, 0);
        grid->addWidget(Image1, 1, 0, Qt::AlignTop | Qt::AlignLeft);
        grid->setRowStretch(1, 1);
        grid->setColumnStretch(1, 1);
    }
    // Page 3: the size.
    {
        QFrame* p = whitePanel(TabSheet3);
        Label5 = title(p, "Label5", QStringLiteral("按文件大小分拣"));
        Label6 = namedLabel(p, "Label6", QStringLiteral("分拣出满足条件的文件："));
        CmbCondition = combo(p, "CmbCondition", {QStringLiteral("大于"), QStringLiteral("小于")});
        EdtSize = named(new QLineEdit(p), "EdtSize");
        EdtSize->setFixedWidth(120);
        nameAfterLabel(EdtSize, Label6->text());
        CmbUnit = combo(p, "CmbUnit", {QStringLiteral("KB"), QStringLiteral("MB")});
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addSpacing(30);
        row->addWidget(Label6);
        row->addWidget(CmbCondition);
        row->addWidget(EdtSize);
        row->addWidget(CmbUnit);
        row->addStretch(1);
        auto* rows = new QVBoxLayout(p);
        rows->setContentsMargins(6, 4, 12, 4);
        rows->setSpacing(16);
        rows->addWidget(Label5);
        rows->addLayout(row);
        rows->addStretch(1);
    }
    // Page 4: the date; no title.
    {
        QFrame* p = whitePanel(TabSheet5);
        RbCreateTime = named(new QRadioButton(QStringLiteral("文件创建时间"), p), "RbCreateTime");
        RbModifyTime = named(new QRadioButton(QStringLiteral("文件修改时间"), p), "RbModifyTime");
        RbCreateTime->setChecked(true);
        tabToCheckedButton({RbCreateTime, RbModifyTime});
        CmbFileDate = combo(p, "CmbFileDate", {QStringLiteral("早于"), QStringLiteral("晚于")});
        DtDate = named(new QDateEdit(QDate(2013, 5, 6), p), "DtDate");
        DtDate->setCalendarPopup(true);
        DtTime = named(new QTimeEdit(QTime(0, 0, 0), p), "DtTime");
        DtTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        auto* sources = new QVBoxLayout;
        sources->setSpacing(4);
        sources->addWidget(RbCreateTime);
        sources->addWidget(RbModifyTime);
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addLayout(sources);
        row->addSpacing(10);
        row->addWidget(CmbFileDate);
        row->addWidget(DtDate);
        row->addWidget(DtTime);
        row->addStretch(1);
        auto* rows = new QVBoxLayout(p);
        rows->setContentsMargins(30, 14, 12, 4);
        rows->addLayout(row);
        rows->addStretch(1);
    }
    // Page 5: the image width or height.
    {
        QFrame* p = whitePanel(TabSheet4);
        Label7 = title(p, "Label7", QStringLiteral("按宽或高进行图像文件分拣"));
        RbPicW = named(new QRadioButton(QStringLiteral("图片宽："), p), "RbPicW");
        RbPicH = named(new QRadioButton(QStringLiteral("图片高："), p), "RbPicH");
        RbPicW->setChecked(true);
        tabToCheckedButton({RbPicW, RbPicH});
        CmbPic = combo(p, "CmbPic",
                       {QStringLiteral("大于等于"), QStringLiteral("小于等于"), QStringLiteral("等于")});
        EdtPic = named(new QLineEdit(p), "EdtPic");
        EdtPic->setFixedWidth(90);
        Label8 = namedLabel(p, "Label8", QStringLiteral("像素"));
        // The threshold is the width or the height, whichever button is checked, in pixels.
        const auto nameThreshold = [this] {
            nameAfterLabel(EdtPic, (RbPicH->isChecked() ? RbPicH : RbPicW)->text());
        };
        nameThreshold();
        connect(RbPicH, &QRadioButton::toggled, EdtPic, nameThreshold);
        EdtPic->setAccessibleDescription(Label8->text());
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addSpacing(30);
        row->addWidget(RbPicW);
        row->addWidget(RbPicH);
        row->addSpacing(6);
        row->addWidget(CmbPic);
        row->addWidget(EdtPic);
        row->addWidget(Label8);
        row->addStretch(1);
        auto* rows = new QVBoxLayout(p);
        rows->setContentsMargins(6, 4, 12, 4);
        rows->setSpacing(16);
        rows->addWidget(Label7);
        rows->addLayout(row);
        rows->addStretch(1);
    }

    installKeyFilter(EdtSize, &TForm1::Edit1KeyPress);
    installKeyFilter(EdtPic, &TForm1::EdtPicKeyPress);
    installKeyFilter(EdtPartNameBegin, &TForm1::EdtPartNameBeginKeyPress);
    installKeyFilter(EdtPartNameEnd, &TForm1::EdtPartNameBeginKeyPress);
}

void TForm1::buildOptions() {
    GroupBox5 = named(new QGroupBox(QStringLiteral("分拣选项"), this), "GroupBox5");
    lblOption = namedLabel(GroupBox5, "lblOption", QString());
    lblOption->setFixedWidth(240);

    PnlOption = named(new QWidget(GroupBox5), "PnlOption");
    ChkInclude = named(new QCheckBox(QStringLiteral("只分拣这些类型文件："), PnlOption), "ChkInclude");
    ChkExclude = named(new QCheckBox(QStringLiteral("不分拣这些类型文件："), PnlOption), "ChkExclude");
    ListBox2 = named(new ColumnList(PnlOption, 6), "ListBox2");
    ListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
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
    // The panel out of view keeps its entries and checks; they apply again when it returns.
    const bool imagePage = page == int(SortCriterion::ByImageSize);
    PnlOption->setVisible(!imagePage);
    PnlOption2->setVisible(imagePage);
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

FileSortJob TForm1::runJob() const {
    FileSortJob job;
    // The run sorts this copy, so entries added or removed while it lets events run change
    // nothing under it.
    job.Files = fileList->entries();
    job.Criterion = SortCriterion(PageControl1->currentIndex());
    job.UseNameRange = ChkFileNamePart->isChecked();
    job.FilterText = EdtFilter->text();
    job.OnlyExistingTargets = ChkOnlyMatchDir->isChecked();
    job.SizeRelation = CmbCondition->currentIndex() == 0 ? SizeTest::Greater : SizeTest::Less;
    job.DateLimit = QDateTime(DtDate->date(), DtTime->time());
    job.DateRelation = CmbFileDate->currentIndex() == 0 ? DateTest::Earlier : DateTest::Later;
    job.DateSource = RbModifyTime->isChecked() ? DateSource::FromHandle : DateSource::FromEntry;
    job.ImageSide = RbPicH->isChecked() ? ImageSide::Height : ImageSide::Width;
    const int pic = CmbPic->currentIndex();
    job.ImageRelation = pic >= 0 && pic <= 2 ? ImageTest(pic) : ImageTest::None;

    FileSortJob::Fields& f = job.fields;
    f.ChkInclude = ChkInclude->isChecked();
    f.ListBox2Count = ListBox2->count();
    f.EdtKeys = EdtKeys->text();
    f.EdtPartNameBegin = EdtPartNameBegin->text();
    f.EdtPartNameEnd = EdtPartNameEnd->text();
    f.EdtSize = EdtSize->text();
    f.CmbCondition = CmbCondition->currentText();
    f.CmbUnit = CmbUnit->currentText();
    f.unitIsMB = CmbUnit->currentIndex() == 1;
    f.CmbPic = CmbPic->currentText();
    f.EdtPic = EdtPic->text();
    return job;
}

void TForm1::BtnCopyClick() {
    const FileSortJob job = runJob();
    runWithTrash([&](ReplaceKeeper* keeper) {
        Host host(*this, keeper);
        runFileSort(job, host, ctx_.fs);
    });
}

std::optional<Preview> TForm1::previewRun() {
    Host host(*this, previewKeeper());
    return previewFileSort(runJob(), host, ctx_.fs);
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
    return target == FocusTarget::EdtSize ? EdtSize : target == FocusTarget::EdtPic ? EdtPic : nullptr;
}

SettingBindings TForm1::settingBindings() {
    return withSharedBindings(
        keys::FilePage,
        {
            // The option label and panels follow the loaded page before the panels are filled.
            loadStep([this] { PageControl1Change(); }),
            binding(keys::SuffixFilter, ListBox2),
            binding(keys::PicSize, {{ImageSide::Width, RbPicW}, {ImageSide::Height, RbPicH}},
                    ImageSide::Height),
            binding(keys::FileAttr,
                    {{DateSource::FromEntry, RbCreateTime}, {DateSource::FromHandle, RbModifyTime}},
                    DateSource::FromHandle),
            binding(keys::CmbPic, CmbPic),
            binding(keys::PicSizeValue, EdtPic),
            binding(keys::CmbCondition, CmbCondition),
            binding(keys::CmbUnit, CmbUnit),
            binding(keys::FileSize, EdtSize),
        });
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
