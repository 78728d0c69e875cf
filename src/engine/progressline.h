#pragma once

#include "engine/types.h"

#include <QString>

#include <functional>

namespace velquin {

// Milliseconds from any fixed start, never going back.
using MonotonicClock = std::function<qint64()>;
// The system's monotonic clock.
MonotonicClock steadyClock();

// "512 B", "1.5 KB", "3.0 MB", "1.2 GB": 1024 based, one decimal from KB up.
QString byteSizeText(qint64 bytes);
// "剩余约 N 秒", "剩余约 N 分钟", "剩余约 N 小时 M 分钟" for a time left in milliseconds.
QString timeLeftText(qint64 ms);
// The line of a folder walk: the folder being listed and the count found so far.
QString listingLine(const QString& folder, qsizetype found);

// The line under a run's bar: what is being sorted, items done of all, bytes done of the known
// total, the speed and, once the work has gone on steadily for a while, the time left. Fed as the
// run goes; it reads the time only from its clock, so what it says at a moment is reproducible.
//
// The total bytes are not known before the run (finding them would mean reading every listed
// file's size first, a stall on a cold drive): they are the bytes of the files copied so far plus
// the whole size of the file in flight, and grow as the run goes.
class RunProgress {
public:
    explicit RunProgress(MonotonicClock clock = steadyClock());

    // Item `index` of `count` begins: the items before it are done.
    void itemStarted(qsizetype index, qsizetype count);
    // A file of the item begins its transfer.
    void fileStarted(const QString& name, TransferMode mode);
    // `done` of the `total` bytes of the file in flight are through.
    void fileBytes(qint64 done, qint64 total);
    // The file in flight is finished (or failed): its bytes so far stay counted.
    void fileEnded();

    // The line as it stands now.
    QString text() const;
    // The line when it is time to show it again: the first time and then at most every
    // kInterval milliseconds, so a run over many small files does not redraw per file; "" else,
    // with `*due` false.
    QString takeIfDue(bool* due);

    static constexpr qint64 kInterval = 250;
    // Work is steady enough to estimate the time left after this long.
    static constexpr qint64 kSteadyAfter = 3000;
    // A file whose copy has lasted this long counts as big: the time left goes by its bytes.
    static constexpr qint64 kBigFileAfter = 1000;

private:
    QString textAt(qint64 now) const;
    qint64 timeLeftMs(qint64 now) const;

    MonotonicClock clock_;
    qint64 start_ = -1;
    qint64 lastShown_ = -1;
    qsizetype done_ = 0;
    qsizetype count_ = 0;
    QString name_;
    TransferMode mode_ = TransferMode::Copy;
    qint64 itemStart_ = 0;
    qint64 fileStart_ = 0;
    qint64 bytesBefore_ = 0; // of the files finished
    qint64 fileDone_ = 0;
    qint64 fileTotal_ = 0;
};

} // namespace velquin
