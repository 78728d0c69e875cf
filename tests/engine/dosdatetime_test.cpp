#include "engine/dosdatetime.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace velquin;

TEST(DosDateTime, PacksFieldsIntoTheirBits) {
    struct Case {
        QDate date;
        QTime time;
        quint32 packed;
    };
    const Case cases[] = {
        {QDate(1980, 1, 1), QTime(0, 0, 0), 0x00210000u},
        {QDate(1980, 1, 1), QTime(0, 0, 1), 0x00210000u}, // seconds count in steps of two
        {QDate(1980, 1, 1), QTime(0, 0, 59), 0x0021001Du},
        {QDate(2013, 5, 8), QTime(10, 30, 20),
         (33u << 25) | (5u << 21) | (8u << 16) | (10u << 11) | (30u << 5) | 10u},
        {QDate(2107, 12, 31), QTime(23, 59, 58),
         (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
        {QDate(1979, 12, 31), QTime(23, 59, 59), 0u},
        {QDate(2108, 1, 1), QTime(0, 0, 0), 0u},
        {QDate(), QTime(12, 0), 0u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quint32(toDosDateTime(c.date, c.time)), c.packed)
            << c.date.toString(Qt::ISODate).toStdString();
}

TEST(DosDateTime, OrderFollowsTimeThrough2107WithAnUnreadableStampBelowAll) {
    const DosDateTime ascending[] = {
        kUnreadableDosDateTime,
        toDosDateTime(QDate(1979, 1, 1), QTime(0, 0)), // 0
        toDosDateTime(QDate(2020, 1, 1), QTime(0, 0)),
        toDosDateTime(QDate(2043, 12, 31), QTime(23, 59, 58)),
        toDosDateTime(QDate(2044, 1, 1), QTime(0, 0)), // the sign bit set from here on
        toDosDateTime(QDate(2107, 12, 31), QTime(23, 59, 58)),
    };
    for (size_t i = 1; i < std::size(ascending); ++i)
        EXPECT_LT(dosTimeOrder(ascending[i - 1]), dosTimeOrder(ascending[i])) << i;
}

TEST(DosDateTime, FileTimesAreConvertedToLocalTimeFirst) {
    for (const QDateTime& local :
         {QDateTime(QDate(2013, 5, 8), QTime(10, 0, 1)), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)),
          QDateTime(QDate(2021, 7, 1), QTime(0, 0, 0))}) {
        const FileTime stamp{local.toSecsSinceEpoch(), 999999999};
        EXPECT_EQ(toDosDateTime(stamp), toDosDateTime(local.date(), local.time()));
    }
    EXPECT_EQ(toDosDateTime(FileTime{0, 0}), 0) << "1970 is before the packed range";
}
