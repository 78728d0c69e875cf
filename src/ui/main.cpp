#include "engine/journal.h"
#include "platform/fileops.h"
#include "platform/trash.h"
#include "settings/windowsettings.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form6.h"
#include "ui/qtdialogs.h"
#include "ui/singleinstance.h"
#include "ui/startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    velquin::prepareApplication(app);
    const QStringList paths = velquin::readCommandLine(app);

    // One copy per user writes the user's journals; a second start shows the first one's window.
    velquin::SingleInstance instance;
    switch (instance.start(paths)) {
    case velquin::SingleInstance::Role::Told:
        return 0;
    case velquin::SingleInstance::Role::NoAnswer:
        return 1;
    case velquin::SingleInstance::Role::First:
    case velquin::SingleInstance::Role::Unavailable:
        break;
    }

    velquin::QtDialogs dialogs;
    const velquin::FileOps fs;
    velquin::AppContext ctx{dialogs, fs, velquin::settingsFilePath(), velquin::journalFolder(),
                            velquin::Trash::defaultHomeTrash()};
    velquin::ProgramWindows windows(ctx);
    QObject::connect(&instance, &velquin::SingleInstance::openRequested, &instance,
                     [&windows](const QStringList& more) { windows.openPaths(more, true); });
    QObject::connect(&instance, &velquin::SingleInstance::showRequested, &instance,
                     [&windows] { windows.bringForward(); });

    // The folder window first when only folders were named.
    windows.openPaths(paths, true);
    if (!windows.form6().isVisible())
        windows.form1().show();
    return app.exec();
}
