#include "ui/criteria/typecriterion.h"

#include "platform/paths.h"
#include "ui/form1.h"
#include "ui/illustrations.h"
#include "ui/windowparts.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

namespace velquin {

ItemOutcome TypeRule::sort(FileItem& item) {
    return item.sortInto(extensionOf(item.path()), true) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

// Heading and illustration only: the type filter of the options group is all this criterion needs.
class TypePage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 按文件类型分拣"); }
    const char* sheetName() const override { return "TabSheet2"; }
    void build(QWidget* sheet) override {
        w_.TabSheet2 = sheet;
        QFrame* p = whitePanel(sheet);
        w_.Label3 = pageHeading(p, "Label3", QStringLiteral("     按文件类型分拣"));
        w_.Image1 = named(typeIllustration(p), "Image1");
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(6, 4, 12, 4);
        grid->addWidget(w_.Label3, 0, 0);
        grid->addWidget(w_.Image1, 1, 0, Qt::AlignTop | Qt::AlignLeft);
        grid->setRowStretch(1, 1);
        grid->setColumnStretch(1, 1);
    }
    std::shared_ptr<FileRule> rule() const override { return std::make_shared<TypeRule>(); }
};

} // namespace

std::unique_ptr<FilePage> makeTypePage(TForm1& window) {
    return std::make_unique<TypePage>(window);
}

} // namespace velquin
