#include "platform/fileops_parts.h"

#include "platform/dirwalk.h"
#include "platform/names.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>

namespace velquin {

QByteArray caseSwapped(QByteArray name) {
    for (char& c : name)
        c = c >= 'a' && c <= 'z' ? char(c - 32) : c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    return name;
}

namespace {

// Whether `name` in `folder` is found under its case-swapped spelling as well, which is then no
// entry of its own; nullopt when the name has no letters to swap.
std::optional<bool> foundSwapped(SysCalls& calls, const QByteArray& folder, const QByteArray& name) {
    const QByteArray swapped = caseSwapped(name);
    if (swapped == name)
        return std::nullopt;
    struct stat st;
    if (calls.lstat(joined(folder, swapped).constData(), &st) != 0)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    const auto entries = readFolder(calls, folder);
    if (!entries)
        return std::nullopt;
    for (const DirEntry& e : *entries) {
        if (encodeLocal8(e.name) == swapped)
            return false; // a second file whose name differs in case only
    }
    return true;
}

struct FoldingAnswers {
    std::mutex mutex;
    std::map<dev_t, bool> known;
};

FoldingAnswers& foldingAnswers() {
    static FoldingAnswers answers;
    return answers;
}

} // namespace

std::optional<bool> knownFolding(dev_t device) {
    FoldingAnswers& a = foldingAnswers();
    const std::lock_guard<std::mutex> lock(a.mutex);
    if (const auto it = a.known.find(device); it != a.known.end())
        return it->second;
    return std::nullopt;
}

bool foldsCase(SysCalls& calls, dev_t device, const QByteArray& folder, const QByteArray& name) {
    if (const std::optional<bool> known = knownFolding(device))
        return *known;
    std::optional<bool> folds = foundSwapped(calls, folder, name);
    if (!folds) {
        const QByteArray probe = temporaryName();
        const QByteArray path = joined(folder, probe);
        const int fd = calls.open(path.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0) {
            calls.close(fd);
            struct stat st;
            folds = calls.lstat(joined(folder, probe.toUpper()).constData(), &st) == 0;
            calls.unlink(path.constData());
        }
    }
    if (!folds) {
        if (const auto entries = readFolder(calls, folder)) {
            for (const DirEntry& e : *entries) {
                if ((folds = foundSwapped(calls, folder, encodeLocal8(e.name))))
                    break;
            }
        }
    }
    if (!folds)
        return true; // cannot tell: one file, maybe
    FoldingAnswers& a = foldingAnswers();
    const std::lock_guard<std::mutex> lock(a.mutex);
    a.known[device] = *folds;
    return *folds;
}

bool mayBeOne(SysCalls& calls, const QByteArray& a, const struct stat& sa, const QByteArray& b,
              const struct stat& sb) {
    if (sameObject(sa, sb))
        return true;
    // Two inodes on a drive known to keep letter case are two files: no need to resolve paths.
    if (sa.st_dev != sb.st_dev || knownFolding(sb.st_dev) == false)
        return false;
    const QByteArray ra = resolved(a);
    const QByteArray rb = resolved(b);
    if (ra.isEmpty() || rb.isEmpty())
        return false;
    if (ra == rb)
        return true;
    if (decodeLocal8(ra).toCaseFolded() != decodeLocal8(rb).toCaseFolded())
        return false;
    const PathParts parts = splitPath(rb);
    return foldsCase(calls, sb.st_dev, parts.folder, parts.name);
}

} // namespace velquin
