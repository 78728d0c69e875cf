#include "engine/dosdatetime.h"

#include <QDateTime>

namespace velquin {

DosDateTime toDosDateTime(const QDate& date, const QTime& time) {
    if (!date.isValid() || date.year() < 1980 || date.year() > 2107)
        return 0;
    const QTime t = time.isValid() ? time : QTime(0, 0);
    const quint32 packed = quint32(date.year() - 1980) << 25 | quint32(date.month()) << 21 |
                           quint32(date.day()) << 16 | quint32(t.hour()) << 11 | quint32(t.minute()) << 5 |
                           quint32(t.second() / 2);
    return DosDateTime(packed);
}

DosDateTime toDosDateTime(const FileTime& time) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(time.seconds, Qt::LocalTime);
    return toDosDateTime(local.date(), local.time());
}

} // namespace velquin
