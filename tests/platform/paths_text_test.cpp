#include "platform/paths.h"
#include "platform/text.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace velquin;

namespace {
struct PieceCase {
    const char* path;
    const char* name;
    const char* extension;
    const char* base;
};
} // namespace

TEST(Paths, NameExtensionAndBase) {
    const PieceCase cases[] = {
        {"/a/photo.2013.JPG", "photo.2013.JPG", ".JPG", "photo.2013"},
        {"/a/notes", "notes", "", "notes"},
        {"/a/.profile", ".profile", ".profile", ""},
        {"/a/archive.tar.gz", "archive.tar.gz", ".gz", "archive.tar"},
        {"/a.d/file", "file", "", "file"},
        {"/a/b\\c:d.txt", "b\\c:d.txt", ".txt", "b\\c:d"},
        {"/out//a.jpg", "a.jpg", ".jpg", "a"},
        {"/a/", "", "", ""},
        {"文件名.文档", "文件名.文档", ".文档", "文件名"},
    };
    for (const auto& c : cases) {
        const QString p = QString::fromUtf8(c.path);
        EXPECT_EQ(fileNameOf(p), QString::fromUtf8(c.name)) << c.path;
        EXPECT_EQ(extensionOf(p), QString::fromUtf8(c.extension)) << c.path;
        EXPECT_EQ(baseNameOf(p), QString::fromUtf8(c.base)) << c.path;
    }
}

TEST(Paths, TrailingSeparatorAndRoot) {
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/out")), QStringLiteral("/out/"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/out/")), QStringLiteral("/out/"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(withTrailingSeparator(QString()), QStringLiteral("/"));
    EXPECT_TRUE(isFileSystemRoot(QStringLiteral("/")));
    EXPECT_TRUE(isFileSystemRoot(QStringLiteral("//")));
    EXPECT_FALSE(isFileSystemRoot(QStringLiteral("/home")));
    EXPECT_FALSE(isFileSystemRoot(QString()));
}

TEST(Text, TrimAndUpper) {
    EXPECT_EQ(trimBlanks(QStringLiteral(" \t\r\n a b \x01")), QStringLiteral("a b"));
    EXPECT_EQ(trimBlanks(QString::fromUtf8("\u3000a\u3000")), QString::fromUtf8("\u3000a\u3000"));
    EXPECT_EQ(asciiUpper(QString::fromUtf8("abcZ ä ｃ 文")), QString::fromUtf8("ABCZ ä ｃ 文"));
}

TEST(Text, IntegerParsing) {
    struct Case {
        const char* text;
        std::optional<qint64> v32;
        std::optional<qint64> v64;
    };
    const Case cases[] = {
        {"123", 123, 123},
        {"  -5", -5, -5},
        {"+7", 7, 7},
        {"5 ", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {" ", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"12.5", std::nullopt, std::nullopt},
        {"$10", 16, 16},
        {"0x1F", 31, 31},
        {"0X1f", 31, 31},
        {"x10", 16, 16},
        {"X10", 16, 16},
        {"0x", std::nullopt, std::nullopt},
        {"$", std::nullopt, std::nullopt},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", std::nullopt, 2147483648LL},
        {"-2147483648", -2147483648LL, -2147483648LL},
        {"$FFFFFFFF", -1, 0xFFFFFFFFLL},
        {"$100000000", std::nullopt, 0x100000000LL},
        {"9223372036854775807", std::nullopt, 9223372036854775807LL},
        {"9223372036854775808", std::nullopt, std::nullopt},
        {"１２", std::nullopt, std::nullopt},
        {"0005", 5, 5},
    };
    for (const auto& c : cases) {
        const QString t = QString::fromUtf8(c.text);
        const auto a = parseInt32(t);
        const auto b = parseInt64(t);
        EXPECT_EQ(a.has_value(), c.v32.has_value()) << c.text;
        if (a && c.v32) {
            EXPECT_EQ(qint64(*a), *c.v32) << c.text;
        }
        EXPECT_EQ(b.has_value(), c.v64.has_value()) << c.text;
        if (b && c.v64) {
            EXPECT_EQ(*b, *c.v64) << c.text;
        }
    }
}

TEST(Text, SystemReasonsAreChineseWhateverTheLocale) {
    const int errors[] = {ENOSPC, EACCES, EPERM, EROFS, ENAMETOOLONG, ENOENT, EEXIST, ENOTDIR,
                          EISDIR, EMLINK, ELOOP, EIO,   EFBIG,        EXDEV,  ETXTBSY};
    // In the order of `errors`; the last is one the program has no words of its own for.
    const QStringList reasons =
        QStringLiteral("磁盘空间不足 没有权限 没有权限 磁盘是只读的 文件名太长 文件或文件夹不存在 "
                       "目标已存在 路径中有一项不是文件夹 目标是文件夹 链接太多 链接太多 "
                       "读写错误 文件太大 不能跨磁盘操作")
            .split(QLatin1Char(' ')) +
        QStringList{QString::fromLocal8Bit(std::strerror(ETXTBSY))};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(systemReason(errors[i]), reasons.value(i)) << errors[i];
}
