#include "ui/criteria/keywordcriterion.h"

#include "engine/rules.h"
#include "engine/runframe.h"
#include "platform/paths.h"
#include "ui/form1.h"
#include "ui/illustrations.h"

#include <QLineEdit>

namespace velquin {

bool KeywordRule::check(RunFrame& frame) {
    return frame.checkKeywords(keysText_, keywords_);
}

ItemOutcome KeywordRule::sort(FileItem& item) {
    const QString base = baseNameOf(item.path());
    bool sorted = false;
    for (const QString& keyword : std::as_const(keywords_)) {
        if (item.stopping())
            break;
        if (keywordMatches(keyword, base))
            sorted = item.sortInto(keyword, true) || sorted;
    }
    return sorted ? ItemOutcome::Sorted : ItemOutcome::NotMatched;
}

namespace {

// The keyword page is built by the window, which shares it with the folder window.
class KeywordPage final : public WindowFilePage {
public:
    using WindowFilePage::WindowFilePage;
    QString caption() const override { return QStringLiteral(" 按文件名匹配关键字分拣 "); }
    const char* sheetName() const override { return "TabSheet6"; }
    void build(QWidget* sheet) override {
        w_.TabSheet6 = sheet;
        w_.buildKeywordPage(QStringLiteral("     按文件名匹配关键字分拣"), &keywordIllustration,
                            "EdtKeysLabel", QStringLiteral("请输入关键字（多个关键字以空格分隔）："));
    }
    std::shared_ptr<FileRule> rule() const override {
        return std::make_shared<KeywordRule>(w_.EdtKeys->text());
    }
};

} // namespace

std::unique_ptr<FilePage> makeKeywordPage(TForm1& window) {
    return std::make_unique<KeywordPage>(window);
}

} // namespace velquin
