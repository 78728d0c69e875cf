#include "platform/photonames.h"

#include <gtest/gtest.h>

using namespace velquin;

namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

TEST(DateFromFileName, CameraAndPhonePatterns) {
    const struct {
        const char* name;
        const char* when;
    } cases[] = {{"IMG_20240508_123456", "2024-05-08T12:34:56"},
                 {"VID_20240508_123456", "2024-05-08T12:34:56"},
                 {"PXL_20240508_123456789", "2024-05-08T12:34:56.789"},
                 {"IMG-20240508-WA0001", "2024-05-08T00:00:00"},
                 {"Screenshot_2024-05-08-12-34-56", "2024-05-08T12:34:56"},
                 {"2024-05-08 12.34.56", "2024-05-08T12:34:56"},
                 {"20240508_123456", "2024-05-08T12:34:56"},
                 {"20240508_123456_1", "2024-05-08T12:34:56"}};
    for (const auto& c : cases) {
        const std::optional<QDateTime> got = dateFromFileName(q(c.name));
        ASSERT_TRUE(got) << c.name;
        EXPECT_EQ(*got, QDateTime::fromString(q(c.when), Qt::ISODateWithMs)) << c.name;
        EXPECT_EQ(got->timeSpec(), Qt::LocalTime) << c.name;
    }
    // Month 13, 30 February, hour 25, before 1900, digits alone or too many, no date at all.
    for (const char* name :
         {"IMG_20241308_123456", "IMG_20240230_123456", "IMG_20240508_253456", "IMG_18000508_123456",
          "20240508123456", "IMG_20240508_1234567890", "123420240508_123456", "IMG_0001", "IMG-20240508"})
        EXPECT_FALSE(dateFromFileName(q(name))) << name;
}

TEST(Sidecars, WhichNamesBelongToWhichPhoto) {
    const struct {
        const char* sidecar;
        const char* photo;
        bool belongs;
    } cases[] = {
        {"IMG_1.xmp", "IMG_1.jpg", true},      {"IMG_1.jpg.xmp", "IMG_1.jpg", true},
        {"img_1.XMP", "IMG_1.CR2", true},      {"IMG_1.AAE", "IMG_1.HEIC", true},
        {"IMG_1.jpg.json", "IMG_1.jpg", true}, {"MVI_1.THM", "MVI_1.AVI", true},
        {"IMG_1.json", "IMG_1.jpg", false},    {"IMG_1.jpg.aae", "IMG_1.jpg", false},
        {"IMG_1.xmp", "IMG_12.jpg", false},    {"IMG_1.png.xmp", "IMG_1.jpg", false},
        {"IMG_1.xmp.xmp", "IMG_1.xmp", false}, {".xmp", ".jpg", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSidecarOf(q(c.sidecar), q(c.photo)), c.belongs) << c.sidecar << " " << c.photo;
    EXPECT_EQ(sidecarStem(q("IMG_1.jpg.XMP")), q("IMG_1.jpg"));
    EXPECT_FALSE(sidecarStem(q("IMG_1.jpg")));
    EXPECT_FALSE(sidecarStem(q("notes.json")));
}

TEST(Sidecars, ListGroupsEachSidecarWithItsPhotoInTheSameFolder) {
    const QStringList paths = {
        q("/a/IMG_1.jpg"),      q("/a/IMG_1.cr2"),      q("/a/IMG_1.xmp"),  q("/a/IMG_1.cr2.xmp"),
        q("/b/IMG_1.xmp"),      q("/a/IMG_2.AAE"),      q("/a/img_2.heic"), q("/a/orphan.xmp"),
        q("/a/IMG_1.jpg.json"), q("/A/IMG_1.jpg.json"),
    };
    const std::vector<qsizetype> expected = {-1, -1, 0, 1, -1, 6, -1, -1, 0, -1};
    EXPECT_EQ(sidecarPhotos(paths), expected);
}

TEST(Sidecars, FollowTheirPhotosNewName) {
    const QString jpg = q("IMG_0001.jpg");
    const QString renamed = q("IMG_0001_1.jpg");
    EXPECT_EQ(sidecarNameAfterRename(q("IMG_0001.xmp"), jpg, renamed), q("IMG_0001_1.xmp"));
    EXPECT_EQ(sidecarNameAfterRename(q("IMG_0001.jpg.XMP"), jpg, renamed), q("IMG_0001_1.jpg.XMP"));
    EXPECT_EQ(sidecarNameAfterRename(q("img_0001.jpg.json"), jpg, renamed), q("IMG_0001_1.jpg.json"));
    EXPECT_FALSE(sidecarNameAfterRename(q("IMG_0002.xmp"), jpg, renamed));
}
