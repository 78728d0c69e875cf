#pragma once

#include "engine/types.h"

#include <QString>

namespace velquin {

// One transfer a run would make, as the preview shows it, in run order.
struct PreviewRow {
    QString source;
    QString target; // full path
    QString action; // in words: "复制", "移动", "跳过（已存在）", "覆盖", "自动编号为 <name>", ...
    bool matched = true;   // false: no rule takes the item ("不匹配"); shown after the others
    bool conflict = false; // the target is taken, on the disk or by an earlier row
};

// The totals of the preview's count line.
struct PreviewCounts {
    int transfers = 0; // files that would be copied (or moved)
    int conflicts = 0;
    int unmatched = 0;
    ClashPolicy policy = ClashPolicy::Skip; // what the conflicts were decided under
};

} // namespace velquin
