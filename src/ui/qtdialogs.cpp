#include "ui/qtdialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

namespace velquin {

namespace {

QWidget* ownerWidget(QObject* owner) {
    return qobject_cast<QWidget*>(owner);
}

// A run or a folder walk holds the busy pointer; a box that wants an answer shows the normal one
// over it for as long as it is open.
class NormalPointer {
public:
    NormalPointer() : busy_(QGuiApplication::overrideCursor() != nullptr) {
        if (busy_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    ~NormalPointer() {
        if (busy_)
            QGuiApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool busy_;
};

// Shown with exec() so the box is modal to its window, or to the whole application when it
// has none.
int runBox(QMessageBox& box) {
    // A short text makes a box narrower than its caption where the window decoration leaves the
    // title less room (Wayland's): wide enough for the caption and the decoration's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const QFontMetrics fm(box.font());
        const int wide = fm.horizontalAdvance(box.windowTitle()) + 10 * fm.height();
        grid->addItem(new QSpacerItem(wide, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    }
    if (!box.parentWidget())
        box.setWindowModality(Qt::ApplicationModal);
    const NormalPointer pointer;
    return box.exec();
}

// `line` and `details`, when given, go under the text and into the box's details area.
int runBox(QObject* owner, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton, const QString& line = QString(),
           const QString& details = QString()) {
    QMessageBox box(icon, applicationTitle(), text, buttons, ownerWidget(owner));
    box.setDefaultButton(defaultButton);
    box.setInformativeText(line);
    box.setDetailedText(details);
    return runBox(box);
}

// The failures of a run, one path and its reason to a line: wide and tall enough at first for
// about 70 characters by 12 lines; lines are never wrapped, so each failure keeps one line.
class DetailsView : public QPlainTextEdit {
public:
    explicit DetailsView(const QString& details, QWidget* parent) : QPlainTextEdit(details, parent) {
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setAccessibleName(QStringLiteral("详细信息"));
        setMinimumSize(fontMetrics().averageCharWidth() * 20, fontMetrics().lineSpacing() * 4);
    }
    QSize sizeHint() const override {
        const QFontMetrics fm = fontMetrics();
        const int margins = 2 * (frameWidth() + int(document()->documentMargin()));
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        return {fm.averageCharWidth() * 70 + margins + bar, fm.lineSpacing() * 12 + margins + bar};
    }
};

// The closing box with details: the warning icon, the text, the lines under it kept whole,
// the details open beneath and OK; unlike QMessageBox it can be resized, the details with it.
int runDetailsBox(QObject* owner, const QString& text, const QString& line, const QString& details) {
    QDialog box(ownerWidget(owner));
    box.setWindowTitle(applicationTitle());
    box.setSizeGripEnabled(true);
    auto* iconLabel = new QLabel(&box);
    iconLabel->setObjectName(QStringLiteral("icon"));
    const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    iconLabel->setPixmap(
        box.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &box).pixmap(iconSize));
    iconLabel->setAlignment(Qt::AlignTop);
    auto* words = new QVBoxLayout;
    words->addWidget(new QLabel(text, &box));
    if (!line.isEmpty())
        words->addWidget(new QLabel(line, &box));
    words->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel);
    top->addLayout(words, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addWidget(new DetailsView(details, &box), 1);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    if (!box.parentWidget())
        box.setWindowModality(Qt::ApplicationModal);
    const NormalPointer pointer;
    return box.exec();
}

// Where a chooser opens the first time: the user's desktop folder, else the home folder.
QString desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

// A file type as QFileDialog takes it, "name (pattern pattern ...)", for a type list that shows
// `filterName` alone. "*.*" stands for every file, as it does in the patterns the program is
// given; on its own here it would leave out names without a dot (README, Makefile).
QString nameFilter(const QString& filterName, const QString& pattern) {
    QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
    }
    return filterName + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

// The window's chooser named `name` (OpenDialog1, OpenDialog2, SaveDialog1): made at its first
// use, rooted at the desktop, and kept as a child of the window, so each later use opens in the
// folder it last showed. A chooser without a window lasts for one use.
class Chooser {
public:
    Chooser(QObject* owner, const char* name, const QString& filterName, const QString& pattern) {
        QWidget* window = ownerWidget(owner);
        if (window)
            dialog_ = window->findChild<QFileDialog*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        if (!dialog_) {
            dialog_ = new QFileDialog(window);
            dialog_->setObjectName(QLatin1String(name));
            dialog_->setDirectory(desktopFolder());
            if (!window)
                owned_.reset(dialog_);
        }
        dialog_->setOption(QFileDialog::HideNameFilterDetails);
        dialog_->setNameFilter(nameFilter(filterName, pattern));
        clearName();
    }

    QFileDialog* operator->() const { return dialog_; }
    // The chosen files, none when cancelled.
    QStringList run() {
        // The toolkit's own caption of an open or a save chooser, in the program's language (a
        // native chooser would otherwise have none).
        dialog_->setWindowTitle(dialog_->acceptMode() == QFileDialog::AcceptSave
                                    ? QCoreApplication::translate("QFileDialog", "Save As")
                                    : QCoreApplication::translate("QFileDialog", "Open"));
        const NormalPointer pointer;
        const int answer = dialog_->exec();
        hideCompletions();
        if (answer != QDialog::Accepted)
            return {};
        return dialog_->selectedFiles();
    }
    // A kept chooser would offer the name typed last time, and typing would add to it: each use
    // starts with an empty name field (a save chooser then presets its name).
    void clearName() {
        if (auto* name = nameField())
            name->clear();
        hideCompletions();
    }

private:
    QLineEdit* nameField() const { return dialog_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
    // The name field's list of completions stays open over the desktop when the chooser closes
    // while it is shown.
    void hideCompletions() const {
        const QLineEdit* name = nameField();
        if (name && name->completer() && name->completer()->popup())
            name->completer()->popup()->hide();
    }

    QFileDialog* dialog_ = nullptr;
    std::unique_ptr<QFileDialog> owned_;
};

} // namespace

QString applicationTitle() {
    return QStringLiteral("Velquin");
}

void QtDialogs::information(QObject* owner, const QString& text) {
    runBox(owner, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtDialogs::informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                       const QString& details) {
    if (details.isEmpty()) {
        runBox(owner, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok, line);
        return;
    }
    runDetailsBox(owner, text, line, details);
}

bool QtDialogs::question(QObject* owner, const QString& text, bool yesIsDefault) {
    return runBox(owner, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                  yesIsDefault ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::questionWithDetails(QObject* owner, const QString& text, const QString& details,
                                    bool yesIsDefault) {
    return runBox(owner, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                  yesIsDefault ? QMessageBox::Yes : QMessageBox::No, QString(), details) == QMessageBox::Yes;
}

bool QtDialogs::warningQuestion(QObject* owner, const QString& text) {
    return runBox(owner, QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void QtDialogs::error(QObject* owner, const QString& text) {
    runBox(owner, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

std::optional<QString> QtDialogs::chooseFolder(QObject* owner, const QString& caption) {
    const NormalPointer pointer;
    const QString dir = QFileDialog::getExistingDirectory(ownerWidget(owner), caption, desktopFolder(),
                                                          QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

QStringList QtDialogs::openFiles(QObject* owner, const QString& filterName, const QString& pattern) {
    Chooser chooser(owner, "OpenDialog1", filterName, pattern);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setFileMode(QFileDialog::ExistingFiles);
    return chooser.run();
}

std::optional<QString> QtDialogs::openFile(QObject* owner, const QString& filterName,
                                           const QString& pattern) {
    Chooser chooser(owner, "OpenDialog2", filterName, pattern);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setFileMode(QFileDialog::ExistingFile);
    const QStringList chosen = chooser.run();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.constFirst();
}

std::optional<QString> QtDialogs::saveFile(QObject* owner, const QString& filterName, const QString& pattern,
                                           const QString& defaultName) {
    Chooser chooser(owner, "SaveDialog1", filterName, pattern);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setFileMode(QFileDialog::AnyFile);
    chooser->setOption(QFileDialog::DontConfirmOverwrite);
    chooser->setDefaultSuffix(QString());
    // Every export offers the default name again, never the one typed last time.
    chooser->selectFile(defaultName);
    const QStringList chosen = chooser.run();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.constFirst();
}

} // namespace velquin
