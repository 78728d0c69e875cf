#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QObject;

namespace velquin {

// Every message box, question, error box and chooser of the program goes through this
// interface. The windows use the Qt implementation (ui/qtdialogs.h); tests install a scripted
// one that records each call and answers from a queue, so no test waits on a modal box.
// `owner` is the window the box belongs to, or nullptr for the application as a whole.
// Every box is captioned with the application title.
class Dialogs {
public:
    virtual ~Dialogs();

    // Information icon, OK button.
    virtual void information(QObject* owner, const QString& text) = 0;
    // The same with lines under the text; with details (what failed, one to a line) the box
    // takes the warning icon and shows them in a resizable area the user can select and copy
    // from (the closing box of a run with failures). With both empty it is information().
    virtual void informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                        const QString& details) = 0;
    // Question icon, Yes and No; true for Yes. `yesIsDefault` picks the default button.
    virtual bool question(QObject* owner, const QString& text, bool yesIsDefault) = 0;
    // The same with a details area the user can open (what an undo will do, file by file).
    // Without an override it is question().
    virtual bool questionWithDetails(QObject* owner, const QString& text, const QString& details,
                                     bool yesIsDefault);
    // Warning icon, Yes and No with No the default; true for Yes.
    virtual bool warningQuestion(QObject* owner, const QString& text) = 0;
    // The general error box: error icon, OK.
    virtual void error(QObject* owner, const QString& text) = 0;

    // Folder chooser with a caption; the chosen folder's full path, or nullopt when cancelled.
    virtual std::optional<QString> chooseFolder(QObject* owner, const QString& caption) = 0;
    // File choosers. `filterName` is what the type list shows, `pattern` the file pattern.
    // openFiles allows several files and returns an empty list when cancelled.
    virtual QStringList openFiles(QObject* owner, const QString& filterName, const QString& pattern) = 0;
    virtual std::optional<QString> openFile(QObject* owner, const QString& filterName,
                                            const QString& pattern) = 0;
    // Save chooser preset with `defaultName`; appends no extension and asks nothing when the
    // chosen file exists.
    virtual std::optional<QString> saveFile(QObject* owner, const QString& filterName, const QString& pattern,
                                            const QString& defaultName) = 0;
};

} // namespace velquin
