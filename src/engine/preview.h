#pragma once

#include <QString>

namespace velquin {

// One row of the preview: one transfer the run would make, in run order, or one listed item
// the criterion does not sort (`matched` false; shown greyed at the end).
struct PreviewRow {
    QString source;
    QString target; // full path; empty for an item that is not sorted
    QString action; // what would happen, in words
    bool matched = true;
    bool conflict = false; // a file is already at the target
};

} // namespace velquin
