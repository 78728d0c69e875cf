#include "ui/form6.h"

#include "engine/folderrun.h"
#include "lists/eventpump.h"
#include "lists/folderlist.h"
#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/windowsettings.h"
#include "ui/accessibility.h"
#include "ui/appcontext.h"
#include "ui/busycursor.h"
#include "ui/frmabout.h"
#include "ui/illustrations.h"
#include "ui/offthread.h"
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
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace velquin {

namespace {

// Draws a tab bar whose current tab is hidden without that tab: the tab bar draws its current tab
// last, over the others, hidden or not, and a hidden one has no room, so only a scrap of its frame
// and caption would show at the bar's left end.
class WithoutHiddenTabs : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const bool tab =
            element == CE_TabBarTab || element == CE_TabBarTabShape || element == CE_TabBarTabLabel;
        if (tab && option->rect.isEmpty())
            return;
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

constexpr int kDatePage = int(FolderSortCriterion::ByFolderDate);

const QString kMoveWarning = QStringLiteral("错误移动系统目录可能导致电脑系统崩溃，请谨慎选择此选项!") +
                             QStringLiteral("\n\n\t仍然要选择此选项吗？");

} // namespace

// The folder run's view of this window: what both main windows share, over this window's fields.
class TForm6::Host : public WindowRunHost<RunHost> {
public:
    explicit Host(TForm6& w, ReplaceKeeper* keeper = nullptr)
        : WindowRunHost<RunHost>(w.runControls(keeper)) {}
};

TForm6::TForm6(AppContext& ctx, QWidget* parent)
    : SortWindow(ctx, parent, "Form6", new SourceListModel, ListKind::Folders) {
    ctx.form6 = this;
    folders_ = sourceList();
    buildTop(false, QStringLiteral("要分拣的文件夹（目录）"),
             {QStringLiteral("添加文件夹"), QStringLiteral("添加目录下级目录"), QStringLiteral("移除文件夹"),
              QStringLiteral("清空列表"), QStringLiteral("导出列表"), QStringLiteral("导入列表")});
    buildPages();
    buildBottom(QStringLiteral("移动式分拣(将文件夹从原目录移动到分拣目录)"),
                QStringLiteral("复制式分拣(将文件夹复制到分拣目录)"));
    // Folder runs always copy; the move option stays in the group but is never offered.
    RbMove->setVisible(false);
    RbCopy->setChecked(true);

    connect(RbForm1, &QRadioButton::clicked, this, [this] { RbForm1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    // Only the user's selecting of the move option asks the question.
    connect(RbMove, &QRadioButton::clicked, this, [this](bool checked) {
        if (checked)
            RbMoveClick();
    });
    connect(BtnCopy, &QPushButton::clicked, this, [this] { BtnCopyClick(); });

    resize(830, 623);
    loadSettings();
    refreshUndo();
    finishCreate();
}

TForm6::~TForm6() {
    if (ctx_.form6 == this)
        ctx_.form6 = nullptr;
}

void TForm6::buildPages() {
    buildPageControl({{&TabSheet6, "TabSheet6", QStringLiteral(" 按目录名匹配关键字分拣 ")},
                      {&TabSheet1, "TabSheet1", QStringLiteral(" 按目录名分拣")},
                      {&TabSheet2, "TabSheet2", QStringLiteral(" 按目录下文件数分拣")},
                      {&TabSheet5, "TabSheet5", QStringLiteral(" 按目录日期属性分拣")}});
    // The date page exists (a stored page index can still make it active) but is never offered:
    // its tab is hidden, and disabled in the tab bar alone so that arrow keys, the wheel and
    // Ctrl+Tab pass it by while its controls stay usable.
    PageControl1->setTabVisible(kDatePage, false);
    PageControl1->tabBar()->setTabEnabled(kDatePage, false);
    // A stored page index can make it the current page all the same. The style belongs to the
    // window, so it outlives the tab bar that uses it.
    auto* tabStyle = new WithoutHiddenTabs;
    tabStyle->setParent(this);
    PageControl1->tabBar()->setStyle(tabStyle);

    const auto keywordPicture = [](QWidget* p) {
        return new Illustration(
            p, Illustration::Item::Folder,
            {{{QStringLiteral("云南游记"), QStringLiteral("西藏游记")}, QStringLiteral("游记")}});
    };
    LabelKeys = buildKeywordPage(QStringLiteral("     按文件名匹配关键字分拣  "), keywordPicture, "LabelKeys",
                                 QStringLiteral("请输入关键字（多个关键字以空格分隔）：") +
                                     QString(15, QLatin1Char(' ')));
    const auto namePicture = [](QWidget* p) {
        return new Illustration(p, Illustration::Item::Folder,
                                {{{QStringLiteral("A1"), QStringLiteral("A2")}, QStringLiteral("A")},
                                 {{QStringLiteral("B1"), QStringLiteral("B2")}, QStringLiteral("B")}});
    };
    buildNamePage(QStringLiteral("     按文件名称分拣 "), namePicture,
                  QStringLiteral("只按目录名部分进行分拣，从："),
                  QStringLiteral("只分拣与输出文件夹下已存在目录的相匹配的目录项"));
    // Page 2: the number of files directly inside the folder.
    {
        QFrame* p = whitePanel(TabSheet2);
        Label3 = pageHeading(p, "Label3", QStringLiteral("    按目录下文件数分拣"));
        Label5 =
            namedLabel(p, "Label5", QStringLiteral("分拣出目录（文件夹）下文件数（不包括子目录下文件）等于"));
        EdtFileCount = named(new QLineEdit(QStringLiteral("3"), p), "EdtFileCount");
        EdtFileCount->setFixedWidth(60);
        Label6 = namedLabel(p, "Label6", QStringLiteral("的文件夹"));
        nameAfterLabel(EdtFileCount, Label5->text());
        EdtFileCount->setAccessibleDescription(Label6->text());
        // EdtFileCountKeyPress: digits and backspace only; the run checks what gets in otherwise.
        installKeyFilter(EdtFileCount);
        headingOverRow(p, Label3, {Label5, EdtFileCount, Label6});
    }
    // Page 3: the folder date, never offered.
    {
        QFrame* p = whitePanel(TabSheet5);
        Label7 = namedLabel(p, "Label7", QStringLiteral("文件夹创建时间："));
        CmbFileDate = named(new QComboBox(p), "CmbFileDate");
        CmbFileDate->addItems({QStringLiteral("早于"), QStringLiteral("晚于")});
        CmbFileDate->setCurrentIndex(0);
        nameAfterLabel(CmbFileDate, Label7->text());
        buildDateTimePickers(p, DtDate, DtTime);
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

SettingBindings TForm6::settingBindings() {
    return withSharedBindings(keys::FolderPage, {});
}

void TForm6::showFromSwitch() {
    show();
    RbForm6->setChecked(true);
}

void TForm6::RbForm1Click() {
    switchToOther();
}

void TForm6::Button1Click() {
    addChosenFolder(*folders_, ctx_.dialogs, this);
}

void TForm6::Button5Click() {
    runActivity([&] {
        EventPump pump = activityPump();
        addSubFolders(*folders_, ctx_.dialogs, this, ctx_.fs, pump, &BusyCursor::set);
    });
}

void TForm6::RbMoveClick() {
    if (!ctx_.dialogs.warningQuestion(this, kMoveWarning))
        RbCopy->setChecked(true);
}

QWidget* TForm6::ownField(FocusTarget target) {
    return target == FocusTarget::EdtFileCount ? EdtFileCount : nullptr;
}

FolderSortJob TForm6::runJob() const {
    FolderSortJob job;
    job.Folders = folders_->entries();
    job.Criterion = FolderSortCriterion(PageControl1->currentIndex());
    job.UseNameRange = ChkFileNamePart->isChecked();
    job.FilterText = EdtFilter->text();
    job.OnlyExistingTargets = ChkOnlyMatchDir->isChecked();
    job.fields.EdtKeys = EdtKeys->text();
    job.fields.EdtPartNameBegin = EdtPartNameBegin->text();
    job.fields.EdtPartNameEnd = EdtPartNameEnd->text();
    job.fields.EdtFileCount = EdtFileCount->text();
    job.fields.DtDate = DtDate->date();
    return job;
}

void TForm6::BtnCopyClick() {
    const FolderSortJob job = runJob();
    runWithTrash([&](ReplaceKeeper* keeper) {
        Host host(*this, keeper);
        runOffThread(host, [&](RunHost& relay) { runFolderSort(job, relay, ctx_.fs); });
    });
}

std::optional<Preview> TForm6::previewRun() {
    Host host(*this, previewKeeper());
    const FolderSortJob job = runJob();
    std::optional<Preview> preview;
    runOffThread(
        host, [&](RunHost& relay) { preview = previewFolderSort(job, relay, ctx_.fs); }, this);
    return preview;
}

} // namespace velquin
