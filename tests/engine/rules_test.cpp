#include "engine/rules.h"

#include "support/printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace velquin;

TEST(Keywords, SplitOnlyAtAsciiBlank) {
    EXPECT_EQ(buildKeywordList(QStringLiteral("cat  dog ")),
              (QStringList{QStringLiteral("cat"), QString(), QStringLiteral("dog"), QString()}));
    EXPECT_EQ(buildKeywordList(QStringLiteral("  red blue ")),
              (QStringList{QString(), QString(), QStringLiteral("red"), QStringLiteral("blue"), QString()}));
    EXPECT_EQ(buildKeywordList(QString::fromUtf8("a\tb\u3000c a")),
              (QStringList{QString::fromUtf8("a\tb\u3000c"), QStringLiteral("a")}));
}

TEST(Keywords, MatchFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(keywordMatches(QStringLiteral("cat"), QStringLiteral("My Cat")));
    EXPECT_TRUE(keywordMatches(QStringLiteral("abc"), QStringLiteral("xABCx")));
    EXPECT_FALSE(keywordMatches(QString::fromUtf8("ａｂ"), QString::fromUtf8("ＡＢ")));
    EXPECT_TRUE(keywordMatches(QString::fromUtf8("游记"), QString::fromUtf8("云南游记")));
    EXPECT_FALSE(keywordMatches(QString(), QStringLiteral("anything")));
    EXPECT_FALSE(keywordMatches(QStringLiteral("\t"), QStringLiteral("a\tb")));
}

TEST(CopyByChars, CountsCharactersAndKeepsQuirks) {
    const QString name = QString::fromUtf8("文件名abc");
    EXPECT_EQ(CopyByChars(name, 2, 3), QString::fromUtf8("件名a"));
    EXPECT_EQ(CopyByChars(name, 0, 4), QString::fromUtf8("文件名a"));
    EXPECT_EQ(CopyByChars(name, -2, 6), name);
    EXPECT_EQ(CopyByChars(name, 10, 3), QString());
    EXPECT_EQ(CopyByChars(name, 1, -1), QString());
    EXPECT_EQ(CopyByChars(QString(), 1, 3), QString());
    EXPECT_EQ(CopyByChars(name, 5, 100), QStringLiteral("bc"));
    EXPECT_EQ(CopyByChars(QString(254, QLatin1Char('a')), 1, 1), QStringLiteral("a"));
    EXPECT_EQ(CopyByChars(QString(255, QLatin1Char('a')), 1, 1), QString());
}

TEST(CopyByChars, NameRangeCountSaturatesInsteadOfWrapping) {
    const QString name = QString::fromUtf8("文件名abc");
    EXPECT_EQ(CopyNameRange(name, 2, 4), QString::fromUtf8("件名a"));
    EXPECT_EQ(CopyNameRange(name, std::numeric_limits<int>::min(), 254), name);
    EXPECT_EQ(CopyNameRange(name, 0, -5), QString());
}

TEST(NameFilter, PiecesCutOneAfterAnother) {
    struct Case {
        const char* name;
        const char* filter;
        const char* result;
    };
    const Case cases[] = {
        {"IMG_2013_a", "IMG_*_a", "2013"},
        {"banana", "a*", "bnn"},
        {"Trip(1)", "(1)*(2)", "Trip"},
        {"Trip(2)", "(1)*(2)", "Trip"},
        {"aaa", "aa", "a"},
        {"abXcd", "X*", "abcd"},
        {"aXXb", "X", "ab"},
        {"abab", "AB", "abab"},
        {"name", "", "name"},
        {"name", "***", "name"},
        {"name", "name", ""},
        {"xaxbb", "ab*x", "abb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(applyNameFilter(QString::fromUtf8(c.name), QString::fromUtf8(c.filter)),
                  QString::fromUtf8(c.result))
            << c.name << " / " << c.filter;
    }
}
