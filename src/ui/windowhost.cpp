#include "ui/windowhost.h"

#include "engine/transfer.h"
#include "platform/dialogs.h"
#include "ui/busycursor.h"
#include "ui/statusline.h"
#include "ui/windowparts.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

namespace velquin {

template <class Base>
WindowRunHost<Base>::WindowRunHost(WindowRunControls controls) : c_(std::move(controls)) {
}

template <class Base> WindowRunHost<Base>::~WindowRunHost() {
    if (busy_)
        setLocked(false);
}

template <class Base> QString WindowRunHost<Base>::outputFolderText() {
    return c_.EdtOutDir->text();
}

template <class Base> void WindowRunHost<Base>::setOutputFolderText(const QString& text) {
    c_.EdtOutDir->setText(text);
}

template <class Base> void WindowRunHost<Base>::information(const QString& text) {
    c_.dialogs->information(c_.window, text);
}

template <class Base> void WindowRunHost<Base>::focusField(FocusTarget target) {
    if (c_.focusField)
        c_.focusField(target);
}

template <class Base> void WindowRunHost<Base>::chooseOutputFolder() {
    if (c_.chooseOutputFolder)
        c_.chooseOutputFolder();
}

template <class Base> void WindowRunHost<Base>::setLocked(bool locked) {
    c_.BtnCopy->setEnabled(!locked);
    c_.PageControl1->setEnabled(!locked);
    c_.Button3->setEnabled(!locked);
    c_.EdtOutDir->setReadOnly(locked);
    for (QWidget* w : std::as_const(c_.lockedToo))
        w->setEnabled(!locked);
    // Whatever way the run ended, nothing runs any more.
    if (!locked)
        progressText(QString());
    if (locked && !busy_)
        busy_ = std::make_unique<BusyCursor>();
    else if (!locked)
        busy_.reset();
}

template <class Base> ClashPolicy WindowRunHost<Base>::clashPolicy() {
    return clashPolicyOf(*c_.result);
}

template <class Base> bool WindowRunHost<Base>::askOverwrite(const QString& target) {
    return c_.dialogs->question(nullptr, overwriteQuestionText(target), true);
}

template <class Base> bool WindowRunHost<Base>::askReplaceUnkept(const QString& reason) {
    return c_.dialogs->question(c_.window,
                                QStringLiteral("无法将被替换的文件放入回收站：") + reason +
                                    QStringLiteral("。是否仍然替换？"),
                                false);
}

template <class Base> void WindowRunHost<Base>::setProgress(int position) {
    const bool moved = c_.ProgressBar1->value() != position;
    c_.ProgressBar1->setValue(position);
    if (moved && c_.ProgressBar1->isVisible())
        c_.ProgressBar1->repaint();
}

template <class Base> void WindowRunHost<Base>::partialProgress(int position) {
    if (position >= 0 && c_.ProgressBar1->value() != position)
        c_.ProgressBar1->setValue(position);
}

template <class Base> void WindowRunHost<Base>::progressText(const QString& text) {
    if (c_.progressLine)
        c_.progressLine->setLine(text);
}

template <class Base> bool WindowRunHost<Base>::stopRequested() {
    return c_.stopRequested && c_.stopRequested();
}

template <class Base>
void WindowRunHost<Base>::closingMessage(const QString& text, const QString& line, const QString& details) {
    if (c_.closing && c_.closing())
        return;
    const DisabledWhile stop(c_.BtnStop);
    c_.dialogs->informationWithDetails(c_.window, text, line, details);
}

DisabledWhile::DisabledWhile(QWidget* widget) : widget_(widget), wasEnabled_(widget && widget->isEnabled()) {
    if (widget_)
        widget_->setEnabled(false);
}

DisabledWhile::~DisabledWhile() {
    if (widget_)
        widget_->setEnabled(wasEnabled_);
}

template class WindowRunHost<RunHost>;
template class WindowRunHost<FileRunHost>;

} // namespace velquin
