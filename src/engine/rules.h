#pragma once

#include <QString>
#include <QStringList>

namespace velquin {

// Splits the keyword text at every ASCII blank (only code 32), as typed: leading, trailing and
// repeated blanks give empty keywords, duplicates and order are kept.
QStringList buildKeywordList(const QString& text);

// True when the keyword, trimmed, is not empty and occurs in `name` with ASCII letters folded.
bool keywordMatches(const QString& keyword, const QString& name);

// The stretch of `count` characters of `text` from position `first` (counted from 1). A text of
// more than 254 UTF-16 units gives the empty text; a first position below 1 starts at the first
// character without reducing the count; a negative count gives the empty text.
QString CopyByChars(const QString& text, int first, int count);

// The name range of both runs, the characters `first` to `last` of `name`: CopyByChars with the
// count last - first + 1, held within int at both ends, so that no range wraps round to a
// different stretch.
QString CopyNameRange(const QString& name, int first, int last);

// Cuts the pieces of the filter text (separated by "*") out of `name`, one piece after another,
// each occurrence left to right without overlap, letter case exact; empty pieces cut nothing.
QString applyNameFilter(const QString& name, const QString& filterText);

} // namespace velquin
