#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QRectF squareIn(const QRectF &box)
{
    const qreal side = qMin(box.width(), box.height());
    return QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
}

QPen strokePen(const QColor &color, qreal width)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void play(QPainter &p, const QRectF &r, const QColor &c)
{
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.22, r.top() + r.height() * 0.12);
    path.lineTo(r.right() - r.width() * 0.1, r.center().y());
    path.lineTo(r.left() + r.width() * 0.22, r.bottom() - r.height() * 0.12);
    path.closeSubpath();
    p.setPen(strokePen(c, r.width() * 0.06));
    p.setBrush(c);
    p.drawPath(path);
}

void globe(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.4, r.width() * 0.08);
    const QRectF g = r.adjusted(w, w, -w, -w);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(g);
    p.drawEllipse(QRectF(g.center().x() - g.width() * 0.22, g.top(), g.width() * 0.44, g.height()));
    p.drawLine(QPointF(g.left(), g.center().y()), QPointF(g.right(), g.center().y()));
    const qreal dy = g.height() * 0.26;
    const qreal dx = g.width() * 0.08;
    p.drawLine(QPointF(g.left() + dx, g.center().y() - dy), QPointF(g.right() - dx, g.center().y() - dy));
    p.drawLine(QPointF(g.left() + dx, g.center().y() + dy), QPointF(g.right() - dx, g.center().y() + dy));
}

// Radiating arcs: something listening on the line.
void waves(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.5, r.width() * 0.09);
    const QPointF o(r.center().x(), r.bottom() - r.height() * 0.12);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(o, w * 1.1, w * 1.1);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal rad = r.height() * 0.27 * i;
        p.drawArc(QRectF(o.x() - rad, o.y() - rad, 2 * rad, 2 * rad), 45 * 16, 90 * 16);
    }
}

void gear(QPainter &p, const QRectF &r, const QColor &c)
{
    const QPointF o = r.center();
    const qreal outer = r.width() * 0.48;
    const qreal inner = r.width() * 0.36;
    const int teeth = 8;
    QPainterPath path;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = (i - 0.5) * M_PI * 2 / (teeth * 4);
        const qreal rad = (i % 4 < 2) ? outer : inner;
        const QPointF pt(o.x() + rad * qCos(a), o.y() + rad * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    path.addEllipse(o, r.width() * 0.15, r.width() * 0.15);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
}

void question(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.6, r.width() * 0.13);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(r.center().x() - r.width() * 0.24, r.top() + r.height() * 0.08,
                     r.width() * 0.48, r.height() * 0.42);
    p.drawArc(arc, 160 * 16, -250 * 16);
    const QPointF bend(r.center().x(), r.top() + r.height() * 0.52);
    p.drawLine(QPointF(arc.center().x() + arc.width() * 0.12, arc.bottom() - w * 0.3), bend);
    p.drawLine(bend, QPointF(bend.x(), r.top() + r.height() * 0.64));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(r.center().x(), r.bottom() - r.height() * 0.13), w * 0.7, w * 0.7);
}

void arrow(QPainter &p, const QRectF &r, const QColor &c, bool left)
{
    const qreal w = qMax<qreal>(1.6, r.width() * 0.14);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    const qreal y = r.center().y();
    const qreal tip = left ? r.left() + r.width() * 0.15 : r.right() - r.width() * 0.15;
    const qreal tail = left ? r.right() - r.width() * 0.12 : r.left() + r.width() * 0.12;
    const qreal head = (left ? 1 : -1) * r.width() * 0.34;
    p.drawLine(QPointF(tail, y), QPointF(tip, y));
    p.drawLine(QPointF(tip, y), QPointF(tip + head, y - r.height() * 0.32));
    p.drawLine(QPointF(tip, y), QPointF(tip + head, y + r.height() * 0.32));
}

void download(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.6, r.width() * 0.12);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    const qreal x = r.center().x();
    const qreal tip = r.top() + r.height() * 0.64;
    p.drawLine(QPointF(x, r.top() + r.height() * 0.08), QPointF(x, tip));
    p.drawLine(QPointF(x, tip), QPointF(x - r.width() * 0.26, tip - r.height() * 0.26));
    p.drawLine(QPointF(x, tip), QPointF(x + r.width() * 0.26, tip - r.height() * 0.26));
    QPainterPath tray;
    tray.moveTo(r.left() + r.width() * 0.1, r.top() + r.height() * 0.7);
    tray.lineTo(r.left() + r.width() * 0.1, r.bottom() - r.height() * 0.1);
    tray.lineTo(r.right() - r.width() * 0.1, r.bottom() - r.height() * 0.1);
    tray.lineTo(r.right() - r.width() * 0.1, r.top() + r.height() * 0.7);
    p.drawPath(tray);
}

void note(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.5, r.width() * 0.1);
    const QRectF head1(r.left() + r.width() * 0.1, r.bottom() - r.height() * 0.32, r.width() * 0.3, r.height() * 0.22);
    const QRectF head2(r.left() + r.width() * 0.56, r.bottom() - r.height() * 0.42, r.width() * 0.3, r.height() * 0.22);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(head1);
    p.drawEllipse(head2);
    p.setPen(strokePen(c, w));
    const QPointF s1(head1.right() - w * 0.5, head1.center().y());
    const QPointF s2(head2.right() - w * 0.5, head2.center().y());
    const QPointF t1(s1.x(), r.top() + r.height() * 0.22);
    const QPointF t2(s2.x(), r.top() + r.height() * 0.1);
    p.drawLine(s1, t1);
    p.drawLine(s2, t2);
    p.setPen(strokePen(c, w * 1.8));
    p.drawLine(t1, t2);
}

void film(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.4, r.width() * 0.08);
    const QRectF body(r.left() + w, r.top() + r.height() * 0.22, r.width() * 0.62, r.height() * 0.56);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, w * 1.5, w * 1.5);
    QPainterPath lens;
    lens.moveTo(body.right() + w, body.center().y() - body.height() * 0.12);
    lens.lineTo(r.right() - w * 0.5, body.top() + w * 0.5);
    lens.lineTo(r.right() - w * 0.5, body.bottom() - w * 0.5);
    lens.lineTo(body.right() + w, body.center().y() + body.height() * 0.12);
    lens.closeSubpath();
    p.setBrush(c);
    p.drawPath(lens);
}

void folder(QPainter &p, const QRectF &r, const QColor &c)
{
    const QRectF f(r.left() + r.width() * 0.06, r.top() + r.height() * 0.18, r.width() * 0.88, r.height() * 0.66);
    QPainterPath path;
    path.moveTo(f.left(), f.top() + f.height() * 0.14);
    path.lineTo(f.left(), f.bottom());
    path.lineTo(f.right(), f.bottom());
    path.lineTo(f.right(), f.top() + f.height() * 0.14);
    path.lineTo(f.left() + f.width() * 0.5, f.top() + f.height() * 0.14);
    path.lineTo(f.left() + f.width() * 0.4, f.top());
    path.lineTo(f.left(), f.top());
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
    p.setBrush(c.darker(130));
    p.drawRect(QRectF(f.left(), f.top() + f.height() * 0.3, f.width(), f.height() * 0.08));
}

void eye(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.4, r.width() * 0.09);
    QPainterPath lid;
    const qreal y = r.center().y();
    lid.moveTo(r.left() + w, y);
    lid.quadTo(r.center().x(), r.top() + r.height() * 0.05, r.right() - w, y);
    lid.quadTo(r.center().x(), r.bottom() - r.height() * 0.05, r.left() + w, y);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawPath(lid);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(r.center(), r.width() * 0.16, r.width() * 0.16);
}

void trash(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.4, r.width() * 0.09);
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    const qreal top = r.top() + r.height() * 0.24;
    p.drawLine(QPointF(r.left() + r.width() * 0.12, top), QPointF(r.right() - r.width() * 0.12, top));
    p.drawLine(QPointF(r.center().x() - r.width() * 0.12, r.top() + r.height() * 0.1),
               QPointF(r.center().x() + r.width() * 0.12, r.top() + r.height() * 0.1));
    QPainterPath bin;
    bin.moveTo(r.left() + r.width() * 0.22, top);
    bin.lineTo(r.left() + r.width() * 0.28, r.bottom() - r.height() * 0.08);
    bin.lineTo(r.right() - r.width() * 0.28, r.bottom() - r.height() * 0.08);
    bin.lineTo(r.right() - r.width() * 0.22, top);
    p.drawPath(bin);
    for (qreal f : {-0.1, 0.1})
        p.drawLine(QPointF(r.center().x() + r.width() * f, top + r.height() * 0.16),
                   QPointF(r.center().x() + r.width() * f, r.bottom() - r.height() * 0.22));
}

void cross(QPainter &p, const QRectF &r, const QColor &c)
{
    const qreal w = qMax<qreal>(1.6, r.width() * 0.14);
    p.setPen(strokePen(c, w));
    const QRectF x = r.adjusted(r.width() * 0.2, r.height() * 0.2, -r.width() * 0.2, -r.height() * 0.2);
    p.drawLine(x.topLeft(), x.bottomRight());
    p.drawLine(x.topRight(), x.bottomLeft());
}

} // namespace

void drawGlyph(QPainter &p, Glyph glyph, const QRectF &box, const QColor &color)
{
    const QRectF r = squareIn(box);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case Glyph::None: break;
    case Glyph::Play: play(p, r, color); break;
    case Glyph::Globe: globe(p, r, color); break;
    case Glyph::Waves: waves(p, r, color); break;
    case Glyph::Gear: gear(p, r, color); break;
    case Glyph::Question: question(p, r, color); break;
    case Glyph::ArrowLeft: arrow(p, r, color, true); break;
    case Glyph::ArrowRight: arrow(p, r, color, false); break;
    case Glyph::Download: download(p, r, color); break;
    case Glyph::Note: note(p, r, color); break;
    case Glyph::Film: film(p, r, color); break;
    case Glyph::Folder: folder(p, r, color); break;
    case Glyph::Eye: eye(p, r, color); break;
    case Glyph::Trash: trash(p, r, color); break;
    case Glyph::Cross: cross(p, r, color); break;
    }
    p.restore();
}
