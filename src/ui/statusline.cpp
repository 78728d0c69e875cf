#include "ui/statusline.h"

#include <QEvent>
#include <QFontMetrics>

namespace velquin {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusLine::setLine(const QString& text) {
    if (text == line_)
        return;
    line_ = text;
    setAccessibleDescription(text);
    fit();
}

QSize StatusLine::sizeHint() const {
    return minimumSizeHint();
}

QSize StatusLine::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().averageCharWidth() * 8 + m.left() + m.right(),
            fontMetrics().height() + m.top() + m.bottom()};
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void StatusLine::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void StatusLine::fit() {
    const QFontMetrics fm = fontMetrics();
    const int width = contentsRect().width();
    if (fm.horizontalAdvance(line_) <= width) {
        setText(line_);
        return;
    }
    // The first piece is a verb, a space and the name: the name gives way first, in its middle,
    // then the whole piece, so the counts and the time left stay readable longest.
    const qsizetype gap = line_.indexOf(QChar(0x3000));
    const qsizetype space = line_.indexOf(QLatin1Char(' '));
    if (gap > 0 && space > 0 && space < gap) {
        const QString verb = line_.left(space + 1);
        const QString tail = line_.mid(gap);
        const int room = width - fm.horizontalAdvance(verb) - fm.horizontalAdvance(tail);
        if (room >= fm.averageCharWidth() * 6) {
            setText(verb + fm.elidedText(line_.mid(space + 1, gap - space - 1), Qt::ElideMiddle, room) +
                    tail);
            return;
        }
    }
    const QString rest = gap > 0 ? line_.mid(gap + 1) : line_;
    setText(fm.elidedText(rest, Qt::ElideRight, width));
}

} // namespace velquin
