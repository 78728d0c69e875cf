#pragma once

#include "settings/windowsettings.h"

#include <QAbstractButton>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTimeEdit;

namespace velquin {

// A settings key bound to the control that shows it, or a step a load takes between two keys.
// A window lists its bindings in the order a load applies them (the order matters: a page's
// panels follow the page, a list is filled after its panel); a save writes in the section's order.
struct SettingBinding {
    std::function<void(const SettingValues&)> load;
    std::function<void(SettingValues&)> save; // empty for a step
};
using SettingBindings = std::vector<SettingBinding>;

// Whether the box is checked.
SettingBinding binding(const Setting<bool>& key, QCheckBox* box);
// The field's text.
SettingBinding binding(const Setting<QString>& key, QLineEdit* field);
// The item index as it is: an index outside the list selects no item, which saves as -1.
SettingBinding binding(const Setting<int>& key, QComboBox* box);
// The active page; an index outside the pages leaves the page as it is.
SettingBinding binding(const Setting<int>& key, QTabWidget* pages);
SettingBinding binding(const Setting<QDate>& key, QDateEdit* picker);
SettingBinding binding(const Setting<QTime>& key, QTimeEdit* picker);
// The list's entries; a load appends them after the entries the list holds.
SettingBinding binding(const Setting<QStringList>& key, QListWidget* list);
// A choice made with radio buttons, one per value. A load checks the value's button; a save gives
// the value of the first checked button in the order given, else `noneChecked` (nullopt: the key
// is not written).
template <class E>
SettingBinding binding(const Setting<E>& key,
                       std::vector<std::pair<std::type_identity_t<E>, QAbstractButton*>> buttons,
                       std::optional<std::type_identity_t<E>> noneChecked = std::nullopt) {
    return {[&key, buttons](const SettingValues& values) {
                const std::optional<E> value = values.get(key);
                for (const auto& [choice, button] : buttons) {
                    if (value == choice)
                        button->setChecked(true);
                }
            },
            [&key, buttons, noneChecked](SettingValues& values) {
                const auto checked = std::find_if(buttons.begin(), buttons.end(),
                                                  [](const auto& b) { return b.second->isChecked(); });
                values.set(key, checked != buttons.end() ? std::optional<E>(checked->first) : noneChecked);
            }};
}
// A step of the load alone.
SettingBinding loadStep(std::function<void()> step);

// Puts loaded values into the controls, binding by binding.
void applySettings(const SettingBindings& bindings, const SettingValues& values);
// The controls' values to save.
SettingValues settingsToSave(const SettingBindings& bindings);

} // namespace velquin
