#pragma once

#include "ui/windowparts.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTimeEdit;

namespace velquin {

struct AppContext;
class Illustration;
class SourceListModel;
class SourceListView;
class StarLabel;

// The file sorting window, the program's main window. Its controls hold the whole state: the
// file list, one page of options per criterion, the type filter, the output folder, the clash
// policy and the transfer mode; the start button runs a file sort over them.
class TForm1 : public QWidget {
public:
    // Registers itself as ctx.form1, builds every control and loads the settings section.
    explicit TForm1(AppContext& ctx, QWidget* parent = nullptr);
    ~TForm1() override;

    // Handlers, named after control and event.
    void PageControl1Change(); // option label and type panel follow the active page
    void ChkIncludeClick();    // include and exclude are never both on; add/delete follow them
    void ChkExcludeClick();
    void BtnAddSuffixClick();    // the add-extension dialog, modal
    void BtnDelSuffixClick();    // removes the selected pattern, if any
    void ChkFileNamePartClick(); // fills or clears the range fields
    void Button3Click();         // output folder chooser
    void RbForm6Click();         // hides this window and shows the folder window
    void BtnAoutClick();         // the about box, modal
    void BtnCopyClick();         // the file sort run
    void Button1Click();         // add chosen files
    void Button5Click();         // add the files of a folder picked in the folder picker
    void Button2Click();         // remove the selected file
    void Button6Click();         // empty the list
    void BtnSaveFileListClick(); // export the list to a list file
    void BtnImpFileListClick();  // import a list file
    void FormClose();            // saves the settings section (a failure in the error box), ends the program

    // Key filters: whether a typed character reaches the field (backspace always does).
    static bool Edit1KeyPress(QChar key);            // EdtSize: digits and "."
    static bool EdtPicKeyPress(QChar key);           // EdtPic: digits
    static bool EdtPartNameBeginKeyPress(QChar key); // both range fields: digits

    // The way back from the folder window: shows this window and checks RbForm1.
    void switchHere();

    // The option label's text for the active page.
    static QString optionLabelText(const QString& tabCaption);

    // Region 1
    QWidget* Panel9 = nullptr;
    QRadioButton* RbForm1 = nullptr;
    QRadioButton* RbForm6 = nullptr;
    // Region 2
    QGroupBox* GroupBox1 = nullptr;
    SourceListView* ListBox1 = nullptr;
    SourceListModel* fileList = nullptr; // what ListBox1 shows
    QPushButton* Button1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* BtnSaveFileList = nullptr;
    QPushButton* BtnImpFileList = nullptr;
    // Region 3: the pages in page order
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QLabel* Label10 = nullptr;
    Illustration* Image3 = nullptr;
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
    Illustration* Image1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* CmbCondition = nullptr;
    QLineEdit* EdtSize = nullptr;
    QComboBox* CmbUnit = nullptr;
    QRadioButton* RbCreateTime = nullptr;
    QRadioButton* RbModifyTime = nullptr;
    QComboBox* CmbFileDate = nullptr;
    QDateEdit* DtDate = nullptr;
    QTimeEdit* DtTime = nullptr;
    QLabel* Label7 = nullptr;
    QRadioButton* RbPicW = nullptr;
    QRadioButton* RbPicH = nullptr;
    QComboBox* CmbPic = nullptr;
    QLineEdit* EdtPic = nullptr;
    QLabel* Label8 = nullptr;
    // Region 4
    QGroupBox* GroupBox5 = nullptr;
    QLabel* lblOption = nullptr;
    QWidget* PnlOption = nullptr;
    QCheckBox* ChkInclude = nullptr;
    QCheckBox* ChkExclude = nullptr;
    QListWidget* ListBox2 = nullptr;
    QPushButton* BtnAddSuffix = nullptr;
    QPushButton* BtnDelSuffix = nullptr;
    QWidget* PnlOption2 = nullptr;
    QLabel* Label9 = nullptr;
    QListWidget* ChkLstPic = nullptr;
    // Region 5
    ResultGroup result;
    QGroupBox* GroupBox3 = nullptr;
    QLineEdit* EdtOutDir = nullptr;
    QPushButton* Button3 = nullptr;
    QRadioButton* RbOverwrite = nullptr;
    QRadioButton* RbAsk = nullptr;
    QRadioButton* RbSkip = nullptr;
    QRadioButton* RbRename = nullptr;
    QRadioButton* RbEditFileTime = nullptr;
    // Region 6
    QWidget* Panel2 = nullptr;
    QRadioButton* RbMove = nullptr;
    QRadioButton* RbCopy = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // Region 7
    QFrame* Panel1 = nullptr;
    QPushButton* BtnCopy = nullptr;
    QPushButton* BtnAout = nullptr;

protected:
    // FormClose: saves the settings section, then ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;

    void buildPages();
    void buildOptions();
    void FormCreate();
    void loadSettings();
    // "" when saved, else the error text.
    QString saveSettings();
    void focusField(FocusTarget target);

    AppContext& ctx_;
};

} // namespace velquin
