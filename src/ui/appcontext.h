#pragma once

#include <QString>

#include <optional>

namespace velquin {

class Dialogs;
class FileOps;
class TForm1;
class TForm6;
class TForm3;
class TfrmAbout;
class TfrmSuffix;

// What the windows share, handed to each through its constructor. start-up fills the window
// pointers in the order the windows are created; a window looks its siblings up here when an
// event needs them (the switch, the picker, the about box, the add-extension dialog).
struct AppContext {
    Dialogs& dialogs;
    const FileOps& fs;
    QString settingsPath; // the settings file both main windows load and save
    // Where each window keeps the journal of its last run, for undo; "" for no journal.
    QString journalFolder = QString();
    // The home trash that keeps the files a run replaces; none: they are then gone. Undo brings
    // kept files back from where its journal says they lie, whatever this holds.
    std::optional<QString> trashFolder = std::nullopt;

    TForm1* form1 = nullptr;
    TForm6* form6 = nullptr;
    TForm3* form3 = nullptr;
    TfrmAbout* about = nullptr;
    TfrmSuffix* suffix = nullptr;
};

} // namespace velquin
