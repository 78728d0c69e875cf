#include "ui/startup.h"

#include "lists/filelist.h"
#include "lists/sourcelistmodel.h"

#include "ui/appcontext.h"
#include "ui/appstyle.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
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
    QGuiApplication::setDesktopFileName(QStringLiteral("com.velquin.Velquin"));

    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/velquin/velquin-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    installAppStyle();

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

QStringList readCommandLine(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("将文件和文件夹分拣到输出文件夹的子文件夹中。"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("路径"),
        QStringLiteral("要分拣的文件（放入文件分拣列表）或文件夹（放入文件夹分拣列表）。"),
        QStringLiteral("[路径...]"));
    parser.process(app);
    QStringList paths;
    for (const QString& argument : parser.positionalArguments())
        paths.append(QFileInfo(argument).absoluteFilePath());
    return paths;
}

void ProgramWindows::openPaths(const QStringList& paths, bool switchTo) {
    QStringList files;
    QStringList folders;
    for (const QString& path : paths) {
        if (ctx_.fs.isDir(path))
            folders.append(path);
        else if (ctx_.fs.isFile(path))
            files.append(path);
    }
    AddDroppedFiles(*form1_->fileList, files, ctx_.fs);
    form6_->folders()->addAll(folders);
    if (!switchTo || !files.isEmpty() || folders.isEmpty())
        return;
    // Only folders: the folder window takes over from the file window, unless a run holds it.
    if (form1_->isVisible() && !form1_->busy())
        form1_->hide();
    if (!form1_->isVisible())
        form6_->showFromSwitch();
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
