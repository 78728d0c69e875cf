#pragma once

#include "engine/filerun.h"
#include "engine/journal.h"
#include "ui/sortwindow.h"

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;

namespace velquin {

struct AppContext;
class FilePage;
class Illustration;
class SourceListModel;

// The file sorting window, the program's main window. Its controls hold the whole state: the
// file list, one page of options per criterion, the type filter, the output folder, the clash
// policy and the transfer mode; the start button runs a file sort over them.
class TForm1 : public SortWindow {
public:
    // Registers itself as ctx.form1, builds every control and loads the settings section.
    explicit TForm1(AppContext& ctx, QWidget* parent = nullptr);
    ~TForm1() override;

    // Handlers, named after control and event (the shared ones are SortWindow's).
    void PageControl1Change(); // option label and type panel follow the active page
    void ChkIncludeClick();    // include and exclude are never both on; add/delete follow them
    void ChkExcludeClick();
    void BtnAddSuffixClick();    // the add-extension dialog, modal
    void BtnDelSuffixClick();    // removes the selected pattern, if any
    void ChkFileNamePartClick(); // fills or clears the range fields
    void RbForm6Click();         // hides this window and shows the folder window
    void BtnCopyClick();         // the file sort run
    void Button1Click();         // add chosen files
    void Button5Click();         // add the files of a folder picked in the folder picker

    // Key filters: whether a typed character reaches the field (backspace always does).
    static bool Edit1KeyPress(QChar key);            // EdtSize: digits and "."
    static bool EdtPicKeyPress(QChar key);           // EdtPic: digits
    static bool EdtPartNameBeginKeyPress(QChar key); // both range fields: digits

    // The way back from the folder window: shows this window and checks RbForm1.
    void showFromSwitch() override;

    // The option label's text for the active page.
    static QString optionLabelText(const QString& tabCaption);

    SourceListModel* fileList = nullptr; // what ListBox1 shows
    // Region 3: this window's own pages and controls, made by the criteria's pages
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    Illustration* Image1 = nullptr;
    QComboBox* CmbCondition = nullptr;
    QLineEdit* EdtSize = nullptr;
    QComboBox* CmbUnit = nullptr;
    QRadioButton* RbCreateTime = nullptr;
    QRadioButton* RbModifyTime = nullptr;
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

    // What a run of this window is given: the controls as they are now.
    FileSortJob runJob() const;

private:
    class Host;

    const FilePage& activePage() const;

    void buildPages();
    void buildOptions();
    void FormCreate();
    const SettingsSection& settingsSection() const override { return kFileWindowSection; }
    SettingBindings settingBindings() override;
    QWidget* ownField(FocusTarget target) override;
    const char* journalName() const override { return kFilesJournal; }
    std::optional<Preview> previewRun() override;
    TransferMode previewMode() const override;
    void startRun() override { BtnCopyClick(); }

    std::vector<std::unique_ptr<FilePage>> pages_; // one per criterion, in page order
};

} // namespace velquin
