#include "bench/bench.h"

#include "bench/quiethost.h"
#include "engine/filerun.h"
#include "engine/planner.h"
#include "engine/preview.h"
#include "platform/fileops.h"
#include "ui/criteria/typecriterion.h"
#include "ui/dlgpreview.h"

#include <QApplication>
#include <QDir>
#include <QTableView>

#include <cstdio>
#include <cstdlib>

namespace velquin::bench {
namespace {

constexpr int kRows = 100000;

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(2);
}

// The preview of a file run over 100,000 listed files, from the checks to the dialog's first
// painted frame: every decision planned against the disk and the earlier rows (two files in
// three share a name with another, so their rows are auto-numbered), then shown; the baseline is
// the two seconds it may take.
void preview100k() {
    const QString scratch = scratchFolder(QStringLiteral("preview"));
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = makeFiles(scratch + QStringLiteral("/src"), kRows, 0, [](int i) {
        return QStringLiteral("d%1/IMG_%2.jpg")
            .arg(i % 3)
            .arg(i / 3 * 3 + (i % 3 == 2 ? 1 : 0), 6, 10, QLatin1Char('0'));
    });
    QDir().mkpath(scratch + QStringLiteral("/out"));
    QuietFileHost host(scratch + QStringLiteral("/out"), TransferMode::Copy);
    host.policy = ClashPolicy::AutoNumber;
    const FileOps fs;
    std::optional<Preview> preview;
    const double seconds = timeIt([&] {
        preview = previewFileSort(job, host, fs);
        if (!preview)
            fail("the preview's checks failed");
        DlgPreview dialog(nullptr, std::move(preview->rows), preview->counts, TransferMode::Copy);
        dialog.show();
        QApplication::processEvents();
        if (dialog.GridPreview->model()->rowCount() != kRows)
            fail("the preview does not show every row");
    });
    report(QStringLiteral("preview_100k"), seconds, 2.0);
}

const Registration previewRegistration(QStringLiteral("preview_100k"), preview100k);

} // namespace
} // namespace velquin::bench
