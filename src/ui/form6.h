#pragma once

#include <QWidget>

class QRadioButton;

namespace velquin {

struct AppContext;

// The folder sorting window: the folder list, the three folder criteria, the output folder with
// the clash policy, progress and the start button of the folder run. Created hidden once at
// start-up, shown and hidden only by the window switch.
class TForm6 : public QWidget {
    Q_OBJECT
public:
    explicit TForm6(AppContext& ctx, QWidget* parent = nullptr);
    ~TForm6() override;

    // The way in from the file window (its RbForm6Click): shows this window and checks RbForm6.
    void showFromSwitch();

    // Window switch strip.
    QWidget* Panel9 = nullptr;
    QRadioButton* RbForm1 = nullptr;
    QRadioButton* RbForm6 = nullptr;

private:
    AppContext& ctx_;
};

} // namespace velquin
