#pragma once

#include "engine/journal.h"
#include "engine/progressline.h"
#include "engine/transfer.h"
#include "engine/types.h"
#include "platform/fileops.h"

#include <QList>
#include <QString>

#include <memory>

namespace velquin {

class RunHost;

// Where a run's decisions go. The run's rules (which item goes where, the tree copy) are written
// once against this interface: DiskActions carries the decisions out, the preview's actions
// list them against the disk as it will be.
class RunActions {
public:
    virtual ~RunActions();
    // The disk the decisions are made on.
    virtual const DiskView& view() const = 0;
    // Makes the folder with its missing parents; a failure is silent (the transfers into it fail).
    virtual void makeFolder(const QString& path) = 0;
    // One file to subFolder/name, decided on view() and then carried out (or listed).
    // `placedAt`, when given, receives the path the file was put at (an auto-number's free name).
    virtual TransferOutcome transfer(const QString& source, const QString& subFolder, const QString& name,
                                     TransferMode mode, ClashPolicy policy, QString* placedAt = nullptr) = 0;
    // A symbolic link to a folder met inside a copied tree: the link is made again at `target`.
    virtual void copyLink(const QString& source, const QString& target) = 0;
    // A folder of a copied tree that could not be listed: nothing of it was copied.
    virtual void unlistable(const QString& source, const QString& target, int error) = 0;
    // A listed item the criterion does not sort (or drops).
    virtual void notMatched(const QString& source) { (void)source; }
    // A listed file the criterion finds sorted already: `target` holds the same content. Nothing
    // is transferred, and it is no failure.
    virtual void alreadyThere(const QString& source, const QString& target) {
        (void)source;
        (void)target;
    }
    // What the criterion read of `source` to decide, for the preview to show beside its rows.
    virtual void describe(const QString& source, const QString& note) {
        (void)source;
        (void)note;
    }

    // Item `index` of `count` begins (the bar's span for it is index/count to (index+1)/count).
    virtual void itemStarted(qsizetype index, qsizetype count) {
        (void)index;
        (void)count;
    }
    // The part of the current item from `from` to `to` (fractions of it) is under way: a tree
    // copy's next file; the bytes of its copy move the bar through that part.
    virtual void itemPart(double from, double to) {
        (void)from;
        (void)to;
    }
    // True once the run is to end after the file in flight.
    virtual bool stopping() const { return false; }
};

// A transfer that failed, as the closing box lists it.
struct RunFailure {
    QString source;
    QString target;
    QString reason;
};

// Carries a run's decisions out on the disk: asks the host the clash question, lets the host's
// events run and its bar move inside long copies, stops when the host asks, keeps replaced files
// through the host's keeper, writes every transfer, link and folder inside the output folder it
// makes to the host's journal as it happens (a new journal from the first, ended when the run
// is), keeps the list of what failed, and keeps the host's progress line up to date.
class DiskActions : public RunActions {
public:
    // `clock` tells how long items take (only long ones move the bar inside) and times the line.
    DiskActions(const FileOps& fs, RunHost& host, MonotonicClock clock = steadyClock());
    ~DiskActions() override;

    const DiskView& view() const override { return state_.disk; }
    void makeFolder(const QString& path) override;
    TransferOutcome transfer(const QString& source, const QString& subFolder, const QString& name,
                             TransferMode mode, ClashPolicy policy, QString* placedAt = nullptr) override;
    void copyLink(const QString& source, const QString& target) override;
    void unlistable(const QString& source, const QString& target, int error) override;
    void itemStarted(qsizetype index, qsizetype count) override;
    void itemPart(double from, double to) override;
    bool stopping() const override;

    const QList<RunFailure>& failures() const { return failures_; }
    // Every transfer carried out so far, in order, with its decision and outcome.
    const QList<TransferResult>& results() const { return results_; }
    // True when a stop cut the run's work short (a copy cancelled, a tree left unfinished).
    bool sawStop() const { return sawStop_; }
    // Ends the journal once the run is over; true when the host wants a journal and it does not
    // hold every transfer of the run (it could not be started, or an entry was not written).
    bool finishJournal();

private:
    class Progress;
    class Keeper;

    void fail(const QString& source, const QString& target, int error);
    void record(const TransferResult& result, TransferMode mode, const std::optional<ObjectStamp>& old);
    void append(JournalEntry& entry);
    // Moves the bar to `fraction` of the current item and lets events run.
    void reportFraction(double fraction);
    // Hands the host the progress line when it is due.
    void showLine();

    const FileOps& fs_;
    RunHost& host_;
    TransferState state_;
    QList<RunFailure> failures_;
    QList<TransferResult> results_;
    std::optional<JournalWriter> journal_;
    bool journalWanted_ = false;
    QString output_; // the run's output folder, as the journal's header has it
    qsizetype index_ = 0;
    qsizetype count_ = 1;
    double partFrom_ = 0;
    double partTo_ = 1;
    int shownInItem_ = 0; // the highest value the bar took inside the current item
    mutable bool sawStop_ = false;
    MonotonicClock clock_;
    qint64 itemStart_ = -1;
    RunProgress line_;
    std::unique_ptr<Keeper> keeper_; // the host's keeper with the run's answer on unkept replaces
};

} // namespace velquin
