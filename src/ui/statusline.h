#pragma once

#include <QLabel>

namespace velquin {

// One line of text that never widens its window. A text too long for the width it gets loses
// the middle of the name in its first piece ("verb name", up to the first ideographic space),
// then that whole piece, and only then its own end. The whole text stays its accessible
// description.
class StatusLine : public QLabel {
public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setLine(const QString& text);
    const QString& line() const { return line_; }

    // As tall as one line of the font, and narrow: the layout, not the text, sets the width.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();

    QString line_;
};

} // namespace velquin
