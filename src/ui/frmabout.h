#pragma once

#include "ui/version.h"

#include <QDialog>
#include <QPointer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTextBrowser;

namespace velquin {

// The about box: the maker's about page in a text browser, with the program's name and versions
// shown while the page loads and whenever it cannot be had. Created once, hidden; opened modally.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` names the window the box is centred over, whichever window opened it (the
    // file window, looked up when the box is shown); the screen when it gives nullptr.
    explicit TfrmAbout(std::function<QWidget*()> mainWindow = {}, QWidget* parent = nullptr);
    ~TfrmAbout() override;

    // The address asked for on each showing.
    QUrl aboutPageUrl() const;
    // For tests only: fetch the about page from another server (scheme, host and port of `server`).
    void setServerForTests(const QUrl& server);
    // The local text: the program's name with its product and file versions (HTML).
    static QString localText();

    QTextBrowser* WebBrowser1 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void centreOverMainWindow();
    void pageArrived(QNetworkReply* reply);

    std::function<QWidget*()> mainWindow_;
    QUrl server_;
    QNetworkAccessManager* net_ = nullptr;
    QPointer<QNetworkReply> reply_; // the fetch of the current showing; older ones are aborted
};

} // namespace velquin
