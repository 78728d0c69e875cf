#pragma once

#include "ui/criteria/filecriteria.h"

namespace velquin {

// Sorts a file into the folder named by its extension as written (".jpg"; "" for none).
class TypeRule final : public FileRule {
public:
    bool check(RunFrame&) override { return true; }
    ItemOutcome sort(FileItem& item) override;
};

std::unique_ptr<FilePage> makeTypePage(TForm1& window);

} // namespace velquin
