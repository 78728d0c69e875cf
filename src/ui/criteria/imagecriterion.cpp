#include "ui/criteria/imagecriterion.h"

#include "engine/runframe.h"
#include "platform/imageprobe.h"
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
#include <QRadioButton>
#include <QVBoxLayout>

namespace velquin {

QStringList imageTestCaptions() {
    return {QStringLiteral("大于等于"), QStringLiteral("小于等于"), QStringLiteral("等于")};
}

bool ImageRule::check(RunFrame& frame) {
    const QString& text = choice_.limitText;
    const auto value = trimBlanks(text).isEmpty() ? std::nullopt : parseInt32(text);
    if (!value)
        return frame.fail(QStringLiteral("请输入正确的图片宽高!"), FocusTarget::EdtPic);
    limit_ = *value;
    const std::optional<ImageTest> relation =
        choice_.relation == ImageTest::None ? std::nullopt : std::optional(choice_.relation);
    folder_ = choiceCaption(imageTestCaptions(), relation) + text;
    return true;
}

ItemOutcome ImageRule::sort(FileItem& item) {
    const ImageDimensionKind kind = choice_.side == ImageSide::Height ? 0 : 1;
    const qint64 dimension = qint64(GetImageDimension(item.path(), kind) & 0xFFFFFFFFu);
    if (dimension == 0)
        return ItemOutcome::Dropped;
    bool match = false;
    switch (choice_.relation) {
    case ImageTest::AtLeast:
        match = dimension >= limit_;
        break;
    case ImageTest::AtMost:
        match = dimension <= limit_;
        break;
    case ImageTest::Exactly:
        match = dimension == limit_;
        break;
    case ImageTest::None:
        break;
    }
    return match && item.sortInto(folder_, false) ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

class ImagePage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 图像文件分拣"); }
    const char* sheetName() const override { return "TabSheet4"; }
    void build(QWidget* sheet) override {
        w_.TabSheet4 = sheet;
        QFrame* p = whitePanel(sheet);
        w_.Label7 = pageHeading(p, "Label7", QStringLiteral("     按宽或高进行图像文件分拣"));
        w_.RbPicW = named(new QRadioButton(QStringLiteral("图片宽："), p), "RbPicW");
        w_.RbPicH = named(new QRadioButton(QStringLiteral("图片高："), p), "RbPicH");
        w_.RbPicW->setChecked(true);
        tabToCheckedButton({w_.RbPicW, w_.RbPicH});
        w_.CmbPic = choiceBox(p, "CmbPic", imageTestCaptions());
        w_.EdtPic = named(new QLineEdit(p), "EdtPic");
        w_.EdtPic->setFixedWidth(90);
        w_.Label8 = namedLabel(p, "Label8", QStringLiteral("像素"));
        // The comparison and the threshold are of the width or the height, whichever button is
        // checked; the threshold is in pixels.
        const auto nameThreshold = [this] {
            const QString side = (w_.RbPicH->isChecked() ? w_.RbPicH : w_.RbPicW)->text();
            nameAfterLabel(w_.CmbPic, side);
            nameAfterLabel(w_.EdtPic, side);
        };
        nameThreshold();
        QObject::connect(w_.RbPicH, &QRadioButton::toggled, w_.EdtPic, nameThreshold);
        w_.EdtPic->setAccessibleDescription(w_.Label8->text());
        installKeyFilter(w_.EdtPic, &TForm1::EdtPicKeyPress);
        headingOverRow(p, w_.Label7, {w_.RbPicW, w_.RbPicH, nullptr, w_.CmbPic, w_.EdtPic, w_.Label8});
    }
    std::shared_ptr<FileRule> rule() const override {
        const std::optional<ImageTest> relation = selectedChoice<ImageTest>(w_.CmbPic);
        return std::make_shared<ImageRule>(
            ImageChoice{w_.RbPicH->isChecked() ? ImageSide::Height : ImageSide::Width,
                        relation.value_or(ImageTest::None), w_.EdtPic->text()});
    }
    SettingBindings bindings() override {
        return {binding(keys::PicSize, {{ImageSide::Width, w_.RbPicW}, {ImageSide::Height, w_.RbPicH}},
                        ImageSide::Height),
                binding(keys::CmbPic, w_.CmbPic), binding(keys::PicSizeValue, w_.EdtPic)};
    }
    QWidget* field(FocusTarget target) const override {
        return target == FocusTarget::EdtPic ? w_.EdtPic : nullptr;
    }
    bool usesPictureTypes() const override { return true; }
};

} // namespace

std::unique_ptr<FilePage> makeImagePage(TForm1& window) {
    return std::make_unique<ImagePage>(window);
}

} // namespace velquin
