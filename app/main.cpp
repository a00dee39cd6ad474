#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "app/_MainUnit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kerfwell"));

  T_MainForm form;
  // Centred on the screen when first shown.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    form.move(area.center() - QPoint(form.width() / 2, form.height() / 2));
  }
  form.show();
  return app.exec();
}
