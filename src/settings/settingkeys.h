#pragma once

#include "engine/types.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

#include <any>
#include <optional>
#include <span>

namespace velquin {

// Every key of the settings file is declared once, at the end of this header: its name, the type
// of its value and the rule that reads and writes it; each section lists its keys in save order,
// which is also the order of the keys in a file made by a first save. A window binds the keys of
// its section to its controls (ui/settingbinding.h).

// What the file holds for a key; nullopt when the key, its section or the whole file is absent.
using StoredText = std::optional<QString>;

// A key whose value is a T. `read` turns the stored text into the value, nullopt meaning "leave
// the control as it is"; `write` gives the text to store.
template <class T> struct Setting {
    const char* name;
    std::optional<T> (*read)(const StoredText& stored, const QLocale& locale);
    QString (*write)(const T& value, const QLocale& locale);
};

// A key that is never read and is written with an empty value whatever the window holds.
struct KeptEmptySetting {
    const char* name;
};

// ---- reading and writing rules ----

// The text as stored; absent: the empty text.
std::optional<QString> readText(const StoredText& stored, const QLocale&);
QString writeText(const QString& text, const QLocale&);
// Blanks removed from both ends first.
QString writeTrimmed(const QString& text, const QLocale&);
// The stored text (absent: defaultOutputFolder()) when it names an existing folder; else the
// empty text.
std::optional<QString> readExistingFolder(const StoredText& stored, const QLocale&);
// An integer as stored, without a range check; absent or no integer: 0.
std::optional<int> readInteger(const StoredText& stored, const QLocale&);
QString writeInteger(const int& value, const QLocale&);
// A code in [0, 5) is the policy; anything else, absent included, is skip.
std::optional<ClashPolicy> readClashCode(const StoredText& stored, const QLocale&);
QString writeClashCode(const ClashPolicy& policy, const QLocale&);
// The type filter's patterns (splitPatternList, joinPatternList); absent: no pattern.
std::optional<QStringList> readPatternList(const StoredText& stored, const QLocale&);
QString writePatternList(const QStringList& patterns, const QLocale&);
// In the locale's formats (valuecodec.h); absent or unparsable: nullopt, the control keeps its value.
std::optional<QDate> readDate(const StoredText& stored, const QLocale& locale);
QString writeDate(const QDate& date, const QLocale& locale);
std::optional<QTime> readTime(const StoredText& stored, const QLocale& locale);
QString writeTime(const QTime& time, const QLocale& locale);

// A page index in [0, Pages); absent or no integer: 0; any other integer: nullopt, so the
// window's preset page stays.
template <int Pages> std::optional<int> readPageIndex(const StoredText& stored, const QLocale& locale) {
    const int page = *readInteger(stored, locale);
    return page >= 0 && page < Pages ? std::optional<int>(page) : std::nullopt;
}

// One of two values stored as a flag: non-zero is `Set`; zero, absent or no integer is `Clear`.
template <auto Clear, auto Set>
std::optional<decltype(Clear)> readFlag(const StoredText& stored, const QLocale& locale) {
    return *readInteger(stored, locale) != 0 ? Set : Clear;
}
template <auto Clear, auto Set> QString writeFlag(const decltype(Clear)& value, const QLocale& locale) {
    return writeInteger(value == Set ? 1 : 0, locale);
}

// An item of a drop-down of `Count` items; absent, no integer or out of range: `Absent`.
template <int Count, int Absent>
std::optional<int> readChoice(const StoredText& stored, const QLocale& locale) {
    const int item = stored ? *readInteger(stored, locale) : Absent;
    return item >= 0 && item < Count ? item : Absent;
}
// A switch: non-zero is on, zero off; absent or no integer: `Absent`.
template <bool Absent> std::optional<bool> readSwitch(const StoredText& stored, const QLocale& locale) {
    bool ok = false;
    const int value = stored ? stored->trimmed().toInt(&ok, 0) : 0;
    (void)locale;
    return ok ? value != 0 : Absent;
}
QString writeSwitch(const bool& on, const QLocale& locale);

// ---- sections ----

// A key as its section lists it, whatever the type of its value.
class SettingKey {
public:
    // Implicit, so that a section lists its keys as they are declared.
    template <class T>
    constexpr SettingKey(const Setting<T>& key) // NOLINT(google-explicit-constructor)
        : name(key.name), key_(&key), read_(&readAny<T>), write_(&writeAny<T>) {}
    constexpr SettingKey(const KeptEmptySetting& key) // NOLINT(google-explicit-constructor)
        : name(key.name), key_(&key), read_(nullptr), write_(&writeEmpty) {}

    const char* name;

    // The declaration this stands for, by which SettingValues holds its value.
    const void* id() const { return key_; }
    bool isRead() const { return read_ != nullptr; }
    // The value read from `stored`, a T; empty when the control keeps its value.
    std::any read(const StoredText& stored, const QLocale& locale) const {
        return read_ ? read_(key_, stored, locale) : std::any();
    }
    // The text to store for `value` (a T, or empty); nullopt: the key is not written.
    std::optional<QString> write(const std::any& value, const QLocale& locale) const {
        return write_(key_, value, locale);
    }

private:
    template <class T>
    static std::any readAny(const void* key, const StoredText& stored, const QLocale& locale) {
        std::optional<T> value = static_cast<const Setting<T>*>(key)->read(stored, locale);
        return value ? std::any(std::move(*value)) : std::any();
    }
    template <class T>
    static std::optional<QString> writeAny(const void* key, const std::any& value, const QLocale& locale) {
        if (!value.has_value())
            return std::nullopt;
        return static_cast<const Setting<T>*>(key)->write(std::any_cast<const T&>(value), locale);
    }
    static std::optional<QString> writeEmpty(const void*, const std::any&, const QLocale&) {
        return QString();
    }

    const void* key_;
    std::any (*read_)(const void* key, const StoredText& stored, const QLocale& locale);
    std::optional<QString> (*write_)(const void* key, const std::any& value, const QLocale& locale);
};

struct SettingsSection {
    const char* name;
    std::span<const SettingKey> keys; // in save order
};

// ---- the keys ----

namespace keys {

// Both sections.
inline constexpr Setting<QString> Filter{"Filter", readText, writeText}; // saved untrimmed
inline constexpr Setting<ClashPolicy> SameFile{"SameFile", readClashCode, writeClashCode};
inline constexpr Setting<QString> OutDir{"OutDir", readExistingFolder, writeText};
inline constexpr Setting<QString> EdtKeys{"EdtKeys", readText, writeTrimmed};
inline constexpr Setting<QDate> DTDate{"DTDate", readDate, writeDate};
inline constexpr Setting<QTime> DTTime{"DTTime", readTime, writeTime};
// Drop-down item indexes are stored as they are (-1: no item selected).
inline constexpr Setting<int> CmbFileDate{"CmbFileDate", readInteger, writeInteger};

// Section "Parameter", the file sorting window.
inline constexpr Setting<int> FilePage{"Page", readPageIndex<7>, writeInteger};
inline constexpr Setting<ImageSide> PicSize{"PicSize", readFlag<ImageSide::Width, ImageSide::Height>,
                                            writeFlag<ImageSide::Width, ImageSide::Height>};
inline constexpr Setting<int> CmbPic{"CmbPic", readInteger, writeInteger};
inline constexpr Setting<QString> PicSizeValue{"PicSizeValue", readText, writeText};
inline constexpr Setting<int> CmbCondition{"CmbCondition", readInteger, writeInteger};
inline constexpr Setting<int> CmbUnit{"CmbUnit", readInteger, writeInteger};
inline constexpr Setting<QString> FileSize{"FileSize", readText, writeText};
inline constexpr Setting<QStringList> SuffixFilter{"SuffixFilter", readPatternList, writePatternList};
inline constexpr Setting<DateSource> FileAttr{"FileAttr",
                                              readFlag<DateSource::FromEntry, DateSource::FromHandle>,
                                              writeFlag<DateSource::FromEntry, DateSource::FromHandle>};

// The date-taken page: folder pattern, what to do without a date taken, sidecars, identical files.
inline constexpr Setting<int> TakenPattern{"TakenPattern", readChoice<5, 1>, writeInteger};
inline constexpr Setting<int> TakenFallback{"TakenFallback", readChoice<4, 0>, writeInteger};
inline constexpr Setting<bool> TakenSidecars{"TakenSidecars", readSwitch<true>, writeSwitch};
inline constexpr Setting<bool> TakenSkipSame{"TakenSkipSame", readSwitch<true>, writeSwitch};

// Section "Parameter2", the folder sorting window.
inline constexpr Setting<int> FolderPage{"Page", readPageIndex<4>, writeInteger};
// The folder window has no type filter.
inline constexpr KeptEmptySetting FolderSuffixFilter{"SuffixFilter"};

} // namespace keys

inline constexpr SettingKey kFileWindowKeys[] = {
    keys::Filter,
    keys::SameFile,
    keys::OutDir,
    keys::FilePage,
    keys::PicSize,
    keys::CmbPic,
    keys::PicSizeValue,
    keys::CmbCondition,
    keys::CmbUnit,
    keys::FileSize,
    keys::EdtKeys,
    keys::SuffixFilter,
    keys::DTDate,
    keys::DTTime,
    keys::FileAttr,
    keys::CmbFileDate,
    // The program's own keys, after those every version writes.
    keys::TakenPattern,
    keys::TakenFallback,
    keys::TakenSidecars,
    keys::TakenSkipSame,
};
inline constexpr SettingsSection kFileWindowSection{"Parameter", kFileWindowKeys};

inline constexpr SettingKey kFolderWindowKeys[] = {
    keys::Filter,     keys::SameFile, keys::OutDir,
    keys::FolderPage, keys::EdtKeys,  keys::FolderSuffixFilter,
    keys::DTDate,     keys::DTTime,   keys::CmbFileDate,
};
inline constexpr SettingsSection kFolderWindowSection{"Parameter2", kFolderWindowKeys};

} // namespace velquin
