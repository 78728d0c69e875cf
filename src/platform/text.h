#pragma once

#include <QString>

#include <optional>

namespace velquin {

// Removes blanks and control characters (everything up to U+0020) from both ends.
QString trimBlanks(const QString& text);
// Maps the ASCII letters a to z to A to Z; every other character stays as it is.
QString asciiUpper(const QString& text);

// Integer text: leading blanks, an optional sign, then decimal digits or a hexadecimal value
// behind "$", "x" or "0x" (x in either case). No trailing characters, blanks included. Out of
// range is not an integer; a hexadecimal value may use the full unsigned width and is read as
// two's complement ("$FFFFFFFF" is -1 as a 32-bit integer).
std::optional<qint32> parseInt32(const QString& text);
std::optional<qint64> parseInt64(const QString& text);

// Why a system call failed, as the program tells the user: its own Chinese words for the errors
// a sort meets, whatever locales the system has installed; the system's text for the rest.
QString systemReason(int error);

} // namespace velquin
