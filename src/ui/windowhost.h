#pragma once

#include "engine/runhost.h"

#include <QList>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace velquin {

class BusyCursor;
class Dialogs;
class StatusLine;
struct ResultGroup;

// The controls of a main window that a run reads, locks and drives.
struct WindowRunControls {
    QWidget* window = nullptr; // owner of the check messages and the closing message
    Dialogs* dialogs = nullptr;
    QLineEdit* EdtOutDir = nullptr;
    QWidget* BtnCopy = nullptr;
    QWidget* PageControl1 = nullptr;
    QWidget* Button3 = nullptr;
    const ResultGroup* result = nullptr; // the clash buttons
    QProgressBar* ProgressBar1 = nullptr;
    std::function<void(FocusTarget)> focusField;
    std::function<void()> chooseOutputFolder; // the window's Button3Click
    std::function<bool()> stopRequested;      // the stop button, Esc or closing the window
    std::function<bool()> closing;            // the window closes once the run is over: no closing box
    QList<QWidget*> lockedToo;                // the window's own buttons that wait for the run's end
    ReplaceKeeper* keeper = nullptr;          // where replaced files go (the trash); nullptr: nowhere
    QString journalPath;                      // the window's journal; "" for none
    StatusLine* progressLine = nullptr;       // the line under the bar
    QWidget* BtnStop = nullptr;               // off while the closing box is open
};

// Disables a control for as long as it lives and then gives it back the state it had: the stop
// button while a closing box stands, when there is nothing left to stop.
class DisabledWhile {
public:
    explicit DisabledWhile(QWidget* widget);
    ~DisabledWhile();
    DisabledWhile(const DisabledWhile&) = delete;
    DisabledWhile& operator=(const DisabledWhile&) = delete;

private:
    QWidget* widget_;
    bool wasEnabled_;
};

// What both main windows do for a run, over their controls, on the window's thread (the run
// itself talks to it from its worker through runOffThread): `Base` is RunHost (folder runs) or
// FileRunHost (file runs, which add the per-item reads of the file window). Locking disables
// the start button, the criterion pages and the output chooser, makes the output field
// read-only and holds the busy cursor; destroying a locked host unlocks it.
template <class Base> class WindowRunHost : public Base {
public:
    explicit WindowRunHost(WindowRunControls controls);
    ~WindowRunHost() override;

    QString outputFolderText() override;
    void setOutputFolderText(const QString& text) override;
    void information(const QString& text) override;
    void focusField(FocusTarget target) override;
    void chooseOutputFolder() override;
    void setLocked(bool locked) override;
    ClashPolicy clashPolicy() override;
    // Asked with no owner window: the question belongs to the application.
    bool askOverwrite(const QString& target) override;
    // Sets and repaints the bar.
    void setProgress(int position) override;
    // Moves the bar inside a long item.
    void partialProgress(int position) override;
    // Shows the line under the bar (emptied as well when the window is unlocked).
    void progressText(const QString& text) override;
    bool stopRequested() override;
    ReplaceKeeper* replaceKeeper() override { return c_.keeper; }
    // Question icon, Yes and No with No the default, owned by the window.
    bool askReplaceUnkept(const QString& reason) override;
    QString journalPath() override { return c_.journalPath; }
    // The closing box with the failure line and details, BtnStop off meanwhile; none when the
    // window is closing.
    void closingMessage(const QString& text, const QString& line, const QString& details) override;

private:
    WindowRunControls c_;
    std::unique_ptr<BusyCursor> busy_;
};

extern template class WindowRunHost<RunHost>;
extern template class WindowRunHost<FileRunHost>;

} // namespace velquin
