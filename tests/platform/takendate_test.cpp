#include "platform/takendate.h"
#include "support/testdir.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <cstdlib>
#include <ctime>
#include <map>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::TestDir;
using Field = TakenDateField;

namespace {

QByteArray encoded(const char* format) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A small picture of `format` whose metadata holds `fields` (Exif.* and Xmp.* keys).
QString photo(TestDir& dir, const char* format, const std::map<std::string, std::string>& fields) {
    const QString path = dir.file(QStringLiteral("p.") + QLatin1String(format), encoded(format));
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    for (const auto& [key, value] : fields) {
        if (key.rfind("Xmp.", 0) == 0)
            image->xmpData()[key] = value;
        else
            image->exifData()[key] = value;
    }
    image->writeMetadata();
    return path;
}

QByteArray box(const char* type, const QByteArray& payload) {
    QByteArray b(4, '\0');
    qToBigEndian<quint32>(quint32(payload.size() + 8), b.data());
    return b + QByteArray(type, 4) + payload;
}

QByteArray be(quint64 v, int bytes) {
    QByteArray b;
    for (int i = bytes - 1; i >= 0; --i)
        b.append(char(v >> (8 * i)));
    return b;
}

// A movie of boxes alone: ftyp with `brand`, then moov with a movie header of `version` holding
// `created` (seconds since 1904, UTC) and whatever `extra` boxes follow it.
QByteArray movie(const char* brand, int version, quint64 created, const QByteArray& extra = {}) {
    const int w = version == 1 ? 8 : 4;
    QByteArray mvhd =
        be(quint64(version) << 24, 4) + be(created, w) + be(created, w) + be(600, 4) + be(6000, w);
    mvhd += be(0x10000, 4) + be(0x100, 2) + QByteArray(10, '\0');
    for (const quint32 m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
        mvhd += be(m, 4);
    mvhd += QByteArray(24, '\0') + be(2, 4);
    return box("ftyp", QByteArray(brand, 4) + be(0, 4) + QByteArray(brand, 4)) +
           box("moov", box("mvhd", mvhd) + extra);
}

QByteArray dayBox(const QByteArray& text) {
    return box("udta", box("\xA9"
                           "day",
                           be(quint64(text.size()), 2) + be(0x15C7, 2) + text));
}

QByteArray creationKey(const QByteArray& text) {
    const QByteArray key("com.apple.quicktime.creationdate");
    const QByteArray keys = box("keys", be(0, 4) + be(1, 4) + be(quint64(key.size() + 8), 4) + "mdta" + key);
    const QByteArray ilst = box("ilst", box(be(1, 4).constData(), box("data", be(1, 4) + be(0, 4) + text)));
    return box("meta", box("hdlr", be(0, 8) + "mdta" + QByteArray(13, '\0')) + keys + ilst);
}

// 2024-05-08 10:00:00 UTC in the movie header's count.
constexpr quint64 kMay8TenUtc = 1715162400ull + 2082844800ull;

class TakenDateTest : public ::testing::Test {
protected:
    void SetUp() override { zone("Asia/Tokyo"); }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    void zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    static QDateTime local(const char* iso) {
        return QDateTime::fromString(QLatin1String(iso), Qt::ISODateWithMs);
    }

    TestDir dir;
    std::optional<std::string> saved_ =
        getenv("TZ") ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
};

} // namespace

TEST_F(TakenDateTest, PhotoFieldsAreTriedInOrderAndUnsoundDatesSkipped) {
    const struct {
        const char* what;
        const char* format;
        std::map<std::string, std::string> fields;
        std::optional<Field> field;
        const char* when;
    } cases[] = {
        {"original with sub-seconds beats the rest",
         "jpg",
         {{"Exif.Photo.DateTimeOriginal", "2024:05:08 12:34:56"},
          {"Exif.Photo.SubSecTimeOriginal", "78"},
          {"Exif.Photo.DateTimeDigitized", "2023:01:01 00:00:00"},
          {"Exif.Image.DateTime", "2022:01:01 00:00:00"}},
         Field::ExifDateTimeOriginal,
         "2024-05-08T12:34:56.780"},
        {"all-zero original",
         "jpg",
         {{"Exif.Photo.DateTimeOriginal", "0000:00:00 00:00:00"},
          {"Exif.Photo.DateTimeDigitized", "2023:02:03 04:05:06"}},
         Field::ExifDateTimeDigitized,
         "2023-02-03T04:05:06"},
        {"month 13 and a year too early",
         "jpg",
         {{"Exif.Photo.DateTimeOriginal", "2024:13:08 12:34:56"},
          {"Exif.Photo.DateTimeDigitized", "1850:01:01 00:00:00"},
          {"Xmp.exif.DateTimeOriginal", "2021-06-07T08:09:10"}},
         Field::XmpExifDateTimeOriginal,
         "2021-06-07T08:09:10"},
        {"XMP offset shown in local time",
         "jpg",
         {{"Xmp.exif.DateTimeOriginal", "garbage"}, {"Xmp.xmp.CreateDate", "2024-05-08T12:00:00+02:00"}},
         Field::XmpCreateDate,
         "2024-05-08T19:00:00"},
        {"a day alone is midnight",
         "png",
         {{"Xmp.photoshop.DateCreated", "2020-02-29"}, {"Exif.Image.DateTime", "2019:01:01 00:00:00"}},
         Field::XmpPhotoshopDateCreated,
         "2020-02-29T00:00:00"},
        {"hour 25 then the write time",
         "png",
         {{"Xmp.xmp.CreateDate", "2024-05-08T25:00:00Z"}, {"Exif.Image.DateTime", "2019:01:01 01:02:03"}},
         Field::ExifImageDateTime,
         "2019-01-01T01:02:03"},
        {"no date at all", "jpg", {{"Exif.Image.Make", "Cam"}}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const std::optional<TakenDate> got = readTakenDate(photo(dir, c.format, c.fields));
        ASSERT_EQ(got.has_value(), c.field.has_value()) << c.what;
        if (!got)
            continue;
        EXPECT_EQ(got->field, *c.field) << c.what;
        EXPECT_EQ(got->when, local(c.when))
            << c.what << ": " << got->when.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(got->when.timeSpec(), Qt::LocalTime) << c.what;
    }
}

TEST_F(TakenDateTest, CameraTimeIsTakenAsWrittenInAnyZone) {
    const QString path = photo(dir, "jpg", {{"Exif.Photo.DateTimeOriginal", "2024:05:08 12:34:56"}});
    zone("America/New_York");
    EXPECT_EQ(readTakenDate(path)->when, local("2024-05-08T12:34:56"));
}

TEST_F(TakenDateTest, MovieDatesByPreferenceInLocalTime) {
    const struct {
        const char* what;
        QByteArray bytes;
        std::optional<Field> field;
        const char* when; // in Tokyo, UTC+9
    } cases[] = {
        {"header, QuickTime brand", movie("qt  ", 0, kMay8TenUtc), Field::MovieHeader, "2024-05-08T19:00:00"},
        {"header, MP4 brand", movie("isom", 0, kMay8TenUtc), Field::MovieHeader, "2024-05-08T19:00:00"},
        {"64-bit header", movie("mp42", 1, kMay8TenUtc), Field::MovieHeader, "2024-05-08T19:00:00"},
        {"zero header", movie("isom", 0, 0), std::nullopt, ""},
        {"user data day with its offset", movie("qt  ", 0, kMay8TenUtc, dayBox("2024-05-08T12:34:56+0200")),
         Field::QuickTimeDay, "2024-05-08T19:34:56"},
        {"creation date key beats the day",
         movie("qt  ", 0, kMay8TenUtc,
               creationKey("2024-05-08T08:00:00-0500") + dayBox("2020-01-01T00:00:00Z")),
         Field::QuickTimeCreationDate, "2024-05-08T22:00:00"},
        {"unsound key, then the header", movie("isom", 0, kMay8TenUtc, creationKey("0000-00-00T00:00:00Z")),
         Field::MovieHeader, "2024-05-08T19:00:00"},
    };
    for (const auto& c : cases) {
        for (const bool inMemory : {false, true}) {
            const std::optional<TakenDate> got =
                inMemory ? readTakenDate(c.bytes) : readTakenDate(dir.file(QStringLiteral("m.mov"), c.bytes));
            ASSERT_EQ(got.has_value(), c.field.has_value()) << c.what << inMemory;
            if (!got)
                continue;
            EXPECT_EQ(got->field, *c.field) << c.what;
            EXPECT_EQ(got->when, local(c.when))
                << c.what << ": " << got->when.toString(Qt::ISODate).toStdString();
        }
    }
}

TEST_F(TakenDateTest, DamagedOrOddFilesGiveNoDate) {
    const QByteArray jpeg = *dir.read(
        QFileInfo(photo(dir, "jpg", {{"Exif.Photo.DateTimeOriginal", "2024:05:08 12:34:56"}})).fileName());
    QByteArray hostile = movie("isom", 0, kMay8TenUtc, creationKey("2024-05-08T08:00:00Z"));
    qToBigEndian<quint32>(0xFFFFFFF0u, hostile.data() + hostile.indexOf("keys") + 12); // a key past its box
    const QByteArray cases[] = {
        jpeg.left(40),
        QByteArray(4096, '\xFF'),
        QByteArray("\xFF\xD8\xFF\xE1\xFF\xFF"
                   "Exif\0\0II*\0",
                   16),
        movie("isom", 0, kMay8TenUtc).left(60),
        box("ftyp", "isom") + QByteArray("\x00\x00\x00\x01moov\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16),
        QByteArray(),
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_FALSE(readTakenDate(bytes)) << bytes.toHex().left(40).toStdString();
        EXPECT_FALSE(readTakenDate(dir.file(QStringLiteral("d.jpg"), bytes)));
    }
    // Its keys unreadable, the damaged movie still has its header.
    EXPECT_EQ(readTakenDate(hostile)->field, Field::MovieHeader);
    EXPECT_FALSE(readTakenDate(dir.folder(QStringLiteral("folder.jpg"))));
    EXPECT_FALSE(readTakenDate(dir.path(QStringLiteral("missing.jpg"))));
    ASSERT_EQ(::mkfifo(dir.path(QStringLiteral("fifo.jpg")).toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(readTakenDate(dir.path(QStringLiteral("fifo.jpg")))); // and does not wait for a writer
}
