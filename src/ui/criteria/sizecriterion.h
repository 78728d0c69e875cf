#pragma once

#include "ui/criteria/filecriteria.h"

#include <QStringList>

#include <optional>

namespace velquin {

enum class SizeUnit { KB = 0, MB = 1 };

// The drop-downs' items, in order: the folder name is made of them.
QStringList sizeTestCaptions(); // "大于", "小于"
QStringList sizeUnitCaptions(); // "KB", "MB"

// What the size page says; an empty choice is a drop-down with nothing selected.
struct SizeChoice {
    std::optional<SizeTest> relation; // nothing selected compares as Less
    QString sizeText;                 // as typed
    std::optional<SizeUnit> unit;     // nothing selected counts in KB
};

// Sorts the files whose length is greater, or less, than the limit (equal never matches) into
// the one folder named after the choice: relation, size as typed and unit ("大于100KB").
class SizeRule final : public FileRule {
public:
    explicit SizeRule(SizeChoice choice) : choice_(std::move(choice)) {}
    bool check(RunFrame& frame) override;
    QString fixedFolder() const override { return folder_; }
    ItemOutcome sort(FileItem& item) override;

private:
    SizeChoice choice_;
    qint64 limit_ = 0; // bytes
    QString folder_;
};

// The limit in bytes: value * 1024, once more for MB, held at the 64-bit bounds instead of wrapping.
qint64 sizeLimitBytes(qint64 value, SizeUnit unit);

std::unique_ptr<FilePage> makeSizePage(TForm1& window);

} // namespace velquin
