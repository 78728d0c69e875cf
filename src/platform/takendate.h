#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace velquin {

// Where a date taken was found, in the order the reader tries them.
enum class TakenDateField {
    ExifDateTimeOriginal,  // Exif.Photo.DateTimeOriginal, with SubSecTimeOriginal as milliseconds
    ExifDateTimeDigitized, // Exif.Photo.DateTimeDigitized
    XmpExifDateTimeOriginal,
    XmpCreateDate,
    XmpPhotoshopDateCreated,
    ExifImageDateTime,     // Exif.Image.DateTime, the last time the picture was written
    QuickTimeCreationDate, // the com.apple.quicktime.creationdate key of a movie, with its offset
    QuickTimeDay,          // a movie's user data ©day, with its offset
    MovieHeader,           // the movie header's creation time (UTC)
};

struct TakenDate {
    QDateTime when; // local wall time (Qt::LocalTime)
    TakenDateField field;
};

// The date a photo or video was taken, from the first field of TakenDateField's order that holds
// a sound date: an all-zero, malformed or impossible date, or one outside the years 1900 to 2200,
// counts as none and the next field is tried. A camera's EXIF times are its wall clock and are
// taken as written; a date with a UTC offset, and a movie header's UTC time, are shown in local
// time. XMP dates that give a day but no time count as midnight; a year or month alone is none.
// nullopt for a file that holds no date, cannot be read, or is damaged: never throws.
// Movies are QuickTime and MP4 files; other movie formats (Matroska, AVI, ASF) give nullopt.
// The work is bounded whatever the file: movies are read box by box, never whole.
//
// Reads are serialised inside: the metadata library keeps global state (its XMP toolkit, which
// box formats it claims) that is not safe to touch from two threads at once, so calls from
// several threads wait for each other. Nothing else in the program may use that library directly.
std::optional<TakenDate> readTakenDate(const QString& path);
// The same for a file's whole content held in memory.
std::optional<TakenDate> readTakenDate(const QByteArray& content);

} // namespace velquin
