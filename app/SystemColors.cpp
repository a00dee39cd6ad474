#include "app/SystemColors.h"

namespace syscolors {
// The classic desktop scheme the layout was drawn for; fixed, so the window looks
// the same whatever theme the desktop runs.
QColor BtnFace() { return QColor(0xD4, 0xD0, 0xC8); }
QColor BtnShadow() { return QColor(0x80, 0x80, 0x80); }
QColor ActiveCaption() { return QColor(0x0A, 0x24, 0x6A); }
QColor WindowText() { return QColor(0x00, 0x00, 0x00); }
}  // namespace syscolors

namespace fonts {
QFont Arial(int pixelHeight, bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

QFont Fixedsys(int pixelHeight) {
  QFont f(QStringLiteral("Liberation Mono"));
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  f.setPixelSize(pixelHeight);
  f.setBold(true);
  return f;
}
}  // namespace fonts
