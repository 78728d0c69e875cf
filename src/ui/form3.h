#pragma once

#include "lists/filelist.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace velquin {

// The folder picker: a folder tree and the choice of how deep below the chosen folder files
// are added. One instance lives for the whole program, so its choices stay from one use to the
// next. The file window reads it after it closed with OK.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` names the window the picker is centred on and modal to (the file window,
    // looked up when the picker is shown); the screen when it gives nullptr.
    explicit TForm3(std::function<QWidget*()> mainWindow = {}, QWidget* parent = nullptr);

    // The selected folder's path; empty when nothing is selected.
    QString selectedPath() const;
    // What the file window needs after the dialog closed with OK.
    FolderPick pick() const;

    QTreeView* ShellTreeView1;
    QCheckBox* ChkOtHidden;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QComboBox* ComboBox1;
    QLabel* Label1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Handlers, named after control and event; each runs when the user changes its box.
    void CheckBox1Click();   // all levels: the depth mode goes off
    void CheckBox2Click();   // down to n levels: the other mode goes off, the depth box follows
    void ChkOtHiddenClick(); // hidden folders in or out; the tree is rebuilt, its root selected
    // The depth's key filter: whether a typed character reaches ComboBox1 (backspace always does).
    static bool ComboBox1KeyPress(QChar key);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Puts every control in its place and sizes the box.
    void placeControls();
    void selectFolder(const QString& path);

    std::function<QWidget*()> mainWindow_;
    QFileSystemModel* folders_;
    bool shownOnce_ = false;
};

} // namespace velquin
