#pragma once

#include "lists/filelist.h"

#include <QDialog>

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
    explicit TForm3(QWidget* parent = nullptr);

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CheckBox1Click();
    void CheckBox2Click();
    void ChkOtHiddenClick();
    void selectFolder(const QString& path);

    QFileSystemModel* folders_;
    bool shownOnce_ = false;
};

} // namespace velquin
