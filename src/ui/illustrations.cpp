#include "ui/illustrations.h"

#include <QPainter>
#include <QPainterPath>

namespace velquin {

namespace {

const QColor kInk(0x44, 0x44, 0x44);
const QColor kFolder(0xF3, 0xC6, 0x4E);
const QColor kFolderEdge(0xC8, 0x96, 0x1E);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kArrow(0x2F, 0x6F, 0xC0);
const QColor kArrowOnDark(0x74, 0xA8, 0xF0);
const QColor kStar(Qt::red);
const QColor kStarOnDark(0xFF, 0x6B, 0x6B);

// Whether `w` is drawn on a dark background (a dark theme's base colour).
bool onDark(const QWidget* w) {
    return w->palette().color(w->backgroundRole()).lightnessF() < 0.5;
}

void drawFile(QPainter& p, const QRectF& r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void drawFolder(QPainter& p, const QRectF& r) {
    const qreal tab = r.height() * 0.25;
    QPainterPath shape;
    shape.moveTo(r.left(), r.top() + tab);
    shape.lineTo(r.left(), r.top());
    shape.lineTo(r.left() + r.width() * 0.4, r.top());
    shape.lineTo(r.left() + r.width() * 0.5, r.top() + tab);
    shape.lineTo(r.right(), r.top() + tab);
    shape.lineTo(r.bottomRight());
    shape.lineTo(r.bottomLeft());
    shape.closeSubpath();
    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolder);
    p.drawPath(shape);
}

void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 1.4));
    p.drawLine(from, to);
    const QLineF line(to, from);
    QLineF head1 = line;
    head1.setLength(6);
    head1.setAngle(line.angle() + 25);
    QLineF head2 = line;
    head2.setLength(6);
    head2.setAngle(line.angle() - 25);
    p.drawLine(head1);
    p.drawLine(head2);
}

} // namespace

Illustration::Illustration(QWidget* parent, Item sourceKind, QList<Group> groups)
    : QWidget(parent), sourceKind_(sourceKind), groups_(std::move(groups)) {
    setFixedSize(sizeHint());
}

// The drawing's icons are a line of text high and the arrows 40 pixels long.
constexpr qreal kArrowLength = 40;

QSize Illustration::sizeHint() const {
    // 220 by 80 as designed, or larger where the font needs it for the names.
    const QFontMetrics fm = fontMetrics();
    int rows = 0;
    int target = 0;
    for (const Group& g : groups_) {
        rows += int(g.sources.size());
        target = qMax(target, fm.horizontalAdvance(g.target));
    }
    const int width = int(arrowStart() + kArrowLength) + 4 + fm.height() * 13 / 10 + 5 + target + 4;
    return {qMax(220, width), qMax(80, qMax(rows, 2) * (fm.height() + 2) + 4)};
}

qreal Illustration::arrowStart() const {
    const QFontMetrics fm = fontMetrics();
    int widest = 0;
    for (const Group& g : groups_) {
        for (const QString& name : g.sources)
            widest = qMax(widest, fm.horizontalAdvance(name));
    }
    const qreal icon = fm.height() * (sourceKind_ == Item::File ? 0.75 : 1.1);
    return qMax<qreal>(110, 4 + icon + 5 + widest + 6);
}

void Illustration::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    qsizetype rows = 0;
    for (const Group& g : groups_)
        rows += g.sources.size();
    // The rows share the height, whatever the font, so nothing is cut at the bottom.
    const qreal line = (height() - 4) / qreal(qMax<qsizetype>(rows, 2));
    const qreal icon = qMin<qreal>(fm.height(), line - 2);
    qreal y = 2 + (line - icon) / 2;
    const qreal arrowFrom = arrowStart(), arrowTo = arrowFrom + kArrowLength;
    // The names in the theme's text colour; the drawings keep their own colours, the arrows a
    // lighter blue on a dark background.
    const QColor text = palette().color(foregroundRole());
    const QColor arrow = onDark(this) ? kArrowOnDark : kArrow;
    for (const Group& g : groups_) {
        const qreal top = y;
        for (const QString& name : g.sources) {
            const QRectF iconRect(4, y, icon * (sourceKind_ == Item::File ? 0.75 : 1.1), icon);
            if (sourceKind_ == Item::File)
                drawFile(p, iconRect);
            else
                drawFolder(p, iconRect);
            p.setPen(text);
            p.drawText(QPointF(iconRect.right() + 5, y + icon / 2 + (fm.ascent() - fm.descent()) / 2.0),
                       name);
            y += line;
        }
        const qreal middle = top + (y - top) / 2 - line / 2 + icon / 2;
        qreal rowY = top + icon / 2;
        for (qsizetype i = 0; i < g.sources.size(); ++i, rowY += line)
            drawArrow(p, QPointF(arrowFrom, rowY), QPointF(arrowTo, middle), arrow);
        const QRectF folder(arrowTo + 4, middle - icon / 2, icon * 1.3, icon);
        drawFolder(p, folder);
        p.setPen(text);
        p.drawText(QPointF(folder.right() + 5, middle + (fm.ascent() - fm.descent()) / 2.0), g.target);
    }
}

StarLabel::StarLabel(QWidget* parent, const QString& text) : QWidget(parent), text_(text) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize StarLabel::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(text_) + 2, fm.height()};
}

void StarLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    qreal x = 0;
    const qreal baseline = (height() - fm.height()) / 2.0 + fm.ascent();
    // Runs of plain text and of stars, so the text keeps its shaping between stars.
    qsizetype start = 0;
    while (start < text_.size()) {
        const bool star = text_.at(start) == QLatin1Char('*');
        qsizetype end = start;
        while (end < text_.size() && (text_.at(end) == QLatin1Char('*')) == star)
            ++end;
        const QString run = text_.mid(start, end - start);
        p.setPen(star ? (onDark(this) ? kStarOnDark : kStar) : palette().color(foregroundRole()));
        p.drawText(QPointF(x, baseline), run);
        x += fm.horizontalAdvance(run);
        start = end;
    }
}

Illustration* keywordIllustration(QWidget* parent) {
    return new Illustration(
        parent, Illustration::Item::File,
        {{{QStringLiteral("北京游记.doc"), QStringLiteral("上海游记.txt")}, QStringLiteral("游记")}});
}

Illustration* nameIllustration(QWidget* parent) {
    return new Illustration(
        parent, Illustration::Item::File,
        {{{QStringLiteral("报告.doc"), QStringLiteral("报告.pdf")}, QStringLiteral("报告")},
         {{QStringLiteral("照片.jpg"), QStringLiteral("照片.png")}, QStringLiteral("照片")}});
}

Illustration* typeIllustration(QWidget* parent) {
    return new Illustration(parent, Illustration::Item::File,
                            {{{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}, QStringLiteral(".jpg")},
                             {{QStringLiteral("c.txt"), QStringLiteral("d.txt")}, QStringLiteral(".txt")}});
}

} // namespace velquin
