#pragma once

#include "ui/criteria/filecriteria.h"

#include <QStringList>

namespace velquin {

// Sorts a file into one folder per keyword its base name contains (ASCII letters folded), a
// copy for each; the keywords are the field's text split at every blank, as typed.
class KeywordRule final : public FileRule {
public:
    explicit KeywordRule(QString keysText) : keysText_(std::move(keysText)) {}
    bool check(RunFrame& frame) override;
    ItemOutcome sort(FileItem& item) override;

private:
    QString keysText_;
    QStringList keywords_;
};

std::unique_ptr<FilePage> makeKeywordPage(TForm1& window);

} // namespace velquin
