#include "ui/accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QRadioButton>
#include <QString>

namespace velquin {

namespace {

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
            QString name = widget()->accessibleName();
            if (name.isEmpty()) {
                name = button()->text();
                // "&&" is a literal ampersand, a single "&" marks the mnemonic.
                name.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
                name.remove(QLatin1Char('&'));
                name.replace(QLatin1Char('\x01'), QLatin1Char('&'));
            }
            return name;
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

QAccessibleInterface* clickingToggleFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QCheckBox") && className != QLatin1String("QRadioButton"))
        return nullptr;
    auto* button = qobject_cast<QAbstractButton*>(object);
    return button ? new ClickingToggle(button) : nullptr;
}

} // namespace

void enableToggleAsClick() {
    static const bool installed = [] {
        QAccessible::installFactory(&clickingToggleFactory);
        return true;
    }();
    (void)installed;
}

void nameAfterLabel(QWidget* field, const QString& labelText) {
    field->setAccessibleName(labelText.trimmed());
}

} // namespace velquin
