// Qt key events as the Windows virtual-key codes the bindings use.
#pragma once

#include <cstdint>
#include <unordered_map>

class QKeyEvent;

namespace kestra {

constexpr int kVkF1 = 0x70;

// The code of a Qt key (Qt::Key), or -1 for keys the bindings cannot name
// (F1 excepted).
int VirtualKeyForQtKey(int qtKey);

// Remembers the code each physical key went down with, so that its release
// reports the same code even when Shift changed the key's symbol meanwhile.
class KeyCodeTracker {
 public:
  // -1 when the key has no code.
  int Press(int qtKey, uint32_t scanCode);
  int Release(int qtKey, uint32_t scanCode);

 private:
  std::unordered_map<uint32_t, int> down_;
};

}  // namespace kestra
