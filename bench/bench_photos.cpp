// Reading the date taken of a camera folder's worth of photos, against a metadata tool that
// prints the same field for every file of a tree.
#include "bench/bench.h"

#include "bench/quiethost.h"
#include "engine/filerun.h"
#include "platform/fileops.h"
#include "platform/names.h"
#include "platform/takendate.h"
#include "ui/criteria/takencriterion.h"
#include "ui/criteria/typecriterion.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QStandardPaths>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace velquin::bench {
namespace {

constexpr int kPhotos = 10000;

// One small JPEG whose EXIF the library writes; the copies differ only in the date's digits.
QByteArray templatePhoto() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    Exiv2::Image::AutoPtr photo =
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
    photo->readMetadata();
    photo->exifData()["Exif.Image.Make"] = "Bench";
    photo->exifData()["Exif.Photo.DateTimeOriginal"] = "2000:01:01 00:00:00";
    photo->writeMetadata();
    Exiv2::BasicIo& io = photo->io();
    io.open();
    Exiv2::DataBuf bytes = io.read(long(io.size()));
    io.close();
    return QByteArray(reinterpret_cast<const char*>(bytes.pData_), qsizetype(bytes.size_));
}

// kPhotos copies of the template in `folder`, each with a date of its own.
QStringList makePhotos(const QString& folder) {
    const QByteArray photo = templatePhoto();
    const qsizetype at = photo.indexOf("2000:01:01 00:00:00");
    if (at < 0) {
        std::fprintf(stderr, "date_taken: the template holds no date\n");
        return {};
    }
    QStringList paths;
    for (int i = 0; i < kPhotos; ++i) {
        QByteArray copy = photo;
        copy.replace(at, 19,
                     QStringLiteral("20%1:%2:%3 %4:%5:00")
                         .arg(10 + i % 15)
                         .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                         .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                         .arg(i % 24, 2, 10, QLatin1Char('0'))
                         .arg(i % 60, 2, 10, QLatin1Char('0'))
                         .toLatin1());
        paths.append(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        const int fd = ::open(encodeLocal8(paths.back()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, copy.constData(), size_t(copy.size()));
            ::close(fd);
        }
    }
    return paths;
}

void dateTakenRead10k() {
    const QString folder = scratchFolder(QStringLiteral("dates"));
    const QStringList paths = makePhotos(folder);
    if (paths.isEmpty())
        return;
    settle();
    int found = 0;
    const double ours = timeIt([&] {
        for (const QString& path : paths)
            found += readTakenDate(path).has_value();
    });
    std::printf("date_taken_read_10k: %d of %d dates read\n", found, kPhotos);
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()) {
        std::printf("date_taken_read_10k: velquin %.3f s, baseline skipped (exiftool not installed)\n", ours);
        return;
    }
    settle();
    const double theirs = timeShell(QStringLiteral("exiftool -fast2 -q -p '$DateTimeOriginal' -r '") +
                                    folder + QStringLiteral("' >/dev/null"));
    report(QStringLiteral("date_taken_read_10k"), ours, theirs);
}

// The whole run: every date read and every photo copied into its year/month folder, against the
// plain type copy of the same files, both from a cold cache.
double copyRun(const QStringList& photos, std::shared_ptr<FileRule> rule, const QString& output) {
    QDir().mkpath(output);
    FileSortJob job;
    job.Files = photos;
    job.rule = std::move(rule);
    QuietFileHost host(output, TransferMode::Copy);
    const FileOps fs;
    settle();
    return timeIt([&] {
        if (runFileSort(job, host, fs) != RunEnd::Completed)
            std::fprintf(stderr, "date_taken_10k: the run did not complete\n");
    });
}

void dateTaken10k() {
    const QString scratch = scratchFolder(QStringLiteral("taken"));
    const QStringList photos = makePhotos(scratch);
    if (photos.isEmpty())
        return;
    const double taken = copyRun(photos, std::make_shared<TakenDateRule>(TakenChoice{}),
                                 scratchFolder(QStringLiteral("taken-out")));
    const double type =
        copyRun(photos, std::make_shared<TypeRule>(), scratchFolder(QStringLiteral("type-out")));
    report(QStringLiteral("date_taken_10k"), taken, type);
}

const Registration dates(QStringLiteral("date_taken_read_10k"), dateTakenRead10k);
const Registration taken(QStringLiteral("date_taken_10k"), dateTaken10k);

} // namespace
} // namespace velquin::bench
