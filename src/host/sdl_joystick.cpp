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

// Buttons 1-11 of a game controller.
constexpr SDL_GameControllerButton kControllerButtons[kJoyButtonCount] = {
    SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,          SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,       SDL_CONTROLLER_BUTTON_GUIDE,
    SDL_CONTROLLER_BUTTON_START,      SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
};

void ReadController(SDL_GameController* c, JoystickPosition& position) {
  position.x = static_cast<uint32_t>(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX) + 32768);
  position.y = static_cast<uint32_t>(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY) + 32768);
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) position.x = 0;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) position.x = kAxisMax;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) position.y = 0;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) position.y = kAxisMax;
  position.buttons = 0;
  for (int b = 0; b < kJoyButtonCount; ++b) {
    if (SDL_GameControllerGetButton(c, kControllerButtons[b])) position.buttons |= 1u << b;
  }
}

void ReadJoystick(SDL_Joystick* j, JoystickPosition& position) {
  position.x = AxisValue(j, 0);
  position.y = AxisValue(j, 1);
  position.buttons = 0;
  const int buttons = SDL_JoystickNumButtons(j);
  for (int b = 0; b < kJoyButtonCount && b < buttons; ++b) {
    if (SDL_JoystickGetButton(j, b)) position.buttons |= 1u << b;
  }
}
}  // namespace

SdlJoystick::SdlJoystick() {
  // Qt owns the signals and there is no SDL window to take focus.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  initialised_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  if (!initialised_) return;
  controllers_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  // State is read by polling; queued events would only pile up.
  SDL_JoystickEventState(SDL_IGNORE);
  if (controllers_) SDL_GameControllerEventState(SDL_IGNORE);
}

SdlJoystick::~SdlJoystick() {
  if (!initialised_) return;
  for (Handle& h : handles_) Close(h);
  if (controllers_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void SdlJoystick::Close(Handle& h) {
  if (h.controller) {
    SDL_GameControllerClose(h.controller);  // closes its joystick too
  } else if (h.joystick) {
    SDL_JoystickClose(h.joystick);
  }
  h = Handle{};
}

int SdlJoystick::DeviceCount() {
  if (!initialised_) return 0;
  std::lock_guard lock(mutex_);
  // Also looks for devices plugged in or pulled out since the last look.
  SDL_JoystickUpdate();
  return SDL_NumJoysticks();
}

SdlJoystick::Handle* SdlJoystick::Open(int id) {
  if (!initialised_ || id < 0 || id >= static_cast<int>(handles_.size())) return nullptr;
  Handle& h = handles_[id];
  if (h.joystick && !SDL_JoystickGetAttached(h.joystick)) Close(h);  // unplugged
  if (!h.joystick && id < SDL_NumJoysticks()) {
    if (controllers_ && SDL_IsGameController(id)) {
      h.controller = SDL_GameControllerOpen(id);
      if (h.controller) h.joystick = SDL_GameControllerGetJoystick(h.controller);
    }
    if (!h.joystick) h.joystick = SDL_JoystickOpen(id);
  }
  return h.joystick ? &h : nullptr;
}

bool SdlJoystick::IsGameController(int id) {
  std::lock_guard lock(mutex_);
  const Handle* h = Open(id);
  return h && h->controller;
}

bool SdlJoystick::ReadCaps(int id, JoystickCaps& caps) {
  std::lock_guard lock(mutex_);
  if (!Open(id)) return false;
  caps = JoystickCaps{0, kAxisMax, 0, kAxisMax};
  return true;
}

bool SdlJoystick::ReadPosition(int id, JoystickPosition& position) {
  std::lock_guard lock(mutex_);
  // Updating first also brings in devices that came or went since.
  SDL_JoystickUpdate();
  Handle* h = Open(id);
  if (!h) return false;
  if (!SDL_JoystickGetAttached(h->joystick)) {
    Close(*h);
    return false;
  }
  if (h->controller) {
    ReadController(h->controller, position);
  } else {
    ReadJoystick(h->joystick, position);
  }
  return true;
}

}  // namespace kestra
