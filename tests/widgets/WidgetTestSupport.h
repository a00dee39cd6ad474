#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

// A shown and active top-level window: the focus only moves, and focus events
// only arrive, inside the active window.
class ActiveWindow {
 public:
  ActiveWindow() {
    window_.resize(420, 300);
    window_.show();
    window_.activateWindow();
    QApplication::setActiveWindow(&window_);
    active_ = QTest::qWaitForWindowActive(&window_);
  }
  QWidget* get() { return &window_; }
  bool active() const { return active_; }

 private:
  QWidget window_;
  bool active_ = false;
};
