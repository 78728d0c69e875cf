#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>

namespace velquin::test {

// What a screen reader does to toggle a check box or radio button: the accessible Toggle action.
inline void toggleByScreenReader(QWidget* button) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(accessible, nullptr);
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
}

// The name a screen reader reads for `widget`.
inline QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// The accessible names at and under `accessible` that have blanks at either end.
inline QStringList paddedNames(QAccessibleInterface* accessible) {
    const QString name = accessible->text(QAccessible::Name);
    QStringList padded = name != name.trimmed() ? QStringList{name} : QStringList();
    for (int i = 0; i < accessible->childCount(); ++i)
        padded += paddedNames(accessible->child(i));
    return padded;
}

// What a screen reader is told of the controls of `window` (by object name, "" for the window):
// name, role and, where given, value; and that no name in it is padded with blanks.
struct Spoken {
    const char* objectName;
    const char* name;
    QAccessible::Role role;
    const char* value = nullptr;
};
inline void expectSpoken(QWidget* window, std::initializer_list<Spoken> controls) {
    for (const Spoken& c : controls) {
        QWidget* w = *c.objectName ? window->findChild<QWidget*>(QLatin1String(c.objectName)) : window;
        ASSERT_NE(w, nullptr) << c.objectName;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(c.name)) << c.objectName;
        EXPECT_EQ(accessible->role(), c.role) << c.objectName;
        if (c.value) {
            EXPECT_EQ(accessible->text(QAccessible::Value), QString::fromUtf8(c.value)) << c.objectName;
        }
    }
    EXPECT_EQ(paddedNames(QAccessible::queryAccessibleInterface(window)), QStringList());
}

// The caption a control shows, whatever kind of control it is; a drop-down's items joined by "|".
inline QString captionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        QStringList items;
        for (int i = 0; i < c->count(); ++i)
            items.append(c->itemText(i));
        return items.join(QLatin1Char('|'));
    }
    return QStringLiteral("(no caption)");
}

} // namespace velquin::test
