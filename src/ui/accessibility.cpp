#include "ui/accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QString>
#include <QTabBar>

namespace velquin {

namespace {

// A caption without its mnemonic marks: "&&" is a literal ampersand, a single "&" marks the
// mnemonic.
QString withoutMnemonic(QString caption) {
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return caption;
}

// The accessible view of a check box or radio button: what the toolkit's own one reports (role,
// name, checked state, the one action), with Toggle carried out as a click.
class ClickingToggle : public QAccessibleWidget {
public:
    explicit ClickingToggle(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::CheckBox) {
        addControllingSignal(QStringLiteral("toggled(bool)"));
    }

    QAccessible::Role role() const override {
        return button()->autoExclusive() ? QAccessible::RadioButton : QAccessible::CheckBox;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? accessibleCaption(withoutMnemonic(button()->text())) : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        if (const auto* box = qobject_cast<const QCheckBox*>(button()))
            s.checkStateMixed = box->checkState() == Qt::PartiallyChecked;
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == toggleAction()) {
            if (widget()->isEnabled())
                button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

// One tab of a tab bar: named by its caption, pressed to open its page. A tab hidden on screen
// is invisible and disabled here and has no action, so a screen reader neither offers it nor
// opens its page; the tab keeps its place among the bar's children, which the bar's own
// notices count by tab index.
class TabView : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabView(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QObject* object() const override { return nullptr; }
    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return QString();
        switch (t) {
        case QAccessible::Name: {
            const QString name = bar_->accessibleTabName(index_);
            return name.isEmpty() ? accessibleCaption(withoutMnemonic(bar_->tabText(index_))) : name;
        }
        case QAccessible::Description:
            return bar_->tabToolTip(index_);
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid() || !offered())
            return QRect();
        const QRect tab = bar_->tabRect(index_);
        return QRect(bar_->mapToGlobal(tab.topLeft()), tab.size());
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.selected = index_ == bar_->currentIndex();
        s.focused = s.selected && bar_->hasFocus();
        s.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        s.offscreen = s.invisible;
        s.disabled = !bar_->isEnabled() || !bar_->isTabEnabled(index_) || !bar_->isTabVisible(index_);
        return s;
    }

    QStringList actionNames() const override {
        return isValid() && pressable() ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && isValid() && pressable())
            bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    bool offered() const { return bar_->isTabVisible(index_); }
    bool pressable() const { return offered() && bar_->isEnabled() && bar_->isTabEnabled(index_); }

    QPointer<QTabBar> bar_;
    int index_;
};

// A tab bar: its tabs (each a TabView), then its scroll buttons; named by the open tab.
class TabBarView : public QAccessibleWidget {
public:
    explicit TabBarView(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabBarView() override {
        for (const QAccessible::Id id : std::as_const(tabs_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->count() + QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0)
            return nullptr;
        if (index >= bar()->count())
            return QAccessibleWidget::child(index - bar()->count());
        if (const auto it = tabs_.constFind(index); it != tabs_.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto* tab = new TabView(bar(), index);
        tabs_.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child && child->role() == QAccessible::PageTab) {
            for (auto it = tabs_.constBegin(); it != tabs_.constEnd(); ++it) {
                if (QAccessible::accessibleInterface(it.value()) == child)
                    return it.key();
            }
            return -1;
        }
        const int other = QAccessibleWidget::indexOfChild(child);
        return other < 0 ? -1 : bar()->count() + other;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            const int current = bar()->currentIndex();
            return current < 0 ? QString() : child(current)->text(QAccessible::Name);
        }
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }

    mutable QHash<int, QAccessible::Id> tabs_; // by tab index, made when first asked for
};

// A drop-down: named by the label before it where it has been given one (the toolkit's own view
// names it by its current item here, and would read "大于" for the size comparison), its value
// the current item; its list, and the text field of an editable one, as its children.
class ComboView : public QAccessibleWidget {
public:
    explicit ComboView(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value || (t == QAccessible::Name && widget()->accessibleName().isEmpty()))
            return box()->isEditable() && box()->lineEdit() ? box()->lineEdit()->text()
                                                            : box()->currentText();
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return editor() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        return index == 1 && editor() ? QAccessible::queryAccessibleInterface(editor()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        if (child->object() == box()->view())
            return 0;
        return editor() && child->object() == editor() ? 1 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            if (box()->view()->isVisible())
                box()->hidePopup();
            else
                box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
    QLineEdit* editor() const { return box()->isEditable() ? box()->lineEdit() : nullptr; }
};

QAccessibleInterface* viewFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QCheckBox") || className == QLatin1String("QRadioButton")) {
        auto* button = qobject_cast<QAbstractButton*>(object);
        return button ? new ClickingToggle(button) : nullptr;
    }
    if (className == QLatin1String("QTabBar")) {
        auto* bar = qobject_cast<QTabBar*>(object);
        return bar ? new TabBarView(bar) : nullptr;
    }
    if (className == QLatin1String("QComboBox")) {
        auto* box = qobject_cast<QComboBox*>(object);
        return box ? new ComboView(box) : nullptr;
    }
    // Met only by widgets whose classes the toolkit has no view of its own for.
    if (className == QLatin1String("QWidget") && object->isWidgetType()) {
        auto* w = static_cast<QWidget*>(object);
        if (w->windowType() == Qt::Window)
            return new QAccessibleWidget(w, QAccessible::Window);
    }
    return nullptr;
}

} // namespace

void installAccessibleViews() {
    static const bool installed = [] {
        QAccessible::installFactory(&viewFactory);
        return true;
    }();
    (void)installed;
}

QString accessibleCaption(const QString& caption) {
    return caption.trimmed();
}

void nameAfterLabel(QWidget* field, const QString& labelText) {
    field->setAccessibleName(accessibleCaption(labelText));
}

} // namespace velquin
