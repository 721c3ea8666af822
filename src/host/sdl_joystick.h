// Joysticks through SDL2: device ids 0 and 1 are SDL joystick indices 0 and
// 1, both axes read 0 ... 65,535, buttons 1-11 are SDL buttons 0-10.
//
// A device SDL knows as a game controller (one with a controller mapping) is
// read through SDL's game-controller layer instead, so that every pad reads
// alike: the left stick is the stick, the D-pad (a hat on many pads) pushes
// the stick to its end, and the buttons are numbered
//   1 A, 2 B, 3 X, 4 Y, 5 LB, 6 RB, 7 Back, 8 Guide, 9 Start, 10 LS, 11 RS
// (A, B, X, Y as on an Xbox pad; Start is 9 because both default lists hold
// Start on 9). Triggers and the right stick are not read.
//
// Devices come and go while the program runs: a read finds a device that was
// unplugged, closes it and fails; the next read of that id opens whatever
// device SDL then lists there.
#pragma once

#include <array>
#include <mutex>

#include "host/joystick_device.h"

struct _SDL_Joystick;
struct _SDL_GameController;

namespace kestra {

class SdlJoystick final : public JoystickDevice {
 public:
  SdlJoystick();   // initialises SDL's joystick and game-controller subsystems
  ~SdlJoystick() override;
  SdlJoystick(const SdlJoystick&) = delete;
  SdlJoystick& operator=(const SdlJoystick&) = delete;

  bool available() const { return initialised_; }
  // Whether the device open under `id` is read as a game controller (tests).
  bool IsGameController(int id);

  int DeviceCount() override;
  bool ReadCaps(int id, JoystickCaps& caps) override;
  bool ReadPosition(int id, JoystickPosition& position) override;

 private:
  struct Handle {
    _SDL_Joystick* joystick = nullptr;
    _SDL_GameController* controller = nullptr;  // set for a game controller
  };
  Handle* Open(int id);  // under mutex_
  void Close(Handle& h);

  bool initialised_ = false;
  bool controllers_ = false;  // the game-controller layer is up
  std::mutex mutex_;  // OpenJoystick on the UI thread, polls on the emulation thread
  std::array<Handle, 2> handles_{};
};

}  // namespace kestra
