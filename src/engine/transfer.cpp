#include "engine/transfer.h"

#include "engine/runhost.h"
#include "platform/paths.h"

#include <cerrno>

namespace velquin {

namespace {

using CopyMode = FileOps::CopyMode;
using MoveMode = FileOps::MoveMode;

// A name that turns out taken when the file is put in place is passed over at most this many
// times in a row; only a file system that keeps reporting a clash for free names gets there.
constexpr int kMaxPlacementClashes = 1000;

FileTime timeOrZero(const FileOps& fs, const QString& path) {
    return fs.modificationTimeOpened(path).value_or(FileTime{});
}

QString numberedName(const QString& name, int n) {
    return baseNameOf(name) + QLatin1Char('_') + QString::number(n) + extensionOf(name);
}

// The first candidate from number `n` on (n = 0: the name itself) that is not an existing file;
// `n` is left at the number the candidate carries.
QString freeNameFrom(const FileOps& fs, const QString& folder, const QString& name, int& n) {
    QString candidate = n == 0 ? name : numberedName(name, n);
    while (fs.isFile(transferTarget(folder, candidate))) {
        ++n;
        candidate = numberedName(name, n);
    }
    return candidate;
}

FsResult put(const FileOps& fs, const QString& source, const QString& target, TransferMode mode,
             bool replace) {
    if (mode == TransferMode::Copy)
        return fs.copyFile(source, target, replace ? CopyMode::Replace : CopyMode::FailIfExists);
    return fs.moveFile(source, target, replace ? MoveMode::Replace : MoveMode::NoReplace);
}

void transferAutoNumber(const FileOps& fs, const QString& source, const QString& subFolder,
                        const QString& name, TransferMode mode) {
    int n = 0;
    for (int clashes = 0; clashes < kMaxPlacementClashes; ++clashes) {
        const QString target = transferTarget(subFolder, freeNameFrom(fs, subFolder, name, n));
        const FsResult r = put(fs, source, target, mode, false);
        // Only a file that appeared under the name since the search (or a spelling the file
        // system folds together) sends us on; a folder or anything else there fails the transfer.
        if (r.error != EEXIST || !fs.isFile(target))
            return;
        ++n;
    }
}

} // namespace

QString transferTarget(const QString& subFolder, const QString& name) {
    return subFolder + pathSeparator() + name;
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

QString overwriteQuestionText(const QString& target) {
    return QString::fromUtf8("文件") + target + QString::fromUtf8("已存在，是否覆盖？");
}

bool CopyFileIfNewer(const FileOps& fs, const QString& source, const QString& target) {
    const bool older = timeOrZero(fs, source) < timeOrZero(fs, target);
    return fs.copyFile(source, target, older ? CopyMode::FailIfExists : CopyMode::Replace).ok();
}

bool MoveFileIfNewer(const FileOps& fs, const QString& source, const QString& target) {
    if (!(timeOrZero(fs, source) > timeOrZero(fs, target)))
        return false;
    return fs.moveFile(source, target, MoveMode::Replace).ok();
}

QString freeName(const FileOps& fs, const QString& folder, const QString& name) {
    int n = 0;
    return freeNameFrom(fs, folder, name, n);
}

void TransferFile(const FileOps& fs, RunHost& host, const QString& source, const QString& subFolder,
                  const QString& name, TransferMode mode, ClashPolicy policy) {
    // A listed folder would be renamed whole by a move, and is not worth a question; a copy
    // refuses it by itself, so the common case spends no extra look-up.
    if ((mode == TransferMode::Move || policy == ClashPolicy::Ask) && fs.isDir(source))
        return;
    const QString target = transferTarget(subFolder, name);
    switch (policy) {
    case ClashPolicy::Skip:
        put(fs, source, target, mode, false);
        return;
    case ClashPolicy::Overwrite:
        put(fs, source, target, mode, true);
        return;
    case ClashPolicy::Ask:
        if (fs.isFile(target)) {
            if (host.askOverwrite(target))
                put(fs, source, target, mode, true);
        } else {
            // Nothing to ask about, so nothing may be replaced either (something could appear
            // under the name meanwhile).
            put(fs, source, target, mode, false);
        }
        return;
    case ClashPolicy::AutoNumber:
        transferAutoNumber(fs, source, subFolder, name, mode);
        return;
    case ClashPolicy::ReplaceOlder:
        if (mode == TransferMode::Copy)
            CopyFileIfNewer(fs, source, target);
        else
            MoveFileIfNewer(fs, source, target);
        return;
    }
}

} // namespace velquin
