#pragma once

class QWidget;
class QString;

namespace velquin {

// Installs, once for the application, the program's own accessible views of a few kinds of
// control; calling it again does nothing.
// - Check boxes and radio buttons: the "Toggle" action is a click, as a mouse click, Space or an
//   arrow key is, so the handlers on `clicked` run for a screen reader's user too; a state set
//   from code still runs none.
// - Tab bars: a tab hidden on screen is hidden and disabled to a screen reader too, and cannot
//   be pressed; a disabled tab cannot be pressed either.
// - Drop-downs: named by the label given them, their current item is their value.
// - A plain widget that is a window of its own (the main windows) is a window, not a client area.
void installAccessibleViews();

// The text a screen reader reads for a caption: the caption without the blanks that pad it on
// screen. Every accessible name the program gives goes through it.
QString accessibleCaption(const QString& caption);

// Gives `field` the text of the label that names it on screen (through accessibleCaption), for
// screen readers.
void nameAfterLabel(QWidget* field, const QString& labelText);

} // namespace velquin
