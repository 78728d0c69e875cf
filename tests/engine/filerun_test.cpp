#include "engine/filerun.h"

#include "engine/planner.h"
#include "engine/transfer.h"
#include "platform/names.h"
#include "support/printers.h"
#include "support/scriptedhost.h"
#include "support/testdir.h"
#include "ui/criteria/datecriterion.h"
#include "ui/criteria/imagecriterion.h"
#include "ui/criteria/keywordcriterion.h"
#include "ui/criteria/namecriterion.h"
#include "ui/criteria/sizecriterion.h"
#include "ui/criteria/takencriterion.h"
#include "ui/criteria/typecriterion.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace velquin;
using velquin::test::ScriptedHost;
using velquin::test::TestDir;

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

std::shared_ptr<FileRule> byKeywords(const QString& text) {
    return std::make_shared<KeywordRule>(text);
}
std::shared_ptr<FileRule> byType() {
    return std::make_shared<TypeRule>();
}
std::shared_ptr<FileRule> byName(NameChoice choice = {}) {
    return std::make_shared<NameRule>(std::move(choice));
}
// The name page with its range on, from `begin` to `end` as typed.
std::shared_ptr<FileRule> byNameRange(const QString& begin, const QString& end) {
    NameChoice choice;
    choice.useRange = true;
    choice.beginText = begin;
    choice.endText = end;
    return byName(choice);
}
std::shared_ptr<FileRule> bySize(const QString& text, SizeTest relation = SizeTest::Greater,
                                 SizeUnit unit = SizeUnit::KB) {
    return std::make_shared<SizeRule>(SizeChoice{relation, text, unit});
}
std::shared_ptr<FileRule> byImage(const QString& limit, ImageTest relation = ImageTest::AtLeast,
                                  ImageSide side = ImageSide::Width) {
    return std::make_shared<ImageRule>(ImageChoice{side, relation, limit});
}

FileSortJob keywordJob() {
    FileSortJob job;
    job.rule = byKeywords(QString());
    return job;
}

class FileRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dir.folder(QStringLiteral("out"));
        host.outputText = dir.path(QStringLiteral("out"));
    }
    // A source file under src/, added to the list.
    QString add(const QString& relative, const QByteArray& content = "x") {
        const QString path = dir.file(QStringLiteral("src/") + relative, content);
        job.Files.append(path);
        return path;
    }
    QString add(const QString& relative, const QByteArray& content, const QDateTime& modified) {
        const QString path = add(relative, content);
        TestDir::setModified(path, modified);
        return path;
    }
    RunEnd run() { return runFileSort(job, host, fs); }
    QStringList outEntries(const QString& sub = QString()) const {
        return dir.sortedEntries(sub.isEmpty() ? QStringLiteral("out") : QStringLiteral("out/") + sub);
    }
    void expectCompleted() const {
        EXPECT_EQ(host.messages, QStringList{u("分拣工作完成！")});
        EXPECT_EQ(host.lockCalls, (std::vector<bool>{true, false}));
    }

    TestDir dir;
    FileOps fs;
    ScriptedHost host;
    FileSortJob job = keywordJob();
};

QByteArray pngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

// ---- The checks before the run ----

TEST_F(FileRun, ChecksStopAtTheFirstFailureWithMessageAndFocus) {
    struct Case {
        const char* what;
        std::function<void(FileSortJob&, ScriptedHost&)> setup;
        const char* message;
        FocusTarget focus;
    };
    const Case cases[] = {
        {"empty list", [](FileSortJob& j, ScriptedHost& h) { j.Files.clear(), h.outputText.clear(); },
         "没有需要分拣的文件!", FocusTarget::None},
        {"include without types",
         [](FileSortJob& j, ScriptedHost&) {
             j.rule = byType();
             j.onlyListedTypes = true;
         },
         "如果选择了只分拣某些文件类型，则类型不应当为空！", FocusTarget::None},
        {"blank keywords", [](FileSortJob& j, ScriptedHost&) { j.rule = byKeywords(QStringLiteral(" \t ")); },
         "请输入匹配关键字!", FocusTarget::EdtKeys},
        {"range begin",
         [](FileSortJob& j, ScriptedHost&) {
             j.rule = byNameRange(QStringLiteral("1 "), QStringLiteral("x"));
         },
         "请输入整数序号!", FocusTarget::EdtPartNameBegin},
        {"range end",
         [](FileSortJob& j, ScriptedHost&) {
             j.rule = byNameRange(QStringLiteral(" -3"), QStringLiteral("2147483648"));
         },
         "请输入整数序号!", FocusTarget::EdtPartNameEnd},
        {"size empty", [](FileSortJob& j, ScriptedHost&) { j.rule = bySize(QStringLiteral("  ")); },
         "请输入正确的文件大小!", FocusTarget::EdtSize},
        {"size trailing blank", [](FileSortJob& j, ScriptedHost&) { j.rule = bySize(QStringLiteral("12 ")); },
         "请输入正确的文件大小!", FocusTarget::EdtSize},
        {"image empty", [](FileSortJob& j, ScriptedHost&) { j.rule = byImage(QString()); },
         "请输入正确的图片宽高!", FocusTarget::EdtPic},
        {"image beyond 32 bits",
         [](FileSortJob& j, ScriptedHost&) { j.rule = byImage(QStringLiteral("4294967296")); },
         "请输入正确的图片宽高!", FocusTarget::EdtPic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir d;
        FileSortJob j;
        j.Files = {d.file(QStringLiteral("a.txt"), "a")};
        j.rule = byKeywords(QString());
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        c.setup(j, h);
        EXPECT_EQ(runFileSort(j, h, fs), RunEnd::CheckFailed);
        EXPECT_EQ(h.messages, QStringList{u(c.message)});
        EXPECT_EQ(h.focus, c.focus == FocusTarget::None ? std::vector<FocusTarget>{}
                                                        : std::vector<FocusTarget>{c.focus});
        EXPECT_TRUE(h.lockCalls.empty());
        EXPECT_EQ(h.chooserCalls, 0);
        EXPECT_TRUE(h.progress.empty());
        EXPECT_TRUE(d.sortedEntries(QStringLiteral("out")).isEmpty())
            << "no fixed folder before the checks pass";
        EXPECT_EQ(d.sortedEntries(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("out")}));
    }
}

TEST_F(FileRun, TrailingSeparatorStaysInTheFieldAfterALaterFailure) {
    add(QStringLiteral("a.txt"));
    job.rule = byKeywords(QString());
    EXPECT_EQ(run(), RunEnd::CheckFailed);
    EXPECT_EQ(host.outputText, dir.path(QStringLiteral("out/")));
    EXPECT_EQ(host.outputWrites, 1);

    // A field that already ends in the separator is not written again.
    host.outputWrites = 0;
    EXPECT_EQ(run(), RunEnd::CheckFailed);
    EXPECT_EQ(host.outputWrites, 0);
}

TEST_F(FileRun, BlankOutputOpensTheChooserAndDoesNotStart) {
    add(QStringLiteral("a.txt"));
    job.rule = byType();
    host.outputText = QStringLiteral(" \t");
    host.chosenFolder = dir.path(QStringLiteral("out"));
    EXPECT_EQ(run(), RunEnd::CheckFailed);
    EXPECT_EQ(host.messages, QStringList{u("请选择分拣结果输出目录！")});
    EXPECT_EQ(host.chooserCalls, 1);
    EXPECT_EQ(host.outputText, dir.path(QStringLiteral("out")))
        << "the chosen folder is only put into the field";
    EXPECT_TRUE(host.lockCalls.empty());
    EXPECT_TRUE(outEntries().isEmpty());
}

TEST_F(FileRun, ImagePageIgnoresAnEmptyIncludeList) {
    add(QStringLiteral("a.txt"));
    job.rule = byImage(QStringLiteral("1"));
    job.onlyListedTypes = true;
    EXPECT_EQ(run(), RunEnd::Completed);
    expectCompleted();
}

// ---- The loop ----

TEST_F(FileRun, ProgressFollowsTheItemsThenFullThenZero) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        add(QString::fromUtf8(name));
    job.rule = byType();
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(
        host.events,
        (QStringList{QStringLiteral("lock"), QStringLiteral("progress 0"), QStringLiteral("progress 25"),
                     QStringLiteral("progress 50"), QStringLiteral("progress 75"),
                     QStringLiteral("progress 100"), QStringLiteral("unlock"),
                     QStringLiteral("message ") + u("分拣工作完成！"), QStringLiteral("progress 0")}));
    EXPECT_EQ(outEntries(QStringLiteral(".txt")).size(), 4);
}

TEST_F(FileRun, AStopEndsTheRunAfterTheItemInFlight) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        add(QString::fromUtf8(name));
    job.rule = byType();
    bool stop = false;
    host.stop = [&stop] { return stop; };
    host.onProgress = [&stop](int position) { stop = stop || position == 25; };
    EXPECT_EQ(run(), RunEnd::Stopped);
    EXPECT_EQ(outEntries(QStringLiteral(".txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(host.progress, (std::vector<int>{0, 25, 100, 0}));
    EXPECT_EQ(host.messages, QStringList{u("分拣已停止！")});
    EXPECT_EQ(host.closingLine, u("已分拣 2 个，共 4 个。"));
    EXPECT_EQ(host.lockCalls, (std::vector<bool>{true, false}));
}

TEST_F(FileRun, FailedTransfersAreCountedAndListedButAClashLeftAloneIsNot) {
    const QString a = add(QStringLiteral("a.txt"));
    const QString b = add(QStringLiteral("b.txt"));
    add(QStringLiteral("c.jpg"));
    add(QStringLiteral("d.jpg"));
    dir.file(QStringLiteral("out/.txt"), "a file where the folder would go");
    dir.file(QStringLiteral("out/.jpg/d.jpg"), "kept by Skip");
    job.rule = byType();
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(host.messages, QStringList{u("分拣工作完成！")});
    EXPECT_EQ(host.closingLine, u("有 2 个项目未能分拣。"));
    const QStringList details = host.closingDetails.split(QLatin1Char('\n'));
    ASSERT_EQ(details.size(), 2);
    EXPECT_TRUE(details[0].startsWith(a + u(" → ") + dir.path(QStringLiteral("out/.txt/a.txt")) + u("：")));
    EXPECT_TRUE(details[1].startsWith(b));
    EXPECT_TRUE(details[0].endsWith(systemReason(ENOTDIR))) << details[0].toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("out/.jpg/d.jpg")), QByteArray("kept by Skip"));
}

TEST_F(FileRun, AWriteProtectedTargetIsLeftAloneAndCounted) {
    add(QStringLiteral("a.txt"), "new");
    const QString target = dir.file(QStringLiteral("out/.txt/a.txt"), "old");
    ASSERT_EQ(::chmod(encodeLocal8(target).constData(), 0444), 0);
    job.rule = byType();
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        host = ScriptedHost();
        host.outputText = dir.path(QStringLiteral("out"));
        host.policy = ClashPolicy::Overwrite;
        host.mode = mode;
        EXPECT_EQ(run(), RunEnd::Completed);
        EXPECT_EQ(host.closingLine, u("有 1 个项目未能分拣。"));
        EXPECT_EQ(dir.read(QStringLiteral("out/.txt/a.txt")), QByteArray("old"));
        EXPECT_EQ(dir.read(QStringLiteral("src/a.txt")), QByteArray("new"));
    }
}

TEST_F(FileRun, FixedFolderIsMadeEvenWhenEveryFileIsFilteredOut) {
    add(QStringLiteral("a.txt"));
    add(QStringLiteral("b.txt"));
    job.rule = bySize(QStringLiteral("100"));
    host.filter = {TypeFilterMode::Exclude, {QStringLiteral("*.TXT")}};
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(), QStringList{u("大于100KB")});
    EXPECT_TRUE(outEntries(u("大于100KB")).isEmpty());
    EXPECT_EQ(host.progress, (std::vector<int>{100, 0}));
    expectCompleted();
}

TEST_F(FileRun, LockIsReleasedWhenTheLoopThrows) {
    add(QStringLiteral("a.txt"));
    add(QStringLiteral("b.txt"));
    job.rule = byType();
    host.onProgress = [](int) { throw std::runtime_error("window gone"); };
    EXPECT_THROW(run(), std::runtime_error);
    EXPECT_EQ(host.lockCalls, (std::vector<bool>{true, false}));
}

TEST_F(FileRun, ModeAndPolicyAreReadAgainForEveryItem) {
    add(QStringLiteral("a.txt"), "a");
    add(QStringLiteral("b.txt"), "b");
    add(QStringLiteral("c.txt"), "c");
    dir.file(QStringLiteral("out/.txt/c.txt"), "old");
    job.rule = byType();
    host.onProgress = [this](int position) {
        if (position == 0)
            host.mode = TransferMode::Move;
        if (position == 33)
            host.policy = ClashPolicy::AutoNumber;
    };
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(dir.existsFile(QStringLiteral("src/a.txt"))) << "copied";
    EXPECT_FALSE(dir.existsFile(QStringLiteral("src/b.txt"))) << "moved";
    EXPECT_EQ(outEntries(QStringLiteral(".txt")),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt"),
                           QStringLiteral("c_1.txt")}));
}

TEST_F(FileRun, TypeFilterIsReadAgainForEveryItem) {
    add(QStringLiteral("a.txt"));
    add(QStringLiteral("b.txt"));
    job.rule = byType();
    host.onProgress = [this](int) { host.filter = {TypeFilterMode::Include, {QStringLiteral("*.doc")}}; };
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(QStringLiteral(".txt")), QStringList{QStringLiteral("a.txt")});
}

TEST(TypeFilter, PatternsAgainstTheExtension) {
    const TypeFilter none;
    const TypeFilter excludeTxt{TypeFilterMode::Exclude, {QStringLiteral("*.TXT")}};
    const TypeFilter includeTxt{TypeFilterMode::Include, {QStringLiteral("*.txt")}};
    const TypeFilter includeBare{TypeFilterMode::Include, {QStringLiteral("*.txt"), QStringLiteral("*")}};
    struct Case {
        const TypeFilter* filter;
        const char* extension;
        bool passes;
    };
    const Case cases[] = {
        {&none, ".txt", true},         {&none, "", true},
        {&excludeTxt, ".txt", false},  {&excludeTxt, ".TxT", false},
        {&excludeTxt, ".txt2", true},  {&excludeTxt, "", true},
        {&includeTxt, ".TXT", true},   {&includeTxt, "", false},
        {&includeTxt, ".tx", false},   {&includeBare, "", true},
        {&includeBare, ".doc", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(passesTypeFilter(*c.filter, QString::fromUtf8(c.extension)), c.passes) << c.extension;
}

TEST(TypeFilter, PictureTypesContainTheUpperCasedExtension) {
    const QStringList all = ScriptedHost::defaultPictureTypes();
    const std::pair<const char*, bool> cases[] = {
        {".jpg", true}, {".jp", true}, {".JPEG", true}, {".tiff", false}, {".tif", true}, {"", true},
        {".png", true}, {".P", true},  {".svg", false}, {".g", true},     {".x", false},
    };
    for (const auto& [extension, passes] : cases)
        EXPECT_EQ(passesPictureTypes(all, QString::fromUtf8(extension)), passes) << extension;
    EXPECT_FALSE(passesPictureTypes({}, QString()));
    EXPECT_FALSE(passesPictureTypes({QStringLiteral("*.BMP")}, QStringLiteral(".jpg")));
}

TEST_F(FileRun, TypeFilterDropsItemsWithoutAProgressStep) {
    add(QStringLiteral("a.txt"));
    add(QStringLiteral("README"));
    add(QStringLiteral("b.doc"));
    job.rule = byType();
    job.onlyListedTypes = true;
    job.listedTypes = 1;
    host.filter = {TypeFilterMode::Include, {QStringLiteral("*.txt")}};
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(), QStringList{QStringLiteral(".txt")});
    EXPECT_EQ(host.progress, (std::vector<int>{0, 100, 0}));
}

// ---- Criteria ----

TEST_F(FileRun, KeywordsSortIntoEveryMatchingFolder) {
    add(QStringLiteral("My Cat.txt"), "1");
    add(QStringLiteral("catdog.png"), "2");
    add(QStringLiteral("bird.txt"), "3");
    job.rule = byKeywords(QStringLiteral("cat  dog "));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(), (QStringList{QStringLiteral("cat"), QStringLiteral("dog")}));
    EXPECT_EQ(outEntries(QStringLiteral("cat")),
              (QStringList{QStringLiteral("My Cat.txt"), QStringLiteral("catdog.png")}));
    EXPECT_EQ(outEntries(QStringLiteral("dog")), QStringList{QStringLiteral("catdog.png")});
    EXPECT_EQ(host.progress, (std::vector<int>{0, 33, 66, 100, 0}))
        << "a file that matches nothing still steps";
}

TEST_F(FileRun, KeywordsInMoveModeGiveTheFileToTheFirstMatch) {
    add(QStringLiteral("catdog.png"), "2");
    job.rule = byKeywords(QStringLiteral("Dog cat"));
    host.mode = TransferMode::Move;
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(QStringLiteral("Dog")), QStringList{QStringLiteral("catdog.png")});
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("out/cat")));
    EXPECT_TRUE(outEntries(QStringLiteral("cat")).isEmpty());
    EXPECT_FALSE(dir.existsFile(QStringLiteral("src/catdog.png")));
}

TEST_F(FileRun, KeywordsLookOnlyAtTheBaseName) {
    add(QStringLiteral("a.txt"));
    add(QStringLiteral("mytxt.doc"));
    job.rule = byKeywords(QStringLiteral("txt"));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(QStringLiteral("txt")), QStringList{QStringLiteral("mytxt.doc")});
}

TEST_F(FileRun, KeywordAutoNumberStartsAgainInEachFolder) {
    add(QStringLiteral("cat-dog.jpg"), "new");
    dir.file(QStringLiteral("out/cat/cat-dog.jpg"), "old");
    job.rule = byKeywords(QStringLiteral("cat dog"));
    host.policy = ClashPolicy::AutoNumber;
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(QStringLiteral("cat")),
              (QStringList{QStringLiteral("cat-dog.jpg"), QStringLiteral("cat-dog_1.jpg")}));
    EXPECT_EQ(outEntries(QStringLiteral("dog")), QStringList{QStringLiteral("cat-dog.jpg")});
    EXPECT_EQ(dir.read(QStringLiteral("out/cat/cat-dog.jpg")), QByteArray("old"));
}

TEST_F(FileRun, KeywordsNeverLeadOutOfTheOutputFolder) {
    add(QStringLiteral("a..b.txt"), "x");
    job.rule = byKeywords(QStringLiteral(".. ../esc ..b a. .."));
    host.mode = TransferMode::Move;
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(), (QStringList{QStringLiteral("..b"), QStringLiteral("a.")}));
    EXPECT_EQ(outEntries(QStringLiteral("..b")), QStringList{QStringLiteral("a..b.txt")});
    EXPECT_EQ(dir.sortedEntries(), (QStringList{QStringLiteral("out"), QStringLiteral("src")}));
    expectCompleted();
}

TEST_F(FileRun, NameCriterionUsesBaseNameRangeAndFilter) {
    struct Case {
        const char* file;
        bool range;
        const char* begin;
        const char* end;
        const char* filter;
        const char* folder; // "" for the output folder itself
    };
    const Case cases[] = {
        {"report.final.doc", false, "", "", "", "report.final"},
        {"文件名abc.txt", true, "2", "4", "", "件名a"},
        {"文件名abc.txt", true, "4", "2", "", "件名a"},
        {"文件名abc.txt", true, "0", "3", "", "文件名a"},
        {"文件名abc.txt", true, "-2", "3", "", "文件名abc"},
        {"文件名abc.txt", true, "3", "300", "", "名abc"},
        {"short.txt", true, "10", "12", "", ""},
        {"IMG_2013_a.jpg", false, "", "", "IMG_*_a", "2013"},
        {"name.txt", false, "", "", "name", ""},
        {"....txt", false, "", "", "", "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TestDir d;
        FileSortJob j;
        j.rule = byName(NameChoice{c.range, u(c.begin), u(c.end), u(c.filter), false});
        j.Files = {d.file(QStringLiteral("src/") + u(c.file), "x")};
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
        const QString folder = u(c.folder);
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{folder.isEmpty() ? u(c.file) : folder});
        EXPECT_TRUE(d.existsFile(QStringLiteral("out/") +
                                 (folder.isEmpty() ? u(c.file) : folder + QLatin1Char('/') + u(c.file))));
    }
}

TEST_F(FileRun, NameThatWouldLeadOutIsNotSorted) {
    add(QStringLiteral("..."), "x");     // base name ".."
    add(QStringLiteral("..x.txt"), "y"); // range 1 to 2 gives ".."
    job.rule = byNameRange(QStringLiteral("1"), QStringLiteral("2"));
    host.mode = TransferMode::Move;
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(dir.sortedEntries(QStringLiteral("src")),
              (QStringList{QStringLiteral("..."), QStringLiteral("..x.txt")}));
    EXPECT_TRUE(outEntries().isEmpty());
    EXPECT_EQ(dir.sortedEntries(), (QStringList{QStringLiteral("out"), QStringLiteral("src")}));
    EXPECT_EQ(host.progress, (std::vector<int>{0, 50, 100, 0}));
}

TEST_F(FileRun, OnlyExistingTargetsDropsFilesWithoutAFolder) {
    add(QStringLiteral("alpha.txt"));
    add(QStringLiteral("beta.txt"));
    dir.folder(QStringLiteral("out/beta"));
    job.rule = byName(NameChoice{false, QString(), QString(), QString(), true});
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(), QStringList{QStringLiteral("beta")});
    EXPECT_EQ(outEntries(QStringLiteral("beta")), QStringList{QStringLiteral("beta.txt")});
    EXPECT_EQ(host.progress, (std::vector<int>{50, 100, 0})) << "the dropped item takes no progress step";
}

TEST_F(FileRun, TypeCriterionUsesTheExtensionAsWritten) {
    add(QStringLiteral("x.JPG"));
    add(QStringLiteral("y.jpg"));
    add(QStringLiteral("notes"));
    add(QStringLiteral("a.tar.gz"));
    add(QStringLiteral(".profile"));
    job.rule = byType();
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(),
              (QStringList{QStringLiteral(".JPG"), QStringLiteral(".gz"), QStringLiteral(".jpg"),
                           QStringLiteral(".profile"), QStringLiteral("notes")}));
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/notes")));
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/.JPG/x.JPG")));
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/.jpg/y.jpg")));
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/.gz/a.tar.gz")));
    EXPECT_TRUE(dir.existsFile(QStringLiteral("out/.profile/.profile")));
}

TEST_F(FileRun, SizeCriterionIsStrictAtTheLimit) {
    const std::optional<SizeTest> none;
    struct Case {
        std::optional<SizeTest> relation; // none: nothing selected
        const char* size;
        std::optional<SizeUnit> unit;
        const char* folder;
        std::vector<int> sizes;
        QStringList sorted;
    };
    const Case cases[] = {
        {SizeTest::Greater, "1", SizeUnit::KB, "大于1KB", {1023, 1024, 1025}, {QStringLiteral("f1025")}},
        {SizeTest::Less, "1", SizeUnit::KB, "小于1KB", {1023, 1024, 1025}, {QStringLiteral("f1023")}},
        {SizeTest::Greater, " 1", SizeUnit::MB, "大于 1MB", {1048576, 1048577}, {QStringLiteral("f1048577")}},
        {SizeTest::Greater, "$1", SizeUnit::KB, "大于$1KB", {1024, 1025}, {QStringLiteral("f1025")}},
        {SizeTest::Greater, "-1", SizeUnit::KB, "大于-1KB", {0}, {QStringLiteral("f0")}},
        {none, "1", SizeUnit::KB, "1KB", {1023, 1025}, {QStringLiteral("f1023")}},
        {SizeTest::Greater, "1", std::nullopt, "大于1", {1024, 1025}, {QStringLiteral("f1025")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        TestDir d;
        FileSortJob j;
        j.rule = std::make_shared<SizeRule>(SizeChoice{c.relation, u(c.size), c.unit});
        for (int size : c.sizes)
            j.Files.append(d.file(QStringLiteral("src/f") + QString::number(size), QByteArray(size, 'z')));
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{u(c.folder)});
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out/") + u(c.folder)), c.sorted);
    }
}

TEST_F(FileRun, SizeCriterionDropsFilesItCannotOpen) {
    add(QStringLiteral("a.bin"), QByteArray(2000, 'a'));
    job.Files.append(dir.path(QStringLiteral("src/missing.bin")));
    job.rule = bySize(QStringLiteral("1"));
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(u("大于1KB")), QStringList{QStringLiteral("a.bin")});
    EXPECT_EQ(host.progress, (std::vector<int>{0, 100, 0}));
}

// The units themselves are checked through runs at the limit above.
TEST(SizeLimit, HugeLimitsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(sizeLimitBytes(Q_INT64_C(9007199254740992), SizeUnit::MB), std::numeric_limits<qint64>::max());
    EXPECT_EQ(sizeLimitBytes(std::numeric_limits<qint64>::min(), SizeUnit::KB),
              std::numeric_limits<qint64>::min());
}

TEST_F(FileRun, DateCriterionComparesPackedLocalTimes) {
    const QDate date(2020, 6, 1);
    const QTime time(12, 0, 0);
    struct Case {
        int relation;
        DateSource source;
        QStringList sorted;
    };
    // Modification times: 11:59:58 (earlier), 12:00:01 (equal in two-second steps), 12:00:02 (later),
    // and 2050, whose packed form has the sign bit set.
    const QStringList later{QStringLiteral("future.txt"), QStringLiteral("late.txt")};
    const Case cases[] = {
        {0, DateSource::FromHandle, {QStringLiteral("early.txt")}},
        {1, DateSource::FromHandle, later},
        {2, DateSource::FromHandle, later},
    };
    for (const Case& c : cases) {
        TestDir d;
        FileSortJob j;
        j.rule = std::make_shared<DateRule>(DateChoice{
            c.source, c.relation == 0 ? DateTest::Earlier : DateTest::Later, QDateTime(date, time)});
        j.Files = {d.file(QStringLiteral("src/early.txt"), "e", QDateTime(date, QTime(11, 59, 58))),
                   d.file(QStringLiteral("src/equal.txt"), "q", QDateTime(date, QTime(12, 0, 1))),
                   d.file(QStringLiteral("src/late.txt"), "l", QDateTime(date, QTime(12, 0, 2))),
                   d.file(QStringLiteral("src/future.txt"), "f", QDateTime(QDate(2050, 1, 1), QTime(0, 0)))};
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{dateFolderName(date, true)});
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out/") + dateFolderName(date, true)), c.sorted)
            << c.relation;
    }
}

TEST_F(FileRun, DateThresholdBefore1980PacksToZero) {
    // Stamps that can be read are all later than a 1979 threshold; only an unreadable one is earlier.
    // A missing source with an existing target shows which items were sorted: only they are asked about.
    const QDate date(1979, 12, 31);
    for (DateSource source : {DateSource::FromEntry, DateSource::FromHandle}) {
        for (int relation : {0, 1}) {
            TestDir d;
            FileSortJob j;
            j.rule = std::make_shared<DateRule>(
                DateChoice{source, relation == 0 ? DateTest::Earlier : DateTest::Later,
                           QDateTime(date, QTime(23, 59, 59))});
            j.Files = {d.file(QStringLiteral("src/new.txt"), "n", QDateTime(QDate(2020, 1, 1), QTime(0, 0))),
                       d.path(QStringLiteral("src/gone.txt"))};
            // The entry time may be the birth time, which cannot be set back to 1975.
            if (source == DateSource::FromHandle)
                j.Files.append(
                    d.file(QStringLiteral("src/old.txt"), "o", QDateTime(QDate(1975, 1, 1), QTime(0, 0))));
            ScriptedHost h;
            h.outputText = d.folder(QStringLiteral("out"));
            h.policy = ClashPolicy::Ask;
            const QString folder = d.path(QStringLiteral("out/") + dateFolderName(date, true));
            d.file(QStringLiteral("out/") + dateFolderName(date, true) + QStringLiteral("/gone.txt"),
                   "target");
            EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
            const QStringList inFolder = d.sortedEntries(QStringLiteral("out/") + dateFolderName(date, true));
            if (relation == 0) {
                EXPECT_EQ(h.questions, QStringList{folder + QStringLiteral("/gone.txt")});
                EXPECT_EQ(inFolder, QStringList{QStringLiteral("gone.txt")});
            } else {
                EXPECT_TRUE(h.questions.isEmpty());
                // A 1975 stamp packs to 0 as well, so it is not later than the threshold.
                EXPECT_EQ(inFolder, (QStringList{QStringLiteral("gone.txt"), QStringLiteral("new.txt")}));
            }
        }
    }
}

TEST(DateFolder, SeparatorsBecomeDashes) {
    const QString name = dateFolderName(QDate(2013, 5, 8), true);
    EXPECT_FALSE(name.contains(QLatin1Char('/')));
    EXPECT_FALSE(name.contains(QLatin1Char('\\')));
    EXPECT_TRUE(name.contains(QStringLiteral("13")));
}

TEST_F(FileRun, ImageCriterionComparesOneDimension) {
    struct Case {
        ImageSide side;
        ImageTest relation;
        const char* limit;
        const char* folder;
        QStringList sorted;
    };
    const Case cases[] = {
        {ImageSide::Width, ImageTest::AtLeast, "800", "大于等于800", {QStringLiteral("big.png")}},
        {ImageSide::Height, ImageTest::AtLeast, "800", "大于等于800", {}},
        {ImageSide::Height, ImageTest::Exactly, "768", "等于768", {QStringLiteral("big.png")}},
        {ImageSide::Width, ImageTest::AtMost, "16", "小于等于16", {QStringLiteral("small.PNG")}},
        {ImageSide::Width, ImageTest::Exactly, "0", "等于0", {}},
        {ImageSide::Width,
         ImageTest::AtLeast,
         "-1",
         "大于等于-1",
         {QStringLiteral("big.png"), QStringLiteral("small.PNG")}},
        {ImageSide::Width, ImageTest::AtMost, "-1", "小于等于-1", {}},
        {ImageSide::Width, ImageTest::None, "1", "1", {}},
    };
    const QByteArray big = pngBytes(1024, 768);
    const QByteArray small = pngBytes(16, 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        TestDir d;
        FileSortJob j;
        j.rule = byImage(u(c.limit), c.relation, c.side);
        j.Files = {d.file(QStringLiteral("src/big.png"), big),
                   d.file(QStringLiteral("src/small.PNG"), small),
                   d.file(QStringLiteral("src/x.jpg"), "not an image"),
                   d.file(QStringLiteral("src/cut.png"), big.left(12)),
                   d.path(QStringLiteral("src/gone.png")),
                   d.file(QStringLiteral("src/b.tiff"), big)};
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
        const QString folder = u(c.folder);
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out")), QStringList{folder});
        EXPECT_EQ(d.sortedEntries(QStringLiteral("out/") + folder), c.sorted);
        // Only the two readable images take a progress step: 0 and 16 of 6 items.
        EXPECT_EQ(h.progress, (std::vector<int>{0, 16, 100, 0}));
    }
}

// ---- Data safety and awkward names ----

TEST_F(FileRun, OverwriteOfAFileOntoItselfLeavesItWhole) {
    // The type criterion sends a file without extension into the output folder itself; with the
    // output folder being the file's own folder, the target is the source.
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        for (ClashPolicy policy :
             {ClashPolicy::Overwrite, ClashPolicy::Ask, ClashPolicy::ReplaceOlder, ClashPolicy::Skip}) {
            TestDir d;
            FileSortJob j;
            j.rule = byType();
            j.Files = {d.file(QStringLiteral("notes"), "precious")};
            ScriptedHost h;
            h.outputText = d.path();
            h.mode = mode;
            h.policy = policy;
            h.answers = {true};
            EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
            EXPECT_EQ(d.read(QStringLiteral("notes")), QByteArray("precious"));
            EXPECT_EQ(d.sortedEntries(), QStringList{QStringLiteral("notes")});
        }
    }
    // The name criterion with a range past the end gives the empty sub-folder name as well.
    TestDir d;
    FileSortJob j;
    j.rule = byNameRange(QStringLiteral("50"), QStringLiteral("60"));
    j.Files = {d.file(QStringLiteral("a.txt"), "precious")};
    ScriptedHost h;
    h.outputText = d.path() + QLatin1Char('/');
    h.mode = TransferMode::Move;
    h.policy = ClashPolicy::Overwrite;
    EXPECT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
    EXPECT_EQ(d.read(QStringLiteral("a.txt")), QByteArray("precious"));
}

TEST_F(FileRun, AwkwardNamesAreSortedOrLeftAloneNeverLost) {
    // A name that is not valid UTF-8 is made with the raw bytes.
    const QByteArray rawName = encodeLocal8(dir.folder(QStringLiteral("src"))) + "/\xff\xfe.bin";
    const int fd = ::open(rawName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "raw", 3), 3);
    ::close(fd);
    job.Files.append(decodeLocal8(rawName));

    const QString longName = QString(251, QLatin1Char('n')) + QStringLiteral(".txt"); // 255 bytes
    const QStringList names = {
        QStringLiteral("noext"),    QStringLiteral(".hidden"),         longName,
        u("照片 2013.JPG"),         QStringLiteral("back\\slash.txt"), QStringLiteral("c:colon.txt"),
        QStringLiteral("empty.txt")};
    for (const QString& name : names)
        add(name, name == QStringLiteral("empty.txt") ? QByteArray() : name.toUtf8());
    dir.folder(QStringLiteral("src/folder.txt"));
    job.Files.append(dir.path(QStringLiteral("src/folder.txt")));
    job.Files.append(dir.path(QStringLiteral("src/missing.txt")));
    ASSERT_EQ(::symlink("nowhere", encodeLocal8(dir.path(QStringLiteral("src/broken.txt"))).constData()), 0);
    job.Files.append(dir.path(QStringLiteral("src/broken.txt")));
    // The long name clashes, and its numbered name would be too long: the copy fails quietly.
    dir.file(QStringLiteral("out/.txt/") + longName, "old");

    job.rule = byType();
    host.policy = ClashPolicy::AutoNumber;
    EXPECT_EQ(run(), RunEnd::Completed);
    expectCompleted();

    EXPECT_EQ(dir.read(QStringLiteral("out/noext")), QByteArray("noext"));
    EXPECT_EQ(dir.read(QStringLiteral("out/.hidden/.hidden")), QByteArray(".hidden"));
    EXPECT_EQ(dir.read(QStringLiteral("out/.JPG/") + u("照片 2013.JPG")), u("照片 2013.JPG").toUtf8());
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/") + longName), QByteArray("old"));
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/back\\slash.txt")), QByteArray("back\\slash.txt"));
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/c:colon.txt")), QByteArray("c:colon.txt"));
    EXPECT_EQ(dir.read(QStringLiteral("out/.txt/empty.txt")), QByteArray(""));
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out/.txt/folder.txt")));
    EXPECT_FALSE(dir.existsFile(QStringLiteral("out/.txt/missing.txt")));
    EXPECT_FALSE(dir.existsFile(QStringLiteral("out/.txt/broken.txt")));
    const QByteArray rawTarget = encodeLocal8(dir.path(QStringLiteral("out/.bin"))) + "/\xff\xfe.bin";
    EXPECT_EQ(::access(rawTarget.constData(), F_OK), 0) << "the undecodable name survives byte for byte";
    // Copy mode: every source is still there.
    EXPECT_EQ(::access(rawName.constData(), F_OK), 0);
    for (const QString& name : names)
        EXPECT_TRUE(dir.existsFile(QStringLiteral("src/") + name)) << name.toStdString();

    // Move mode moves the same files and leaves the folder entry where it is.
    host = ScriptedHost();
    host.outputText = dir.path(QStringLiteral("out2"));
    dir.folder(QStringLiteral("out2"));
    host.mode = TransferMode::Move;
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(::access(rawName.constData(), F_OK), -1);
    EXPECT_EQ(
        ::access(
            QByteArray(encodeLocal8(dir.path(QStringLiteral("out2/.bin"))) + "/\xff\xfe.bin").constData(),
            F_OK),
        0);
    EXPECT_EQ(dir.read(QStringLiteral("out2/.txt/") + longName), longName.toUtf8());
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("src/folder.txt")));
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("out2/.txt/folder.txt")));
}

TEST_F(FileRun, AListedPipeNeverHoldsUpTheRun) {
    const QString pipe = dir.path(QStringLiteral("src/pipe.png"));
    dir.folder(QStringLiteral("src"));
    ASSERT_EQ(::mkfifo(encodeLocal8(pipe).constData(), 0644), 0);
    job.Files = {pipe};
    const std::shared_ptr<FileRule> rules[] = {
        byType(), bySize(QStringLiteral("0"), SizeTest::Less),
        std::make_shared<DateRule>(
            DateChoice{DateSource::FromHandle, DateTest::Earlier, QDateTime(QDate(2000, 1, 1), QTime(0, 0))}),
        byImage(QStringLiteral("0"))};
    for (const auto& rule : rules) {
        job.rule = rule;
        host = ScriptedHost();
        host.outputText = dir.path(QStringLiteral("out"));
        EXPECT_EQ(run(), RunEnd::Completed);
    }
    EXPECT_EQ(::access(encodeLocal8(pipe).constData(), F_OK), 0);
    EXPECT_EQ(::access(encodeLocal8(dir.path(QStringLiteral("out/.png/pipe.png"))).constData(), F_OK), -1);
}

// ---- The date taken ----

namespace {

// A JPEG whose EXIF says it was taken at `taken` ("2024:05:08 12:34:56").
QString takenPhoto(TestDir& dir, const QString& relative, const char* taken) {
    const QString path = dir.path(relative);
    dir.folder(relative.section(QLatin1Char('/'), 0, -2));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    EXPECT_TRUE(image.save(path, "JPG"));
    Exiv2::Image::AutoPtr meta = Exiv2::ImageFactory::open(path.toStdString());
    meta->exifData()["Exif.Photo.DateTimeOriginal"] = std::string(taken);
    meta->writeMetadata();
    return path;
}

std::shared_ptr<FileRule> byTaken(TakenFallback fallback = TakenFallback::NameThenModified,
                                  bool skipSame = true) {
    TakenChoice choice;
    choice.fallback = fallback;
    choice.skipSame = skipSame;
    return std::make_shared<TakenDateRule>(choice);
}

} // namespace

TEST(TakenFolder, EachPatternNamesItsFolders) {
    const QDateTime when(QDate(2024, 5, 8), QTime(9, 0));
    EXPECT_EQ(takenFolderName(when, TakenPattern::Year), QStringLiteral("2024"));
    EXPECT_EQ(takenFolderName(when, TakenPattern::YearSlashMonth), QStringLiteral("2024/05"));
    EXPECT_EQ(takenFolderName(when, TakenPattern::YearSlashMonthSlashDay), QStringLiteral("2024/05/08"));
    EXPECT_EQ(takenFolderName(when, TakenPattern::YearDashMonth), QStringLiteral("2024-05"));
    EXPECT_EQ(takenFolderName(when, TakenPattern::YearDashMonthDashDay), QStringLiteral("2024-05-08"));
}

TEST_F(FileRun, DateTakenThenTheChosenFallbacks) {
    struct Case {
        TakenFallback fallback;
        QStringList folders; // of the photo, the named file and the plain file
    };
    const QString unknown = unknownDateFolder();
    const Case cases[] = {
        {TakenFallback::NameThenModified, {u("2024/05"), u("2023/01"), u("2020/06")}},
        {TakenFallback::Name, {u("2024/05"), u("2023/01"), unknown}},
        {TakenFallback::Modified, {u("2024/05"), u("2020/06"), u("2020/06")}},
        {TakenFallback::UnknownFolder, {u("2024/05"), unknown, unknown}},
    };
    const QDateTime modified(QDate(2020, 6, 1), QTime(12, 0));
    for (const Case& c : cases) {
        TestDir d;
        FileSortJob j;
        j.rule = byTaken(c.fallback);
        const QString photo = takenPhoto(d, QStringLiteral("src/p.jpg"), "2024:05:08 12:34:56");
        TestDir::setModified(photo, modified);
        j.Files = {photo, d.file(QStringLiteral("src/IMG_20230102_101010.jpg"), "no exif", modified),
                   d.file(QStringLiteral("src/a.txt"), "a", modified)};
        ScriptedHost h;
        h.outputText = d.folder(QStringLiteral("out"));
        ASSERT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(d.existsFile(QStringLiteral("out/") + c.folders[i] + QLatin1Char('/') +
                                     j.Files[i].section(QLatin1Char('/'), -1)))
                << int(c.fallback) << " " << i;
    }
}

TEST_F(FileRun, SidecarsGoWithTheirPhotoAndTakeItsNumber) {
    const QString photo = takenPhoto(dir, QStringLiteral("src/IMG_0001.jpg"), "2024:05:08 12:34:56");
    job.Files = {add(QStringLiteral("IMG_0001.AAE"), "aae"), photo,
                 add(QStringLiteral("IMG_0001.jpg.xmp"), "xmp"),
                 add(QStringLiteral("lone.xmp"), "x", QDateTime(QDate(2019, 3, 1), QTime(8, 0)))};
    job.rule = byTaken();
    dir.file(QStringLiteral("out/2024/05/IMG_0001.jpg"), "another picture");
    host.policy = ClashPolicy::AutoNumber;
    const std::optional<Preview> preview = previewFileSort(job, host, fs);
    ASSERT_TRUE(preview);
    ASSERT_EQ(preview->rows.size(), 4u);
    EXPECT_TRUE(preview->rows[0].action.contains(QStringLiteral("拍摄时间 2024-05-08 12:34:56")))
        << preview->rows[0].action.toStdString();
    EXPECT_EQ(run(), RunEnd::Completed);
    EXPECT_EQ(outEntries(QStringLiteral("2024/05")),
              (QStringList{QStringLiteral("IMG_0001.jpg"), QStringLiteral("IMG_0001_1.AAE"),
                           QStringLiteral("IMG_0001_1.jpg"), QStringLiteral("IMG_0001_1.jpg.xmp")}));
    EXPECT_EQ(outEntries(QStringLiteral("2019/03")), QStringList{QStringLiteral("lone.xmp")});
    EXPECT_EQ(host.progress, (std::vector<int>{0, 25, 50, 75, 100, 0}));
}

TEST_F(FileRun, ContentAlreadySortedIsLeftWhereItIs) {
    for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
        for (bool skipSame : {true, false}) {
            TestDir d;
            FileSortJob j;
            j.rule = byTaken(TakenFallback::Modified, skipSame);
            const QDateTime modified(QDate(2021, 7, 1), QTime(12, 0));
            j.Files = {d.file(QStringLiteral("src/a.jpg"), "same", modified),
                       d.file(QStringLiteral("src/b.jpg"), "new", modified)};
            d.file(QStringLiteral("out/2021/07/a.jpg"), "other");
            d.file(QStringLiteral("out/2021/07/a_1.jpg"), "same");
            ScriptedHost h;
            h.outputText = d.folder(QStringLiteral("out"));
            h.mode = mode;
            h.policy = ClashPolicy::AutoNumber;
            const std::optional<Preview> preview = previewFileSort(j, h, fs);
            ASSERT_TRUE(preview);
            EXPECT_EQ(preview->rows.front().action.startsWith(QStringLiteral("内容相同，跳过")), skipSame);
            ASSERT_EQ(runFileSort(j, h, fs), RunEnd::Completed);
            const QStringList expected =
                skipSame ? QStringList{u("a.jpg"), u("a_1.jpg"), u("b.jpg")}
                         : QStringList{u("a.jpg"), u("a_1.jpg"), u("a_2.jpg"), u("b.jpg")};
            EXPECT_EQ(d.sortedEntries(QStringLiteral("out/2021/07")), expected) << skipSame;
            EXPECT_EQ(d.existsFile(QStringLiteral("src/a.jpg")), skipSame || mode == TransferMode::Copy);
            EXPECT_TRUE(h.closingLine.isEmpty()) << h.closingLine.toStdString();
        }
    }
}
