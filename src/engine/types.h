#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

namespace velquin {

// Index of the active criterion page of the folder window (page 3 is never shown).
enum class FolderSortCriterion : int { ByKeyword = 0, ByName = 1, ByFileCount = 2, ByFolderDate = 3 };

// What happens when the destination already holds a file of that name. The numbers are the
// codes stored under the settings key SameFile.
enum class ClashPolicy : int { Skip = 0, Overwrite = 1, Ask = 2, AutoNumber = 3, ReplaceOlder = 4 };

enum class TransferMode { Copy, Move };

enum class TypeFilterMode { None, Include, Exclude };

// Which extensions take part in a file run on criteria 0 to 4: patterns "*" + extension.
struct TypeFilter {
    TypeFilterMode mode = TypeFilterMode::None;
    QStringList patterns;
};

// How criterion 4 reads a file's time stamp: from the directory entry, or from the opened file.
enum class DateSource { FromEntry, FromHandle };

enum class ImageSide { Width, Height };

// The direction of the size test: a file is sorted when its length is greater, or less, than
// the limit (equal never matches).
enum class SizeTest { Greater = 0, Less = 1 };
// The direction of the date test: a stamp earlier, or later, than the limit (equal never matches).
enum class DateTest { Earlier = 0, Later = 1 };
// The pixel test of the image criterion; None sorts nothing.
enum class ImageTest { None = -1, AtLeast = 0, AtMost = 1, Exactly = 2 };

// The field that takes the input focus after a failed check.
enum class FocusTarget { None, EdtKeys, EdtPartNameBegin, EdtPartNameEnd, EdtSize, EdtPic, EdtFileCount };

} // namespace velquin
