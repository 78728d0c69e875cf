#include "ui/placement.h"

#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace velquin {

namespace {

// The decoration around a window that has been shown: what lies between its frame and its client
// area (none before the window manager has framed it).
QMargins frameOf(const QWidget* w) {
    if (!w)
        return {};
    const QRect frame = w->frameGeometry();
    const QRect client = w->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

} // namespace

bool isFramed(const QWidget* window) {
    return !frameOf(window).isNull();
}

void centreWindow(QWidget* window, const QRect& area, const QWidget* like) {
    QMargins margins = frameOf(window);
    if (margins.isNull())
        margins = frameOf(like);
    const QSize frame = window->size().grownBy(margins);
    QRect target(QPoint(), frame);
    target.moveCenter(area.center());
    // A window centred on one near the edge of the screen stays whole on that screen.
    const QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        screen = window->screen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        target.moveLeft(qMax(room.left(), qMin(target.left(), room.right() + 1 - target.width())));
        target.moveTop(qMax(room.top(), qMin(target.top(), room.bottom() + 1 - target.height())));
    }
    // move() places the frame's top left corner, where the frame is known.
    window->move(target.topLeft());
}

QRect centringArea(const QWidget* window, const QWidget* anchor) {
    if (anchor && anchor->isVisible())
        return anchor->frameGeometry();
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace velquin
