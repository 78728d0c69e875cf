#include "settings/windowsettings.h"

#include "platform/names.h"
#include "support/testdir.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velquin;
using velquin::test::TestDir;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

class WindowSettings : public ::testing::Test {
protected:
    QString ini(const QByteArray& content) { return dir.file(QStringLiteral("Velquin.ini"), content); }
    QByteArray onDisk() { return dir.read(QStringLiteral("Velquin.ini")).value_or(QByteArray("<missing>")); }
    FileWindowSettings loadFile(const QByteArray& content) { return loadFileWindowSettings(ini(content), c); }
    FolderWindowSettings loadFolder(const QByteArray& content) {
        return loadFolderWindowSettings(ini(content), c);
    }

    TestDir dir;
    const QLocale c = QLocale::c();
};

FileWindowSettings sampleFileWindow() {
    FileWindowSettings s;
    s.filter = u8(" 前缀* ");
    s.sameFile = ClashPolicy::AutoNumber;
    s.outDir = u8("/data/输出/");
    s.page = 4;
    s.picSize = ImageSide::Height;
    s.cmbPic = 2;
    s.picSizeValue = u8("800");
    s.cmbCondition = 1;
    s.cmbUnit = -1;
    s.fileSize = u8("1.5");
    s.edtKeys = u8("  red blue  ");
    s.suffixFilter = QStringList{u8("*.txt"), u8("*.doc")};
    s.dtDate = QDate(2013, 5, 6);
    s.dtTime = QTime(13, 5, 9);
    s.fileAttr = DateSource::FromHandle;
    s.cmbFileDate = 1;
    return s;
}

} // namespace

TEST_F(WindowSettings, FirstStartWithoutAFileGivesEveryDefault) {
    const QString path = dir.path(QStringLiteral("none/Velquin.ini"));
    const FileWindowSettings f = loadFileWindowSettings(path, c);
    EXPECT_EQ(f.filter, QString());
    EXPECT_EQ(f.sameFile, ClashPolicy::Skip);
    EXPECT_EQ(f.outDir, defaultOutputFolder());
    EXPECT_EQ(f.page, 0);
    EXPECT_EQ(f.picSize, ImageSide::Width);
    EXPECT_EQ(f.cmbPic, 0);
    EXPECT_EQ(f.picSizeValue, QString());
    EXPECT_EQ(f.cmbCondition, 0);
    EXPECT_EQ(f.cmbUnit, 0);
    EXPECT_EQ(f.fileSize, QString());
    EXPECT_EQ(f.edtKeys, QString());
    EXPECT_EQ(f.suffixFilter, QStringList());
    EXPECT_FALSE(f.dtDate);
    EXPECT_FALSE(f.dtTime);
    EXPECT_EQ(f.fileAttr, DateSource::FromEntry);
    EXPECT_EQ(f.cmbFileDate, 0);

    const FolderWindowSettings g = loadFolderWindowSettings(path, c);
    EXPECT_EQ(g.filter, QString());
    EXPECT_EQ(g.sameFile, ClashPolicy::Skip);
    EXPECT_EQ(g.outDir, defaultOutputFolder());
    EXPECT_EQ(g.page, 0);
    EXPECT_EQ(g.edtKeys, QString());
    EXPECT_FALSE(g.dtDate);
    EXPECT_FALSE(g.dtTime);
    EXPECT_EQ(g.cmbFileDate, 0);
    EXPECT_FALSE(dir.existsFolder(QStringLiteral("none")));
}

TEST(DefaultOutputFolder, ProgramFolderWithSeparator) {
    // The test program's folder is writable in the build tree.
    EXPECT_EQ(defaultOutputFolder(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_TRUE(settingsFilePath().endsWith(QStringLiteral("/Velquin.ini")));
    EXPECT_TRUE(settingsFilePath().contains(QStringLiteral("qttest"))) << qPrintable(settingsFilePath());
    // An installed program's folder, one the system finds programs in, is never the default.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QCoreApplication::applicationDirPath().toLocal8Bit() + ':' + path);
    EXPECT_EQ(defaultOutputFolder(), QDir::homePath() + QLatin1Char('/'));
    qputenv("PATH", path);
}

TEST_F(WindowSettings, SameFileFallsBackToSkip) {
    const std::pair<const char*, ClashPolicy> cases[] = {
        {"0", ClashPolicy::Skip},         {"1", ClashPolicy::Overwrite},
        {"2", ClashPolicy::Ask},          {"3", ClashPolicy::AutoNumber},
        {"4", ClashPolicy::ReplaceOlder}, {"7", ClashPolicy::Skip},
        {"x", ClashPolicy::Skip},         {"-1", ClashPolicy::Skip},
        {"", ClashPolicy::Skip},          {"0x3", ClashPolicy::AutoNumber},
        {"$2", ClashPolicy::Ask},         {" \"1\" ", ClashPolicy::Overwrite},
    };
    for (const auto& [stored, expected] : cases) {
        const QByteArray line = QByteArray("SameFile=") + stored + "\r\n";
        EXPECT_EQ(loadFile("[Parameter]\r\n" + line).sameFile, expected) << stored;
        EXPECT_EQ(loadFolder("[Parameter2]\r\n" + line).sameFile, expected) << stored;
    }
}

TEST_F(WindowSettings, PageInRangeOrPresetButAbsentIsZero) {
    const std::pair<const char*, std::optional<int>> fileCases[] = {
        {"Page=5", 5}, {"Page=0x5", 5}, {"Page=6", std::nullopt}, {"Page=-1", std::nullopt},
        {"page=2", 2}, {"Page=abc", 0}, {"Other=1", 0},
    };
    for (const auto& [line, expected] : fileCases)
        EXPECT_EQ(loadFile(QByteArray("[Parameter]\n") + line + "\n").page, expected) << line;

    const std::pair<const char*, std::optional<int>> folderCases[] = {
        {"Page=3", 3}, {"Page=4", std::nullopt}, {"Page=-1", std::nullopt}, {"Other=1", 0}};
    for (const auto& [line, expected] : folderCases)
        EXPECT_EQ(loadFolder(QByteArray("[Parameter2]\n") + line + "\n").page, expected) << line;
}

TEST_F(WindowSettings, IndexesAsStoredAndFlagsAsNonZero) {
    const FileWindowSettings s = loadFile("[Parameter]\nCmbPic=7\nCmbCondition=-1\nCmbUnit=$1\n"
                                          "PicSize=2\nFileAttr=x\nCmbFileDate=9\n");
    EXPECT_EQ(s.cmbPic, 7);
    EXPECT_EQ(s.cmbCondition, -1);
    EXPECT_EQ(s.cmbUnit, 1);
    EXPECT_EQ(s.picSize, ImageSide::Height);
    EXPECT_EQ(s.fileAttr, DateSource::FromEntry);
    EXPECT_EQ(s.cmbFileDate, 9);
}

TEST_F(WindowSettings, SuffixFilterSplitsAsStored) {
    const std::pair<const char*, QStringList> cases[] = {
        {"*.a||*.b|", {u8("*.a"), u8("*.b")}},
        {"*.a|*.b", {u8("*.a"), u8("*.b")}},
        {"*.a| *.b|", {u8("*.a"), u8(" *.b")}},
        {"*.a|*.a|", {u8("*.a"), u8("*.a")}},
        {"", {}},
    };
    for (const auto& [stored, entries] : cases)
        EXPECT_EQ(loadFile(QByteArray("[Parameter]\nSuffixFilter=") + stored + "\n").suffixFilter, entries)
            << stored;

    FileWindowSettings empty;
    empty.suffixFilter = QStringList();
    EXPECT_EQ(saveFileWindowSettings(ini(""), empty, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\r\nSuffixFilter=\r\n"));
    EXPECT_EQ(loadFileWindowSettings(ini(onDisk()), c).suffixFilter, QStringList());
}

TEST_F(WindowSettings, OutDirOnlyWhenItNamesAnExistingFolder) {
    const QString existing = dir.folder(QStringLiteral("out"));
    // A folder name in GBK bytes, which is not UTF-8.
    const QString gbk = dir.path(decodeLocal8("\xD6\xD0\xCE\xC4"));
    ASSERT_EQ(::mkdir(encodeLocal8(gbk).constData(), 0700), 0);
    const QString deleted = dir.folder(QStringLiteral("gone"));
    QDir(deleted).removeRecursively();
    const std::pair<QString, QString> cases[] = {
        {existing + u8("/"), existing + u8("/")}, {existing, existing},   {gbk + u8("/"), gbk + u8("/")},
        {deleted + u8("/"), QString()},           {QString(), QString()},
    };
    for (const auto& [stored, expected] : cases) {
        const QByteArray content = "[Parameter]\r\nOutDir=" + encodeLocal8(stored) + "\r\n";
        EXPECT_EQ(loadFile(content).outDir, expected) << qPrintable(stored);
        EXPECT_EQ(loadFolder("[Parameter2]\r\nOutDir=" + encodeLocal8(stored) + "\r\n").outDir, expected);
    }
    // QTemporaryDir cannot remove a name that is not UTF-8.
    ::rmdir(encodeLocal8(gbk).constData());
}

TEST_F(WindowSettings, FirstSaveWritesEveryKeyInSaveOrder) {
    const QString path = dir.path(QStringLiteral("config/Velquin.ini"));
    ASSERT_EQ(saveFileWindowSettings(path, sampleFileWindow(), c), QString());
    FolderWindowSettings folder;
    folder.filter = u8("f");
    folder.sameFile = ClashPolicy::Overwrite;
    folder.outDir = u8("/o/");
    folder.page = 2;
    folder.edtKeys = u8(" k ");
    folder.dtDate = QDate(2020, 1, 2);
    folder.dtTime = QTime(0, 0, 0);
    folder.cmbFileDate = 0;
    ASSERT_EQ(saveFolderWindowSettings(path, folder, c), QString());

    const QByteArray expected = "[Parameter]\r\n"
                                "Filter= " +
                                u8("前缀*").toUtf8() +
                                " \r\n"
                                "SameFile=3\r\n"
                                "OutDir=/data/" +
                                u8("输出").toUtf8() +
                                "/\r\n"
                                "Page=4\r\n"
                                "PicSize=1\r\n"
                                "CmbPic=2\r\n"
                                "PicSizeValue=800\r\n"
                                "CmbCondition=1\r\n"
                                "CmbUnit=-1\r\n"
                                "FileSize=1.5\r\n"
                                "EdtKeys=red blue\r\n"
                                "SuffixFilter=*.txt|*.doc|\r\n"
                                "DTDate=6 May 2013\r\n"
                                "DTTime=13:05:09\r\n"
                                "FileAttr=1\r\n"
                                "CmbFileDate=1\r\n"
                                "[Parameter2]\r\n"
                                "Filter=f\r\n"
                                "SameFile=1\r\n"
                                "OutDir=/o/\r\n"
                                "Page=2\r\n"
                                "EdtKeys=k\r\n"
                                "SuffixFilter=\r\n"
                                "DTDate=2 Jan 2020\r\n"
                                "DTTime=00:00:00\r\n"
                                "CmbFileDate=0\r\n";
    EXPECT_EQ(*dir.read(QStringLiteral("config/Velquin.ini")), expected);
}

TEST_F(WindowSettings, RoundTripInSeveralLocales) {
    for (const char* name : {"zh_CN", "en_US", "C"}) {
        const QLocale locale(QString::fromLatin1(name));
        const QString path = dir.path(QString::fromLatin1(name) + QStringLiteral(".ini"));
        FileWindowSettings saved = sampleFileWindow();
        saved.outDir = dir.path() + u8("/");
        ASSERT_EQ(saveFileWindowSettings(path, saved, locale), QString());
        const FileWindowSettings loaded = loadFileWindowSettings(path, locale);
        EXPECT_EQ(loaded.filter, u8("前缀*")) << "blanks at the ends are dropped by the read";
        EXPECT_EQ(loaded.sameFile, saved.sameFile);
        EXPECT_EQ(loaded.outDir, saved.outDir);
        EXPECT_EQ(loaded.page, saved.page);
        EXPECT_EQ(loaded.picSize, saved.picSize);
        EXPECT_EQ(loaded.cmbPic, saved.cmbPic);
        EXPECT_EQ(loaded.picSizeValue, saved.picSizeValue);
        EXPECT_EQ(loaded.cmbCondition, saved.cmbCondition);
        EXPECT_EQ(loaded.cmbUnit, saved.cmbUnit);
        EXPECT_EQ(loaded.fileSize, saved.fileSize);
        EXPECT_EQ(loaded.edtKeys, u8("red blue"));
        EXPECT_EQ(loaded.suffixFilter, saved.suffixFilter);
        EXPECT_EQ(loaded.dtDate, saved.dtDate) << name;
        EXPECT_EQ(loaded.dtTime, saved.dtTime) << name;
        EXPECT_EQ(loaded.fileAttr, saved.fileAttr);
        EXPECT_EQ(loaded.cmbFileDate, saved.cmbFileDate);
    }
}

TEST_F(WindowSettings, SavingOneSectionLeavesEverythingElseAsItWas) {
    const QByteArray other = "; kept comment\n"
                             "junk line without equals\n"
                             "[Parameter2]\n"
                             "Filter=folder filter\n"
                             "Unknown=1\n"
                             "\n";
    const QByteArray tail = "[Extra]\nx=\"y\"\n";
    const QString path = ini(other + "[PARAMETER]\nsamefile=2\nMine=kept\n\n" + tail);

    FileWindowSettings s;
    s.sameFile = ClashPolicy::Overwrite;
    s.filter = u8("a");
    s.edtKeys = u8("b");
    ASSERT_EQ(saveFileWindowSettings(path, s, c), QString());
    EXPECT_EQ(onDisk().toStdString(),
              QByteArray(other + "[PARAMETER]\nsamefile=1\r\nMine=kept\nFilter=a\r\nEdtKeys=b\r\n\n" + tail)
                  .toStdString());
    EXPECT_EQ(loadFolderWindowSettings(path, c).filter, u8("folder filter"));
}

TEST_F(WindowSettings, AnUncheckedClashPolicyIsNotWritten) {
    FileWindowSettings s;
    s.filter = u8("x");
    ASSERT_EQ(saveFileWindowSettings(ini("[Parameter]\nSameFile=4\n"), s, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\nSameFile=4\nFilter=x\r\n"));
}

TEST_F(WindowSettings, FolderSuffixFilterIsAlwaysEmptyAndNeverRead) {
    FolderWindowSettings s;
    ASSERT_EQ(saveFolderWindowSettings(ini("[Parameter2]\nSuffixFilter=*.a|\n"), s, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter2]\nSuffixFilter=\r\n"));
}

TEST_F(WindowSettings, QuotesLongValuesAndLineBreaks) {
    const QByteArray longValue(3000, 'k');
    const FileWindowSettings s =
        loadFile("[Parameter]\nFilter=\"  quoted  \"\nFileSize='1'\nEdtKeys=" + longValue + "\n");
    EXPECT_EQ(s.filter, u8("  quoted  "));
    EXPECT_EQ(s.fileSize, u8("1"));
    EXPECT_EQ(s.edtKeys, QString::fromLatin1(longValue.left(2047)));

    // A pasted line break cannot split the value into a line of its own.
    FileWindowSettings broken;
    broken.edtKeys = u8("red\r\nblue\n");
    broken.filter = u8("a\nPage=5");
    const QString path = ini("");
    ASSERT_EQ(saveFileWindowSettings(path, broken, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\r\nFilter=a Page=5\r\nEdtKeys=red  blue\r\n"));
    EXPECT_EQ(loadFileWindowSettings(path, c).page, 0);
}

// A file saved by an editor that writes a byte-order mark, and one with its section twice: the
// first section is read (every key of it, and only those), saving adds no second section, and the
// mark stays.
TEST_F(WindowSettings, ByteOrderMarkAndRepeatedSections) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const FileWindowSettings marked = loadFile(bom + "[Parameter]\r\nSameFile=3\r\nPage=2\r\n");
    EXPECT_EQ(marked.sameFile, ClashPolicy::AutoNumber);
    EXPECT_EQ(marked.page, 2);
    FileWindowSettings values;
    values.edtKeys = u8("red");
    ASSERT_EQ(saveFileWindowSettings(dir.path(QStringLiteral("Velquin.ini")), values, c), QString());
    EXPECT_EQ(onDisk(), bom + "[Parameter]\r\nSameFile=3\r\nPage=2\r\nEdtKeys=red\r\n");

    const FileWindowSettings twice =
        loadFile("[Parameter]\r\nPage=2\r\n[Parameter]\r\nSameFile=3\r\nPage=4\r\n");
    EXPECT_EQ(twice.page, 2);
    EXPECT_EQ(twice.sameFile, ClashPolicy::Skip);
}

TEST_F(WindowSettings, JunkFileLoadsTheDefaults) {
    static const char junk[] = "\0\0garbage\n=\n[\n\xFF\xFE=1\nSameFile=3\nPage=5\n";
    const FileWindowSettings s = loadFile(QByteArray(junk, sizeof junk - 1));
    EXPECT_EQ(s.sameFile, ClashPolicy::Skip);
    EXPECT_EQ(s.page, 0);
    EXPECT_EQ(s.filter, QString());
    EXPECT_EQ(s.suffixFilter, QStringList());
}

TEST_F(WindowSettings, UnwritableFileReportsThePathAndKeepsTheOldFile) {
    const QString blocker = dir.file(QStringLiteral("blocker"), "a file, not a folder");
    const QString under = blocker + QStringLiteral("/Velquin.ini");
    EXPECT_EQ(saveFileWindowSettings(under, sampleFileWindow(), c), u8("Unable to write to ") + under);
    EXPECT_EQ(saveFolderWindowSettings(under, FolderWindowSettings{}, c), u8("Unable to write to ") + under);

    // A write that fails part way: nothing of the new content reaches the file.
    const QByteArray old = "[Parameter]\r\nSameFile=2\r\n[Parameter2]\r\nPage=1\r\n";
    const QString path = ini(old);
    FileWindowSettings big = sampleFileWindow();
    big.filter = QString(8192, QLatin1Char('f'));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = saveFileWindowSettings(path, big, c);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, u8("Unable to write to ") + path);
    EXPECT_EQ(onDisk(), old);
    EXPECT_EQ(dir.entries(), (QStringList{QStringLiteral("Velquin.ini"), QStringLiteral("blocker")}));
}
