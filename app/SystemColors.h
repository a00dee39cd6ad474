#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The classic desktop scheme the layout was drawn for, and its font mapping,
// fixed in one place.
namespace syscolors {
QColor BtnFace();        // button face: idle texts, bar fill, grid background
QColor BtnShadow();      // button shadow: status backgrounds, labels, dark bevel edges
QColor BtnHighlight();   // the white edge of a raised bevel
QColor BtnDkShadow();    // the outer dark edge of raised buttons and header cells
QColor ActiveCaption();  // active caption: busy and playing states, values
QColor WindowText();
QColor Highlight();      // selected rows
QColor HighlightText();  // text on a selected row
// Every palette role the window's controls and the toolkit's parts draw
// with, from the scheme above, so no desktop theme shows through.
QPalette ClassicPalette();
}  // namespace syscolors

namespace fonts {
// Arial maps to Liberation Sans (metric-compatible); heights are pixel sizes.
QFont Arial(int pixelHeight, bool bold = false);
// Fixedsys maps to a fixed-pitch font.
QFont Fixedsys(int pixelHeight);
}  // namespace fonts
