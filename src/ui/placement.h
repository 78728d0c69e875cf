#pragma once

class QRect;
class QWidget;

namespace velquin {

// Moves the top-level `window` so that its frame, title bar included, is centred on `area` (the
// frame of another window, or a screen's available area), and kept on that screen. The frame is
// the window's own once it has been framed; before that it is taken to be as large as that of
// `like`, a window of the program that has been (a window manager decorates them alike), else
// none, and the window is put right when it first paints with its frame.
void centreWindow(QWidget* window, const QRect& area, const QWidget* like = nullptr);

// Whether the window manager has put a frame around `window` yet (it does so only once the window
// is shown, and not at once).
bool isFramed(const QWidget* window);

// The frame of `anchor` when it is shown, else the available area of the screen `window` is on.
QRect centringArea(const QWidget* window, const QWidget* anchor);

} // namespace velquin
