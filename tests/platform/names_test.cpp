#include "platform/names.h"

#include <QList>

#include <gtest/gtest.h>

using namespace velquin;

TEST(Names, ValidUtf8DecodesAsText) {
    EXPECT_EQ(decodeLocal8(QByteArray("a/b.txt")), QStringLiteral("a/b.txt"));
    EXPECT_EQ(decodeLocal8(QString::fromUtf8("文件名abc").toUtf8()), QString::fromUtf8("文件名abc"));
    EXPECT_EQ(decodeLocal8(QByteArray("\xF0\x9F\x98\x80")), QString::fromUtf8("\xF0\x9F\x98\x80"));
}

TEST(Names, InvalidBytesRoundTripExactly) {
    // "中文" in GBK, an overlong "/", a lone continuation byte, a surrogate encoded as UTF-8,
    // a truncated sequence at the end.
    const QList<QByteArray> names = {
        QByteArray("\xD6\xD0\xCE\xC4.jpg"),
        QByteArray("\xC0\xAF"),
        QByteArray("a\x80z"),
        QByteArray("\xED\xA0\x80"),
        QByteArray("ok\xE6\x96"),
        QByteArray("\xFF\xFE"),
        // A leading byte-order mark, a real U+FFFD next to a bad byte, a noncharacter, a NUL.
        QByteArray("\xEF\xBB\xBFname"),
        QByteArray("\xEF\xBF\xBD\x80"),
        QByteArray("\xEF\xBF\xBE"),
        QByteArray("a\0b", 3),
    };
    for (const QByteArray& bytes : names) {
        const QString text = decodeLocal8(bytes);
        EXPECT_EQ(encodeLocal8(text), bytes) << bytes.toHex().constData();
        // Every escaped byte is one lone low surrogate, never U+FFFD.
        if (!bytes.contains("\xEF\xBF\xBD")) {
            EXPECT_FALSE(text.contains(QChar(0xFFFD)));
        }
    }
    EXPECT_EQ(decodeLocal8(QByteArray("\xD6\xD0")).size(), 2);
    EXPECT_EQ(decodeLocal8(QByteArray("\xD6\xD0")).at(0).unicode(), 0xDCD6);
}

TEST(Names, TextRoundTripsThroughBytes) {
    const QString text = QString::fromUtf8("报告 2013 (终稿).doc");
    EXPECT_EQ(decodeLocal8(encodeLocal8(text)), text);
    EXPECT_EQ(encodeLocal8(text), text.toUtf8());
}
