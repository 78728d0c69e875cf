#pragma once

#include "platform/fileops.h"

#include <QDate>
#include <QTime>

namespace velquin {

// The packed 32-bit date and time: bits 25-31 year - 1980, 21-24 month, 16-20 day, 11-15 hour,
// 5-10 minute, 0-4 seconds / 2. Compare them with dosTimeOrder, never as they are: the years
// from 2044 on have the sign bit set.
using DosDateTime = qint32;

// A stamp that could not be read; below every packed time (its bits are no valid month).
constexpr DosDateTime kUnreadableDosDateTime = -1;

// A key that orders packed times as time goes, 1980 to 2107, with kUnreadableDosDateTime below all.
constexpr qint64 dosTimeOrder(DosDateTime t) {
    return t == kUnreadableDosDateTime ? -1 : qint64(quint32(t));
}

// Packs a local date and time as it stands; before 1980 or after 2107 gives 0.
DosDateTime toDosDateTime(const QDate& date, const QTime& time);
// Packs a file time (universal) after converting it to local time; out of range gives 0.
DosDateTime toDosDateTime(const FileTime& time);

} // namespace velquin
