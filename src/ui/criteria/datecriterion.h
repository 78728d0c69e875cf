#pragma once

#include "engine/dosdatetime.h"
#include "ui/criteria/filecriteria.h"

#include <QDateTime>
#include <QStringList>

namespace velquin {

QStringList dateTestCaptions(); // "早于", "晚于"

// What the date page says: which time stamp, which direction, and the limit.
struct DateChoice {
    DateSource source = DateSource::FromEntry;
    DateTest relation = DateTest::Earlier;
    QDateTime limit; // the date picker's date with the time picker's time
};

// Sorts the files whose stamp, packed as a local date and time, is earlier, or later, than the
// limit (equal never matches) into the one folder named after the limit's short date, with "/"
// and "\" as "-". A stamp that cannot be read is earlier than every limit.
class DateRule final : public FileRule {
public:
    explicit DateRule(DateChoice choice) : choice_(std::move(choice)) {}
    bool check(RunFrame& frame) override;
    QString fixedFolder() const override { return folder_; }
    ItemOutcome sort(FileItem& item) override;

private:
    DateChoice choice_;
    DosDateTime threshold_ = 0;
    QString folder_;
};

std::unique_ptr<FilePage> makeDatePage(TForm1& window);

} // namespace velquin
