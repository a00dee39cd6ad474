#pragma once

#include <QString>

#include "platform/Dialogs.h"

class QWidget;

// A modal box with one OK button and the application's title as its caption.
void ShowMessage(QWidget* parent, const QString& text, dialogs::Icon icon = dialogs::Icon::None);
