#include "app/key_codes.h"

#include <Qt>

namespace kestra {

int VirtualKeyForQtKey(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_F1: return kVkF1;
    // Key caps of a Japanese layout.
    case Qt::Key_Colon: return 186;
    case Qt::Key_Semicolon: return 187;
    case Qt::Key_Minus: return 189;
    case Qt::Key_Period: return 190;
    case Qt::Key_Slash: return 191;
    case Qt::Key_At: return 192;
    case Qt::Key_BracketLeft: return 219;
    case Qt::Key_Backslash: return 220;
    case Qt::Key_BracketRight: return 221;
    case Qt::Key_AsciiCircum: return 222;
    default: return -1;
  }
}

int KeyCodeTracker::Press(int qtKey, uint32_t scanCode) {
  // A held key keeps the code it went down with: its repeats may arrive as
  // another symbol once Shift is pressed ("2" as "@"), and the release must
  // still clear what the first press set.
  if (scanCode != 0) {
    const auto it = down_.find(scanCode);
    if (it != down_.end()) return it->second;
  }
  const int code = VirtualKeyForQtKey(qtKey);
  if (scanCode != 0 && code >= 0) down_[scanCode] = code;
  return code;
}

int KeyCodeTracker::Release(int qtKey, uint32_t scanCode) {
  if (scanCode != 0) {
    const auto it = down_.find(scanCode);
    if (it != down_.end()) {
      const int code = it->second;
      down_.erase(it);
      return code;
    }
  }
  return VirtualKeyForQtKey(qtKey);
}

}  // namespace kestra
