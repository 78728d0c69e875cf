#pragma once

#include <span>

namespace velquin {

// Every key of the settings file, defined once: section, name, type, how a stored value is read
// (default and range) and how a value is written. The sections list their keys in save order,
// which is also the order of the keys in a file made by a first save.

enum class SettingId {
    Filter,
    SameFile,
    OutDir,
    Page,
    PicSize,
    CmbPic,
    PicSizeValue,
    CmbCondition,
    CmbUnit,
    FileSize,
    EdtKeys,
    SuffixFilter,
    DTDate,
    DTTime,
    FileAttr,
    CmbFileDate,
};

enum class SettingType { Integer, String, Date, Time };

enum class ReadRule {
    AsStored,       // integer or text as stored (no range check); absent: 0 or the empty text
    ClashCode,      // an integer in [0, limit) is the policy; anything else, absent included: skip (0)
    PageIndex,      // an integer in [0, limit) is the page; absent: 0; anything else: keep the preset page
    Flag,           // non-zero or zero; absent: zero
    ExistingFolder, // absent: the default output folder; a text naming no existing folder: empty
    PatternList,    // the type filter's patterns (splitPatternList); absent: no pattern
    KeepControl,    // absent or unparsable: the control keeps its current value
    NotRead,
};

enum class WriteRule {
    AsIs,
    Trimmed,     // blanks removed from both ends first
    AlwaysEmpty, // written with an empty value whatever the window holds
};

struct SettingKey {
    SettingId id;
    const char* name;
    SettingType type;
    ReadRule read;
    WriteRule write;
    int limit; // ClashCode and PageIndex: the first value out of range
};

struct SettingsSection {
    const char* name;
    std::span<const SettingKey> keys; // in save order
};

// Section "Parameter", the file sorting window.
extern const SettingsSection kFileWindowSection;
// Section "Parameter2", the folder sorting window.
extern const SettingsSection kFolderWindowSection;

} // namespace velquin
