#pragma once

#include "settings/settingkeys.h"

#include <QLocale>
#include <QString>

#include <any>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace velquin {

// The values of one section, each under its key (settingkeys.h). What a load gives holds every
// key that was read to a value; a key missing from it leaves its control as it is. What a save is
// given holds the keys to write; a key missing from it is not written.
class SettingValues {
public:
    template <class T> std::optional<T> get(const Setting<T>& key) const {
        const std::any* value = find(&key);
        return value ? std::optional<T>(std::any_cast<const T&>(*value)) : std::nullopt;
    }
    template <class T> void set(const Setting<T>& key, std::optional<std::type_identity_t<T>> value) {
        put(&key, value ? std::any(std::move(*value)) : std::any());
    }

    // By SettingKey::id(); an empty value takes the key out.
    const std::any* find(const void* id) const;
    void put(const void* id, std::any value);

private:
    std::vector<std::pair<const void*, std::any>> values_;
};

// "Velquin.ini" in the user's configuration folder.
QString settingsFilePath();

// The output folder of a first start: the program's folder when it is writable, else the user's
// home folder, with a trailing separator.
QString defaultOutputFolder();

// Reads a section. A missing or unreadable file, section or key gives each key's default; dates
// and times are read in the locale's formats.
SettingValues loadSection(const QString& path, const SettingsSection& section,
                          const QLocale& locale = QLocale::system());

// Writes the given keys of a section in save order, leaving every other line of the file as it
// was. Returns "" on success, else "Unable to write to <path>", and then the file is unchanged.
QString saveSection(const QString& path, const SettingsSection& section, const SettingValues& values,
                    const QLocale& locale = QLocale::system());

} // namespace velquin
