#include "ui/settingbinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTimeEdit>

namespace velquin {

namespace {

// The binding of a control whose value a getter and a setter of one type move.
template <class T, class Control, class Get, class Set>
SettingBinding simple(const Setting<T>& key, Control* control, Get get, Set set) {
    return {[&key, control, set](const SettingValues& values) {
                if (const std::optional<T> value = values.get(key))
                    set(control, *value);
            },
            [&key, control, get](SettingValues& values) { values.set(key, get(control)); }};
}

} // namespace

SettingBinding binding(const Setting<QString>& key, QLineEdit* field) {
    return simple(key, field, std::mem_fn(&QLineEdit::text), std::mem_fn(&QLineEdit::setText));
}

SettingBinding binding(const Setting<bool>& key, QCheckBox* box) {
    return simple(key, box, std::mem_fn(&QCheckBox::isChecked), std::mem_fn(&QCheckBox::setChecked));
}

SettingBinding binding(const Setting<int>& key, QComboBox* box) {
    return simple(key, box, std::mem_fn(&QComboBox::currentIndex), std::mem_fn(&QComboBox::setCurrentIndex));
}

SettingBinding binding(const Setting<int>& key, QTabWidget* pages) {
    return simple(key, pages, std::mem_fn(&QTabWidget::currentIndex), [](QTabWidget* p, int page) {
        if (page >= 0 && page < p->count())
            p->setCurrentIndex(page);
    });
}

SettingBinding binding(const Setting<QDate>& key, QDateEdit* picker) {
    return simple(key, picker, std::mem_fn(&QDateEdit::date), std::mem_fn(&QDateEdit::setDate));
}

SettingBinding binding(const Setting<QTime>& key, QTimeEdit* picker) {
    return simple(key, picker, std::mem_fn(&QTimeEdit::time), std::mem_fn(&QTimeEdit::setTime));
}

SettingBinding binding(const Setting<QStringList>& key, QListWidget* list) {
    return simple(
        key, list,
        [](const QListWidget* l) {
            QStringList entries;
            for (int i = 0; i < l->count(); ++i)
                entries.append(l->item(i)->text());
            return entries;
        },
        std::mem_fn(qOverload<const QStringList&>(&QListWidget::addItems)));
}

SettingBinding loadStep(std::function<void()> step) {
    return {[step = std::move(step)](const SettingValues&) { step(); }, {}};
}

void applySettings(const SettingBindings& bindings, const SettingValues& values) {
    for (const SettingBinding& b : bindings)
        b.load(values);
}

SettingValues settingsToSave(const SettingBindings& bindings) {
    SettingValues values;
    for (const SettingBinding& b : bindings) {
        if (b.save)
            b.save(values);
    }
    return values;
}

} // namespace velquin
