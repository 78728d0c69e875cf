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
    SettingValues loadFile(const QByteArray& content) {
        return loadSection(ini(content), kFileWindowSection, c);
    }
    SettingValues loadFolder(const QByteArray& content) {
        return loadSection(ini(content), kFolderWindowSection, c);
    }

    TestDir dir;
    const QLocale c = QLocale::c();
};

SettingValues sampleFileWindow() {
    SettingValues s;
    s.set(keys::Filter, u8(" 前缀* "));
    s.set(keys::SameFile, ClashPolicy::AutoNumber);
    s.set(keys::OutDir, u8("/data/输出/"));
    s.set(keys::FilePage, 4);
    s.set(keys::PicSize, ImageSide::Height);
    s.set(keys::CmbPic, 2);
    s.set(keys::PicSizeValue, u8("800"));
    s.set(keys::CmbCondition, 1);
    s.set(keys::CmbUnit, -1);
    s.set(keys::FileSize, u8("1.5"));
    s.set(keys::EdtKeys, u8("  red blue  "));
    s.set(keys::SuffixFilter, QStringList{u8("*.txt"), u8("*.doc")});
    s.set(keys::DTDate, QDate(2013, 5, 6));
    s.set(keys::DTTime, QTime(13, 5, 9));
    s.set(keys::FileAttr, DateSource::FromHandle);
    s.set(keys::CmbFileDate, 1);
    return s;
}

} // namespace

TEST_F(WindowSettings, FirstStartWithoutAFileGivesEveryDefault) {
    const QString path = dir.path(QStringLiteral("none/Velquin.ini"));
    const SettingValues f = loadSection(path, kFileWindowSection, c);
    EXPECT_EQ(f.get(keys::Filter), QString());
    EXPECT_EQ(f.get(keys::SameFile), ClashPolicy::Skip);
    EXPECT_EQ(f.get(keys::OutDir), defaultOutputFolder());
    EXPECT_EQ(f.get(keys::FilePage), 0);
    EXPECT_EQ(f.get(keys::PicSize), ImageSide::Width);
    EXPECT_EQ(f.get(keys::CmbPic), 0);
    EXPECT_EQ(f.get(keys::PicSizeValue), QString());
    EXPECT_EQ(f.get(keys::CmbCondition), 0);
    EXPECT_EQ(f.get(keys::CmbUnit), 0);
    EXPECT_EQ(f.get(keys::FileSize), QString());
    EXPECT_EQ(f.get(keys::EdtKeys), QString());
    EXPECT_EQ(f.get(keys::SuffixFilter), QStringList());
    EXPECT_FALSE(f.get(keys::DTDate));
    EXPECT_FALSE(f.get(keys::DTTime));
    EXPECT_EQ(f.get(keys::FileAttr), DateSource::FromEntry);
    EXPECT_EQ(f.get(keys::CmbFileDate), 0);

    const SettingValues g = loadSection(path, kFolderWindowSection, c);
    EXPECT_EQ(g.get(keys::Filter), QString());
    EXPECT_EQ(g.get(keys::SameFile), ClashPolicy::Skip);
    EXPECT_EQ(g.get(keys::OutDir), defaultOutputFolder());
    EXPECT_EQ(g.get(keys::FolderPage), 0);
    EXPECT_EQ(g.get(keys::EdtKeys), QString());
    EXPECT_FALSE(g.get(keys::DTDate));
    EXPECT_FALSE(g.get(keys::DTTime));
    EXPECT_EQ(g.get(keys::CmbFileDate), 0);
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
        EXPECT_EQ(loadFile("[Parameter]\r\n" + line).get(keys::SameFile), expected) << stored;
        EXPECT_EQ(loadFolder("[Parameter2]\r\n" + line).get(keys::SameFile), expected) << stored;
    }
}

TEST_F(WindowSettings, PageInRangeOrPresetButAbsentIsZero) {
    const std::pair<const char*, std::optional<int>> fileCases[] = {
        {"Page=6", 6}, {"Page=0x5", 5}, {"Page=7", std::nullopt}, {"Page=-1", std::nullopt},
        {"page=2", 2}, {"Page=abc", 0}, {"Other=1", 0},
    };
    for (const auto& [line, expected] : fileCases)
        EXPECT_EQ(loadFile(QByteArray("[Parameter]\n") + line + "\n").get(keys::FilePage), expected) << line;

    const std::pair<const char*, std::optional<int>> folderCases[] = {
        {"Page=3", 3}, {"Page=4", std::nullopt}, {"Page=-1", std::nullopt}, {"Other=1", 0}};
    for (const auto& [line, expected] : folderCases)
        EXPECT_EQ(loadFolder(QByteArray("[Parameter2]\n") + line + "\n").get(keys::FolderPage), expected)
            << line;
}

TEST_F(WindowSettings, IndexesAsStoredAndFlagsAsNonZero) {
    const SettingValues s = loadFile("[Parameter]\nCmbPic=7\nCmbCondition=-1\nCmbUnit=$1\n"
                                     "PicSize=2\nFileAttr=x\nCmbFileDate=9\n");
    EXPECT_EQ(s.get(keys::CmbPic), 7);
    EXPECT_EQ(s.get(keys::CmbCondition), -1);
    EXPECT_EQ(s.get(keys::CmbUnit), 1);
    EXPECT_EQ(s.get(keys::PicSize), ImageSide::Height);
    EXPECT_EQ(s.get(keys::FileAttr), DateSource::FromEntry);
    EXPECT_EQ(s.get(keys::CmbFileDate), 9);

    // The date-taken page's own keys: a drop-down's item out of range and an absent switch give
    // their presets, "年/月" and on.
    const SettingValues taken = loadFile("[Parameter]\nTakenPattern=5\nTakenFallback=3\nTakenSkipSame=0\n");
    EXPECT_EQ(taken.get(keys::TakenPattern), 1);
    EXPECT_EQ(taken.get(keys::TakenFallback), 3);
    EXPECT_EQ(taken.get(keys::TakenSidecars), true);
    EXPECT_EQ(taken.get(keys::TakenSkipSame), false);
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
        EXPECT_EQ(loadFile(QByteArray("[Parameter]\nSuffixFilter=") + stored + "\n").get(keys::SuffixFilter),
                  entries)
            << stored;

    SettingValues empty;
    empty.set(keys::SuffixFilter, QStringList());
    EXPECT_EQ(saveSection(ini(""), kFileWindowSection, empty, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\r\nSuffixFilter=\r\n"));
    EXPECT_EQ(loadSection(ini(onDisk()), kFileWindowSection, c).get(keys::SuffixFilter), QStringList());
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
        EXPECT_EQ(loadFile(content).get(keys::OutDir), expected) << qPrintable(stored);
        EXPECT_EQ(loadFolder("[Parameter2]\r\nOutDir=" + encodeLocal8(stored) + "\r\n").get(keys::OutDir),
                  expected);
    }
    // QTemporaryDir cannot remove a name that is not UTF-8.
    ::rmdir(encodeLocal8(gbk).constData());
}

TEST_F(WindowSettings, FirstSaveWritesEveryKeyInSaveOrder) {
    const QString path = dir.path(QStringLiteral("config/Velquin.ini"));
    ASSERT_EQ(saveSection(path, kFileWindowSection, sampleFileWindow(), c), QString());
    SettingValues folder;
    folder.set(keys::Filter, u8("f"));
    folder.set(keys::SameFile, ClashPolicy::Overwrite);
    folder.set(keys::OutDir, u8("/o/"));
    folder.set(keys::FolderPage, 2);
    folder.set(keys::EdtKeys, u8(" k "));
    folder.set(keys::DTDate, QDate(2020, 1, 2));
    folder.set(keys::DTTime, QTime(0, 0, 0));
    folder.set(keys::CmbFileDate, 0);
    ASSERT_EQ(saveSection(path, kFolderWindowSection, folder, c), QString());

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
        SettingValues saved = sampleFileWindow();
        saved.set(keys::OutDir, dir.path() + u8("/"));
        ASSERT_EQ(saveSection(path, kFileWindowSection, saved, locale), QString());
        const SettingValues loaded = loadSection(path, kFileWindowSection, locale);
        EXPECT_EQ(loaded.get(keys::Filter), u8("前缀*")) << "blanks at the ends are dropped by the read";
        EXPECT_EQ(loaded.get(keys::SameFile), saved.get(keys::SameFile));
        EXPECT_EQ(loaded.get(keys::OutDir), saved.get(keys::OutDir));
        EXPECT_EQ(loaded.get(keys::FilePage), saved.get(keys::FilePage));
        EXPECT_EQ(loaded.get(keys::PicSize), saved.get(keys::PicSize));
        EXPECT_EQ(loaded.get(keys::CmbPic), saved.get(keys::CmbPic));
        EXPECT_EQ(loaded.get(keys::PicSizeValue), saved.get(keys::PicSizeValue));
        EXPECT_EQ(loaded.get(keys::CmbCondition), saved.get(keys::CmbCondition));
        EXPECT_EQ(loaded.get(keys::CmbUnit), saved.get(keys::CmbUnit));
        EXPECT_EQ(loaded.get(keys::FileSize), saved.get(keys::FileSize));
        EXPECT_EQ(loaded.get(keys::EdtKeys), u8("red blue"));
        EXPECT_EQ(loaded.get(keys::SuffixFilter), saved.get(keys::SuffixFilter));
        EXPECT_EQ(loaded.get(keys::DTDate), saved.get(keys::DTDate)) << name;
        EXPECT_EQ(loaded.get(keys::DTTime), saved.get(keys::DTTime)) << name;
        EXPECT_EQ(loaded.get(keys::FileAttr), saved.get(keys::FileAttr));
        EXPECT_EQ(loaded.get(keys::CmbFileDate), saved.get(keys::CmbFileDate));
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

    SettingValues s;
    s.set(keys::SameFile, ClashPolicy::Overwrite);
    s.set(keys::Filter, u8("a"));
    s.set(keys::EdtKeys, u8("b"));
    ASSERT_EQ(saveSection(path, kFileWindowSection, s, c), QString());
    EXPECT_EQ(onDisk().toStdString(),
              QByteArray(other + "[PARAMETER]\nsamefile=1\r\nMine=kept\nFilter=a\r\nEdtKeys=b\r\n\n" + tail)
                  .toStdString());
    EXPECT_EQ(loadSection(path, kFolderWindowSection, c).get(keys::Filter), u8("folder filter"));
}

TEST_F(WindowSettings, AnUncheckedClashPolicyIsNotWritten) {
    SettingValues s;
    s.set(keys::Filter, u8("x"));
    ASSERT_EQ(saveSection(ini("[Parameter]\nSameFile=4\n"), kFileWindowSection, s, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\nSameFile=4\nFilter=x\r\n"));
}

TEST_F(WindowSettings, FolderSuffixFilterIsAlwaysEmptyAndNeverRead) {
    SettingValues s;
    ASSERT_EQ(saveSection(ini("[Parameter2]\nSuffixFilter=*.a|\n"), kFolderWindowSection, s, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter2]\nSuffixFilter=\r\n"));
}

TEST_F(WindowSettings, QuotesLongValuesAndLineBreaks) {
    const QByteArray longValue(3000, 'k');
    const SettingValues s =
        loadFile("[Parameter]\nFilter=\"  quoted  \"\nFileSize='1'\nEdtKeys=" + longValue + "\n");
    EXPECT_EQ(s.get(keys::Filter), u8("  quoted  "));
    EXPECT_EQ(s.get(keys::FileSize), u8("1"));
    EXPECT_EQ(s.get(keys::EdtKeys), QString::fromLatin1(longValue.left(2047)));

    // A pasted line break cannot split the value into a line of its own.
    SettingValues broken;
    broken.set(keys::EdtKeys, u8("red\r\nblue\n"));
    broken.set(keys::Filter, u8("a\nPage=5"));
    const QString path = ini("");
    ASSERT_EQ(saveSection(path, kFileWindowSection, broken, c), QString());
    EXPECT_EQ(onDisk(), QByteArray("[Parameter]\r\nFilter=a Page=5\r\nEdtKeys=red  blue\r\n"));
    EXPECT_EQ(loadSection(path, kFileWindowSection, c).get(keys::FilePage), 0);
}

// A file saved by an editor that writes a byte-order mark, and one with its section twice: the
// first section is read (every key of it, and only those), saving adds no second section, and the
// mark stays.
TEST_F(WindowSettings, ByteOrderMarkAndRepeatedSections) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const SettingValues marked = loadFile(bom + "[Parameter]\r\nSameFile=3\r\nPage=2\r\n");
    EXPECT_EQ(marked.get(keys::SameFile), ClashPolicy::AutoNumber);
    EXPECT_EQ(marked.get(keys::FilePage), 2);
    SettingValues values;
    values.set(keys::EdtKeys, u8("red"));
    ASSERT_EQ(saveSection(dir.path(QStringLiteral("Velquin.ini")), kFileWindowSection, values, c), QString());
    EXPECT_EQ(onDisk(), bom + "[Parameter]\r\nSameFile=3\r\nPage=2\r\nEdtKeys=red\r\n");

    const SettingValues twice = loadFile("[Parameter]\r\nPage=2\r\n[Parameter]\r\nSameFile=3\r\nPage=4\r\n");
    EXPECT_EQ(twice.get(keys::FilePage), 2);
    EXPECT_EQ(twice.get(keys::SameFile), ClashPolicy::Skip);
}

TEST_F(WindowSettings, JunkFileLoadsTheDefaults) {
    static const char junk[] = "\0\0garbage\n=\n[\n\xFF\xFE=1\nSameFile=3\nPage=5\n";
    const SettingValues s = loadFile(QByteArray(junk, sizeof junk - 1));
    EXPECT_EQ(s.get(keys::SameFile), ClashPolicy::Skip);
    EXPECT_EQ(s.get(keys::FilePage), 0);
    EXPECT_EQ(s.get(keys::Filter), QString());
    EXPECT_EQ(s.get(keys::SuffixFilter), QStringList());
}

TEST_F(WindowSettings, UnwritableFileReportsThePathAndKeepsTheOldFile) {
    const QString blocker = dir.file(QStringLiteral("blocker"), "a file, not a folder");
    const QString under = blocker + QStringLiteral("/Velquin.ini");
    EXPECT_EQ(saveSection(under, kFileWindowSection, sampleFileWindow(), c),
              u8("Unable to write to ") + under);
    EXPECT_EQ(saveSection(under, kFolderWindowSection, SettingValues{}, c),
              u8("Unable to write to ") + under);

    // A write that fails part way: nothing of the new content reaches the file.
    const QByteArray old = "[Parameter]\r\nSameFile=2\r\n[Parameter2]\r\nPage=1\r\n";
    const QString path = ini(old);
    SettingValues big = sampleFileWindow();
    big.set(keys::Filter, QString(8192, QLatin1Char('f')));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = saveSection(path, kFileWindowSection, big, c);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, u8("Unable to write to ") + path);
    EXPECT_EQ(onDisk(), old);
    EXPECT_EQ(dir.entries(), (QStringList{QStringLiteral("Velquin.ini"), QStringLiteral("blocker")}));
}
