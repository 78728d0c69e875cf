#pragma once

#include <QAccessible>
#include <QWidget>

#include <gtest/gtest.h>

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

} // namespace velquin::test
