#pragma once

#include "engine/types.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QWidget;

namespace velquin {

// Pieces the file window and the folder window are built from. A builder makes its widgets as
// children of `parent`, gives every control its member name as objectName and sets the captions.

// The space between a group's frame and what it holds, the same in every group of both windows,
// so the contents of stacked groups line up.
inline constexpr int kGroupInset = 10;

// A widget with its member name as objectName.
template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
// A label named `name`; one whose caption is padded with blanks is read without them.
QLabel* namedLabel(QWidget* parent, const char* name, const QString& text);
// A page's heading over one row of its controls, indented under it; a nullptr in `row` is a
// little more room between two of them.
void headingOverRow(QWidget* panel, QLabel* heading, const QList<QWidget*>& row);
// A drop-down named `name` with `items`, the first one selected.
QComboBox* choiceBox(QWidget* parent, const char* name, const QStringList& items);
// A bold page heading, its text taken as given (leading blanks indent it).
QLabel* pageHeading(QWidget* parent, const char* name, const QString& text);
// The lowered panel in the theme's base colour (white in a light theme) that fills a criterion
// page, as the page's only child; a screen reader reads it under the page's tab caption.
QFrame* whitePanel(QWidget* page);
// The date and the time picker of a date page, `DtDate` (2013-05-06, with its calendar) and
// `DtTime` (00:00:00, to the second), named "日期" and "时间" for screen readers, each with the
// range it takes as its description ("可选范围：... 至 ...").
void buildDateTimePickers(QWidget* parent, QDateEdit*& date, QTimeEdit*& time);

// Region 5: output folder and clash policy (75 pixels). All five clash buttons start unchecked;
// the settings load checks one.
struct ResultGroup {
    QGroupBox* root = nullptr; // GroupBox3
    QLabel* Label1 = nullptr;
    QLineEdit* EdtOutDir = nullptr;
    QPushButton* Button3 = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* RbOverwrite = nullptr;
    QRadioButton* RbAsk = nullptr;
    QRadioButton* RbSkip = nullptr;
    QRadioButton* RbRename = nullptr;
    QRadioButton* RbEditFileTime = nullptr;
    QButtonGroup* clashGroup = nullptr; // ids are the ClashPolicy codes
};
ResultGroup buildResultGroup(QWidget* parent);
// The policy of the checked button in the run's order of tests (AutoNumber, ReplaceOlder, Ask,
// then Skip when RbSkip is checked, Overwrite in every other case).
ClashPolicy clashPolicyOf(const ResultGroup& group);

// Tab into a group of radio buttons lands on its checked button (on the first while none is
// checked), as in native toolkits, so Space there never changes the choice by accident; a click
// still focuses any of them.
void tabToCheckedButton(const QList<QAbstractButton*>& group);

// A field's key filter: of the typed characters only the digits, backspace and the characters
// in `extra` reach the field; every other typed character (control characters of Ctrl+letter
// included) is discarded silently. Keys that type nothing (arrows, Delete, Home, End, Tab) keep
// working. The input method is switched off for the field, so no composed text bypasses this.
void installKeyFilter(QLineEdit* field, const QString& extra = QString());
// The same with the window's own rule: `keep` says whether a typed character reaches the field
// (backspace always does).
void installKeyFilter(QLineEdit* field, std::function<bool(QChar)> keep);
// The same for an editable drop-down list. Its keys reach the box before its text field, so the
// filter sits on both.
void installKeyFilter(QComboBox* field, std::function<bool(QChar)> keep);

} // namespace velquin
