#include "engine/runactions.h"

#include "engine/runhost.h"
#include "platform/links.h"
#include "platform/paths.h"

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
        actions_.line_.fileBytes(bytesDone, bytesTotal);
        actions_.showLine();
        actions_.reportFraction(actions_.partFrom_ +
                                (actions_.partTo_ - actions_.partFrom_) * qMin(share, 1.0));
        return !actions_.stopping();
    }

private:
    DiskActions& actions_;
};

// The host's keeper, with the host asked once in the run whether a replace may go on where the
// old target cannot be kept; the first answer holds for the rest of the run. For the journal it
// notes what it is given to keep, as it is right before it is kept, so that undo can tell the
// kept file from any other.
class DiskActions::Keeper : public ReplaceKeeper {
public:
    Keeper(ReplaceKeeper& inner, RunHost& host, const FileOps* stamping)
        : inner_(inner), host_(host), stamping_(stamping) {}
    KeptFile keep(const QString& target) override {
        if (stamping_)
            old_ = objectStamp(*stamping_, target);
        return inner_.keep(target);
    }
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
    // What the last transfer gave to keep; nullopt when nothing.
    std::optional<ObjectStamp> takeOld() { return std::exchange(old_, std::nullopt); }

private:
    ReplaceKeeper& inner_;
    RunHost& host_;
    const FileOps* stamping_; // null: no journal to note it for
    std::optional<bool> goOn_;
    int refused_ = 0;
    std::optional<ObjectStamp> old_;
};

DiskActions::DiskActions(const FileOps& fs, RunHost& host, MonotonicClock clock)
    : fs_(fs), host_(host), state_(fs), clock_(std::move(clock)), line_(clock_) {
    // The run's checks have put the separator at the end of the field by now.
    if (const QString path = host_.journalPath(); !path.isEmpty()) {
        journalWanted_ = true;
        output_ = host_.outputFolderText();
        journal_ = JournalWriter::begin(path, output_);
    }
}

DiskActions::~DiskActions() = default;

void DiskActions::makeFolder(const QString& path) {
    QStringList created;
    fs_.makePath(path, journal_ ? &created : nullptr);
    for (const QString& folder : std::as_const(created)) {
        // Folders made above the output folder stay after an undo, which acts inside it only.
        if (!liesIn(folder, output_, true))
            continue;
        JournalEntry entry;
        entry.kind = JournalKind::FolderCreated;
        entry.target = folder;
        entry.made = fs_.stamp(folder).value_or(FileStamp());
        append(entry);
    }
}

void DiskActions::append(JournalEntry& entry) {
    // The change time is read after the transfer: a rename or a new link changes it. It is
    // recorded only while the object there is still the one the transfer reported.
    if (const std::optional<ObjectStamp> now = objectStamp(fs_, entry.target);
        now && now->stamp.id == entry.made.id && now->stamp.size == entry.made.size)
        entry.madeChanged = now->changed;
    journal_->append(entry);
}

bool DiskActions::finishJournal() {
    const bool whole = journal_ && journal_->finish();
    return journalWanted_ && !whole;
}

void DiskActions::record(const TransferResult& result, TransferMode mode,
                         const std::optional<ObjectStamp>& old) {
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
    if (!entry.keptAs.isEmpty() && old)
        entry.kept = old->stamp;
    append(entry);
}

TransferOutcome DiskActions::transfer(const QString& source, const QString& subFolder, const QString& name,
                                      TransferMode mode, ClashPolicy policy, QString* placedAt) {
    if (stopping())
        return TransferOutcome::Stopped;
    Progress progress(*this);
    if (!keeper_) {
        if (ReplaceKeeper* hostKeeper = host_.replaceKeeper())
            keeper_ = std::make_unique<Keeper>(*hostKeeper, host_, journal_ ? &fs_ : nullptr);
    }
    const TransferHooks hooks{&progress, keeper_.get()};
    line_.fileStarted(fileNameOf(source), mode);
    showLine();
    const TransferResult result =
        TransferFile(fs_, host_, source, subFolder, name, mode, policy, &state_, hooks);
    line_.fileEnded();
    const int refusal = keeper_ ? keeper_->takeRefusal() : 0;
    const std::optional<ObjectStamp> old = keeper_ ? keeper_->takeOld() : std::nullopt;
    if (result.outcome == TransferOutcome::Stopped)
        sawStop_ = true;
    if (countsAsFailure(result) && refusal != 0)
        failures_.append(
            RunFailure{source, result.decision.target,
                       QStringLiteral("无法将被替换的文件放入回收站：") + systemReason(refusal)});
    else if (countsAsFailure(result))
        fail(source, result.decision.target, result.fs.error);
    record(result, mode, old);
    results_.append(result);
    if (placedAt && result.outcome == TransferOutcome::Done)
        *placedAt = result.decision.target;
    return result.outcome;
}

void DiskActions::copyLink(const QString& source, const QString& target) {
    const FsResult r = copySymlink(fs_.calls(), source, target);
    // A link already there is a clash the copy leaves alone, like a skipped file.
    if (!r.ok() && r.error != EEXIST)
        fail(source, target, r.error);
    if (!r.ok() || !journal_)
        return;
    JournalEntry entry;
    entry.kind = JournalKind::Link;
    entry.source = source;
    entry.target = target;
    const std::optional<ObjectStamp> made = objectStamp(fs_, target);
    const std::optional<QString> text = linkText(target);
    // A link that cannot be told again later is not the journal's: undo would have to leave it.
    if (!made || made->type != ObjectStamp::Type::Link || !text) {
        journal_->skipped();
        return;
    }
    entry.made = made->stamp;
    entry.linkText = *text;
    append(entry);
}

void DiskActions::unlistable(const QString& source, const QString& target, int error) {
    fail(source, target, error);
}

void DiskActions::itemStarted(qsizetype index, qsizetype count) {
    index_ = index;
    count_ = qMax<qsizetype>(count, 1);
    partFrom_ = 0;
    partTo_ = 1;
    shownInItem_ = 0;
    itemStart_ = clock_();
    // Shown with the item's first file: a line of counts alone would tell less, a few ms earlier.
    line_.itemStarted(index, count);
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
    if (itemStart_ < 0 || clock_() - itemStart_ < kQuickItemMs) {
        host_.partialProgress(-1);
        return;
    }
    // The bar shows (index - 1) × 100 / count after the item before this one and will show
    // index × 100 / count after this one (the last one too, before the closing 100): inside, it
    // goes from the one to the other, so the step at the item's end never takes it back.
    const int from = index_ > 0 ? int(qint64(index_ - 1) * 100 / qint64(count_)) : 0;
    const int to = int(qint64(index_) * 100 / qint64(count_));
    const int value = from + int(double(to - from) * qBound(0.0, fraction, 1.0));
    shownInItem_ = qBound(shownInItem_, value, to);
    host_.partialProgress(shownInItem_);
}

void DiskActions::showLine() {
    bool due = false;
    const QString text = line_.takeIfDue(&due);
    if (due)
        host_.progressText(text);
}

} // namespace velquin
