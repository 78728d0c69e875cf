#include "platform/inifile.h"
#include "platform/names.h"

#include "support/testdir.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace velquin;
using velquin::test::TestDir;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

IniFile loadContent(TestDir& dir, const QByteArray& content) {
    return IniFile::load(dir.file(QStringLiteral("t.ini"), content));
}

} // namespace

TEST(IniFileRead, PrivateProfileRules) {
    struct Case {
        const char* content;
        const char* section;
        const char* key;
        std::optional<const char*> expected;
    };
    const Case cases[] = {
        {"[Parameter]\r\nSameFile=3\r\n", "parameter", "SAMEFILE", "3"},
        {"[ Parameter ]  \r\n  Page =  2 \t\r\n", "Parameter", "Page", "2"},
        {"[P]\nk=\"a b \"\n", "P", "k", "a b "},
        {"[P]\nk='x'\n", "P", "k", "x"},
        {"[P]\nk=\"x'\n", "P", "k", "\"x'"},
        {"[P]\nk=\"\n", "P", "k", "\""},
        {"[P]\nk=\"\"a\"\"\n", "P", "k", "\"a\""},
        {"[P]\nk=\"\"\n", "P", "k", ""},
        {"[P]\r\nk=\r\n", "P", "k", ""},
        {"[P]\nk=a=b\n", "P", "k", "a=b"},
        {"[P]\nk=last line without end", "P", "k", "last line without end"},
        {"[P]\nk=1\nk=2\n", "P", "k", "1"},
        {"[P]\nj=1\n[Q]\nk=2\n[P]\nk=3\n", "P", "k", std::nullopt},
        {"[P]\nk=1\n[P]\nk=2\nj=3\n", "P", "j", std::nullopt},
        {"\xEF\xBB\xBF[Parameter]\r\nSameFile=3\r\n", "Parameter", "SameFile", "3"},
        {"\xEF\xBB\xBF\r\n[P]\r\nk=1\r\n", "P", "k", "1"},
        {"[P]\nj=1\n", "P", "k", std::nullopt},
        {"[Q]\nk=1\n", "P", "k", std::nullopt},
        {"k=1\n", "P", "k", std::nullopt},
        {"[P]\n;k=1\nk\n", "P", "k", std::nullopt},
        {"[P\nk=1\n", "P", "k", std::nullopt},
        {"[文件]\n键=值\n", "文件", "键", "值"},
    };
    TestDir dir;
    for (const Case& c : cases) {
        const IniFile ini = loadContent(dir, c.content);
        const auto value = ini.value(u8(c.section), u8(c.key));
        SCOPED_TRACE(c.content);
        ASSERT_EQ(value.has_value(), c.expected.has_value());
        if (value) {
            EXPECT_EQ(*value, u8(*c.expected));
        }
    }
}

TEST(IniFileRead, LongValuesAreCutWithoutSplittingACharacter) {
    TestDir dir;
    const QByteArray ascii(3000, 'a');
    EXPECT_EQ(loadContent(dir, "[P]\nk=" + ascii + "\n").value(u8("P"), u8("k"))->size(), 2047);
    EXPECT_EQ(loadContent(dir, "[P]\nk=" + ascii.left(2047)).value(u8("P"), u8("k"))->size(), 2047);

    // 2047 is not a multiple of 3: the last whole character ends at byte 2046.
    const QString chinese = QString(1000, QChar(0x6587));
    const QString cut = *loadContent(dir, "[P]\nk=" + chinese.toUtf8() + "\n").value(u8("P"), u8("k"));
    EXPECT_EQ(cut, QString(682, QChar(0x6587)));

    // Quotes count against the raw line, not the limit: they are dropped first.
    const QString quoted = *loadContent(dir, "[P]\nk=\"" + ascii + "\"\n").value(u8("P"), u8("k"));
    EXPECT_EQ(quoted, QString::fromLatin1(ascii.left(2047)));
}

TEST(IniFileRead, JunkDoesNotCrash) {
    TestDir dir;
    static const char start[] = "\0\0[\0]=\r\r\n=\n[]\n[[[\n]]]=x\n";
    QByteArray junk(start, sizeof start - 1);
    junk += QByteArray(1 << 20, 'x') + "\n";
    QRandomGenerator random(42);
    for (int i = 0; i < 64 * 1024; ++i)
        junk += char(random.bounded(256));

    IniFile ini = loadContent(dir, junk);
    EXPECT_FALSE(ini.value(u8("Velquin"), u8("k")));
    EXPECT_EQ(ini.bytes(), junk);

    // A new section goes after the junk, which stays as it was.
    ASSERT_TRUE(ini.setValue(u8("Velquin"), u8("k"), u8("v")));
    const QByteArray written = ini.bytes();
    EXPECT_TRUE(written.startsWith(junk));
    EXPECT_TRUE(written.endsWith("[Velquin]\r\nk=v\r\n"));
    EXPECT_EQ(ini.value(u8("Velquin"), u8("k")), u8("v"));
}

TEST(IniFileWrite, KeysReplacedInPlaceAndAppendedToTheirSection) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"replace keeps the other lines byte for byte", "; c\n[P]\nA=1\n  b = old \nC=3\n[Q]\nb=x\n", "p",
         "B", "new", "; c\n[P]\nA=1\nb=new\r\nC=3\n[Q]\nb=x\n"},
        {"new key after the last line of its section, before blank lines", "[P]\r\nA=1\r\n\r\n[Q]\r\nB=2\r\n",
         "P", "N", "v", "[P]\r\nA=1\r\nN=v\r\n\r\n[Q]\r\nB=2\r\n"},
        {"new key in a section that is the last line", "x\n[P]", "P", "N", "", "x\n[P]\r\nN=\r\n"},
        {"new section at the end of a file without final line end", "[Q]\nB=2", "P", "N", "v",
         "[Q]\nB=2\r\n[P]\r\nN=v\r\n"},
        {"new section in an empty file", "", "P", "N", "v", "[P]\r\nN=v\r\n"},
        {"a key only in a later section of the same name goes to the first", "[P]\nA=1\n[Q]\n[P]\nB=2\n", "P",
         "B", "3", "[P]\nA=1\nB=3\r\n[Q]\n[P]\nB=2\n"},
        {"a byte-order mark stays at the start", "\xEF\xBB\xBF[P]\r\nA=1\r\n", "P", "A", "2",
         "\xEF\xBB\xBF[P]\r\nA=2\r\n"},
        {"a missing key goes to the first section of its name", "[P]\nA=1\n[P]\nB=2\n", "P", "C", "3",
         "[P]\nA=1\nC=3\r\n[P]\nB=2\n"},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFile ini = loadContent(dir, c.before);
        ASSERT_TRUE(ini.setValue(u8(c.section), u8(c.key), u8(c.value)));
        EXPECT_EQ(ini.bytes(), QByteArray(c.after));
        EXPECT_EQ(ini.value(u8(c.section), u8(c.key)), u8(c.value));
    }
}

TEST(IniFileWrite, RefusesWhatTheFileCannotHold) {
    TestDir dir;
    IniFile ini = loadContent(dir, "[P]\nA=1\n");
    EXPECT_FALSE(ini.setValue(u8("P"), u8("A"), u8("two\r\nlines")));
    EXPECT_FALSE(ini.setValue(u8("P"), u8("A"), u8("x\ny")));
    EXPECT_FALSE(ini.setValue(u8("P"), u8("A=B"), u8("x")));
    EXPECT_FALSE(ini.setValue(u8("P"), u8(" "), u8("x")));
    EXPECT_FALSE(ini.setValue(u8("P]"), u8("A"), u8("x")));
    EXPECT_FALSE(ini.setValue(u8("P\n[Q"), u8("A"), u8("x")));
    EXPECT_EQ(ini.bytes(), QByteArray("[P]\nA=1\n"));
}

TEST(IniFileWrite, NamesAndValuesSurviveAsBytes) {
    TestDir dir;
    const QString path = dir.path(QStringLiteral("new/deeper/v.ini"));
    IniFile ini = IniFile::load(path);
    const QByteArray gbk("\xD6\xD0\xCE\xC4\\dir\\");
    const QString value = decodeLocal8(gbk);
    ASSERT_TRUE(ini.setValue(u8("Parameter"), u8("OutDir"), value));
    ASSERT_TRUE(ini.setValue(u8("Parameter"), u8("EdtKeys"), u8("红 蓝")));
    ASSERT_EQ(ini.save(), 0);

    EXPECT_EQ(*dir.read(QStringLiteral("new/deeper/v.ini")),
              "[Parameter]\r\nOutDir=" + gbk + "\r\nEdtKeys=" + u8("红 蓝").toUtf8() + "\r\n");
    const IniFile again = IniFile::load(path);
    EXPECT_EQ(again.value(u8("PARAMETER"), u8("outdir")), value);
    EXPECT_EQ(again.value(u8("Parameter"), u8("EdtKeys")), u8("红 蓝"));
    EXPECT_EQ(dir.entries(QStringLiteral("new/deeper")), QStringList{QStringLiteral("v.ini")});
}

TEST(IniFileSave, KeepsModeAndFollowsLinks) {
    TestDir dir;
    const QString real = dir.file(QStringLiteral("real.ini"), "[P]\nA=1\n");
    ASSERT_EQ(::chmod(encodeLocal8(real).constData(), 0640), 0);
    const QString link = dir.path(QStringLiteral("link.ini"));
    ASSERT_EQ(::symlink("real.ini", encodeLocal8(link).constData()), 0);

    IniFile ini = IniFile::load(link);
    ASSERT_TRUE(ini.setValue(u8("P"), u8("A"), u8("2")));
    ASSERT_EQ(ini.save(), 0);

    struct stat st {};
    ASSERT_EQ(::lstat(encodeLocal8(link).constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(encodeLocal8(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(*dir.read(QStringLiteral("real.ini")), QByteArray("[P]\nA=2\r\n"));
}

TEST(IniFileSave, FailureLeavesTheOldFileAndNoTemporary) {
    TestDir dir;
    // A parent that is a regular file: refused even for the superuser.
    const QString blocker = dir.file(QStringLiteral("blocker"), "not a folder");
    IniFile under = IniFile::load(blocker + QStringLiteral("/v.ini"));
    EXPECT_EQ(under.loadError(), 0);
    under.setValue(u8("P"), u8("A"), u8("1"));
    EXPECT_EQ(under.save(), ENOTDIR);
    EXPECT_EQ(*dir.read(QStringLiteral("blocker")), QByteArray("not a folder"));

    // A path that cannot be read is never replaced by a file without its content.
    dir.folder(QStringLiteral("isdir"));
    IniFile folder = IniFile::load(dir.path(QStringLiteral("isdir")));
    EXPECT_EQ(folder.loadError(), EISDIR);
    folder.setValue(u8("P"), u8("A"), u8("1"));
    EXPECT_EQ(folder.save(), EISDIR);
    EXPECT_TRUE(dir.existsFolder(QStringLiteral("isdir")));

    // A write that fails half way (the file-size limit binds root as well).
    const QByteArray old("[P]\r\nA=1\r\n");
    const QString path = dir.file(QStringLiteral("v.ini"), old);
    IniFile ini = IniFile::load(path);
    ini.setValue(u8("P"), u8("B"), QString(4096, QLatin1Char('b')));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int error = ini.save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(*dir.read(QStringLiteral("v.ini")), old);
    EXPECT_EQ(dir.entries(),
              (QStringList{QStringLiteral("blocker"), QStringLiteral("isdir"), QStringLiteral("v.ini")}));
}
