#include "platform/takendate.h"
#include "support/testdir.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace velquin;
using velquin::test::TestDir;
using Field = TakenDateField;

namespace {

// A small picture of `format` whose metadata holds `fields`: "KEY=VALUE|KEY=VALUE", Exif.* and
// Xmp.* keys alike.
QString photo(TestDir& dir, const char* format, const char* fields) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = dir.path(QStringLiteral("p.") + QLatin1String(format));
    image.save(path, format);
    Exiv2::Image::AutoPtr meta = Exiv2::ImageFactory::open(path.toStdString());
    for (const QString& field : QString::fromLatin1(fields).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const std::string key = field.section(QLatin1Char('='), 0, 0).toStdString();
        const std::string value = field.section(QLatin1Char('='), 1).toStdString();
        if (key.rfind("Xmp.", 0) == 0)
            meta->xmpData()[key] = value;
        else
            meta->exifData()[key] = value;
    }
    meta->writeMetadata();
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
    // Version, creation and modification times; the rest (scale, duration, matrix...) left zero.
    const QByteArray mvhd =
        be(quint64(version) << 24, 4) + be(created, w) + be(created, w) + QByteArray(84, '\0');
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

// Every case runs in Tokyo (UTC+9, no summer time), so that a time taken as UTC shows.
class TakenDateTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("TZ", "Asia/Tokyo", 1), tzset(); }
    void TearDown() override { saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ"), tzset(); }
    // `got` is `field`'s date `when` (local wall time), or none when `field` is.
    static void expectDate(const std::optional<TakenDate>& got, std::optional<Field> field, const char* when,
                           const char* what) {
        ASSERT_EQ(got.has_value(), field.has_value()) << what;
        if (!got)
            return;
        EXPECT_EQ(got->field, *field) << what;
        EXPECT_EQ(got->when, QDateTime::fromString(QLatin1String(when), Qt::ISODateWithMs))
            << what << ": " << got->when.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(got->when.timeSpec(), Qt::LocalTime);
    }

    TestDir dir;
    std::optional<std::string> saved_ =
        getenv("TZ") ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
};

} // namespace

TEST_F(TakenDateTest, PhotoFieldsAreTriedInOrderAndUnsoundDatesSkipped) {
    const struct {
        const char* format;
        const char* fields;
        std::optional<Field> field;
        const char* when;
    } cases[] = {
        {"jpg",
         "Exif.Photo.DateTimeOriginal=2024:05:08 12:34:56|Exif.Photo.SubSecTimeOriginal=78|"
         "Exif.Photo.DateTimeDigitized=2023:01:01 00:00:00|Exif.Image.DateTime=2022:01:01 00:00:00",
         Field::ExifDateTimeOriginal, "2024-05-08T12:34:56.780"},
        {"jpg",
         "Exif.Photo.DateTimeOriginal=0000:00:00 00:00:00|Exif.Photo.DateTimeDigitized=2023:02:03 04:05:06",
         Field::ExifDateTimeDigitized, "2023-02-03T04:05:06"},
        {"jpg",
         "Exif.Photo.DateTimeOriginal=2024:13:08 12:34:56|Exif.Photo.DateTimeDigitized=1850:01:01 00:00:00|"
         "Xmp.exif.DateTimeOriginal=2021-06-07T08:09:10",
         Field::XmpExifDateTimeOriginal, "2021-06-07T08:09:10"},
        {"jpg", "Xmp.exif.DateTimeOriginal=garbage|Xmp.xmp.CreateDate=2024-05-08T12:00:00+02:00",
         Field::XmpCreateDate, "2024-05-08T19:00:00"},
        {"png", "Xmp.photoshop.DateCreated=2020-02-29|Exif.Image.DateTime=2019:01:01 00:00:00",
         Field::XmpPhotoshopDateCreated, "2020-02-29T00:00:00"},
        {"png", "Xmp.xmp.CreateDate=2024-05-08T25:00:00Z|Exif.Image.DateTime=2019:01:01 01:02:03",
         Field::ExifImageDateTime, "2019-01-01T01:02:03"},
        {"jpg", "Exif.Image.Make=Cam", std::nullopt, ""},
    };
    for (const auto& c : cases)
        expectDate(readTakenDate(photo(dir, c.format, c.fields)), c.field, c.when, c.fields);
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
        {"header past any sound year", movie("isom", 1, ~0ull), std::nullopt, ""},
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
        expectDate(readTakenDate(c.bytes), c.field, c.when, c.what);
        expectDate(readTakenDate(dir.file(QStringLiteral("m.mov"), c.bytes)), c.field, c.when, c.what);
    }
}

TEST_F(TakenDateTest, DamagedOrOddFilesGiveNoDate) {
    photo(dir, "jpg", "Exif.Photo.DateTimeOriginal=2024:05:08 12:34:56");
    const QByteArray jpeg = *dir.read(QStringLiteral("p.jpg"));
    QByteArray hostile = movie("isom", 0, kMay8TenUtc, creationKey("2024-05-08T08:00:00Z"));
    qToBigEndian<quint32>(0xFFFFFFF0u, hostile.data() + hostile.indexOf("keys") + 12); // a key past its box
    const QByteArray cases[] = {
        jpeg.left(40),
        QByteArray(4096, '\xFF'),
        QByteArray("\xFF\xD8\xFF\xE1\xFF\xFFX\0\0II*\0", 13).replace('X', "Exif"),
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
