#pragma once

#include "engine/filerule.h"
#include "ui/settingbinding.h"

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <span>

class QWidget;

namespace velquin {

class TForm1;

// One page of the file window's page control together with the criterion it stands for: the
// page's controls, the rule made from their values, the settings keys it owns and the fields
// its checks point at. Each criterion is one such unit; the window and its runs only go over
// the table below.
class FilePage {
public:
    virtual ~FilePage();
    // The tab caption, and the object name of the page.
    virtual QString caption() const = 0;
    virtual const char* sheetName() const = 0;
    // Puts the page's controls on `sheet` (an empty page of the page control).
    virtual void build(QWidget* sheet) = 0;
    // The criterion's rule over the values the controls hold now.
    virtual std::shared_ptr<FileRule> rule() const = 0;
    // The page's own settings keys bound to its controls, in load order.
    virtual SettingBindings bindings() { return {}; }
    // The field a failed check of this criterion points at; nullptr when it is not this page's.
    virtual QWidget* field(FocusTarget target) const {
        (void)target;
        return nullptr;
    }
    // Whether the options group shows the picture types instead of the type filter.
    virtual bool usesPictureTypes() const { return false; }
};

// A page whose controls are members of the file window, under the names the window is known by.
class WindowFilePage : public FilePage {
public:
    explicit WindowFilePage(TForm1& window) : w_(window) {}

protected:
    TForm1& w_;
};

using FilePageMaker = std::unique_ptr<FilePage> (*)(TForm1& window);

// The file window's criteria in page order: the index is the stored page number.
std::span<const FilePageMaker> fileCriteria();
// The page that is active before the settings load, and when the stored page is unknown.
inline constexpr int kPresetFilePage = 1;

// A drop-down's choice as a criterion's value: the item's number as `E`, nothing when no item
// is selected; and back to the item's caption ("" for nothing).
template <class E> std::optional<E> selectedChoice(const QComboBox* box) {
    const int i = box->currentIndex();
    return i >= 0 ? std::optional<E>(E(i)) : std::nullopt;
}
template <class E> QString choiceCaption(const QStringList& captions, std::optional<E> value) {
    return value ? captions.value(int(*value)) : QString();
}

} // namespace velquin
