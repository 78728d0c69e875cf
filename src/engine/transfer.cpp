#include "engine/transfer.h"

#include "engine/runhost.h"
#include "platform/names.h"
#include "platform/paths.h"

#include <cerrno>

namespace velquin {

namespace {

using CopyMode = FileOps::CopyMode;
using MoveMode = FileOps::MoveMode;

// A name that turns out taken when the file is put in place is passed over at most this many
// times in a row; only a file system that keeps reporting a clash for free names gets there.
constexpr int kMaxPlacementClashes = 1000;
// The longest name most Linux file systems take, in bytes.
constexpr qsizetype kMaxNameBytes = 255;

// One spelling per folder: "out//cat/" and "out/cat" give one key.
QString hintKey(const QString& folder, const QString& name) {
    QString k;
    k.reserve(folder.size() + name.size() + 1);
    for (const QChar c : folder) {
        if (!(isPathSeparator(c) && !k.isEmpty() && isPathSeparator(k.back())))
            k.append(c);
    }
    while (k.size() > 1 && isPathSeparator(k.back()))
        k.chop(1);
    return k + QChar(0) + name;
}

// The first number from `n` on whose numbered name is no file in `folder`.
int firstFreeFrom(const DiskView& disk, const QString& folder, const QString& name, int n) {
    while (disk.isFile(transferTarget(folder, numberedName(name, n))))
        ++n;
    return n;
}

FsResult put(const FileOps& fs, const QString& source, const QString& target, TransferMode mode, bool replace,
             const TransferHooks& hooks) {
    if (mode == TransferMode::Copy)
        return fs.copyFile(source, target, replace ? CopyMode::Replace : CopyMode::FailIfExists, hooks);
    return fs.moveFile(source, target, replace ? MoveMode::Replace : MoveMode::NoReplace, hooks);
}

// ReplaceOlder's comparison: for a copy the source not older than the target, for a move newer.
bool replacesOlder(const DiskView& disk, const QString& source, const QString& target, TransferMode mode) {
    std::optional<FileTime> sourceTime = disk.modificationTime(source);
    std::optional<FileTime> targetTime = disk.isFile(target) ? disk.modificationTime(target) : std::nullopt;
    // A drive that keeps whole seconds (or two) must not make a file look newer than its own copy.
    if (sourceTime && targetTime) {
        const qint64 step = qMax(disk.timeStep(source), disk.timeStep(target));
        sourceTime = truncatedTo(*sourceTime, step);
        targetTime = truncatedTo(*targetTime, step);
    }
    // nullopt compares below every real time: a missing target, a time that cannot be read.
    return mode == TransferMode::Copy ? !(sourceTime < targetTime) : sourceTime > targetTime;
}

TransferAction placed(TransferMode mode) {
    return mode == TransferMode::Copy ? TransferAction::Copy : TransferAction::Move;
}

} // namespace

DiskView::~DiskView() = default;

std::optional<FileTime> DiskAsItIs::modificationTime(const QString& path) const {
    return fs_.modificationTimeOpened(path);
}

int NameHints::last(const QString& folder, const QString& name) const {
    return last_.value(hintKey(folder, name), 0);
}

void NameHints::used(const QString& folder, const QString& name, int number) {
    if (number <= 0)
        return;
    const QString key = hintKey(folder, name);
    // Taking a freed number leaves the higher ones below the hint as taken as they were.
    int& last = last_[key];
    last = qMax(last, number);
    if (const auto it = freed_.find(key); it != freed_.end()) {
        it->erase(number);
        if (it->empty())
            freed_.erase(it);
    }
}

void NameHints::removed(const QString& path) {
    // Only "base_n.ext" can have been a numbered name, of the name "base.ext".
    qsizetype slash = path.size() - 1;
    while (slash >= 0 && !isPathSeparator(path.at(slash)))
        --slash;
    const QString fileName = path.mid(slash + 1);
    const QString base = baseNameOf(fileName);
    const qsizetype underscore = base.lastIndexOf(QLatin1Char('_'));
    if (underscore < 0)
        return;
    const QStringView digits = QStringView(base).mid(underscore + 1);
    bool ok = false;
    const int n = digits.toInt(&ok);
    if (!ok || n <= 0 || digits.front() == QLatin1Char('0') || !digits.front().isDigit())
        return;
    const QString name = base.left(underscore) + extensionOf(fileName);
    const QString key = hintKey(slash < 0 ? QString() : path.left(slash), name);
    // Numbers above the hint are looked at anyway.
    if (n <= last_.value(key, 0))
        freed_[key].insert(n);
}

std::set<int> NameHints::freed(const QString& folder, const QString& name) const {
    return freed_.value(hintKey(folder, name));
}

QString transferTarget(const QString& subFolder, const QString& name) {
    return subFolder + pathSeparator() + name;
}

QString overwriteQuestionText(const QString& target) {
    return QStringLiteral("文件") + target + QStringLiteral("已存在，是否覆盖？");
}

bool subFolderStaysInside(const QString& subFolderName) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= subFolderName.size(); ++i) {
        if (i == subFolderName.size() || isPathSeparator(subFolderName.at(i))) {
            if (QStringView(subFolderName).mid(start, i - start) == QLatin1String(".."))
                return false;
            start = i + 1;
        }
    }
    return true;
}

QString numberedName(const QString& name, int n) {
    QString base = baseNameOf(name);
    const QString tail = QLatin1Char('_') + QString::number(n) + extensionOf(name);
    const qsizetype tailBytes = encodeLocal8(tail).size();
    if (encodeLocal8(base).size() + tailBytes > kMaxNameBytes) {
        // Characters come off the end of the base, a surrogate pair as one character.
        while (!base.isEmpty() && encodeLocal8(base).size() + tailBytes > kMaxNameBytes) {
            const bool pair = base.size() >= 2 && base.back().isLowSurrogate() &&
                              base.at(base.size() - 2).isHighSurrogate();
            base.chop(pair ? 2 : 1);
        }
    }
    return base + tail;
}

QString freeName(const DiskView& disk, const NameHints& hints, const QString& folder, const QString& name,
                 int* number) {
    int n = 0;
    if (disk.isFile(transferTarget(folder, name))) {
        n = 1;
        // Names up to the hint were taken when it was set; since then only the run's own moves
        // can have freed one, and the hint itself is checked again.
        const int hint = hints.last(folder, name);
        if (hint > 0) {
            n = hint + 1;
            for (const int f : hints.freed(folder, name)) {
                if (!disk.isFile(transferTarget(folder, numberedName(name, f)))) {
                    n = f;
                    break;
                }
            }
            if (n == hint + 1 && !disk.isFile(transferTarget(folder, numberedName(name, hint))))
                n = 1; // removed by someone else: nothing below it can be trusted either
        }
        n = firstFreeFrom(disk, folder, name, n);
    }
    if (number)
        *number = n;
    return n == 0 ? name : numberedName(name, n);
}

bool CopyFileIfNewer(const DiskView& disk, const QString& source, const QString& target) {
    return replacesOlder(disk, source, target, TransferMode::Copy);
}

bool MoveFileIfNewer(const DiskView& disk, const QString& source, const QString& target) {
    return replacesOlder(disk, source, target, TransferMode::Move);
}

TransferDecision decideTransfer(const DiskView& disk, const NameHints& hints, const QString& source,
                                const QString& subFolder, const QString& name, TransferMode mode,
                                ClashPolicy policy) {
    TransferDecision d;
    d.target = transferTarget(subFolder, name);
    const bool clash = disk.isFile(d.target);
    if (!disk.isFile(source)) {
        // A listed folder is neither moved nor asked about.
        if (disk.isDir(source)) {
            d.action = TransferAction::SourceMissing;
            return d;
        }
        if (!(policy == ClashPolicy::Ask && clash)) {
            d.action = disk.movedAway(source) ? TransferAction::SourceMoved : TransferAction::SourceMissing;
            return d;
        }
        d.sourceMoved = disk.movedAway(source);
    }
    switch (policy) {
    case ClashPolicy::Skip:
        d.action = clash ? TransferAction::Skip : placed(mode);
        return d;
    case ClashPolicy::Overwrite:
        d.action = clash ? TransferAction::Overwrite : placed(mode);
        d.replace = true;
        return d;
    case ClashPolicy::Ask:
        // Without a clash nothing may be replaced (something could appear under the name meanwhile).
        d.action = clash ? TransferAction::Ask : placed(mode);
        d.replace = clash;
        return d;
    case ClashPolicy::AutoNumber:
        d.action = placed(mode);
        d.numbering = true;
        if (clash) {
            d.target = transferTarget(subFolder, freeName(disk, hints, subFolder, name, &d.number));
            d.action = TransferAction::AutoNumber;
        }
        return d;
    case ClashPolicy::ReplaceOlder: {
        const bool replaces = mode == TransferMode::Copy ? CopyFileIfNewer(disk, source, d.target)
                                                         : MoveFileIfNewer(disk, source, d.target);
        d.replace = replaces;
        d.action = !replaces ? TransferAction::KeepNewer
                   : clash   ? TransferAction::ReplaceOlder
                             : placed(mode);
        return d;
    }
    }
    return d;
}

bool countsAsFailure(const TransferResult& result) {
    return result.outcome == TransferOutcome::Failed;
}

namespace {

// Carries out a decision (see TransferFile).
TransferResult carryOut(const FileOps& fs, RunHost& host, NameHints& hints, const QString& source,
                        const QString& subFolder, const QString& name, TransferMode mode,
                        const TransferDecision& decision, const TransferHooks& hooks) {
    TransferResult r;
    r.source = source;
    r.decision = decision;
    switch (decision.action) {
    case TransferAction::Skip:
    case TransferAction::KeepNewer:
    case TransferAction::SourceMoved:
        r.outcome = TransferOutcome::Unchanged;
        return r;
    case TransferAction::SourceMissing:
        r.outcome = TransferOutcome::Failed;
        r.fs = FsResult::failed(fs.isDir(source) ? EISDIR : ENOENT, source);
        return r;
    case TransferAction::Ask: {
        const bool yes = host.askOverwrite(decision.target);
        // The question is put even for a source that is gone; Yes then does nothing. Gone
        // without this run having moved it, it is missing, as under every other policy.
        if (!fs.isFile(source)) {
            r.outcome = decision.sourceMoved ? TransferOutcome::Unchanged : TransferOutcome::Failed;
            if (!decision.sourceMoved)
                r.fs = FsResult::failed(ENOENT, source);
            return r;
        }
        if (!yes) {
            r.outcome = TransferOutcome::Unchanged;
            return r;
        }
        break;
    }
    default:
        break;
    }

    int n = decision.number;
    for (int clashes = 0;; ++clashes) {
        r.fs = put(fs, source, r.decision.target, mode, decision.replace, hooks);
        // Only an auto-numbered name that something other than a folder took since it was
        // chosen sends the file on to the next number.
        if (!decision.numbering || r.fs.error != EEXIST || fs.isDir(r.decision.target) ||
            clashes >= kMaxPlacementClashes)
            break;
        n = firstFreeFrom(DiskAsItIs(fs), subFolder, name, n + 1);
        r.decision.action = TransferAction::AutoNumber;
        r.decision.target = transferTarget(subFolder, numberedName(name, n));
        r.decision.number = n;
    }
    if (r.fs.ok()) {
        // Nothing written: the target already was the source itself.
        r.outcome = r.fs.wrote ? TransferOutcome::Done : TransferOutcome::Unchanged;
        hints.used(subFolder, name, r.decision.number);
        if (r.fs.wrote && mode == TransferMode::Move)
            hints.removed(source);
    } else {
        r.outcome = r.fs.error == ECANCELED && host.stopRequested() ? TransferOutcome::Stopped
                                                                    : TransferOutcome::Failed;
    }
    return r;
}

} // namespace

TransferResult TransferFile(const FileOps& fs, RunHost& host, const QString& source, const QString& subFolder,
                            const QString& name, TransferMode mode, ClashPolicy policy, TransferState* state,
                            const TransferHooks& hooks) {
    std::optional<TransferState> alone;
    if (!state)
        state = &alone.emplace(fs);
    const TransferDecision decision =
        decideTransfer(state->disk, state->hints, source, subFolder, name, mode, policy);
    TransferResult r = carryOut(fs, host, state->hints, source, subFolder, name, mode, decision, hooks);
    if (r.outcome == TransferOutcome::Done && mode == TransferMode::Move)
        state->disk.noteMoved(source);
    return r;
}

} // namespace velquin
