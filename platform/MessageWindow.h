#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

// A hidden receiver on the GUI thread that any thread can post numbered
// messages to (platform_post_message). The handler runs on the thread that
// created the window, from its event loop, in posting order. Destroying the
// window unregisters its handle first, so posts racing with the destruction
// are dropped, and Qt discards the events still queued for it.
class MessageWindow : public QObject {
 public:
  using Handler = std::function<void(uint32_t message, uintptr_t wparam, intptr_t lparam)>;

  explicit MessageWindow(Handler handler);
  ~MessageWindow() override;

  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  uint32_t Handle() const { return handle_; }

  // Stops calling the handler; messages still queued are dropped on arrival.
  void Detach();

 protected:
  bool event(QEvent* e) override;

 private:
  Handler handler_;
  uint32_t handle_ = 0;
};
