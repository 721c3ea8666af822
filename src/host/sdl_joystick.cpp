#include "host/sdl_joystick.h"

#include <SDL.h>

namespace kestra {

namespace {
constexpr uint32_t kAxisMax = 65535;
constexpr uint32_t kAxisCentre = 32768;

uint32_t AxisValue(SDL_Joystick* j, int axis) {
  if (axis >= SDL_JoystickNumAxes(j)) return kAxisCentre;  // a stick without that axis
  return static_cast<uint32_t>(SDL_JoystickGetAxis(j, axis) + 32768);
}
}  // namespace

SdlJoystick::SdlJoystick() {
  // Qt owns the signals and there is no SDL window to take focus.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  initialised_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  // State is read by polling; queued events would only pile up.
  if (initialised_) SDL_JoystickEventState(SDL_IGNORE);
}

SdlJoystick::~SdlJoystick() {
  if (!initialised_) return;
  for (SDL_Joystick*& j : handles_) {
    if (j) SDL_JoystickClose(j);
    j = nullptr;
  }
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

int SdlJoystick::DeviceCount() {
  if (!initialised_) return 0;
  std::lock_guard lock(mutex_);
  SDL_JoystickUpdate();
  return SDL_NumJoysticks();
}

SDL_Joystick* SdlJoystick::Open(int id) {
  if (!initialised_ || id < 0 || id >= static_cast<int>(handles_.size())) return nullptr;
  SDL_Joystick*& j = handles_[id];
  if (j && !SDL_JoystickGetAttached(j)) {
    SDL_JoystickClose(j);
    j = nullptr;
  }
  if (!j && id < SDL_NumJoysticks()) j = SDL_JoystickOpen(id);
  return j;
}

bool SdlJoystick::ReadCaps(int id, JoystickCaps& caps) {
  std::lock_guard lock(mutex_);
  if (!Open(id)) return false;
  caps = JoystickCaps{0, kAxisMax, 0, kAxisMax};
  return true;
}

bool SdlJoystick::ReadPosition(int id, JoystickPosition& position) {
  std::lock_guard lock(mutex_);
  SDL_Joystick* j = Open(id);
  if (!j) return false;
  SDL_JoystickUpdate();
  if (!SDL_JoystickGetAttached(j)) return false;
  position.x = AxisValue(j, 0);
  position.y = AxisValue(j, 1);
  position.buttons = 0;
  const int buttons = SDL_JoystickNumButtons(j);
  for (int b = 0; b < kJoyButtonCount && b < buttons; ++b) {
    if (SDL_JoystickGetButton(j, b)) position.buttons |= 1u << b;
  }
  return true;
}

}  // namespace kestra
