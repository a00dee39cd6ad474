#include "app/Messages.h"

#include <QApplication>

void ShowMessage(QWidget* parent, const QString& text, dialogs::Icon icon) {
  dialogs::MessageBoxRequest r;
  r.parent = parent;
  r.text = text;
  r.caption = QApplication::applicationName();
  r.buttons = dialogs::Buttons::Ok;
  r.icon = icon;
  dialogs::Current().MessageBox(r);
}
