#include "widgets/Events.h"

namespace vk {

int FromQtKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return Left;
    case Qt::Key_Up:
      return Up;
    case Qt::Key_Right:
      return Right;
    case Qt::Key_Down:
      return Down;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return Delete;
    default:
      break;
  }
  // Digits and letters share their codes with the upper-case characters.
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return 112 + (qtKey - Qt::Key_F1);
  return 0;
}

}  // namespace vk
