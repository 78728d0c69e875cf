#pragma once

#include "ui/criteria/filecriteria.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

namespace velquin {

// The folder patterns of the date-taken page, in drop-down order: "年", "年/月", "年/月/日",
// "年-月", "年-月-日"; "/" nests folders.
enum class TakenPattern { Year, YearSlashMonth, YearSlashMonthSlashDay, YearDashMonth, YearDashMonthDashDay };
// What a file without a date taken is sorted by, in drop-down order.
enum class TakenFallback { NameThenModified, Name, Modified, UnknownFolder };

QStringList takenPatternCaptions();
QStringList takenFallbackCaptions();
// The folder of `when` under `pattern` ("2024/05").
QString takenFolderName(const QDateTime& when, TakenPattern pattern);
// The folder of the files for which no date was found.
QString unknownDateFolder(); // "未知日期"

struct TakenChoice {
    TakenPattern pattern = TakenPattern::YearSlashMonth;
    TakenFallback fallback = TakenFallback::NameThenModified;
    bool withSidecars = true; // sidecars listed with their photo go where it goes
    bool skipSame = true;     // a target folder holding the same content counts as sorted
};

// Sorts photos and videos into folders of the date they were taken: from the file's own
// metadata, else by the fallback chosen (the date in the file name, the modification time),
// else into unknownDateFolder(). A sidecar whose photo is listed goes with it, renamed as the
// photo is; with skipSame, a file whose content the target folder holds already (under its
// name or one auto-numbered from it) is left where it is.
class TakenDateRule final : public FileRule {
public:
    explicit TakenDateRule(TakenChoice choice) : choice_(choice) {}
    bool check(RunFrame&) override { return true; }
    void prepareItems(const QStringList& files) override;
    ItemOutcome sort(FileItem& item) override;

    // The date a file is sorted by and where it came from ("拍摄时间", "文件名", "修改时间"), or
    // nothing ("未知日期").
    struct Dated {
        std::optional<QDateTime> when;
        QString source;
    };
    Dated dateOf(const FileItem& item) const;

private:
    // False after `path` went nowhere; `placedAt` gets where it was put, or the file it matched.
    bool place(FileItem& item, const QString& path, const QString& folder, const QString& name,
               QString* placedAt);

    TakenChoice choice_;
    std::vector<qsizetype> photoOf_;               // per listed file: its photo's index, or -1
    std::vector<std::vector<qsizetype>> sidecars_; // per listed file: the sidecars that go with it
    const QStringList* files_ = nullptr;
};

std::unique_ptr<FilePage> makeTakenDatePage(TForm1& window);

} // namespace velquin
