#include "ui/windowparts.h"

#include "ui/accessibility.h"

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QChildEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace velquin {

namespace {

QRadioButton* radio(QWidget* parent, const char* name, const QString& caption) {
    return named(new QRadioButton(caption, parent), name);
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    return named(new QPushButton(caption, parent), name);
}

// Discards typed characters that are not allowed before the field sees them.
class KeyFilter : public QObject {
public:
    KeyFilter(QObject* parent, std::function<bool(QChar)> keep) : QObject(parent), keep_(std::move(keep)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace)
            return false;
        if (isNavigation(key->key()))
            return false;
        // Ctrl+letter types a control character (and would paste, cut or copy): not allowed.
        if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
            return true;
        const QString text = key->text();
        if (text.isEmpty())
            return false; // modifiers alone, function keys: nothing is typed
        for (const QChar c : text) {
            if (!keep_(c))
                return true;
        }
        return false;
    }

private:
    static bool isNavigation(int key) {
        switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Delete:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return false;
        }
    }

    std::function<bool(QChar)> keep_;
};

} // namespace

QLabel* namedLabel(QWidget* parent, const char* name, const QString& text) {
    QLabel* label = named(new QLabel(text, parent), name);
    if (accessibleCaption(text) != text)
        nameAfterLabel(label, text);
    return label;
}

void headingOverRow(QWidget* panel, QLabel* heading, const QList<QWidget*>& row) {
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addSpacing(30);
    for (QWidget* w : row) {
        if (w)
            line->addWidget(w);
        else
            line->addSpacing(6);
    }
    line->addStretch(1);
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(6, 4, 12, 4);
    rows->setSpacing(16);
    rows->addWidget(heading);
    rows->addLayout(line);
    rows->addStretch(1);
}

QComboBox* choiceBox(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = named(new QComboBox(parent), name);
    box->addItems(items);
    box->setCurrentIndex(0);
    return box;
}

QLabel* pageHeading(QWidget* parent, const char* name, const QString& text) {
    QLabel* l = namedLabel(parent, name, text);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

namespace {

// A criterion panel. On the base colour of a dark theme a field (drawn in that same colour, with a
// frame only a shade darker than the window) would vanish into the panel, so there the fields
// are drawn a little lighter than it; in a light theme they keep the theme's own colours.
class CriterionPanel : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void changeEvent(QEvent* event) override {
        QFrame::changeEvent(event);
        if (event->type() == QEvent::PaletteChange)
            setFieldColours();
    }
    void childEvent(QChildEvent* event) override {
        QFrame::childEvent(event);
        if (event->type() == QEvent::ChildPolished)
            setFieldColours();
    }

private:
    void setFieldColours() {
        const QColor base = palette().color(QPalette::Base);
        QPalette fields;
        if (base.lightnessF() < 0.5)
            fields.setColor(QPalette::Base, base.lighter(160));
        for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w))
                w->setPalette(fields);
        }
    }
};

} // namespace

QFrame* whitePanel(QWidget* page) {
    auto* panel = new CriterionPanel(page);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The base colour of the theme (white in a light one) with its text colour: what the panel
    // holds inherits the role, so every caption on it reads in a light and in a dark theme, and
    // follows a change of theme.
    panel->setBackgroundRole(QPalette::Base);
    panel->setForegroundRole(QPalette::Text);
    panel->setAutoFillBackground(true);
    // The page is in its page control by now: the panel is read under the page's tab caption.
    if (auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget())) {
        if (auto* pages = qobject_cast<QTabWidget*>(stack->parentWidget()))
            nameAfterLabel(panel, pages->tabText(pages->indexOf(page)));
    }
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    return panel;
}

namespace {

// A screen reader learns the range of a date or time from the field's description: its number
// interface knows nothing of dates.
void describeRange(QDateTimeEdit* field) {
    const auto shown = [field](const QDateTime& when) {
        return field->locale().toString(when, field->displayFormat());
    };
    field->setAccessibleDescription(
        QStringLiteral("可选范围：%1 至 %2")
            .arg(shown(field->minimumDateTime()), shown(field->maximumDateTime())));
}

} // namespace

void buildDateTimePickers(QWidget* parent, QDateEdit*& date, QTimeEdit*& time) {
    date = named(new QDateEdit(QDate(2013, 5, 6), parent), "DtDate");
    date->setCalendarPopup(true);
    nameAfterLabel(date, QStringLiteral("日期"));
    describeRange(date);
    time = named(new QTimeEdit(QTime(0, 0, 0), parent), "DtTime");
    time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    nameAfterLabel(time, QStringLiteral("时间"));
    describeRange(time);
}

ResultGroup buildResultGroup(QWidget* parent) {
    ResultGroup g;
    g.root = named(new QGroupBox(QStringLiteral("分拣结果"), parent), "GroupBox3");
    g.root->setFixedHeight(75);
    g.Label1 = named(new QLabel(QStringLiteral("分拣结果输出到："), g.root), "Label1");
    g.EdtOutDir = named(new QLineEdit(g.root), "EdtOutDir");
    g.EdtOutDir->setFixedWidth(415);
    nameAfterLabel(g.EdtOutDir, g.Label1->text());
    g.Button3 = button(g.root, "Button3", QStringLiteral("选择"));
    g.Label2 = named(new QLabel(QStringLiteral("目标文件夹下存在同名文件时："), g.root), "Label2");
    g.RbOverwrite = radio(g.root, "RbOverwrite", QStringLiteral("覆盖"));
    g.RbAsk = radio(g.root, "RbAsk", QStringLiteral("询问"));
    g.RbSkip = radio(g.root, "RbSkip", QStringLiteral("跳过"));
    g.RbRename = radio(g.root, "RbRename", QStringLiteral("自动编号文件名"));
    g.RbEditFileTime = radio(g.root, "RbEditFileTime", QStringLiteral("按文件修改时间只替换旧文件"));
    g.clashGroup = new QButtonGroup(g.root);
    g.clashGroup->addButton(g.RbSkip, int(ClashPolicy::Skip));
    g.clashGroup->addButton(g.RbOverwrite, int(ClashPolicy::Overwrite));
    g.clashGroup->addButton(g.RbAsk, int(ClashPolicy::Ask));
    g.clashGroup->addButton(g.RbRename, int(ClashPolicy::AutoNumber));
    g.clashGroup->addButton(g.RbEditFileTime, int(ClashPolicy::ReplaceOlder));
    tabToCheckedButton(g.clashGroup->buttons());

    auto* rows = new QVBoxLayout(g.root);
    rows->setContentsMargins(kGroupInset, 2, kGroupInset, 4);
    rows->setSpacing(4);
    auto* first = new QHBoxLayout;
    first->setSpacing(6);
    first->addWidget(g.Label1);
    first->addWidget(g.EdtOutDir);
    first->addWidget(g.Button3);
    first->addStretch(1);
    auto* second = new QHBoxLayout;
    second->setSpacing(14);
    second->addWidget(g.Label2);
    for (QRadioButton* rb : {g.RbOverwrite, g.RbAsk, g.RbSkip, g.RbRename, g.RbEditFileTime})
        second->addWidget(rb);
    second->addStretch(1);
    rows->addLayout(first);
    rows->addLayout(second);
    g.root->setFixedHeight(qMax(75, g.root->minimumSizeHint().height()));
    return g;
}

ClashPolicy clashPolicyOf(const ResultGroup& group) {
    if (group.RbRename->isChecked())
        return ClashPolicy::AutoNumber;
    if (group.RbEditFileTime->isChecked())
        return ClashPolicy::ReplaceOlder;
    if (group.RbAsk->isChecked())
        return ClashPolicy::Ask;
    return group.RbSkip->isChecked() ? ClashPolicy::Skip : ClashPolicy::Overwrite;
}

void tabToCheckedButton(const QList<QAbstractButton*>& group) {
    const auto follow = [group] {
        const bool anyChecked =
            std::any_of(group.begin(), group.end(), [](auto* b) { return b->isChecked(); });
        for (QAbstractButton* b : group)
            b->setFocusPolicy(!anyChecked || b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QAbstractButton* b : group)
        QObject::connect(b, &QAbstractButton::toggled, b, follow);
    follow();
}

void installKeyFilter(QLineEdit* field, const QString& extra) {
    installKeyFilter(field, [extra](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || extra.contains(c);
    });
}

void installKeyFilter(QLineEdit* field, std::function<bool(QChar)> keep) {
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(new KeyFilter(field, std::move(keep)));
}

void installKeyFilter(QComboBox* field, std::function<bool(QChar)> keep) {
    auto* filter = new KeyFilter(field, std::move(keep));
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(filter);
    if (QLineEdit* edit = field->lineEdit()) {
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->installEventFilter(filter);
    }
}

} // namespace velquin
