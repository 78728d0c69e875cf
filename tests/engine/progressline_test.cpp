#include "engine/progressline.h"

#include <gtest/gtest.h>

using namespace velquin;

namespace {
constexpr qint64 kMB = 1024 * 1024;

QString line(std::initializer_list<const char*> parts) {
    QStringList texts;
    for (const char* p : parts)
        texts.append(QString::fromUtf8(p));
    return texts.join(QChar(0x3000));
}
} // namespace

TEST(ProgressLine, SizesAndTimesLeft) {
    const std::pair<qint64, const char*> sizes[] = {{0, "0 B"},          {1023, "1023 B"},
                                                    {1024, "1.0 KB"},    {1536, "1.5 KB"},
                                                    {3 * kMB, "3.0 MB"}, {1288490189, "1.2 GB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(byteSizeText(bytes), QString::fromUtf8(text)) << bytes;
    const std::pair<qint64, const char*> times[] = {{21000, "剩余约 21 秒"},
                                                    {59000, "剩余约 59 秒"},
                                                    {150000, "剩余约 3 分钟"},
                                                    {(3600 + 25 * 60) * 1000, "剩余约 1 小时 25 分钟"}};
    for (const auto& [ms, text] : times)
        EXPECT_EQ(timeLeftText(ms), QString::fromUtf8(text)) << ms;
}

// Many small files: counts and bytes from the start, the speed after a second, the time left by
// items per second once the run has gone on for a few seconds.
TEST(ProgressLine, ManySmallFilesEstimateByItems) {
    qint64 now = 0;
    RunProgress p([&] { return now; });
    for (int i = 0; i < 12; ++i) {
        now = 250 * i;
        p.itemStarted(i, 200);
        p.fileStarted(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')), TransferMode::Copy);
        p.fileBytes(kMB, kMB);
        if (i == 2) {
            EXPECT_EQ(p.text(), line({"正在复制 IMG_0002.jpg", "2 / 200", "3.0 MB / 3.0 MB"}));
        }
        p.fileEnded();
    }
    now = 3000;
    p.itemStarted(12, 200);
    p.fileStarted(QStringLiteral("IMG_0012.jpg"), TransferMode::Copy);
    p.fileBytes(kMB / 2, kMB);
    EXPECT_EQ(p.text(),
              line({"正在复制 IMG_0012.jpg", "12 / 200", "12.5 MB / 13.0 MB", "4.2 MB/s", "剩余约 47 秒"}));
}

// One big file: the time left goes by its bytes.
TEST(ProgressLine, BigFileEstimatesByBytes) {
    qint64 now = 0;
    RunProgress p([&] { return now; });
    p.itemStarted(0, 1);
    p.fileStarted(QStringLiteral("big.iso"), TransferMode::Move);
    now = 2000;
    p.fileBytes(512 * kMB, 3072 * kMB);
    EXPECT_EQ(p.text(), line({"正在移动 big.iso", "0 / 1", "512.0 MB / 3.0 GB", "256.0 MB/s"}));
    now = 4000;
    p.fileBytes(1024 * kMB, 3072 * kMB);
    EXPECT_EQ(p.text(), line({"正在移动 big.iso", "0 / 1", "1.0 GB / 3.0 GB", "256.0 MB/s", "剩余约 8 秒"}));
}

TEST(ProgressLine, ShownAtMostFourTimesASecond) {
    qint64 now = 1000;
    RunProgress p([&] { return now; });
    p.itemStarted(0, 3);
    bool due = false;
    EXPECT_EQ(p.takeIfDue(&due), line({"0 / 3"}));
    EXPECT_TRUE(due);
    now += RunProgress::kInterval - 1;
    p.itemStarted(1, 3);
    EXPECT_EQ(p.takeIfDue(&due), QString());
    EXPECT_FALSE(due);
    now += 1;
    EXPECT_EQ(p.takeIfDue(&due), line({"1 / 3"}));
    EXPECT_TRUE(due);
}
