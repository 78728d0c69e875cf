#pragma once

#include "platform/fileops.h"

#include <QDate>
#include <QTime>

namespace velquin {

// The packed 32-bit date and time: bits 25-31 year - 1980, 21-24 month, 16-20 day, 11-15 hour,
// 5-10 minute, 0-4 seconds / 2. Compared as signed values (the order of time for 1980 to 2043).
using DosDateTime = qint32;

// A stamp that could not be read; less than every packed time of the years 1980 to 2043.
constexpr DosDateTime kUnreadableDosDateTime = -1;

// Packs a local date and time as it stands; before 1980 or after 2107 gives 0.
DosDateTime toDosDateTime(const QDate& date, const QTime& time);
// Packs a file time (universal) after converting it to local time; out of range gives 0.
DosDateTime toDosDateTime(const FileTime& time);

} // namespace velquin
