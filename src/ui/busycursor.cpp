#include "ui/busycursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace velquin {

BusyCursor::BusyCursor() {
    set(true);
}

BusyCursor::~BusyCursor() {
    set(false);
}

void BusyCursor::set(bool busy) {
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace velquin
