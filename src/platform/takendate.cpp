#include "platform/takendate.h"

#include "platform/names.h"

#include <QMutex>
#include <QRegularExpression>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>
#include <exiv2/matroskavideo.hpp>
#include <exiv2/quicktimevideo.hpp>
#include <exiv2/riffvideo.hpp>

// The library's 0.27 interface hands its readers over in std::auto_ptr (its AutoPtr types).
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin {

namespace {

constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2200;
// Seconds from 1904-01-01 (the movie header's epoch) to 1970-01-01, both UTC.
constexpr qint64 kMovieEpochToUnix = 2082844800;
// A movie's header, user data and metadata boxes are a few kilobytes; larger ones are not read.
constexpr qint64 kMaxMetaBox = 1 << 20;
// Boxes looked at on one level before the walk gives up: a hostile file cannot make it long.
constexpr int kMaxBoxes = 4096;
// Exiv2::ImageType::asf: its header does not build without the library's private ones.
constexpr int kAsfType = 24;

QDateTime localIfSound(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid() || date.year() < kFirstYear || date.year() > kLastYear)
        return {};
    return QDateTime(date, time, Qt::LocalTime);
}

bool allDigits(QStringView s) {
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !s.isEmpty();
}

// "YYYY:MM:DD HH:MM:SS" as a camera's clock showed it. Some writers use '-' in the date or 'T'
// before the time; anything after the seconds is ignored as EXIF readers do.
QDateTime exifDate(const std::string& text, const std::string& subSeconds) {
    const QString s = QString::fromStdString(text).trimmed();
    if (s.size() < 19)
        return {};
    const auto part = [&s](int from, int n) { return QStringView(s).mid(from, n); };
    for (const int at : {0, 5, 8, 11, 14, 17})
        if (!allDigits(part(at, 2)))
            return {};
    const auto sep = [&s](int at, QLatin1Char a, QLatin1Char b) { return s[at] == a || s[at] == b; };
    if (!allDigits(part(0, 4)) || !sep(4, QLatin1Char(':'), QLatin1Char('-')) ||
        !sep(7, QLatin1Char(':'), QLatin1Char('-')) || !sep(10, QLatin1Char(' '), QLatin1Char('T')) ||
        s[13] != QLatin1Char(':') || s[16] != QLatin1Char(':'))
        return {};
    const auto num = [&](int from, int n) { return part(from, n).toInt(); };
    int ms = 0;
    QString sub = QString::fromStdString(subSeconds).trimmed();
    if (allDigits(sub))
        ms = QString(sub + QStringLiteral("00")).left(3).toInt();
    return localIfSound(QDate(num(0, 4), num(5, 2), num(8, 2)),
                        QTime(num(11, 2), num(14, 2), num(17, 2), ms));
}

// An ISO 8601 date as XMP and movies write it: a day, optionally a time, optionally an offset
// ("Z", "+02:00" or "+0200"). With an offset it is shown in local time, without as written.
QDateTime isoDate(const std::string& text) {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})"
                       "(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?)?"
                       "\\s*(Z|[+-]\\d{2}:?\\d{2})?$"));
    const QRegularExpressionMatch m = re.match(QString::fromStdString(text).trimmed());
    if (!m.hasMatch())
        return {};
    const auto num = [&m](int i) { return m.capturedView(i).toInt(); };
    const int ms = m.capturedLength(7) ? QString(m.captured(7) + QStringLiteral("00")).left(3).toInt() : 0;
    const QDate date(num(1), num(2), num(3));
    const QTime time =
        m.capturedLength(4) ? QTime(num(4), num(5), m.capturedLength(6) ? num(6) : 0, ms) : QTime(0, 0);
    QDateTime local = localIfSound(date, time);
    if (!local.isValid() || !m.capturedLength(8))
        return local;
    int offset = 0;
    if (m.captured(8) != QStringLiteral("Z")) {
        const QString o = m.captured(8).remove(QLatin1Char(':'));
        const int hours = o.mid(1, 2).toInt();
        const int minutes = o.mid(3, 2).toInt();
        if (hours > 14 || minutes > 59)
            return {};
        offset = (hours * 3600 + minutes * 60) * (o[0] == QLatin1Char('-') ? -1 : 1);
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset).toLocalTime();
}

QDateTime movieTime(quint64 secondsSince1904) {
    // Past about 2220 the count is garbage, and no sum with it may overflow.
    if (secondsSince1904 == 0 || secondsSince1904 > 10'000'000'000ull)
        return {};
    const QDateTime utc =
        QDateTime::fromSecsSinceEpoch(qint64(secondsSince1904) - kMovieEpochToUnix, Qt::UTC);
    return localIfSound(utc.date(), utc.time()).isValid() ? utc.toLocalTime() : QDateTime();
}

std::string valueOf(const Exiv2::ExifData& data, const char* key) {
    const auto it = data.findKey(Exiv2::ExifKey(key));
    return it == data.end() ? std::string() : it->toString();
}

std::string valueOf(const Exiv2::XmpData& data, const char* key) {
    const auto it = data.findKey(Exiv2::XmpKey(key));
    return it == data.end() ? std::string() : it->toString();
}

std::optional<TakenDate> photoDate(const Exiv2::Image& image) {
    const Exiv2::ExifData& exif = image.exifData();
    const Exiv2::XmpData& xmp = image.xmpData();
    const std::array<std::pair<QDateTime, TakenDateField>, 6> tried = {{
        {exifDate(valueOf(exif, "Exif.Photo.DateTimeOriginal"),
                  valueOf(exif, "Exif.Photo.SubSecTimeOriginal")),
         TakenDateField::ExifDateTimeOriginal},
        {exifDate(valueOf(exif, "Exif.Photo.DateTimeDigitized"), {}), TakenDateField::ExifDateTimeDigitized},
        {isoDate(valueOf(xmp, "Xmp.exif.DateTimeOriginal")), TakenDateField::XmpExifDateTimeOriginal},
        {isoDate(valueOf(xmp, "Xmp.xmp.CreateDate")), TakenDateField::XmpCreateDate},
        {isoDate(valueOf(xmp, "Xmp.photoshop.DateCreated")), TakenDateField::XmpPhotoshopDateCreated},
        {exifDate(valueOf(exif, "Exif.Image.DateTime"), {}), TakenDateField::ExifImageDateTime},
    }};
    for (const auto& [when, field] : tried)
        if (when.isValid())
            return TakenDate{when, field};
    return std::nullopt;
}

quint32 be32(const Exiv2::byte* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

quint64 be64(const Exiv2::byte* p) {
    return quint64(be32(p)) << 32 | be32(p + 4);
}

// The dates of a QuickTime or MP4 movie, read from its boxes by hand: the library's own movie
// reader in this version reads past its buffers on damaged files, and it misreads 64-bit movie
// headers and leaves out the creation date key of the `meta` box (keys, their values in `ilst`).
struct MovieBoxes {
    std::string creationDate;
    std::string day; // udta/©day
    quint64 headerTime = 0;
};

struct Box {
    qint64 payload = 0;
    qint64 end = 0;
    char type[4] = {};
    bool is(const char* t) const { return std::memcmp(type, t, 4) == 0; }
};

// The box whose header starts at `at`, inside a parent that ends at `limit`.
std::optional<Box> boxAt(Exiv2::BasicIo& io, qint64 at, qint64 limit) {
    Exiv2::byte h[16];
    if (limit - at < 8 || io.seek(long(at), Exiv2::BasicIo::beg) != 0 || io.read(h, 8) != 8)
        return std::nullopt;
    Box box;
    std::memcpy(box.type, h + 4, 4);
    quint64 size = be32(h);
    box.payload = at + 8;
    if (size == 1) {
        if (limit - at < 16 || io.read(h + 8, 8) != 8)
            return std::nullopt;
        size = be64(h + 8);
        box.payload = at + 16;
    } else if (size == 0) {
        size = quint64(limit - at);
    }
    if (size < quint64(box.payload - at) || size > quint64(limit - at))
        return std::nullopt;
    box.end = at + qint64(size);
    return box;
}

// The value of com.apple.quicktime.creationdate in a `meta` box's payload, read into memory.
std::string creationDateKey(const QByteArray& meta) {
    const auto* p = reinterpret_cast<const Exiv2::byte*>(meta.constData());
    const qint64 n = meta.size();
    // An ISO meta box starts with version and flags; a QuickTime one with its first child.
    qint64 at = n >= 12 && std::memcmp(p + 4, "hdlr", 4) != 0 && std::memcmp(p + 8, "hdlr", 4) == 0 ? 4 : 0;
    quint32 wanted = 0;
    for (int guard = 0; at + 8 <= n && guard < kMaxBoxes; ++guard) {
        const qint64 size = be32(p + at);
        if (size < 8 || size > n - at)
            break;
        const Exiv2::byte* body = p + at + 8;
        const qint64 len = size - 8;
        if (std::memcmp(p + at + 4, "keys", 4) == 0 && len >= 8) {
            const quint32 count = be32(body + 4);
            qint64 k = 8;
            for (quint32 i = 1; i <= count && k + 8 <= len; ++i) {
                const qint64 ks = be32(body + k);
                if (ks < 8 || ks > len - k)
                    break;
                static constexpr char name[] = "com.apple.quicktime.creationdate";
                if (ks - 8 == qint64(sizeof name - 1) &&
                    std::memcmp(body + k + 8, name, sizeof name - 1) == 0)
                    wanted = i;
                k += ks;
            }
        } else if (std::memcmp(p + at + 4, "ilst", 4) == 0 && wanted != 0) {
            for (qint64 e = 0; e + 8 <= len;) {
                const qint64 es = be32(body + e);
                if (es < 8 || es > len - e)
                    break;
                // The item's one `data` child: size, "data", type, locale, then the text.
                if (be32(body + e + 4) == wanted && es >= 24 && std::memcmp(body + e + 12, "data", 4) == 0) {
                    const qint64 ds = qMin<qint64>(be32(body + e + 8), es - 8);
                    if (ds >= 16)
                        return std::string(reinterpret_cast<const char*>(body + e + 24), size_t(ds - 16));
                }
                e += es;
            }
        }
        at += size;
    }
    return {};
}

MovieBoxes movieBoxes(Exiv2::BasicIo& io) {
    MovieBoxes found;
    if (io.open() != 0)
        return found;
    const qint64 fileEnd = qint64(io.size());
    std::optional<Box> moov;
    qint64 at = 0;
    for (int guard = 0; guard < kMaxBoxes && !moov; ++guard) {
        const std::optional<Box> box = boxAt(io, at, fileEnd);
        if (!box)
            break;
        if (box->is("moov"))
            moov = box;
        at = box->end;
    }
    at = moov ? moov->payload : fileEnd;
    for (int guard = 0; moov && guard < kMaxBoxes; ++guard) {
        const std::optional<Box> box = boxAt(io, at, moov->end);
        if (!box)
            break;
        const qint64 size = box->end - box->payload;
        QByteArray body;
        if ((box->is("mvhd") || box->is("meta") || box->is("udta")) && size <= kMaxMetaBox &&
            io.seek(long(box->payload), Exiv2::BasicIo::beg) == 0) {
            body.resize(size);
            if (io.read(reinterpret_cast<Exiv2::byte*>(body.data()), long(size)) != long(size))
                body.clear();
        }
        const auto* p = reinterpret_cast<const Exiv2::byte*>(body.constData());
        if (box->is("mvhd") && body.size() >= 12)
            found.headerTime = p[0] == 1 ? be64(p + 4) : be32(p + 4);
        if (box->is("meta"))
            found.creationDate = creationDateKey(body);
        // udta holds ©day: the text's length, its language, then the text.
        for (qint64 u = 0; box->is("udta") && u + 12 <= body.size();) {
            const qint64 us = be32(p + u);
            if (us < 8 || us > body.size() - u)
                break;
            if (std::memcmp(p + u + 4,
                            "\xA9"
                            "day",
                            4) == 0 &&
                us >= 12)
                found.day.assign(reinterpret_cast<const char*>(p + u + 12),
                                 size_t(qMin<qint64>(quint32(p[u + 8]) << 8 | p[u + 9], us - 12)));
            u += us;
        }
        at = box->end;
    }
    io.close();
    return found;
}

std::optional<TakenDate> movieDate(Exiv2::BasicIo& io) {
    const MovieBoxes boxes = movieBoxes(io);
    if (const QDateTime when = isoDate(boxes.creationDate); when.isValid())
        return TakenDate{when, TakenDateField::QuickTimeCreationDate};
    if (const QDateTime when = isoDate(boxes.day); when.isValid())
        return TakenDate{when, TakenDateField::QuickTimeDay};
    if (const QDateTime when = movieTime(boxes.headerTime); when.isValid())
        return TakenDate{when, TakenDateField::MovieHeader};
    return std::nullopt;
}

// Brands of the ISO box format that hold still images (HEIF, AVIF, Canon raw). Every other
// ftyp file is a movie, which the box-format reader must not claim from the movie reader.
bool isStillImageBrand(const Exiv2::byte* brand) {
    static constexpr std::array<const char*, 11> brands = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                                           "mif1", "msf1", "avif", "avis", "crx "};
    for (const char* b : brands)
        if (std::memcmp(brand, b, 4) == 0)
            return true;
    return false;
}

// How much of a JPEG is read first, in one call.
constexpr qint64 kHeadBytes = 256 * 1024;

QMutex& libraryLock() {
    static QMutex lock;
    return lock;
}

std::optional<TakenDate> readFrom(Exiv2::BasicIo::AutoPtr io) {
    QMutexLocker locked(&libraryLock());
    static const bool initialised = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        return Exiv2::XmpParser::initialize();
    }();
    if (!initialised)
        return std::nullopt;
    try {
        if (io->open() != 0)
            return std::nullopt;
        Exiv2::byte head[12];
        const bool stillBox =
            io->read(head, 12) == 12 && std::memcmp(head + 4, "ftyp", 4) == 0 && isStillImageBrand(head + 8);
        io->close();
        Exiv2::enableBMFF(stillBox);
        // The library's other movie readers are of the same make as its QuickTime one and
        // give no date field of the photo order: they are not run on anyone's files.
        const int type = Exiv2::ImageFactory::getType(*io);
        if (type == Exiv2::ImageType::qtime)
            return movieDate(*io);
        if (type == Exiv2::ImageType::mkv || type == Exiv2::ImageType::riff || type == kAsfType)
            return std::nullopt;
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        return photoDate(*image);
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

std::optional<TakenDate> readTakenDate(const QString& path) {
    // Opened by its exact bytes without blocking on a FIFO or device, and only a regular file is
    // handed to the library, through the descriptor so that it reads the file that was checked.
    const int fd = ::open(encodeLocal8(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    std::optional<TakenDate> found;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A JPEG keeps its metadata in the segments before the picture: one read of the head is
        // enough for nearly every photo, where the library's own file reader opens and seeks
        // several times. The whole file is read only where the head did not give a date.
        QByteArray head(qsizetype(qMin<qint64>(st.st_size, kHeadBytes)), Qt::Uninitialized);
        const ssize_t got = head.isEmpty() ? 0 : ::pread(fd, head.data(), size_t(head.size()), 0);
        const bool jpeg = got >= 2 && quint8(head[0]) == 0xFF && quint8(head[1]) == 0xD8;
        if (jpeg) {
            head.truncate(qsizetype(got));
            found = readTakenDate(head);
        }
        if (!found && (!jpeg || st.st_size > got))
            found =
                readFrom(Exiv2::BasicIo::AutoPtr(new Exiv2::FileIo("/proc/self/fd/" + std::to_string(fd))));
    }
    ::close(fd);
    return found;
}

std::optional<TakenDate> readTakenDate(const QByteArray& content) {
    return readFrom(Exiv2::BasicIo::AutoPtr(
        new Exiv2::MemIo(reinterpret_cast<const Exiv2::byte*>(content.constData()), long(content.size()))));
}

} // namespace velquin
