#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velquin"));
    return 0;
}
