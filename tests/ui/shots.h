#pragma once

#include <QList>
#include <QPalette>
#include <QString>

class QTabWidget;
class QWidget;

namespace velquin::test {

// The folder that pictures of the windows go to: VELQUIN_SHOTS, "" when pictures are not wanted.
QString shotsFolder();

// Shows `window`, makes each of `pages` current in turn and saves a picture of the whole window
// as <folder>/<prefix>_page<index>.png.
void shootPages(QWidget& window, QTabWidget* pageControl, const QList<int>& pages, const QString& folder,
                const QString& prefix);

// Shows `widget` and saves a picture of it as <folder>/<name>.png.
void shoot(QWidget& widget, const QString& folder, const QString& name);

// A dark theme's colours, as a desktop in dark mode gives them.
QPalette darkPalette();

} // namespace velquin::test
