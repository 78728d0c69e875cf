#include "ui/sortwindow.h"

#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/windowsettings.h"
#include "ui/accessibility.h"
#include "ui/appcontext.h"
#include "ui/frmabout.h"
#include "ui/illustrations.h"
#include "ui/placement.h"
#include "ui/qtdialogs.h"
#include "ui/sourcelistview.h"
#include "ui/statusline.h"
#include "ui/windowhost.h"

#include <QApplication>
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
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace velquin {

namespace {

// The space between the window's side edges and its regions: the group frames, their titles, the
// tabs and the button bar line up on one left and one right edge, clear of the window border.
// The regions themselves stack without gaps (each group's title gives it its own room), so the
// window keeps its designed height and the pages keep theirs.
constexpr int kWindowMargin = 6;

} // namespace

SortWindow::SortWindow(AppContext& ctx, QWidget* parent, const char* objectName, SourceListModel* list,
                       ListKind kind)
    : QWidget(parent), ctx_(ctx), list_(list), kind_(kind),
      run_(std::make_unique<RunController>(*this, ctx)) {
    installAccessibleViews();
    setObjectName(QLatin1String(objectName));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    list_->setParent(this);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(kWindowMargin, 0, kWindowMargin, 0);
    column_->setSpacing(0);
}

SortWindow::~SortWindow() {
    if (other_)
        other_->other_ = nullptr;
}

void SortWindow::pair(SortWindow& a, SortWindow& b) {
    a.other_ = &b;
    b.other_ = &a;
}

void SortWindow::switchToOther() {
    if (!other_)
        return;
    hide();
    other_->showFromSwitch();
}

void SortWindow::buildTop(bool fileWindow, const QString& listCaption,
                          const std::array<QString, 6>& buttonCaptions) {
    // Region 1: the switch strip, 33 pixels, no border.
    Panel9 = named(new QWidget(this), "Panel9");
    Panel9->setFixedHeight(33);
    RbForm1 = named(new QRadioButton(QStringLiteral("文件分拣"), Panel9), "RbForm1");
    RbForm6 = named(new QRadioButton(QStringLiteral("文件夹（目录）分拣"), Panel9), "RbForm6");
    QRadioButton* own = fileWindow ? RbForm1 : RbForm6;
    own->setChecked(true);
    tabToCheckedButton({RbForm1, RbForm6});
    // Both windows carry the program's title; to a screen reader they are told apart by the
    // switch caption of each, as the about box is by its own words.
    nameAfterLabel(this, own->text() + QStringLiteral(" - ") + applicationTitle());
    auto* strip = new QHBoxLayout(Panel9);
    strip->setContentsMargins(0, 0, kGroupInset, 0);
    strip->setSpacing(24);
    strip->addWidget(RbForm1);
    strip->addWidget(RbForm6);
    strip->addStretch(1);
    Panel9->setFixedHeight(qMax(33, Panel9->minimumSizeHint().height()));
    column_->addWidget(Panel9);

    // Region 2: the list group, 196 pixels: the list on the left, six buttons 103 pixels wide
    // on the right (all as wide as the widest caption needs in a larger font).
    GroupBox1 = named(new QGroupBox(listCaption, this), "GroupBox1");
    GroupBox1->setFixedHeight(196);
    ListBox1 = named(new SourceListView(GroupBox1), "ListBox1");
    ListBox1->setSourceModel(list_);
    nameAfterLabel(ListBox1, listCaption);
    auto* row = new QHBoxLayout(GroupBox1);
    row->setContentsMargins(kGroupInset, 4, kGroupInset, 8);
    row->setSpacing(8);
    row->addWidget(ListBox1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    QPushButton** targets[] = {&Button1, &Button5, &Button2, &Button6, &BtnSaveFileList, &BtnImpFileList};
    const char* names[] = {"Button1", "Button5", "Button2", "Button6", "BtnSaveFileList", "BtnImpFileList"};
    for (size_t i = 0; i < 6; ++i) {
        *targets[i] = named(new QPushButton(buttonCaptions[i], GroupBox1), names[i]);
        (*targets[i])->setMinimumWidth(103);
        buttons->addWidget(*targets[i]);
    }
    buttons->addStretch(1);
    row->addLayout(buttons);
    GroupBox1->setFixedHeight(qMax(196, GroupBox1->minimumSizeHint().height()));
    column_->addWidget(GroupBox1);

    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(BtnSaveFileList, &QPushButton::clicked, this, [this] { BtnSaveFileListClick(); });
    connect(BtnImpFileList, &QPushButton::clicked, this, [this] { BtnImpFileListClick(); });
}

void SortWindow::buildPageControl(const QList<PageSlot>& pages) {
    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->setDocumentMode(true);
    PageControl1->tabBar()->setDrawBase(true);
    PageControl1->setMinimumHeight(140);
    for (const PageSlot& page : pages) {
        *page.member = named(new QWidget, page.name);
        PageControl1->addTab(*page.member, page.caption);
    }
    column_->addWidget(PageControl1, 1);
}

QLabel* SortWindow::buildKeywordPage(const QString& heading,
                                     const std::function<Illustration*(QWidget*)>& illustration,
                                     const char* keysLabelName, const QString& keysLabel) {
    QFrame* p = whitePanel(TabSheet6);
    Label10 = pageHeading(p, "Label10", heading);
    Image3 = named(illustration(p), "Image3");
    QLabel* keys = namedLabel(p, keysLabelName, keysLabel);
    EdtKeys = named(new QLineEdit(p), "EdtKeys");
    EdtKeys->setMinimumWidth(360);
    nameAfterLabel(EdtKeys, keysLabel);
    auto* grid = new QGridLayout(p);
    grid->setContentsMargins(6, 4, 12, 4);
    grid->setHorizontalSpacing(24);
    grid->addWidget(Label10, 0, 0, 1, 3);
    grid->addWidget(Image3, 1, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(keys, 1, 1);
    grid->addWidget(EdtKeys, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(2, 1);
    return keys;
}

void SortWindow::buildNamePage(const QString& heading,
                               const std::function<Illustration*(QWidget*)>& illustration,
                               const QString& rangeCaption, const QString& onlyMatchCaption) {
    QFrame* p = whitePanel(TabSheet1);
    Label4 = pageHeading(p, "Label4", heading);
    Image2 = named(illustration(p), "Image2");
    ChkFileNamePart = named(new QCheckBox(rangeCaption, p), "ChkFileNamePart");
    EdtPartNameBegin = named(new QLineEdit(p), "EdtPartNameBegin");
    EdtPartNameEnd = named(new QLineEdit(p), "EdtPartNameEnd");
    for (QLineEdit* e : {EdtPartNameBegin, EdtPartNameEnd})
        e->setFixedWidth(qMax(31, e->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 10));
    Label11 = namedLabel(p, "Label11", QStringLiteral("字符到："));
    Label12 = namedLabel(p, "Label12", QStringLiteral("字符"));
    Image4 = named(new StarLabel(p, QStringLiteral("判断文件名时过滤以下字符（多个字符以*（星号）分隔）：")),
                   "Image4");
    EdtFilter = named(new QLineEdit(p), "EdtFilter");
    ChkOnlyMatchDir = named(new QCheckBox(onlyMatchCaption, p), "ChkOnlyMatchDir");
    // The range line reads as one sentence: each field is named by the words before it.
    nameAfterLabel(EdtPartNameBegin, rangeCaption);
    nameAfterLabel(EdtPartNameEnd, Label11->text());
    nameAfterLabel(EdtFilter, Image4->text());

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

void SortWindow::buildBottom(const QString& moveCaption, const QString& copyCaption) {
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
    column_->addWidget(GroupBox3);

    // Region 6: transfer mode and progress, 75 pixels, two groups side by side.
    Panel2 = named(new QWidget(this), "Panel2");
    Panel2->setFixedHeight(75);
    GroupBox2 = named(new QGroupBox(QStringLiteral("分拣方式"), Panel2), "GroupBox2");
    RbMove = named(new QRadioButton(moveCaption, GroupBox2), "RbMove");
    RbCopy = named(new QRadioButton(copyCaption, GroupBox2), "RbCopy");
    RbCopy->setChecked(true);
    tabToCheckedButton({RbMove, RbCopy});
    auto* modes = new QVBoxLayout(GroupBox2);
    modes->setContentsMargins(kGroupInset, 2, kGroupInset, 4);
    modes->setSpacing(2);
    modes->addWidget(RbMove);
    modes->addWidget(RbCopy);
    GroupBox4 = named(new QGroupBox(QStringLiteral("分拣进度"), Panel2), "GroupBox4");
    ProgressBar1 = named(new QProgressBar(GroupBox4), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    progressLine = new StatusLine(GroupBox4);
    progressLine->setObjectName(QStringLiteral("progressLine"));
    progressLine->setAccessibleName(QStringLiteral("分拣进度详情"));
    auto* progress = new QVBoxLayout(GroupBox4);
    progress->setContentsMargins(kGroupInset, 4, kGroupInset, 4);
    progress->setSpacing(2);
    progress->addWidget(ProgressBar1);
    progress->addWidget(progressLine);
    auto* band = new QHBoxLayout(Panel2);
    // No margins of its own: the two groups line up with the full-width groups above.
    band->setContentsMargins(0, 0, 0, 0);
    band->setSpacing(6);
    band->addWidget(GroupBox2, 1);
    band->addWidget(GroupBox4, 1);
    // Taller where the font needs it for the bar and the line under it.
    Panel2->setFixedHeight(qMax(75, GroupBox4->minimumSizeHint().height()));
    column_->addWidget(Panel2);

    // Region 7: the button bar, 38 pixels, raised: the start button near the middle, the about
    // button towards the right.
    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedHeight(38);
    nameAfterLabel(Panel1, QStringLiteral("操作按钮"));
    BtnUndo = named(new QPushButton(QStringLiteral("撤销上次分拣"), Panel1), "BtnUndo");
    BtnPreview = named(new QPushButton(QStringLiteral("预览"), Panel1), "BtnPreview");
    BtnCopy = named(new QPushButton(QStringLiteral("开始处理"), Panel1), "BtnCopy");
    BtnStop = named(new QPushButton(QStringLiteral("停止"), Panel1), "BtnStop");
    BtnAout = named(new QPushButton(QStringLiteral("关于"), Panel1), "BtnAout");
    BtnCopy->setMinimumWidth(96);
    BtnStop->setMinimumWidth(80);
    BtnAout->setMinimumWidth(80);
    BtnStop->setEnabled(false);
    BtnUndo->setEnabled(false);
    BtnPreview->setMinimumWidth(80);
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(8, 4, 8, 4);
    bar->addWidget(BtnUndo);
    bar->addStretch(3);
    bar->addWidget(BtnPreview);
    bar->addSpacing(8);
    bar->addWidget(BtnCopy);
    bar->addSpacing(8);
    bar->addWidget(BtnStop);
    bar->addStretch(2);
    bar->addWidget(BtnAout);
    bar->addStretch(1);
    Panel1->setFixedHeight(qMax(38, Panel1->minimumSizeHint().height()));
    column_->addWidget(Panel1);

    run_->attach();
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(BtnAout, &QPushButton::clicked, this, [this] { BtnAoutClick(); });
}

void SortWindow::finishCreate() {
    setWindowTitle(applicationTitle());
    centreWindow(this, centringArea(this, nullptr));
    centring_ = true;
}

bool SortWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // Before its first showing the window's frame is unknown, and the layout may have made it
    // larger: it is centred again when shown, with the frame of the other main window if that one
    // has been framed (and put right once its own frame is known).
    if (centring_ && event->type() == QEvent::Show) {
        centring_ = false;
        const SortWindow* other = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != this && (other = dynamic_cast<const SortWindow*>(w)))
                break;
        }
        centreWindow(this, centringArea(this, nullptr), other);
    }
    return handled;
}

SettingBindings SortWindow::withSharedBindings(const Setting<int>& page, SettingBindings own) {
    SettingBindings bindings = {binding(keys::Filter, EdtFilter), binding(keys::OutDir, EdtOutDir),
                                binding(keys::SameFile, {{ClashPolicy::Skip, result.RbSkip},
                                                         {ClashPolicy::Overwrite, result.RbOverwrite},
                                                         {ClashPolicy::Ask, result.RbAsk},
                                                         {ClashPolicy::AutoNumber, result.RbRename},
                                                         {ClashPolicy::ReplaceOlder, result.RbEditFileTime}}),
                                binding(page, PageControl1)};
    bindings.insert(bindings.end(), own.begin(), own.end());
    bindings.insert(bindings.end(),
                    {binding(keys::DTDate, DtDate), binding(keys::DTTime, DtTime),
                     binding(keys::CmbFileDate, CmbFileDate), binding(keys::EdtKeys, EdtKeys)});
    return bindings;
}

void SortWindow::loadSettings() {
    applySettings(settingBindings(), loadSection(ctx_.settingsPath, settingsSection()));
}

QString SortWindow::saveSettings() {
    return saveSection(ctx_.settingsPath, settingsSection(), settingsToSave(settingBindings()));
}

WindowRunControls SortWindow::runControls(ReplaceKeeper* keeper) {
    return {this,
            &ctx_.dialogs,
            EdtOutDir,
            BtnCopy,
            PageControl1,
            Button3,
            &result,
            ProgressBar1,
            [this](FocusTarget t) { focusField(t); },
            [this] { Button3Click(); },
            [this] { return stopRequested(); },
            [this] { return closePending(); },
            {BtnPreview},
            keeper,
            journalPath(),
            progressLine,
            BtnStop};
}

void SortWindow::focusField(FocusTarget target) {
    QWidget* field = target == FocusTarget::EdtKeys            ? EdtKeys
                     : target == FocusTarget::EdtPartNameBegin ? EdtPartNameBegin
                     : target == FocusTarget::EdtPartNameEnd   ? EdtPartNameEnd
                                                               : ownField(target);
    if (field)
        field->setFocus();
}

void SortWindow::Button2Click() {
    ListBox1->removeSelected();
}

void SortWindow::Button6Click() {
    list_->clear();
}

void SortWindow::BtnSaveFileListClick() {
    exportList(*list_, kind_, ctx_.dialogs, this);
}

void SortWindow::BtnImpFileListClick() {
    importList(*list_, kind_, ctx_.dialogs, this, ctx_.fs);
}

void SortWindow::Button3Click() {
    const std::optional<QString> folder = ctx_.dialogs.chooseFolder(this, QStringLiteral("请选择文件夹"));
    if (folder && !folder->isEmpty())
        EdtOutDir->setText(withTrailingSeparator(*folder));
}

void SortWindow::BtnAoutClick() {
    if (ctx_.about)
        ctx_.about->exec();
}

void SortWindow::FormClose() {
    // A failed save is reported, and the program still ends: nothing would be gained by
    // keeping the window open with settings that cannot be written.
    if (const QString failure = saveSettings(); !failure.isEmpty())
        ctx_.dialogs.error(this, failure);
    QCoreApplication::quit();
}

void SortWindow::closeEvent(QCloseEvent* event) {
    // A run or walk under way in either window ends first, after its file in flight; the window
    // then saves its settings and the program ends. Nothing goes on out of sight.
    if (!run_->requestClose()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

} // namespace velquin
