#pragma once

#include "ui/windowparts.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTimeEdit;

namespace velquin {

struct AppContext;
class Illustration;
class SourceListModel;
class SourceListView;
class StarLabel;

// The folder sorting window: the folder list, the three folder criteria, the output folder with
// the clash policy, progress and the start button of the folder run. Created hidden once at
// start-up, right after the file window; shown and hidden only by the window switch.
class TForm6 : public QWidget {
    Q_OBJECT
public:
    // Registers itself as ctx.form6, builds every control and loads the settings section.
    explicit TForm6(AppContext& ctx, QWidget* parent = nullptr);
    ~TForm6() override;

    // The way in from the file window (its RbForm6Click): shows this window and checks RbForm6.
    void showFromSwitch();

    // Handlers, named after control and event.
    void RbForm1Click(); // hides this window and shows the file window
    void Button1Click(); // add one chosen folder
    void Button5Click(); // add the sub-folders of a chosen folder
    void Button2Click(); // remove the selected entry
    void Button6Click(); // empty the list
    void BtnSaveFileListClick();
    void BtnImpFileListClick();
    void Button3Click(); // output folder chooser
    void RbMoveClick();  // the warning question of the move option
    void BtnCopyClick(); // the folder sort run
    void BtnAoutClick(); // the about box, modal

    // The folder list's entries.
    SourceListModel* folders() const { return folders_; }

    // Band 1: window switch
    QWidget* Panel9 = nullptr;
    QRadioButton* RbForm1 = nullptr;
    QRadioButton* RbForm6 = nullptr;
    // Band 2: folder list
    QGroupBox* GroupBox1 = nullptr;
    SourceListView* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* BtnSaveFileList = nullptr;
    QPushButton* BtnImpFileList = nullptr;
    // Band 3: criterion pages in page order (TabSheet5's tab is never offered)
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QLabel* Label10 = nullptr;
    Illustration* Image3 = nullptr;
    QLabel* LabelKeys = nullptr;
    QLineEdit* EdtKeys = nullptr;
    QLabel* Label4 = nullptr;
    Illustration* Image2 = nullptr;
    QCheckBox* ChkFileNamePart = nullptr;
    QLineEdit* EdtPartNameBegin = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* EdtPartNameEnd = nullptr;
    QLabel* Label12 = nullptr;
    StarLabel* Image4 = nullptr;
    QLineEdit* EdtFilter = nullptr;
    QCheckBox* ChkOnlyMatchDir = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* EdtFileCount = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* CmbFileDate = nullptr;
    QDateEdit* DtDate = nullptr;
    QTimeEdit* DtTime = nullptr;
    // Band 4: result
    ResultGroup result;
    QGroupBox* GroupBox3 = nullptr;
    QLineEdit* EdtOutDir = nullptr;
    QPushButton* Button3 = nullptr;
    QRadioButton* RbOverwrite = nullptr;
    QRadioButton* RbAsk = nullptr;
    QRadioButton* RbSkip = nullptr;
    QRadioButton* RbRename = nullptr;
    QRadioButton* RbEditFileTime = nullptr;
    // Band 5: transfer mode (copy only) and progress
    QWidget* Panel2 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RbMove = nullptr;
    QRadioButton* RbCopy = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // Band 6: buttons
    QFrame* Panel1 = nullptr;
    QPushButton* BtnCopy = nullptr;
    QPushButton* BtnAout = nullptr;

protected:
    // FormClose: saves section Parameter2, then ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;

    void buildPages();
    void focusField(FocusTarget target); // the field a failed check points at
    void FormCreate();
    void loadSettings();
    void saveSettings();

    AppContext& ctx_;
    SourceListModel* folders_ = nullptr;
};

} // namespace velquin
