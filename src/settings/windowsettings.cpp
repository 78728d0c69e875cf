#include "settings/windowsettings.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velquin {

const std::any* SettingValues::find(const void* id) const {
    for (const auto& [key, value] : values_) {
        if (key == id)
            return &value;
    }
    return nullptr;
}

void SettingValues::put(const void* id, std::any value) {
    std::erase_if(values_, [id](const auto& entry) { return entry.first == id; });
    if (value.has_value())
        values_.emplace_back(id, std::move(value));
}

namespace {

// A line break would end the value's line and turn the rest into a line of its own; a blank keeps
// the words of a pasted text apart.
QString storableText(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

SettingValues loadSection(const QString& path, const SettingsSection& section, const QLocale& locale) {
    const IniFile ini = IniFile::load(path);
    SettingValues values;
    for (const SettingKey& key : section.keys) {
        if (key.isRead())
            values.put(key.id(),
                       key.read(ini.value(QLatin1String(section.name), QLatin1String(key.name)), locale));
    }
    return values;
}

QString saveSection(const QString& path, const SettingsSection& section, const SettingValues& values,
                    const QLocale& locale) {
    IniFile ini = IniFile::load(path);
    for (const SettingKey& key : section.keys) {
        const std::any* value = values.find(key.id());
        if (const std::optional<QString> text = key.write(value ? *value : std::any(), locale))
            ini.setValue(QLatin1String(section.name), QLatin1String(key.name), storableText(*text));
    }
    // Every key goes to disk in one replace of the file, so a save that fails leaves the file as it
    // was: no key of it is written, the first one included.
    if (ini.save() != 0)
        return QStringLiteral("Unable to write to %1").arg(path);
    return QString();
}

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

} // namespace velquin
