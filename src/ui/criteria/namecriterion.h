#pragma once

#include "ui/criteria/filecriteria.h"

namespace velquin {

// What the name page says: the range of the base name to keep (when on), the pieces to cut out
// of it, and whether only folders that exist already take files.
struct NameChoice {
    bool useRange = false;
    QString beginText; // the range's fields, as typed
    QString endText;
    QString filterText;
    bool onlyExistingTargets = false;
};

// Sorts a file into the folder named by its base name, or by the range of it, with the filter's
// pieces cut out.
class NameRule final : public FileRule {
public:
    explicit NameRule(NameChoice choice) : choice_(std::move(choice)) {}
    bool check(RunFrame& frame) override;
    ItemOutcome sort(FileItem& item) override;

private:
    NameChoice choice_;
    int begin_ = 0; // the checked range, exchanged when reversed
    int end_ = 0;
};

std::unique_ptr<FilePage> makeNamePage(TForm1& window);

} // namespace velquin
