// Joysticks through SDL2: device ids 0 and 1 are SDL joystick indices 0 and
// 1, both axes read 0 ... 65,535, buttons 1-11 are SDL buttons 0-10.
#pragma once

#include <array>
#include <mutex>

#include "app/input.h"

struct _SDL_Joystick;

namespace kestra {

class SdlJoystick final : public JoystickDevice {
 public:
  SdlJoystick();   // initialises SDL's joystick subsystem
  ~SdlJoystick() override;
  SdlJoystick(const SdlJoystick&) = delete;
  SdlJoystick& operator=(const SdlJoystick&) = delete;

  bool available() const { return initialised_; }

  int DeviceCount() override;
  bool ReadCaps(int id, JoystickCaps& caps) override;
  bool ReadPosition(int id, JoystickPosition& position) override;

 private:
  _SDL_Joystick* Open(int id);

  bool initialised_ = false;
  std::mutex mutex_;  // OpenJoystick on the UI thread, polls on the emulation thread
  std::array<_SDL_Joystick*, 2> handles_{};
};

}  // namespace kestra
