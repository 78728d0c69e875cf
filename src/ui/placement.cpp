#include "ui/placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QWidget>

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

// Where the frame of `window` goes: centred on `area`, kept on that screen.
QRect centredFrame(const QWidget* window, const QRect& area, const QMargins& margins) {
    QRect target(QPoint(), window->size().grownBy(margins));
    target.moveCenter(area.center());
    const QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        screen = window->screen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        target.moveLeft(qMax(room.left(), qMin(target.left(), room.right() + 1 - target.width())));
        target.moveTop(qMax(room.top(), qMin(target.top(), room.bottom() + 1 - target.height())));
    }
    return target;
}

// Corrects the place of a window that was centred before it had a frame, once it has one: it
// first paints after the window manager has framed it.
class CentreWhenFramed : public QObject {
public:
    CentreWhenFramed(QWidget* window, const QRect& area) : QObject(window), window_(window), area_(area) {
        window->installEventFilter(this);
    }
    void setArea(const QRect& area) { area_ = area; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint && isFramed(window_)) {
            window_->removeEventFilter(this);
            QMetaObject::invokeMethod(
                window_,
                [window = window_, area = area_] {
                    if (!window)
                        return;
                    const QRect target = centredFrame(window, area, frameOf(window));
                    if ((window->frameGeometry().topLeft() - target.topLeft()).manhattanLength() > 1)
                        window->move(target.topLeft());
                },
                Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
    QRect area_;
};

} // namespace

bool isFramed(const QWidget* window) {
    return !frameOf(window).isNull();
}

void centreWindow(QWidget* window, const QRect& area, const QWidget* like) {
    if (isFramed(window)) {
        // move() places the frame's top left corner once there is a frame.
        window->move(centredFrame(window, area, frameOf(window)).topLeft());
        return;
    }
    // Before that it places the client area, which the window manager then frames where it
    // stands; the frame is taken to be as large as that of `like`, and put right once known.
    const QMargins margins = frameOf(like);
    window->move(centredFrame(window, area, margins).topLeft() + QPoint(margins.left(), margins.top()));
    for (QObject* child : window->children()) {
        if (auto* pending = dynamic_cast<CentreWhenFramed*>(child)) {
            pending->setArea(area);
            return;
        }
    }
    new CentreWhenFramed(window, area);
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
