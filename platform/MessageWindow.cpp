#include "platform/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <mutex>
#include <unordered_map>

#include "platform/post_message.h"

namespace {

const QEvent::Type kPostedMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
 public:
  PostedMessage(uint32_t message, uintptr_t wparam, intptr_t lparam)
      : QEvent(kPostedMessageEvent), message_(message), wparam_(wparam), lparam_(lparam) {}
  uint32_t message_;
  uintptr_t wparam_;
  intptr_t lparam_;
};

struct Registry {
  std::mutex mutex;
  uint32_t next = 0x10000;
  std::unordered_map<uint32_t, MessageWindow*> windows;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: posts may come during exit
  return *registry;
}

}  // namespace

MessageWindow::MessageWindow(Handler handler) : handler_(std::move(handler)) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  do {
    handle_ = r.next++;
    if (r.next == 0) r.next = 0x10000;
  } while (r.windows.count(handle_) != 0);
  r.windows[handle_] = this;
}

MessageWindow::~MessageWindow() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.windows.erase(handle_);
  // QObject's destructor removes the events still posted to this object.
}

void MessageWindow::Detach() { handler_ = nullptr; }

bool MessageWindow::event(QEvent* e) {
  if (e->type() == kPostedMessageEvent) {
    auto* m = static_cast<PostedMessage*>(e);
    if (handler_) {
      Handler h = handler_;  // the handler may detach or destroy the window's owner state
      h(m->message_, m->wparam_, m->lparam_);
    }
    return true;
  }
  return QObject::event(e);
}

extern "C" int platform_post_message(uint32_t handle, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.windows.find(handle);
  if (it == r.windows.end()) return 0;
  // postEvent is thread-safe; holding the registry lock keeps the window alive
  // until the event is queued, and its destructor then discards it.
  QCoreApplication::postEvent(it->second, new PostedMessage(message, wparam, lparam));
  return 1;
}
