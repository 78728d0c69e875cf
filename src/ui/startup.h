#pragma once

#include <QStringList>

#include <memory>

class QApplication;
class QCoreApplication;
class QTranslator;

namespace velquin {

struct AppContext;
class TForm1;
class TForm6;
class TForm3;
class TfrmAbout;
class TfrmSuffix;

// Names the application "Velquin" (the title of its windows and boxes), gives it the product
// version (kProductVersion), and makes Qt's own buttons and dialogs speak Simplified Chinese, as
// the rest of the program does, whatever the user's locale; draws the controls with AppStyle.
// Returns the translator installed, or nullptr when Qt's catalogue is missing.
QTranslator* prepareApplication(QApplication& app);

// The five windows of the program, created once, in the order file window, folder window,
// folder picker, about box, add-extension dialog, and registered in the context. Each main
// window loads its settings section while it is created. All start hidden.
// The command line: --help and --version print and end the program; the rest are files and
// folders to sort, returned as absolute paths.
QStringList readCommandLine(const QCoreApplication& app);

class ProgramWindows {
public:
    explicit ProgramWindows(AppContext& ctx);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TForm1& form1() const { return *form1_; }
    TForm6& form6() const { return *form6_; }

    // Puts the paths the program was started with into the lists: existing files into the file
    // window's, existing folders into the folder window's (others are passed over). With
    // `switchTo`, the window that got entries is the one shown (the file window when both did).
    void openPaths(const QStringList& paths, bool switchTo);

    // Brings the program's window to the front, as a second start of the program asks: the main
    // window shown (the file window when neither is), restored if minimized, and above it any
    // modal box that is open.
    void bringForward() const;

private:
    AppContext& ctx_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm6> form6_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TfrmAbout> about_;
    std::unique_ptr<TfrmSuffix> suffix_;
};

} // namespace velquin
