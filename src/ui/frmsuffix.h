#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velquin {

struct AppContext;

// The add-extension dialog: the user types one pattern such as "*.txt", which is appended to
// the file window's pattern list. Created once at start-up and only hidden when closed, so the
// field keeps its last text between openings.
class TfrmSuffix : public QDialog {
public:
    // Registers itself as ctx.suffix. It has no parent widget, so whoever creates it owns it;
    // each showing centres it on the file window.
    explicit TfrmSuffix(AppContext& ctx);

    // Checks the typed pattern; a valid one not yet listed (in any letter case) is appended to
    // ListBox2 of the file window and the dialog closes, an invalid one is refused with a
    // message and the dialog stays open.
    void Button1Click();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppContext& ctx_;
};

} // namespace velquin
