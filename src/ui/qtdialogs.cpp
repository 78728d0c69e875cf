#include "ui/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace velquin {

namespace {

QWidget* ownerWidget(QObject* owner) {
    return qobject_cast<QWidget*>(owner);
}

// Shown with exec() so the box is modal to its window, or to the whole application when it
// has none.
int runBox(QObject* owner, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, applicationTitle(), text, buttons, ownerWidget(owner));
    box.setDefaultButton(defaultButton);
    if (!box.parentWidget())
        box.setWindowModality(Qt::ApplicationModal);
    return box.exec();
}

// QFileDialog takes a type as "name (pattern pattern ...)".
QString filterText(const QString& filterName, const QString& pattern) {
    return filterName + QStringLiteral(" (") + QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) +
           QLatin1Char(')');
}

} // namespace

QString applicationTitle() {
    const QString title = QApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Velquin") : title;
}

void QtDialogs::information(QObject* owner, const QString& text) {
    runBox(owner, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtDialogs::informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                       const QString& details) {
    if (line.isEmpty() && details.isEmpty()) {
        information(owner, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, applicationTitle(), text, QMessageBox::Ok, ownerWidget(owner));
    box.setDefaultButton(QMessageBox::Ok);
    box.setInformativeText(line);
    box.setDetailedText(details);
    if (!box.parentWidget())
        box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtDialogs::question(QObject* owner, const QString& text, bool yesIsDefault) {
    return runBox(owner, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                  yesIsDefault ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::warningQuestion(QObject* owner, const QString& text) {
    return runBox(owner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void QtDialogs::error(QObject* owner, const QString& text) {
    runBox(owner, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

std::optional<QString> QtDialogs::chooseFolder(QObject* owner, const QString& caption) {
    const QString dir =
        QFileDialog::getExistingDirectory(ownerWidget(owner), caption, QString(), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

QStringList QtDialogs::openFiles(QObject* owner, const QString& filterName, const QString& pattern) {
    return QFileDialog::getOpenFileNames(ownerWidget(owner), QString(), QString(),
                                         filterText(filterName, pattern));
}

std::optional<QString> QtDialogs::openFile(QObject* owner, const QString& filterName,
                                           const QString& pattern) {
    QFileDialog dialog(ownerWidget(owner), QString(), QString(), filterText(filterName, pattern));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::saveFile(QObject* owner, const QString& filterName, const QString& pattern,
                                           const QString& defaultName) {
    QFileDialog dialog(ownerWidget(owner), QString(), QString(), filterText(filterName, pattern));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QString());
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace velquin
