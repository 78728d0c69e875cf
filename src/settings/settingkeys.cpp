#include "settings/settingkeys.h"

namespace velquin {

namespace {

using enum SettingId;
using enum SettingType;
using enum ReadRule;
using enum WriteRule;

constexpr int kClashCodes = 5;
constexpr int kFilePages = 6;
constexpr int kFolderPages = 4;

constexpr SettingKey kFileWindowKeys[] = {
    {Filter, "Filter", String, AsStored, AsIs, 0},
    {SameFile, "SameFile", Integer, ClashCode, AsIs, kClashCodes},
    {OutDir, "OutDir", String, ExistingFolder, AsIs, 0},
    {Page, "Page", Integer, PageIndex, AsIs, kFilePages},
    {PicSize, "PicSize", Integer, Flag, AsIs, 0},
    {CmbPic, "CmbPic", Integer, AsStored, AsIs, 0},
    {PicSizeValue, "PicSizeValue", String, AsStored, AsIs, 0},
    {CmbCondition, "CmbCondition", Integer, AsStored, AsIs, 0},
    {CmbUnit, "CmbUnit", Integer, AsStored, AsIs, 0},
    {FileSize, "FileSize", String, AsStored, AsIs, 0},
    {EdtKeys, "EdtKeys", String, AsStored, Trimmed, 0},
    {SuffixFilter, "SuffixFilter", String, PatternList, AsIs, 0},
    {DTDate, "DTDate", Date, KeepControl, AsIs, 0},
    {DTTime, "DTTime", Time, KeepControl, AsIs, 0},
    {FileAttr, "FileAttr", Integer, Flag, AsIs, 0},
    {CmbFileDate, "CmbFileDate", Integer, AsStored, AsIs, 0},
};

constexpr SettingKey kFolderWindowKeys[] = {
    {Filter, "Filter", String, AsStored, AsIs, 0},
    {SameFile, "SameFile", Integer, ClashCode, AsIs, kClashCodes},
    {OutDir, "OutDir", String, ExistingFolder, AsIs, 0},
    {Page, "Page", Integer, PageIndex, AsIs, kFolderPages},
    {EdtKeys, "EdtKeys", String, AsStored, Trimmed, 0},
    // The folder window has no type filter; the key is kept empty.
    {SuffixFilter, "SuffixFilter", String, NotRead, AlwaysEmpty, 0},
    {DTDate, "DTDate", Date, KeepControl, AsIs, 0},
    {DTTime, "DTTime", Time, KeepControl, AsIs, 0},
    {CmbFileDate, "CmbFileDate", Integer, AsStored, AsIs, 0},
};

} // namespace

const SettingsSection kFileWindowSection{"Parameter", kFileWindowKeys};
const SettingsSection kFolderWindowSection{"Parameter2", kFolderWindowKeys};

} // namespace velquin
