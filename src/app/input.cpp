#include "app/input.h"

namespace kestra {

const std::array<KeyName, 55> KeyNameTable = {{
    {"BS", 8},     {"RETURN", 13}, {"SHIFT", 16}, {"CONTROL", 17}, {"SPACE", 32},
    {"LEFT", 37},  {"UP", 38},     {"RIGHT", 39}, {"DOWN", 40},
    {"0", '0'},    {"1", '1'},     {"2", '2'},    {"3", '3'},      {"4", '4'},
    {"5", '5'},    {"6", '6'},     {"7", '7'},    {"8", '8'},      {"9", '9'},
    {"A", 'A'},    {"B", 'B'},     {"C", 'C'},    {"D", 'D'},      {"E", 'E'},
    {"F", 'F'},    {"G", 'G'},     {"H", 'H'},    {"I", 'I'},      {"J", 'J'},
    {"K", 'K'},    {"L", 'L'},     {"M", 'M'},    {"N", 'N'},      {"O", 'O'},
    {"P", 'P'},    {"Q", 'Q'},     {"R", 'R'},    {"S", 'S'},      {"T", 'T'},
    {"U", 'U'},    {"V", 'V'},     {"W", 'W'},    {"X", 'X'},      {"Y", 'Y'},
    {"Z", 'Z'},
    {":", 186},    {";", 187},     {"-", 189},    {".", 190},      {"/", 191},
    {"@", 192},    {"[", 219},     {"\\", 220},   {"]", 221},      {"^", 222},
}};

const std::array<JoyName, 15> JoyNameTable = {{
    {"LEFT", kJoyLeft}, {"RIGHT", kJoyRight}, {"UP", kJoyUp}, {"DOWN", kJoyDown},
    {"1", 5},  {"2", 6},  {"3", 7},  {"4", 8},  {"5", 9},   {"6", 10},
    {"7", 11}, {"8", 12}, {"9", 13}, {"10", 14}, {"11", 15},
}};

int LookUpKeyName(const std::string& name) {
  for (const KeyName& k : KeyNameTable) {
    if (name == k.name) return k.code;
  }
  return -1;
}

int LookUpJoyName(const std::string& name) {
  for (const JoyName& j : JoyNameTable) {
    if (name == j.name) return j.slot;
  }
  return -1;
}

namespace {

// Sets `bit` in table[index] for every known name of a comma-separated list.
template <size_t N>
void BindList(const std::string& list, uint32_t bit, std::array<uint32_t, N>& table,
              int (*lookUp)(const std::string&)) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const int index = lookUp(list.substr(start, comma - start));
    if (index >= 0) table[static_cast<size_t>(index) % N] |= bit;
    start = comma + 1;
  }
}

}  // namespace

void Input::ApplyBindings(bool vertical) {
  const int first = vertical ? 12 : 0;
  KeyBindings.fill(0);
  for (int i = 0; i < 12; ++i) {
    BindList(bindingText_[first + i], 1u << i, KeyBindings, LookUpKeyName);
  }
  joyBindingsLater_.fill(0);
  for (int i = 0; i < 12; ++i) {
    BindList(bindingText_[kBindingKeyCount + first + i], 1u << i, joyBindingsLater_,
             LookUpJoyName);
  }
  if (joystick_.present) JoyBindings = joyBindingsLater_;
}

void Input::KeyDown(int code) {
  const uint32_t mask = KeyboardMask.load(std::memory_order_relaxed);
  KeyboardMask.store(mask | KeyBindings[code & 0xFF], std::memory_order_relaxed);
}

void Input::KeyUp(int code) {
  const uint32_t mask = KeyboardMask.load(std::memory_order_relaxed);
  KeyboardMask.store(mask & ~KeyBindings[code & 0xFF], std::memory_order_relaxed);
}

int Input::OpenJoystick(JoystickDevice* device) {
  KeyboardMask.store(0, std::memory_order_relaxed);
  joystick_ = JoystickState{};
  device_ = device;
  probeCountdown_ = kProbeInterval;
  if (!device_ || device_->DeviceCount() <= 0) return -1;
  return FindJoystick() ? 0 : -1;
}

bool Input::FindJoystick() {
  for (int id = 0; id < 2; ++id) {
    JoystickPosition position;
    JoystickCaps caps;
    if (!device_->ReadPosition(id, position) || !device_->ReadCaps(id, caps)) continue;
    const uint32_t thirdX = (caps.xMax - caps.xMin) / 3;
    const uint32_t thirdY = (caps.yMax - caps.yMin) / 3;
    joystick_.present = true;
    joystick_.deviceId = id;
    joystick_.left = caps.xMin + thirdX;
    joystick_.right = caps.xMax - thirdX;
    joystick_.up = caps.yMin + thirdY;
    joystick_.down = caps.yMax - thirdY;
    return true;
  }
  return false;
}

uint32_t Input::PollInput() {
  const uint32_t keyboard = KeyboardMask.load(std::memory_order_relaxed);
  if (!joystick_.present) {
    if (!device_ || --probeCountdown_ > 0) return keyboard;
    probeCountdown_ = kProbeInterval;
    if (device_->DeviceCount() <= 0 || !FindJoystick()) return keyboard;
    JoyBindings = joyBindingsLater_;
  }
  JoystickPosition p;
  if (!device_->ReadPosition(joystick_.deviceId, p)) return keyboard;
  uint32_t m = 0;
  if (p.x <= joystick_.left) m |= JoyBindings[kJoyLeft];
  if (p.x >= joystick_.right) m |= JoyBindings[kJoyRight];
  if (p.y <= joystick_.up) m |= JoyBindings[kJoyUp];
  if (p.y >= joystick_.down) m |= JoyBindings[kJoyDown];
  for (int n = 1; n <= kJoyButtonCount; ++n) {
    if (p.buttons & (1u << (n - 1))) m |= JoyBindings[kJoyButton1 + n - 1];
  }
  return m | keyboard;
}

}  // namespace kestra
