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

} // namespace velquin::test
