#include "engine/planner.h"

#include "engine/filerun.h"
#include "engine/folderrun.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"
#include "ui/criteria/keywordcriterion.h"
#include "ui/criteria/sizecriterion.h"
#include "ui/criteria/typecriterion.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using namespace velquin;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

// One batch: the files (relative to src/, with their content), what the output already holds,
// the options, and the words the preview must show for each transfer in run order.
struct Batch {
    const char* what;
    std::vector<const char*> files;
    std::vector<const char*> present; // relative to out/
    bool byKeywords;                  // else by type
    const char* keys;
    TransferMode mode;
    ClashPolicy policy;
    std::vector<const char*> words;
    int unmatched;
};

void PrintTo(const Batch& b, std::ostream* os) {
    *os << b.what;
}

class PreviewAgainstRun : public ::testing::TestWithParam<Batch> {};

TEST_P(PreviewAgainstRun, ThePreviewListsWhatTheRunThenDoes) {
    const Batch& b = GetParam();
    TestDir d;
    FileOps fs;
    FileSortJob job;
    job.rule = b.byKeywords ? std::shared_ptr<FileRule>(std::make_shared<KeywordRule>(u(b.keys)))
                            : std::make_shared<TypeRule>();
    for (const char* f : b.files)
        job.Files.append(d.file(QStringLiteral("src/") + u(f), QByteArray(f)));
    d.folder(QStringLiteral("out"));
    for (const char* p : b.present)
        d.file(QStringLiteral("out/") + u(p), "old", QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    ScriptedHost host;
    host.outputText = d.path(QStringLiteral("out"));
    host.mode = b.mode;
    host.policy = b.policy;
    host.answers = {true, false, true, false};
    const QStringList before = d.sortedEntries(QStringLiteral("out"));

    const std::optional<Preview> preview = previewFileSort(job, host, fs);
    ASSERT_TRUE(preview);
    EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), before) << "the preview made something";
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(preview->counts.unmatched, b.unmatched);
    if (preview->counts.conflicts > 0) {
        EXPECT_EQ(preview->counts.policy, b.policy);
    }
    ASSERT_EQ(preview->rows.size(), b.words.size() + size_t(b.unmatched));
    for (size_t i = 0; i < b.words.size(); ++i)
        EXPECT_EQ(preview->rows[i].action, u(b.words[i])) << i;

    FileSortRun run(job, host);
    ASSERT_TRUE(run.check());
    DiskActions actions(fs, host);
    run.prepare(actions);
    run.sortAll(actions);
    ASSERT_EQ(actions.results().size(), qsizetype(b.words.size()));
    for (qsizetype i = 0; i < actions.results().size(); ++i) {
        const TransferResult& r = actions.results()[i];
        const PreviewRow& row = preview->rows[size_t(i)];
        EXPECT_EQ(row.source, r.source) << i;
        EXPECT_EQ(row.target, r.decision.target) << i;
        EXPECT_TRUE(row.action == actionWords(r.decision) || row.action == actionWords(r.decision, true))
            << i;
        EXPECT_EQ(row.conflict, isConflict(r.decision.action)) << i;
        if (transfers(r.decision.action)) {
            EXPECT_EQ(r.outcome, TransferOutcome::Done) << i;
            EXPECT_TRUE(fs.isFile(r.decision.target)) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, PreviewAgainstRun,
                         ::testing::Values(Batch{"two of one name, auto-numbered",
                                                 {"x/a.jpg", "y/a.jpg", "z/a.jpg"},
                                                 {},
                                                 false,
                                                 "",
                                                 TransferMode::Copy,
                                                 ClashPolicy::AutoNumber,
                                                 {"复制", "自动编号为 a_1.jpg（列表中重名）",
                                                  "自动编号为 a_2.jpg（列表中重名）"},
                                                 0},
                                           Batch{"two of one name, skipped",
                                                 {"x/a.jpg", "y/a.jpg"},
                                                 {},
                                                 false,
                                                 "",
                                                 TransferMode::Copy,
                                                 ClashPolicy::Skip,
                                                 {"复制", "跳过（列表中重名）"},
                                                 0},
                                           Batch{"a keyword twice",
                                                 {"cat.txt", "dog.txt"},
                                                 {},
                                                 true,
                                                 "cat cat",
                                                 TransferMode::Copy,
                                                 ClashPolicy::Overwrite,
                                                 {"复制", "覆盖（列表中重名）"},
                                                 1},
                                           Batch{"moves under several keywords",
                                                 {"catdog.txt"},
                                                 {},
                                                 true,
                                                 "cat dog",
                                                 TransferMode::Move,
                                                 ClashPolicy::Skip,
                                                 {"移动", "无文件可移动"},
                                                 0},
                                           Batch{"moved files auto-numbered",
                                                 {"x/a.jpg", "y/a.jpg"},
                                                 {".jpg/a.jpg"},
                                                 false,
                                                 "",
                                                 TransferMode::Move,
                                                 ClashPolicy::AutoNumber,
                                                 {"自动编号为 a_1.jpg", "自动编号为 a_2.jpg"},
                                                 0},
                                           Batch{"an older target, then the copy planned onto it",
                                                 {"x/a.txt", "y/a.txt"},
                                                 {".txt/a.txt"},
                                                 false,
                                                 "",
                                                 TransferMode::Copy,
                                                 ClashPolicy::ReplaceOlder,
                                                 {"替换旧文件", "替换旧文件（列表中重名）"},
                                                 0},
                                           Batch{"questions",
                                                 {"x/a.txt", "y/a.txt", "b.txt"},
                                                 {".txt/a.txt"},
                                                 false,
                                                 "",
                                                 TransferMode::Copy,
                                                 ClashPolicy::Ask,
                                                 {"询问", "询问", "复制"},
                                                 0}));

// Says of every file on the disk that no trash could keep it.
class NoKeeping : public ReplaceKeeper {
public:
    KeptFile keep(const QString&) override { return KeptFile{QString(), EACCES}; }
    void release(const QString&, const QString&) override {}
    int keepable(const QString& target) override { return FileOps().isFile(target) ? EACCES : ENOENT; }
};

TEST(Preview, ReplacesNoTrashCouldKeepSaySo) {
    TestDir d;
    FileSortJob job;
    job.rule = std::make_shared<TypeRule>();
    job.Files = {d.file(QStringLiteral("src/x/a.txt"), "1"), d.file(QStringLiteral("src/y/b.txt"), "2"),
                 d.file(QStringLiteral("src/z/b.txt"), "3")};
    d.file(QStringLiteral("out/.txt/a.txt"), "old");
    NoKeeping keeper;
    ScriptedHost host;
    host.outputText = d.path(QStringLiteral("out"));
    host.policy = ClashPolicy::Overwrite;
    host.keeper = &keeper;
    const std::optional<Preview> preview = previewFileSort(job, host, FileOps());
    ASSERT_TRUE(preview);
    ASSERT_EQ(preview->rows.size(), 3u);
    // The second b.txt replaces a copy the run makes first: nothing there to ask about yet.
    EXPECT_EQ(preview->rows[0].action, u("覆盖（无法放入回收站）"));
    EXPECT_EQ(preview->rows[1].action, u("复制"));
    EXPECT_EQ(preview->rows[2].action, u("覆盖（列表中重名）"));
}

TEST(Preview, FailedChecksShowTheirMessageAndPlanNothing) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    host.outputText = d.path(QStringLiteral("out"));
    FileSortJob job;
    job.Files = {d.file(QStringLiteral("src/a.txt"))};
    job.rule = std::make_shared<KeywordRule>(QString());
    EXPECT_FALSE(previewFileSort(job, host, fs));
    EXPECT_EQ(host.messages, QStringList{u("请输入匹配关键字!")});
    // The separator is appended as the start button would.
    EXPECT_EQ(host.outputText, d.path(QStringLiteral("out/")));
    job.rule = std::make_shared<SizeRule>(SizeChoice{SizeTest::Greater, QStringLiteral("1"), SizeUnit::KB});
    ASSERT_TRUE(previewFileSort(job, host, fs));
    EXPECT_FALSE(d.existsFolder(QStringLiteral("out"))) << "the size folder was made";
}

TEST(Preview, AFolderRunListsEveryFileOfItsTrees) {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
    host.outputText = d.path(QStringLiteral("out"));
    host.policy = ClashPolicy::AutoNumber;
    d.file(QStringLiteral("a/Trip/x.jpg"));
    d.file(QStringLiteral("a/Trip/sub/y.jpg"));
    d.file(QStringLiteral("b/Trip/x.jpg"));
    d.file(QStringLiteral("c/Other/z.jpg"));
    // A link to a folder in both trees, copied as a link: the second meets the first one's copy.
    for (const char* tree : {"a", "b"})
        ASSERT_TRUE(QFile::link(d.path(QStringLiteral("c")), d.path(u(tree) + QStringLiteral("/Trip/l"))));
    FolderSortJob job;
    job.Criterion = FolderSortCriterion::ByKeyword;
    job.fields.EdtKeys = QStringLiteral("trip");
    job.Folders = {d.path(QStringLiteral("a/Trip")), d.path(QStringLiteral("b/Trip")),
                   d.path(QStringLiteral("c/Other"))};
    std::optional<Preview> preview = previewFolderSort(job, host, fs);
    ASSERT_TRUE(preview);
    const auto isLink = [](const PreviewRow& r) { return r.source.endsWith(QStringLiteral("/l")); };
    std::vector<QString> words, linkWords;
    for (const PreviewRow& r : preview->rows)
        (isLink(r) ? linkWords : words).push_back(r.action);
    EXPECT_EQ(linkWords, (std::vector<QString>{u("复制"), u("跳过（列表中重名）")}));
    std::erase_if(preview->rows, isLink);
    ASSERT_EQ(preview->rows.size(), 4u);
    // The second Trip's x.jpg meets the first one's copy, although neither exists yet.
    EXPECT_EQ(preview->rows[2].target, d.path(QStringLiteral("out/trip/Trip/x_1.jpg")));
    EXPECT_EQ(words.back(), u("不匹配"));
    EXPECT_FALSE(preview->rows.back().matched);
    EXPECT_EQ(preview->counts.transfers, 3);
    EXPECT_EQ(preview->counts.conflicts, 2);
    EXPECT_FALSE(d.existsFolder(QStringLiteral("out")));
}

} // namespace
