#pragma once

#include "ui/criteria/filecriteria.h"

#include <QStringList>

namespace velquin {

QStringList imageTestCaptions(); // "大于等于", "小于等于", "等于"

// What the image page says: the side, the test (None when nothing is selected: nothing matches)
// and the limit in pixels as typed.
struct ImageChoice {
    ImageSide side = ImageSide::Width;
    ImageTest relation = ImageTest::AtLeast;
    QString limitText;
};

// Sorts the pictures whose width, or height, passes the test into the one folder named after
// the choice ("大于等于800"). Only the picture types take part; a file whose size cannot be read
// is dropped.
class ImageRule final : public FileRule {
public:
    explicit ImageRule(ImageChoice choice) : choice_(std::move(choice)) {}
    bool check(RunFrame& frame) override;
    QString fixedFolder() const override { return folder_; }
    bool filtersByType() const override { return false; }
    ItemOutcome sort(FileItem& item) override;

private:
    ImageChoice choice_;
    qint32 limit_ = 0;
    QString folder_;
};

std::unique_ptr<FilePage> makeImagePage(TForm1& window);

} // namespace velquin
