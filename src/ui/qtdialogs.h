#pragma once

#include "platform/dialogs.h"

namespace velquin {

// The program's boxes and choosers over QMessageBox and QFileDialog (a closing box with
// details is a resizable dialog of its own, for the long lists it holds). Every box is modal and
// captioned with the application title; an owner that is no widget (or nullptr) makes the box
// application-modal with no parent window. Over a busy pointer every box and chooser shows the
// normal one. The file choosers are the owner window's OpenDialog1 (openFiles), OpenDialog2
// (openFile) and SaveDialog1 (saveFile), made at their first use in the user's desktop folder
// (else home) and kept, so each opens where it was left; their type lists show the filter name
// alone.
class QtDialogs : public Dialogs {
public:
    void information(QObject* owner, const QString& text) override;
    void informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                const QString& details) override;
    bool question(QObject* owner, const QString& text, bool yesIsDefault) override;
    bool questionWithDetails(QObject* owner, const QString& text, const QString& details,
                             bool yesIsDefault) override;
    bool warningQuestion(QObject* owner, const QString& text) override;
    void error(QObject* owner, const QString& text) override;

    std::optional<QString> chooseFolder(QObject* owner, const QString& caption) override;
    QStringList openFiles(QObject* owner, const QString& filterName, const QString& pattern) override;
    std::optional<QString> openFile(QObject* owner, const QString& filterName,
                                    const QString& pattern) override;
    std::optional<QString> saveFile(QObject* owner, const QString& filterName, const QString& pattern,
                                    const QString& defaultName) override;
};

// The caption of every box and of the two main windows.
QString applicationTitle();

} // namespace velquin
