#include "ui/runcontroller.h"

#include "engine/journal.h"
#include "engine/progressline.h"
#include "engine/undo.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "ui/appcontext.h"
#include "ui/busycursor.h"
#include "ui/dlgpreview.h"
#include "ui/offthread.h"
#include "ui/sortwindow.h"
#include "ui/statusline.h"
#include "ui/windowhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

namespace velquin {

RunController::RunController(SortWindow& window, AppContext& ctx) : window_(window), ctx_(ctx) {
}

RunController::~RunController() = default;

void RunController::attach() {
    escape_ = new QShortcut(
        QKeySequence(Qt::Key_Escape), &window_, &window_, [this] { window_.BtnStopClick(); },
        Qt::WindowShortcut);
    escape_->setEnabled(false);
    QObject::connect(window_.BtnStop, &QPushButton::clicked, &window_, [this] { window_.BtnStopClick(); });
    QObject::connect(window_.BtnPreview, &QPushButton::clicked, &window_,
                     [this] { window_.BtnPreviewClick(); });
    QObject::connect(window_.BtnUndo, &QPushButton::clicked, &window_, [this] { window_.BtnUndoClick(); });
}

QString RunController::journalPath() const {
    if (ctx_.journalFolder.isEmpty())
        return QString();
    return withTrailingSeparator(ctx_.journalFolder) + QLatin1String(window_.journalName());
}

void RunController::refreshUndo() {
    // A run that did nothing leaves a journal with nothing to take back; one entry tells.
    const QString path = journalPath();
    // A journal the undo will refuse keeps the button, so that pressing it says why.
    const Journal journal = path.isEmpty() ? Journal() : loadJournal(path, 1);
    window_.BtnUndo->setEnabled(!busy() &&
                                (!journal.entries.empty() || journal.problem != Journal::Problem::None));
}

void RunController::runWithTrash(const std::function<void(ReplaceKeeper*)>& work) {
    runActivity([&] {
        // One trash per run: it remembers the drives it could not have one on.
        std::optional<Trash> trash;
        if (ctx_.trashFolder)
            trash.emplace(*ctx_.trashFolder);
        work(trash ? &*trash : nullptr);
    });
}

ReplaceKeeper* RunController::previewKeeper() {
    // Fresh for each preview, so that it sees the trash folders as they are now.
    previewTrash_ = ctx_.trashFolder ? std::make_shared<Trash>(*ctx_.trashFolder) : nullptr;
    return previewTrash_.get();
}

void RunController::BtnPreviewClick() {
    std::optional<Preview> preview;
    {
        const BusyCursor busy;
        preview = window_.previewRun();
    }
    if (!preview)
        return;
    DlgPreview dialog(&window_, std::move(preview->rows), preview->counts, window_.previewMode());
    if (dialog.exec() == QDialog::Accepted)
        window_.startRun();
}

void RunController::BtnUndoClick() {
    const QString path = journalPath();
    const Journal journal = path.isEmpty() || busy() ? Journal() : loadJournal(path);
    if (journal.problem != Journal::Problem::None) {
        ctx_.dialogs.information(&window_, journalProblemText(journal.problem));
        return;
    }
    if (journal.entries.empty()) {
        refreshUndo();
        return;
    }
    if (!ctx_.dialogs.questionWithDetails(&window_, undoQuestion(planUndo(journal.entries)),
                                          undoDetails(journal.entries), false))
        return;
    runActivity([&] {
        UndoResult result;
        {
            // Locked as for a run: nothing may start a run or change the output meanwhile.
            WindowRunHost<RunHost> host(window_.runControls());
            host.setLocked(true);
            // Only restores: it goes by the kept paths the journal names and never keeps anything
            // in a home trash, so without one the files an earlier run kept still come back.
            Trash trash(ctx_.trashFolder.value_or(QString()));
            runOffThread(host, [&](RunHost& relay) {
                result = runUndo(ctx_.fs, trash, journal, [&](int done, int total) {
                    relay.setProgress(total > 0 ? int(qint64(done) * 100 / total) : 0);
                    return !relay.stopRequested();
                });
                relay.setProgress(100);
            });
        }
        settleJournal(path, journal, result);
        if (!closePending()) {
            const UndoReport report = undoReport(result);
            const DisabledWhile stop(window_.BtnStop);
            ctx_.dialogs.informationWithDetails(&window_, report.text, report.line, report.details);
        }
        window_.ProgressBar1->setValue(0);
    });
}

EventPump RunController::activityPump() {
    EventPump pump([] { QCoreApplication::processEvents(); }, 15, [this] { return stopRequested(); });
    pump.setThreads([](const std::function<void()>& read) { runAway(read); }, &onWindowThread);
    // A few times a second, as a run's line.
    pump.setListing([line = window_.progressLine,
                     since = std::make_shared<QElapsedTimer>()](const QString& folder, qsizetype found) {
        if (since->isValid() && since->elapsed() < 250)
            return;
        since->start();
        line->setLine(listingLine(folder, found));
    });
    return pump;
}

void RunController::BtnStopClick() {
    if (busy())
        stopRequested_ = true;
}

void RunController::runActivity(const std::function<void()>& work) {
    if (activities_++ == 0)
        stopRequested_ = false;
    window_.BtnStop->setEnabled(true);
    escape_->setEnabled(true);
    refreshUndo();
    // Back to idle on every way out, an exception included.
    struct Done {
        RunController& c;
        ~Done() {
            if (--c.activities_ == 0) {
                c.window_.progressLine->setLine(QString());
                c.window_.BtnStop->setEnabled(false);
                c.escape_->setEnabled(false);
            }
            c.refreshUndo();
            c.finishPendingClose();
        }
    } done{*this};
    work();
}

QList<RunController*> RunController::mainControllers() const {
    QList<RunController*> controllers{const_cast<RunController*>(this)};
    if (window_.other_)
        controllers.append(window_.other_->run_.get());
    return controllers;
}

bool RunController::closePending() const {
    for (const RunController* c : mainControllers()) {
        if (c->closePending_)
            return true;
    }
    return false;
}

void RunController::finishPendingClose() {
    const QList<RunController*> controllers = mainControllers();
    for (const RunController* c : controllers) {
        if (c->busy())
            return;
    }
    for (RunController* c : controllers) {
        if (c->closePending_) {
            c->closePending_ = false;
            c->window_.FormClose();
            return;
        }
    }
}

bool RunController::requestClose() {
    bool anyBusy = false;
    for (RunController* c : mainControllers()) {
        if (c->busy()) {
            anyBusy = true;
            c->stopRequested_ = true;
        }
    }
    if (anyBusy)
        closePending_ = true;
    return !anyBusy;
}

} // namespace velquin
