#include "ui/criteria/sizecriterion.h"

#include "engine/runframe.h"
#include "engine/transfer.h"
#include "platform/text.h"
#include "settings/settingkeys.h"
#include "ui/accessibility.h"
#include "ui/form1.h"
#include "ui/windowparts.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

namespace velquin {

QStringList sizeTestCaptions() {
    return {QStringLiteral("大于"), QStringLiteral("小于")};
}

QStringList sizeUnitCaptions() {
    return {QStringLiteral("KB"), QStringLiteral("MB")};
}

qint64 sizeLimitBytes(qint64 value, SizeUnit unit) {
    const qint64 factor = unit == SizeUnit::MB ? 1024 * 1024 : 1024;
    qint64 result = 0;
    if (__builtin_mul_overflow(value, factor, &result))
        return value < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return result;
}

bool SizeRule::check(RunFrame& frame) {
    const QString& text = choice_.sizeText;
    const auto value = trimBlanks(text).isEmpty() ? std::nullopt : parseInt64(text);
    if (!value)
        return frame.fail(QStringLiteral("请输入正确的文件大小!"), FocusTarget::EdtSize);
    limit_ = sizeLimitBytes(*value, choice_.unit.value_or(SizeUnit::KB));
    folder_ = choiceCaption(sizeTestCaptions(), choice_.relation) + text +
              choiceCaption(sizeUnitCaptions(), choice_.unit);
    return true;
}

ItemOutcome SizeRule::sort(FileItem& item) {
    const auto size = item.disk().openedFileSize(item.path());
    if (!size)
        return ItemOutcome::Dropped;
    const bool match =
        choice_.relation.value_or(SizeTest::Less) == SizeTest::Greater ? *size > limit_ : *size < limit_;
    return match && item.sortInto(folder_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

class SizePage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 按文件大小分拣"); }
    const char* sheetName() const override { return "TabSheet3"; }
    void build(QWidget* sheet) override {
        w_.TabSheet3 = sheet;
        QFrame* p = whitePanel(sheet);
        w_.Label5 = pageHeading(p, "Label5", QStringLiteral("     按文件大小分拣"));
        w_.Label6 = namedLabel(p, "Label6", QStringLiteral("分拣出满足条件的文件："));
        w_.CmbCondition = choiceBox(p, "CmbCondition", sizeTestCaptions());
        w_.EdtSize = named(new QLineEdit(p), "EdtSize");
        w_.EdtSize->setFixedWidth(120);
        nameAfterLabel(w_.CmbCondition, w_.Label6->text());
        nameAfterLabel(w_.EdtSize, w_.Label6->text());
        w_.CmbUnit = choiceBox(p, "CmbUnit", sizeUnitCaptions());
        nameAfterLabel(w_.CmbUnit, QStringLiteral("大小单位"));
        installKeyFilter(w_.EdtSize, &TForm1::Edit1KeyPress);
        headingOverRow(p, w_.Label5, {w_.Label6, w_.CmbCondition, w_.EdtSize, w_.CmbUnit});
    }
    std::shared_ptr<FileRule> rule() const override {
        return std::make_shared<SizeRule>(SizeChoice{selectedChoice<SizeTest>(w_.CmbCondition),
                                                     w_.EdtSize->text(),
                                                     selectedChoice<SizeUnit>(w_.CmbUnit)});
    }
    SettingBindings bindings() override {
        return {binding(keys::CmbCondition, w_.CmbCondition), binding(keys::CmbUnit, w_.CmbUnit),
                binding(keys::FileSize, w_.EdtSize)};
    }
    QWidget* field(FocusTarget target) const override {
        return target == FocusTarget::EdtSize ? w_.EdtSize : nullptr;
    }
};

} // namespace

std::unique_ptr<FilePage> makeSizePage(TForm1& window) {
    return std::make_unique<SizePage>(window);
}

} // namespace velquin
