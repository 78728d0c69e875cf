#pragma once

#include <QString>

namespace velquin {

// 0 asks for the height, 1 for the width; any other value gives 0.
using ImageDimensionKind = int;

// One pixel dimension of an image file, read from its header (format decided from content,
// not from the extension). 0 for anything that cannot be read as an image; never reports an
// error and never keeps the file open.
quint64 GetImageDimension(const QString& path, ImageDimensionKind kind);

} // namespace velquin
