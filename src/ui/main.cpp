#include "engine/journal.h"
#include "platform/fileops.h"
#include "platform/trash.h"
#include "settings/windowsettings.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/qtdialogs.h"
#include "ui/startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    velquin::prepareApplication(app);

    velquin::QtDialogs dialogs;
    const velquin::FileOps fs;
    velquin::AppContext ctx{dialogs, fs, velquin::settingsFilePath(), velquin::journalFolder(),
                            velquin::Trash::defaultHomeTrash()};
    velquin::ProgramWindows windows(ctx);

    windows.form1().show();
    return app.exec();
}
