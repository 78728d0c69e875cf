#pragma once

#include <QByteArray>
#include <QString>

namespace velquin {

// File names and file contents are bytes; the program works on QString. These two convert at the
// boundary with the local 8-bit encoding (UTF-8 here). A byte that is not valid in that encoding
// decodes to the lone surrogate U+DC00 + byte (U+DC80 to U+DCFF) and encodes back to the same byte, so every
// name survives decodeLocal8 -> encodeLocal8 byte for byte.
QString decodeLocal8(const QByteArray& bytes);
QByteArray encodeLocal8(const QString& text);

} // namespace velquin
