#include "platform/imageprobe.h"
#include "platform/names.h"
#include "support/testdir.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::TestDir;

namespace {

QByteArray encoded(int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Qt writes no GIF: a two-colour image whose screen and frame are width x height, by hand.
QByteArray gif(quint16 width, quint16 height) {
    QByteArray b("GIF89a");
    auto le16 = [&b](quint16 v) {
        b.append(char(v & 0xFF));
        b.append(char(v >> 8));
    };
    le16(width);
    le16(height);
    b.append("\x80\x00\x00", 3);             // global colour table of 2 entries
    b.append("\x00\x00\x00\xFF\xFF\xFF", 6); // black, white
    b.append(',');                           // image descriptor
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    b.append('\0');
    b.append("\x02\x02\x44\x01\x00\x3B", 6); // LZW data of one pixel, end of file
    return b;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(encodeLocal8(path).constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    ::close(fd);
}

// Descriptors of this process that lead to `path`.
int openHandlesTo(const QString& path) {
    int count = 0;
    const QString target = QFile::symLinkTarget(path).isEmpty() ? path : QFile::symLinkTarget(path);
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::Files))
        if (QFile::symLinkTarget(QStringLiteral("/proc/self/fd/") + fd) == target)
            ++count;
    return count;
}

} // namespace

TEST(ImageProbe, ReadsWidthAndHeightOfEveryFormatFromContent) {
    TestDir dir;
    struct Case {
        const char* name; // the extension never matters
        QByteArray bytes;
        quint64 width, height;
    } cases[] = {
        {"a.jpg", encoded(37, 21, "JPEG"), 37, 21},
        {"a.bmp", encoded(5, 300, "BMP"), 5, 300},
        {"a.png", encoded(801, 3, "PNG"), 801, 3},
        {"a.tif", encoded(64, 48, "TIFF"), 64, 48},
        {"a.gif", gif(640, 480), 640, 480},
        {"png-named.jpg", encoded(9, 8, "PNG"), 9, 8},
        {"\xD6\xD0\xCE\xC4.png", encoded(12, 13, "PNG"), 12, 13},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.bytes.isEmpty()) << c.name << ": the encoder is missing";
        const QString path = dir.path(decodeLocal8(QByteArray(c.name)));
        writeBytes(path, c.bytes);
        EXPECT_EQ(GetImageDimension(path, 1), c.width) << c.name;
        EXPECT_EQ(GetImageDimension(path, 0), c.height) << c.name;
        EXPECT_EQ(GetImageDimension(path, 2), 0u) << c.name;
        EXPECT_EQ(GetImageDimension(path, -1), 0u) << c.name;
        EXPECT_EQ(openHandlesTo(path), 0) << c.name;
        ::unlink(encodeLocal8(path).constData()); // QTemporaryDir cannot see names that are not UTF-8
    }
}

TEST(ImageProbe, AnythingUnreadableGivesZero) {
    TestDir dir;
    const QByteArray png = encoded(100, 50, "PNG");
    writeBytes(dir.path(QStringLiteral("cut.png")), png.left(20)); // the header stops inside IHDR
    writeBytes(dir.path(QStringLiteral("x.jpg")), "this is only text, not a picture\n");
    writeBytes(dir.path(QStringLiteral("empty.gif")), QByteArray());
    dir.folder(QStringLiteral("folder.png"));
    const QString fifo = dir.path(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(encodeLocal8(fifo).constData(), 0644), 0);
    for (const char* name : {"cut.png", "x.jpg", "empty.gif", "folder.png", "pipe.png", "missing.png"}) {
        const QString path = dir.path(QString::fromUtf8(name));
        EXPECT_EQ(GetImageDimension(path, 0), 0u) << name;
        EXPECT_EQ(GetImageDimension(path, 1), 0u) << name;
    }
}
