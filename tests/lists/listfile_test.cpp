#include "lists/fixtures.h"
#include "lists/listfile.h"
#include "lists/sourcelistmodel.h"
#include "platform/names.h"
#include "platform/text.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QFileInfo>
#include <QObject>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquin {
namespace {

using test::ScriptedDialogs;
using test::TestDir;
using Kind = ScriptedDialogs::Kind;

TEST(ListFileFormat, LinesEndAtAnyLineEndAndTheTextAtTheFirstZero) {
    struct Case {
        QByteArray bytes;
        QStringList lines;
    };
    const QString a = QStringLiteral("/a");
    const QString b = QStringLiteral("/b c");
    const Case cases[] = {
        {"", {}},
        {"/a\r\n/b c\r\n", {a, b}},
        {"/a\n/b c\n", {a, b}},
        {"/a\r/b c\r", {a, b}},
        {"/a\r\n/b c", {a, b}},
        {"/a\n\r\n\n/b c", {a, QString(), QString(), b}},
        {"\r\n", {QString()}},
        {"/a\r\n/b c\0/hidden\r\n", {a, b}},
        {QByteArray("/a\r\n/b\0c\r\n", 10), {a, QStringLiteral("/b")}},
        {"  /a \t\r\n", {QStringLiteral("  /a \t")}},
        {"/a\n\r/b c", {a, QString(), b}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseListFile(c.bytes), c.lines) << c.bytes.toStdString();
}

TEST(ListFileFormat, EveryLineEndsInCrLf) {
    EXPECT_EQ(formatListFile({QStringLiteral("/a.txt"), QStringLiteral("/d/b c.doc")}),
              QByteArray("/a.txt\r\n/d/b c.doc\r\n"));
    EXPECT_EQ(formatListFile({}), QByteArray());
    EXPECT_EQ(formatListFile({QStringLiteral("/文件.txt")}), QByteArray("/\xe6\x96\x87\xe4\xbb\xb6.txt\r\n"));
}

class ListFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        fileA = dir.file(QStringLiteral("data/a.txt"));
        fileB = dir.file(QStringLiteral("data/b c.doc"));
        folderD = dir.folder(QStringLiteral("data/d"));
    }
    void exportTo(const SourceListModel& list, ListKind kind, const QString& target) {
        dialogs.files.push_back(target);
        exportList(list, kind, dialogs, &owner);
    }
    void importFrom(SourceListModel& list, ListKind kind, const QString& source) {
        dialogs.files.push_back(source);
        importList(list, kind, dialogs, &owner, fs);
    }

    TestDir dir;
    FileOps fs;
    ScriptedDialogs dialogs;
    QObject owner;
    QString fileA, fileB, folderD;
};

TEST_F(ListFiles, ExportOfAnEmptyListIsRefused) {
    SourceListModel list;
    exportTo(list, ListKind::Folders, dir.path(QStringLiteral("x.lst")));
    ASSERT_EQ(dialogs.calls.size(), 1);
    EXPECT_EQ(dialogs.calls[0].kind, Kind::Information);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("当前文件列表为空！"));
    EXPECT_FALSE(dir.existsFile(QStringLiteral("x.lst")));
}

TEST_F(ListFiles, ExportPresetsTheDefaultNameAndReplacesAnExistingFile) {
    SourceListModel list;
    list.addUnique({fileA, fileB});
    const QString target = dir.file(QStringLiteral("out/mylist"), QByteArray(5000, 'z'));
    ::chmod(encodeLocal8(target).constData(), 0640);
    exportTo(list, ListKind::Files, target);
    exportTo(list, ListKind::Folders, target);
    dialogs.files.push_back(std::nullopt);
    exportList(list, ListKind::Files, dialogs, &owner); // cancelled
    ASSERT_EQ(dialogs.calls.size(), 3);
    EXPECT_EQ(dialogs.texts(Kind::SaveFile), QStringList(3, QStringLiteral("列表文件(*.lst)")));
    EXPECT_EQ(dialogs.calls[0].extra, QStringLiteral("*.lst|file.lst"));
    EXPECT_EQ(dialogs.calls[1].extra, QStringLiteral("*.lst|dir.lst"));
    EXPECT_EQ(dialogs.calls[2].extra, QStringLiteral("*.lst|file.lst"));
    EXPECT_EQ(dir.read(QStringLiteral("out/mylist")), formatListFile({fileA, fileB}));
    EXPECT_EQ(dir.entries(QStringLiteral("out")), QStringList{QStringLiteral("mylist")})
        << "no temporary left";
    struct stat st {};
    ASSERT_EQ(::stat(encodeLocal8(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ListFiles, ExportThroughALinkKeepsTheLink) {
    SourceListModel list;
    list.addUnique(fileA);
    const QString real = dir.file(QStringLiteral("real.lst"), "old");
    ASSERT_TRUE(test::makeSymlink(real, dir.path(QStringLiteral("link.lst"))));
    exportTo(list, ListKind::Files, dir.path(QStringLiteral("link.lst")));
    EXPECT_EQ(dir.read(QStringLiteral("real.lst")), formatListFile({fileA}));
    EXPECT_TRUE(QFileInfo(dir.path(QStringLiteral("link.lst"))).isSymLink());
}

TEST_F(ListFiles, FailuresNameThePathAndTheReason) {
    SourceListModel list;
    list.addUnique(fileA);
    const QString noFolder = dir.path(QStringLiteral("missing/list.lst"));
    exportTo(list, ListKind::Files, noFolder);
    importFrom(list, ListKind::Files, dir.path(QStringLiteral("missing.lst")));
    importFrom(list, ListKind::Folders, folderD);
    EXPECT_EQ(
        dialogs.texts(Kind::Error),
        QStringList({QStringLiteral("Cannot create file \"%1\". %2").arg(noFolder, systemReason(ENOENT)),
                     QStringLiteral("Cannot open file \"%1\". %2")
                         .arg(dir.path(QStringLiteral("missing.lst")), systemReason(ENOENT)),
                     QStringLiteral("Cannot open file \"%1\". %2").arg(folderD, systemReason(EISDIR))}));
    for (const auto& call : dialogs.calls)
        EXPECT_EQ(call.owner, &owner);
    EXPECT_EQ(list.entries(), QStringList{fileA});
}

TEST_F(ListFiles, ImportKeepsLinesThatPassTheWindowsTest) {
    const QByteArray content = encodeLocal8(fileA) + "\n" + encodeLocal8(folderD) + "\r\n\r\n" +
                               encodeLocal8(dir.path(QStringLiteral("gone.txt"))) + "\r" +
                               encodeLocal8(fileB) + " \r\n" + encodeLocal8(fileB);
    const QString listPath = dir.file(QStringLiteral("in.lst"), content);
    SourceListModel files, folders;
    files.addUnique(QStringLiteral("/already"));
    importFrom(files, ListKind::Files, listPath);
    importFrom(folders, ListKind::Folders, listPath);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("*.lst"));
    EXPECT_EQ(dialogs.calls[0].extra, QStringLiteral("*.lst"));
    EXPECT_EQ(files.entries(), QStringList({QStringLiteral("/already"), fileA, fileB}));
    EXPECT_EQ(folders.entries(), QStringList{folderD});
    importFrom(files, ListKind::Files, listPath);
    EXPECT_EQ(files.count(), 3) << "a second import adds nothing";
}

TEST_F(ListFiles, AListOfOneWindowAddsNothingInTheOther) {
    SourceListModel files, folders;
    files.addUnique({fileA, fileB});
    folders.addUnique(folderD);
    exportTo(files, ListKind::Files, dir.path(QStringLiteral("file.lst")));
    exportTo(folders, ListKind::Folders, dir.path(QStringLiteral("dir.lst")));
    importFrom(folders, ListKind::Folders, dir.path(QStringLiteral("file.lst")));
    importFrom(files, ListKind::Files, dir.path(QStringLiteral("dir.lst")));
    EXPECT_EQ(files.entries(), QStringList({fileA, fileB}));
    EXPECT_EQ(folders.entries(), QStringList{folderD});
    EXPECT_TRUE(dialogs.texts(Kind::Error).isEmpty());
}

TEST_F(ListFiles, NamesThatAreNoValidUtf8SurviveExportAndImport) {
    const QByteArray raw =
        encodeLocal8(dir.path(QStringLiteral("data/"))) + QByteArray("\xb9\xfe\xb9\xfe \xff.txt");
    const test::RawFile rawFile(raw);
    ASSERT_TRUE(rawFile.made());
    const QString entry = decodeLocal8(raw);
    ASSERT_TRUE(fs.isFile(entry));
    SourceListModel out;
    out.addUnique({fileA, entry});
    exportTo(out, ListKind::Files, dir.path(QStringLiteral("raw.lst")));
    EXPECT_EQ(dir.read(QStringLiteral("raw.lst")), encodeLocal8(fileA) + "\r\n" + raw + "\r\n");
    SourceListModel in;
    importFrom(in, ListKind::Files, dir.path(QStringLiteral("raw.lst")));
    ASSERT_EQ(in.count(), 2);
    EXPECT_EQ(encodeLocal8(in.at(1)), raw);
}

} // namespace
} // namespace velquin
