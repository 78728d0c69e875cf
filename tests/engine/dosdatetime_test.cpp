#include "engine/dosdatetime.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace velquin;

// The stamps count seconds in steps of two and hold 1980 to 2107; outside that (or without a
// date) a time is 0, which orders below every packed one.
TEST(DosDateTime, TwoSecondStepsAndNothingOutsideTheRange) {
    EXPECT_EQ(toDosDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)),
              toDosDateTime(QDate(1980, 1, 1), QTime(0, 0, 0)));
    EXPECT_EQ(toDosDateTime(QDate(2013, 5, 8), QTime(10, 30, 21)),
              toDosDateTime(QDate(2013, 5, 8), QTime(10, 30, 20)));
    EXPECT_NE(toDosDateTime(QDate(1980, 1, 1), QTime(0, 0, 0)), 0);
    for (const QDateTime& outside :
         {QDateTime(QDate(1979, 12, 31), QTime(23, 59, 59)), QDateTime(QDate(2108, 1, 1), QTime(0, 0, 0)),
          QDateTime(QDate(), QTime(12, 0))})
        EXPECT_EQ(toDosDateTime(outside.date(), outside.time()), 0)
            << outside.toString(Qt::ISODate).toStdString();
}

TEST(DosDateTime, OrderFollowsTimeThrough2107WithAnUnreadableStampBelowAll) {
    const DosDateTime ascending[] = {
        kUnreadableDosDateTime,
        toDosDateTime(QDate(1979, 1, 1), QTime(0, 0)), // 0
        toDosDateTime(QDate(1980, 1, 1), QTime(0, 0, 0)),
        toDosDateTime(QDate(1980, 1, 1), QTime(0, 0, 58)),
        toDosDateTime(QDate(1980, 1, 1), QTime(0, 59, 0)),
        toDosDateTime(QDate(1980, 1, 1), QTime(23, 0, 0)),
        toDosDateTime(QDate(1980, 1, 31), QTime(0, 0)),
        toDosDateTime(QDate(1980, 12, 1), QTime(0, 0)),
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
