#include "Faces.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kText(0xf2, 0xf4, 0xf7);
const QColor kBorder(0x5b, 0x61, 0x6b);

// The largest bold font (up to maxPx) in which text fits into width.
QFont fittedFont(const QString &text, qreal width, int maxPx, bool bold = true)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int px = maxPx; px >= 7; --px) {
        font.setPixelSize(px);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width)
            return font;
    }
    font.setStretch(QFont::SemiCondensed);
    return font;
}

QPainterPath bodyPath(const QSize &size, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), radius, radius);
    return path;
}

struct ContentBox {
    qreal glyphSide = 0;
    qreal gap = 0;
    qreal textRoom = 0;
    int maxPx = 0;
};

ContentBox contentBox(const Face &face, const QRectF &area)
{
    const bool hasGlyph = face.glyph != Glyph::None;
    const bool hasLabel = !face.label.isEmpty();
    ContentBox box;
    box.glyphSide = hasLabel ? qMin(area.height() * 0.62, 22.0) : qMin(area.width(), area.height());
    box.gap = hasGlyph && hasLabel ? qMax<qreal>(3, area.height() * 0.12) : 0;
    box.textRoom = area.width() - (hasGlyph ? box.glyphSide + box.gap : 0);
    box.maxPx = qMin(14, int(area.height() * 0.5));
    return box;
}

// Symbol and label side by side, centred as one group.
void drawContent(QPainter &p, const Face &face, const QRectF &area, const QColor &glyphColor,
                 const QColor &textColor)
{
    const bool hasGlyph = face.glyph != Glyph::None;
    const bool hasLabel = !face.label.isEmpty();
    const ContentBox box = contentBox(face, area);
    QFont font = fittedFont(face.label, box.textRoom, box.maxPx);
    if (face.textPx > 0 && face.textPx < font.pixelSize())
        font.setPixelSize(face.textPx);
    const qreal textWidth = hasLabel ? QFontMetricsF(font).horizontalAdvance(face.label) : 0;
    const qreal total = (hasGlyph ? box.glyphSide + box.gap : 0) + textWidth;
    qreal x = area.center().x() - total / 2;
    if (hasGlyph) {
        drawGlyph(p, face.glyph, QRectF(x, area.center().y() - box.glyphSide / 2, box.glyphSide, box.glyphSide),
                  glyphColor);
        x += box.glyphSide + box.gap;
    }
    if (hasLabel) {
        p.setFont(font);
        p.setPen(textColor);
        p.drawText(QRectF(x, area.top(), textWidth + 1, area.height()), Qt::AlignLeft | Qt::AlignVCenter, face.label);
    }
}

QRectF contentArea(const Face &face)
{
    const QRectF all(QPointF(0, 0), QSizeF(face.size));
    if (face.look == Look::Action)
        return all.adjusted(8, 4, -8, -4);
    if (face.label.isEmpty())
        return all.adjusted(4, 4, -4, -4);
    return all.adjusted(5, 3, -5, -3);
}

void drawButton(QPainter &p, const Face &face)
{
    const qreal radius = qMin(6.0, face.size.height() / 4.0);
    const QPainterPath body = bodyPath(face.size, radius);
    QLinearGradient fill(0, 0, 0, face.size.height());
    if (face.pressed) {
        fill.setColorAt(0, QColor(0x1b, 0x1d, 0x21));
        fill.setColorAt(1, QColor(0x2c, 0x30, 0x36));
    } else {
        fill.setColorAt(0, QColor(0x45, 0x4a, 0x53));
        fill.setColorAt(1, QColor(0x2a, 0x2d, 0x32));
    }
    p.setPen(face.pressed ? QPen(face.accent, 2) : QPen(kBorder, 1));
    p.setBrush(fill);
    p.drawPath(body);
    p.save();
    p.setClipPath(body);
    if (face.pressed) {
        // Inner shadow along the top edge: the face sits below its frame.
        QLinearGradient shade(0, 0, 0, 6);
        shade.setColorAt(0, QColor(0, 0, 0, 150));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(QRectF(0, 0, face.size.width(), 6), shade);
    } else {
        p.setPen(QColor(255, 255, 255, 45));
        p.drawLine(QPointF(radius, 1.5), QPointF(face.size.width() - radius, 1.5));
    }
    p.restore();
    const qreal shift = face.pressed ? 1.0 : 0.0;
    const QRectF area = contentArea(face).translated(0, shift);
    drawContent(p, face, area, face.pressed ? face.accent.lighter(120) : face.accent,
                face.pressed ? kText.darker(115) : kText);
}

void drawAction(QPainter &p, const Face &face)
{
    const QPainterPath body = bodyPath(face.size, 8);
    QLinearGradient fill(0, 0, 0, face.size.height());
    fill.setColorAt(0, face.accent.lighter(118));
    fill.setColorAt(1, face.accent.darker(125));
    p.setPen(QPen(face.accent.darker(160), 1));
    p.setBrush(fill);
    p.drawPath(body);
    p.save();
    p.setClipPath(body);
    p.setPen(QColor(255, 255, 255, 70));
    p.drawLine(QPointF(8, 1.5), QPointF(face.size.width() - 8, 1.5));
    p.restore();
    drawContent(p, face, contentArea(face), Qt::white, Qt::white);
}

void drawBadge(QPainter &p, const Face &face)
{
    const QRectF r = QRectF(1, 2, face.size.width() - 2, face.size.height() - 4);
    p.setPen(QPen(face.accent.lighter(130), 1));
    p.setBrush(face.accent.darker(110));
    p.drawRoundedRect(r, 4, 4);
    const QFont font = fittedFont(face.label, r.width() - 8, 13);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, face.label);
}

void drawHint(QPainter &p, const Face &face)
{
    QFont font = fittedFont(face.label, face.size.width() - 2, 13, false);
    font.setItalic(true);
    p.setFont(font);
    p.setPen(QColor(0x8a, 0x90, 0x99));
    p.drawText(QRectF(QPointF(0, 0), QSizeF(face.size)), Qt::AlignCenter, face.label);
}

void drawLogo(QPainter &p, const Face &face)
{
    const qreal s = face.size.width();
    const QRectF tile(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, QColor(0x3e, 0x8e, 0xf7));
    fill.setColorAt(1, QColor(0x7b, 0x5c, 0xf0));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, s * 0.2, s * 0.2);
    // Play mark over a downward arrow: media that lands on the disk.
    QPainterPath play;
    play.moveTo(s * 0.34, s * 0.2);
    play.lineTo(s * 0.72, s * 0.42);
    play.lineTo(s * 0.34, s * 0.64);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
    QPen pen(Qt::white, s * 0.07);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(s * 0.24, s * 0.66);
    tray.lineTo(s * 0.24, s * 0.8);
    tray.lineTo(s * 0.76, s * 0.8);
    tray.lineTo(s * 0.76, s * 0.66);
    p.drawPath(tray);
}

} // namespace

int fittedTextPx(const Face &face)
{
    const ContentBox box = contentBox(face, contentArea(face));
    return fittedFont(face.label, box.textRoom, box.maxPx).pixelSize();
}

QImage drawFace(const Face &face)
{
    QImage image(face.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (face.look) {
    case Look::Button: drawButton(p, face); break;
    case Look::Action: drawAction(p, face); break;
    case Look::Badge: drawBadge(p, face); break;
    case Look::Hint: drawHint(p, face); break;
    case Look::Logo: drawLogo(p, face); break;
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}
