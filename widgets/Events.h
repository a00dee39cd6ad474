#pragma once

#include <QObject>
#include <functional>

// Event handler types of the window's controls: each handler gets the control
// that raised the event as Sender, so one handler can serve several controls.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseEvent =
    std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
// Key is a virtual-key code: 37-40 the arrows left, up, right, down; 46 Delete.
using TKeyEvent = std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
using TSelectCellEvent = std::function<void(QObject* Sender, int ACol, int ARow, bool& CanSelect)>;

// Virtual-key codes the handlers test for.
namespace vk {
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Delete = 46;
// The virtual-key code of a Qt key, or 0 when it has none we use.
int FromQtKey(int qtKey);
}  // namespace vk
