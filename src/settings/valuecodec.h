#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace velquin {

// How settings values are written as text and read back.

// Decimal text, or hexadecimal behind "0x" or "$" (see parseInt32); nullopt for anything else.
std::optional<int> settingsIntegerFromText(const QString& text);

// The locale's short date format with a year of fewer than four digits widened to four, so a
// stored date never changes century when it is read back.
QString settingsDateFormat(const QLocale& locale = QLocale::system());
// The locale's long time format without its time-zone field: a time of day has no zone, and the
// zone's name does not read back.
QString settingsTimeFormat(const QLocale& locale = QLocale::system());

// A date in settingsDateFormat; ISO form (yyyy-MM-dd) if the locale's form would not read back.
QString settingsDateText(const QDate& date, const QLocale& locale = QLocale::system());
// Reads what settingsDateText wrote (either form); nullopt for an empty or unparsable text.
std::optional<QDate> settingsDateFromText(const QString& text, const QLocale& locale = QLocale::system());
// The time of day in settingsTimeFormat; ISO form (HH:mm:ss) if the locale's form would not read back.
QString settingsTimeText(const QTime& time, const QLocale& locale = QLocale::system());
std::optional<QTime> settingsTimeFromText(const QString& text, const QLocale& locale = QLocale::system());

// The extension patterns of the type filter as one value: each non-empty entry followed by "|".
QString joinPatternList(const QStringList& patterns);
// The inverse: every non-empty piece before a "|" as it is; the rest after the last "|", trimmed,
// when it is not empty. Duplicates are kept.
QStringList splitPatternList(const QString& text);

} // namespace velquin
