#pragma once

#include <QColor>
#include <QFont>

// The four system colours the window uses and its font mapping, fixed in one place.
namespace syscolors {
QColor BtnFace();        // button face: idle texts, bar fill, grid background
QColor BtnShadow();      // button shadow: status backgrounds, labels
QColor ActiveCaption();  // active caption: busy and playing states, values
QColor WindowText();
}  // namespace syscolors

namespace fonts {
// Arial maps to Liberation Sans (metric-compatible); heights are pixel sizes.
QFont Arial(int pixelHeight, bool bold = false);
// Fixedsys maps to a fixed-pitch font.
QFont Fixedsys(int pixelHeight);
}  // namespace fonts
