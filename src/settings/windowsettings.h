#pragma once

#include "engine/types.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace velquin {

// The options of the two main windows that survive between starts, as the windows' controls
// take them. In what a load returns, a field left empty means "leave the control as it is";
// in what a save is given, it means "do not write that key".

// Section "Parameter". A window applies a load in this order: filter, outDir, sameFile, page
// (then the option label and panels are updated for the active page), suffixFilter (appended
// after the list's current entries), picSize, fileAttr, cmbPic, picSizeValue, cmbCondition,
// cmbUnit, fileSize, dtDate, dtTime, cmbFileDate, edtKeys.
struct FileWindowSettings {
    std::optional<QString> filter;       // EdtFilter
    std::optional<ClashPolicy> sameFile; // the clash radio buttons; always set by a load
    std::optional<QString> outDir;       // EdtOutDir; empty text when the stored folder does not exist
    std::optional<int> page;             // PageControl1; empty: keep the preset page
    std::optional<ImageSide> picSize;    // RbPicW / RbPicH
    std::optional<int> cmbPic;           // drop-down item indexes, as stored (-1: no item selected)
    std::optional<QString> picSizeValue; // EdtPic
    std::optional<int> cmbCondition;
    std::optional<int> cmbUnit;
    std::optional<QString> fileSize;         // EdtSize
    std::optional<QString> edtKeys;          // EdtKeys; saved trimmed
    std::optional<QStringList> suffixFilter; // ListBox2 entries
    std::optional<QDate> dtDate;             // DtDate; empty: keep the picker's date
    std::optional<QTime> dtTime;             // DtTime; empty: keep the picker's time
    std::optional<DateSource> fileAttr;      // RbCreateTime (FromEntry) / RbModifyTime (FromHandle)
    std::optional<int> cmbFileDate;
};

// Section "Parameter2". Applied in this order: filter, outDir, sameFile, page, dtDate, dtTime,
// cmbFileDate, edtKeys.
struct FolderWindowSettings {
    std::optional<QString> filter;
    std::optional<ClashPolicy> sameFile;
    std::optional<QString> outDir;
    std::optional<int> page; // 0 to 3; empty: keep the preset page
    std::optional<QString> edtKeys;
    std::optional<QDate> dtDate;
    std::optional<QTime> dtTime;
    std::optional<int> cmbFileDate;
};

// "Velquin.ini" in the user's configuration folder.
QString settingsFilePath();

// The output folder of a first start: the program's folder when it is writable, else the user's
// home folder, with a trailing separator.
QString defaultOutputFolder();

// Reads a section. A missing or unreadable file, section or key gives each key's default; dates
// and times are read in the locale's formats.
FileWindowSettings loadFileWindowSettings(const QString& path, const QLocale& locale = QLocale::system());
FolderWindowSettings loadFolderWindowSettings(const QString& path, const QLocale& locale = QLocale::system());

// Writes the given keys of a section in save order, leaving every other line of the file as it
// was. Returns "" on success, else "Unable to write to <path>", and then the file is unchanged.
QString saveFileWindowSettings(const QString& path, const FileWindowSettings& values,
                               const QLocale& locale = QLocale::system());
QString saveFolderWindowSettings(const QString& path, const FolderWindowSettings& values,
                                 const QLocale& locale = QLocale::system());

} // namespace velquin
