#pragma once

#include "engine/planner.h"
#include "lists/eventpump.h"
#include "lists/listfile.h"
#include "ui/runcontroller.h"
#include "ui/settingbinding.h"
#include "ui/windowhost.h"
#include "ui/windowparts.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDate;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTime;
class QTimeEdit;
class QVBoxLayout;

namespace velquin {

struct AppContext;
class Illustration;
class SourceListModel;
class SourceListView;
class StarLabel;
class StatusLine;

// What the file window and the folder window have in common: the controls both show (kept
// under the same member and object names), the handlers that do the same in both, the shared
// settings keys and the closing sequence. A window builds itself top to bottom with buildTop,
// its own pages and options, then buildBottom, so the tab order follows the screen.
class SortWindow : public QWidget {
public:
    ~SortWindow() override;

    // Handlers both windows share, named after control and event.
    void Button2Click();         // remove the selected entries
    void Button6Click();         // empty the list
    void BtnSaveFileListClick(); // export the list to a list file
    void BtnImpFileListClick();  // import a list file
    void Button3Click();         // output folder chooser
    void BtnAoutClick();         // the about box, modal
    // The run controller's, for this window.
    void BtnStopClick() { run_->BtnStopClick(); }
    void BtnPreviewClick() { run_->BtnPreviewClick(); }
    void BtnUndoClick() { run_->BtnUndoClick(); }
    // Saves the window's settings section (a failure in the error box), then ends the program.
    void FormClose();

    // Region 1: window switch
    QWidget* Panel9 = nullptr;
    QRadioButton* RbForm1 = nullptr;
    QRadioButton* RbForm6 = nullptr;
    // Region 2: source list
    QGroupBox* GroupBox1 = nullptr;
    SourceListView* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* BtnSaveFileList = nullptr;
    QPushButton* BtnImpFileList = nullptr;
    // Region 3: the pages both windows have (the rest are the window's own)
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet5 = nullptr;
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
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* CmbFileDate = nullptr;
    QDateEdit* DtDate = nullptr;
    QTimeEdit* DtTime = nullptr;
    // Region 5: result
    ResultGroup result;
    QGroupBox* GroupBox3 = nullptr;
    QLineEdit* EdtOutDir = nullptr;
    QPushButton* Button3 = nullptr;
    QRadioButton* RbOverwrite = nullptr;
    QRadioButton* RbAsk = nullptr;
    QRadioButton* RbSkip = nullptr;
    QRadioButton* RbRename = nullptr;
    QRadioButton* RbEditFileTime = nullptr;
    // Region 6: transfer mode and progress
    QWidget* Panel2 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RbMove = nullptr;
    QRadioButton* RbCopy = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    StatusLine* progressLine = nullptr; // what the run is at, under the bar
    // Region 7: buttons
    QFrame* Panel1 = nullptr;
    QPushButton* BtnUndo = nullptr;
    QPushButton* BtnPreview = nullptr;
    QPushButton* BtnCopy = nullptr;
    QPushButton* BtnStop = nullptr;
    QPushButton* BtnAout = nullptr;

    // Makes `a` and `b` each other's window of the switch; either may be destroyed first.
    static void pair(SortWindow& a, SortWindow& b);
    // The way in through the switch: shows this window with its own switch button checked.
    virtual void showFromSwitch() = 0;

    // The pages both windows have, built on TabSheet6 and TabSheet1 by either window's criteria.
    // Page 0: heading, illustration, keyword label (`keysLabelName`, returned) and EdtKeys.
    QLabel* buildKeywordPage(const QString& heading,
                             const std::function<Illustration*(QWidget*)>& illustration,
                             const char* keysLabelName, const QString& keysLabel);
    // Page 1: heading, illustration, the range line, the red-star filter line, ChkOnlyMatchDir.
    void buildNamePage(const QString& heading, const std::function<Illustration*(QWidget*)>& illustration,
                       const QString& rangeCaption, const QString& onlyMatchCaption);
    // True while a run or a walk of this window is under way.
    bool busy() const { return run_->busy(); }

protected:
    // `objectName` is the window's; `list` is what ListBox1 shows, `kind` what its list files hold.
    SortWindow(AppContext& ctx, QWidget* parent, const char* objectName, SourceListModel* list,
               ListKind kind);

    // The switch strip and the list group, with the window's captions, and the shared handlers
    // of the list buttons connected.
    void buildTop(bool fileWindow, const QString& listCaption, const std::array<QString, 6>& buttonCaptions);
    // A page control with one empty page per entry, in order: each page named and stored as
    // its member, under its tab caption.
    struct PageSlot {
        QWidget** member;
        const char* name;
        QString caption;
    };
    void buildPageControl(const QList<PageSlot>& pages);
    // The result group, the mode and progress band and the button bar, with Button3 and BtnAout
    // connected; RbOverwrite starts checked until the settings load.
    void buildBottom(const QString& moveCaption, const QString& copyCaption);
    // Hides this window and shows the other one of the pair; nothing when there is none, so
    // the program never ends up without a window on screen.
    void switchToOther();
    // Caption set, the window centred on its screen.
    void finishCreate();

    // A window's bindings in load order: the keys both sections hold, bound to the shared
    // controls, around the window's own ones: first Filter, OutDir, SameFile and the window's
    // `page` key, then `own`, last DTDate, DTTime, CmbFileDate and EdtKeys.
    SettingBindings withSharedBindings(const Setting<int>& page, SettingBindings own);
    // The window's section, and its controls bound to the section's keys in load order.
    virtual const SettingsSection& settingsSection() const = 0;
    virtual SettingBindings settingBindings() = 0;
    // Puts the window's settings section into its controls.
    void loadSettings();
    // Writes the window's settings section: "" when saved, else the error text.
    QString saveSettings();
    // Focuses the field a failed check points at: the shared keyword and range fields, else
    // the window's own field.
    void focusField(FocusTarget target);
    // The window's own field for `target`; nullptr when it has none.
    virtual QWidget* ownField(FocusTarget target) = 0;
    // What a run needs of this window's controls; `keeper` keeps the files it replaces.
    WindowRunControls runControls(ReplaceKeeper* keeper = nullptr);
    // What the window's runs go through (RunController says what each promises).
    QString journalPath() const { return run_->journalPath(); }
    void runWithTrash(const std::function<void(ReplaceKeeper*)>& work) { run_->runWithTrash(work); }
    ReplaceKeeper* previewKeeper() { return run_->previewKeeper(); }
    void refreshUndo() { run_->refreshUndo(); }
    // The window's own: its journal's file name, the preview of a run over its controls as
    // they are now (nullopt when a check failed), the mode that preview shows, and its start.
    virtual const char* journalName() const = 0;
    virtual std::optional<Preview> previewRun() = 0;
    virtual TransferMode previewMode() const = 0;
    virtual void startRun() = 0;
    // What ListBox1 shows.
    SourceListModel* sourceList() const { return list_; }
    void runActivity(const std::function<void()>& work) { run_->runActivity(work); }
    EventPump activityPump() { return run_->activityPump(); }
    bool stopRequested() const { return run_->stopRequested(); }
    bool closePending() const { return run_->closePending(); }

    // FormClose.
    void closeEvent(QCloseEvent* event) override;
    // Centres the window again at its first showing.
    bool event(QEvent* event) override;

    AppContext& ctx_;
    QVBoxLayout* column_ = nullptr; // the regions, top to bottom

private:
    friend class RunController;

    SourceListModel* list_;
    ListKind kind_;
    SortWindow* other_ = nullptr; // the other main window, once paired
    std::unique_ptr<RunController> run_;
    bool centring_ = false; // until the first showing has been centred
};

} // namespace velquin
