#include "settings/valuecodec.h"

#include <gtest/gtest.h>

using namespace velquin;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

const char* const kLocales[] = {"zh_CN", "en_US", "C", "de_DE", "ko_KR", "fa_IR", "ar_EG", "ja_JP"};

} // namespace

TEST(SettingsDate, RoundTripsInEveryLocale) {
    const QDate dates[] = {{2013, 5, 6}, {1950, 1, 31}, {1999, 12, 31},
                           {2049, 7, 4}, {2100, 2, 28}, {1, 1, 1}};
    for (const char* name : kLocales) {
        const QLocale locale(QString::fromLatin1(name));
        EXPECT_FALSE(settingsDateFormat(locale).contains(QStringLiteral("yy")) &&
                     !settingsDateFormat(locale).contains(QStringLiteral("yyyy")))
            << name;
        for (const QDate& date : dates) {
            const QString text = settingsDateText(date, locale);
            EXPECT_EQ(settingsDateFromText(text, locale), date) << name << " " << qPrintable(text);
        }
    }
}

TEST(SettingsDate, UsesTheLocaleShortFormatWithFourDigitYears) {
    const QDate date(2013, 5, 6);
    EXPECT_EQ(settingsDateText(date, QLocale(QStringLiteral("zh_CN"))), QStringLiteral("2013/5/6"));
    EXPECT_EQ(settingsDateText(date, QLocale(QStringLiteral("en_US"))), QStringLiteral("5/6/2013"));
    EXPECT_EQ(settingsDateText(date, QLocale(QStringLiteral("de_DE"))), QStringLiteral("06.05.2013"));
    EXPECT_EQ(settingsDateText(date, QLocale::c()), QStringLiteral("6 May 2013"));
    // A quoted literal "yy" is text, not a year.
    EXPECT_EQ(settingsDateFormat(QLocale(QStringLiteral("en_US"))), QStringLiteral("M/d/yyyy"));
}

TEST(SettingsTime, RoundTripsInEveryLocaleWithoutZone) {
    const QTime times[] = {{0, 0, 0}, {12, 0, 0}, {13, 5, 9}, {23, 59, 59}, {11, 59, 59}};
    for (const char* name : kLocales) {
        const QLocale locale(QString::fromLatin1(name));
        for (const QTime& time : times) {
            const QString text = settingsTimeText(time, locale);
            EXPECT_FALSE(text.contains(QStringLiteral("UTC"))) << name << " " << qPrintable(text);
            EXPECT_EQ(settingsTimeFromText(text, locale), time) << name << " " << qPrintable(text);
        }
    }
    EXPECT_EQ(settingsTimeText(QTime(13, 5, 9), QLocale(QStringLiteral("zh_CN"))),
              QStringLiteral("13:05:09"));
    EXPECT_EQ(settingsTimeText(QTime(13, 5, 9), QLocale::c()), QStringLiteral("13:05:09"));
    EXPECT_TRUE(
        settingsTimeText(QTime(13, 5, 9), QLocale(QStringLiteral("en_US"))).startsWith(u8("1:05:09")));
}

TEST(SettingsDateTime, UnreadableTextsGiveNothing) {
    const QLocale us(QStringLiteral("en_US"));
    for (const char* text : {"", "   ", "garbage", "13/13/2013", "2/30/2013"})
        EXPECT_FALSE(settingsDateFromText(u8(text), us)) << text;
    for (const char* text : {"", "25:00:00", "noon"})
        EXPECT_FALSE(settingsTimeFromText(u8(text), us)) << text;
    // What another locale wrote in the ISO fallback still reads.
    EXPECT_EQ(settingsDateFromText(u8("2013-05-06"), us), QDate(2013, 5, 6));
    EXPECT_EQ(settingsTimeFromText(u8("07:08:09"), us), QTime(7, 8, 9));
}

TEST(SettingsInteger, DecimalOrHexadecimal) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"12", 12},
        {"-3", -3},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$10", 16},
        {"x10", 16},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"0x", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(settingsIntegerFromText(u8(text)), expected) << text;
}

TEST(PatternList, SplitAndJoin) {
    const std::pair<const char*, QStringList> splits[] = {
        {"*.a||*.b|", {u8("*.a"), u8("*.b")}},
        {"*.a|*.b", {u8("*.a"), u8("*.b")}},
        {"*.a| *.b|", {u8("*.a"), u8(" *.b")}},
        {"*.a|*.a|", {u8("*.a"), u8("*.a")}},
        {"*.a|  *.b  ", {u8("*.a"), u8("*.b")}},
        {"|||", {}},
        {"", {}},
        {"*.txt|*.文档|", {u8("*.txt"), u8("*.文档")}},
    };
    for (const auto& [text, entries] : splits)
        EXPECT_EQ(splitPatternList(u8(text)), entries) << text;

    EXPECT_EQ(joinPatternList({u8("*.txt"), QString(), u8("*.doc")}), u8("*.txt|*.doc|"));
    EXPECT_EQ(joinPatternList({}), QString());
    const QStringList list{u8("*.a"), u8(" *.b"), u8("*.a")};
    EXPECT_EQ(splitPatternList(joinPatternList(list)), list);
}
