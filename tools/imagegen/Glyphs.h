#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// Small line-art symbols drawn into the button pictures.
enum class Glyph {
    None,
    Play,
    Globe,
    Waves,
    Gear,
    Question,
    ArrowLeft,
    ArrowRight,
    Download,
    Note,
    Film,
    Folder,
    Eye,
    Trash,
    Cross,
};

// Draws glyph centred in box, filling at most its shorter side.
void drawGlyph(QPainter &p, Glyph glyph, const QRectF &box, const QColor &color);
