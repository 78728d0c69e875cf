// Settings and list files full of garbage: random bytes, a 100 MB line, names that are not
// valid UTF-8. Loading and importing neither crash nor write anything, keep what can be read,
// and keep raw names byte for byte.

#include "ledger.h"
#include "sandbox.h"

#include "support/printers.h"

#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/inifile.h"
#include "platform/names.h"
#include "settings/windowsettings.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace velquin::test {
namespace {

constexpr qsizetype kLongLine = 100 * 1024 * 1024;

// Random bytes with fragments the readers look for mixed in, so that parsing gets far.
QByteArray garbage(quint32 seed, qsizetype size) {
    static const QByteArray fragments[] = {
        "\r\n", "\n", "\r", "[Parameter]", "[Parameter2]",      "SameFile=", "OutDir=", "Page=",
        "=",    "\"", "[",  "]",           QByteArray(1, '\0'), "\xff\xfe",  "\xe4\xb8"};
    QRandomGenerator random(seed);
    QByteArray data;
    data.reserve(size);
    while (data.size() < size) {
        if (random.bounded(8) == 0)
            data += fragments[random.bounded(int(std::size(fragments)))];
        else
            data += char(random.bounded(256));
    }
    return data;
}

// What the folder holds, times included: nothing may change when nothing was asked to be saved.
QMap<QString, QByteArray> stateWithTimes(const QString& root) {
    QMap<QString, QByteArray> state = treeState(root);
    for (auto it = state.begin(); it != state.end(); ++it)
        it.value() += QByteArray::number(QFileInfo(it.key()).lastModified().toMSecsSinceEpoch());
    return state;
}

void expectSaneSettings(const SettingValues& file, const SettingValues& folder) {
    for (const SettingValues* values : {&file, &folder}) {
        const std::optional<ClashPolicy> sameFile = values->get(keys::SameFile);
        ASSERT_TRUE(sameFile.has_value());
        EXPECT_GE(int(*sameFile), 0);
        EXPECT_LE(int(*sameFile), 4);
    }
    const std::optional<int> filePage = file.get(keys::FilePage);
    EXPECT_TRUE(!filePage || (*filePage >= 0 && *filePage <= 5));
    const std::optional<int> folderPage = folder.get(keys::FolderPage);
    EXPECT_TRUE(!folderPage || (*folderPage >= 0 && *folderPage <= 3));
}

TEST(HostileSettings, GarbageLoadsWithoutCrashOrWrite) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    // A folder whose name is not valid UTF-8 holds some of the files.
    const QString rawFolder = decodeLocal8(encodeLocal8(dir.path()) + "/\xff\xfe\xb0");
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const QString path = (seed % 2 ? dir.path() : rawFolder) + QStringLiteral("/Velquin%1.ini").arg(seed);
        writeWhole(path, garbage(quint32(seed), 64 * 1024 * seed));
        const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
        const IniFile ini = IniFile::load(path);
        EXPECT_EQ(ini.loadError(), 0);
        for (const char* key : {"OutDir", "SameFile", "Page", "SuffixFilter"})
            EXPECT_LE(ini.value(QStringLiteral("Parameter"), QLatin1String(key)).value_or(QString()).size(),
                      IniFile::kMaxValueBytes);
        expectSaneSettings(loadSection(path, kFileWindowSection), loadSection(path, kFolderWindowSection));
        EXPECT_EQ(stateWithTimes(dir.path()), before);
    }
}

TEST(HostileSettings, AHundredMegabyteLineIsCutAndTheKeysAfterItAreRead) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    const QString path = dir.path(QStringLiteral("Velquin.ini"));
    {
        QByteArray content = "[Parameter]\r\nOutDir=";
        content += QByteArray(kLongLine, 'x');
        content += "\r\nSameFile=3\r\n[Parameter2]\r\nFilter=" + QByteArray(kLongLine / 4, '\xff') +
                   "\r\nPage=2\r\n";
        writeWhole(path, content);
    }
    const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
    {
        const IniFile ini = IniFile::load(path);
        EXPECT_EQ(ini.value(QStringLiteral("Parameter"), QStringLiteral("OutDir")).value_or(QString()).size(),
                  IniFile::kMaxValueBytes);
    }
    const SettingValues file = loadSection(path, kFileWindowSection);
    const SettingValues folder = loadSection(path, kFolderWindowSection);
    expectSaneSettings(file, folder);
    EXPECT_EQ(file.get(keys::SameFile), ClashPolicy::AutoNumber);
    EXPECT_EQ(file.get(keys::OutDir), QString()) << "a folder that does not exist is not kept";
    EXPECT_EQ(folder.get(keys::FolderPage), 2);
    EXPECT_EQ(stateWithTimes(dir.path()), before);
}

TEST(HostileSettings, AnOutputFolderWithARawNameReadsBackByteForByte) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    const QByteArray raw = encodeLocal8(dir.path()) + "/\xc8\xd5\xb1\xbe \xff";
    ASSERT_EQ(::mkdir(raw.constData(), 0755), 0);
    const QString path = dir.path(QStringLiteral("Velquin.ini"));
    writeWhole(path, "[Parameter]\r\nOutDir=" + raw + "\r\n[Parameter2]\r\nOutDir=\"" + raw + "/\"\r\n");
    const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
    const std::optional<QString> fileOut = loadSection(path, kFileWindowSection).get(keys::OutDir);
    const std::optional<QString> folderOut = loadSection(path, kFolderWindowSection).get(keys::OutDir);
    ASSERT_TRUE(fileOut && folderOut);
    EXPECT_TRUE(encodeLocal8(*fileOut).startsWith(raw)) << encodeLocal8(*fileOut).toHex().constData();
    EXPECT_TRUE(encodeLocal8(*folderOut).startsWith(raw)) << encodeLocal8(*folderOut).toHex().constData();
    EXPECT_EQ(stateWithTimes(dir.path()), before);
}

struct ImportOutcome {
    QStringList entries;
    QStringList errors;
};

ImportOutcome importFrom(const QString& listPath, ListKind kind) {
    SourceListModel list;
    ScriptedDialogs dialogs;
    dialogs.files.push_back(listPath);
    importList(list, kind, dialogs, nullptr, FileOps());
    return {list.entries(), dialogs.texts(ScriptedDialogs::Kind::Error)};
}

TEST(HostileLists, GarbageImportsOnlyWhatExistsAndWritesNothing) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    const QString real = dir.file(QStringLiteral("real.txt"), "r");
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const QString path = dir.path(QStringLiteral("list%1.lst").arg(seed));
        // First: the text ends at the first zero byte, which the garbage may hold.
        writeWhole(path, encodeLocal8(real) + "\r\n" + garbage(quint32(100 + seed), 64 * 1024 * seed));
        const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
        const ImportOutcome files = importFrom(path, ListKind::Files);
        EXPECT_EQ(files.entries, QStringList{real});
        EXPECT_TRUE(files.errors.isEmpty());
        const ImportOutcome folders = importFrom(path, ListKind::Folders);
        for (const QString& entry : folders.entries)
            EXPECT_TRUE(QFileInfo(entry).isDir()) << entry.toStdString();
        EXPECT_EQ(stateWithTimes(dir.path()), before);
    }
}

TEST(HostileLists, AHundredMegabyteLineIsPassedOverAndTheNextLineIsImported) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    const QString real = dir.file(QStringLiteral("real.txt"), "r");
    const QString path = dir.path(QStringLiteral("long.lst"));
    writeWhole(path, QByteArray(kLongLine, '/') + "a\r\n" + encodeLocal8(real) + "\r\n");
    const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
    EXPECT_EQ(importFrom(path, ListKind::Files).entries, QStringList{real});
    EXPECT_EQ(stateWithTimes(dir.path()), before);
}

TEST(HostileLists, RawNamesSurviveExportAndImportByteForByte) {
    TestDir dir(QStringLiteral("/dev/shm"));
    const RawTreeRemover remover(dir.path());
    const QByteArray base = encodeLocal8(dir.path());
    const QList<QByteArray> rawFiles = {base + "/\xb1\xa8\xb8\xe6.txt", base + "/bad\xff\xfename",
                                        base + "/\xc0\xaf", base + "/ok-\xe6\x97\xa5.txt"};
    QStringList expected;
    for (const QByteArray& raw : rawFiles) {
        writeWhole(decodeLocal8(raw), raw);
        expected.append(decodeLocal8(raw));
    }
    const QByteArray rawFolder = base + "/dir\x80\x81";
    ASSERT_EQ(::mkdir(rawFolder.constData(), 0755), 0);

    const QString path = dir.path(QStringLiteral("raw.lst"));
    writeWhole(path, formatListFile(expected + QStringList{decodeLocal8(rawFolder)}));
    const QMap<QString, QByteArray> before = stateWithTimes(dir.path());
    const ImportOutcome files = importFrom(path, ListKind::Files);
    ASSERT_EQ(files.entries, expected);
    for (qsizetype i = 0; i < rawFiles.size(); ++i)
        EXPECT_EQ(encodeLocal8(files.entries.at(i)), rawFiles.at(i));
    EXPECT_EQ(importFrom(path, ListKind::Folders).entries, QStringList{decodeLocal8(rawFolder)});
    EXPECT_EQ(stateWithTimes(dir.path()), before);
}

// A FIFO where the settings file or a list file should be (left by a script, or a prank) would
// block an open() for reading until someone writes to it. Each step runs in a child that must
// finish within seconds; the FIFO is still there afterwards, never replaced by a file.
TEST(HostileFifos, NeitherStartUpNorImportWaitsOnAFifo) {
    TestDir dir;
    const QString settings = dir.path(QStringLiteral("Velquin.ini"));
    const QString list = dir.path(QStringLiteral("file.lst"));
    for (const QString& path : {settings, list})
        ASSERT_EQ(::mkfifo(encodeLocal8(path).constData(), 0644), 0);
    struct Step {
        const char* what;
        std::function<bool()> run; // true when it behaved
    } steps[] = {
        {"load the settings",
         [&] {
             const SettingValues s = loadSection(settings, kFileWindowSection);
             return s.get(keys::SameFile) == ClashPolicy::Skip &&
                    IniFile::load(settings).loadError() == EINVAL;
         }},
        {"save the settings",
         [&] { return !saveSection(settings, kFileWindowSection, SettingValues{}).isEmpty(); }},
        {"import the list",
         [&] {
             SourceListModel model;
             ScriptedDialogs dialogs;
             dialogs.files.push_back(list);
             importList(model, ListKind::Files, dialogs, nullptr, FileOps());
             return model.isEmpty() && dialogs.texts(ScriptedDialogs::Kind::Error).size() == 1;
         }},
    };
    for (const Step& step : steps) {
        ChildProcess child([&] { return step.run() ? 0 : 1; });
        const bool finished = waitUntil([&] { return !child.running(); }, 10000);
        child.kill(SIGKILL);
        EXPECT_TRUE(finished) << step.what << " waits on the FIFO";
        EXPECT_EQ(child.wait(), 0) << step.what;
    }
    for (const QString& path : {settings, list}) {
        struct stat st {};
        ASSERT_EQ(::lstat(encodeLocal8(path).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << path.toStdString();
    }
}

} // namespace
} // namespace velquin::test
