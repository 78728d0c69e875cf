#include "settings/windowsettings.h"

#include "platform/fileops.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "settings/settingkeys.h"
#include "settings/valuecodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <type_traits>

namespace velquin {

namespace {

bool isExistingFolder(const QString& path) {
    return !path.isEmpty() && FileOps().isDir(path);
}

// ---- reading ----

std::optional<int> readInteger(const SettingKey& key, const std::optional<QString>& stored) {
    const std::optional<int> value = stored ? settingsIntegerFromText(*stored) : std::nullopt;
    switch (key.read) {
    case ReadRule::ClashCode:
        return value && *value >= 0 && *value < key.limit ? *value : 0;
    case ReadRule::PageIndex:
        if (!value)
            return 0;
        return *value >= 0 && *value < key.limit ? value : std::nullopt;
    case ReadRule::Flag:
        return value.value_or(0) != 0 ? 1 : 0;
    default:
        return value.value_or(0);
    }
}

QString readText(const SettingKey& key, const std::optional<QString>& stored) {
    if (key.read == ReadRule::ExistingFolder) {
        const QString folder = stored.value_or(defaultOutputFolder());
        return isExistingFolder(folder) ? folder : QString();
    }
    return stored.value_or(QString());
}

void readFileWindowKey(FileWindowSettings& s, const SettingKey& key, const std::optional<QString>& stored) {
    switch (key.id) {
    case SettingId::PicSize:
        s.picSize = *readInteger(key, stored) != 0 ? ImageSide::Height : ImageSide::Width;
        break;
    case SettingId::CmbPic:
        s.cmbPic = readInteger(key, stored);
        break;
    case SettingId::PicSizeValue:
        s.picSizeValue = readText(key, stored);
        break;
    case SettingId::CmbCondition:
        s.cmbCondition = readInteger(key, stored);
        break;
    case SettingId::CmbUnit:
        s.cmbUnit = readInteger(key, stored);
        break;
    case SettingId::FileSize:
        s.fileSize = readText(key, stored);
        break;
    case SettingId::SuffixFilter:
        s.suffixFilter = splitPatternList(stored.value_or(QString()));
        break;
    case SettingId::FileAttr:
        s.fileAttr = *readInteger(key, stored) != 0 ? DateSource::FromHandle : DateSource::FromEntry;
        break;
    default:
        break;
    }
}

template <class Settings>
void readKey(Settings& s, const SettingKey& key, const std::optional<QString>& stored,
             const QLocale& locale) {
    switch (key.id) {
    case SettingId::Filter:
        s.filter = readText(key, stored);
        break;
    case SettingId::SameFile:
        s.sameFile = ClashPolicy(*readInteger(key, stored));
        break;
    case SettingId::OutDir:
        s.outDir = readText(key, stored);
        break;
    case SettingId::Page:
        s.page = readInteger(key, stored);
        break;
    case SettingId::EdtKeys:
        s.edtKeys = readText(key, stored);
        break;
    case SettingId::DTDate:
        s.dtDate = stored ? settingsDateFromText(*stored, locale) : std::nullopt;
        break;
    case SettingId::DTTime:
        s.dtTime = stored ? settingsTimeFromText(*stored, locale) : std::nullopt;
        break;
    case SettingId::CmbFileDate:
        s.cmbFileDate = readInteger(key, stored);
        break;
    default:
        if constexpr (std::is_same_v<Settings, FileWindowSettings>)
            readFileWindowKey(s, key, stored);
        break;
    }
}

template <class Settings>
Settings loadSection(const QString& path, const SettingsSection& section, const QLocale& locale) {
    const IniFile ini = IniFile::load(path);
    Settings s;
    for (const SettingKey& key : section.keys) {
        if (key.read != ReadRule::NotRead)
            readKey(s, key, ini.value(QLatin1String(section.name), QLatin1String(key.name)), locale);
    }
    return s;
}

// ---- writing ----

// The optional's value converted, or nullopt.
template <class T, class Convert>
auto mapped(const std::optional<T>& value, Convert convert) -> std::optional<decltype(convert(*value))> {
    if (!value)
        return std::nullopt;
    return convert(*value);
}

template <class T> std::optional<QString> integerText(const std::optional<T>& value) {
    return mapped(value, [](T v) { return QString::number(static_cast<int>(v)); });
}

std::optional<QString> fileWindowKeyText(const FileWindowSettings& s, const SettingKey& key) {
    switch (key.id) {
    case SettingId::PicSize:
        return integerText(
            mapped(s.picSize, [](ImageSide side) { return side == ImageSide::Height ? 1 : 0; }));
    case SettingId::CmbPic:
        return integerText(s.cmbPic);
    case SettingId::PicSizeValue:
        return s.picSizeValue;
    case SettingId::CmbCondition:
        return integerText(s.cmbCondition);
    case SettingId::CmbUnit:
        return integerText(s.cmbUnit);
    case SettingId::FileSize:
        return s.fileSize;
    case SettingId::SuffixFilter:
        return mapped(s.suffixFilter, [](const QStringList& list) { return joinPatternList(list); });
    case SettingId::FileAttr:
        return integerText(
            mapped(s.fileAttr, [](DateSource source) { return source == DateSource::FromHandle ? 1 : 0; }));
    default:
        return std::nullopt;
    }
}

template <class Settings>
std::optional<QString> keyText(const Settings& s, const SettingKey& key, const QLocale& locale) {
    switch (key.id) {
    case SettingId::Filter:
        return s.filter;
    case SettingId::SameFile:
        return integerText(s.sameFile);
    case SettingId::OutDir:
        return s.outDir;
    case SettingId::Page:
        return integerText(s.page);
    case SettingId::EdtKeys:
        return s.edtKeys;
    case SettingId::DTDate:
        return mapped(s.dtDate, [&](const QDate& d) { return settingsDateText(d, locale); });
    case SettingId::DTTime:
        return mapped(s.dtTime, [&](const QTime& t) { return settingsTimeText(t, locale); });
    case SettingId::CmbFileDate:
        return integerText(s.cmbFileDate);
    default:
        if constexpr (std::is_same_v<Settings, FileWindowSettings>)
            return fileWindowKeyText(s, key);
        return std::nullopt;
    }
}

// A line break would end the value's line and turn the rest into a line of its own; a blank keeps
// the words of a pasted text apart.
QString storableText(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

template <class Settings>
QString saveSection(const QString& path, const SettingsSection& section, const Settings& values,
                    const QLocale& locale) {
    IniFile ini = IniFile::load(path);
    for (const SettingKey& key : section.keys) {
        std::optional<QString> text = key.write == WriteRule::AlwaysEmpty ? std::optional<QString>(QString())
                                                                          : keyText(values, key, locale);
        if (!text)
            continue;
        if (key.write == WriteRule::Trimmed)
            text = trimBlanks(*text);
        ini.setValue(QLatin1String(section.name), QLatin1String(key.name), storableText(*text));
    }
    // Every key goes to disk in one replace of the file, so a save that fails leaves the file as it
    // was: no key of it is written, the first one included.
    if (ini.save() != 0)
        return QStringLiteral("Unable to write to %1").arg(path);
    return QString();
}

} // namespace

QString settingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Velquin.ini");
}

namespace {
// True when `folder` is one the system looks for programs in (an installed program's folder,
// such as /usr/bin): writable for root, but no place to sort a user's files into.
bool onProgramSearchPath(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const QString& entry : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QFileInfo(entry).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}
} // namespace

QString defaultOutputFolder() {
    QString folder = QCoreApplication::applicationDirPath();
    // The program's folder comes from Qt, decoded Qt's way, so Qt checks it too.
    if (folder.isEmpty() || !QFileInfo(folder).isWritable() || onProgramSearchPath(folder))
        folder = QDir::homePath();
    return withTrailingSeparator(folder);
}

FileWindowSettings loadFileWindowSettings(const QString& path, const QLocale& locale) {
    return loadSection<FileWindowSettings>(path, kFileWindowSection, locale);
}

FolderWindowSettings loadFolderWindowSettings(const QString& path, const QLocale& locale) {
    return loadSection<FolderWindowSettings>(path, kFolderWindowSection, locale);
}

QString saveFileWindowSettings(const QString& path, const FileWindowSettings& values, const QLocale& locale) {
    return saveSection(path, kFileWindowSection, values, locale);
}

QString saveFolderWindowSettings(const QString& path, const FolderWindowSettings& values,
                                 const QLocale& locale) {
    return saveSection(path, kFolderWindowSection, values, locale);
}

} // namespace velquin
