// Platform services the machine needs, as small interfaces. The machine never
// includes a Qt or SDL header; the app and the headless runner supply these.
#pragma once

#include <cstdint>
#include <string>

namespace kestra {

enum class MessageIcon { None, Warning };

// A modal message box: the caller waits until the user has closed it.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual void ShowMessage(const std::string& caption, const std::string& text,
                           MessageIcon icon) = 0;
};

// Headless boxes: the text goes to stderr and nothing waits.
class StderrMessages final : public MessageService {
 public:
  void ShowMessage(const std::string& caption, const std::string& text,
                   MessageIcon icon) override;
};

// Milliseconds of a steady clock as a wrapping unsigned 32-bit count.
class TickSource {
 public:
  virtual ~TickSource() = default;
  virtual uint32_t Ticks() = 0;
};

class SteadyTicks final : public TickSource {
 public:
  uint32_t Ticks() override;
};

// The console's keys as the scheduler polls them once per frame.
class InputSource {
 public:
  virtual ~InputSource() = default;
  // Low 16 bits: the ButtonMask (keyboard and joystick combined).
  virtual uint32_t PollInput() = 0;
};

// What the cartridge loader asks of the front end once an image is in.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Lay the window out for the current scale and the cartridge's orientation.
  virtual void LayoutForCartridge(bool vertical) = 0;
};

}  // namespace kestra
