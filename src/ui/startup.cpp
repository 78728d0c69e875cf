#include "ui/startup.h"

#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace velquin {

QTranslator* prepareApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    // No display name of its own: Qt would append it to every caption (" — Velquin"), and each
    // window and box already has its caption as the program gives it.
    QApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
    QApplication::setOrganizationName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("velquin"));

    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/velquin/velquin-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // Qt's standard buttons and dialogs ("Yes", "Cancel", the file chooser) in the program's
    // language; without the catalogue they stay in English and nothing else changes.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

ProgramWindows::ProgramWindows(AppContext& ctx) : ctx_(ctx) {
    form1_ = std::make_unique<TForm1>(ctx);
    ctx.form1 = form1_.get();
    form6_ = std::make_unique<TForm6>(ctx);
    ctx.form6 = form6_.get();
    SortWindow::pair(*form1_, *form6_);
    form3_ = std::make_unique<TForm3>([&ctx]() -> QWidget* { return ctx.form1; });
    ctx.form3 = form3_.get();
    about_ = std::make_unique<TfrmAbout>([&ctx]() -> QWidget* { return ctx.form1; });
    ctx.about = about_.get();
    suffix_ = std::make_unique<TfrmSuffix>(ctx);
    ctx.suffix = suffix_.get();
}

void ProgramWindows::bringForward() const {
    QWidget* window = form1_.get();
    if (!form1_->isVisible() && form6_->isVisible())
        window = form6_.get();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

ProgramWindows::~ProgramWindows() {
    // The context must never point at a window that is gone.
    ctx_.suffix = nullptr;
    suffix_.reset();
    ctx_.about = nullptr;
    about_.reset();
    ctx_.form3 = nullptr;
    form3_.reset();
    ctx_.form6 = nullptr;
    form6_.reset();
    ctx_.form1 = nullptr;
    form1_.reset();
}

} // namespace velquin
