#pragma once

#include "Glyphs.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

// How a picture is drawn: the look of the dark theme's controls.
enum class Look {
    Button,   // dark raised button, coloured symbol, light label
    Action,   // filled with the accent colour, the page's main action
    Badge,    // container mark in the format list
    Hint,     // grey text on a transparent ground, behind an empty field
    Logo,     // the application's icon
};

struct Face {
    QString name;          // resource alias, also the file name without ".png"
    QSize size;
    Look look = Look::Button;
    QString label;
    Glyph glyph = Glyph::None;
    QColor accent;
    bool pressed = false;
    int textPx = 0;        // label size in pixels; 0 picks the largest that fits
};

QImage drawFace(const Face &face);

// The label size drawFace would pick for face on its own.
int fittedTextPx(const Face &face);
