#include "app/SystemColors.h"

namespace syscolors {
// The classic desktop scheme the layout was drawn for; fixed, so the window looks
// the same whatever theme the desktop runs.
QColor BtnFace() { return QColor(0xD4, 0xD0, 0xC8); }
QColor BtnShadow() { return QColor(0x80, 0x80, 0x80); }
QColor ActiveCaption() { return QColor(0x0A, 0x24, 0x6A); }
QColor WindowText() { return QColor(0x00, 0x00, 0x00); }
QColor BtnHighlight() { return QColor(0xFF, 0xFF, 0xFF); }
QColor BtnDkShadow() { return QColor(0x40, 0x40, 0x40); }
QColor Highlight() { return QColor(0x0A, 0x24, 0x6A); }
QColor HighlightText() { return QColor(0xFF, 0xFF, 0xFF); }

QPalette ClassicPalette() {
  const QColor white(0xFF, 0xFF, 0xFF);
  QPalette pal;
  pal.setColor(QPalette::Window, BtnFace());
  pal.setColor(QPalette::WindowText, WindowText());
  pal.setColor(QPalette::Base, white);
  pal.setColor(QPalette::AlternateBase, BtnFace());
  pal.setColor(QPalette::Text, WindowText());
  pal.setColor(QPalette::PlaceholderText, BtnShadow());
  pal.setColor(QPalette::Button, BtnFace());
  pal.setColor(QPalette::ButtonText, WindowText());
  pal.setColor(QPalette::BrightText, white);
  pal.setColor(QPalette::Light, BtnHighlight());
  pal.setColor(QPalette::Midlight, BtnFace());
  pal.setColor(QPalette::Mid, BtnShadow());
  pal.setColor(QPalette::Dark, BtnShadow());
  pal.setColor(QPalette::Shadow, BtnDkShadow());
  pal.setColor(QPalette::Highlight, Highlight());
  pal.setColor(QPalette::HighlightedText, HighlightText());
  pal.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
  pal.setColor(QPalette::ToolTipText, WindowText());
  pal.setColor(QPalette::Link, Highlight());
  pal.setColor(QPalette::LinkVisited, Highlight());
  // Disabled text is the scheme's grey text.
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    pal.setColor(QPalette::Disabled, role, BtnShadow());
  return pal;
}
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
