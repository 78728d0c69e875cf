#pragma once

#include "platform/fileops.h"

#include <QHash>
#include <QString>

namespace velquin {

// The finest step, in nanoseconds, in which the drive holding the existing folder `folder` keeps
// modification times: 1 on ext4, tmpfs and the like, 1000000000 on exFAT through FUSE,
// 2000000000 on FAT. Found by setting a time with odd seconds and nanoseconds on a hidden file
// made in the folder for the purpose and reading it back; where nothing can be made there, by
// the kind of file system (FUSE drives then count as keeping whole seconds). 1 when neither
// tells.
qint64 probeTimeStep(SysCalls& calls, const QByteArray& folder);

// The time rounded down to a multiple of `step` nanoseconds (a step from probeTimeStep).
FileTime truncatedTo(const FileTime& time, qint64 step);

// The time steps of the drives one run meets, each probed once when first needed.
class TimeSteps {
public:
    explicit TimeSteps(const FileOps& fs) : fs_(fs) {}
    // The step of the drive the existing file or folder `path` lies on; 1 when it is not there.
    qint64 of(const QString& path) const;

private:
    const FileOps& fs_;
    mutable QHash<quint64, qint64> known_;
};

} // namespace velquin
