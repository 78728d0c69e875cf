#include "ui/form6.h"

#include "engine/folderrun.h"
#include "lists/eventpump.h"
#include "lists/folderlist.h"
#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/windowsettings.h"
#include "ui/appcontext.h"
#include "ui/busycursor.h"
#include "ui/form1.h"
#include "ui/frmabout.h"
#include "ui/illustrations.h"
#include "ui/qtdialogs.h"
#include "ui/sourcelistview.h"
#include "ui/windowhost.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace velquin {

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    return named(new QLabel(text, parent), name);
}

// The page headings keep their blanks: they indent the heading on the white panel.
QLabel* heading(QWidget* parent, const char* name, const QString& text) {
    QLabel* l = label(parent, name, text);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

// The white, lowered panel that fills each criterion page.
QFrame* whitePanel(QWidget* page) {
    auto* panel = new QFrame(page);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    panel->setPalette(pal);
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    return panel;
}

const char* const kTabCaptions[] = {" 按目录名匹配关键字分拣 ", " 按目录名分拣", " 按目录下文件数分拣",
                                    " 按目录日期属性分拣"};
constexpr int kDatePage = int(FolderSortCriterion::ByFolderDate);

const QString kMoveWarning = QStringLiteral("错误移动系统目录可能导致电脑系统崩溃，请谨慎选择此选项!") +
                             QStringLiteral("\n\n\t仍然要选择此选项吗？");

} // namespace

// The folder run's view of this window: what both main windows share, over this window's fields.
class TForm6::Host : public WindowRunHost<RunHost> {
public:
    explicit Host(TForm6& w)
        : WindowRunHost<RunHost>({&w, &w.ctx_.dialogs, w.EdtOutDir, w.BtnCopy, w.PageControl1, w.Button3,
                                  &w.result, w.ProgressBar1, [&w](FocusTarget t) { w.focusField(t); },
                                  [&w] { w.Button3Click(); }}) {}
};

TForm6::TForm6(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    ctx.form6 = this;
    setObjectName(QStringLiteral("Form6"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    const SwitchStrip strip = buildSwitchStrip(this, false);
    Panel9 = strip.root;
    RbForm1 = strip.RbForm1;
    RbForm6 = strip.RbForm6;
    column->addWidget(Panel9);

    folders_ = new SourceListModel(this);
    ListBox1 = named(new SourceListView(this), "ListBox1");
    ListBox1->setSourceModel(folders_);
    const ListGroup list = buildListGroup(this, QStringLiteral("要分拣的文件夹（目录）"), ListBox1,
                                          {QStringLiteral("添加文件夹"), QStringLiteral("添加目录下级目录"),
                                           QStringLiteral("移除文件夹"), QStringLiteral("清空列表"),
                                           QStringLiteral("导出列表"), QStringLiteral("导入列表")});
    GroupBox1 = list.root;
    Button1 = list.Button1;
    Button5 = list.Button5;
    Button2 = list.Button2;
    Button6 = list.Button6;
    BtnSaveFileList = list.BtnSaveFileList;
    BtnImpFileList = list.BtnImpFileList;
    column->addWidget(GroupBox1);

    buildPages();
    column->addWidget(PageControl1, 1);

    result = buildResultGroup(this);
    GroupBox3 = result.root;
    EdtOutDir = result.EdtOutDir;
    Button3 = result.Button3;
    RbOverwrite = result.RbOverwrite;
    RbAsk = result.RbAsk;
    RbSkip = result.RbSkip;
    RbRename = result.RbRename;
    RbEditFileTime = result.RbEditFileTime;
    RbOverwrite->setChecked(true);
    column->addWidget(GroupBox3);

    const ModeProgressBand band =
        buildModeProgressBand(this, QStringLiteral("移动式分拣(将文件夹从原目录移动到分拣目录)"),
                              QStringLiteral("复制式分拣(将文件夹复制到分拣目录)"));
    Panel2 = band.root;
    GroupBox2 = band.GroupBox2;
    RbMove = band.RbMove;
    RbCopy = band.RbCopy;
    GroupBox4 = band.GroupBox4;
    ProgressBar1 = band.ProgressBar1;
    // Folder runs always copy; the move option stays in the group but is never offered.
    RbMove->setVisible(false);
    RbCopy->setChecked(true);
    column->addWidget(Panel2);

    const ButtonBar bar = buildButtonBar(this);
    Panel1 = bar.root;
    BtnCopy = bar.BtnCopy;
    BtnAout = bar.BtnAout;
    column->addWidget(Panel1);

    connect(RbForm1, &QRadioButton::clicked, this, [this] { RbForm1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(BtnSaveFileList, &QPushButton::clicked, this, [this] { BtnSaveFileListClick(); });
    connect(BtnImpFileList, &QPushButton::clicked, this, [this] { BtnImpFileListClick(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    // Selecting the move option, by a click or from code, is what asks the question.
    connect(RbMove, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            RbMoveClick();
    });
    connect(BtnCopy, &QPushButton::clicked, this, [this] { BtnCopyClick(); });
    connect(BtnAout, &QPushButton::clicked, this, [this] { BtnAoutClick(); });

    resize(830, 623);
    FormCreate();
}

TForm6::~TForm6() {
    if (ctx_.form6 == this)
        ctx_.form6 = nullptr;
}

void TForm6::buildPages() {
    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->setDocumentMode(true);
    PageControl1->tabBar()->setDrawBase(true);
    PageControl1->setMinimumHeight(140);

    TabSheet6 = named(new QWidget, "TabSheet6");
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet5 = named(new QWidget, "TabSheet5");
    QWidget* pages[] = {TabSheet6, TabSheet1, TabSheet2, TabSheet5};
    for (int i = 0; i < 4; ++i)
        PageControl1->addTab(pages[i], QString::fromUtf8(kTabCaptions[i]));
    // The date page exists (a stored page index can still make it active) but is never offered:
    // its tab is hidden, and disabled in the tab bar alone so that arrow keys, the wheel and
    // Ctrl+Tab pass it by while its controls stay usable.
    PageControl1->setTabVisible(kDatePage, false);
    PageControl1->tabBar()->setTabEnabled(kDatePage, false);

    // Page 0: a keyword in the folder name.
    {
        QFrame* p = whitePanel(TabSheet6);
        Label10 = heading(p, "Label10", QStringLiteral("     按文件名匹配关键字分拣  "));
        Image3 = named(new Illustration(p, Illustration::Item::Folder,
                                        {{{QStringLiteral("云南游记"), QStringLiteral("西藏游记")},
                                          QStringLiteral("游记")}}),
                       "Image3");
        LabelKeys =
            label(p, "LabelKeys",
                  QStringLiteral("请输入关键字（多个关键字以空格分隔）：") + QString(15, QLatin1Char(' ')));
        EdtKeys = named(new QLineEdit(p), "EdtKeys");
        EdtKeys->setMinimumWidth(360);
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(6, 4, 12, 4);
        grid->setHorizontalSpacing(24);
        grid->addWidget(Label10, 0, 0, 1, 3);
        grid->addWidget(Image3, 1, 0, 3, 1, Qt::AlignTop);
        grid->addWidget(LabelKeys, 1, 1);
        grid->addWidget(EdtKeys, 2, 1);
        grid->setRowStretch(3, 1);
        grid->setColumnStretch(2, 1);
    }
    // Page 1: the folder name, or a character range of it.
    {
        QFrame* p = whitePanel(TabSheet1);
        Label4 = heading(p, "Label4", QStringLiteral("     按文件名称分拣 "));
        Image2 =
            named(new Illustration(p, Illustration::Item::Folder,
                                   {{{QStringLiteral("A1"), QStringLiteral("A2")}, QStringLiteral("A")},
                                    {{QStringLiteral("B1"), QStringLiteral("B2")}, QStringLiteral("B")}}),
                  "Image2");
        ChkFileNamePart =
            named(new QCheckBox(QStringLiteral("只按目录名部分进行分拣，从："), p), "ChkFileNamePart");
        EdtPartNameBegin = named(new QLineEdit(p), "EdtPartNameBegin");
        EdtPartNameEnd = named(new QLineEdit(p), "EdtPartNameEnd");
        for (QLineEdit* e : {EdtPartNameBegin, EdtPartNameEnd})
            e->setFixedWidth(qMax(31, e->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 10));
        Label11 = label(p, "Label11", QStringLiteral("字符到："));
        Label12 = label(p, "Label12", QStringLiteral("字符"));
        Image4 =
            named(new StarLabel(p, QStringLiteral("判断文件名时过滤以下字符（多个字符以*（星号）分隔）：")),
                  "Image4");
        EdtFilter = named(new QLineEdit(p), "EdtFilter");
        ChkOnlyMatchDir =
            named(new QCheckBox(QStringLiteral("只分拣与输出文件夹下已存在目录的相匹配的目录项"), p),
                  "ChkOnlyMatchDir");

        auto* range = new QHBoxLayout;
        range->setSpacing(4);
        range->addWidget(ChkFileNamePart);
        range->addWidget(EdtPartNameBegin);
        range->addWidget(Label11);
        range->addWidget(EdtPartNameEnd);
        range->addWidget(Label12);
        range->addStretch(1);
        auto* filter = new QHBoxLayout;
        filter->setSpacing(4);
        filter->addWidget(Image4);
        filter->addWidget(EdtFilter, 1);
        auto* options = new QVBoxLayout;
        options->setSpacing(6);
        options->addLayout(range);
        options->addLayout(filter);
        options->addWidget(ChkOnlyMatchDir);
        options->addStretch(1);
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(6, 4, 12, 4);
        grid->setHorizontalSpacing(24);
        grid->addWidget(Label4, 0, 0, 1, 2);
        grid->addWidget(Image2, 1, 0, Qt::AlignTop);
        grid->addLayout(options, 1, 1);
        grid->setRowStretch(1, 1);
        grid->setColumnStretch(1, 1);
    }
    // Page 2: the number of files directly inside the folder.
    {
        QFrame* p = whitePanel(TabSheet2);
        Label3 = heading(p, "Label3", QStringLiteral("    按目录下文件数分拣"));
        Label5 = label(p, "Label5", QStringLiteral("分拣出目录（文件夹）下文件数（不包括子目录下文件）等于"));
        EdtFileCount = named(new QLineEdit(QStringLiteral("3"), p), "EdtFileCount");
        EdtFileCount->setFixedWidth(60);
        Label6 = label(p, "Label6", QStringLiteral("的文件夹"));
        // EdtFileCountKeyPress: digits and backspace only; the run checks what gets in otherwise.
        installKeyFilter(EdtFileCount);
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addSpacing(30);
        row->addWidget(Label5);
        row->addWidget(EdtFileCount);
        row->addWidget(Label6);
        row->addStretch(1);
        auto* rows = new QVBoxLayout(p);
        rows->setContentsMargins(6, 4, 12, 4);
        rows->setSpacing(16);
        rows->addWidget(Label3);
        rows->addLayout(row);
        rows->addStretch(1);
    }
    // Page 3: the folder date, never offered.
    {
        QFrame* p = whitePanel(TabSheet5);
        Label7 = label(p, "Label7", QStringLiteral("文件夹创建时间："));
        CmbFileDate = named(new QComboBox(p), "CmbFileDate");
        CmbFileDate->addItems({QStringLiteral("早于"), QStringLiteral("晚于")});
        CmbFileDate->setCurrentIndex(0);
        DtDate = named(new QDateEdit(QDate(2013, 5, 6), p), "DtDate");
        DtDate->setCalendarPopup(true);
        DtTime = named(new QTimeEdit(QTime(0, 0, 0), p), "DtTime");
        DtTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        auto* row = new QHBoxLayout(p);
        row->setContentsMargins(30, 4, 12, 4);
        row->setSpacing(10);
        row->addWidget(Label7);
        row->addWidget(CmbFileDate);
        row->addWidget(DtDate);
        row->addWidget(DtTime);
        row->addStretch(1);
    }
    // The form's own choice; the settings load replaces it.
    PageControl1->setCurrentIndex(int(FolderSortCriterion::ByFileCount));
}

void TForm6::FormCreate() {
    setWindowTitle(applicationTitle());
    loadSettings();
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm6::loadSettings() {
    const FolderWindowSettings s = loadFolderWindowSettings(ctx_.settingsPath);
    if (s.filter)
        EdtFilter->setText(*s.filter);
    if (s.outDir)
        EdtOutDir->setText(*s.outDir);
    checkClashCode(result, int(s.sameFile.value_or(ClashPolicy::Skip)));
    if (s.page && *s.page >= 0 && *s.page < PageControl1->count())
        PageControl1->setCurrentIndex(*s.page);
    if (s.dtDate)
        DtDate->setDate(*s.dtDate);
    if (s.dtTime)
        DtTime->setTime(*s.dtTime);
    if (s.cmbFileDate)
        CmbFileDate->setCurrentIndex(*s.cmbFileDate);
    if (s.edtKeys)
        EdtKeys->setText(*s.edtKeys);
}

void TForm6::saveSettings() {
    FolderWindowSettings s;
    s.filter = EdtFilter->text();
    if (const int code = checkedClashCode(result); code >= 0)
        s.sameFile = ClashPolicy(code);
    s.outDir = EdtOutDir->text();
    s.page = PageControl1->currentIndex();
    s.edtKeys = EdtKeys->text();
    s.dtDate = DtDate->date();
    s.dtTime = DtTime->time();
    s.cmbFileDate = CmbFileDate->currentIndex();
    const QString failure = saveFolderWindowSettings(ctx_.settingsPath, s);
    if (!failure.isEmpty())
        ctx_.dialogs.error(this, failure);
}

void TForm6::closeEvent(QCloseEvent* event) {
    saveSettings();
    event->accept();
    // The file window is the main window, yet closing this one ends the program too.
    QCoreApplication::quit();
}

void TForm6::showFromSwitch() {
    show();
    RbForm6->setChecked(true);
}

void TForm6::RbForm1Click() {
    hide();
    if (ctx_.form1)
        ctx_.form1->switchHere();
}

void TForm6::Button1Click() {
    addChosenFolder(*folders_, ctx_.dialogs, this);
}

void TForm6::Button5Click() {
    EventPump pump([] { QCoreApplication::processEvents(); });
    addSubFolders(*folders_, ctx_.dialogs, this, ctx_.fs, pump, &BusyCursor::set);
}

void TForm6::Button2Click() {
    ListBox1->removeSelected();
}

void TForm6::Button6Click() {
    folders_->clear();
}

void TForm6::BtnSaveFileListClick() {
    exportList(*folders_, ListKind::Folders, ctx_.dialogs, this);
}

void TForm6::BtnImpFileListClick() {
    importList(*folders_, ListKind::Folders, ctx_.dialogs, this, ctx_.fs);
}

void TForm6::Button3Click() {
    const std::optional<QString> folder = ctx_.dialogs.chooseFolder(this, QStringLiteral("请选择文件夹"));
    if (folder && !folder->isEmpty())
        EdtOutDir->setText(withTrailingSeparator(*folder));
}

void TForm6::RbMoveClick() {
    if (!ctx_.dialogs.warningQuestion(this, kMoveWarning))
        RbCopy->setChecked(true);
}

void TForm6::focusField(FocusTarget target) {
    QLineEdit* field = target == FocusTarget::EdtKeys            ? EdtKeys
                       : target == FocusTarget::EdtPartNameBegin ? EdtPartNameBegin
                       : target == FocusTarget::EdtPartNameEnd   ? EdtPartNameEnd
                       : target == FocusTarget::EdtFileCount     ? EdtFileCount
                                                                 : nullptr;
    if (field)
        field->setFocus();
}

void TForm6::BtnCopyClick() {
    FolderSortJob job;
    job.folders = folders_->entries();
    job.criterion = PageControl1->currentIndex();
    job.keysText = EdtKeys->text();
    job.useNameRange = ChkFileNamePart->isChecked();
    job.rangeBeginText = EdtPartNameBegin->text();
    job.rangeEndText = EdtPartNameEnd->text();
    job.filterText = EdtFilter->text();
    job.onlyExistingTargets = ChkOnlyMatchDir->isChecked();
    job.fileCountText = EdtFileCount->text();
    job.folderDate = DtDate->date();
    Host host(*this);
    runFolderSort(job, host, ctx_.fs);
}

void TForm6::BtnAoutClick() {
    if (ctx_.about)
        ctx_.about->exec();
}

} // namespace velquin
