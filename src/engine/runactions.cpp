#include "engine/runactions.h"

#include "engine/runhost.h"
#include "platform/links.h"

#include <cerrno>
#include <optional>
#include <utility>

namespace velquin {

namespace {
// An item done within this time shows no progress of its own.
constexpr qint64 kQuickItemMs = 300;
} // namespace

RunActions::~RunActions() = default;

// Moves the bar through the current part of the item as the bytes of one copy arrive, and
// stops the copy when the user stops the run.
class DiskActions::Progress : public CopyProgress {
public:
    explicit Progress(DiskActions& actions) : actions_(actions) {}
    bool copied(qint64 bytesDone, qint64 bytesTotal) override {
        const double share = bytesTotal > 0 ? double(bytesDone) / double(bytesTotal) : 1.0;
        actions_.reportFraction(actions_.partFrom_ +
                                (actions_.partTo_ - actions_.partFrom_) * qMin(share, 1.0));
        return !actions_.stopping();
    }

private:
    DiskActions& actions_;
};

// The host's keeper, with the host asked once in the run whether a replace may go on where the
// old target cannot be kept; the first answer holds for the rest of the run.
class DiskActions::Keeper : public ReplaceKeeper {
public:
    Keeper(ReplaceKeeper& inner, RunHost& host) : inner_(inner), host_(host) {}
    KeptFile keep(const QString& target) override { return inner_.keep(target); }
    bool replaceUnkept(const QString& target, int error) override {
        (void)target;
        if (!goOn_)
            goOn_ = host_.askReplaceUnkept(systemReason(error));
        if (!*goOn_)
            refused_ = error;
        return *goOn_;
    }
    void release(const QString& target, const QString& keptAs) override { inner_.release(target, keptAs); }
    int keepable(const QString& target) override { return inner_.keepable(target); }

    // The errno of the keeping that made the last replace refused; 0 when none was.
    int takeRefusal() { return std::exchange(refused_, 0); }

private:
    ReplaceKeeper& inner_;
    RunHost& host_;
    std::optional<bool> goOn_;
    int refused_ = 0;
};

DiskActions::DiskActions(const FileOps& fs, RunHost& host) : fs_(fs), host_(host), disk_(fs) {
    if (const QString path = host_.journalPath(); !path.isEmpty())
        journal_ = JournalWriter::begin(path);
}

DiskActions::~DiskActions() = default;

void DiskActions::makeFolder(const QString& path) {
    QStringList created;
    fs_.makePath(path, journal_ ? &created : nullptr);
    for (const QString& folder : std::as_const(created)) {
        JournalEntry entry;
        entry.kind = JournalKind::FolderCreated;
        entry.target = folder;
        entry.made = fs_.stamp(folder).value_or(FileStamp());
        journal_->append(entry);
    }
}

void DiskActions::record(const TransferResult& result, TransferMode mode) {
    if (!journal_ || result.outcome != TransferOutcome::Done)
        return;
    const bool move = mode == TransferMode::Move;
    JournalEntry entry;
    entry.kind = result.fs.replaced           ? (move ? JournalKind::ReplaceMove : JournalKind::ReplaceCopy)
                 : result.decision.number > 0 ? (move ? JournalKind::NumberedMove : JournalKind::NumberedCopy)
                 : move                       ? JournalKind::Move
                                              : JournalKind::Copy;
    entry.source = result.source;
    entry.target = result.decision.target;
    entry.made = result.fs.made;
    entry.keptAs = result.fs.keptAs;
    journal_->append(entry);
}

TransferOutcome DiskActions::transfer(const QString& source, const QString& subFolder, const QString& name,
                                      TransferMode mode, ClashPolicy policy) {
    if (stopping())
        return TransferOutcome::Stopped;
    const TransferDecision decision = decideTransfer(disk_, hints_, source, subFolder, name, mode, policy);
    Progress progress(*this);
    if (!keeper_) {
        if (ReplaceKeeper* hostKeeper = host_.replaceKeeper())
            keeper_ = std::make_unique<Keeper>(*hostKeeper, host_);
    }
    const TransferHooks hooks{&progress, keeper_.get()};
    const TransferResult result =
        carryOut(fs_, host_, hints_, source, subFolder, name, mode, decision, hooks);
    const int refusal = keeper_ ? keeper_->takeRefusal() : 0;
    if (result.outcome == TransferOutcome::Stopped)
        sawStop_ = true;
    if (result.outcome == TransferOutcome::Done && mode == TransferMode::Move)
        disk_.noteMoved(source);
    if (countsAsFailure(result) && refusal != 0)
        failures_.append(
            RunFailure{source, result.decision.target,
                       QStringLiteral("无法将被替换的文件放入回收站：") + systemReason(refusal)});
    else if (countsAsFailure(result))
        fail(source, result.decision.target, result.fs.error);
    record(result, mode);
    results_.append(result);
    return result.outcome;
}

void DiskActions::copyLink(const QString& source, const QString& target) {
    const FsResult r = copySymlink(source, target);
    // A link already there is a clash the copy leaves alone, like a skipped file.
    if (!r.ok() && r.error != EEXIST)
        fail(source, target, r.error);
}

void DiskActions::unlistable(const QString& source, const QString& target, int error) {
    fail(source, target, error);
}

void DiskActions::itemStarted(qsizetype index, qsizetype count) {
    index_ = index;
    count_ = qMax<qsizetype>(count, 1);
    partFrom_ = 0;
    partTo_ = 1;
    sinceItemStart_.start();
}

void DiskActions::itemPart(double from, double to) {
    partFrom_ = from;
    partTo_ = to;
    reportFraction(from);
}

bool DiskActions::stopping() const {
    if (!host_.stopRequested())
        return false;
    sawStop_ = true;
    return true;
}

void DiskActions::fail(const QString& source, const QString& target, int error) {
    failures_.append(RunFailure{source, target, systemReason(error)});
}

void DiskActions::reportFraction(double fraction) {
    // Quick items keep the bar at the values it takes between items; only an item that takes
    // a while moves it on inside (events run either way).
    if (!sinceItemStart_.isValid() || sinceItemStart_.elapsed() < kQuickItemMs) {
        host_.partialProgress(-1);
        return;
    }
    const double span = 100.0 / double(count_);
    host_.partialProgress(int(double(index_) * span + span * qBound(0.0, fraction, 1.0)));
}

} // namespace velquin
