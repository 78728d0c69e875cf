#include "engine/progressline.h"

#include <QDir>
#include <QStringList>

#include <chrono>

namespace velquin {

namespace {
const QChar kGap(0x3000); // an ideographic space between the line's pieces
} // namespace

MonotonicClock steadyClock() {
    return [] {
        using namespace std::chrono;
        return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
}

QString byteSizeText(qint64 bytes) {
    if (bytes < 1024)
        return QString::number(qMax<qint64>(bytes, 0)) + QStringLiteral(" B");
    static const char* const units[] = {"KB", "MB", "GB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 2) {
        value /= 1024.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString listingLine(const QString& folder, qsizetype found) {
    return QStringLiteral("正在列出 %1\u3000已找到 %2 个").arg(QDir::toNativeSeparators(folder)).arg(found);
}

QString timeLeftText(qint64 ms) {
    const qint64 seconds = qMax<qint64>((ms + 999) / 1000, 1);
    if (seconds < 60)
        return QStringLiteral("剩余约 %1 秒").arg(seconds);
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("剩余约 %1 分钟").arg(minutes);
    return QStringLiteral("剩余约 %1 小时 %2 分钟").arg(minutes / 60).arg(minutes % 60);
}

RunProgress::RunProgress(MonotonicClock clock) : clock_(std::move(clock)) {
}

void RunProgress::itemStarted(qsizetype index, qsizetype count) {
    const qint64 now = clock_();
    if (start_ < 0)
        start_ = now;
    itemStart_ = now;
    done_ = index;
    count_ = count;
    name_.clear();
}

void RunProgress::fileStarted(const QString& name, TransferMode mode) {
    const qint64 now = clock_();
    if (start_ < 0)
        start_ = itemStart_ = now;
    name_ = name;
    mode_ = mode;
    fileStart_ = now;
    fileDone_ = 0;
    fileTotal_ = 0;
}

void RunProgress::fileBytes(qint64 done, qint64 total) {
    // A file read twice (compared, then copied) counts once.
    fileDone_ = qMax(fileDone_, done);
    fileTotal_ = qMax(fileTotal_, qMax(total, done));
}

void RunProgress::fileEnded() {
    bytesBefore_ += fileDone_;
    fileDone_ = 0;
    fileTotal_ = 0;
}

QString RunProgress::text() const {
    return textAt(clock_());
}

QString RunProgress::takeIfDue(bool* due) {
    const qint64 now = clock_();
    *due = lastShown_ < 0 || now - lastShown_ >= kInterval;
    if (!*due)
        return QString();
    lastShown_ = now;
    return textAt(now);
}

QString RunProgress::textAt(qint64 now) const {
    QStringList parts;
    if (!name_.isEmpty())
        parts.append(
            (mode_ == TransferMode::Move ? QStringLiteral("正在移动 ") : QStringLiteral("正在复制 ")) +
            name_);
    parts.append(QStringLiteral("%1 / %2").arg(done_).arg(count_));
    const qint64 bytes = bytesBefore_ + fileDone_;
    if (const qint64 total = bytesBefore_ + fileTotal_; total > 0)
        parts.append(byteSizeText(bytes) + QStringLiteral(" / ") + byteSizeText(total));
    const qint64 elapsed = start_ < 0 ? 0 : now - start_;
    // The first moments of a run say little about its speed.
    if (bytes > 0 && elapsed >= kBigFileAfter)
        parts.append(byteSizeText(bytes * 1000 / elapsed) + QStringLiteral("/s"));
    if (const qint64 left = timeLeftMs(now); left >= 0)
        parts.append(timeLeftText(left));
    return parts.join(kGap);
}

qint64 RunProgress::timeLeftMs(qint64 now) const {
    if (start_ < 0 || now - start_ < kSteadyAfter)
        return -1;
    const qsizetype after = qMax<qsizetype>(count_ - done_ - 1, 0); // items after the current one
    // The finished items' average, the best guess for the items still to come.
    const double perItem = done_ > 0 ? double(itemStart_ - start_) / double(done_) : -1.0;
    const qint64 fileTime = now - fileStart_;
    if (!name_.isEmpty() && fileTotal_ > 0 && fileDone_ > 0 && fileTime >= kBigFileAfter) {
        // A big file: its own rate tells its end better than the run's item rate.
        const double perByte = double(fileTime) / double(fileDone_);
        const double rest = double(fileTotal_ - fileDone_) * perByte;
        return qint64(rest + double(after) * (perItem >= 0 ? perItem : double(fileTotal_) * perByte));
    }
    if (perItem < 0)
        return -1;
    return qint64(double(count_ - done_) * perItem);
}

} // namespace velquin
