#pragma once

class QWidget;
class QString;

namespace velquin {

// Makes the accessibility "Toggle" action of every check box and radio button a click, as a
// mouse click, Space or an arrow key is, so the handlers on `clicked` run for a screen reader's
// user too; a state set from code still runs none. Installed once for the application;
// calling it again does nothing.
void enableToggleAsClick();

// Gives `field` the text of the label that names it on screen (blanks at either end dropped),
// for screen readers.
void nameAfterLabel(QWidget* field, const QString& labelText);

} // namespace velquin
