// The platform's joysticks as the input code reads them: a digital reading
// of two axes and buttons 1-11, every read able to fail.
#pragma once

#include <cstdint>

namespace kestra {

constexpr int kJoyButtonCount = 11;

struct JoystickCaps {
  uint32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct JoystickPosition {
  uint32_t x = 0, y = 0;
  uint32_t buttons = 0;  // bit n-1: button n pressed
};

class JoystickDevice {
 public:
  virtual ~JoystickDevice() = default;
  virtual int DeviceCount() = 0;  // devices the driver supports
  virtual bool ReadCaps(int id, JoystickCaps& caps) = 0;
  // Refreshes the device's state itself before reading it.
  virtual bool ReadPosition(int id, JoystickPosition& position) = 0;
};

}  // namespace kestra
