#pragma once

#include <QProxyStyle>

class QPalette;

namespace velquin {

// The program's style: the platform's own, with the outlines of check boxes, radio buttons,
// fields, drop-downs and buttons drawn in a colour that stands out at least 3:1 from both the
// window and the base colour of the palette (a dark theme draws them a shade off the panel they
// sit on), and the control with the focus framed 2 pixels wide in the highlight colour (or that
// outline colour where the highlight would not stand out).
class AppStyle : public QProxyStyle {
public:
    // Wraps the style named `key` (the application's current one when empty).
    explicit AppStyle(const QString& key = QString());

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

// `from` moved towards `to` by `share` (0: `from`, 1: `to`).
QColor mixedColour(const QColor& from, const QColor& to, double share);
// The WCAG contrast ratio of two colours (1 to 21), from their relative luminance.
double contrastRatio(const QColor& a, const QColor& b);
// The outline colour: the text colour mixed into the base colour just enough to stand out at least
// 3:1 from the base and the window colour (the text colour itself when nothing less does).
QColor outlineColour(const QPalette& palette);
// The colour of the focus frame: the highlight colour where it stands out 3:1 from both, else the
// outline colour.
QColor focusColour(const QPalette& palette);

// Installs AppStyle over the application's style.
void installAppStyle();

} // namespace velquin
