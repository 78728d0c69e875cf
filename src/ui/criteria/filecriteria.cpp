#include "ui/criteria/filecriteria.h"

#include "ui/criteria/datecriterion.h"
#include "ui/criteria/imagecriterion.h"
#include "ui/criteria/keywordcriterion.h"
#include "ui/criteria/namecriterion.h"
#include "ui/criteria/sizecriterion.h"
#include "ui/criteria/takencriterion.h"
#include "ui/criteria/typecriterion.h"

#include <array>

namespace velquin {

FilePage::~FilePage() = default;

std::span<const FilePageMaker> fileCriteria() {
    static constexpr std::array kPages = {
        FilePageMaker(makeKeywordPage),   FilePageMaker(makeNamePage), FilePageMaker(makeTypePage),
        FilePageMaker(makeSizePage),      FilePageMaker(makeDatePage), FilePageMaker(makeImagePage),
        FilePageMaker(makeTakenDatePage),
    };
    return kPages;
}

} // namespace velquin
