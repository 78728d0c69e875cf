#pragma once

#include "lists/eventpump.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QShortcut;

namespace velquin {

struct AppContext;
class ReplaceKeeper;
class SortWindow;
class Trash;

// Everything a main window does around its runs: the lock and the stop (BtnStop, Esc), a close
// asked for while something runs, the preview, the undo with its question and report, and the
// journal and trash each run gets. One per window; the window builds the controls, this drives
// them.
class RunController {
public:
    RunController(SortWindow& window, AppContext& ctx);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Connects the window's BtnStop, BtnPreview and BtnUndo and makes Esc stop the activity under
    // way while the window has the focus; the buttons must exist.
    void attach();

    void BtnStopClick();    // ends the run or walk under way after the file in flight
    void BtnPreviewClick(); // the checks of a run, then what it would do, in the preview dialog
    void BtnUndoClick();    // takes back the last run of the window

    // True while a run or a walk of the window is under way.
    bool busy() const { return activities_ > 0; }
    // True once the user asked the activity under way to stop.
    bool stopRequested() const { return stopRequested_; }
    // True when the program ends as soon as the activities are over (no closing box then).
    bool closePending() const;
    // Runs `work` (a run or a walk) as the window's activity: the stop button and Esc stop it,
    // and a close asked for meanwhile is carried out once every activity of the program is over.
    void runActivity(const std::function<void()>& work);
    // What a walk of the window reads the disk away from the window's thread with, hands what
    // it found to the list through, and learns of a stop from.
    EventPump activityPump();
    // The window's journal, "" when the program keeps none.
    QString journalPath() const;
    // Runs `work` as a run of the window: an activity, with a trash for the files it replaces
    // where the program has one; BtnUndo follows the journal afterwards.
    void runWithTrash(const std::function<void(ReplaceKeeper*)>& work);
    // A trash of its own for one preview, to ask what it could keep; nullptr where there is none.
    ReplaceKeeper* previewKeeper();
    // BtnUndo is enabled while the window's journal holds something and nothing runs.
    void refreshUndo();
    // A close of the window: true when it may close now; else whatever runs in either main
    // window is asked to stop and the close follows once all of it is over.
    bool requestClose();

private:
    // Both main windows' controllers: a close stops whatever runs in either.
    QList<RunController*> mainControllers() const;
    void finishPendingClose();

    SortWindow& window_;
    AppContext& ctx_;
    std::shared_ptr<Trash> previewTrash_;
    int activities_ = 0;
    std::atomic<bool> stopRequested_ = false; // read by a walk's worker too
    bool closePending_ = false;
    QShortcut* escape_ = nullptr;
};

} // namespace velquin
