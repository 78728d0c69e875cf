#include "ui/appstyle.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace velquin {

namespace {

constexpr double kLeastContrast = 3.0;

double luminance(const QColor& colour) {
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

bool standsOut(const QColor& colour, const QPalette& palette) {
    return contrastRatio(colour, palette.color(QPalette::Base)) >= kLeastContrast &&
           contrastRatio(colour, palette.color(QPalette::Window)) >= kLeastContrast;
}

bool focused(const QStyleOption* option) {
    return (option->state & QStyle::State_HasFocus) && (option->state & QStyle::State_Enabled);
}

// A frame drawn just inside `rect`: 1 pixel of the outline colour, or 2 of the focus colour.
void frame(QPainter* painter, const QRectF& rect, const QPalette& palette, bool focus, bool round) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, round);
    const double width = focus ? 2.0 : 1.0;
    QPen pen(focus ? focusColour(palette) : outlineColour(palette), width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const QRectF inside = rect.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    if (round)
        painter->drawEllipse(inside);
    else
        painter->drawRect(inside);
    painter->restore();
}

} // namespace

QColor mixedColour(const QColor& from, const QColor& to, double share) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * share),
                            float(a.greenF() + (b.greenF() - a.greenF()) * share),
                            float(a.blueF() + (b.blueF() - a.blueF()) * share));
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor outlineColour(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    for (int step = 8; step < 20; ++step) {
        const QColor colour = mixedColour(base, text, step / 20.0);
        if (standsOut(colour, palette))
            return colour;
    }
    return text;
}

QColor focusColour(const QPalette& palette) {
    const QColor highlight = palette.color(QPalette::Highlight);
    return standsOut(highlight, palette) ? highlight : outlineColour(palette);
}

AppStyle::AppStyle(const QString& key)
    : QProxyStyle(QStyleFactory::create(key.isEmpty() ? QApplication::style()->name() : key)) {
}

void AppStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    switch (element) {
    case PE_IndicatorCheckBox:
    case PE_IndicatorRadioButton:
        if (option->rect.width() > 4 && option->rect.height() > 4)
            frame(painter, option->rect, option->palette, focused(option),
                  element == PE_IndicatorRadioButton);
        break;
    case PE_FrameLineEdit:
        // A line edit inside a drop-down or a spin box is framed by its owner.
        if (widget && widget->parentWidget() &&
            (widget->parentWidget()->inherits("QAbstractSpinBox") ||
             widget->parentWidget()->inherits("QComboBox")))
            break;
        frame(painter, option->rect, option->palette, focused(option), false);
        break;
    default:
        break;
    }
}

void AppStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_PushButton)
        frame(painter, option->rect, option->palette, focused(option), false);
}

void AppStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                  QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control != CC_ComboBox && control != CC_SpinBox)
        return;
    // An editable drop-down's field has the focus in its owner's stead.
    const bool focus = focused(option) || (widget && widget->hasFocus() && widget->isEnabled());
    frame(painter, option->rect, option->palette, focus, false);
}

void installAppStyle() {
    QApplication::setStyle(new AppStyle);
}

} // namespace velquin
