#include "ui/criteria/takencriterion.h"

#include "engine/transfer.h"
#include "platform/paths.h"
#include "platform/photonames.h"
#include "platform/takendate.h"
#include "settings/settingkeys.h"
#include "ui/accessibility.h"
#include "ui/form1.h"
#include "ui/illustrations.h"
#include "ui/windowparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>

namespace velquin {

QStringList takenPatternCaptions() {
    return {QStringLiteral("年"), QStringLiteral("年/月"), QStringLiteral("年/月/日"),
            QStringLiteral("年-月"), QStringLiteral("年-月-日")};
}

QStringList takenFallbackCaptions() {
    return {QStringLiteral("按文件名中的日期，再按修改时间"), QStringLiteral("按文件名中的日期"),
            QStringLiteral("按修改时间"), QStringLiteral("放入“未知日期”文件夹")};
}

QString unknownDateFolder() {
    return QStringLiteral("未知日期");
}

QString takenFolderName(const QDateTime& when, TakenPattern pattern) {
    const QDate d = when.date();
    const QString year = QString::number(d.year());
    const QString month = QStringLiteral("%1").arg(d.month(), 2, 10, QLatin1Char('0'));
    const QString day = QStringLiteral("%1").arg(d.day(), 2, 10, QLatin1Char('0'));
    switch (pattern) {
    case TakenPattern::Year:
        return year;
    case TakenPattern::YearSlashMonth:
        return year + QLatin1Char('/') + month;
    case TakenPattern::YearSlashMonthSlashDay:
        return year + QLatin1Char('/') + month + QLatin1Char('/') + day;
    case TakenPattern::YearDashMonth:
        return year + QLatin1Char('-') + month;
    case TakenPattern::YearDashMonthDashDay:
        return year + QLatin1Char('-') + month + QLatin1Char('-') + day;
    }
    return year;
}

void TakenDateRule::prepareItems(const QStringList& files) {
    files_ = &files;
    photoOf_.assign(std::size_t(files.size()), -1);
    sidecars_.assign(std::size_t(files.size()), {});
    if (!choice_.withSidecars)
        return;
    photoOf_ = sidecarPhotos(files);
    for (std::size_t i = 0; i < photoOf_.size(); ++i) {
        if (photoOf_[i] >= 0)
            sidecars_[std::size_t(photoOf_[i])].push_back(qsizetype(i));
    }
}

TakenDateRule::Dated TakenDateRule::dateOf(const FileItem& item) const {
    const QString& path = item.path();
    if (const std::optional<TakenDate> taken = readTakenDate(path))
        return {taken->when, QStringLiteral("拍摄时间")};
    const bool byName =
        choice_.fallback == TakenFallback::NameThenModified || choice_.fallback == TakenFallback::Name;
    const bool byTime =
        choice_.fallback == TakenFallback::NameThenModified || choice_.fallback == TakenFallback::Modified;
    if (byName) {
        if (const std::optional<QDateTime> named = dateFromFileName(baseNameOf(path)))
            return {*named, QStringLiteral("文件名")};
    }
    if (byTime) {
        if (const std::optional<FileTime> t = item.disk().modificationTime(path))
            return {QDateTime::fromSecsSinceEpoch(t->seconds).toLocalTime(), QStringLiteral("修改时间")};
    }
    return {std::nullopt, unknownDateFolder()};
}

bool TakenDateRule::place(FileItem& item, const QString& path, const QString& folder, const QString& name,
                          QString* placedAt) {
    if (choice_.skipSame) {
        // The name itself, then the names auto-numbering gave it in earlier runs, while they exist.
        const DiskView& disk = item.disk();
        const QString base = item.outputFolder() + folder + QLatin1Char('/');
        for (int n = 0; n < 1000; ++n) {
            const QString candidate = base + (n == 0 ? name : numberedName(name, n));
            if (!disk.isFile(candidate))
                break;
            if (disk.sameContent(path, candidate)) {
                item.alreadyThere(path, candidate);
                *placedAt = candidate;
                return true;
            }
        }
    }
    placedAt->clear();
    item.sortAs(path, folder, name, true, placedAt);
    return !placedAt->isEmpty();
}

ItemOutcome TakenDateRule::sort(FileItem& item) {
    const auto index = std::size_t(item.index());
    // A sidecar whose photo is listed goes when its photo does, whichever comes first in the list.
    if (index < photoOf_.size() && photoOf_[index] >= 0)
        return ItemOutcome::Sorted;
    const Dated dated = dateOf(item);
    const QString folder = dated.when ? takenFolderName(*dated.when, choice_.pattern) : unknownDateFolder();
    item.describe(item.path(), dated.when ? dated.source + QLatin1Char(' ') +
                                                dated.when->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                          : dated.source);
    const QString photoName = fileNameOf(item.path());
    QString placed;
    const bool went = place(item, item.path(), folder, photoName, &placed);
    if (index >= sidecars_.size())
        return went ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
    for (const qsizetype s : sidecars_[index]) {
        const QString& sidecar = files_->at(s);
        if (!item.takesPart(sidecar))
            continue;
        if (!went || item.stopping()) {
            item.notSorted(sidecar);
            continue;
        }
        const QString name = fileNameOf(sidecar);
        const QString renamed = sidecarNameAfterRename(name, photoName, fileNameOf(placed)).value_or(name);
        QString at;
        place(item, sidecar, folder, renamed, &at);
    }
    return went ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

class TakenDatePage final : public FilePage {
public:
    explicit TakenDatePage(TForm1&) {}
    QString caption() const override { return QStringLiteral(" 按拍摄日期分拣"); }
    const char* sheetName() const override { return "TabSheet7"; }
    void build(QWidget* sheet) override {
        TabSheet7 = sheet;
        QFrame* p = whitePanel(sheet);
        QLabel* heading = pageHeading(p, "LabelTaken", QStringLiteral("     按拍摄日期分拣"));
        auto* picture = new Illustration(
            p, Illustration::Item::File,
            {{{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1.xmp")}, QStringLiteral("2024")},
             {{QStringLiteral("VID_2.mp4")}, QStringLiteral("2023")}});
        named(picture, "ImageTaken");
        QLabel* patternLabel = namedLabel(p, "LabelTakenPattern", QStringLiteral("文件夹结构："));
        pattern_ = choiceBox(p, "CmbTakenPattern", takenPatternCaptions());
        pattern_->setCurrentIndex(int(TakenPattern::YearSlashMonth));
        nameAfterLabel(pattern_, patternLabel->text());
        QLabel* fallbackLabel = namedLabel(p, "LabelTakenFallback", QStringLiteral("没有拍摄日期时："));
        fallback_ = choiceBox(p, "CmbTakenFallback", takenFallbackCaptions());
        nameAfterLabel(fallback_, fallbackLabel->text());
        sidecars_ = named(new QCheckBox(QStringLiteral("相关文件随照片一起分拣（.xmp、.aae 等）"), p),
                          "ChkTakenSidecars");
        sidecars_->setChecked(true);
        skipSame_ = named(new QCheckBox(QStringLiteral("目标文件夹中已有相同内容的文件时跳过"), p),
                          "ChkTakenSkipSame");
        skipSame_->setChecked(true);
        auto* options = new QGridLayout;
        options->setHorizontalSpacing(6);
        options->setVerticalSpacing(6);
        options->addWidget(patternLabel, 0, 0);
        options->addWidget(pattern_, 0, 1);
        options->addWidget(fallbackLabel, 1, 0);
        options->addWidget(fallback_, 1, 1);
        options->addWidget(sidecars_, 2, 0, 1, 2);
        options->addWidget(skipSame_, 3, 0, 1, 2);
        options->setRowStretch(4, 1);
        options->setColumnStretch(2, 1);
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(6, 4, 12, 4);
        grid->setHorizontalSpacing(24);
        grid->addWidget(heading, 0, 0, 1, 2);
        grid->addWidget(picture, 1, 0, Qt::AlignTop);
        grid->addLayout(options, 1, 1);
        grid->setRowStretch(1, 1);
        grid->setColumnStretch(1, 1);
    }
    std::shared_ptr<FileRule> rule() const override {
        TakenChoice choice;
        choice.pattern = TakenPattern(qMax(0, pattern_->currentIndex()));
        choice.fallback = TakenFallback(qMax(0, fallback_->currentIndex()));
        choice.withSidecars = sidecars_->isChecked();
        choice.skipSame = skipSame_->isChecked();
        return std::make_shared<TakenDateRule>(choice);
    }
    SettingBindings bindings() override {
        return {binding(keys::TakenPattern, pattern_), binding(keys::TakenFallback, fallback_),
                binding(keys::TakenSidecars, sidecars_), binding(keys::TakenSkipSame, skipSame_)};
    }

    QWidget* TabSheet7 = nullptr;

private:
    QComboBox* pattern_ = nullptr;
    QComboBox* fallback_ = nullptr;
    QCheckBox* sidecars_ = nullptr;
    QCheckBox* skipSame_ = nullptr;
};

} // namespace

std::unique_ptr<FilePage> makeTakenDatePage(TForm1& window) {
    return std::make_unique<TakenDatePage>(window);
}

} // namespace velquin
