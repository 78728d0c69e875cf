#include "shots.h"

#include <QApplication>
#include <QTabWidget>
#include <QWidget>

namespace velquin::test {

QString shotsFolder() {
    return qEnvironmentVariable("VELQUIN_SHOTS");
}

void shootPages(QWidget& window, QTabWidget* pageControl, const QList<int>& pages, const QString& folder,
                const QString& prefix) {
    window.show();
    for (const int page : pages) {
        pageControl->setCurrentIndex(page);
        QApplication::processEvents();
        window.grab().save(folder + QStringLiteral("/%1_page%2.png").arg(prefix).arg(page));
    }
}

void shoot(QWidget& widget, const QString& folder, const QString& name) {
    widget.show();
    QApplication::processEvents();
    widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QPalette darkPalette() {
    QPalette dark;
    const QColor window(0x35, 0x35, 0x35), base(0x2a, 0x2a, 0x2a), text(0xee, 0xee, 0xee);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    return dark;
}

} // namespace velquin::test
