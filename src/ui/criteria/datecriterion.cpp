#include "ui/criteria/datecriterion.h"

#include "engine/runframe.h"
#include "engine/transfer.h"
#include "settings/settingkeys.h"
#include "ui/accessibility.h"
#include "ui/form1.h"
#include "ui/windowparts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace velquin {

QStringList dateTestCaptions() {
    return {QStringLiteral("早于"), QStringLiteral("晚于")};
}

bool DateRule::check(RunFrame&) {
    folder_ = dateFolderName(choice_.limit.date(), true);
    threshold_ = toDosDateTime(choice_.limit.date(), choice_.limit.time());
    return true;
}

ItemOutcome DateRule::sort(FileItem& item) {
    const DiskView& disk = item.disk();
    const auto time = choice_.source == DateSource::FromHandle ? disk.modificationTime(item.path())
                                                               : disk.entryTime(item.path());
    const qint64 order = dosTimeOrder(time ? toDosDateTime(*time) : kUnreadableDosDateTime);
    const qint64 threshold = dosTimeOrder(threshold_);
    const bool match = choice_.relation == DateTest::Earlier ? order < threshold : order > threshold;
    return match && item.sortInto(folder_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

// No heading: the two stamps, the direction, the date and the time in one row. The direction
// and the pickers are shared with the folder window's date page (and their settings keys).
class DatePage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 按文件日期属性分拣"); }
    const char* sheetName() const override { return "TabSheet5"; }
    void build(QWidget* sheet) override {
        w_.TabSheet5 = sheet;
        QFrame* p = whitePanel(sheet);
        w_.RbCreateTime = named(new QRadioButton(QStringLiteral("文件创建时间"), p), "RbCreateTime");
        w_.RbModifyTime = named(new QRadioButton(QStringLiteral("文件修改时间"), p), "RbModifyTime");
        w_.RbCreateTime->setChecked(true);
        tabToCheckedButton({w_.RbCreateTime, w_.RbModifyTime});
        w_.CmbFileDate = choiceBox(p, "CmbFileDate", dateTestCaptions());
        // The direction reads after the stamp it compares: "文件创建时间" "早于" ...
        const auto nameDirection = [this] {
            nameAfterLabel(w_.CmbFileDate,
                           (w_.RbModifyTime->isChecked() ? w_.RbModifyTime : w_.RbCreateTime)->text());
        };
        nameDirection();
        QObject::connect(w_.RbModifyTime, &QRadioButton::toggled, w_.CmbFileDate, nameDirection);
        buildDateTimePickers(p, w_.DtDate, w_.DtTime);
        auto* sources = new QVBoxLayout;
        sources->setSpacing(4);
        sources->addWidget(w_.RbCreateTime);
        sources->addWidget(w_.RbModifyTime);
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addLayout(sources);
        row->addSpacing(10);
        row->addWidget(w_.CmbFileDate);
        row->addWidget(w_.DtDate);
        row->addWidget(w_.DtTime);
        row->addStretch(1);
        auto* rows = new QVBoxLayout(p);
        rows->setContentsMargins(30, 14, 12, 4);
        rows->addLayout(row);
        rows->addStretch(1);
    }
    std::shared_ptr<FileRule> rule() const override {
        // Anything but the first direction, nothing selected included, reads as "later".
        return std::make_shared<DateRule>(
            DateChoice{w_.RbModifyTime->isChecked() ? DateSource::FromHandle : DateSource::FromEntry,
                       w_.CmbFileDate->currentIndex() == 0 ? DateTest::Earlier : DateTest::Later,
                       QDateTime(w_.DtDate->date(), w_.DtTime->time())});
    }
    SettingBindings bindings() override {
        return {binding(keys::FileAttr,
                        {{DateSource::FromEntry, w_.RbCreateTime}, {DateSource::FromHandle, w_.RbModifyTime}},
                        DateSource::FromHandle)};
    }
};

} // namespace

std::unique_ptr<FilePage> makeDatePage(TForm1& window) {
    return std::make_unique<DatePage>(window);
}

} // namespace velquin
