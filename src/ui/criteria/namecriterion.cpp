#include "ui/criteria/namecriterion.h"

#include "engine/rules.h"
#include "engine/runframe.h"
#include "engine/transfer.h"
#include "platform/paths.h"
#include "ui/form1.h"
#include "ui/illustrations.h"
#include "ui/windowparts.h"

#include <QCheckBox>
#include <QLineEdit>

namespace velquin {

bool NameRule::check(RunFrame& frame) {
    return !choice_.useRange || frame.checkNameRange(choice_.beginText, choice_.endText, begin_, end_);
}

ItemOutcome NameRule::sort(FileItem& item) {
    QString name = baseNameOf(item.path());
    if (choice_.useRange)
        name = CopyNameRange(name, begin_, end_);
    name = applyNameFilter(name, choice_.filterText);
    if (!subFolderStaysInside(name))
        return ItemOutcome::NotMatched;
    if (choice_.onlyExistingTargets && !item.disk().isDir(item.outputFolder() + name))
        return ItemOutcome::Dropped;
    return item.sortInto(name, true) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

// The name page is built by the window, which shares it with the folder window.
class NamePage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 按文件名分拣"); }
    const char* sheetName() const override { return "TabSheet1"; }
    void build(QWidget* sheet) override {
        w_.TabSheet1 = sheet;
        w_.buildNamePage(QStringLiteral("     按文件名称分拣"), &nameIllustration,
                         QStringLiteral("只按文件名部分进行分拣，从："),
                         QStringLiteral("只分拣与输出文件夹下已存在目录的相匹配的文件项"));
        installKeyFilter(w_.EdtPartNameBegin, &TForm1::EdtPartNameBeginKeyPress);
        installKeyFilter(w_.EdtPartNameEnd, &TForm1::EdtPartNameBeginKeyPress);
    }
    std::shared_ptr<FileRule> rule() const override {
        return std::make_shared<NameRule>(NameChoice{w_.ChkFileNamePart->isChecked(),
                                                     w_.EdtPartNameBegin->text(), w_.EdtPartNameEnd->text(),
                                                     w_.EdtFilter->text(), w_.ChkOnlyMatchDir->isChecked()});
    }
};

} // namespace

std::unique_ptr<FilePage> makeNamePage(TForm1& window) {
    return std::make_unique<NamePage>(window);
}

} // namespace velquin
