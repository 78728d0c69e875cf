#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velquin {

// The date and time a camera or phone wrote into a file's name ("IMG_20240508_123456",
// "PXL_20240508_123456789", "Screenshot_2024-05-08-12-34-56", "2024-05-08 12.34.56",
// "IMG-20240508-WA0001" with its date alone, at midnight), as local wall time. A run of digits
// longer than a date and time, or a date or time that cannot be (month 13, 30 February, hour 25),
// is none. Years 1900 to 2200 only.
std::optional<QDateTime> dateFromFileName(const QString& baseName);

// The name a sidecar file hangs on, its sidecar ending taken off: "IMG_1.xmp" -> "IMG_1",
// "IMG_1.jpg.xmp" -> "IMG_1.jpg"; also NAME.aae, NAME.thm and NAME.EXT.json. Letter case does not
// count. nullopt for a name that is no sidecar (among them ".xmp" alone and "x.json", which has
// no photo's extension before its ending).
std::optional<QString> sidecarStem(const QString& fileName);

// Whether `sidecarName` belongs to the photo named `photoName` (file names, no folders): its
// stem is the photo's whole name or, for .xmp, .aae and .thm, the photo's name without its
// extension. Letter case does not count. A sidecar is never a photo of another sidecar.
bool isSidecarOf(const QString& sidecarName, const QString& photoName);

// For each path of a list, the index of the photo it is a sidecar of, in the same folder and in
// the same list; -1 for a photo, a file that is no sidecar, and a sidecar whose photo is not in
// the list. A sidecar that names a photo's whole name goes with that one; one that several
// photos share by their name without extension (IMG_1.jpg and IMG_1.cr2 beside IMG_1.xmp) goes
// with the first of them in the list.
std::vector<qsizetype> sidecarPhotos(const QStringList& paths);

// The name a sidecar takes when its photo `oldPhotoName` is given `newPhotoName` (auto-numbering
// IMG_0001.jpg to IMG_0001_1.jpg makes IMG_0001.xmp IMG_0001_1.xmp and IMG_0001.jpg.xmp
// IMG_0001_1.jpg.xmp). The sidecar's ending keeps its letter case. nullopt when the sidecar does
// not belong to that photo.
std::optional<QString> sidecarNameAfterRename(const QString& sidecarName, const QString& oldPhotoName,
                                              const QString& newPhotoName);

} // namespace velquin
