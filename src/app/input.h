// The console's twelve keys from the host keyboard and a joystick, through
// the binding lists of Kestra.INI for the current orientation.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "app/config.h"
#include "base/host.h"
#include "host/joystick_device.h"

namespace kestra {

struct KeyName {
  const char* name;
  uint8_t code;  // Windows virtual-key code
};
extern const std::array<KeyName, 55> KeyNameTable;

struct JoyName {
  const char* name;
  uint8_t slot;
};
extern const std::array<JoyName, 15> JoyNameTable;

// Joystick slots: 1-4 the stick's directions, 5-15 buttons 1-11.
enum JoySlot { kJoyLeft = 1, kJoyRight = 2, kJoyUp = 3, kJoyDown = 4, kJoyButton1 = 5 };
struct JoystickState {
  bool present = false;
  int deviceId = 0;
  uint32_t left = 0, right = 0, up = 0, down = 0;
};

class Input final : public InputSource {
 public:
  // `bindingText` stays owned by the caller; the lists are read by ApplyBindings.
  explicit Input(const std::array<std::string, kBindingListCount>& bindingText)
      : bindingText_(bindingText) {}

  void ApplyBindings(bool vertical);
  void KeyDown(int code);
  void KeyUp(int code);
  // Lets go of every console key held on the keyboard: after the bindings
  // turn with the console, a key's release would clear another console key.
  void ReleaseKeys() { KeyboardMask.store(0, std::memory_order_relaxed); }
  // 0 when a joystick is in use, -1 otherwise. `device` may be null.
  int OpenJoystick(JoystickDevice* device);
  // Emulation thread: low 16 bits are the ButtonMask.
  uint32_t PollInput() override;

  // A joystick plugged in after OpenJoystick found none is looked for about
  // once a second of polls; it takes the joystick lists of the last
  // ApplyBindings. One that goes away contributes nothing until it is back.
  static constexpr int kProbeInterval = 75;

  uint32_t keyboardMask() const { return KeyboardMask.load(std::memory_order_relaxed); }
  const JoystickState& joystick() const { return joystick_; }

  std::array<uint32_t, 256> KeyBindings{};
  std::array<uint32_t, 16> JoyBindings{};
  // Written by the UI thread's key events while the emulation thread polls.
  std::atomic<uint32_t> KeyboardMask{0};

 private:
  const std::array<std::string, kBindingListCount>& bindingText_;
  bool FindJoystick();  // devices 0, then 1

  JoystickDevice* device_ = nullptr;
  JoystickState joystick_;
  // ApplyBindings' joystick table, kept for a joystick that arrives later.
  std::array<uint32_t, 16> joyBindingsLater_{};
  int probeCountdown_ = 0;
};

// Code of a name in KeyNameTable (exact match), or -1.
int LookUpKeyName(const std::string& name);
// Slot of a name in JoyNameTable (exact match), or -1.
int LookUpJoyName(const std::string& name);

}  // namespace kestra
